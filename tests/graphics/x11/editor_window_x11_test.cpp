// The VT4R editor on the X11 window layer, inside a plain top-level window that stands
// in for a host's: pixels on screen, mouse, the value box fed with keys the way hosts
// forward them (XSendEvent to the editor's window), and the window's end.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/headless_view.h"
#include "graphics/view_factory.h"
#include "graphics/x11/editor_window.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"
#include "tests/graphics/headless_reference.h"
#include "tests/graphics/x11_screen.h"

namespace {

constexpr int kHostX = 40;
constexpr int kHostY = 40;

struct X11EditorTest : ::testing::Test {
    Display* host = nullptr; // the "host's" own connection
    Window parent = 0;
    std::unique_ptr<IEffectStandalone> plugin;
    IX11EditorWindow* view = nullptr;
    unsigned long time = 1000;

    void SetUp() override {
        if (!std::getenv("DISPLAY") || !(host = XOpenDisplay(nullptr)))
            GTEST_SKIP() << "needs an X display (run under scripts/with-xvfb.sh)";
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), kHostX, kHostY, kEditorWidth,
                                     kEditorHeight, 0, 0, 0);
        XMapWindow(host, parent);
        XSync(host, False);
        SetEditorViewFactory(&CreateX11EditorWindowView);
        plugin = CreatePlugin(IHostRecord{});
        SetEditorViewFactory(nullptr);
        ASSERT_NE(plugin, nullptr);
        view = dynamic_cast<IX11EditorWindow*>(plugin->Editor());
        ASSERT_NE(view, nullptr);
        view->PushParameterValue(kMeterParamIdx, 0.0, true); // as the first audio block does
        ASSERT_NE(view->OpenEditorWindow(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))),
                  nullptr);
        Pump(0.3);
    }
    void TearDown() override {
        plugin.reset(); // closes the editor's window and connection
        if (host)
            XCloseDisplay(host);
    }

    template <typename Done> bool PumpUntil(Done done, double seconds = 3.0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            view->Idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void Pump(double seconds) {
        PumpUntil([] { return false; }, seconds);
    }

    // Events sent to the editor's window, as suil's wrapper forwards them. Key, button
    // and motion events share their layout up to the button (keycode, hint).
    void Send(int type, int x, int y, unsigned int detail, unsigned int state) {
        XEvent event{};
        XButtonEvent& b = event.xbutton;
        b.type = type;
        b.display = host;
        b.window = view->WindowId();
        b.root = DefaultRootWindow(host);
        b.time = time += 50;
        b.x = x;
        b.y = y;
        b.x_root = kHostX + x;
        b.y_root = kHostY + y;
        b.state = state;
        b.button = detail;
        b.same_screen = True;
        const long mask = type == ButtonPress     ? ButtonPressMask
                          : type == ButtonRelease ? ButtonReleaseMask
                          : type == KeyPress      ? KeyPressMask
                                                  : PointerMotionMask;
        XSendEvent(host, view->WindowId(), False, mask, &event);
        XSync(host, False);
        Pump(0.02);
    }
    void Mouse(int type, int x, int y, int button, unsigned int state) {
        Send(type, x, y, static_cast<unsigned int>(button), state);
    }
    void Click(int x, int y, int button) {
        Mouse(ButtonPress, x, y, button, 0);
        Mouse(ButtonRelease, x, y, button, Button1Mask << (button - 1));
    }
    void Key(KeySym keysym) { Send(KeyPress, 0, 0, XKeysymToKeycode(host, keysym), 0); }

    double Decibels(int param) { return plugin->Param(param)->Value(); }
    IBounds RectOf(int control) { return view->Control(control)->Rect(); }
};

TEST_F(X11EditorTest, TheWindowShowsWhatTheHeadlessEditorPaints) {
    Window root = 0;
    Window parentOf = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(host, view->WindowId(), &root, &parentOf, &children, &count));
    XFree(children);
    EXPECT_EQ(parentOf, parent);
    XWindowAttributes placed{};
    ASSERT_TRUE(XGetWindowAttributes(host, view->WindowId(), &placed));
    EXPECT_EQ(placed.x, 0);
    EXPECT_EQ(placed.y, 0);
    EXPECT_EQ(placed.width, kEditorWidth);
    EXPECT_EQ(placed.height, kEditorHeight);
    EXPECT_EQ(placed.map_state, IsViewable);

    // The same editor painted without a window, pixel for pixel.
    std::unique_ptr<IEffectStandalone> reference = CreatePlugin(IHostRecord{});
    auto* headless = dynamic_cast<IHeadlessEditorView*>(reference->Editor());
    ASSERT_NE(headless, nullptr);
    headless->PushParameterValue(kMeterParamIdx, 0.0, true);
    headless->PaintAll();

    XImage* shown = XGetImage(host, view->WindowId(), 0, 0, kEditorWidth, kEditorHeight, AllPlanes, ZPixmap);
    ASSERT_NE(shown, nullptr);
    int mismatches = 0;
    for (int y = 0; y < kEditorHeight; ++y) {
        for (int x = 0; x < kEditorWidth; ++x) {
            const RasterPixel expected = headless->BackBuffer()->Row(y)[x];
            mismatches += view->BackBuffer()->Row(y)[x] != expected;
            const unsigned long pixel = XGetPixel(shown, x, y);
            const RasterPixel rgb =
                static_cast<RasterPixel>(((pixel & shown->red_mask) >> 16 << 16) |
                                         (pixel & shown->green_mask) | (pixel & shown->blue_mask));
            mismatches += rgb != (expected & 0xFFFFFF);
        }
    }
    XDestroyImage(shown);
    EXPECT_EQ(mismatches, 0);

    // Uncovered by the server: painted again, the same.
    XClearArea(host, view->WindowId(), 10, 20, 30, 40, True);
    XSync(host, False);
    Pump(0.1);
    shown = XGetImage(host, view->WindowId(), 10, 20, 30, 40, AllPlanes, ZPixmap);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(XGetPixel(shown, 5, 5) & 0xFFFFFF, view->BackBuffer()->Row(25)[15] & 0xFFFFFF);
    XDestroyImage(shown);
}

TEST_F(X11EditorTest, DragsDoubleClicksAndTheWheelTurnTheInputKnob) {
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = (knob.left + knob.right) / 2;
    const int y = knob.top + 60;
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
    Mouse(ButtonPress, x, y, 1, 0);
    Mouse(MotionNotify, x, y - 31, 0, Button1Mask); // 31 of 620 pixels for the whole range
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);
    Mouse(ButtonRelease, x, y - 31, 1, Button1Mask);
    Mouse(MotionNotify, x, y - 100, 0, Button1Mask); // no longer held: not dragged
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    Click(x, y, 4); // the wheel, one notch away from the user
    EXPECT_NEAR(Decibels(kInputParam), 2.4, 1e-9);
    Click(x, y, 5);
    Click(x, y, 5);
    EXPECT_NEAR(Decibels(kInputParam), 1.6, 1e-9);

    time += 1000; // the second press of a double click restores the default
    Click(x, y, 1);
    Click(x + 3, y - 3, 1);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);

    // Real pointer events: the press's implicit grab brings the moves and the release
    // below the editor's window to the knob.
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool not installed";
    int steps = 1;
    while (y + 31 * steps < kEditorHeight + 10)
        ++steps;
    const std::string command =
        "xdotool mousemove " + std::to_string(kHostX + x) + " " + std::to_string(kHostY + y) +
        " sleep 0.1 mousedown 1 sleep 0.1 mousemove_relative -- 0 " + std::to_string(31 * steps);
    ASSERT_EQ(std::system(command.c_str()), 0);
    Pump(0.3);
    EXPECT_NEAR(Decibels(kInputParam), -2.0 * steps, 1e-9)
        << steps << " steps of 31 pixels, before the release";
    ASSERT_EQ(std::system("xdotool mouseup 1"), 0);
    Pump(0.1);
    EXPECT_EQ(view->MouseCapture(), -1);
}

TEST_F(X11EditorTest, ForwardedKeysTypeAValueIntoTheValueBox) {
    const IBounds knob = RectOf(kInputKnobControl);
    const int textX = (knob.left + knob.right) / 2;
    const int textY = knob.bottom - 10; // the value's text under the knob
    Click(textX, textY, 3);
    ASSERT_NE(view->TextBoxId(), 0u);
    EXPECT_EQ(view->TextBoxText(), "0.0");
    ASSERT_TRUE(PumpUntil([&] { return view->TextBoxStateNow() == IX11EditorWindow::TextBoxFocused; }));
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(host, &focus, &revert);
    EXPECT_EQ(focus, view->TextBoxId());

    // While a value is typed the editor stands still.
    view->PushParameterValue(kMeterParamIdx, 0.9, true);
    for (const KeySym k : {XK_minus, XK_7, XK_x, XK_period, XK_5}) // the letter is no number's
        Key(k);
    EXPECT_EQ(view->TextBoxText(), "-7.5");
    EXPECT_TRUE(view->Control(kNeedleControl)->NeedsRedraw());
    Key(XK_Return);
    ASSERT_TRUE(PumpUntil([&] { return view->TextBoxId() == 0; }));
    EXPECT_NEAR(Decibels(kInputParam), -7.5, 1e-9);
    Pump(0.1);
    EXPECT_FALSE(view->Control(kNeedleControl)->NeedsRedraw());

    // A click elsewhere cancels, the next tick removes the box, the keys come back.
    Click(textX, textY, 3);
    ASSERT_TRUE(PumpUntil([&] { return view->TextBoxStateNow() == IX11EditorWindow::TextBoxFocused; }));
    Key(XK_1);
    Click(200, 40, 1);
    ASSERT_TRUE(PumpUntil([&] { return view->TextBoxId() == 0; }));
    EXPECT_NEAR(Decibels(kInputParam), -7.5, 1e-9);
    XGetInputFocus(host, &focus, &revert);
    EXPECT_EQ(focus, view->WindowId());
}

TEST_F(X11EditorTest, TheWindowEndsWithItsParentOrWhenClosed) {
    view->CloseEditorWindow();
    EXPECT_EQ(view->WindowHandle(), nullptr);
    EXPECT_EQ(view->Idle(), 1);
    const void* again = view->OpenEditorWindow(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(view->Idle(), 0);

    // Destroyed by the host, with a value box open: answered once the news arrives.
    const IBounds knob = RectOf(kInputKnobControl);
    Click((knob.left + knob.right) / 2, knob.bottom - 10, 3);
    ASSERT_NE(view->TextBoxId(), 0u);
    XDestroyWindow(host, parent);
    XSync(host, False);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (view->Idle() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(view->Idle(), 1);
    EXPECT_EQ(view->WindowHandle(), nullptr);
    EXPECT_EQ(view->TextBoxId(), 0u);
    view->TimerTick();

    // A parent that is gone, or no display at all: no window, no crash.
    EXPECT_EQ(view->OpenEditorWindow(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))), nullptr);
    const std::string display = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    EXPECT_EQ(view->OpenEditorWindow(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))), nullptr);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(view->Idle(), 1);
}

TEST_F(X11EditorTest, AtTwiceTheSizeTheWindowShowsTheScaledEditorAndTakesScaledPositions) {
    // The host makes room, then the plug-in scales its open editor.
    XResizeWindow(host, parent, 2 * kEditorWidth, 2 * kEditorHeight);
    XSync(host, False);
    view->SetWindowScale(2.0);
    Pump(0.3);
    XWindowAttributes placed{};
    ASSERT_TRUE(XGetWindowAttributes(host, view->WindowId(), &placed));
    EXPECT_EQ(placed.width, 576);
    EXPECT_EQ(placed.height, 784);

    const HeadlessReference reference(2.0);
    const IHeadlessEditorView* headless = reference.view;
    ASSERT_NE(headless, nullptr);
    EXPECT_EQ(WindowMismatches(host, view->WindowId(), *headless->BackBuffer()), 0);

    // 62 window pixels are 31 editor pixels: the knob turns as far as at 100 %.
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = knob.left + knob.right;
    const int y = 2 * (knob.top + 60);
    Mouse(ButtonPress, x, y, 1, 0);
    Mouse(MotionNotify, x, y - 62, 0, Button1Mask);
    Mouse(ButtonRelease, x, y - 62, 1, Button1Mask);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    // The value box covers the value where the window shows it.
    Click(x, 2 * knob.bottom - 20, 3);
    ASSERT_NE(view->TextBoxId(), 0u);
    ASSERT_TRUE(XGetWindowAttributes(host, view->TextBoxId(), &placed));
    EXPECT_EQ(placed.x, 2 * knob.left);
    EXPECT_EQ(placed.y, 2 * knob.bottom - 40);
    EXPECT_EQ(placed.width, 2 * (knob.right - knob.left) + 1);
}

} // namespace
