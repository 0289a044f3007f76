// The knob (KnobL.png): 101 frames of 135 x 135 stacked vertically, frame 1 at the minimum.
// A knurled black skirt with a cream index line under a machined aluminium cap with a black pointer groove.
// Light and shadow stay put while the knurl and the pointers turn.
#include "images.h"
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
constexpr int kKnurlRidges = 44;
// Light comes from the upper left (angles clockwise from straight up).
constexpr double kLightAngle = -40.0 * M_PI / 180.0;

double SmoothStep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

Colour Grey(double v, double a = 1.0) {
    return {v, v, v * 1.02, a};
}

// One frame's knob body, centred in the frame whose top is at frameTop; rotation in radians.
Colour KnobPixel(double x, double y, double frameTop, double rotation) {
    const double dx = x - kCentre, dy = y - frameTop - kCentre;
    const double r = std::hypot(dx, dy);
    const double phi = std::atan2(dx, -dy); // clockwise from up
    const double facing = std::cos(phi - kLightAngle);

    if (r > kSkirtRadius + 0.5) {
        return {0, 0, 0, 0};
    }
    const double edge = std::clamp(kSkirtRadius + 0.5 - r, 0.0, 1.0);
    if (r > kCapRadius) {
        // Skirt: a cone falling away from the cap, knurled near its rim.
        const double ridge = 0.5 + 0.5 * std::cos(kKnurlRidges * (phi - rotation));
        const double knurl = SmoothStep(kSkirtRadius - 7.0, kSkirtRadius - 4.0, r);
        double v = 0.10 + 0.07 * facing;
        v += knurl * (ridge - 0.5) * (0.10 + 0.06 * std::fabs(facing));
        // Rounded rim and a dark seam against the cap.
        v += 0.08 * SmoothStep(kSkirtRadius - 2.0, kSkirtRadius - 0.5, r) * facing;
        v *= 0.55 + 0.45 * SmoothStep(kCapRadius, kCapRadius + 2.5, r);
        return Grey(v, edge);
    }
    // Cap: machined aluminium. The turned rings reflect as two broad bright lobes that do not move with
    // the knob; fine concentric grooves and a chamfered edge.
    const double lobes = std::cos(2.0 * (phi - kLightAngle - 0.25));
    const double rings =
        0.012 * std::sin(r * 4.3) + 0.02 * (Hash(static_cast<std::int64_t>(r * 2.7), 0, 7) - 0.5);
    double v = 0.64 + 0.13 * lobes + rings + 0.05 * facing * (r / kCapRadius);
    const double chamfer = SmoothStep(kCapRadius - 2.8, kCapRadius - 1.2, r);
    v = v * (1 - chamfer) + (0.52 + 0.38 * facing) * chamfer;
    const double seam = SmoothStep(kCapRadius - 0.8, kCapRadius, r);
    v = v * (1 - seam) + 0.08 * seam;
    // Faint spot light on the dome.
    const double hx = dx + 10.0, hy = dy + 12.0;
    v += 0.10 * std::exp(-(hx * hx + hy * hy) / 180.0);
    return Grey(std::min(v, 1.0));
}

Colour ShadowPixel(double x, double y, double frameTop) {
    const double dx = x - kCentre - 1.5, dy = y - frameTop - kCentre - 4.0;
    const double r = std::hypot(dx, dy);
    return {0, 0, 0, 0.6 * (1.0 - SmoothStep(kSkirtRadius - 4.0, kSkirtRadius + 7.0, r))};
}

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

bool WriteKnob(const std::string& dir) {
    Canvas canvas(kKnobFrameSize, kKnobFrameSize * kKnobFrames);
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        const double top = static_cast<double>(frame) * kKnobFrameSize;
        const double t = frame / static_cast<double>(kKnobFrames - 1);
        const double rotation = (-kKnobSweepDegrees / 2 + kKnobSweepDegrees * t) * M_PI / 180.0;
        const int y0 = frame * kKnobFrameSize, y1 = y0 + kKnobFrameSize;
        ShadePixels(canvas, 0, y0, kKnobFrameSize, y1, 1,
                    [top](double x, double y) { return ShadowPixel(x, y, top); });
        ShadePixels(canvas, 0, y0, kKnobFrameSize, y1, 3,
                    [top, rotation](double x, double y) { return KnobPixel(x, y, top, rotation); });
        DrawPointers(canvas.cr(), top, rotation);
    }
    return WriteRgbaPng(canvas.surface(), dir + "/KnobL.png");
}

} // namespace art
