#pragma once
#include <cmath>

// The editor's drawing scale: device pixels per editor pixel. Layout, control bounds and
// mouse gearing stay in editor pixels; only drawing multiplies by the scale.
inline constexpr double kEditorScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

// The supported scale nearest to `scale` (the smaller one on a tie); anything below 1,
// NaN included, is 1 and anything above 3 is 3. Artwork exists for these steps only.
inline double ConformEditorScale(double scale) {
    if (!(scale > 1.0))
        return 1.0;
    double best = 1.0;
    for (double step : kEditorScales) {
        if (std::fabs(step - scale) < std::fabs(best - scale))
            best = step;
    }
    return best;
}

// Device pixels for an editor length or coordinate at `scale`.
inline int ToDevice(int editor, double scale) {
    return static_cast<int>(std::lround(editor * scale));
}
