#include "raster/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "raster/utf8.h"
#include "raster_test_support.h"

// ---- UTF-8 -----------------------------------------------------------------------------

TEST(Utf8, DecodesOneCharacterAtATime) {
    struct Case {
        const char* bytes;
        int code, length;
    };
    const Case cases[] = {
        {"A", 'A', 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9F\x98\x80", ' ', 4}, // beyond 16 bits: a space
        {"\xC0\x80", 0xC0, 1},        // overlong leads stand alone
        {"\xC1\xBF", 0xC1, 1},
        {"\x80", 0x80, 1},     // stray continuation
        {"\xC3\xC0", 0xC0, 2}, // 0xC0 counts as a continuation byte
        {"\xC3"
         "A",
         0xC3, 1},                     // lead without continuation
        {"\xE2\x82", 0xE2, 1},         // cut short by the NUL
        {"\xF5\x80\x80\x80", 0xF5, 1}, // no such lead
        {"\xF8", 0xF8, 1},
    };
    for (const Case& c : cases) {
        const Utf8Char d = DecodeUtf8(c.bytes);
        EXPECT_EQ(d.code, c.code) << c.bytes;
        EXPECT_EQ(d.length, c.length) << c.bytes;
    }
}

TEST(Utf8, ALengthLimitStopsASequence) {
    const char euro[] = "\xE2\x82\xAC";
    EXPECT_EQ(DecodeUtf8(euro, 3).code, 0x20AC);
    EXPECT_EQ(DecodeUtf8(euro, 2).code, 0xE2);
    EXPECT_EQ(DecodeUtf8(euro, 2).length, 1);
    EXPECT_EQ(DecodeUtf8("\xC3\xA9", 1).length, 1);
}

TEST(Utf8, MultibyteDetection) {
    EXPECT_FALSE(HasMultibyteUtf8("-20.0 dB"));
    EXPECT_TRUE(HasMultibyteUtf8("x\xC3\xA9"));
    EXPECT_TRUE(HasMultibyteUtf8("\xE2\x82\xAC"));
    EXPECT_FALSE(HasMultibyteUtf8("\xC3"));
    EXPECT_FALSE(HasMultibyteUtf8("\xE2\x82"));
    EXPECT_FALSE(HasMultibyteUtf8("\xC0\x80")); // 0xC0 and 0xC1 are no leads
    EXPECT_FALSE(HasMultibyteUtf8("\xC3\xC0")); // here 0xC0 is no continuation
    EXPECT_FALSE(HasMultibyteUtf8(nullptr));
}

// ---- Fonts -----------------------------------------------------------------------------

namespace {

ITextStyle KnobStyle() {
    return ITextStyle("Arial Black", 16, IColour{115, 0, 0, 0}, TextStyleNormal, TextAlignCentre);
}

bool Contains(const char* text, const char* part) {
    return std::strstr(text, part) != nullptr;
}

int Advance(RasterFont* font, int code) {
    const RasterFont::Glyph* g = font->GetGlyph(code);
    return g && g->maskPos > 0 ? g->advance : 0;
}

int AdvanceOf(RasterFont* font, const char* text) {
    int sum = 0;
    for (const char* p = text; *p; ++p)
        sum += Advance(font, static_cast<unsigned char>(*p));
    return sum;
}

// The cached-glyph composite for one mask byte over one pixel, as the text rules state it.
RasterPixel GlyphPixel(RasterPixel d, RasterPixel text, int g, int t) {
    if (g == 0 || t <= 0)
        return d;
    const int k = t >= 256 ? 255 - g : 256 - std::min(256, t * g / 256);
    int out[4];
    for (int i = 0; i < 3; ++i) {
        const int tc = ByteOf(text, i);
        out[i] = tc + (ByteOf(d, i) - tc) * k / 256;
    }
    out[3] = 255 - ((255 - ByteOf(d, 3)) * k) / 256;
    return Bgra(out[0], out[1], out[2], out[3]);
}

// Draws `text` glyph by glyph from its masks, starting at (x, y): what DrawString must give.
void ModelString(RasterBitmap& b, RasterFont* font, const char* text, int x, int y, RasterPixel colour,
                 int t) {
    for (const char* p = text; *p; ++p) {
        const RasterFont::Glyph* g = font->GetGlyph(static_cast<unsigned char>(*p));
        ASSERT_NE(g, nullptr);
        if (g->maskPos <= 0)
            continue;
        const RasterFont::Glyph glyph = *g;
        const std::uint8_t* mask = font->Mask(glyph);
        for (int r = 0; r < glyph.height; ++r)
            for (int c = 0; c < glyph.width; ++c) {
                const int px = x + c, py = y + r;
                if (px < 0 || py < 0 || px >= b.Width() || py >= b.Height())
                    continue;
                b.Row(py)[px] = GlyphPixel(b.Row(py)[px], colour, mask[r * glyph.width + c], t);
            }
        x += glyph.advance;
    }
}

std::vector<RasterPixel> Pixels(const RasterBitmap& b) {
    std::vector<RasterPixel> all;
    for (int r = 0; r < b.Height(); ++r)
        all.insert(all.end(), b.Row(r), b.Row(r) + b.Width());
    return all;
}

// Bounding box of pixels that differ from `background`.
RasterRect Ink(const RasterBitmap& b, RasterPixel background) {
    RasterRect box{b.Width(), b.Height(), -1, -1};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (At(b, x, y) != background) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

} // namespace

// Whatever family, weight or slant is asked for, the face compiled in answers, drawn as it is:
// the same masks as the knob style's, so no machine font can stand in.
TEST(FontResolution, EveryRequestGetsTheEmbeddedFace) {
    ITextStyle knob = KnobStyle();
    RasterFont* font = FindOrCreateFont(knob);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(knob.cachedFont, font);
    const RasterFontHandle* h = font->FontHandle();
    EXPECT_STREQ(RasterFontHandleFile(h), VT4R_TEXT_FACE_NAME);
    EXPECT_TRUE(Contains(RasterFontHandleStyleName(h), "Bold")) << RasterFontHandleStyleName(h);
    EXPECT_FALSE(Contains(RasterFontHandleFamily(h), "Serif") || Contains(RasterFontHandleFamily(h), "Mono"));

    const struct {
        const char* name;
        int weight;
        bool italic;
    } requests[] = {{"DejaVu Sans", 400, false},
                    {"Liberation Sans", 700, false},
                    {"DejaVu Serif", 900, true},
                    {"No Such Family 1234", 100, false},
                    {"", 400, true},
                    {nullptr, 400, false}};
    for (const auto& r : requests) {
        RasterFont other;
        other.SetFromFontHandle(CreateRasterFontHandle(r.name, 16, 0, r.weight, r.italic, 0), FontOwnsHandle);
        ASSERT_NE(other.FontHandle(), nullptr) << (r.name ? r.name : "null");
        EXPECT_STREQ(RasterFontHandleFamily(other.FontHandle()), RasterFontHandleFamily(h));
        EXPECT_STREQ(RasterFontHandleStyleName(other.FontHandle()), RasterFontHandleStyleName(h));
        for (int code : {'M', 'g', '0', '-'}) {
            const RasterFont::Glyph mine = *other.GetGlyph(code), knobs = *font->GetGlyph(code);
            ASSERT_EQ(mine.width, knobs.width);
            ASSERT_EQ(mine.height, knobs.height);
            EXPECT_TRUE(
                std::equal(other.Mask(mine), other.Mask(mine) + mine.width * mine.height, font->Mask(knobs)))
                << (r.name ? r.name : "null") << " " << static_cast<char>(code);
        }
    }
}

TEST(FontCache, KeyIsSizeOrientationStyleAndName) {
    ITextStyle a("DejaVu Sans", 13, IColour{255, 1, 2, 3}, TextStyleNormal, TextAlignLeft, 0,
                 FontQualityDefault);
    ITextStyle b("DejaVu Sans", 13, IColour{9, 9, 9, 9}, TextStyleNormal, TextAlignRight, 0, FontQualityMono);
    ITextStyle c("DejaVu Sans", 15, IColour{}, TextStyleNormal);
    ITextStyle d("DejaVu Sans", 13, IColour{}, TextStyleBold);
    ITextStyle e("dejavu sans", 13, IColour{});
    ITextStyle f("DejaVu Sans", 13, IColour{}, TextStyleNormal, TextAlignLeft, 90);
    RasterFont* fa = FindOrCreateFont(a);
    EXPECT_EQ(FindOrCreateFont(b), fa); // colour, alignment and quality are not part of the key
    EXPECT_NE(FindOrCreateFont(c), fa);
    EXPECT_NE(FindOrCreateFont(d), fa);
    EXPECT_NE(FindOrCreateFont(e), fa); // exact name
    EXPECT_NE(FindOrCreateFont(f), fa);
    EXPECT_EQ(FindOrCreateFont(a), fa);
}

TEST(FontGlyphs, MasksAreOneLineHighAndCapitalsTwoPixelsWider) {
    ITextStyle knob = KnobStyle();
    RasterFont* font = FindOrCreateFont(knob);
    EXPECT_EQ(font->LineHeight(), 16);
    for (int code : {'A', 'M', 'Z'}) {
        const RasterFont::Glyph* g = font->GetGlyph(code);
        ASSERT_NE(g, nullptr);
        EXPECT_GT(g->advance, 0);
        EXPECT_EQ(g->width, g->advance + 2) << static_cast<char>(code);
        EXPECT_EQ(g->height, 16);
    }
    for (int code : {int{'a'}, int{'0'}, int{'-'}, int{'.'}, int{' '}, 0x20AC}) {
        const RasterFont::Glyph* g = font->GetGlyph(code);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->width, g->advance) << code;
        EXPECT_EQ(g->height, 16);
    }
    // A space has a mask with nothing in it; '0' has ink.
    const RasterFont::Glyph space = *font->GetGlyph(' ');
    const std::uint8_t* m = font->Mask(space);
    EXPECT_EQ(std::count(m, m + space.width * space.height, 0), space.width * space.height);
    const RasterFont::Glyph zero = *font->GetGlyph('0');
    m = font->Mask(zero);
    EXPECT_GT(*std::max_element(m, m + zero.width * zero.height), 200);
    EXPECT_EQ(font->GetGlyph(0x10000), nullptr);
    EXPECT_EQ(font->GetGlyph(-1), nullptr);
}

TEST(FontGlyphs, PrerenderedFontsKnowOnlyAscii) {
    RasterFont font;
    font.SetFromFontHandle(CreateRasterFontHandle("DejaVu Sans", 12, 0, 400, false, 0),
                           FontOwnsHandle | FontRenderAsciiNow);
    EXPECT_GT(font.GetGlyph('x')->maskPos, 0);
    EXPECT_EQ(font.GetGlyph(0x20AC), nullptr);
    font.SetFromFontHandle(CreateRasterFontHandle("DejaVu Sans", 20, 0, 400, false, 0), FontOwnsHandle);
    EXPECT_EQ(font.LineHeight(), 20);
    EXPECT_NE(font.GetGlyph(0x20AC), nullptr);
}

TEST(TextMeasure, WidthIsTheSumOfAdvances) {
    ITextStyle knob = KnobStyle();
    RasterFont* font = FindOrCreateFont(knob);
    RasterRect r{10, 20, 0, 0};
    EXPECT_EQ(font->DrawString(nullptr, "-20.0", -1, &r, TextMeasureOnly), 16);
    EXPECT_EQ(r.right - r.left, AdvanceOf(font, "-20.0"));
    EXPECT_EQ(r.bottom, 36);

    r = RasterRect{0, 0, 0, 0};
    font->DrawString(nullptr, "-20.0", 2, &r, TextMeasureOnly); // length limit
    EXPECT_EQ(r.right, AdvanceOf(font, "-2"));

    r = RasterRect{0, 0, 0, 0};
    EXPECT_EQ(font->DrawString(nullptr, "ab\r\nc", -1, &r, TextMeasureOnly), 32);
    EXPECT_EQ(r.right, AdvanceOf(font, "ab"));
    r = RasterRect{0, 0, 0, 0};
    EXPECT_EQ(font->DrawString(nullptr, "ab\r\nc", -1, &r, TextMeasureOnly | TextSingleLine), 16);
    EXPECT_EQ(r.right, AdvanceOf(font, "ab c"));

    r = RasterRect{5, 5, 9, 9};
    EXPECT_EQ(font->DrawString(nullptr, "", -1, &r, TextMeasureOnly), 0);
    EXPECT_EQ(r.right, 5);
}

TEST(TextDraw, KnobTextCompositesAt115Of255) {
    ITextStyle knob = KnobStyle();
    RasterFont* font = FindOrCreateFont(knob);
    RasterMemoryBitmap b(120, 30, 4), expect(120, 30, 4);
    Fill(b, 0xFFFFFFFFu);
    Fill(expect, 0xFFFFFFFFu);
    const RasterPixel black115 = 0x73000000u;
    font->SetTextColour(black115);
    RasterRect empty{};
    EXPECT_EQ(font->DrawString(&b, "-20.0 dB", -1, &empty, 0), 0); // an empty rectangle clips everything
    RasterRect at{3, 4, 120, 30};
    EXPECT_EQ(font->DrawString(&b, "-20.0 dB", -1, &at, TextNoClip | TextUseColourAlpha), 16);
    ModelString(expect, font, "-20.0 dB", 3, 4, black115, 115);
    EXPECT_EQ(Pixels(b), Pixels(expect));

    // Where the mask is fully covered: u = 115 x 255 / 256 = 114, k = 142,
    // 255 x 142 / 256 = 141 in each colour channel; alpha stays 255.
    bool sawFull = false;
    const RasterFont::Glyph minus = *font->GetGlyph('-');
    const std::uint8_t* m = font->Mask(minus);
    for (int r = 0; r < minus.height && !sawFull; ++r)
        for (int c = 0; c < minus.width && !sawFull; ++c)
            if (m[r * minus.width + c] == 255) {
                EXPECT_EQ(At(b, 3 + c, 4 + r), 0xFF8D8D8Du);
                sawFull = true;
            }
    EXPECT_TRUE(sawFull);
}

TEST(TextDraw, OpaqueTextUsesTheFullWeightRule) {
    ITextStyle style("DejaVu Sans", 14, IColour{255, 200, 100, 50});
    RasterFont* font = FindOrCreateFont(style);
    RasterMemoryBitmap b(80, 20, 4), expect(80, 20, 4);
    Fill(b, Bgra(10, 20, 30, 0)); // transparent destination: alpha rises with coverage
    Fill(expect, Bgra(10, 20, 30, 0));
    const RasterPixel colour = Bgra(50, 100, 200, 255);
    font->SetTextColour(colour);
    RasterRect at{1, 2, 80, 20};
    font->DrawString(&b, "Wg8", -1, &at, TextNoClip);
    ModelString(expect, font, "Wg8", 1, 2, colour, 256);
    EXPECT_EQ(Pixels(b), Pixels(expect));
    EXPECT_NE(Pixels(b), std::vector<RasterPixel>(80 * 20, Bgra(10, 20, 30, 0)));
}

TEST(TextDraw, CombineOpacityScalesTheWeight) {
    ITextStyle style("DejaVu Sans", 12, IColour{});
    RasterFont font;
    font.SetFromFontHandle(CreateRasterFontHandle("DejaVu Sans", 12, 0, 400, false, 0), FontOwnsHandle);
    RasterMemoryBitmap b(40, 14, 4), expect(40, 14, 4);
    Fill(b, 0xFF808080u);
    Fill(expect, 0xFF808080u);
    font.SetTextColour(0xFF000000u);
    font.SetCombineMode(0, 0.5f);
    RasterRect at{0, 0, 40, 14};
    font.DrawString(&b, "ok", -1, &at, TextNoClip);
    ModelString(expect, &font, "ok", 0, 0, 0xFF000000u, 128);
    EXPECT_EQ(Pixels(b), Pixels(expect));

    font.SetCombineMode(0, 1.0f);
    font.SetTextColour(0x00000000u); // alpha 0 with TextUseColourAlpha: opacity 0, nothing drawn
    const std::vector<RasterPixel> before = Pixels(b);
    EXPECT_EQ(font.DrawString(&b, "ok", -1, &at, TextNoClip | TextUseColourAlpha), 0);
    EXPECT_EQ(Pixels(b), before);
}

TEST(TextDraw, WithoutNoClipTheRectangleClips) {
    ITextStyle style("DejaVu Sans", 16, IColour{});
    RasterFont* font = FindOrCreateFont(style);
    font->SetTextColour(0xFF000000u);
    RasterMemoryBitmap b(60, 20, 4);
    Fill(b, 0xFFFFFFFFu);
    RasterRect rect{0, 0, 8, 20};
    font->DrawString(&b, "MMMM", -1, &rect, 0);
    const RasterRect ink = Ink(b, 0xFFFFFFFFu);
    EXPECT_GE(ink.left, 0);
    EXPECT_LE(ink.right, 8);
}

TEST(RenderText, CentresWithinTheRectangle) {
    ITextStyle knob = KnobStyle();
    RasterFont* font = FindOrCreateFont(knob);
    RasterMemoryBitmap b(160, 40, 4), expect(160, 40, 4);
    Fill(b, 0xFFFFFFFFu);
    Fill(expect, 0xFFFFFFFFu);
    const RasterRect rect{20, 10, 140, 30};
    ASSERT_TRUE(RenderText(&b, knob, "-20.0 dB", rect));
    const int w = AdvanceOf(font, "-20.0 dB");
    const int x0 = rect.left + (rect.right - w - rect.left) / 2;
    ModelString(expect, font, "-20.0 dB", x0, rect.top, 0x73000000u, 115);
    EXPECT_EQ(Pixels(b), Pixels(expect));
    const RasterRect ink = Ink(b, 0xFFFFFFFFu);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, (rect.left + rect.right) / 2.0, 2.0);
    EXPECT_GE(ink.top, rect.top);
    EXPECT_LE(ink.bottom, rect.bottom);
}

TEST(RenderText, RightAlignmentAndVerticalPlacement) {
    ITextStyle style("DejaVu Sans", 12, IColour{255, 0, 0, 0}, TextStyleNormal, TextAlignRight);
    RasterFont* font = FindOrCreateFont(style);
    RasterMemoryBitmap b(100, 60, 4), expect(100, 60, 4);
    Fill(b, 0xFFFFFFFFu);
    Fill(expect, 0xFFFFFFFFu);
    ASSERT_TRUE(RenderText(&b, style, "42", RasterRect{0, 0, 90, 20}));
    ModelString(expect, font, "42", 90 - AdvanceOf(font, "42"), 0, 0xFF000000u, 256);
    EXPECT_EQ(Pixels(b), Pixels(expect));

    Fill(b, 0xFFFFFFFFu);
    Fill(expect, 0xFFFFFFFFu);
    font->SetTextColour(0xFF000000u);
    RasterRect rect{0, 0, 100, 41};
    font->DrawString(&b, "x", -1, &rect, TextVCentre | TextNoClip);
    ModelString(expect, font, "x", 0, (41 - 12) / 2, 0xFF000000u, 256);
    EXPECT_EQ(Pixels(b), Pixels(expect));
    Fill(b, 0xFFFFFFFFu);
    Fill(expect, 0xFFFFFFFFu);
    font->DrawString(&b, "x", -1, &rect, TextBottom | TextNoClip);
    ModelString(expect, font, "x", 0, 41 - 12, 0xFF000000u, 256);
    EXPECT_EQ(Pixels(b), Pixels(expect));
}

TEST(RenderText, TextWiderThanItsRectangleStartsLeftOfItUnclipped) {
    ITextStyle knob = KnobStyle();
    RasterMemoryBitmap b(200, 30, 4);
    Fill(b, 0xFFFFFFFFu);
    ASSERT_TRUE(RenderText(&b, knob, "-20.0 dB", RasterRect{100, 5, 104, 25}));
    const RasterRect ink = Ink(b, 0xFFFFFFFFu);
    EXPECT_LT(ink.left, 92);
    EXPECT_GT(ink.right, 112);
}

TEST(RenderText, EmptyTextDrawsNothingAndSucceeds) {
    ITextStyle knob = KnobStyle();
    RasterMemoryBitmap b(10, 10, 4);
    Fill(b, 0xFFFFFFFFu);
    EXPECT_TRUE(RenderText(&b, knob, "", RasterRect{0, 0, 10, 10}));
    EXPECT_TRUE(RenderText(&b, knob, nullptr, RasterRect{0, 0, 10, 10}));
    EXPECT_EQ(Pixels(b), std::vector<RasterPixel>(100, 0xFFFFFFFFu));
    // Text off the bitmap, or onto a bitmap without pixels, is harmless.
    EXPECT_TRUE(RenderText(&b, knob, "-20.0", RasterRect{-500, -500, -400, -480}));
    RasterMemoryBitmap none;
    EXPECT_TRUE(RenderText(&none, knob, "-20.0", RasterRect{0, 0, 10, 10}));
    EXPECT_TRUE(RenderText(nullptr, knob, "-20.0", RasterRect{0, 0, 10, 10}));
}

TEST(RenderText, OpaqueBackgroundFillsGlyphCells) {
    RasterFont font;
    font.SetFromFontHandle(CreateRasterFontHandle("DejaVu Sans", 12, 0, 400, false, 0), FontOwnsHandle);
    font.SetBackgroundMode(TextBackgroundOpaque);
    font.SetBackgroundColour(0xFF0000FFu);
    font.SetTextColour(0xFFFFFFFFu);
    RasterMemoryBitmap b(30, 20, 4);
    Fill(b, 0xFF000000u);
    RasterRect at{0, 0, 30, 20};
    font.DrawString(&b, "i", -1, &at, TextNoClip);
    const RasterFont::Glyph i = *font.GetGlyph('i');
    EXPECT_EQ(At(b, 0, 0) & 0xFF, 0xFFu);      // cell corner: background blue (no ink there)
    EXPECT_EQ(At(b, i.width, 0), 0xFF000000u); // outside the cell: untouched
}

TEST(RenderText, ThreadsSharingAFontDrawTheSame) {
    ITextStyle reference = KnobStyle();
    RasterMemoryBitmap expect(120, 24, 4);
    Fill(expect, 0xFFFFFFFFu);
    ASSERT_TRUE(RenderText(&expect, reference, "-12.5 dB", RasterRect{0, 2, 120, 22}));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            ITextStyle style = KnobStyle();
            ITextStyle other("DejaVu Sans", 11 + t, IColour{200, 255, 0, 0}, TextStyleNormal,
                             TextAlignCentre);
            RasterMemoryBitmap b(120, 24, 4);
            for (int i = 0; i < 30; ++i) {
                Fill(b, 0xFFFFFFFFu);
                RenderText(&b, other, "\xE2\x82\xAC 1.5", RasterRect{0, 2, 120, 22});
                Fill(b, 0xFFFFFFFFu);
                RenderText(&b, style, "-12.5 dB", RasterRect{0, 2, 120, 22});
                if (Pixels(b) != Pixels(expect))
                    ++mismatches[t];
            }
        });
    for (auto& th : threads)
        th.join();
    for (int m : mismatches)
        EXPECT_EQ(m, 0);
}

// A flood of distinct characters keeps the glyph cache within its bounds (at 10 px the count
// bound acts, at 256 px the byte bound), and text drawn before and after it (ASCII kept, the
// euro sign dropped and rendered again) is unchanged.
TEST(TextDraw, DistinctCharactersKeepTheGlyphCacheBounded) {
    for (auto [size, count] : {std::pair{10, 20000}, std::pair{256, 2000}}) {
        SCOPED_TRACE(size);
        RasterFont font;
        font.SetFromFontHandle(CreateRasterFontHandle("DejaVu Sans", size, 0, 400, false, 0), FontOwnsHandle);
        font.SetTextColour(0xFF000000u);
        const char* sample = "-20.0 dB \xE2\x82\xAC";
        auto draw = [&](const std::string& text, int width) {
            RasterMemoryBitmap b(width, size, 4);
            Fill(b, 0xFFFFFFFFu);
            RasterRect at{0, 0, width, size};
            font.DrawString(&b, text.c_str(), -1, &at, 0);
            return Pixels(b);
        };
        const std::vector<RasterPixel> before = draw(sample, size * 8);
        const RasterFont::CacheUse start = font.CachedGlyphs();
        std::size_t last = start.glyphs;
        int emptied = 0;
        for (int code = 0x100; code < 0x100 + count; code += 50) {
            std::string text;
            for (int c = code; c < code + 50; ++c) { // two UTF-8 bytes below 0x800, three from there on
                if (c < 0x800) {
                    text += static_cast<char>(0xC0 | c >> 6);
                } else {
                    text += static_cast<char>(0xE0 | c >> 12);
                    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                }
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
            draw(text, size * 2);
            const RasterFont::CacheUse use = font.CachedGlyphs();
            ASSERT_LE(use.glyphs, 128 + RasterFont::kMaxCachedOthers);
            ASSERT_LE(use.bytes, start.bytes + RasterFont::kMaxCachedOtherBytes);
            emptied += use.glyphs < last ? 1 : 0;
            last = use.glyphs;
        }
        EXPECT_GT(emptied, 1);
        EXPECT_EQ(draw(sample, size * 8), before);
    }
}
