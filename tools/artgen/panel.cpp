// The front panel (BG1.png): brushed graphite aluminium, opaque except the glass over the meter and the
// two value displays, carrying the logo, the knob scales and the labels.
#include "images.h"
#include "layout.h"
#include "paint.h"
#include "png_writer.h"

#include <cmath>
#include <cstdio>

namespace art {

namespace {

const Colour kEngraving = Rgb(0xE9DEC6);
const Colour kAmber = Rgb(0xE0A64A);

// Graphite anodising over horizontally brushed metal, a little lighter towards the top.
Colour BrushedMetal(double x, double y) {
    const double streaks = 0.55 * ValueNoise(x, y, 70.0, 1.0, 1) + 0.30 * ValueNoise(x, y, 17.0, 1.0, 2) +
                           0.15 * ValueNoise(x, y, 3.0, 1.0, 3);
    const double light = 0.035 * (1.0 - y / kEditorHeight) + (streaks - 0.5) * 0.045;
    const Colour base = Rgb(0x2C2E31);
    return {base.r + light, base.g + light, base.b + light * 1.1, 1.0};
}

// A raised rim around the panel's edge.
void DrawRim(cairo_t* cr) {
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, {1, 1, 1, 0.16});
    cairo_move_to(cr, 0.5, kEditorHeight);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, kEditorWidth, 0.5);
    cairo_stroke(cr);
    SetColour(cr, {0, 0, 0, 0.6});
    cairo_move_to(cr, kEditorWidth - 0.5, 0);
    cairo_line_to(cr, kEditorWidth - 0.5, kEditorHeight - 0.5);
    cairo_line_to(cr, 0, kEditorHeight - 0.5);
    cairo_stroke(cr);
    // Engraved border line a few pixels in.
    SetColour(cr, {0, 0, 0, 0.45});
    cairo_rectangle(cr, 4.5, 4.5, kEditorWidth - 9, kEditorHeight - 9);
    cairo_stroke(cr);
    SetColour(cr, {1, 1, 1, 0.07});
    cairo_rectangle(cr, 5.5, 5.5, kEditorWidth - 11, kEditorHeight - 11);
    cairo_stroke(cr);
}

// A black bezel around a window, lit from above: its lower lip catches the light.
void DrawBezel(cairo_t* cr, const Rect& window, double border, double radius) {
    const double x = window.left - border, y = window.top - border;
    const double w = window.Width() + 2 * border, h = window.Height() + 2 * border;
    // Shadow the bezel throws onto the panel.
    for (int i = 3; i >= 1; --i) {
        SetColour(cr, {0, 0, 0, 0.12});
        RoundedRect(cr, x - i * 0.5, y - i * 0.3 + 1.2, w + i, h + i * 0.9, radius + i);
        cairo_fill(cr);
    }
    cairo_pattern_t* body = cairo_pattern_create_linear(0, y, 0, y + h);
    AddStop(body, 0, Rgb(0x0C0D0E));
    AddStop(body, 0.6, Rgb(0x17181A));
    AddStop(body, 1, Rgb(0x3A3C40));
    cairo_set_source(cr, body);
    RoundedRect(cr, x, y, w, h, radius);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, {1, 1, 1, 0.14});
    RoundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, radius);
    cairo_stroke(cr);
}

// Removes the window from the panel and lays tinted glass with an inner shadow and a reflection over it.
void CutGlassWindow(cairo_t* cr, const Rect& window, double radius, bool reflection) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    RoundedRect(cr, window.left, window.top, window.Width(), window.Height(), radius);
    cairo_fill(cr);
    cairo_restore(cr);

    cairo_save(cr);
    RoundedRect(cr, window.left, window.top, window.Width(), window.Height(), radius);
    cairo_clip(cr);
    // Inner shadow under the bezel's top edge and a lighter one at the sides.
    cairo_pattern_t* top = cairo_pattern_create_linear(0, window.top, 0, window.top + 9);
    AddStop(top, 0, {0.05, 0.02, 0, 0.55});
    AddStop(top, 1, {0.05, 0.02, 0, 0});
    cairo_set_source(cr, top);
    cairo_paint(cr);
    cairo_pattern_destroy(top);
    cairo_pattern_t* sides = cairo_pattern_create_linear(window.left, 0, window.right, 0);
    const double edge = 6.0 / window.Width();
    AddStop(sides, 0, {0.05, 0.02, 0, 0.35});
    AddStop(sides, edge, {0.05, 0.02, 0, 0});
    AddStop(sides, 1 - edge, {0.05, 0.02, 0, 0});
    AddStop(sides, 1, {0.05, 0.02, 0, 0.35});
    cairo_set_source(cr, sides);
    cairo_paint(cr);
    cairo_pattern_destroy(sides);
    if (reflection) {
        // A broad diagonal sheen across the glass.
        cairo_pattern_t* sheen =
            cairo_pattern_create_linear(window.left, window.top, window.left + 80, window.bottom + 40);
        AddStop(sheen, 0, {1, 1, 1, 0});
        AddStop(sheen, 0.45, {1, 1, 1, 0.10});
        AddStop(sheen, 0.75, {1, 1, 1, 0.02});
        AddStop(sheen, 1, {1, 1, 1, 0});
        cairo_set_source(cr, sheen);
        cairo_move_to(cr, window.left, window.top);
        cairo_line_to(cr, window.left + 150, window.top);
        cairo_line_to(cr, window.left + 95, window.bottom);
        cairo_line_to(cr, window.left, window.bottom);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_pattern_destroy(sheen);
    }
    cairo_restore(cr);
}

void DrawLogo(cairo_t* cr) {
    const Rect& area = kLogoArea;
    DrawEngravedText(cr, "VT4R", area.CentreX(), area.top + 20.5, 22.0, Weight::Bold, Align::Centre,
                     kEngraving, 3.0);
    const double w = TextWidth(cr, "MARSOLIND", 7.0, Weight::Bold, 2.2);
    DrawEngravedText(cr, "MARSOLIND", area.CentreX(), area.top + 30.0, 7.0, Weight::Bold, Align::Centre,
                     kAmber, 2.2);
    // Fine rules either side of the maker's name.
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, {kAmber.r, kAmber.g, kAmber.b, 0.6});
    const double y = area.top + 27.5;
    cairo_move_to(cr, area.left + 6, y);
    cairo_line_to(cr, area.CentreX() - w * 0.5 - 5, y);
    cairo_move_to(cr, area.CentreX() + w * 0.5 + 5, y);
    cairo_line_to(cr, area.right - 6, y);
    cairo_stroke(cr);
}

// Ticks every 2 dB around a knob, on its 300-degree sweep, with figures at both ends and at 0 dB.
// (The knobs sit too close together for figures at +-10 dB; their ticks are long instead.)
void DrawKnobScale(cairo_t* cr, double cx, double cy) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int db = -20; db <= 20; db += 2) {
        const double t = (db + 20) / 40.0;
        const double a = (-kKnobSweepDegrees / 2 + kKnobSweepDegrees * t) * M_PI / 180.0;
        const bool major = db % 10 == 0;
        const double r0 = 45.5, r1 = major ? 52.5 : 49.5;
        const double sx = std::sin(a), sy = -std::cos(a);
        cairo_set_line_width(cr, major ? 1.6 : 1.0);
        SetColour(cr, {0, 0, 0, 0.5});
        cairo_move_to(cr, cx + sx * r0, cy + sy * r0 - 0.6);
        cairo_line_to(cr, cx + sx * r1, cy + sy * r1 - 0.6);
        cairo_stroke(cr);
        SetColour(cr, major ? kEngraving : Colour{kEngraving.r, kEngraving.g, kEngraving.b, 0.7});
        cairo_move_to(cr, cx + sx * r0, cy + sy * r0);
        cairo_line_to(cr, cx + sx * r1, cy + sy * r1);
        cairo_stroke(cr);
        if (major && db != 10 && db != -10) {
            char text[8];
            std::snprintf(text, sizeof text, db > 0 ? "+%d" : "%d", db);
            const double rt = db == 0 ? 58.0 : 57.0;
            DrawEngravedText(cr, text, cx + sx * rt, cy + sy * rt + 3.0, 7.5, Weight::Bold, Align::Centre,
                             kEngraving);
        }
    }
}

// An amber jewel pilot lamp in a chrome bezel, lit.
void DrawPilotLamp(cairo_t* cr, double cx, double cy) {
    cairo_pattern_t* halo = cairo_pattern_create_radial(cx, cy, 5, cx, cy, 14);
    AddStop(halo, 0, {1.0, 0.6, 0.15, 0.22});
    AddStop(halo, 1, {1.0, 0.6, 0.15, 0});
    cairo_set_source(cr, halo);
    Circle(cr, cx, cy, 14);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
    cairo_pattern_t* bezel = cairo_pattern_create_linear(cx - 8, cy - 8, cx + 8, cy + 8);
    AddStop(bezel, 0, Rgb(0xEDEEF0));
    AddStop(bezel, 0.5, Rgb(0x8C8F94));
    AddStop(bezel, 1, Rgb(0x34363A));
    cairo_set_source(cr, bezel);
    Circle(cr, cx, cy, 7.5);
    cairo_fill(cr);
    cairo_pattern_destroy(bezel);
    SetColour(cr, Rgb(0x1A1206));
    Circle(cr, cx, cy, 5.6);
    cairo_fill(cr);
    // Faceted jewel: hot centre, deep amber rim, a window reflection top left.
    cairo_pattern_t* jewel = cairo_pattern_create_radial(cx, cy + 0.5, 0.5, cx, cy, 5.2);
    AddStop(jewel, 0, Rgb(0xFFF1B8));
    AddStop(jewel, 0.35, Rgb(0xFFB23A));
    AddStop(jewel, 0.8, Rgb(0xC65A08));
    AddStop(jewel, 1, Rgb(0x6E2A02));
    cairo_set_source(cr, jewel);
    Circle(cr, cx, cy, 5.0);
    cairo_fill(cr);
    cairo_pattern_destroy(jewel);
    cairo_set_line_width(cr, 0.5);
    SetColour(cr, {0.45, 0.18, 0.0, 0.5});
    for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3.0;
        cairo_move_to(cr, cx + std::cos(a) * 2.2, cy + std::sin(a) * 2.2);
        cairo_line_to(cr, cx + std::cos(a) * 5.0, cy + std::sin(a) * 5.0);
    }
    cairo_stroke(cr);
    SetColour(cr, {1, 1, 1, 0.7});
    Circle(cr, cx - 1.8, cy - 2.0, 1.1);
    cairo_fill(cr);
}

} // namespace

bool WriteFrontPanel(const std::string& dir, double scale) {
    Canvas canvas(kEditorWidth, kEditorHeight, scale);
    cairo_t* cr = canvas.cr();
    ShadePixels(canvas, 0, 0, kEditorWidth, kEditorHeight, 1, BrushedMetal);
    DrawRim(cr);
    for (double x : {12.0, kEditorWidth - 12.0}) {
        for (double y : {12.0, kEditorHeight - 12.0}) {
            DrawScrew(cr, x, y, 4.5, 20.0 + x * 0.3 + y * 0.7);
        }
    }
    DrawLogo(cr);
    DrawPilotLamp(cr, 42.0, 46.0);
    DrawEngravedText(cr, "STEREO", 246.0, 44.0, 6.5, Weight::Bold, Align::Centre, kEngraving, 1.6);
    DrawEngravedText(cr, "COMPRESSOR", 246.0, 53.0, 6.5, Weight::Bold, Align::Centre, kEngraving, 0.9);

    DrawBezel(cr, kMeterWindow, 5.0, 6.0);
    CutGlassWindow(cr, kMeterWindow, 3.0, true);

    for (const Rect* w : {&kInputTextWindow, &kOutputTextWindow}) {
        DrawBezel(cr, *w, 2.5, 4.0);
        CutGlassWindow(cr, *w, 2.0, false);
    }

    DrawKnobScale(cr, kInputKnobX, kKnobY);
    DrawKnobScale(cr, kOutputKnobX, kKnobY);
    DrawEngravedText(cr, "Input", kInputKnobX, 160.0, 11.0, Weight::Bold, Align::Centre, kEngraving, 1.0);
    DrawEngravedText(cr, "Output", kOutputKnobX, 160.0, 11.0, Weight::Bold, Align::Centre, kEngraving, 1.0);

    const double toggleCx = kToggleX + kToggleSize / 2.0;
    DrawEngravedText(cr, "On", toggleCx, 302.0, 7.5, Weight::Bold, Align::Centre, kEngraving, 0.5);
    DrawEngravedText(cr, "Off", toggleCx, 369.0, 7.5, Weight::Bold, Align::Centre, kEngraving, 0.5);
    DrawEngravedText(cr, "Relaxed Mode", toggleCx, 382.0, 9.5, Weight::Bold, Align::Centre, kEngraving, 0.8);
    return WriteRgbaPng(canvas.surface(), dir + "/BG1.png");
}

} // namespace art
