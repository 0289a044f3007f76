// vt4r-snapshot against committed reference images, pixel for pixel, and its
// command line. When the artwork or the drawing changes on purpose, regenerate the
// references with VT4R_UPDATE_GOLDEN=1 and look at them before committing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "raster/png_decode.h"
#include "raster/text.h"
#include "snapshot.h"
#include "tests/support/run_program.h"
#include "tests/support/utf8_path.h"

namespace {

struct GoldenCase {
    const char* name;
    std::vector<const char*> args;
};

const GoldenCase kCases[] = {
    {"default", {}},
    {"relaxed_half_meter", {"--input", "-20", "--output", "13.7", "--relaxed", "--meter", "0.5"}},
    {"full_meter", {"--input", "20", "--output", "-7.3", "--meter", "1"}},
    {"overlay", {"--overlay", "--meter", "0.3"}},
};

// The references depend on the face compiled in for the knob texts.
std::string KnobFontFile() {
    ITextStyle style("Arial Black", 16, IColour{115, 0, 0, 0}, TextStyleNormal, TextAlignCentre);
    RasterFont* font = FindOrCreateFont(style);
    if (!font)
        return "no font";
    const RasterFontHandle* h = font->FontHandle();
    return std::string(RasterFontHandleFamily(h)) + " " + RasterFontHandleStyleName(h) + ", embedded from " +
           RasterFontHandleFile(h);
}

std::string GoldenPath(const char* name) {
    return std::string(VT4R_GOLDEN_DIR) + "/" + name + ".png";
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, SnapshotMatchesTheReferencePixelForPixel) {
    const GoldenCase& c = GetParam();
    std::vector<const char*> argv{"vt4r-snapshot", "unused.png"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SnapshotOptions options;
    std::string error;
    ASSERT_TRUE(ParseSnapshotArgs(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    RgbImage image;
    ASSERT_TRUE(RenderSnapshot(options, image, error)) << error;

    const std::string golden = GoldenPath(c.name);
    if (std::getenv("VT4R_UPDATE_GOLDEN")) {
        ASSERT_TRUE(WritePngRgb(golden, image, error)) << error;
        GTEST_SKIP() << "rewrote " << golden;
    }
    std::unique_ptr<RasterBitmap> reference(LoadPngFromFile(golden.c_str(), nullptr));
    ASSERT_NE(reference, nullptr) << "missing reference " << golden;
    ASSERT_EQ(reference->Width(), image.width);
    ASSERT_EQ(reference->Height(), image.height);
    int differing = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < image.height; ++y) {
        const RasterPixel* row = reference->Row(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* got = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
            const RasterPixel want = row[x];
            if (got[0] != ((want >> 16) & 0xFF) || got[1] != ((want >> 8) & 0xFF) ||
                got[2] != (want & 0xFF)) {
                if (differing++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    }
    if (differing > 0) {
        const std::string actual = std::string(c.name) + ".actual.png";
        WritePngRgb(actual, image, error);
        ADD_FAILURE() << differing << " pixels differ from " << golden << ", first at (" << firstX << ", "
                      << firstY << "); this run's picture is in " << actual << " (knob text face "
                      << KnobFontFile() << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(States, Golden, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The exit code of vt4r-snapshot run with the space-separated `arguments`.
int RunSnapshot(const std::string& arguments) {
    std::vector<std::string> args;
    for (std::size_t start = 0; start < arguments.size();) {
        std::size_t end = arguments.find(' ', start);
        if (end == std::string::npos)
            end = arguments.size();
        if (end > start)
            args.push_back(arguments.substr(start, end - start));
        start = end + 1;
    }
    return RunProgram(VT4R_SNAPSHOT_EXE, args).exitCode;
}

TEST(SnapshotCommandLine, BadArgumentsFailWithoutWritingAFile) {
    const std::string out = "snapshot_cli_test.png";
    std::remove(out.c_str());
    const char* bad[] = {
        "",                   // no output file
        "--meter 0.5",        // still no output file
        "OUT --input",        // missing value
        "OUT --input loud",   // not a number
        "OUT --input 21",     // out of range
        "OUT --output -20.5", //
        "OUT --meter 1.5",    //
        "OUT --meter nan",    //
        "OUT --input 3x",     // trailing junk
        "OUT --colour red",   // unknown option
        "OUT other.png",      // two outputs
    };
    for (const char* args : bad) {
        std::string line = args;
        if (const auto at = line.find("OUT"); at != std::string::npos)
            line.replace(at, 3, out);
        EXPECT_NE(RunSnapshot(line), 0) << line;
        EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr) << line;
    }
    EXPECT_NE(RunSnapshot("/nonexistent-folder/x.png"), 0);
    EXPECT_EQ(RunSnapshot(out + " --input -3.5 --relaxed --overlay"), 0);
    std::unique_ptr<RasterBitmap> written(LoadPngFromFile(out.c_str(), nullptr));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->Width(), 288);
    EXPECT_EQ(written->Height(), 392);
    std::remove(out.c_str());
}

// Environment variables set for this process and the programs it starts, put back when done.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(std::vector<std::pair<std::string, std::string>> values) {
        for (auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            mSaved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            Set(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, old] : mSaved) {
            if (old)
                Set(name, *old);
            else
                Unset(name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
#ifdef _WIN32
    static void Set(const std::string& name, const std::string& value) {
        _putenv_s(name.c_str(), value.c_str());
    }
    static void Unset(const std::string& name) {
        _putenv_s(name.c_str(), "");
    }
#else
    static void Set(const std::string& name, const std::string& value) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    static void Unset(const std::string& name) {
        unsetenv(name.c_str());
    }
#endif
    std::vector<std::pair<std::string, std::optional<std::string>>> mSaved;
};

// Pixels differing in colour (alpha ignored); -1 when the sizes differ.
int DifferingPixels(const RasterBitmap& a, const RasterBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return -1;
    int differing = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            differing += ((a.Row(y)[x] ^ b.Row(y)[x]) & 0xFFFFFFu) != 0;
    return differing;
}

// The program run under a font configuration that hides the face the references were drawn
// with and answers every family request with a serif face, and with no home or XDG folders
// of the user's: were the knob texts looked up among the machine's fonts, they would change.
TEST(KnobText, AHostileFontConfigurationChangesNoPixel) {
    namespace fs = std::filesystem;
    const fs::path home = fs::absolute("hostile_fonts");
    fs::remove_all(home);
    fs::create_directories(home / "cache");
    {
        std::ofstream conf(home / "fonts.conf");
        conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                "  <dir>/usr/share/fonts</dir>\n  <cachedir>"
             << Utf8(home / "cache")
             << "</cachedir>\n"
                "  <selectfont><rejectfont><glob>*urw-base35*</glob></rejectfont></selectfont>\n"
                "  <match target=\"pattern\"><edit name=\"family\" mode=\"prepend\" binding=\"strong\">"
                "<string>DejaVu Serif</string></edit></match>\n</fontconfig>\n";
        ASSERT_TRUE(conf.good());
    }
    const std::string h = Utf8(home);
    const ScopedEnvironment env({{"FONTCONFIG_FILE", h + "/fonts.conf"},
                                 {"FONTCONFIG_PATH", h},
                                 {"HOME", h},
                                 {"XDG_CONFIG_HOME", h},
                                 {"XDG_DATA_HOME", h},
                                 {"XDG_DATA_DIRS", h},
                                 {"XDG_CACHE_HOME", h + "/cache"}});
    for (const GoldenCase& c : kCases) {
        const std::string out = Utf8(home / (std::string(c.name) + ".png"));
        std::vector<std::string> args{out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramResult run = RunProgram(VT4R_SNAPSHOT_EXE, args);
        ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.errors;
        std::unique_ptr<RasterBitmap> got(LoadPngFromFile(out.c_str(), nullptr));
        std::unique_ptr<RasterBitmap> want(LoadPngFromFile(GoldenPath(c.name).c_str(), nullptr));
        ASSERT_NE(got, nullptr) << out;
        ASSERT_NE(want, nullptr) << GoldenPath(c.name);
        EXPECT_EQ(DifferingPixels(*got, *want), 0) << c.name << ": see " << out;
    }
}

TEST(SnapshotCommandLine, ParsesEveryOption) {
    const char* argv[] = {"vt4r-snapshot", "--meter",   "0.25",      "a.png",   "--output",
                          "-20",           "--relaxed", "--overlay", "--input", "19.9"};
    SnapshotOptions o;
    std::string error;
    ASSERT_TRUE(ParseSnapshotArgs(10, argv, o, error)) << error;
    EXPECT_EQ(o.outputPath, "a.png");
    EXPECT_DOUBLE_EQ(o.meter, 0.25);
    EXPECT_DOUBLE_EQ(o.outputDb, -20.0);
    EXPECT_DOUBLE_EQ(o.inputDb, 19.9);
    EXPECT_TRUE(o.relaxed);
    EXPECT_TRUE(o.overlay);
}

} // namespace
