// Cost of VT4R::process per stereo frame at 48 kHz, and the renderer's
// real-time factor on a 60-second file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "demo_material.h"
#include "framework/standalone.h"
#include "plugin/params.h"
#include "plugin/vt4r.h"
#include "reference_model.h"
#include "tests/support/run_program.h"

namespace {
enum Material { kNoise = 0, kMusic = 1, kSilence = 2 };
constexpr int kRate = 48000;
constexpr long kMaterialFrames = kRate * 4;  // four seconds, looped

struct Source {
    std::vector<double> left, right;
    explicit Source(int material) : left(kMaterialFrames), right(kMaterialFrames) {
        if (material == kNoise) {
            std::mt19937 rng(1);
            std::uniform_real_distribution<double> u(-0.7, 0.7);
            for (long i = 0; i < kMaterialFrames; ++i) left[i] = u(rng), right[i] = u(rng);
        } else if (material == kMusic) {
            DemoMaterial(0, kMaterialFrames, kRate, left.data(), right.data());
        }
    }
};

// Feeds looped material to `processBlock(left, right, outL, outR, frames)`
// and reports the time per stereo frame.
template <class ProcessBlock>
void RunBlocks(benchmark::State& state, int block, int material, ProcessBlock&& processBlock) {
    Source source(material);
    std::vector<double> outL(block), outR(block);
    long pos = 0;
    auto runBlock = [&] {
        if (pos + block > kMaterialFrames) pos = 0;
        processBlock(source.left.data() + pos, source.right.data() + pos, outL.data(), outR.data(), block);
        pos += block;
    };
    // Long silence lets the states decay as far as they go before timing.
    const long warmFrames = material == kSilence ? 60L * kRate : kRate;
    for (long f = 0; f < warmFrames; f += block) runBlock();
    for (auto _ : state) {
        runBlock();
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
    }
    // Seconds per frame, shown by the library with an SI prefix (n = ns).
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * block,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(material == kNoise ? "noise" : material == kMusic ? "music" : "silence") +
                   (state.range(1) ? " relaxed" : " normal"));
}

void BM_Process(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    auto* vt4r = static_cast<VT4R*>(plugin.get());
    vt4r->SetSampleRateHz(kRate);
    vt4r->SetBlockFrames(block);
    vt4r->ResetProcessing();
    vt4r->Param(kRelaxedModeParam)->SetClamped(state.range(1) ? 1.0 : 0.0);
    RunBlocks(state, block, static_cast<int>(state.range(2)),
              [&](double* l, double* r, double* ol, double* orr, int n) {
                  double* in[2] = {l, r};
                  double* out[2] = {ol, orr};
                  vt4r->ProcessBlockLocked(in, out, n);
              });
}

void ProcessArgs(benchmark::internal::Benchmark* b) {
    for (int block : {512, 32})
        for (int relaxed : {0, 1})
            for (int material : {kNoise, kMusic, kSilence}) b->Args({block, relaxed, material});
}
BENCHMARK(BM_Process)->Apply(ProcessArgs)->ArgNames({"block", "relaxed", "material"});

// The saturation's chain alone (both channels, unit drive), the floor of
// the whole loop: every frame waits for the one before through two divisions
// and a square root.
void BM_SaturationChain(benchmark::State& state) {
    SaturationStage left, right;
    DcBlocker dcLeft, dcRight;
    RunBlocks(state, 512, kMusic, [&](double* l, double* r, double* ol, double* orr, int n) {
        SaturationPair saturation(left, right, dcLeft, dcRight, 1.0, 1.0);
        for (int i = 0; i < n; ++i) {
            const StereoPair y = saturation.step<true>(Pair(l[i], r[i]));
            ol[i] = Left(y);
            orr[i] = Right(y);
        }
        saturation.store(left, right, dcLeft, dcRight);
    });
    state.SetLabel("music");
}
BENCHMARK(BM_SaturationChain)->Args({512, 0, kMusic})->ArgNames({"block", "relaxed", "material"});

// What a block costs apart from its frames (the parameters, the coefficient
// checks, the needle, the non-finite check): a call with no frames, as hosts
// make them between transport changes.
void BM_BlockOverhead(benchmark::State& state) {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    auto* vt4r = static_cast<VT4R*>(plugin.get());
    vt4r->SetSampleRateHz(kRate);
    vt4r->SetBlockFrames(32);
    vt4r->ResetProcessing();
    vt4r->Param(kRelaxedModeParam)->SetClamped(state.range(0) ? 1.0 : 0.0);
    double l = 0, r = 0;
    double* in[2] = {&l, &r};
    double* out[2] = {&l, &r};
    for (auto _ : state) {
        vt4r->ProcessBlockLocked(in, out, 0);
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) ? "relaxed" : "normal");
}
BENCHMARK(BM_BlockOverhead)->Arg(0)->Arg(1)->ArgName("relaxed");

// The same mathematics written plainly (the unit tests' model), as the
// baseline the optimised loop is measured against.
void BM_PlainModel(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const double relaxed = state.range(1) ? 1.0 : 0.0;
    ref::Plugin model;
    RunBlocks(state, block, static_cast<int>(state.range(2)),
              [&](double* l, double* r, double* ol, double* orr, int n) {
                  model.Process(l, r, ol, orr, n, 0.0, 0.0, relaxed, kRate, block);
              });
}
BENCHMARK(BM_PlainModel)->Args({512, 0, kNoise})->Args({512, 0, kMusic})->Args({512, 1, kMusic})->ArgNames(
    {"block", "relaxed", "material"});

// Renders a 60-second stereo file with the real program and reports how many
// seconds of audio it processes per second of wall time.
void BM_RenderRealTimeFactor(benchmark::State& state) {
    const std::string dir = VT4R_BENCH_TMP;
    const std::string input = dir + "/bench-60s.wav";
    const std::string output = dir + "/bench-60s-out.wav";
    if (RunProgram(VT4R_DEMO_SIGNAL, {input, "60", "48000"}).exitCode != 0) {
        state.SkipWithError("cannot create the input file");
        return;
    }
    double factor = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (RunProgram(VT4R_RENDER, {"-q", input, output}).exitCode != 0) {
            state.SkipWithError("vt4r-render failed");
            return;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        factor = 60.0 / s;
    }
    state.counters["realtime_factor"] = factor;
    std::remove(input.c_str());
    std::remove(output.c_str());
}
BENCHMARK(BM_RenderRealTimeFactor)->Unit(benchmark::kMillisecond)->Iterations(3);
}  // namespace
