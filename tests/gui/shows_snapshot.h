#pragma once
// Whether an editor on the test X server looks as the headless snapshot draws it.
#include <gtest/gtest.h>

#include "snapshot.h"
#include "app_driver.h"

namespace gui {

// Whether the screen at `where()` equals the headless drawing for `options` within `seconds`.
// `where` is asked before every look, so a host can pump its events or a window move meanwhile.
// When it does not, both images are kept as keepAs-expected.png and keepAs-screen.png (not for
// a glance with no time to wait, which expects to miss).
template <typename Where>
bool showsSnapshot(const SnapshotOptions& options, Where where, double seconds, const std::string& keepAs) {
    RgbImage expected;
    std::string error;
    if (!RenderSnapshot(options, expected, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    const bool same = eventually(
        [&] {
            auto shot = screenshot(where());
            return shot && shot->rgb == expected.rgb;
        },
        seconds);
    if (!same && seconds > 0) {
        WritePngRgb(keepAs + "-expected.png", expected, error);
        screenshot(where(), keepAs + "-screen.png");
    }
    return same;
}

} // namespace gui
