// What VT4R costs in a CLAP host: VT4R.clap in our own test host, ns per stereo frame at
// 48 kHz with 64- and 512-frame blocks, in floats (data32) and doubles (data64), each
// block carrying a parameter event as automation would; beside the plug-in run directly,
// so the wrapper's own share (events, conversions, bypass) shows.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "clap_test_host.h"
#include "demo_material.h"
#include "framework/standalone.h"

namespace {
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
const Material& Music() {
    static const Material material;
    return material;
}

void PerFrame(benchmark::State& state, int block) {
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * block,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename Sample> void BM_ClapHosted(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    static clap_test::Library library(VT4R_CLAP_PLUGIN);
    clap_test::Host host(library);
    if (host.Plugin() == nullptr || !host.Activate(kRate, 1, static_cast<std::uint32_t>(block))) {
        state.SkipWithError("VT4R.clap did not load or activate");
        return;
    }
    std::vector<Sample> outL(block), outR(block);
    clap_test::InputEvents events;
    clap_test::OutputEvents sent;
    const Material& m = Music();
    long pos = 0;
    auto run = [&] {
        if (pos + block > kMaterialFrames)
            pos = 0;
        // A host hands new buffers every cycle, and here an automation point with each.
        Sample* const kind = nullptr;
        Sample* ins[2] = {const_cast<Sample*>(m.Left(kind) + pos), const_cast<Sample*>(m.Right(kind) + pos)};
        Sample* outs[2] = {outL.data(), outR.data()};
        events.Clear();
        events.Add(1, (pos / block) % 2 == 0 ? -1.0 : -1.5);
        host.Process(ins, outs, static_cast<std::uint32_t>(block), events, sent);
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
    state.SetLabel(sizeof(Sample) == 8 ? "music, data64, an event a block" : "music, data32, an event a block");
}

void BM_InProcess(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    plugin->SetSampleRateHz(kRate);
    plugin->SetBlockFrames(block);
    plugin->ResetProcessing();
    std::vector<double> outL(block), outR(block);
    const Material& m = Music();
    long pos = 0;
    auto run = [&] {
        if (pos + block > kMaterialFrames)
            pos = 0;
        double* ins[2] = {const_cast<double*>(m.left.data() + pos), const_cast<double*>(m.right.data() + pos)};
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
    state.SetLabel("music, ProcessBlockLocked in doubles");
}

} // namespace

BENCHMARK(BM_InProcess)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK_TEMPLATE(BM_ClapHosted, float)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK_TEMPLATE(BM_ClapHosted, double)->Arg(64)->Arg(512)->ArgName("block");
