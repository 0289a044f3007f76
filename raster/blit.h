#pragma once
#include "raster/bitmap.h"

// Blit mode: a mode number in the low 8 bits, plus the flag BlitUseSourceAlpha.
enum : int {
    BlitCopy = 0,
    BlitAdd = 1,
    BlitDodge = 2,
    BlitMultiply = 3,
    BlitOverlay = 4,
    BlitHsvAdjust = 5,
    // 0xF0..0xFF: destination byte (mode >> 2) & 3 takes source byte mode & 3 (0 B .. 3 A).
    BlitChannelCopy = 0xF0,
    BlitUseSourceAlpha = 0x10000,
};

// Integer rectangle, right and bottom exclusive.
struct RasterRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Composites srcRect of src (whole src when srcRect is null) onto dest at (dstX, dstY),
// clipped to both bitmaps, with 8-bit integer arithmetic on straight alpha. Supported
// modes: BlitCopy, BlitCopy|BlitUseSourceAlpha, BlitAdd|BlitUseSourceAlpha,
// BlitDodge|BlitUseSourceAlpha and BlitChannelCopy; other modes draw nothing.
// Opacity is normally in [0, 1]; 0 (or NaN) draws nothing. dest and src may be the
// same bitmap only when the areas do not overlap.
void RasterBlit(RasterBitmap* dest, const RasterBitmap* src, int dstX, int dstY, const RasterRect* srcRect,
                float opacity, int mode);

// Convenience form: srcRect = {srcX, srcY, srcX + width, srcY + height}.
void RasterBlit(RasterBitmap* dest, const RasterBitmap* src, int dstX, int dstY, int srcX, int srcY,
                int width, int height, float opacity, int mode);
