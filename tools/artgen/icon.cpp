// The application icon (vt4r-<size>.png): a small needle meter on the editor's dark panel. The cream face
// is lit from behind, the scale is printed in ink with the red over-range band at its right end, and two
// knobs sit below it. Drawn on a 256-unit grid scaled to the output; the small sizes leave out the fine
// ticks, the figures and the screws and thicken the lines so the picture still reads at 48 pixels.
#include "images.h"
#include "paint.h"
#include "png_writer.h"

#include <algorithm>
#include <cmath>

namespace art {

namespace {

const Colour kInk = Rgb(0x2A1C10);
const Colour kRed = Rgb(0xB3261C);
const Colour kEngraving = Rgb(0xE9DEC6);

// Panel and meter window, in icon units (256 across).
constexpr double kPanelX = 12, kPanelY = 14, kPanelW = 232, kPanelH = 226, kPanelRadius = 34;
constexpr double kWinLeft = 32, kWinTop = 38, kWinRight = 224, kWinBottom = 178, kWinRadius = 10;
// The needle turns about a pivot hidden just below the window; the scale is an arc around it.
constexpr double kPivotX = 128, kPivotY = 196;
constexpr double kScaleRadius = 108;
constexpr double kSweepDegrees = 80; // from 0 dB on the left to 20 dB on the right
constexpr double kFullScaleDb = 20;
constexpr double kOverRangeDb = 16;
constexpr double kNeedleDb = 11.5;
constexpr double kKnobY = 208, kKnobRadius = 17;
constexpr double kLeftKnobX = 62, kRightKnobX = 194;

// Angle from straight up (radians, clockwise) where a level in dB lies on the scale.
double ScaleAngle(double db) {
    return (-kSweepDegrees / 2 + kSweepDegrees * std::clamp(db / kFullScaleDb, 0.0, 1.0)) * M_PI / 180.0;
}

double PointX(double angle, double radius) {
    return kPivotX + std::sin(angle) * radius;
}
double PointY(double angle, double radius) {
    return kPivotY - std::cos(angle) * radius;
}

// Line widths in icon units that are at least minPixels wide in the output.
struct Pen {
    double scale; // output pixels per icon unit
    double Width(double units, double minPixels) const { return std::max(units, minPixels / scale); }
};

Colour PanelMetal(double x, double y, double unit) {
    // Brushed graphite, lighter towards the top; the streaks follow the icon, not the pixel grid.
    const double u = x / unit, v = y / unit;
    const double streaks = 0.6 * ValueNoise(u, v, 60.0, 1.5, 21) + 0.4 * ValueNoise(u, v, 14.0, 1.5, 22);
    const double light = 0.07 * (1.0 - v / 256.0) + (streaks - 0.5) * 0.05;
    const Colour base = Rgb(0x2A2C2F);
    return {base.r + light, base.g + light, base.b + light * 1.1, 1.0};
}

// ambient: how much of the face is lit away from the middle (more on small icons, where the amber edge
// would swamp the scale).
Colour FaceLight(double x, double y, double unit, double ambient) {
    const double u = x / unit, v = y / unit;
    const double dx = (u - 128.0) / 105.0, dy = (v - 120.0) / 70.0;
    const double light = ambient + (1.0 - ambient) * std::exp(-(dx * dx + dy * dy));
    const double grain = (ValueNoise(u, v, 4.0, 4.0, 23) - 0.5) * 0.025;
    Colour c = Mix(Rgb(0xA4621E), Rgb(0xFFF2D2), light);
    c.r += grain;
    c.g += grain;
    c.b += grain;
    return c;
}

void DrawPanel(Canvas& canvas, cairo_t* cr, double unit, const Pen& pen) {
    // Drop shadow under the panel.
    for (int i = 4; i >= 1; --i) {
        SetColour(cr, {0, 0, 0, 0.10});
        RoundedRect(cr, kPanelX - i * 0.8, kPanelY + i * 1.2, kPanelW + i * 1.6, kPanelH + i * 0.6,
                    kPanelRadius + i);
        cairo_fill(cr);
    }
    // Metal fill, clipped to the panel's rounded outline.
    cairo_save(cr);
    RoundedRect(cr, kPanelX, kPanelY, kPanelW, kPanelH, kPanelRadius);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
    {
        Canvas metal(canvas.width(), canvas.height());
        ShadePixels(metal, 0, 0, metal.width(), metal.height(), 1,
                    [unit](double x, double y) { return PanelMetal(x, y, unit); });
        cairo_save(cr);
        RoundedRect(cr, kPanelX, kPanelY, kPanelW, kPanelH, kPanelRadius);
        cairo_clip(cr);
        cairo_identity_matrix(cr);
        cairo_set_source_surface(cr, metal.surface(), 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    // Raised rim: light along the top, dark along the bottom.
    const double rim = pen.Width(3.0, 1.0);
    cairo_set_line_width(cr, rim);
    cairo_pattern_t* edge = cairo_pattern_create_linear(0, kPanelY, 0, kPanelY + kPanelH);
    AddStop(edge, 0, {1, 1, 1, 0.30});
    AddStop(edge, 0.5, {1, 1, 1, 0.06});
    AddStop(edge, 1, {0, 0, 0, 0.55});
    cairo_set_source(cr, edge);
    RoundedRect(cr, kPanelX + rim / 2, kPanelY + rim / 2, kPanelW - rim, kPanelH - rim,
                kPanelRadius - rim / 2);
    cairo_stroke(cr);
    cairo_pattern_destroy(edge);
}

void DrawBezel(cairo_t* cr, const Pen& pen) {
    const double border = 7.0;
    const double x = kWinLeft - border, y = kWinTop - border;
    const double w = kWinRight - kWinLeft + 2 * border, h = kWinBottom - kWinTop + 2 * border;
    cairo_pattern_t* body = cairo_pattern_create_linear(0, y, 0, y + h);
    AddStop(body, 0, Rgb(0x0A0B0C));
    AddStop(body, 0.6, Rgb(0x16171A));
    AddStop(body, 1, Rgb(0x44474C));
    cairo_set_source(cr, body);
    RoundedRect(cr, x, y, w, h, kWinRadius + border);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    const double line = pen.Width(1.5, 0.6);
    cairo_set_line_width(cr, line);
    SetColour(cr, {1, 1, 1, 0.12});
    RoundedRect(cr, x + line / 2, y + line / 2, w - line, h - line, kWinRadius + border);
    cairo_stroke(cr);
}

void WindowPath(cairo_t* cr) {
    RoundedRect(cr, kWinLeft, kWinTop, kWinRight - kWinLeft, kWinBottom - kWinTop, kWinRadius);
}

void DrawFace(Canvas& canvas, cairo_t* cr, double unit, int size) {
    const double ambient = size < 96 ? 0.6 : 0.4;
    Canvas face(canvas.width(), canvas.height());
    ShadePixels(face, 0, 0, face.width(), face.height(), 1,
                [unit, ambient](double x, double y) { return FaceLight(x, y, unit, ambient); });
    cairo_save(cr);
    WindowPath(cr);
    cairo_clip(cr);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, face.surface(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_restore(cr);
}

void DrawScale(cairo_t* cr, int size, const Pen& pen) {
    const bool small = size < 96;
    const double start = ScaleAngle(0), end = ScaleAngle(kFullScaleDb), red = ScaleAngle(kOverRangeDb);
    // cairo_arc measures from +x clockwise (y down); the scale's angles are from straight up.
    auto arc = [cr](double radius, double a0, double a1) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, kPivotX, kPivotY, radius, a0 - M_PI / 2, a1 - M_PI / 2);
    };
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    // Over-range band just inside the arc.
    const double band = small ? 12.0 : 8.0;
    cairo_set_line_width(cr, band);
    SetColour(cr, kRed);
    arc(kScaleRadius - band / 2, red, end + 0.02);
    cairo_stroke(cr);

    cairo_set_line_width(cr, pen.Width(small ? 4.5 : 2.0, 1.0));
    SetColour(cr, kInk);
    arc(kScaleRadius, start, end);
    cairo_stroke(cr);

    const int step = small ? 4 : 1;
    for (int db = 0; db <= kFullScaleDb; db += step) {
        const bool major = db % 4 == 0;
        const double a = ScaleAngle(db);
        const double length = major ? (small ? 22.0 : 18.0) : (db % 2 == 0 ? 11.0 : 8.0);
        const double width = major ? pen.Width(small ? 6.0 : 3.4, 1.0) : pen.Width(1.8, 0.8);
        SetColour(cr, db > kOverRangeDb ? kRed : kInk);
        cairo_set_line_width(cr, width);
        cairo_move_to(cr, PointX(a, kScaleRadius - 1), PointY(a, kScaleRadius - 1));
        cairo_line_to(cr, PointX(a, kScaleRadius + length), PointY(a, kScaleRadius + length));
        cairo_stroke(cr);
    }
    if (size >= 192) {
        for (int db : {0, 4, 8, 12, 16, 20}) {
            const double a = ScaleAngle(db);
            const double r = kScaleRadius + 29;
            DrawText(cr, std::to_string(db), PointX(a, r), PointY(a, r) + 5.0, 13.0, Weight::Bold,
                     Align::Centre, db > kOverRangeDb - 1 ? kRed : kInk);
        }
    }
    if (size >= 96) {
        DrawText(cr, "dB", kPivotX, kPivotY - 56, size >= 192 ? 13.0 : 16.0, Weight::Bold, Align::Centre,
                 {kInk.r, kInk.g, kInk.b, 0.7}, 1.0);
    }
}

void DrawNeedle(cairo_t* cr, int size, const Pen& pen) {
    const bool small = size < 96;
    const double a = ScaleAngle(kNeedleDb);
    const double tip = kScaleRadius + (small ? 14.0 : 12.0);
    const double base = 20.0;
    const double sx = std::sin(a), sy = -std::cos(a);
    const double nx = -sy, ny = sx; // across the blade
    const double wTip = pen.Width(small ? 2.6 : 1.4, 0.9) / 2, wBase = pen.Width(small ? 5.0 : 3.4, 1.6) / 2;
    auto blade = [&](double ox, double oy) {
        cairo_move_to(cr, kPivotX + sx * tip + nx * wTip + ox, kPivotY + sy * tip + ny * wTip + oy);
        cairo_line_to(cr, kPivotX + sx * tip - nx * wTip + ox, kPivotY + sy * tip - ny * wTip + oy);
        cairo_line_to(cr, kPivotX + sx * base - nx * wBase + ox, kPivotY + sy * base - ny * wBase + oy);
        cairo_line_to(cr, kPivotX + sx * base + nx * wBase + ox, kPivotY + sy * base + ny * wBase + oy);
        cairo_close_path(cr);
    };
    // Soft shadow on the face, thrown down and to the right by the light above-left.
    cairo_save(cr);
    WindowPath(cr);
    cairo_clip(cr);
    SetColour(cr, {0.12, 0.06, 0.0, 0.16});
    for (double offset : {1.0, 2.0, 3.0}) {
        blade(offset, offset * 0.8);
        cairo_fill(cr);
    }
    SetColour(cr, Rgb(0x120D09, 0.97));
    blade(0, 0);
    cairo_fill(cr);
    cairo_restore(cr);
}

// The pivot's cover: a dark dome rising from the window's lower edge.
void DrawPivotCover(cairo_t* cr) {
    cairo_save(cr);
    WindowPath(cr);
    cairo_clip(cr);
    const double r = 34;
    cairo_pattern_t* dome =
        cairo_pattern_create_radial(kPivotX - 8, kPivotY - 30, 2, kPivotX, kPivotY - 6, r + 6);
    AddStop(dome, 0, Rgb(0x5A5D62));
    AddStop(dome, 0.6, Rgb(0x222326));
    AddStop(dome, 1, Rgb(0x0E0F10));
    cairo_set_source(cr, dome);
    Circle(cr, kPivotX, kPivotY - 6, r);
    cairo_fill(cr);
    cairo_pattern_destroy(dome);
    cairo_restore(cr);
}

// Glass: an inner shadow under the bezel's top edge and a broad diagonal sheen.
void DrawGlass(cairo_t* cr) {
    cairo_save(cr);
    WindowPath(cr);
    cairo_clip(cr);
    cairo_pattern_t* top = cairo_pattern_create_linear(0, kWinTop, 0, kWinTop + 16);
    AddStop(top, 0, {0.05, 0.02, 0, 0.5});
    AddStop(top, 1, {0.05, 0.02, 0, 0});
    cairo_set_source(cr, top);
    cairo_paint(cr);
    cairo_pattern_destroy(top);
    // The sheen's band runs diagonally from the upper middle to the lower left and fades out on both sides.
    cairo_pattern_t* sheen =
        cairo_pattern_create_linear(kWinLeft, kWinTop + 20, kWinLeft + 130, kWinTop + 60);
    AddStop(sheen, 0, {1, 1, 1, 0});
    AddStop(sheen, 0.45, {1, 1, 1, 0.12});
    AddStop(sheen, 1, {1, 1, 1, 0});
    cairo_set_source(cr, sheen);
    cairo_paint(cr);
    cairo_pattern_destroy(sheen);
    cairo_restore(cr);
}

// A black knob with a cream index line and a lit aluminium cap, turned to the given angle (degrees).
void DrawKnob(cairo_t* cr, double cx, double cy, double degrees, const Pen& pen) {
    cairo_pattern_t* shadow =
        cairo_pattern_create_radial(cx + 1, cy + 3, kKnobRadius * 0.7, cx + 1, cy + 3, kKnobRadius + 5);
    AddStop(shadow, 0, {0, 0, 0, 0.55});
    AddStop(shadow, 1, {0, 0, 0, 0});
    cairo_set_source(cr, shadow);
    Circle(cr, cx + 1, cy + 3, kKnobRadius + 5);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    cairo_pattern_t* skirt =
        cairo_pattern_create_linear(cx - kKnobRadius, cy - kKnobRadius, cx + kKnobRadius, cy + kKnobRadius);
    AddStop(skirt, 0, Rgb(0x3A3B3E));
    AddStop(skirt, 1, Rgb(0x0C0C0D));
    cairo_set_source(cr, skirt);
    Circle(cr, cx, cy, kKnobRadius);
    cairo_fill(cr);
    cairo_pattern_destroy(skirt);

    const double cap = kKnobRadius * 0.62;
    cairo_pattern_t* metal =
        cairo_pattern_create_radial(cx - cap * 0.4, cy - cap * 0.5, cap * 0.1, cx, cy, cap);
    AddStop(metal, 0, Rgb(0xE8E9EA));
    AddStop(metal, 0.7, Rgb(0xA2A4A8));
    AddStop(metal, 1, Rgb(0x6A6C70));
    cairo_set_source(cr, metal);
    Circle(cr, cx, cy, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);

    const double a = degrees * M_PI / 180.0;
    const double sx = std::sin(a), sy = -std::cos(a);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, pen.Width(3.0, 1.0));
    SetColour(cr, Rgb(0xF1E6CC));
    cairo_move_to(cr, cx + sx * (cap + 1.5), cy + sy * (cap + 1.5));
    cairo_line_to(cr, cx + sx * (kKnobRadius - 2), cy + sy * (kKnobRadius - 2));
    cairo_stroke(cr);
}

bool WriteIcon(const std::string& dir, int size) {
    Canvas canvas(size, size);
    cairo_t* cr = canvas.cr();
    const double scale = size / 256.0;
    const Pen pen{scale};
    cairo_scale(cr, scale, scale);

    DrawPanel(canvas, cr, 1.0 / scale, pen);
    if (size >= 96) {
        for (double x : {kPanelX + 16, kPanelX + kPanelW - 16}) {
            for (double y : {kPanelY + 16, kPanelY + kPanelH - 16}) {
                DrawScrew(cr, x, y, 5.0, 25.0 + x * 0.4 + y * 0.6);
            }
        }
    }
    DrawBezel(cr, pen);
    DrawFace(canvas, cr, 1.0 / scale, size);
    DrawScale(cr, size, pen);
    DrawNeedle(cr, size, pen);
    DrawPivotCover(cr);
    DrawGlass(cr);
    DrawKnob(cr, kLeftKnobX, kKnobY, -35.0, pen);
    DrawKnob(cr, kRightKnobX, kKnobY, 20.0, pen);
    if (size >= 96) {
        DrawEngravedText(cr, "VT4R", 128, kKnobY + 8, 22.0, Weight::Bold, Align::Centre, kEngraving, 2.0);
    }
    return WriteRgbaPng(canvas.surface(), dir + "/vt4r-" + std::to_string(size) + ".png");
}

} // namespace

bool WriteIcons(const std::string& dir) {
    bool ok = true;
    for (int size : kIconSizes) {
        ok = WriteIcon(dir, size) && ok;
    }
    return ok;
}

} // namespace art
