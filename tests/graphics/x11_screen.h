#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "raster/bitmap.h"

// Pixels of `window` whose colour differs from `expected`'s, over the bitmap's size;
// -1 when the window cannot be read.
inline int WindowMismatches(Display* display, Window window, const RasterBitmap& expected) {
    XImage* shown = XGetImage(display, window, 0, 0, static_cast<unsigned>(expected.Width()),
                              static_cast<unsigned>(expected.Height()), AllPlanes, ZPixmap);
    if (shown == nullptr)
        return -1;
    int mismatches = 0;
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            const unsigned long pixel = XGetPixel(shown, x, y);
            const RasterPixel rgb =
                static_cast<RasterPixel>(((pixel & shown->red_mask) >> 16 << 16) |
                                         (pixel & shown->green_mask) | (pixel & shown->blue_mask));
            mismatches += rgb != (expected.Row(y)[x] & 0xFFFFFF);
        }
    }
    XDestroyImage(shown);
    return mismatches;
}
