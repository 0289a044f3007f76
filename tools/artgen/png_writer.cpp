#include "png_writer.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace art {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) {
            std::fclose(f);
        }
    }
};

// Cairo stores premultiplied native-endian 0xAARRGGBB; PNG wants straight R, G, B, A bytes.
std::vector<std::uint8_t> StraightRgbaRows(cairo_surface_t* surface, int width, int height) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            const unsigned a = p >> 24;
            unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (a == 0) {
                r = g = b = 0;
            } else if (a < 255) {
                r = (r * 255 + a / 2) / a;
                g = (g * 255 + a / 2) / a;
                b = (b * 255 + a / 2) / a;
                r = r > 255 ? 255 : r;
                g = g > 255 ? 255 : g;
                b = b > 255 ? 255 : b;
            }
            dst[x * 4 + 0] = static_cast<std::uint8_t>(r);
            dst[x * 4 + 1] = static_cast<std::uint8_t>(g);
            dst[x * 4 + 2] = static_cast<std::uint8_t>(b);
            dst[x * 4 + 3] = static_cast<std::uint8_t>(a);
        }
    }
    return out;
}

} // namespace

bool WriteRgbaPng(cairo_surface_t* surface, const std::string& path) {
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        std::fprintf(stderr, "artgen: %s: surface is not ARGB32\n", path.c_str());
        return false;
    }
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    std::vector<std::uint8_t> pixels = StraightRgbaRows(surface, width, height);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = pixels.data() + static_cast<std::size_t>(y) * width * 4;
    }

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        std::perror(("artgen: " + path).c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fprintf(stderr, "artgen: %s: out of memory\n", path.c_str());
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fprintf(stderr, "artgen: %s: PNG write failed\n", path.c_str());
        return false;
    }
    png_init_io(png, file.get());
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Colour-space and density chunks, as image editors write them; the decoder ignores them.
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        std::perror(("artgen: " + path).c_str());
        return false;
    }
    return true;
}

} // namespace art
