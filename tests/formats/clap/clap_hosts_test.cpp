// VT4R.clap against the renderer and in a real host's scanner: a recording through our
// host at N-frame blocks equals `vt4r-render -b N` bit for bit, in floats and in
// doubles; Qtractor's plug-in scanner finds VT4R with a stereo pair and its parameters.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "clap_test_host.h"
#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;
using clap_test::Host;
using clap_test::InputEvents;
using clap_test::Library;
using clap_test::OutputEvents;

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/vt4r-clap-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    ~Scratch() { fs::remove_all(dir); }
    fs::path dir;
};

// 6 s of a stereo recording in 32-bit float: a level sweep over two tones and some
// noise, loud enough to be compressed hard and quiet enough to pass untouched.
void WriteRecording(const fs::path& path) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples(2 * 6 * 48000);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = i / 48000.0;
        const double level = std::pow(10.0, (-50.0 + 50.0 * std::fabs(std::sin(M_PI * t / 3.0))) / 20.0);
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
        samples[2 * i] = static_cast<float>(level * (std::sin(2 * M_PI * 110 * t) + noise));
        samples[2 * i + 1] = static_cast<float>(level * (std::sin(2 * M_PI * 165 * t + 1) - noise));
    }
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(f);
}

template <typename Sample> std::vector<Sample> ReadInterleaved(const fs::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
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

// The recording through VT4R.clap in our host at `block` frames, settings by events
// with the first block.
template <typename Sample>
std::vector<Sample> Hosted(const std::vector<Sample>& recording, std::uint32_t block, double input, double output,
                           bool relaxed) {
    Library library(VT4R_CLAP_PLUGIN);
    Host host(library);
    EXPECT_NE(host.Plugin(), nullptr) << library.Error();
    if (host.Plugin() == nullptr || !host.Activate(48000, 1, block))
        return {};
    std::vector<Sample> in[2], out[2];
    for (int c = 0; c < 2; ++c) {
        in[c].resize(block);
        out[c].resize(block);
    }
    Sample* ins[2] = {in[0].data(), in[1].data()};
    Sample* outs[2] = {out[0].data(), out[1].data()};
    InputEvents events;
    events.Add(0, input);
    events.Add(1, output);
    events.Add(2, relaxed ? 1.0 : 0.0);
    OutputEvents outEvents;
    std::vector<Sample> result(recording.size());
    const std::size_t frames = recording.size() / 2;
    for (std::size_t at = 0; at < frames; at += block) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - at));
        for (std::uint32_t i = 0; i < n; ++i)
            for (int c = 0; c < 2; ++c)
                in[c][i] = recording[2 * (at + i) + c];
        host.Process(ins, outs, n, events, outEvents);
        events.Clear();
        for (std::uint32_t i = 0; i < n; ++i)
            for (int c = 0; c < 2; ++c)
                result[2 * (at + i) + c] = out[c][i];
    }
    return result;
}

template <typename Sample> void CompareWithRenderer(const fs::path& dir, const char* format) {
    const fs::path recording = dir / "recording.wav";
    SF_INFO info;
    const std::vector<Sample> samples = ReadInterleaved<Sample>(recording, info);
    ASSERT_EQ(samples.size(), 2u * 6 * 48000);
    struct Case {
        std::uint32_t block;
        double input, output;
        bool relaxed;
    };
    for (const Case& c : {Case{512, 0, 0, false}, Case{64, 12.5, -6, false}, Case{1000, -20, 20, true},
                          Case{300, 20, -3.25, true}}) {
        const fs::path rendered = dir / "rendered.wav";
        std::vector<std::string> args = {"-q", "-b", std::to_string(c.block), "--format", format,
                                         "-i", std::to_string(c.input), "-o", std::to_string(c.output)};
        if (c.relaxed)
            args.push_back("--relaxed");
        args.insert(args.end(), {recording.string(), rendered.string()});
        const ProgramResult r = RunProgram(VT4R_RENDER, args);
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        SF_INFO renderedInfo;
        const std::vector<Sample> expected = ReadInterleaved<Sample>(rendered, renderedInfo);
        ASSERT_EQ(renderedInfo.format & SF_FORMAT_SUBMASK, sizeof(Sample) == 8 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
        const std::vector<Sample> got = Hosted(samples, c.block, c.input, c.output, c.relaxed);
        ASSERT_EQ(got.size(), expected.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            differ += std::memcmp(&got[i], &expected[i], sizeof(Sample)) != 0;
        EXPECT_EQ(differ, 0u) << format << " at " << c.block << " frames, input " << c.input;
    }
}

} // namespace

TEST(ClapHosts, OurHostEqualsTheRendererBitForBitInFloatsAndDoubles) {
    Scratch scratch;
    WriteRecording(scratch.dir / "recording.wav");
    CompareWithRenderer<float>(scratch.dir, "float");
    CompareWithRenderer<double>(scratch.dir, "double");
}

// The scanner reads "CLAP:<file>" lines on its input and answers a line per plug-in:
// CLAP|name|audio ins:outs|midi ins:outs|control ins:outs|flags|file|index|id.
TEST(ClapHosts, QtractorsScannerListsVT4RWithItsStereoPorts) {
    const char* scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
    if (::access(scanner, X_OK) != 0)
        GTEST_SKIP() << "Qtractor is not installed (Debian package qtractor)";
    const std::string command =
        std::string("printf 'CLAP:%s\\n' '") + VT4R_CLAP_PLUGIN + "' | QT_QPA_PLATFORM=offscreen " + scanner + " 2>&1";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, got);
        EXPECT_EQ(::pclose(pipe), 0) << out;
    }
    const std::string expected = std::string("CLAP|VT4R|2:2|0:0|4:0|GUI,EXT,RT|") + VT4R_CLAP_PLUGIN + "|0|";
    EXPECT_NE(out.find(expected), std::string::npos) << out;
    EXPECT_EQ(out.find("***"), std::string::npos) << "the scanner complained: " << out;
}
