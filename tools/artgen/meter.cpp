// The meter face (BGBG1.png, lit from behind, seen through the panel's windows), the needle (Needle.png)
// and the transparent background (BG.png) that clears the back buffer.
#include "images.h"
#include "layout.h"
#include "paint.h"
#include "png_writer.h"

#include <cmath>

namespace art {

bool WriteBackground(const std::string& dir, double scale) {
    Canvas canvas(kEditorWidth, kEditorHeight, scale);
    return WriteRgbaPng(canvas.surface(), dir + "/BG.png");
}

namespace {

const Colour kInk = Rgb(0x2A1C10);
const Colour kRed = Rgb(0xB3261C);
// Where the needle rests against its stop, just past full scale.
const double kEndStopX = MeterX(kMeterFullScaleDb) + 5.0;

// Warm incandescent light behind a cream face: brightest in the middle of each window, amber at the edges.
Colour FaceLight(double x, double y) {
    auto glow = [](double dx, double dy, double rx, double ry) {
        const double d2 = (dx * dx) / (rx * rx) + (dy * dy) / (ry * ry);
        return std::exp(-d2);
    };
    const double meter = glow(x - 144.0, y - 110.0, 125.0, 55.0);
    const double left = glow(x - kInputKnobX, y - 316.0, 55.0, 22.0);
    const double right = glow(x - kOutputKnobX, y - 316.0, 55.0, 22.0);
    double light = std::fmax(meter, std::fmax(left, right));
    light = 0.25 + 0.75 * light;
    // Fibres of the printed card.
    const double grain = (ValueNoise(x, y, 3.0, 3.0, 11) - 0.5) * 0.025 +
                         (Hash(static_cast<std::int64_t>(x), static_cast<std::int64_t>(y), 12) - 0.5) * 0.012;
    Colour c = Mix(Rgb(0xA4621E), Rgb(0xFFF2D2), light);
    c.r += grain;
    c.g += grain;
    c.b += grain;
    return c;
}

void DrawScale(cairo_t* cr) {
    const double baseline = 108.5;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);

    // Over-range band from 16 dB to the stop.
    SetColour(cr, kRed);
    cairo_rectangle(cr, MeterX(16), baseline + 0.5, kEndStopX - MeterX(16), 3.0);
    cairo_fill(cr);

    SetColour(cr, kInk);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, MeterX(0), baseline);
    cairo_line_to(cr, MeterX(kMeterFullScaleDb), baseline);
    cairo_stroke(cr);

    for (int db = 0; db <= 20; ++db) {
        const bool major = db % 4 == 0 || db == 20;
        const double x = MeterX(db);
        SetColour(cr, db > 16 ? kRed : kInk);
        cairo_set_line_width(cr, major ? 1.5 : 1.0);
        cairo_move_to(cr, x, baseline + 0.5);
        cairo_line_to(cr, x, baseline - (major ? 9.5 : (db % 2 == 0 ? 6.0 : 4.0)));
        cairo_stroke(cr);
    }
    for (int db : {0, 4, 8, 12, 16}) {
        DrawText(cr, std::to_string(db), MeterX(db), 96.5, 9.5, Weight::Bold, Align::Centre, kInk);
    }
    // The stop: the needle cannot travel past 20 dB; the printed scale ends at 22 above the pin.
    cairo_pattern_t* pin =
        cairo_pattern_create_radial(kEndStopX - 0.8, baseline - 5.8, 0.3, kEndStopX, baseline - 5.0, 2.6);
    AddStop(pin, 0, Rgb(0xF08A70));
    AddStop(pin, 1, Rgb(0x7A140E));
    cairo_set_source(cr, pin);
    Circle(cr, kEndStopX, baseline - 5.0, 2.6);
    cairo_fill(cr);
    cairo_pattern_destroy(pin);
    DrawText(cr, "22", kEndStopX, 96.5, 8.5, Weight::Bold, Align::Centre, kRed);

    DrawText(cr, "GAIN REDUCTION  dB", 144.0, 122.5, 7.0, Weight::Bold, Align::Centre,
             {kInk.r, kInk.g, kInk.b, 0.75}, 1.2);
}

} // namespace

bool WriteMeterFace(const std::string& dir, double scale) {
    Canvas canvas(kEditorWidth, kEditorHeight, scale);
    ShadePixels(canvas, 0, 0, kEditorWidth, kEditorHeight, 1, FaceLight);
    DrawScale(canvas.cr());
    return WriteRgbaPng(canvas.surface(), dir + "/BGBG1.png");
}

bool WriteNeedle(const std::string& dir, double scale) {
    Canvas canvas(kNeedleWidth, kNeedleHeight, scale);
    // Soft shadow on the face, thrown to the right by the light above-left.
    ShadePixels(canvas, 0, 0, kNeedleWidth, kNeedleHeight, 4, [](double x, double) {
        const double d = x - (kNeedleLineX + 2.6);
        return Colour{0.12, 0.06, 0.0, 0.38 * std::exp(-d * d / (2 * 1.3 * 1.3))};
    });
    cairo_t* cr = canvas.cr();
    // Tapered blade, slightly wider towards the pivot below.
    const double top = 0.0, bottom = kNeedleHeight;
    cairo_move_to(cr, kNeedleLineX - 1.0, top);
    cairo_line_to(cr, kNeedleLineX + 1.0, top);
    cairo_line_to(cr, kNeedleLineX + 1.5, bottom);
    cairo_line_to(cr, kNeedleLineX - 1.5, bottom);
    cairo_close_path(cr);
    SetColour(cr, Rgb(0x120D09, 0.96));
    cairo_fill(cr);
    // A thin lit edge makes the blade read as metal.
    cairo_set_line_width(cr, 0.5);
    SetColour(cr, {1, 0.92, 0.8, 0.35});
    cairo_move_to(cr, kNeedleLineX - 0.75, top);
    cairo_line_to(cr, kNeedleLineX - 1.25, bottom);
    cairo_stroke(cr);
    return WriteRgbaPng(canvas.surface(), dir + "/Needle.png");
}

} // namespace art
