#pragma once
// What the format benchmarks share: the looped music, the timing loop and the plug-in
// run directly in doubles, the baseline each wrapper's own share is read against.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "demo_material.h"
#include "framework/standalone.h"
#include "plugin/params.h"

namespace format_bench {

constexpr int kRate = 48000;
constexpr long kMaterialFrames = kRate * 4; // looped

struct Material {
    std::vector<double> left = std::vector<double>(kMaterialFrames);
    std::vector<double> right = std::vector<double>(kMaterialFrames);
    std::vector<float> leftFloat, rightFloat;
    Material() {
        DemoMaterial(0, kMaterialFrames, kRate, left.data(), right.data());
        leftFloat.assign(left.begin(), left.end());
        rightFloat.assign(right.begin(), right.end());
    }
    const float* Left(float*) const { return leftFloat.data(); }
    const float* Right(float*) const { return rightFloat.data(); }
    const double* Left(double*) const { return left.data(); }
    const double* Right(double*) const { return right.data(); }
};
inline const Material& Music() {
    static const Material material;
    return material;
}

// Runs `block(pos)` over the looped music: a second to warm up, then timed; reports ns per
// stereo frame. `out` is what the block writes, kept from being optimised away.
template <typename Block> void Measure(benchmark::State& state, int frames, const void* out, Block block) {
    long pos = 0;
    auto run = [&] {
        if (pos + frames > kMaterialFrames)
            pos = 0;
        block(pos);
        pos += frames;
    };
    for (long f = 0; f < kRate; f += frames)
        run();
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * frames,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The plug-in itself at state.range(0) frames a block. `copyIn` copies each block into
// buffers of its own first, for a host whose buses own their buffers.
inline void InProcess(benchmark::State& state, bool relaxed, bool copyIn, const char* label) {
    const int block = static_cast<int>(state.range(0));
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    plugin->SetSampleRateHz(kRate);
    plugin->SetBlockFrames(block);
    plugin->ResetProcessing();
    plugin->Param(kRelaxedModeParam)->SetClamped(relaxed ? 1.0 : 0.0);
    std::vector<double> inL(block), inR(block), outL(block), outR(block);
    const Material& m = Music();
    Measure(state, block, outL.data(), [&](long pos) {
        double* ins[2] = {const_cast<double*>(m.left.data() + pos), const_cast<double*>(m.right.data() + pos)};
        if (copyIn) {
            std::copy_n(ins[0], block, inL.data());
            std::copy_n(ins[1], block, inR.data());
            ins[0] = inL.data();
            ins[1] = inR.data();
        }
        double* outs[2] = {outL.data(), outR.data()};
        plugin->ProcessBlockLocked(ins, outs, block);
    });
    state.SetLabel(label);
}

} // namespace format_bench
