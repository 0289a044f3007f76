#pragma once
#include "raster/blit.h"
#include "raster/colour.h"
#include "raster/font.h"

enum : int { TextStyleNormal = 0, TextStyleBold = 1, TextStyleItalic = 2 };
enum : int { TextAlignLeft = 0, TextAlignCentre = 1, TextAlignRight = 2 };

// How a control draws its text. Fonts are shared through the font cache, keyed by size,
// orientation, style and exact font name (colour, alignment and quality are not part of it).
struct ITextStyle {
    char fontName[32] = {};
    int size = 12;  // character cell height in pixels
    IColour colour; // A below 255 draws at that opacity
    int style = TextStyleNormal;
    int alignment = TextAlignLeft;
    int orientation = 0; // degrees; kept in the key, glyphs are not rotated
    int quality = FontQualityDefault;
    RasterFont* cachedFont = nullptr; // not owned; set on first use

    ITextStyle() = default;
    ITextStyle(const char* name, int size, IColour colour, int style = TextStyleNormal,
               int alignment = TextAlignLeft, int orientation = 0, int quality = FontQualityDefault);
};

// Finds the cached font for `style` or creates one (nullptr when no face can be loaded;
// nothing is cached then, so a later call tries again). Stores it in style.cachedFont.
// Thread-safe; the cache lock is held only for a lookup or an append.
RasterFont* FindOrCreateFont(ITextStyle& style);

// Draws `text` (UTF-8) into `target` within `rect` in the style's colour and alignment,
// unclipped. A missing or empty text answers true and draws nothing; false when no font.
bool RenderText(RasterBitmap* target, ITextStyle& style, const char* text, const RasterRect& rect);
