// What VT4R costs in a CLAP host: VT4R.clap in our own test host, ns per stereo frame at
// 48 kHz with 64- and 512-frame blocks, in floats (data32) and doubles (data64), each
// block carrying a parameter event as automation would; beside the plug-in run directly,
// so the wrapper's own share (events, conversions, bypass) shows.
#include "clap_test_host.h"
#include "format_bench.h"

namespace {
using namespace format_bench;

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
    Measure(state, block, outL.data(), [&](long pos) {
        // A host hands new buffers every cycle, and here an automation point with each.
        Sample* const kind = nullptr;
        Sample* ins[2] = {const_cast<Sample*>(m.Left(kind) + pos), const_cast<Sample*>(m.Right(kind) + pos)};
        Sample* outs[2] = {outL.data(), outR.data()};
        events.Clear();
        events.Add(1, (pos / block) % 2 == 0 ? -1.0 : -1.5);
        host.Process(ins, outs, static_cast<std::uint32_t>(block), events, sent);
    });
    state.SetLabel(sizeof(Sample) == 8 ? "music, data64, an event a block" : "music, data32, an event a block");
}

void BM_InProcess(benchmark::State& state) {
    InProcess(state, false, false, "music, ProcessBlockLocked in doubles");
}

} // namespace

BENCHMARK(BM_InProcess)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK_TEMPLATE(BM_ClapHosted, float)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK_TEMPLATE(BM_ClapHosted, double)->Arg(64)->Arg(512)->ArgName("block");
