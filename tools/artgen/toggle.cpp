// The switch (Toggle.png): two 56 x 56 frames, a chrome bat-handle toggle on a hex nut;
// frame 1 "Off" with the lever down, frame 2 "On" with the lever up.
#include "images.h"
#include "layout.h"
#include "paint.h"
#include "png_writer.h"

#include <cmath>

namespace art {

namespace {

constexpr double kCentre = kToggleSize / 2.0;

void DrawMount(cairo_t* cr, double cx, double cy) {
    // Shadow of the washer.
    cairo_pattern_t* shadow = cairo_pattern_create_radial(cx + 1, cy + 2.5, 14, cx + 1, cy + 2.5, 21);
    AddStop(shadow, 0, {0, 0, 0, 0.6});
    AddStop(shadow, 1, {0, 0, 0, 0});
    cairo_set_source(cr, shadow);
    Circle(cr, cx + 1, cy + 2.5, 21);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);
    // Washer.
    cairo_pattern_t* washer = cairo_pattern_create_linear(cx - 17, cy - 17, cx + 17, cy + 17);
    AddStop(washer, 0, Rgb(0xA9ACB0));
    AddStop(washer, 0.5, Rgb(0x5E6166));
    AddStop(washer, 1, Rgb(0x26282B));
    cairo_set_source(cr, washer);
    Circle(cr, cx, cy, 17);
    cairo_fill(cr);
    cairo_pattern_destroy(washer);
    SetColour(cr, {0, 0, 0, 0.5});
    cairo_set_line_width(cr, 1.0);
    Circle(cr, cx, cy, 16.5);
    cairo_stroke(cr);
    SetColour(cr, {0, 0, 0, 0.35});
    Circle(cr, cx, cy, 13.8);
    cairo_stroke(cr);
    // Hex nut: each facet lit by how much it faces the upper-left light.
    const double nutRadius = 13.0;
    for (int i = 0; i < 6; ++i) {
        const double a0 = (i * 60.0 + 30.0) * M_PI / 180.0, a1 = a0 + M_PI / 3.0;
        const double mid = (a0 + a1) / 2;
        const double facing = std::cos(mid - 225.0 * M_PI / 180.0);
        const double v = 0.34 + 0.26 * facing;
        cairo_move_to(cr, cx, cy);
        cairo_line_to(cr, cx + std::cos(a0) * nutRadius, cy + std::sin(a0) * nutRadius);
        cairo_line_to(cr, cx + std::cos(a1) * nutRadius, cy + std::sin(a1) * nutRadius);
        cairo_close_path(cr);
        SetColour(cr, {v, v, v * 1.02, 1});
        cairo_fill_preserve(cr);
        SetColour(cr, {0, 0, 0, 0.35});
        cairo_set_line_width(cr, 0.6);
        cairo_stroke(cr);
    }
    // Flat top of the nut and the threaded bushing.
    cairo_pattern_t* top = cairo_pattern_create_linear(cx - 9, cy - 9, cx + 9, cy + 9);
    AddStop(top, 0, Rgb(0x8E9196));
    AddStop(top, 1, Rgb(0x3A3C40));
    cairo_set_source(cr, top);
    Circle(cr, cx, cy, 9.2);
    cairo_fill(cr);
    cairo_pattern_destroy(top);
    cairo_pattern_t* bushing = cairo_pattern_create_radial(cx - 1.5, cy - 1.5, 0.5, cx, cy, 5.5);
    AddStop(bushing, 0, Rgb(0x9A9DA2));
    AddStop(bushing, 1, Rgb(0x2A2C2F));
    cairo_set_source(cr, bushing);
    Circle(cr, cx, cy, 5.5);
    cairo_fill(cr);
    cairo_pattern_destroy(bushing);
}

// The lever from the pivot towards (tipX, tipY): a bat handle, thin where it leaves the bushing and
// widening to a rounded end, so that which way it points reads at a glance.
void DrawLever(cairo_t* cr, double cx, double cy, double tipX, double tipY) {
    const double dx = tipX - cx, dy = tipY - cy;
    const double len = std::hypot(dx, dy);
    const double ux = dx / len, uy = dy / len, nx = -uy, ny = ux;
    auto rod = [&](double ox, double oy, double grow) {
        const double w0 = 2.4 + grow, w1 = 4.0 + grow;
        cairo_move_to(cr, cx + ox + nx * w0, cy + oy + ny * w0);
        cairo_line_to(cr, tipX + ox + nx * w1, tipY + oy + ny * w1);
        cairo_line_to(cr, tipX + ox - nx * w1, tipY + oy - ny * w1);
        cairo_line_to(cr, cx + ox - nx * w0, cy + oy - ny * w0);
        cairo_close_path(cr);
        Circle(cr, tipX + ox, tipY + oy, 5.0 + grow);
        Circle(cr, cx + ox, cy + oy, w0);
    };
    // Soft shadow thrown down and to the right.
    for (int i = 3; i >= 0; --i) {
        rod(1.8 + i * 0.3, 2.2 + i * 0.35, i * 0.45);
        SetColour(cr, {0, 0, 0, 0.16});
        cairo_fill(cr);
    }
    // Chrome: bands across the rod's width.
    cairo_pattern_t* chrome = cairo_pattern_create_linear(cx + nx * 4, cy + ny * 4, cx - nx * 4, cy - ny * 4);
    AddStop(chrome, 0, Rgb(0x4A4D52));
    AddStop(chrome, 0.3, Rgb(0xF4F5F7));
    AddStop(chrome, 0.5, Rgb(0xB5B8BD));
    AddStop(chrome, 0.8, Rgb(0x55585D));
    AddStop(chrome, 1, Rgb(0x2B2D30));
    rod(0, 0, 0);
    cairo_set_source(cr, chrome);
    cairo_fill(cr);
    cairo_pattern_destroy(chrome);
    // Ball end with its own highlight.
    cairo_pattern_t* ball = cairo_pattern_create_radial(tipX - 1.7, tipY - 1.9, 0.4, tipX, tipY, 5.2);
    AddStop(ball, 0, Rgb(0xFFFFFF));
    AddStop(ball, 0.35, Rgb(0xC9CCD0));
    AddStop(ball, 1, Rgb(0x3C3F43));
    cairo_set_source(cr, ball);
    Circle(cr, tipX, tipY, 5.2);
    cairo_fill(cr);
    cairo_pattern_destroy(ball);
}

} // namespace

bool WriteToggle(const std::string& dir, double scale) {
    Canvas canvas(kToggleSize, kToggleSize * 2, scale);
    cairo_t* cr = canvas.cr();
    for (int frame = 0; frame < 2; ++frame) {
        const double cy = frame * kToggleSize + kCentre;
        DrawMount(cr, kCentre, cy);
        const double reach = frame == 0 ? 16.5 : -16.5; // off: down, on: up
        DrawLever(cr, kCentre, cy, kCentre, cy + reach);
    }
    return WriteRgbaPng(canvas.surface(), dir + "/Toggle.png");
}

} // namespace art
