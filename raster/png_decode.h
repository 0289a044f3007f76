#pragma once
#include <cstddef>

#include "raster/bitmap.h"

// PNG decoding into 32-bit bitmaps. Every colour type and bit depth becomes RasterPixel
// rows (palette and grey expanded, tRNS turned into alpha, 16-bit stripped, missing alpha
// filled with 255); no gamma or colour-space transform is applied.
//
// Each loader answers `target` (resized to the image) or, with no target, a new
// RasterMemoryBitmap(width, height, 4) owned by the caller; nullptr when the data is not
// a PNG, libpng reports an error, the image is larger than the decoder accepts, or the
// target cannot take the image's size (a target keeps whatever SetSize left in it).
// Thread-safe: every call has its own libpng state.
RasterBitmap* LoadPngFromMemory(const unsigned char* data, std::size_t size, RasterBitmap* target);

// Largest image accepted, per side and in pixels; larger headers are refused before any
// pixel memory is allocated.
constexpr int kMaxPngSide = 65535;
constexpr long long kMaxPngPixels = 1LL << 26;

// Embedded resources: the executable's images are found by integer id. raster/ knows no
// resource table of its own; the owner of the resources installs a lookup once at start-up.
struct RasterResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};
using RasterResourceLookup = RasterResourceBytes (*)(int id);

// Installs the process-wide lookup (nullptr removes it). Safe to call from any thread.
void SetRasterResourceLookup(RasterResourceLookup lookup);
RasterResourceLookup GetRasterResourceLookup();

// Loads resource `id & 0xFFFF` through `module`, or through the installed lookup when
// `module` is null. A missing resource, or one shorter than 8 bytes, answers nullptr.
RasterBitmap* LoadPngFromResource(RasterResourceLookup module, int id, RasterBitmap* target);

// The same image with only its size read now (from the header) and its pixels decoded when
// first asked for (Bits, RowStride, SetSize), once, whichever thread asks: an editor drawing
// at another scale needs its 100 % images' sizes but seldom their pixels. Answers nullptr
// where LoadPngFromResource would fail on the header; pixels a damaged body cannot give
// read as transparent. The resource is looked up again when decoded.
RasterBitmap* LoadPngFromResourceOnDemand(RasterResourceLookup module, int id);

// Decodes a PNG file (UTF-8 path). Not used by the editor, whose images are embedded.
RasterBitmap* LoadPngFromFile(const char* path, RasterBitmap* target);

// True when the text after the last '.' of `name` is "png" in any case ("BG.PNG" yes,
// "BG.jpg" and "BG" no). Used to decide whether a named image is a PNG resource.
bool HasPngExtension(const char* name);
