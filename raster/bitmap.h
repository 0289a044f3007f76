#pragma once
#include <cstddef>
#include <cstdint>

// One pixel, 0xAARRGGBB with straight (not premultiplied) alpha; bytes B, G, R, A in memory.
using RasterPixel = std::uint32_t;

// A rectangle of 32-bit pixels addressed row by row. Always step between rows with
// RowStride (in pixels), never with Width: rows may be padded.
class RasterBitmap {
  public:
    virtual ~RasterBitmap() = default;
    // First pixel of row 0 (row Height-1 for bottom-up stores); nullptr when empty.
    // The pointer is shallow: a const bitmap still hands out writable pixels.
    virtual RasterPixel* Bits() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int RowStride() const = 0;
    virtual bool IsBottomUp() const = 0;
    // False when the size is unchanged. Pixel contents after a resize are undefined.
    virtual bool SetSize(int width, int height) = 0;
    // Platform context able to copy this bitmap to a window; none on this platform.
    virtual void* DrawingContext() const = 0;
    virtual int QueryExtension(int id, void* data) = 0;

    // Row r (0 = top) honouring RowStride and IsBottomUp; r must be in [0, Height).
    RasterPixel* Row(int r) const {
        const int stored = IsBottomUp() ? Height() - 1 - r : r;
        return Bits() + static_cast<std::ptrdiff_t>(stored) * RowStride();
    }
};

// Heap bitmap for decoded images. Rows are padded to the requested alignment (in pixels,
// power of two up to 16); the editor asks for 4, so a 135-pixel row has stride 136.
class RasterMemoryBitmap final : public RasterBitmap {
  public:
    RasterMemoryBitmap(int width = 0, int height = 0, int alignment = 4);
    ~RasterMemoryBitmap() override;
    RasterMemoryBitmap(const RasterMemoryBitmap&) = delete;
    RasterMemoryBitmap& operator=(const RasterMemoryBitmap&) = delete;

    RasterPixel* Bits() const override;
    int Width() const override { return mWidth; }
    int Height() const override { return mHeight; }
    int RowStride() const override;
    bool IsBottomUp() const override { return false; }
    // Shrinking keeps the buffer; growing past the capacity reserves 25 % more. When
    // memory can't be had (or the size is absurd) the bitmap becomes 0 x 0 with no pixels.
    bool SetSize(int width, int height) override;
    void* DrawingContext() const override { return nullptr; }
    int QueryExtension(int, void*) override { return 0; }

    // Bytes the current buffer can hold (0 without a buffer).
    std::size_t Capacity() const { return mCapacity; }

  private:
    unsigned char* mBuffer = nullptr; // 63 bytes extra so Bits can sit on a 64-byte boundary
    int mWidth = 0;
    int mHeight = 0;
    std::size_t mCapacity = 0;
    int mAlignMask = 0;
};

// The editor's back buffer: a top-down store the window layer presents by copying
// Bits/RowStride. RowStride is the allocated width (a multiple of 4), which may exceed
// Width after a shrink; the store is kept while it is large enough.
class RasterScreenBitmap final : public RasterBitmap {
  public:
    RasterScreenBitmap(int width = 0, int height = 0);
    ~RasterScreenBitmap() override;
    RasterScreenBitmap(const RasterScreenBitmap&) = delete;
    RasterScreenBitmap& operator=(const RasterScreenBitmap&) = delete;

    RasterPixel* Bits() const override { return mPixels; }
    int Width() const override { return mWidth; }
    int Height() const override { return mHeight; }
    int RowStride() const override { return mAllocWidth; }
    bool IsBottomUp() const override { return false; }
    bool SetSize(int width, int height) override;
    void* DrawingContext() const override { return nullptr; }
    int QueryExtension(int, void*) override { return 0; }

    int AllocatedWidth() const { return mAllocWidth; }
    int AllocatedHeight() const { return mAllocHeight; }

  private:
    void Release();

    int mWidth = 0;
    int mHeight = 0;
    RasterPixel* mPixels = nullptr;
    void* mStore = nullptr;
    int mAllocWidth = 0;
    int mAllocHeight = 0;
};

// An image as the editor passes it around: frames stacked vertically, numbered from 1.
// The bitmap is not owned (the BitmapCache owns it); a strip without a bitmap draws nothing.
struct IBitmapStrip {
    RasterBitmap* bitmap = nullptr;
    int width = 0;
    int height = 0; // all frames
    int frames = 1;
    int id = 0; // the image's resource id, which finds its artwork at other scales

    int FrameHeight() const { return frames > 0 ? height / frames : 0; }
};
