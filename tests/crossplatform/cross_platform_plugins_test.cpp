// The Windows plug-ins (run under Wine by our test hosts, tests/windows-plugins) beside the
// Linux ones and the Linux renderer:
//   VT4R_WINDOWS_BUILD=build-win scripts/with-wine.sh ctest --test-dir build -L crossplatform
// A state saved on one platform loads on the other with the same values, and both save the
// same bytes; a recording through the Windows plug-in equals the Linux vt4r-render's file bit
// for bit, in 32- and 64-bit samples.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "tests/support/render_compare.h"
#include "tests/support/run_program.h"

namespace {

using namespace render_compare;

struct Format {
    const char* name;
    std::string linuxPlugin;
    std::string windowsPlugin; // relative to the Windows build
};

class CrossPlatformPlugins : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* build = std::getenv("VT4R_WINDOWS_BUILD");
        if (build == nullptr || *build == '\0')
            GTEST_SKIP() << "VT4R_WINDOWS_BUILD names no Windows build folder";
        windows = fs::absolute(build);
        ASSERT_TRUE(fs::exists(windows / "tests/windows-plugins/format-host-tool.exe")) << windows;
        ASSERT_TRUE(fs::exists(windows / "VT4R.clap")) << windows;
    }

    std::vector<Format> Formats() const {
        return {{"clap", VT4R_CLAP_PLUGIN, (windows / "VT4R.clap").string()},
                {"vst3", VT4R_VST3_BUNDLE, (windows / "VT4R.vst3").string()}};
    }
    // The host program on Linux, or the Windows one under Wine; answers its output.
    std::string Run(bool onWindows, const Format& format, std::vector<std::string> args, int expectExit = 0) const {
        const fs::path out = scratch.dir / "stdout.txt";
        args.insert(args.begin(), {format.name, onWindows ? format.windowsPlugin : format.linuxPlugin});
        std::string program = FORMAT_HOST_TOOL;
        if (onWindows) {
            args.insert(args.begin(), (windows / "tests/windows-plugins/format-host-tool.exe").string());
            program = "/usr/bin/wine";
        }
        // RunProgram sends stdout to the null device: the values come back through a shell.
        std::string command = "'" + program + "'";
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " >'" + out.string() + "'";
        const ProgramResult r = RunProgram("/bin/sh", {"-c", command});
        EXPECT_EQ(r.exitCode, expectExit) << command << "\n" << r.errors;
        std::ifstream in(out);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end()); // Wine's text-mode stdout
        return text;
    }
    static std::vector<char> Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path windows;
    Scratch scratch;
};

} // namespace

TEST_F(CrossPlatformPlugins, AStateSavedOnOnePlatformLoadsOnTheOtherWithTheSameValues) {
    // Input, Output, Relaxed Mode: the state (Bypass is the host's).
    const std::vector<std::vector<std::string>> settings = {{"-7.5", "13.25", "1"}, {"20", "-20", "0"}};
    for (const Format& format : Formats())
        for (std::size_t s = 0; s < settings.size(); ++s) {
            SCOPED_TRACE(std::string(format.name) + " settings " + std::to_string(s));
            const fs::path fromLinux = scratch.dir / "linux.state", fromWindows = scratch.dir / "windows.state";
            std::vector<std::string> save = {"save", fromLinux.string()};
            save.insert(save.end(), settings[s].begin(), settings[s].end());
            Run(false, format, save);
            save[1] = fromWindows.string();
            Run(true, format, save);
            ASSERT_FALSE(Bytes(fromLinux).empty());
            EXPECT_EQ(Bytes(fromLinux), Bytes(fromWindows));

            const std::string onLinux = Run(false, format, {"load", fromLinux.string()});
            EXPECT_EQ(Run(true, format, {"load", fromLinux.string()}), onLinux) << "Linux to Windows";
            EXPECT_EQ(Run(false, format, {"load", fromWindows.string()}), onLinux) << "Windows to Linux";
            std::istringstream values(onLinux);
            for (const std::string& set : settings[s]) {
                double value = NAN;
                values >> value;
                EXPECT_NEAR(value, std::stod(set), 1e-9) << onLinux;
            }
        }
}

TEST_F(CrossPlatformPlugins, TheWindowsPluginsRenderARecordingAsTheLinuxRendererBitForBit) {
    const fs::path recording = scratch.dir / "recording.wav";
    WriteRecording(recording, 4);
    struct Case {
        const char* width;
        int block;
        std::vector<std::string> plain;  // Input, Output, Relaxed Mode
        std::vector<std::string> render; // the same for vt4r-render
    };
    const Case cases[] = {{"float", 512, {"12.5", "-6", "0"}, {"-i", "12.5", "-o", "-6"}},
                          {"double", 300, {"-20", "20", "1"}, {"-i", "-20", "-o", "20", "--relaxed"}}};
    for (const Format& format : Formats())
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(format.name) + " " + c.width);
            const fs::path out = scratch.dir / "plugin.wav";
            std::vector<std::string> args = {"render", recording.string(), out.string(), std::to_string(c.block),
                                              c.width};
            args.insert(args.end(), c.plain.begin(), c.plain.end());
            Run(true, format, args);
            SF_INFO info;
            if (std::string(c.width) == "double")
                ExpectRendererWrites(ReadInterleaved<double>(out, info), recording, c.block, c.width, c.render);
            else
                ExpectRendererWrites(ReadInterleaved<float>(out, info), recording, c.block, c.width, c.render);
        }
}
