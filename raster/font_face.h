#pragma once
// Internal to raster/: the FreeType side of a font handle, used by RasterFont.
#include <cstdint>
#include <vector>

#include "raster/font.h"

// Line height (cell height) of the face in pixels.
int RasterFontHandleLineHeight(const RasterFontHandle* handle);

// Renders `code` into a coverage box one line high and `advance` (+2 when `widen`) wide,
// the glyph standing on the face's baseline at x = 0; parts outside the box are cut.
// `box` receives width x height bytes. False when the face has no way to render it.
bool RasterFontHandleRender(RasterFontHandle* handle, int code, bool widen, std::vector<std::uint8_t>* box,
                            int* width, int* height, int* advance);
