#include "raster/text.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Process-wide fonts keyed by size, orientation, style and exact name; they live until
// exit. The lock covers one lookup or one append, never the creation of a font.
class FontCache {
  public:
    RasterFont* Find(int size, int orientation, int style, const std::string& name) {
        std::lock_guard<std::mutex> hold(mLock);
        for (const Entry& e : mEntries)
            if (e.size == size && e.orientation == orientation && e.style == style && e.name == name)
                return e.font.get();
        return nullptr;
    }

    // When another thread added the same key meanwhile, `font` is dropped and theirs used.
    RasterFont* Append(int size, int orientation, int style, const std::string& name,
                       std::unique_ptr<RasterFont> font) {
        std::lock_guard<std::mutex> hold(mLock);
        for (const Entry& e : mEntries)
            if (e.size == size && e.orientation == orientation && e.style == style && e.name == name)
                return e.font.get();
        mEntries.push_back(Entry{size, orientation, style, name, std::move(font)});
        return mEntries.back().font.get();
    }

  private:
    struct Entry {
        int size;
        int orientation;
        int style;
        std::string name;
        std::unique_ptr<RasterFont> font;
    };
    std::mutex mLock;
    std::vector<Entry> mEntries;
};

FontCache& Fonts() {
    static FontCache cache;
    return cache;
}

int Clamp255(int v) {
    return std::clamp(v, 0, 255);
}

} // namespace

ITextStyle::ITextStyle(const char* name, int size_, IColour colour_, int style_, int alignment_,
                       int orientation_, int quality_)
    : size(size_), colour(colour_), style(style_), alignment(alignment_), orientation(orientation_),
      quality(quality_) {
    if (name) {
        std::strncpy(fontName, name, sizeof fontName - 1);
        fontName[sizeof fontName - 1] = '\0';
    }
}

RasterFont* FindOrCreateFont(ITextStyle& style) {
    const std::string name(style.fontName, strnlen(style.fontName, sizeof style.fontName));
    FontCache& cache = Fonts();
    RasterFont* font = cache.Find(style.size, style.orientation, style.style, name);
    if (!font) {
        const int escapement = (style.orientation % 360) * 10;
        RasterFontHandle* handle = CreateRasterFontHandle(name.c_str(), style.size, escapement,
                                                          style.style == TextStyleBold ? 700 : 400,
                                                          style.style == TextStyleItalic, style.quality);
        if (!handle)
            return nullptr;
        auto created = std::make_unique<RasterFont>();
        created->SetFromFontHandle(handle, FontOwnsHandle | FontMayDrawNative);
        font = cache.Append(style.size, style.orientation, style.style, name, std::move(created));
    }
    style.cachedFont = font;
    return font;
}

bool RenderText(RasterBitmap* target, ITextStyle& style, const char* text, const RasterRect& rect) {
    if (!text || !*text)
        return true;
    RasterFont* font = style.cachedFont ? style.cachedFont : FindOrCreateFont(style);
    if (!font)
        return false;
    const IColour& c = style.colour;
    const int alpha = Clamp255(c.A);
    int flags = TextNoClip;
    if (alpha != 255)
        flags |= TextUseColourAlpha;
    if (style.alignment == TextAlignCentre)
        flags |= TextCentre;
    if (style.alignment == TextAlignRight)
        flags |= TextRight;
    RasterRect area = rect;
    // Colour and drawing under one hold, so a font shared by two styles keeps each colour.
    std::lock_guard<std::recursive_mutex> hold(font->Mutex());
    font->SetTextColour(
        static_cast<RasterPixel>(alpha) << 24 | static_cast<RasterPixel>(Clamp255(c.R)) << 16 |
        static_cast<RasterPixel>(Clamp255(c.G)) << 8 | static_cast<RasterPixel>(Clamp255(c.B)));
    font->DrawString(target, text, -1, &area, flags);
    return true;
}
