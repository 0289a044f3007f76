// The information screen (Overlay.png), shown over the whole editor by a click on the logo.
#include "images.h"
#include "layout.h"
#include "paint.h"
#include "png_writer.h"

#include <cmath>
#include <sstream>
#include <vector>

namespace art {

namespace {

const Colour kCream = Rgb(0xEFE4CB);
const Colour kAmber = Rgb(0xE0A64A);
const Colour kMuted = Rgb(0xB9AF9B);

// Greedy word wrap; answers the baseline below the last line.
double DrawParagraph(cairo_t* cr, const std::string& text, double x, double y, double width, double size,
                     double lineHeight, Colour colour) {
    std::istringstream words(text);
    std::string word, line;
    while (words >> word) {
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(cr, candidate, size, Weight::Normal) > width) {
            DrawText(cr, line, x, y, size, Weight::Normal, Align::Left, colour);
            y += lineHeight;
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.empty()) {
        DrawText(cr, line, x, y, size, Weight::Normal, Align::Left, colour);
        y += lineHeight;
    }
    return y;
}

Colour Backdrop(double x, double y) {
    const double dx = (x - 144.0) / 200.0, dy = (y - 150.0) / 300.0;
    const double v = 0.13 - 0.07 * (dx * dx + dy * dy) + (ValueNoise(x, y, 60.0, 1.0, 21) - 0.5) * 0.02;
    return {v * 1.05, v, v * 0.92, 1.0};
}

} // namespace

bool WriteOverlay(const std::string& dir, double scale) {
    Canvas canvas(kEditorWidth, kEditorHeight, scale);
    cairo_t* cr = canvas.cr();
    ShadePixels(canvas, 0, 0, kEditorWidth, kEditorHeight, 1, Backdrop);

    // Double border.
    cairo_set_line_width(cr, 1.0);
    SetColour(cr, {kAmber.r, kAmber.g, kAmber.b, 0.7});
    cairo_rectangle(cr, 10.5, 10.5, kEditorWidth - 21, kEditorHeight - 21);
    cairo_stroke(cr);
    SetColour(cr, {kAmber.r, kAmber.g, kAmber.b, 0.3});
    cairo_rectangle(cr, 13.5, 13.5, kEditorWidth - 27, kEditorHeight - 27);
    cairo_stroke(cr);

    const double cx = kEditorWidth / 2.0;
    DrawText(cr, "VT4R", cx, 62, 34, Weight::Bold, Align::Centre, kCream, 4.0);
    DrawText(cr, "STEREO COMPRESSOR", cx, 80, 8.5, Weight::Bold, Align::Centre, kAmber, 2.0);
    DrawText(cr, "by Marsolind  \xC2\xB7  version 1.1.2", cx, 98, 9.5, Weight::Normal, Align::Centre, kMuted);

    cairo_set_line_width(cr, 1.0);
    SetColour(cr, {kAmber.r, kAmber.g, kAmber.b, 0.5});
    cairo_move_to(cr, 40, 112.5);
    cairo_line_to(cr, kEditorWidth - 40, 112.5);
    cairo_stroke(cr);

    struct Entry {
        const char* title;
        const char* text;
    };
    const std::vector<Entry> entries = {
        {"Input", "Drives the compressor and the saturation stage. Turn it up for more gain reduction and "
                  "a denser, warmer tone."},
        {"Output", "Make-up gain after the compressor, \xE2\x88\x92"
                   "20\xC2\xA0to\xC2\xA0+20\xC2\xA0"
                   "dB."},
        {"Relaxed Mode",
         "A softer character: a slower, smoother release, far lighter saturation and no hiss."},
        {"Meter", "Gain reduction, 0 to 20 dB."},
    };
    const double left = 30, width = kEditorWidth - 60;
    double y = 136;
    for (const Entry& e : entries) {
        DrawText(cr, e.title, left, y, 10.5, Weight::Bold, Align::Left, kAmber, 0.5);
        y = DrawParagraph(cr, e.text, left, y + 15, width, 9.5, 13.0, kCream) + 7;
    }
    DrawParagraph(cr, "Drag a knob up or down (Shift or Ctrl for fine steps); click a value to type one.",
                  left, y + 4, width, 8.5, 12.0, kMuted);
    DrawText(cr, "Click anywhere to close", cx, kEditorHeight - 26, 9, Weight::Bold, Align::Centre,
             {kCream.r, kCream.g, kCream.b, 0.65}, 1.0);
    return WriteRgbaPng(canvas.surface(), dir + "/Overlay.png");
}

} // namespace art
