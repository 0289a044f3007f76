// PNG decoding from memory: the first byte chooses no target, a memory bitmap of some row
// alignment and size, or a screen bitmap; the rest is the file. Every pixel of a decoded image
// is read, so a bitmap smaller than its claimed size shows under the address sanitizer.
#include <memory>

#include "fuzz_input.h"
#include "raster/png_decode.h"

namespace {

std::unique_ptr<RasterBitmap> makeTarget(unsigned choice) {
    const int side = static_cast<int>(choice >> 4); // 0 .. 15, so some targets already fit
    switch (choice & 3) {
    case 1:
        return std::make_unique<RasterMemoryBitmap>(side, side, 1 << ((choice >> 2) & 3));
    case 2:
        return std::make_unique<RasterScreenBitmap>(side, side + 1);
    default:
        return nullptr;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::unique_ptr<RasterBitmap> target = makeTarget(data[0]);
    RasterBitmap* image = LoadPngFromMemory(data + 1, size - 1, target.get());
    std::unique_ptr<RasterBitmap> owned;
    if (target == nullptr) {
        owned.reset(image);
    }
    if (image == nullptr) {
        return 0;
    }
    FUZZ_CHECK(target == nullptr || image == target.get());
    const int width = image->Width();
    const int height = image->Height();
    FUZZ_CHECK(width >= 1 && width <= kMaxPngSide && height >= 1 && height <= kMaxPngSide);
    FUZZ_CHECK(static_cast<long long>(width) * height <= kMaxPngPixels);
    FUZZ_CHECK(image->Bits() != nullptr && image->RowStride() >= width);
    RasterPixel sum = 0;
    for (int r = 0; r < height; ++r) {
        const RasterPixel* row = image->Row(r);
        for (int x = 0; x < width; ++x) {
            sum += row[x];
        }
    }
    // Keeps the reads from being optimised away.
    volatile RasterPixel sink = sum;
    (void)sink;
    return 0;
}
