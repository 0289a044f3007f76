// The bundle against the renderer users have: a recording through our VST3 host at
// N-frame blocks, 32-bit and 64-bit, equals `vt4r-render -b N --format float|double`
// bit for bit, across settings.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "vst3_test_host.h"

using namespace vst3host;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/vt4r-vst3-XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~Scratch() { fs::remove_all(dir); }
    fs::path dir;
};

// Interleaved samples, as doubles whatever the file holds (floats convert exactly).
std::vector<double> Read(const fs::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr)
        return {};
    std::vector<double> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_double(f, samples.data(), info.frames);
    sf_close(f);
    return samples;
}

// 4 s of a stereo recording in 32-bit float: a level sweep over two tones and some noise,
// loud enough to be compressed hard and quiet enough to pass untouched.
void WriteRecording(const fs::path& path) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples(2 * 4 * 48000);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = i / 48000.0;
        const double level = std::pow(10.0, (-50.0 + 50.0 * std::fabs(std::sin(M_PI * t / 2.0))) / 20.0);
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
        samples[2 * i] = static_cast<float>(level * (std::sin(2 * M_PI * 110 * t) + noise));
        samples[2 * i + 1] = static_cast<float>(level * (std::sin(2 * M_PI * 165 * t + 1) - noise));
    }
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(f);
}

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
    WriteRecording(recording);
    SF_INFO info;
    const std::vector<double> input = Read(recording, info);
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
    for (const Width w : {Width{kSample32, "float", 512}, Width{kSample64, "double", 300}}) {
        for (const Case& c : cases) {
            const fs::path rendered = scratch.dir / "rendered.wav";
            std::vector<std::string> args = {"-q", "-b", std::to_string(w.block), "--format", w.format};
            args.insert(args.end(), c.render.begin(), c.render.end());
            args.insert(args.end(), {recording.string(), rendered.string()});
            const ProgramResult r = RunProgram(VT4R_RENDER, args);
            ASSERT_EQ(r.exitCode, 0) << r.errors;
            SF_INFO renderedInfo;
            const std::vector<double> expected = Read(rendered, renderedInfo);
            ASSERT_EQ(renderedInfo.format & SF_FORMAT_SUBMASK, w.sampleSize == kSample32 ? SF_FORMAT_FLOAT
                                                                                         : SF_FORMAT_DOUBLE);
            const std::vector<double> got = Host(input, w.sampleSize, w.block, c.plain);
            ASSERT_EQ(got.size(), expected.size());
            std::size_t differ = 0;
            for (std::size_t i = 0; i < got.size(); ++i)
                differ += std::memcmp(&got[i], &expected[i], sizeof(double)) != 0;
            EXPECT_EQ(differ, 0u) << w.format << " " << ::testing::PrintToString(c.render);
        }
    }
}
