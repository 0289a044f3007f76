#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "raster/bitmap.h"
#include "raster/blit.h"

// Platform font: the text face compiled into the program, loaded by FreeType from memory and
// sized to a cell height.
struct RasterFontHandle;

// Quality values of a text style.
enum : int {
    FontQualityDefault = 0,
    FontQualityMono = 1,
    FontQualityAntialiased = 2,
    FontQualityClearType = 3
};

// Every request gets the one embedded face (a heavy upright sans, standing in for the editor's
// "Arial Black"), drawn as it is: `name`, `weight` and `italic` choose nothing and nothing is
// emboldened or slanted, so text looks the same on every machine. `height` is the character cell
// height in pixels. `escapement` (tenths of a degree) is recorded but glyphs are not rotated.
// nullptr when the face cannot be loaded.
RasterFontHandle* CreateRasterFontHandle(const char* name, int height, int escapement, int weight,
                                         bool italic, int quality);
void DestroyRasterFontHandle(RasterFontHandle* handle);
// The face the handle uses: the name of the font file it was compiled from, its family name and
// its style name ("Bold").
const char* RasterFontHandleFile(const RasterFontHandle* handle);
const char* RasterFontHandleFamily(const RasterFontHandle* handle);
const char* RasterFontHandleStyleName(const RasterFontHandle* handle);

// DrawString flags.
enum : int {
    TextCentre = 1,
    TextRight = 2,
    TextVCentre = 4,
    TextBottom = 8,
    TextSingleLine = 0x20,
    TextNoClip = 0x100,
    TextMeasureOnly = 0x400,
    TextUseColourAlpha = 0x40000000,
    TextNeverNative = static_cast<int>(0x80000000u),
};

// Font flags.
enum : int {
    FontRenderAsciiNow = 0x4,
    FontOwnsHandle = 0x200,
    FontMayDrawNative = 0x400,
};

// Background modes.
enum : int { TextBackgroundTransparent = 1, TextBackgroundOpaque = 2 };

// A font that renders each character once into a coverage mask and composites the cached
// masks with its own 8-bit arithmetic, so text can be drawn at partial opacity.
// Every operation takes the font's own lock, so a font may be shared between threads; hold
// Mutex() yourself to keep a colour change and a DrawString together.
class RasterFont {
  public:
    struct Glyph {
        int maskPos = 0; // 1 + byte offset into the coverage store; 0 not rendered; -1 renders to nothing
        int width = 0;
        int height = 0;
        int advance = 0;
        std::uint16_t code = 0;
    };

    RasterFont();
    virtual ~RasterFont();
    RasterFont(const RasterFont&) = delete;
    RasterFont& operator=(const RasterFont&) = delete;

    // Takes the handle (owned with FontOwnsHandle) and forgets every cached glyph.
    virtual void SetFromFontHandle(RasterFontHandle* handle, int flags);
    virtual RasterPixel SetTextColour(RasterPixel colour);
    virtual RasterPixel SetBackgroundColour(RasterPixel colour);
    virtual RasterPixel SetEffectColour(RasterPixel colour);
    virtual int SetBackgroundMode(int mode);
    // The opacity scales every glyph. Glyphs always composite with the text rule (mode 0);
    // other modes are stored but drawn like mode 0.
    virtual void SetCombineMode(int mode, float opacity);
    // Draws UTF-8 `text` (`length` bytes, -1 up to the NUL) in `rect` and answers the drawn
    // height; with TextMeasureOnly sets rect's right and bottom to the text's extent instead.
    // Always composites cached glyphs (there is no native text drawing on this platform).
    virtual int DrawString(RasterBitmap* bitmap, const char* text, int length, RasterRect* rect, int flags);
    virtual RasterPixel TextColour() const;
    virtual RasterFontHandle* FontHandle() const;
    virtual int LineHeight() const;

    // The glyph record for `code`, rendered on first use; nullptr when it cannot be had.
    // The pointer, and the glyph's Mask, stay valid until the next glyph is rendered or the
    // handle changes.
    const Glyph* GetGlyph(int code);
    // Coverage bytes of a glyph with a mask (width x height, row by row).
    const std::uint8_t* Mask(const Glyph& glyph) const;

    // ASCII glyphs, which all of the editor's own text uses, stay cached for the font's life.
    // Other characters are cached up to these bounds (a lone glyph larger than the byte bound
    // is still kept): a new one that would pass either first empties their part of the cache,
    // so text with any number of distinct characters costs bounded memory.
    static constexpr std::size_t kMaxCachedOthers = 1024;
    static constexpr std::size_t kMaxCachedOtherBytes = std::size_t{4} << 20;
    struct CacheUse {
        std::size_t glyphs = 0; // rendered records, ASCII included
        std::size_t bytes = 0;  // coverage bytes held for them
    };
    CacheUse CachedGlyphs() const;

    std::recursive_mutex& Mutex() const { return mLock; }

  private:
    bool RenderGlyph(Glyph& glyph);
    void StoreMask(Glyph& glyph, std::vector<std::uint8_t>& store) const;
    void Forget();
    int Measure(const char* text, int length, int flags, int* width);
    void DrawGlyph(RasterBitmap* bitmap, const Glyph& glyph, long long x, long long y, const RasterRect& clip,
                   int t);

    RasterPixel mTextColour = 0;
    RasterPixel mBackgroundColour = 0xFFFFFFFFu;
    RasterPixel mEffectColour = 0xFFFFFFFFu;
    int mBackgroundMode = TextBackgroundTransparent;
    int mCombineMode = 0;
    float mCombineOpacity = 1.0f;
    int mFlags = 0;
    int mLineHeight = 0;
    int mExtraLineSpacing = 0;
    Glyph mAscii[128];
    std::vector<Glyph> mOthers;               // sorted by code
    std::vector<std::uint8_t> mCoverage;      // masks of mAscii
    std::vector<std::uint8_t> mOtherCoverage; // masks of mOthers
    std::vector<std::uint8_t> mScratch;
    RasterFontHandle* mHandle = nullptr;
    mutable std::recursive_mutex mLock;
};
