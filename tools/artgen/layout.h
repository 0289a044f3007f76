#pragma once

// Editor geometry the artwork has to line up with (editor pixels, right and bottom exclusive).

namespace art {

constexpr int kEditorWidth = 288;
constexpr int kEditorHeight = 392;

struct Rect {
    double left, top, right, bottom;
    double Width() const { return right - left; }
    double Height() const { return bottom - top; }
    double CentreX() const { return (left + right) * 0.5; }
    double CentreY() const { return (top + bottom) * 0.5; }
};

// The needle's image (16 x 45) slides with its left edge from x 20 (0 dB) to x 254 (20 dB and more).
constexpr int kNeedleWidth = 16;
constexpr int kNeedleHeight = 45;
constexpr double kNeedleTrackLeft = 20.0;
constexpr double kNeedleTravel = 234.0;
constexpr double kNeedleTop = 83.0;
// The needle's line is drawn centred on this column of its image.
constexpr double kNeedleLineX = 8.0;
constexpr double kMeterFullScaleDb = 20.0;

// Where the needle's line points for a gain reduction in dB (linear, clamped at full scale).
inline double MeterX(double db) {
    const double v = db < 0.0 ? 0.0 : (db > kMeterFullScaleDb ? 1.0 : db / kMeterFullScaleDb);
    return kNeedleTrackLeft + kNeedleLineX + kNeedleTravel * v;
}

// See-through window of the front panel over the needle's track (20..270 x 83..128), a little wider.
constexpr Rect kMeterWindow{14, 83, 274, 128};

// Windows behind the knobs' value texts, inside the text rectangles (12,303,147,323) and (141,303,276,323),
// centred on them and kept clear of the switch at x 116..172.
constexpr Rect kInputTextWindow{44, 304, 115, 322};
constexpr Rect kOutputTextWindow{173, 304, 244, 322};

// Knobs: 135 x 135 frames at (12,168) and (141,168).
constexpr int kKnobFrameSize = 135;
constexpr int kKnobFrames = 101;
constexpr double kInputKnobX = 12.0 + 67.5;
constexpr double kOutputKnobX = 141.0 + 67.5;
constexpr double kKnobY = 168.0 + 67.5;
// Pointer sweep: from -150 degrees (minimum) to +150 degrees (maximum), measured clockwise from straight up.
constexpr double kKnobSweepDegrees = 300.0;

// Switch: two 56 x 56 frames at (116,305).
constexpr int kToggleSize = 56;
constexpr double kToggleX = 116.0;
constexpr double kToggleY = 305.0;

// Clicking here shows the information screen.
constexpr Rect kLogoArea{80, 30, 212, 62};

} // namespace art
