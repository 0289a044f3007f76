#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "shade.h"

namespace art {

// An ARGB32 image surface with its drawing context; starts fully transparent. With a scale,
// the surface is width x height units of `scale` pixels each (rounded up) and everything drawn
// on it, shading included, is in units.
class Canvas {
  public:
    Canvas(int width, int height, double scale = 1.0);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }

  private:
    int width_;
    int height_;
    double scale_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

void SetColour(cairo_t* cr, Colour c);
void AddStop(cairo_pattern_t* pattern, double offset, Colour c);

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

// Per-pixel shading of the unit rectangle (x0, y0)..(x1, y1): the callback answers a straight-alpha colour
// for a point in units; it is sampled supersample x supersample times per pixel and averaged, then painted
// over the surface.
template <typename Shader>
void ShadePixels(Canvas& canvas, int x0, int y0, int x1, int y1, int supersample, Shader shader);

} // namespace art

#include "paint_inl.h"
