// What VT4R costs in a VST3 host: the bundle driven through our test host's process call
// (stereo buses of 32- or 64-bit samples, a parameter change in every block, the Gain
// Reduction output parameter back), ns per stereo frame at 48 kHz with 64- and 512-frame
// blocks, beside the plug-in run directly in doubles, so the wrapper's own share shows.
#include "format_bench.h"
#include "vst3_test_host.h"

namespace {
using namespace format_bench;

void BM_Vst3Hosted(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const bool wide = state.range(1) == 64;
    vst3host::Plugin host(VT4R_VST3_BUNDLE);
    if (!host.Ok() || !host.Activate(kRate, block, wide ? Steinberg::Vst::kSample64 : Steinberg::Vst::kSample32)) {
        state.SkipWithError("the bundle did not load");
        return;
    }
    const Material& m = Music();
    int flip = 0;
    const void* out = wide ? static_cast<const void*>(host.buffers64[2].data()) : host.buffers32[2].data();
    Measure(state, block, out, [&](long pos) {
        // The copy in stands for the host's own buffers; a change to Output in every block.
        if (wide) {
            std::copy_n(m.left.data() + pos, block, host.buffers64[0].data());
            std::copy_n(m.right.data() + pos, block, host.buffers64[1].data());
        } else { // converted here, as a host with float buses would
            std::copy_n(m.left.data() + pos, block, host.buffers32[0].data());
            std::copy_n(m.right.data() + pos, block, host.buffers32[1].data());
        }
        host.inputChanges.Add(1, (flip ^= 1) != 0 ? 0.5 : 0.52, 0);
        host.Process(block);
    });
    state.SetLabel(wide ? "music, 64-bit buses" : "music, 32-bit buses");
}

// The same copy in as the hosted run, so only the wrapper's share differs.
void BM_InProcess(benchmark::State& state) { InProcess(state, false, true, "music"); }

} // namespace

BENCHMARK(BM_InProcess)->Arg(64)->Arg(512)->ArgName("block");
BENCHMARK(BM_Vst3Hosted)->ArgsProduct({{64, 512}, {32, 64}})->ArgNames({"block", "bits"});
