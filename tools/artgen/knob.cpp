// The knob (KnobL.png): 101 frames of 135 x 135 stacked vertically, frame 1 at the minimum.
// A knurled black skirt with a cream index line under a machined aluminium cap with a black pointer groove.
// Light and shadow stay put while the knurl and the pointers turn.
#include "images.h"
#include "knob_art.h"
#include "layout.h"
#include "paint.h"
#include "png_writer.h"

#include <algorithm>
#include <cmath>

namespace art {

namespace {

constexpr double kCentre = kKnobFrameSize / 2.0;
constexpr double kSkirtRadius = 41.0;
constexpr double kCapRadius = 29.5;

void DrawPointers(cairo_t* cr, double frameTop, double rotation) {
    const double sx = std::sin(rotation), sy = -std::cos(rotation);
    const double cx = kCentre, cy = frameTop + kCentre;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    // Cream index line on the skirt.
    cairo_set_line_width(cr, 2.6);
    SetColour(cr, Rgb(0xF1E6CC));
    cairo_move_to(cr, cx + sx * (kCapRadius + 3.5), cy + sy * (kCapRadius + 3.5));
    cairo_line_to(cr, cx + sx * (kSkirtRadius - 1.5), cy + sy * (kSkirtRadius - 1.5));
    cairo_stroke(cr);
    // Groove in the cap: lit lower lip, then the black fill.
    const double r0 = 8.0, r1 = kCapRadius - 4.0;
    cairo_set_line_width(cr, 3.6);
    SetColour(cr, {1, 1, 1, 0.55});
    cairo_move_to(cr, cx + sx * r0 + 0.5, cy + sy * r0 + 0.8);
    cairo_line_to(cr, cx + sx * r1 + 0.5, cy + sy * r1 + 0.8);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 3.2);
    SetColour(cr, Rgb(0x141414));
    cairo_move_to(cr, cx + sx * r0, cy + sy * r0);
    cairo_line_to(cr, cx + sx * r1, cy + sy * r1);
    cairo_stroke(cr);
}

} // namespace

bool WriteKnob(const std::string& dir, double scale) {
    if (scale != 1.0) {
        // Other scales come from the editor's own knob painter, so artgen shows what the editor draws.
        const KnobPainter painter(scale);
        const int size = painter.FrameSize();
        Canvas canvas(size, size * kKnobFrames);
        cairo_surface_flush(canvas.surface());
        auto* data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(canvas.surface()));
        const int stride = cairo_image_surface_get_stride(canvas.surface()) / 4;
        for (int frame = 0; frame < kKnobFrames; ++frame) {
            painter.DrawPremultiplied(frame, data + static_cast<std::ptrdiff_t>(frame) * size * stride, stride);
        }
        cairo_surface_mark_dirty(canvas.surface());
        return WriteRgbaPng(canvas.surface(), dir + "/KnobL.png");
    }
    Canvas canvas(kKnobFrameSize, kKnobFrameSize * kKnobFrames);
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        const double top = static_cast<double>(frame) * kKnobFrameSize;
        const double rotation = KnobRotation(frame);
        const int y0 = frame * kKnobFrameSize, y1 = y0 + kKnobFrameSize;
        ShadePixels(canvas, 0, y0, kKnobFrameSize, y1, 1,
                    [top](double x, double y) { return KnobShadowPixel(x, y, top); });
        ShadePixels(canvas, 0, y0, kKnobFrameSize, y1, 3,
                    [top, rotation](double x, double y) { return KnobBodyPixel(x, y, top, rotation); });
        DrawPointers(canvas.cr(), top, rotation);
    }
    return WriteRgbaPng(canvas.surface(), dir + "/KnobL.png");
}

} // namespace art
