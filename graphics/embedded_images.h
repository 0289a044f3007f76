#pragma once
#include "raster/bitmap.h"
#include "raster/png_decode.h"

// The program's own images (compiled into the executable) as a resource module for
// the raster loader: the view's default module instance.
RasterResourceBytes EmbeddedImageLookup(int id);

// One frame of an image drawn for a scale other than 1: `top` is the frame's first row in
// `bitmap`, `height` its rows. No bitmap when the image has no artwork at that scale.
struct ScaledFrame {
    const RasterBitmap* bitmap = nullptr;
    int top = 0;
    int height = 0;
};

// [window thread; any number of them] Frame 1..frames of image `id` at `scale` (a
// conformed scale other than 1), taken from `module`'s set for that scale (resource
// 1000 * n + id, n counting the scales above 1 from 1.25) or, for the knob, drawn by the
// artwork generator's knob painter, a frame when it is first asked for; an image with no
// artwork at that scale is `fallback` (its 100 % bitmap) enlarged pixel for pixel. Decoded or
// drawn once per process; lives until exit.
ScaledFrame FindScaledFrame(RasterResourceLookup module, int id, double scale, int frame, int frames,
                            const RasterBitmap* fallback);

// [any thread] Readies the program's own images `ids` for an editor about to open at `scale`, so
// its first paint finds them: at scale 1 the 100 % images decoded; at another scale only their
// sizes, that scale's sets decoded and the knob painter set up.
void PrepareEditorImages(const int* ids, int count, double scale);
