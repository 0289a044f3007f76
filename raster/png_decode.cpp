#include "raster/png_decode.h"

#include <png.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "raster/bitmap.h"

namespace {

// A stream that ends early reads as zeros, but only this far: a damaged length field must
// not make libpng spin on an endless run of zeros.
constexpr std::size_t kMaxZeroFill = 1 << 20;

struct ReadCursor {
    const unsigned char* next;
    std::size_t left;
    std::size_t pastEnd;
};

// The budget is checked before `out` is touched: a damaged length can ask for gigabytes.
void ReadFromCursor(png_structp png, png_bytep out, png_size_t n) {
    auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
    const std::size_t take = n < cursor->left ? n : cursor->left;
    const std::size_t past = n - take;
    if (past > kMaxZeroFill - cursor->pastEnd)
        png_error(png, "read far past the end of the data");
    if (take > 0)
        std::memcpy(out, cursor->next, take);
    if (past > 0)
        std::memset(out + take, 0, past);
    cursor->next += take;
    cursor->left -= take;
    cursor->pastEnd += past;
}

// Errors end the decode without a word; the caller only learns "no image".
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

// libpng leaves the two functions below by longjmp on any error, so nothing with a
// destructor may live in their frames; everything they touch is plain data.
bool ReadHeaderAndSetTransforms(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colourType,
                 &header->interlace, nullptr, nullptr);

    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool grey = (header->colourType & PNG_COLOR_MASK_COLOR) == 0;
    if (header->colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (grey && header->bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (hasTrns)
        png_set_tRNS_to_alpha(png);
    if (header->bitDepth == 16)
        png_set_strip_16(png);
    if (header->bitDepth < 8)
        png_set_packing(png);
    if (grey)
        png_set_gray_to_rgb(png);
    if ((header->colourType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // Every row must now be A, R, G, B bytes; anything else would overrun the rows.
    return png_get_rowbytes(png, info) == static_cast<png_size_t>(header->width) * 4;
}

bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

// A, R, G, B bytes become RasterPixel values (B, G, R, A in memory on little-endian).
void ConvertRows(RasterBitmap* bitmap, int width, int height) {
    for (int r = 0; r < height; ++r) {
        RasterPixel* row = bitmap->Row(r);
        auto* bytes = reinterpret_cast<const unsigned char*>(row);
        for (int c = 0; c < width; ++c, bytes += 4) {
            row[c] = static_cast<RasterPixel>(bytes[0]) << 24 | static_cast<RasterPixel>(bytes[1]) << 16 |
                     static_cast<RasterPixel>(bytes[2]) << 8 | static_cast<RasterPixel>(bytes[3]);
        }
    }
}

std::atomic<RasterResourceLookup> gResourceLookup{nullptr};

} // namespace

RasterBitmap* LoadPngFromMemory(const unsigned char* data, std::size_t size, RasterBitmap* target) {
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return nullptr;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png)
        return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    ReadCursor cursor{data, size, 0};
    png_set_read_fn(png, &cursor, ReadFromCursor);
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_set_chunk_cache_max(png, 256);
    png_set_chunk_malloc_max(png, 8u << 20);
    // Only IHDR, PLTE, tRNS and IDAT shape the pixels (no gamma or colour space is applied),
    // so every other chunk is skipped unread. libpng would otherwise allocate a text or
    // profile chunk at the length its header claims, up to 2 GiB, since it only warns
    // (and so carries on) when that length is over the limit above.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);

    Header header;
    RasterBitmap* result = nullptr;
    RasterMemoryBitmap* created = nullptr;
    png_bytepp rows = nullptr;
    bool ok = ReadHeaderAndSetTransforms(png, info, &header);
    if (ok) {
        ok = header.width > 0 && header.height > 0 && header.width <= static_cast<png_uint_32>(kMaxPngSide) &&
             header.height <= static_cast<png_uint_32>(kMaxPngSide) &&
             static_cast<long long>(header.width) * header.height <= kMaxPngPixels;
    }
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    if (ok) {
        if (target) {
            target->SetSize(width, height);
            result = target;
        } else {
            result = created = new RasterMemoryBitmap(width, height, 4);
        }
        ok = result->Width() == width && result->Height() == height && result->Bits() &&
             result->RowStride() >= width;
    }
    if (ok) {
        rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * static_cast<std::size_t>(height)));
        ok = rows != nullptr;
    }
    if (ok) {
        for (int r = 0; r < height; ++r)
            rows[r] = reinterpret_cast<png_bytep>(result->Row(r));
        ok = ReadRows(png, rows);
    }
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        delete created;
        return nullptr;
    }
    ConvertRows(result, width, height);
    return result;
}

void SetRasterResourceLookup(RasterResourceLookup lookup) {
    gResourceLookup.store(lookup);
}

RasterResourceLookup GetRasterResourceLookup() {
    return gResourceLookup.load();
}

RasterBitmap* LoadPngFromResource(RasterResourceLookup module, int id, RasterBitmap* target) {
    if (!module)
        module = gResourceLookup.load();
    if (!module)
        return nullptr;
    const RasterResourceBytes bytes = module(id & 0xFFFF);
    if (!bytes.data || bytes.size < 8)
        return nullptr;
    return LoadPngFromMemory(bytes.data, bytes.size, target);
}

namespace {

class OnDemandPngBitmap final : public RasterBitmap {
  public:
    OnDemandPngBitmap(RasterResourceLookup module, int id, int width, int height)
        : mModule(module), mId(id), mWidth(width), mHeight(height) {}

    RasterPixel* Bits() const override { return Decoded().Bits(); }
    int Width() const override { return mWidth; }
    int Height() const override { return mHeight; }
    int RowStride() const override { return Decoded().RowStride(); }
    bool IsBottomUp() const override { return false; }
    bool SetSize(int width, int height) override {
        const bool changed = Decoded().SetSize(width, height);
        mWidth = mPixels.Width();
        mHeight = mPixels.Height();
        return changed;
    }
    void* DrawingContext() const override { return nullptr; }
    int QueryExtension(int, void*) override { return 0; }

  private:
    RasterMemoryBitmap& Decoded() const {
        std::call_once(mDecode, [this] {
            const RasterResourceBytes bytes = mModule(mId & 0xFFFF);
            if (!LoadPngFromMemory(bytes.data, bytes.size, &mPixels) || mPixels.Width() != mWidth ||
                mPixels.Height() != mHeight) {
                // The size was promised from the header, so a body that cannot be decoded
                // still gives that many (transparent) pixels.
                mPixels.SetSize(mWidth, mHeight);
                for (int r = 0; r < mPixels.Height() && mPixels.Bits(); ++r)
                    std::memset(mPixels.Row(r), 0, static_cast<std::size_t>(mPixels.Width()) * 4);
            }
        });
        return mPixels;
    }

    RasterResourceLookup mModule;
    int mId;
    int mWidth;
    int mHeight;
    mutable std::once_flag mDecode;
    mutable RasterMemoryBitmap mPixels{0, 0, 4};
};

std::uint32_t BigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

} // namespace

RasterBitmap* LoadPngFromResourceOnDemand(RasterResourceLookup module, int id) {
    if (!module)
        module = gResourceLookup.load();
    if (!module)
        return nullptr;
    const RasterResourceBytes bytes = module(id & 0xFFFF);
    if (!bytes.data || bytes.size < 8)
        return nullptr;
    // IHDR is the first chunk of every PNG: signature, length, "IHDR", width, height.
    if (bytes.size >= 24 && png_sig_cmp(bytes.data, 0, 8) == 0 && std::memcmp(bytes.data + 12, "IHDR", 4) == 0) {
        const std::uint32_t width = BigEndian32(bytes.data + 16);
        const std::uint32_t height = BigEndian32(bytes.data + 20);
        if (width > 0 && height > 0 && width <= static_cast<std::uint32_t>(kMaxPngSide) &&
            height <= static_cast<std::uint32_t>(kMaxPngSide) &&
            static_cast<long long>(width) * height <= kMaxPngPixels)
            return new OnDemandPngBitmap(module, id, static_cast<int>(width), static_cast<int>(height));
    }
    // A header this cannot read is left to the decoder, which answers as it always has.
    return LoadPngFromMemory(bytes.data, bytes.size, nullptr);
}

RasterBitmap* LoadPngFromFile(const char* path, RasterBitmap* target) {
    if (!path)
        return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return nullptr;
    std::vector<unsigned char> bytes;
    unsigned char block[65536];
    std::size_t got;
    bool tooLarge = false;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        if (bytes.size() + got > (std::size_t{1} << 30)) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    std::fclose(file);
    if (tooLarge)
        return nullptr;
    return LoadPngFromMemory(bytes.data(), bytes.size(), target);
}

bool HasPngExtension(const char* name) {
    if (!name)
        return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    const char* ext = dot + 1;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::strlen(ext) == 3 && lower(ext[0]) == 'p' && lower(ext[1]) == 'n' && lower(ext[2]) == 'g';
}
