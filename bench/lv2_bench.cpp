// What VT4R costs in a DAW: the LV2 bundle hosted through lilv, ns per stereo frame
// at 48 kHz with 64- and 512-frame blocks, beside the plug-in run directly in
// doubles, so the wrapper's own share (conversions, control ports) shows.
#include "format_bench.h"
#include "formats/lv2/ports.h"
#include "lv2_test_host.h"

namespace {
using namespace format_bench;
using namespace vt4r_lv2;

void BM_Lv2Hosted(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const bool relaxed = state.range(1) != 0;
    Lv2TestHost host(VT4R_LV2_BUNDLE, kRate, block, block);
    if (host.Instance() == nullptr) {
        state.SkipWithError("the bundle did not load");
        return;
    }
    LilvInstance* instance = host.Instance();
    std::vector<float> outL(block), outR(block);
    float control[kPortCount] = {};
    control[PortOfParameter(kRelaxedModeParam)] = relaxed ? 1.0f : 0.0f;
    control[kEnabledPort] = 1.0f;
    for (std::uint32_t p = kFirstParameterPort; p < kPortCount; ++p)
        lilv_instance_connect_port(instance, p, &control[p]);
    lilv_instance_connect_port(instance, kOutputLeftPort, outL.data());
    lilv_instance_connect_port(instance, kOutputRightPort, outR.data());
    lilv_instance_activate(instance);
    const Material& m = Music();
    Measure(state, block, outL.data(), [&](long pos) {
        // A host hands new buffers every cycle; so does this.
        lilv_instance_connect_port(instance, kInputLeftPort, const_cast<float*>(m.leftFloat.data() + pos));
        lilv_instance_connect_port(instance, kInputRightPort, const_cast<float*>(m.rightFloat.data() + pos));
        lilv_instance_run(instance, static_cast<std::uint32_t>(block));
    });
    state.SetLabel(relaxed ? "music, Relaxed Mode on" : "music, Relaxed Mode off");
}

void BM_InProcess(benchmark::State& state) {
    const bool relaxed = state.range(1) != 0;
    InProcess(state, relaxed, false, relaxed ? "music, Relaxed Mode on" : "music, Relaxed Mode off");
}

} // namespace

BENCHMARK(BM_InProcess)->ArgsProduct({{64, 512}, {0, 1}})->ArgNames({"block", "relaxed"});
BENCHMARK(BM_Lv2Hosted)->ArgsProduct({{64, 512}, {0, 1}})->ArgNames({"block", "relaxed"});
