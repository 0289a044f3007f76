// vt4r-snapshot against committed reference images, pixel for pixel, and its
// command line. When the artwork or the drawing changes on purpose, regenerate the
// references with VT4R_UPDATE_GOLDEN=1 and look at them before committing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "raster/png_decode.h"
#include "raster/text.h"
#include "snapshot.h"

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

// The references depend on the face fontconfig finds for the knob texts.
std::string KnobFontFile() {
    ITextStyle style("Arial Black", 16, IColour{115, 0, 0, 0}, TextStyleNormal, TextAlignCentre);
    RasterFont* font = FindOrCreateFont(style);
    return font ? RasterFontHandleFile(font->FontHandle()) : "no font";
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

int RunSnapshot(const std::string& arguments) {
    const std::string command = std::string(VT4R_SNAPSHOT_EXE) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
