// What VT4R costs in a VST3 host: the bundle driven through our test host's process call
// (stereo buses of 32- or 64-bit samples, a parameter change in every block, the Gain
// Reduction output parameter back), ns per stereo frame at 48 kHz with 64- and 512-frame
// blocks, beside the plug-in run directly in doubles, so the wrapper's own share shows.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "demo_material.h"
#include "framework/standalone.h"
#include "vst3_test_host.h"

namespace {

constexpr int kRate = 48000;
constexpr long kMaterialFrames = kRate * 4; // looped

struct Material {
    std::vector<double> left = std::vector<double>(kMaterialFrames);
    std::vector<double> right = std::vector<double>(kMaterialFrames);
    Material() { DemoMaterial(0, kMaterialFrames, kRate, left.data(), right.data()); }
};
const Material& Music() {
    static const Material material;
    return material;
}

void PerFrame(benchmark::State& state, int block) {
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * block,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Vst3Hosted(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const bool wide = state.range(1) == 64;
    vst3host::Plugin host(VT4R_VST3_BUNDLE);
    if (!host.Ok() || !host.Activate(kRate, block, wide ? Steinberg::Vst::kSample64 : Steinberg::Vst::kSample32)) {
        state.SkipWithError("the bundle did not load");
        return;
    }
    const Material& m = Music();
    long pos = 0;
    int flip = 0;
    auto run = [&] {
        if (pos + block > kMaterialFrames)
            pos = 0;
        // The copy in stands for the host's own buffers; a change to Output in every block.
        for (int i = 0; i < block; ++i) {
            if (wide) {
                host.buffers64[0][i] = m.left[pos + i];
                host.buffers64[1][i] = m.right[pos + i];
            } else {
                host.buffers32[0][i] = static_cast<float>(m.left[pos + i]);
                host.buffers32[1][i] = static_cast<float>(m.right[pos + i]);
            }
        }
        host.inputChanges.Add(1, (flip ^= 1) != 0 ? 0.5 : 0.52, 0);
        host.Process(block);
        pos += block;
    };
    for (long f = 0; f < kRate; f += block)
        run();
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(host.buffers32[2].data());
        benchmark::DoNotOptimize(host.buffers64[2].data());
        benchmark::ClobberMemory();
    }
    PerFrame(state, block);
    state.SetLabel(wide ? "music, 64-bit buses" : "music, 32-bit buses");
}

void BM_InProcess(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    plugin->SetSampleRateHz(kRate);
    plugin->SetBlockFrames(block);
    plugin->ResetProcessing();
    std::vector<double> inL(block), inR(block), outL(block), outR(block);
    const Material& m = Music();
    long pos = 0;
    auto run = [&] {
        if (pos + block > kMaterialFrames)
            pos = 0;
        // The same copy in as the hosted run, so only the wrapper's share differs.
        for (int i = 0; i < block; ++i) {
            inL[i] = m.left[pos + i];
            inR[i] = m.right[pos + i];
        }
        double* ins[2] = {inL.data(), inR.data()};
        double* outs[2] = {outL.data(), outR.data()};
        plugin->ProcessBlockLocked(ins, outs, block);
        pos += block;
    };
    for (long f = 0; f < kRate; f += block)
        run();
    for (auto _ : state) {
        run();
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
    }
    PerFrame(state, block);
    state.SetLabel("music");
}

} // namespace

BENCHMARK(BM_InProcess)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK(BM_Vst3Hosted)->ArgsProduct({{64, 512}, {32, 64}})->ArgNames({"block", "bits"});
