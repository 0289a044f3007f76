// The editor in a real LV2 host: jalv.gtk3 on the test X server and JACK server shows
// it as the headless snapshot draws it; the needle follows a loud sine; dragging the
// Input knob up a quarter of its travel reaches the plug-in through the host's control
// port (the output then plays at the level of Input +10 dB). Run under
// scripts/with-jack.sh scripts/with-xvfb.sh; skips without them.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "jalv_rig.h"
#include "tests/gui/shows_snapshot.h"

namespace {

using namespace lv2rig;

// The editor's window: the innermost mapped window of the editor's size.
std::optional<gui::Geometry> FindEditor(::Display* display, ::Window window, int depth = 0) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return std::nullopt;
    std::optional<gui::Geometry> found;
    for (unsigned i = 0; i < count && depth < 12; ++i)
        if (auto inner = FindEditor(display, children[i], depth + 1))
            found = inner;
    if (children != nullptr)
        XFree(children);
    if (found)
        return found;
    XWindowAttributes a;
    if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable && a.width == 288 &&
        a.height == 392) {
        int x = 0, y = 0;
        ::Window child = 0;
        XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
        return gui::Geometry{x, y, 288, 392};
    }
    return std::nullopt;
}

// The editor once it lies wholly on the screen: while GTK is still settling the
// host's window around it, it first sits a pixel off the edge and a pixel higher.
std::optional<gui::Geometry> FindEditorOnScreen(::Display* display) {
    const auto found = FindEditor(display, DefaultRootWindow(display));
    const int screen = DefaultScreen(display);
    if (!found || found->x < 0 || found->y < 0 || found->x + found->width > DisplayWidth(display, screen) ||
        found->y + found->height > DisplayHeight(display, screen))
        return std::nullopt;
    return found;
}

// Looks for the editor again on every try, so a window that moves while the
// host lays itself out is still compared where it ends up.
bool LooksLike(::Display* display, std::optional<gui::Geometry>& area, const SnapshotOptions& options,
               const std::string& keepAs) {
    const auto where = [&] {
        if (auto now = FindEditorOnScreen(display))
            area = now;
        return *area;
    };
    return gui::showsSnapshot(options, where, 30, keepAs);
}

} // namespace

TEST(Lv2Ui, TheEditorInJalvDrawsFollowsTheNeedleAndMovesTheHostsControl) {
    if (std::getenv("JACK_DEFAULT_SERVER") == nullptr || std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs the JACK and X test servers";
    const fs::path bundle = VT4R_LV2_BUNDLE;
    setenv("LV2_PATH", bundle.parent_path().c_str(), 1);
    // No accessibility bridge: on a machine without a session bus GTK can
    // stall on it for half a minute before the host serves its UI.
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GTK_A11Y", "none", 1);
    const fs::path dir = fs::temp_directory_path() / ("vt4r-lv2-ui-" + std::to_string(getpid()));
    fs::create_directories(dir);

    JalvProbe probe("vt4r-ui");
    ASSERT_TRUE(probe.Ok());
    Jalv host("vt4r-ui", {}, dir / "jalv.out", "jalv.gtk3");
    gui::Display x;
    std::optional<gui::Geometry> editor;
    ASSERT_TRUE(gui::eventually([&] { return (editor = FindEditorOnScreen(x.get())).has_value(); }, 20))
        << "no editor window appeared";

    // At rest, before any sound: exactly the headless drawing.
    EXPECT_TRUE(LooksLike(x.get(), editor, SnapshotOptions{}, (dir / "rest").string()))
        << "editor at " << editor->x << "," << editor->y << "; screenshots in " << dir;

    // The loud sine moves the needle.
    ASSERT_TRUE(probe.Connect());
    RgbImage rest;
    std::string error;
    ASSERT_TRUE(RenderSnapshot(SnapshotOptions{}, rest, error)) << error;
    EXPECT_TRUE(gui::eventually(
        [&] {
            auto shot = gui::screenshot(*editor);
            if (!shot)
                return false;
            gui::Shot still{288, 392, rest.rgb};
            return gui::countDifferences(*shot, still, 20, 60, 270, 165) > 50;
        },
        20))
        << "the needle did not move";

    // Input up 155 pixels: +10 dB, as in the standalone.
    const std::string knob = std::to_string(editor->x + 79) + " " + std::to_string(editor->y + 245);
    ASSERT_TRUE(gui::sh("xdotool mousemove " + knob + " mousedown 1 2>/dev/null"));
    for (int step = 1; step <= 31; ++step)
        gui::sh("xdotool mousemove_relative -- 0 -5 2>/dev/null");
    ASSERT_TRUE(gui::sh("xdotool mouseup 1 2>/dev/null"));
    const std::size_t changed = probe.Position();
    while (probe.Position() < changed + 3 * probe.Rate())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double peak = probe.Peak(0, 0.5);
    const Expected louder = Simulate(bundle.string(), probe.Rate(), probe.Block(), 10.0, 0.0, 3.0);
    const Expected plain = Simulate(bundle.string(), probe.Rate(), probe.Block(), 0.0, 0.0, 3.0);
    EXPECT_NEAR(peak, louder.peak, 0.03 * louder.peak) << "at Input 0 it would be " << plain.peak;
    EXPECT_GT(std::fabs(louder.peak - plain.peak), 0.1 * plain.peak);

    EXPECT_EQ(host.Quit(), 0);
    if (!::testing::Test::HasFailure())
        fs::remove_all(dir); // kept, with the screenshots, when something failed
}
