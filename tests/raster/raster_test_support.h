#pragma once
#include <cstdint>
#include <random>

#include "raster/bitmap.h"

// Pixel from B, G, R, A bytes, the order they have in memory.
inline RasterPixel Bgra(int b, int g, int r, int a) {
    return static_cast<RasterPixel>(b) | static_cast<RasterPixel>(g) << 8 |
           static_cast<RasterPixel>(r) << 16 | static_cast<RasterPixel>(a) << 24;
}
inline int ByteOf(RasterPixel p, int n) {
    return static_cast<int>((p >> (8 * n)) & 0xFF);
}

inline void Fill(RasterBitmap& bitmap, RasterPixel value) {
    for (int r = 0; r < bitmap.Height(); ++r)
        for (int c = 0; c < bitmap.RowStride(); ++c)
            bitmap.Row(r)[c] = value;
}

// Every pixel including row padding, so stray writes past Width show up.
inline void FillRandom(RasterBitmap& bitmap, std::mt19937& rng) {
    for (int r = 0; r < bitmap.Height(); ++r)
        for (int c = 0; c < bitmap.RowStride(); ++c)
            bitmap.Row(r)[c] = static_cast<RasterPixel>(rng());
}

inline RasterPixel At(const RasterBitmap& bitmap, int x, int y) {
    return bitmap.Row(y)[x];
}

// A bitmap stored bottom-up, to check that users go through Row/RowStride.
class BottomUpBitmap final : public RasterBitmap {
  public:
    BottomUpBitmap(int w, int h) : mStore(w, h, 4) {}
    RasterPixel* Bits() const override { return mStore.Bits(); }
    int Width() const override { return mStore.Width(); }
    int Height() const override { return mStore.Height(); }
    int RowStride() const override { return mStore.RowStride(); }
    bool IsBottomUp() const override { return true; }
    bool SetSize(int w, int h) override { return mStore.SetSize(w, h); }
    void* DrawingContext() const override { return nullptr; }
    int QueryExtension(int, void*) override { return 0; }

  private:
    RasterMemoryBitmap mStore;
};
