#include "raster/bitmap.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

// Larger stores are refused outright: sizes come from untrusted image headers, and the
// capacity arithmetic must stay within int.
constexpr long long kMaxBitmapBytes = INT_MAX - 64;

unsigned char* AlignTo64(void* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<unsigned char*>((address + 63) & ~std::uintptr_t{63});
}

} // namespace

RasterMemoryBitmap::RasterMemoryBitmap(int width, int height, int alignment) {
    if (alignment >= 2) {
        const int lowest = alignment & -alignment;
        mAlignMask = (lowest > 16 ? 16 : lowest) - 1;
    }
    if (width != 0 || height != 0)
        SetSize(width, height);
}

RasterMemoryBitmap::~RasterMemoryBitmap() {
    std::free(mBuffer);
}

RasterPixel* RasterMemoryBitmap::Bits() const {
    return mBuffer ? reinterpret_cast<RasterPixel*>(AlignTo64(mBuffer)) : nullptr;
}

int RasterMemoryBitmap::RowStride() const {
    // mWidth is bounded by SetSize, so this cannot overflow.
    return (mWidth + mAlignMask) & ~mAlignMask;
}

bool RasterMemoryBitmap::SetSize(int width, int height) {
    if (width == mWidth && height == mHeight)
        return false;
    mWidth = width;
    mHeight = height;

    long long needed = 0;
    if (width > 0 && height > 0) {
        const long long stride =
            (static_cast<long long>(width) + mAlignMask) & ~static_cast<long long>(mAlignMask);
        needed = stride * 4 * height;
        // Both factors are below 2^33, so the product cannot overflow 64 bits.
        if (needed > kMaxBitmapBytes)
            needed = -1;
    }

    if (needed > 0) {
        const auto want = static_cast<std::size_t>(needed);
        if (!mBuffer) {
            mBuffer = static_cast<unsigned char*>(std::malloc(want + 63));
            mCapacity = mBuffer ? want : 0;
        } else if (mCapacity < want) {
            std::size_t grown = (want / 4) * 5;
            if (grown > static_cast<std::size_t>(kMaxBitmapBytes))
                grown = want;
            void* moved = std::realloc(mBuffer, grown + 63);
            if (moved) {
                mBuffer = static_cast<unsigned char*>(moved);
                mCapacity = grown;
            } else {
                std::free(mBuffer);
                mBuffer = static_cast<unsigned char*>(std::malloc(want + 63));
                mCapacity = mBuffer ? want : 0;
            }
        }
    } else {
        std::free(mBuffer);
        mBuffer = nullptr;
        mCapacity = 0;
    }

    if (!mBuffer) {
        mWidth = 0;
        mHeight = 0;
    }
    return true;
}

RasterScreenBitmap::RasterScreenBitmap(int width, int height) {
    SetSize(width, height);
}

RasterScreenBitmap::~RasterScreenBitmap() {
    Release();
}

void RasterScreenBitmap::Release() {
    std::free(mStore);
    mStore = nullptr;
    mPixels = nullptr;
}

bool RasterScreenBitmap::SetSize(int width, int height) {
    if (width == mWidth && height == mHeight)
        return false;
    mWidth = width;
    mHeight = height;
    if (width > 0 && height > 0 && mAllocWidth >= width && mAllocHeight >= height && mPixels)
        return true;

    Release();
    const long long allocWidth = (static_cast<long long>(width) + 3) & ~3LL;
    const long long bytes = allocWidth * 4 * height;
    if (width <= 0 || height <= 0) {
        // A store with no pixels has no size either, so nobody indexes into nothing.
        mWidth = mHeight = mAllocWidth = mAllocHeight = 0;
        return false;
    }
    if (bytes <= kMaxBitmapBytes)
        mStore = std::malloc(static_cast<std::size_t>(bytes) + 63);
    if (!mStore) {
        mWidth = mHeight = mAllocWidth = mAllocHeight = 0;
        return true;
    }
    mAllocWidth = static_cast<int>(allocWidth);
    mAllocHeight = height;
    mPixels = reinterpret_cast<RasterPixel*>(AlignTo64(mStore));
    return true;
}
