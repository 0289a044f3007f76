#include "graphics/text_layout.h"

#include <mutex>

IBounds CentreDigitsVertically(ITextStyle& style, const IBounds& rect) {
    RasterFont* font = style.cachedFont ? style.cachedFont : FindOrCreateFont(style);
    if (!font)
        return rect;
    std::lock_guard<std::recursive_mutex> lock(font->Mutex());
    const RasterFont::Glyph* glyph = font->GetGlyph('0');
    if (!glyph || glyph->maskPos <= 0 || glyph->width <= 0)
        return rect;
    const std::uint8_t* mask = font->Mask(*glyph);
    int inkTop = -1;
    int inkBottom = -1; // exclusive
    for (int y = 0; y < glyph->height; ++y) {
        for (int x = 0; x < glyph->width; ++x) {
            if (mask[y * glyph->width + x] != 0) {
                if (inkTop < 0)
                    inkTop = y;
                inkBottom = y + 1;
                break;
            }
        }
    }
    if (inkTop < 0)
        return rect;
    const int shift = (rect.Height() - (inkBottom - inkTop)) / 2 - inkTop;
    return {rect.left, rect.top + shift, rect.right, rect.bottom + shift};
}
