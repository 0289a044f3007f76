#include "paint.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace art {

Canvas::Canvas(int width, int height, double scale)
    : width_(ScaledPixels(width, scale)), height_(ScaledPixels(height, scale)), scale_(scale),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)), cr_(cairo_create(surface_)) {
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS || cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "artgen: cannot create a %d x %d surface\n", width, height);
        std::exit(1);
    }
    // Fixed font rendering, independent of the desktop's font settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
    if (scale != 1.0) {
        cairo_scale(cr_, scale, scale);
    }
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

void SetColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void AddStop(cairo_pattern_t* pattern, double offset, Colour c) {
    cairo_pattern_add_color_stop_rgba(pattern, offset, c.r, c.g, c.b, c.a);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    const double r = std::fmin(radius, std::fmin(w, h) * 0.5);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void Circle(cairo_t* cr, double cx, double cy, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_close_path(cr);
}

namespace {

void SelectFont(cairo_t* cr, double size, Weight weight) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           weight == Weight::Bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double Advance(cairo_t* cr, const std::string& text, double letterSpacing) {
    if (letterSpacing == 0.0) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, text.c_str(), &e);
        return e.x_advance;
    }
    double width = 0;
    for (char ch : text) {
        const char s[2] = {ch, 0};
        cairo_text_extents_t e;
        cairo_text_extents(cr, s, &e);
        width += e.x_advance + letterSpacing;
    }
    return width - letterSpacing;
}

} // namespace

double TextWidth(cairo_t* cr, const std::string& text, double size, Weight weight, double letterSpacing) {
    cairo_save(cr);
    SelectFont(cr, size, weight);
    const double w = Advance(cr, text, letterSpacing);
    cairo_restore(cr);
    return w;
}

double DrawText(cairo_t* cr, const std::string& text, double x, double y, double size, Weight weight,
                Align align, Colour colour, double letterSpacing) {
    cairo_save(cr);
    SelectFont(cr, size, weight);
    const double width = Advance(cr, text, letterSpacing);
    if (align == Align::Centre) {
        x -= width * 0.5;
    } else if (align == Align::Right) {
        x -= width;
    }
    SetColour(cr, colour);
    if (letterSpacing == 0.0) {
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, text.c_str());
    } else {
        for (char ch : text) {
            const char s[2] = {ch, 0};
            cairo_text_extents_t e;
            cairo_text_extents(cr, s, &e);
            cairo_move_to(cr, x, y);
            cairo_show_text(cr, s);
            x += e.x_advance + letterSpacing;
        }
    }
    cairo_restore(cr);
    return width;
}

void DrawEngravedText(cairo_t* cr, const std::string& text, double x, double y, double size, Weight weight,
                      Align align, Colour fill, double letterSpacing) {
    DrawText(cr, text, x, y - 0.6, size, weight, align, {0, 0, 0, 0.55}, letterSpacing);
    DrawText(cr, text, x, y + 0.7, size, weight, align, {1, 1, 1, 0.10}, letterSpacing);
    DrawText(cr, text, x, y, size, weight, align, fill, letterSpacing);
}

void DrawScrew(cairo_t* cr, double cx, double cy, double radius, double slotDegrees) {
    // Countersink shadow.
    cairo_pattern_t* sink =
        cairo_pattern_create_radial(cx, cy + 0.6, radius * 0.8, cx, cy + 0.6, radius * 1.35);
    AddStop(sink, 0, {0, 0, 0, 0.7});
    AddStop(sink, 1, {0, 0, 0, 0});
    cairo_set_source(cr, sink);
    Circle(cr, cx, cy + 0.6, radius * 1.35);
    cairo_fill(cr);
    cairo_pattern_destroy(sink);
    // Domed head lit from the top left.
    cairo_pattern_t* head =
        cairo_pattern_create_radial(cx - radius * 0.35, cy - radius * 0.45, radius * 0.1, cx, cy, radius);
    AddStop(head, 0, Rgb(0xF2F2F0));
    AddStop(head, 0.55, Rgb(0xA9ABAE));
    AddStop(head, 1, Rgb(0x55585C));
    cairo_set_source(cr, head);
    Circle(cr, cx, cy, radius);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    // Slot: a dark groove with a lit lower lip.
    const double a = slotDegrees * M_PI / 180.0;
    const double dx = std::cos(a) * radius * 0.82, dy = std::sin(a) * radius * 0.82;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, radius * 0.32);
    SetColour(cr, {1, 1, 1, 0.45});
    cairo_move_to(cr, cx - dx, cy - dy + 0.5);
    cairo_line_to(cr, cx + dx, cy + dy + 0.5);
    cairo_stroke(cr);
    SetColour(cr, Rgb(0x26282B));
    cairo_move_to(cr, cx - dx, cy - dy);
    cairo_line_to(cr, cx + dx, cy + dy);
    cairo_stroke(cr);
}

} // namespace art
