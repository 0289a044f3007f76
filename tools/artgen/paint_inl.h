#pragma once

#include <algorithm>
#include <cmath>

namespace art {

template <typename Shader>
void ShadePixels(Canvas& canvas, int x0, int y0, int x1, int y1, int supersample, Shader shader) {
    cairo_surface_t* surface = canvas.surface();
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const double scale = canvas.scale();
    x0 = std::max(static_cast<int>(std::floor(x0 * scale)), 0);
    y0 = std::max(static_cast<int>(std::floor(y0 * scale)), 0);
    x1 = std::min(ScaledPixels(x1, scale), canvas.width());
    y1 = std::min(ScaledPixels(y1, scale), canvas.height());
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = x0; x < x1; ++x) {
            ShadeOnePixel(row[x], x, y, supersample, scale, shader);
        }
    }
    cairo_surface_mark_dirty(surface);
}

} // namespace art
