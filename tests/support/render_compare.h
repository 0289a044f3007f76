#pragma once
// What the format tests share to hold a hosted plug-in's output against vt4r-render's (the
// test defines VT4R_RENDER): a scratch folder, a recording, the files read back and the
// bit-for-bit comparison.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace render_compare {

namespace fs = std::filesystem;

struct Scratch {
    Scratch() {
#ifdef _WIN32
        // A folder no other test process has: tests run side by side.
        std::random_device random;
        do
            dir = fs::temp_directory_path() /
                  ("vt4r-test-" + std::to_string(_getpid()) + "-" + std::to_string(random()));
        while (!fs::create_directory(dir));
#else
        char pattern[] = "/tmp/vt4r-test-XXXXXX";
        dir = mkdtemp(pattern);
#endif
    }
    ~Scratch() { fs::remove_all(dir); }
    fs::path dir;
};

// `seconds` of a stereo recording in 32-bit float: a level sweep (up and down once) over two
// tones and some noise, loud enough to be compressed hard and quiet enough to pass untouched.
inline void WriteRecording(const fs::path& path, int seconds) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples(2 * static_cast<std::size_t>(seconds) * 48000);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = i / 48000.0;
        const double level = std::pow(10.0, (-50.0 + 50.0 * std::fabs(std::sin(M_PI * t / (seconds / 2.0)))) / 20.0);
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
        samples[2 * i] = static_cast<float>(level * (std::sin(2 * M_PI * 110 * t) + noise));
        samples[2 * i + 1] = static_cast<float>(level * (std::sin(2 * M_PI * 165 * t + 1) - noise));
    }
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(f);
}

// Interleaved samples as `Sample`, whatever the file holds (floats convert to doubles exactly).
template <typename Sample> std::vector<Sample> ReadInterleaved(const fs::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.string().c_str(), SFM_READ, &info);
    if (f == nullptr)
        return {};
    std::vector<Sample> samples(static_cast<std::size_t>(info.frames * info.channels));
    if constexpr (sizeof(Sample) == sizeof(double))
        sf_readf_double(f, samples.data(), info.frames);
    else
        sf_readf_float(f, samples.data(), info.frames);
    sf_close(f);
    return samples;
}

// `got` (interleaved) equals, bit for bit, what `vt4r-render -b block --format format` with
// `options` writes for `recording`.
template <typename Sample>
void ExpectRendererWrites(const std::vector<Sample>& got, const fs::path& recording, int block, const char* format,
                          const std::vector<std::string>& options) {
    const fs::path rendered = recording.parent_path() / "rendered.wav";
    std::vector<std::string> args = {"-q", "-b", std::to_string(block), "--format", format};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {recording.string(), rendered.string()});
    const ProgramResult r = RunProgram(VT4R_RENDER, args);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    SF_INFO info;
    const std::vector<Sample> expected = ReadInterleaved<Sample>(rendered, info);
    ASSERT_EQ(info.format & SF_FORMAT_SUBMASK, std::strcmp(format, "double") == 0 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    ASSERT_EQ(got.size(), expected.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < got.size(); ++i)
        differ += std::memcmp(&got[i], &expected[i], sizeof(Sample)) != 0;
    EXPECT_EQ(differ, 0u) << format << " at " << block << " frames, " << ::testing::PrintToString(options);
}

} // namespace render_compare
