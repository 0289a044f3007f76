// VT4R.clap's editor in a window of our CLAP host on the test X server: it draws the
// headless snapshot of the values the host set and of a loaded state; a knob dragged
// with the mouse reaches the host as a gesture (through flush when nothing processes,
// through process() otherwise); the needle follows a loud signal; destroying the gui
// leaves the host's window empty. Run under scripts/with-xvfb.sh; skips without X.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cmath>
#include <thread>

#include "clap_test_host.h"
#include "tests/gui/shows_snapshot.h"

namespace {

namespace fs = std::filesystem;
using clap_test::Host;
using clap_test::InputEvents;
using clap_test::Library;
using clap_test::OutEvent;
using clap_test::OutputEvents;

// The host's side: its window, its main loop (timers, flushes) and, when asked, blocks
// of audio on the same thread.
struct Rig {
    Rig() : host(library) {}

    // Runs the main loop for a while: the plug-in's timer, a flush when it asks for one
    // (`processing` false), or a block of `level` sine per tick (`processing` true).
    void Pump(double seconds, bool processing = false, double level = 0.0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            host.RunTimers();
            if (processing) {
                for (std::uint32_t i = 0; i < 512; ++i, ++position)
                    in[0][i] = in[1][i] = level * std::sin(2 * M_PI * 220 * position / 48000.0);
                host.Process(in.data, out.data, 512, events, sent);
                events.Clear();
            } else if (host.flushRequests > 0) {
                host.Flush(events, sent);
                events.Clear();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < end);
    }

    Library library{VT4R_CLAP_PLUGIN};
    Host host;
    InputEvents events;
    OutputEvents sent;
    clap_test::Stereo<float> in{512}, out{512};
    long position = 0;
};

// The screen equals the headless drawing of these values (the pump runs between tries).
bool LooksLike(Rig& rig, const gui::Geometry& area, const SnapshotOptions& options, const std::string& keepAs) {
    const auto where = [&] {
        rig.Pump(0.05);
        return area;
    };
    return gui::showsSnapshot(options, where, 10, keepAs);
}

// Drags the Input knob vertically by `pixels` (up when negative), pumping between moves.
void DragInput(Rig& rig, const gui::Geometry& editor, int pixels, bool processing) {
    const std::string knob = std::to_string(editor.x + 79) + " " + std::to_string(editor.y + 245);
    ASSERT_TRUE(gui::sh("xdotool mousemove " + knob + " mousedown 1 2>/dev/null"));
    rig.Pump(0.05, processing);
    const int step = pixels < 0 ? -5 : 5;
    for (int moved = 0; moved != pixels; moved += step) {
        gui::sh("xdotool mousemove_relative -- 0 " + std::to_string(step) + " 2>/dev/null");
        rig.Pump(0.02, processing);
    }
    ASSERT_TRUE(gui::sh("xdotool mouseup 1 2>/dev/null"));
    rig.Pump(0.5, processing);
}

// The edits the host received: one gesture on Input, values inside it. Answers the last value.
double OneGestureOnInput(std::vector<OutEvent>& events) {
    EXPECT_GE(events.size(), 3u);
    if (events.size() < 3)
        return NAN;
    EXPECT_EQ(events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    double last = NAN;
    for (const OutEvent& e : events) {
        EXPECT_EQ(e.param, 0u);
        if (e.type == CLAP_EVENT_PARAM_VALUE)
            last = e.value;
    }
    for (std::size_t i = 1; i + 1 < events.size(); ++i)
        EXPECT_EQ(events[i].type, CLAP_EVENT_PARAM_VALUE) << i;
    events.clear();
    return last;
}

} // namespace

TEST(ClapEditor, InAHostWindowItDrawsTheHostsValuesSendsGesturesAndMovesTheNeedle) {
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs the X test server (scripts/with-xvfb.sh)";
    Rig rig;
    Host& host = rig.host;
    ASSERT_NE(host.Plugin(), nullptr) << rig.library.Error();
    const clap_plugin_t* plugin = host.Plugin();
    ASSERT_NE(host.gui, nullptr);
    ASSERT_NE(host.timer, nullptr);
    EXPECT_TRUE(host.gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(host.gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, true)) << "embedded only";
    EXPECT_FALSE(host.gui->create(plugin, CLAP_WINDOW_API_WAYLAND, false));
    ASSERT_TRUE(host.gui->create(plugin, CLAP_WINDOW_API_X11, false));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(host.gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width, 288u);
    EXPECT_EQ(height, 392u);
    EXPECT_FALSE(host.gui->can_resize(plugin));

    gui::Display x;
    ::Display* display = x.get();
    ASSERT_NE(display, nullptr);
    const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 80, width, height, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    clap_window_t parent{};
    parent.api = CLAP_WINDOW_API_X11;
    parent.x11 = window;
    ASSERT_TRUE(host.gui->set_parent(plugin, &parent));
    ASSERT_TRUE(host.gui->show(plugin));
    ASSERT_EQ(host.timers.size(), 1u);
    EXPECT_GE(host.timers[0].period, 15u);
    EXPECT_LE(host.timers[0].period, 40u);
    int ax = 0, ay = 0;
    ::Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &ax, &ay, &child);
    const gui::Geometry editor{ax, ay, 288, 392};
    const std::string keep = (fs::temp_directory_path() / ("vt4r-clap-ui-" + std::to_string(getpid()))).string();

    // Values the host flushes show as the headless drawing draws them. (Nothing has
    // processed yet: the needle rests at 0, as in the drawing.)
    rig.events.Add(0, 6.5);
    rig.events.Add(1, -3.0);
    rig.events.Add(2, 1.0);
    host.Flush(rig.events, rig.sent);
    rig.events.Clear();
    EXPECT_TRUE(LooksLike(rig, editor, {"", 6.5, -3.0, true, 0.0, false}, keep + "-values"));

    // A state loaded while the editor is open, likewise.
    {
        Host other(rig.library);
        InputEvents values;
        OutputEvents none;
        values.Add(0, -12.0);
        values.Add(1, 9.0);
        values.Add(2, 0.0);
        other.Flush(values, none);
        ASSERT_TRUE(host.Load(other.Save()));
    }
    EXPECT_EQ(host.rescans, 1);
    EXPECT_TRUE(LooksLike(rig, editor, {"", -12.0, 9.0, false, 0.0, false}, keep + "-state"));

    // Dragging Input up 155 pixels (+10 dB), nothing processing: the host hears of it
    // through its flush.
    rig.sent.Events().clear();
    host.flushRequests = 0;
    const int dirty = host.dirtyMarks;
    DragInput(rig, editor, -155, false);
    const double raised = OneGestureOnInput(rig.sent.Events());
    EXPECT_NEAR(raised, -2.0, 0.5);
    EXPECT_EQ(host.Value(0), raised) << "the host's view follows the editor";
    EXPECT_GT(host.dirtyMarks, dirty);

    // Down 50 pixels while processing: the gesture comes out of process().
    ASSERT_TRUE(host.Activate(48000, 512, 512));
    DragInput(rig, editor, 50, true);
    const double lowered = OneGestureOnInput(rig.sent.Events());
    EXPECT_LT(lowered, raised - 2.0);
    EXPECT_EQ(host.Value(0), lowered);

    // A loud sine moves the needle off its rest.
    RgbImage still;
    std::string error;
    ASSERT_TRUE(RenderSnapshot({"", lowered, 9.0, false, 0.0, false}, still, error)) << error;
    EXPECT_TRUE(gui::eventually(
        [&] {
            rig.Pump(0.1, true, 0.9);
            auto shot = gui::screenshot(editor);
            return shot && gui::countDifferences(*shot, gui::Shot{288, 392, still.rgb}, 20, 60, 270, 165) > 50;
        },
        10))
        << "the needle did not move";

    // Gone: the timer stopped, nothing left in the host's window.
    host.gui->destroy(plugin);
    EXPECT_TRUE(host.timers.empty());
    XSync(display, False);
    ::Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, window, &root, &up, &children, &count));
    if (children != nullptr)
        XFree(children);
    EXPECT_EQ(count, 0u);
    XDestroyWindow(display, window);
    XSync(display, False);
}

TEST(ClapEditor, AtTheHostsScaleOfTwoItIsDrawnTwiceAsLargeAndADragTurnsTheKnobAsFar) {
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "needs the X test server (scripts/with-xvfb.sh)";
    Rig rig;
    Host& host = rig.host;
    ASSERT_NE(host.Plugin(), nullptr) << rig.library.Error();
    const clap_plugin_t* plugin = host.Plugin();
    ASSERT_TRUE(host.gui->create(plugin, CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(host.gui->set_scale(plugin, 2.0));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(host.gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width, 576u);
    EXPECT_EQ(height, 784u);

    gui::Display x;
    ::Display* display = x.get();
    ASSERT_NE(display, nullptr);
    const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 80, width, height, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    clap_window_t parent{};
    parent.api = CLAP_WINDOW_API_X11;
    parent.x11 = window;
    ASSERT_TRUE(host.gui->set_parent(plugin, &parent));
    ASSERT_TRUE(host.gui->show(plugin));
    int ax = 0, ay = 0;
    ::Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &ax, &ay, &child);
    const gui::Geometry editor{ax, ay, 576, 784};
    const std::string keep = (fs::temp_directory_path() / ("vt4r-clap-ui-200-" + std::to_string(getpid()))).string();
    EXPECT_TRUE(LooksLike(rig, editor, {"", 0.0, 0.0, false, 0.0, false, 2.0}, keep));

    // Up 62 window pixels from the knob's place at 200 %: 31 editor pixels, +2 dB as at 100 %.
    rig.sent.Events().clear();
    const std::string knob = std::to_string(editor.x + 2 * 79) + " " + std::to_string(editor.y + 2 * 245);
    ASSERT_TRUE(gui::sh("xdotool mousemove " + knob + " mousedown 1 2>/dev/null"));
    rig.Pump(0.05);
    for (int moved = 0; moved > -62; moved -= 2) {
        gui::sh("xdotool mousemove_relative -- 0 -2 2>/dev/null");
        rig.Pump(0.01);
    }
    ASSERT_TRUE(gui::sh("xdotool mouseup 1 2>/dev/null"));
    rig.Pump(0.5);
    EXPECT_NEAR(OneGestureOnInput(rig.sent.Events()), 2.0, 1e-6);

    host.gui->destroy(plugin);
    XDestroyWindow(display, window);
    XSync(display, False);
}
