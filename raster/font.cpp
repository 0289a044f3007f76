#include "raster/font.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "raster/font_face.h"
#include "raster/utf8.h"

namespace {

inline int Channel(RasterPixel p, int shift) {
    return static_cast<int>((p >> shift) & 0xFF);
}

// Integer weight from an opacity, bounded so odd values cannot overflow; NaN counts as 0.
int WeightOf(float opacity) {
    const float scaled = opacity * 256.0f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 65536.0f ? 65536 : static_cast<int>(scaled);
}

// Walks UTF-8 text up to `length` bytes (-1: up to the NUL); a NUL always ends it.
template <typename Fn> void ForEachCode(const char* text, int length, Fn fn) {
    for (int i = 0; (length < 0 || i < length) && text[i] != '\0';) {
        const Utf8Char c = DecodeUtf8(text + i, length < 0 ? -1 : length - i);
        i += c.length;
        fn(c.code);
    }
}

} // namespace

RasterFont::RasterFont() = default;

RasterFont::~RasterFont() {
    if ((mFlags & FontOwnsHandle) != 0)
        DestroyRasterFontHandle(mHandle);
}

void RasterFont::SetFromFontHandle(RasterFontHandle* handle, int flags) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    if ((mFlags & FontOwnsHandle) != 0 && mHandle && handle != mHandle)
        DestroyRasterFontHandle(mHandle);
    mFlags = flags;
    mHandle = handle;
    mLineHeight = handle ? RasterFontHandleLineHeight(handle) : 0;
    Forget();
    if (handle && (flags & FontRenderAsciiNow) != 0)
        for (int code = 0; code < 128; ++code)
            GetGlyph(code);
}

void RasterFont::Forget() {
    for (int code = 0; code < 128; ++code)
        mAscii[code] = Glyph{0, 0, 0, 0, static_cast<std::uint16_t>(code)};
    mOthers.clear();
    mCoverage.clear();
    mOtherCoverage.clear();
}

RasterPixel RasterFont::SetTextColour(RasterPixel colour) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return std::exchange(mTextColour, colour);
}

RasterPixel RasterFont::SetBackgroundColour(RasterPixel colour) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return std::exchange(mBackgroundColour, colour);
}

RasterPixel RasterFont::SetEffectColour(RasterPixel colour) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return std::exchange(mEffectColour, colour);
}

int RasterFont::SetBackgroundMode(int mode) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return std::exchange(mBackgroundMode, mode);
}

void RasterFont::SetCombineMode(int mode, float opacity) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    mCombineMode = mode;
    mCombineOpacity = opacity;
}

RasterPixel RasterFont::TextColour() const {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return mTextColour;
}

RasterFontHandle* RasterFont::FontHandle() const {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return mHandle;
}

int RasterFont::LineHeight() const {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    return mLineHeight;
}

// Renders glyph.code into mScratch and sets the glyph's size; a glyph that draws nothing gets
// maskPos -1. StoreMask then moves the coverage into a store.
bool RasterFont::RenderGlyph(Glyph& glyph) {
    if (!mHandle)
        return false;
    const bool widen = glyph.code >= 'A' && glyph.code <= 'Z';
    int width = 0, height = 0, advance = 0;
    if (!RasterFontHandleRender(mHandle, glyph.code, widen, &mScratch, &width, &height, &advance))
        return false;
    if (width < 1 || height < 1) {
        glyph.maskPos = -1;
        glyph.width = glyph.height = glyph.advance = 0;
        return true;
    }
    glyph.width = width;
    glyph.height = height;
    glyph.advance = advance;
    return true;
}

void RasterFont::StoreMask(Glyph& glyph, std::vector<std::uint8_t>& store) const {
    if (glyph.maskPos < 0)
        return;
    glyph.maskPos = static_cast<int>(store.size()) + 1;
    store.insert(store.end(), mScratch.begin(),
                 mScratch.begin() + static_cast<std::ptrdiff_t>(glyph.width) * glyph.height);
}

const RasterFont::Glyph* RasterFont::GetGlyph(int code) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    if (code >= 0 && code < 128) {
        Glyph& glyph = mAscii[code];
        if (glyph.maskPos == 0) {
            if (!RenderGlyph(glyph))
                return nullptr;
            StoreMask(glyph, mCoverage);
        }
        return &glyph;
    }
    if (code < 0 || code > 0xFFFF)
        return nullptr;
    const auto byCode = [](const Glyph& g, int c) { return static_cast<int>(g.code) < c; };
    auto it = std::lower_bound(mOthers.begin(), mOthers.end(), code, byCode);
    if (it != mOthers.end() && it->code == code)
        return &*it;
    if ((mFlags & FontRenderAsciiNow) != 0)
        return nullptr;
    Glyph glyph{0, 0, 0, 0, static_cast<std::uint16_t>(code)};
    if (!RenderGlyph(glyph))
        return nullptr;
    const std::size_t bytes =
        glyph.maskPos < 0 ? 0
                          : static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(glyph.height);
    if (mOthers.size() >= kMaxCachedOthers || mOtherCoverage.size() + bytes > kMaxCachedOtherBytes) {
        mOthers.clear();
        mOtherCoverage.clear();
        it = mOthers.begin();
    }
    StoreMask(glyph, mOtherCoverage);
    return &*mOthers.insert(it, glyph);
}

const std::uint8_t* RasterFont::Mask(const Glyph& glyph) const {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    if (glyph.maskPos <= 0)
        return nullptr;
    return (glyph.code < 128 ? mCoverage : mOtherCoverage).data() + (glyph.maskPos - 1);
}

RasterFont::CacheUse RasterFont::CachedGlyphs() const {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    CacheUse use;
    for (const Glyph& g : mAscii)
        use.glyphs += g.maskPos != 0 ? 1 : 0;
    use.glyphs += mOthers.size();
    use.bytes = mCoverage.size() + mOtherCoverage.size();
    return use;
}

int RasterFont::Measure(const char* text, int length, int flags, int* width) {
    long long x = 0, y = 0, right = 0, bottom = 0;
    ForEachCode(text, length, [&](int code) {
        if (code == '\r')
            return;
        if (code == '\n') {
            if ((flags & TextSingleLine) == 0) {
                y += mLineHeight + mExtraLineSpacing;
                x = 0;
                return;
            }
            code = ' ';
        }
        const Glyph* glyph = GetGlyph(code);
        if (!glyph || glyph->maskPos <= 0)
            return;
        x += glyph->advance;
        right = std::max(right, x);
        bottom = std::max(bottom, y + glyph->height);
    });
    *width = static_cast<int>(std::min(right, 0x7FFFFFFFLL));
    return static_cast<int>(std::min(bottom, 0x7FFFFFFFLL));
}

int RasterFont::DrawString(RasterBitmap* bitmap, const char* text, int length, RasterRect* rect, int flags) {
    std::lock_guard<std::recursive_mutex> hold(mLock);
    if (!text || !rect)
        return 0;
    if ((flags & TextMeasureOnly) != 0) {
        int width = 0;
        const int height = Measure(text, length, flags, &width);
        rect->right =
            static_cast<int>(std::min<long long>(static_cast<long long>(rect->left) + width, 0x7FFFFFFF));
        rect->bottom =
            static_cast<int>(std::min<long long>(static_cast<long long>(rect->top) + height, 0x7FFFFFFF));
        return height;
    }
    if (!bitmap || !bitmap->Bits())
        return 0;

    float opacity = mCombineOpacity;
    if ((flags & TextUseColourAlpha) != 0)
        opacity = static_cast<float>(opacity * (Channel(mTextColour, 24) * 0.00392156862745098));
    if (opacity == 0.0f)
        return 0;
    const int t = WeightOf(opacity);

    // Positions in 64 bits: rectangles may lie anywhere, and centring subtracts widths.
    const long long left = rect->left, top = rect->top, right = rect->right, bottom = rect->bottom;
    long long x0 = left, y0 = top;
    if ((flags & (TextCentre | TextRight | TextVCentre | TextBottom)) != 0) {
        int w = 0;
        const int h = Measure(text, length, TextMeasureOnly | (flags & TextSingleLine), &w);
        if ((flags & TextCentre) != 0)
            x0 = left + (right - w - left) / 2;
        else if ((flags & TextRight) != 0)
            x0 = right - w;
        if ((flags & TextVCentre) != 0)
            y0 = top + (bottom - h - top) / 2;
        else if ((flags & TextBottom) != 0)
            y0 = bottom - h;
    }

    RasterRect clip{0, 0, bitmap->Width(), bitmap->Height()};
    if ((flags & TextNoClip) == 0) {
        clip.left = static_cast<int>(std::max<long long>(left, 0));
        clip.top = static_cast<int>(std::max<long long>(top, 0));
        clip.right = static_cast<int>(std::min<long long>(right, bitmap->Width()));
        clip.bottom = static_cast<int>(std::min<long long>(bottom, bitmap->Height()));
        if (clip.right <= clip.left || clip.bottom <= clip.top)
            return 0;
    }

    long long x = x0, y = y0, lowest = y0;
    ForEachCode(text, length, [&](int code) {
        if (code == '\r')
            return;
        if (code == '\n') {
            if ((flags & TextSingleLine) == 0) {
                y += mLineHeight + mExtraLineSpacing;
                x = x0;
                return;
            }
            code = ' ';
        }
        const Glyph* record = GetGlyph(code);
        if (!record || record->maskPos <= 0)
            return;
        const Glyph glyph = *record;
        DrawGlyph(bitmap, glyph, x, y, clip, t);
        x += glyph.advance;
        lowest = std::max(lowest, y + glyph.height);
    });
    return static_cast<int>(std::min(lowest - y0, 0x7FFFFFFFLL));
}

void RasterFont::DrawGlyph(RasterBitmap* bitmap, const Glyph& glyph, long long x, long long y,
                           const RasterRect& clip, int t) {
    if (t <= 0)
        return;
    const long long x0 = std::max({x, static_cast<long long>(clip.left), 0LL});
    const long long y0 = std::max({y, static_cast<long long>(clip.top), 0LL});
    const long long x1 = std::min(
        {x + glyph.width, static_cast<long long>(clip.right), static_cast<long long>(bitmap->Width())});
    const long long y1 = std::min(
        {y + glyph.height, static_cast<long long>(clip.bottom), static_cast<long long>(bitmap->Height())});
    if (x0 >= x1 || y0 >= y1)
        return;
    const std::uint8_t* mask = Mask(glyph);
    const int tB = Channel(mTextColour, 0), tG = Channel(mTextColour, 8), tR = Channel(mTextColour, 16);
    const bool full = t >= 256;

    for (long long row = y0; row < y1; ++row) {
        RasterPixel* d = bitmap->Row(static_cast<int>(row));
        if (mBackgroundMode == TextBackgroundOpaque) {
            const RasterPixel bg = mBackgroundColour;
            for (long long col = x0; col < x1; ++col) {
                if (full) {
                    d[col] = bg;
                    continue;
                }
                const RasterPixel p = d[col];
                RasterPixel out = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const int c = Channel(bg, shift);
                    out |= static_cast<RasterPixel>(c + (Channel(p, shift) - c) * (256 - t) / 256) << shift;
                }
                d[col] = out;
            }
        }
        const std::uint8_t* m = mask + (row - y) * glyph.width + (x0 - x);
        for (long long col = x0; col < x1; ++col, ++m) {
            const int g = *m;
            if (g == 0)
                continue;
            const int k = full ? 255 - g : 256 - std::min(256, t * g / 256);
            const RasterPixel p = d[col];
            const int b = tB + (Channel(p, 0) - tB) * k / 256;
            const int gr = tG + (Channel(p, 8) - tG) * k / 256;
            const int r = tR + (Channel(p, 16) - tR) * k / 256;
            const int a = 255 - ((255 - Channel(p, 24)) * k) / 256;
            d[col] = static_cast<RasterPixel>(b) | static_cast<RasterPixel>(gr) << 8 |
                     static_cast<RasterPixel>(r) << 16 | static_cast<RasterPixel>(a) << 24;
        }
    }
}
