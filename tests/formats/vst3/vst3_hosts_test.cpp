// The bundle against the renderer users have: a recording through our VST3 host at
// N-frame blocks, 32-bit and 64-bit, equals `vt4r-render -b N --format float|double`
// bit for bit, across settings.
#include <gtest/gtest.h>

#include "tests/support/render_compare.h"
#include "vst3_test_host.h"

using namespace vst3host;
using namespace render_compare;

namespace {

// The recording through the bundle at `block` frames a call; interleaved output.
std::vector<double> Host(const std::vector<double>& input, int32 width, int32 block, const double (&plain)[3]) {
    Plugin host(VT4R_VST3_BUNDLE);
    EXPECT_TRUE(host.Ok()) << host.error;
    if (!host.Ok() || !host.Activate(48000, block, width))
        return {};
    for (ParamID id = 0; id < 3; ++id)
        host.Set(id, host.Normalized(id, plain[id]));
    const std::size_t frames = input.size() / 2;
    std::vector<double> output(input.size());
    for (std::size_t done = 0; done < frames; done += static_cast<std::size_t>(block)) {
        const auto n = static_cast<int32>(std::min<std::size_t>(static_cast<std::size_t>(block), frames - done));
        for (int32 i = 0; i < n; ++i)
            for (int c = 0; c < 2; ++c) {
                host.buffers32[c][i] = static_cast<float>(input[2 * (done + i) + c]);
                host.buffers64[c][i] = input[2 * (done + i) + c];
            }
        EXPECT_EQ(host.Process(n), kResultOk);
        for (int32 i = 0; i < n; ++i)
            for (int c = 0; c < 2; ++c)
                output[2 * (done + i) + c] = width == kSample32 ? host.buffers32[2 + c][i] : host.buffers64[2 + c][i];
    }
    return output;
}

} // namespace

TEST(Vst3Hosts, BothWidthsEqualTheRendererBitForBit) {
    Scratch scratch;
    const fs::path recording = scratch.dir / "recording.wav";
    WriteRecording(recording, 4);
    SF_INFO info;
    const std::vector<double> input = ReadInterleaved<double>(recording, info);
    ASSERT_EQ(input.size(), 2u * 4 * 48000);

    struct Case {
        std::vector<std::string> render;
        double plain[3]; // Input, Output, Relaxed Mode
    };
    const Case cases[] = {
        {{}, {0, 0, 0}},
        {{"--relaxed"}, {0, 0, 1}},
        {{"-i", "12.5", "-o", "-6"}, {12.5, -6, 0}},
        {{"-i", "-20", "-o", "20", "--relaxed"}, {-20, 20, 1}},
        {{"-i", "20", "-o", "-3.25"}, {20, -3.25, 0}},
    };
    struct Width {
        int32 sampleSize;
        const char* format;
        int32 block;
    };
    for (const Width w : {Width{kSample32, "float", 512}, Width{kSample64, "double", 300}})
        for (const Case& c : cases)
            ASSERT_NO_FATAL_FAILURE(ExpectRendererWrites(Host(input, w.sampleSize, w.block, c.plain), recording,
                                                         w.block, w.format, c.render));
}
