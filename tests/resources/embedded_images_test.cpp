// The editor's images as compiled into the program: each id is there, is an 8-bit RGBA PNG of the size and
// frame layout the editor draws with, and has its see-through parts where the layering needs them.
#include "resources/embedded.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    std::uint8_t Alpha(int x, int y) const { return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + 3]; }
};

std::uint32_t BigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Checks the header the decoder relies on, then decodes to straight RGBA.
Image Decode(int id) {
    Image image;
    const EmbeddedResource res = FindEmbeddedResource(id);
    EXPECT_NE(res.data, nullptr) << "id " << id;
    if (!res.data) {
        return image;
    }
    EXPECT_GE(res.size, 33u);
    EXPECT_EQ(png_sig_cmp(res.data, 0, 8), 0) << "id " << id;
    EXPECT_EQ(BigEndian32(res.data + 12), 0x49484452u) << "first chunk must be IHDR";
    EXPECT_EQ(res.data[24], 8) << "bit depth, id " << id;
    EXPECT_EQ(res.data[25], PNG_COLOR_TYPE_RGB_ALPHA) << "colour type, id " << id;
    EXPECT_EQ(res.data[28], PNG_INTERLACE_NONE) << "interlace, id " << id;

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, res.data, res.size)) {
        ADD_FAILURE() << "id " << id << ": " << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        ADD_FAILURE() << "id " << id << ": " << png.message;
        image = Image{};
    }
    return image;
}

struct Box {
    int left, top, right, bottom; // right and bottom exclusive
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

int CountAlpha(const Image& image, const Box& box, bool (*test)(std::uint8_t)) {
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            n += test(image.Alpha(x, y)) ? 1 : 0;
        }
    }
    return n;
}

bool Opaque(std::uint8_t a) {
    return a == 255;
}
bool Clear(std::uint8_t a) {
    return a == 0;
}
bool SeeThrough(std::uint8_t a) {
    return a < 200;
}

TEST(EmbeddedImages, EveryIdHasTheSizeTheEditorDrawsWith) {
    struct Expected {
        int id, width, height;
    };
    for (const Expected& e :
         {Expected{101, 288, 392}, Expected{102, 288, 392}, Expected{103, 16, 45}, Expected{104, 288, 392},
          Expected{105, 135, 13635}, Expected{106, 288, 392}, Expected{107, 56, 112}}) {
        const Image image = Decode(e.id);
        EXPECT_EQ(image.width, e.width) << "id " << e.id;
        EXPECT_EQ(image.height, e.height) << "id " << e.id;
    }
}

TEST(EmbeddedImages, UnknownIdsAreNotFound) {
    for (int id : {0, -1, 100, 108, 997, 101 + 0x10000}) {
        const EmbeddedResource res = FindEmbeddedResource(id);
        EXPECT_EQ(res.data, nullptr) << "id " << id;
        EXPECT_EQ(res.size, 0u) << "id " << id;
    }
}

TEST(EmbeddedImages, BackgroundIsFullyTransparentBlack) {
    const Image bg = Decode(101);
    ASSERT_FALSE(bg.rgba.empty());
    for (std::uint8_t byte : bg.rgba) {
        ASSERT_EQ(byte, 0);
    }
}

TEST(EmbeddedImages, MeterFaceAndInformationScreenAreOpaque) {
    for (int id : {102, 106}) {
        const Image image = Decode(id);
        ASSERT_FALSE(image.rgba.empty());
        const Box all{0, 0, image.width, image.height};
        EXPECT_EQ(CountAlpha(image, all, Opaque), image.width * image.height) << "id " << id;
    }
}

TEST(EmbeddedImages, FrontPanelShowsTheMeterAndValueTextsThroughItsWindows) {
    const Image panel = Decode(104);
    ASSERT_EQ(panel.width, 288);
    ASSERT_EQ(panel.height, 392);
    // The needle's whole track must show through.
    const Box track{20, 83, 270, 128};
    EXPECT_EQ(CountAlpha(panel, track, SeeThrough), (270 - 20) * (128 - 83));
    // Behind each value text: the middle of the text rectangle, where short values like "-20.0" sit.
    for (const Box& text : {Box{52, 306, 107, 320}, Box{181, 306, 236, 320}}) {
        EXPECT_EQ(CountAlpha(panel, text, SeeThrough), (text.right - text.left) * (text.bottom - text.top));
    }
    // Everywhere else, including the logo area and under the knobs and the switch, the panel is solid.
    const Box windows[] = {{14, 83, 274, 128}, {12, 303, 147, 323}, {141, 303, 276, 323}};
    for (int y = 0; y < panel.height; ++y) {
        for (int x = 0; x < panel.width; ++x) {
            bool inWindow = false;
            for (const Box& w : windows) {
                inWindow = inWindow || w.Contains(x, y);
            }
            if (!inWindow) {
                ASSERT_EQ(panel.Alpha(x, y), 255) << "at " << x << "," << y;
            }
        }
    }
}

TEST(EmbeddedImages, NeedleIsASemiTransparentBar) {
    const Image needle = Decode(103);
    ASSERT_EQ(needle.width, 16);
    const Box all{0, 0, 16, 45};
    EXPECT_GT(CountAlpha(needle, all, Clear), 0);
    EXPECT_GT(CountAlpha(needle, all, [](std::uint8_t a) { return a > 0 && a < 255; }), 0);
    // The blade reaches from the top of the track to the bottom.
    for (int y : {0, 22, 44}) {
        EXPECT_GE(CountAlpha(needle, Box{6, y, 10, y + 1}, [](std::uint8_t a) { return a > 200; }), 1)
            << "row " << y;
    }
}

// A frame strip whose frames bleed into each other shows seams when one frame is drawn.
void ExpectSeparateFrames(const Image& strip, int frameSize, int frames) {
    ASSERT_EQ(strip.height, frameSize * frames);
    for (int f = 0; f < frames; ++f) {
        const int top = f * frameSize;
        EXPECT_EQ(CountAlpha(strip, Box{0, top, strip.width, top + 1}, Clear), strip.width)
            << "frame " << f + 1;
        EXPECT_EQ(CountAlpha(strip, Box{0, top + frameSize - 1, strip.width, top + frameSize}, Clear),
                  strip.width)
            << "frame " << f + 1;
        const int c = frameSize / 2;
        EXPECT_EQ(strip.Alpha(c, top + c), 255) << "frame " << f + 1;
    }
}

double Luminance(const Image& image, int x, int y) {
    const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
    return (0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2]) * p[3] / 255.0;
}

// Direction (degrees clockwise from up) of the brightest point on a ring around the frame's centre:
// the knob's index line, the only light mark on its dark skirt.
double IndexDirection(const Image& strip, int frame, double radius) {
    const double c = 67.5, top = (frame - 1) * 135.0;
    double best = -1.0, bestAngle = 0.0;
    for (int deg = -180; deg < 180; ++deg) {
        const double a = deg * 3.14159265358979 / 180.0;
        const int x = static_cast<int>(c + std::sin(a) * radius);
        const int y = static_cast<int>(top + c - std::cos(a) * radius);
        const double l = Luminance(strip, x, y);
        if (l > best) {
            best = l;
            bestAngle = deg;
        }
    }
    return bestAngle;
}

TEST(EmbeddedImages, KnobStripTurnsFromMinimumToMaximumOverItsFrames) {
    const Image knob = Decode(105);
    ASSERT_EQ(knob.width, 135);
    ExpectSeparateFrames(knob, 135, 101);
    // Frame 1 points down-left, frame 51 straight up, frame 101 down-right, evenly in between.
    for (int frame : {1, 2, 26, 51, 76, 100, 101}) {
        const double expected = -150.0 + 3.0 * (frame - 1);
        EXPECT_NEAR(IndexDirection(knob, frame, 39.0), expected, 4.0) << "frame " << frame;
    }
}

TEST(EmbeddedImages, ToggleLeverPointsDownWhenOffAndUpWhenOn) {
    const Image toggle = Decode(107);
    ASSERT_EQ(toggle.width, 56);
    ExpectSeparateFrames(toggle, 56, 2);
    auto lit = [](std::uint8_t a) { return a == 255; };
    // The lever's ball end reaches past the washer, below it for "Off" and above it for "On".
    for (int frame : {1, 2}) {
        const int top = (frame - 1) * 56;
        const Box above{26, top + 7, 30, top + 11}, below{26, top + 45, 30, top + 49};
        const bool on = frame == 2;
        EXPECT_EQ(CountAlpha(toggle, on ? above : below, lit), 16) << "frame " << frame;
        EXPECT_EQ(CountAlpha(toggle, on ? below : above, lit), 0) << "frame " << frame;
    }
}

} // namespace
