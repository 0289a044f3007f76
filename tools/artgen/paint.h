#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace art {

// An ARGB32 image surface with its drawing context; starts fully transparent.
class Canvas {
  public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_;
    int height_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

struct Colour {
    double r, g, b, a = 1.0;
};

inline Colour Rgb(int hex, double alpha = 1.0) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}
inline Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}
void SetColour(cairo_t* cr, Colour c);
void AddStop(cairo_pattern_t* pattern, double offset, Colour c);

// Reproducible pseudo-random numbers: the same arguments always give the same value in [0, 1).
double Hash(std::int64_t x, std::int64_t y, std::uint32_t seed);
// Smooth value noise in [0, 1) with the given cell size in x and y.
double ValueNoise(double x, double y, double cellX, double cellY, std::uint32_t seed);

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
void Circle(cairo_t* cr, double cx, double cy, double radius);

enum class Align { Left, Centre, Right };
enum class Weight { Normal, Bold };

// Cairo's toy text with DejaVu Sans; y is the baseline. Answers the text's advance width.
double DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, Weight weight,
                Align align, Colour colour, double letterSpacing = 0.0);
double TextWidth(cairo_t* cr, const std::string& text, double size, Weight weight,
                 double letterSpacing = 0.0);

// Text cut into a panel: a dark edge above, a light edge below, then the fill.
void DrawEngravedText(cairo_t* cr, const std::string& text, double x, double y, double size, Weight weight,
                      Align align, Colour fill, double letterSpacing = 0.0);

// A slotted pan-head screw seen from the front, slot at the given angle (degrees).
void DrawScrew(cairo_t* cr, double cx, double cy, double radius, double slotDegrees);

// Per-pixel shading: the callback answers a straight-alpha colour for the pixel centre (x + 0.5, y + 0.5);
// it is sampled supersample x supersample times per pixel and averaged, then painted over the surface.
template <typename Shader>
void ShadePixels(Canvas& canvas, int x0, int y0, int x1, int y1, int supersample, Shader shader);

} // namespace art

#include "paint_inl.h"
