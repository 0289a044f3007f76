// VT4R.clap against the renderer and in a real host's scanner: a recording through our
// host at N-frame blocks equals `vt4r-render -b N` bit for bit, in floats and in
// doubles; Qtractor's plug-in scanner finds VT4R with a stereo pair and its parameters.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>

#include "clap_test_host.h"
#include "tests/support/render_compare.h"

namespace {

using clap_test::Host;
using clap_test::InputEvents;
using clap_test::Library;
using clap_test::OutputEvents;
using namespace render_compare;

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
    clap_test::Stereo<Sample> in(block), out(block);
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
        host.Process(in.data, out.data, n, events, outEvents);
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
        std::vector<std::string> options = {"-i", std::to_string(c.input), "-o", std::to_string(c.output)};
        if (c.relaxed)
            options.push_back("--relaxed");
        ASSERT_NO_FATAL_FAILURE(ExpectRendererWrites(Hosted(samples, c.block, c.input, c.output, c.relaxed),
                                                     recording, static_cast<int>(c.block), format, options));
    }
}

} // namespace

TEST(ClapHosts, OurHostEqualsTheRendererBitForBitInFloatsAndDoubles) {
    Scratch scratch;
    WriteRecording(scratch.dir / "recording.wav", 6);
    CompareWithRenderer<float>(scratch.dir, "float");
    CompareWithRenderer<double>(scratch.dir, "double");
}

#ifndef _WIN32 // a Linux host; under Wine its path would still be found
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
#endif
