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
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, canvas.width());
    y1 = std::min(y1, canvas.height());
    const double step = 1.0 / supersample;
    const double samples = static_cast<double>(supersample) * supersample;
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = x0; x < x1; ++x) {
            // Accumulate premultiplied so edges blend correctly.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < supersample; ++sy) {
                for (int sx = 0; sx < supersample; ++sx) {
                    const Colour c = shader(x + (sx + 0.5) * step, y + (sy + 0.5) * step);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            r /= samples;
            g /= samples;
            b /= samples;
            a /= samples;
            if (a <= 0.0) {
                continue;
            }
            const std::uint32_t d = row[x];
            const double da = (d >> 24) / 255.0, dr = ((d >> 16) & 0xFF) / 255.0,
                         dg = ((d >> 8) & 0xFF) / 255.0, db = (d & 0xFF) / 255.0;
            auto channel = [](double v) {
                return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
            };
            row[x] = channel(a + da * (1 - a)) << 24 | channel(r + dr * (1 - a)) << 16 |
                     channel(g + dg * (1 - a)) << 8 | channel(b + db * (1 - a));
        }
    }
    cairo_surface_mark_dirty(surface);
}

} // namespace art
