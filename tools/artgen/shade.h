#pragma once
// The artwork's pixel arithmetic without cairo: colours, reproducible noise and the
// supersampled shading of one pixel. Shared by artgen and by the editor, which draws the
// knob at run time at scales other than 1 with the same code.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace art {

struct Colour {
    double r, g, b, a = 1.0;
};

inline Colour Rgb(int hex, double alpha = 1.0) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}
inline Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// Reproducible pseudo-random numbers: the same arguments always give the same value in [0, 1).
inline double Hash(std::int64_t x, std::int64_t y, std::uint32_t seed) {
    std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full ^
                      static_cast<std::uint64_t>(seed) * 0x165667B19E3779F9ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

// Smooth value noise in [0, 1) with the given cell size in x and y.
inline double ValueNoise(double x, double y, double cellX, double cellY, std::uint32_t seed) {
    const double fx = x / cellX, fy = y / cellY;
    const double ix = std::floor(fx), iy = std::floor(fy);
    double tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const auto cx = static_cast<std::int64_t>(ix), cy = static_cast<std::int64_t>(iy);
    const double a = Hash(cx, cy, seed), b = Hash(cx + 1, cy, seed);
    const double c = Hash(cx, cy + 1, seed), d = Hash(cx + 1, cy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Averages supersample x supersample shader samples over the pixel whose top left corner is
// (x, y), in the shader's units (`scale` pixels per unit), and paints the result over `dst`, a
// premultiplied 0xAARRGGBB pixel as cairo stores them.
template <typename Shader>
inline void ShadeOnePixel(std::uint32_t& dst, int x, int y, int supersample, double scale, Shader& shader) {
    const double step = 1.0 / supersample;
    const double samples = static_cast<double>(supersample) * supersample;
    // Accumulate premultiplied so edges blend correctly.
    double r = 0, g = 0, b = 0, a = 0;
    for (int sy = 0; sy < supersample; ++sy) {
        for (int sx = 0; sx < supersample; ++sx) {
            const Colour c = shader((x + (sx + 0.5) * step) / scale, (y + (sy + 0.5) * step) / scale);
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
        return;
    }
    const std::uint32_t d = dst;
    const double da = (d >> 24) / 255.0, dr = ((d >> 16) & 0xFF) / 255.0, dg = ((d >> 8) & 0xFF) / 255.0,
                 db = (d & 0xFF) / 255.0;
    auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    dst = channel(a + da * (1 - a)) << 24 | channel(r + dr * (1 - a)) << 16 | channel(g + dg * (1 - a)) << 8 |
          channel(b + db * (1 - a));
}

// Pixels for a length in units at `scale`, rounded up so nothing drawn is cut off.
inline int ScaledPixels(double units, double scale) {
    return static_cast<int>(std::ceil(units * scale - 1e-9));
}

} // namespace art
