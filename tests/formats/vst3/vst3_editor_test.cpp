// The VST3 editor in a host's window, as our host attaches it: on screen it is the
// headless snapshot of the same state, and follows the host's changes; a drag on the
// Input knob reaches the host as one gesture (beginEdit, performEdit..., endEdit); the
// needle follows the Gain Reduction the processor reports for a loud signal. Runs under
// scripts/with-xvfb.sh; skips without a display.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "snapshot.h"
#include "vst3_test_host.h"

using namespace vst3host;

namespace {

constexpr int kWidth = 288;
constexpr int kHeight = 392;

// The editor's window inside the host's: its only child.
::Window EditorWindow(::Display* display, ::Window parent) {
    ::Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    const ::Window found = count == 1 ? children[0] : 0;
    if (children != nullptr)
        XFree(children);
    return found;
}

std::vector<std::uint8_t> Screenshot(::Display* display, ::Window window) {
    XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    std::vector<std::uint8_t> rgb;
    rgb.reserve(3 * kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            rgb.push_back(static_cast<std::uint8_t>((p & image->red_mask) >> 16));
            rgb.push_back(static_cast<std::uint8_t>((p & image->green_mask) >> 8));
            rgb.push_back(static_cast<std::uint8_t>(p & image->blue_mask));
        }
    XDestroyImage(image);
    return rgb;
}

int Differences(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int x0, int y0, int x1,
                int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const std::size_t i = 3 * (static_cast<std::size_t>(y) * kWidth + x);
            n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        }
    return n;
}

struct Vst3Editor : ::testing::Test {
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr || (display = XOpenDisplay(nullptr)) == nullptr)
            GTEST_SKIP() << "needs an X display (run under scripts/with-xvfb.sh)";
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 40, kWidth, kHeight, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
    }
    void TearDown() override {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    // The editor as the headless snapshot draws it in this state.
    std::vector<std::uint8_t> Expected(double input, double output, bool relaxed, double meter = 0.0) {
        SnapshotOptions options;
        options.inputDb = input;
        options.outputDb = output;
        options.relaxed = relaxed;
        options.meter = meter;
        RgbImage image;
        std::string error;
        EXPECT_TRUE(RenderSnapshot(options, image, error)) << error;
        return image.rgb;
    }
    bool Shows(Frame& frame, ::Window editor, const std::vector<std::uint8_t>& expected) {
        return frame.PumpUntil([&] { return Screenshot(display, editor) == expected; }, 5.0);
    }
    // Pointer events as the X server delivers them to the editor's window.
    void Send(::Window editor, int type, int x, int y, unsigned state) {
        XEvent event{};
        XButtonEvent& b = event.xbutton;
        b.type = type;
        b.display = display;
        b.window = editor;
        b.root = DefaultRootWindow(display);
        b.time = time += 50;
        b.x = x;
        b.y = y;
        b.x_root = 40 + x;
        b.y_root = 40 + y;
        b.state = state;
        b.button = Button1;
        b.same_screen = True;
        const long mask = type == ButtonPress ? ButtonPressMask : type == ButtonRelease ? ButtonReleaseMask
                                                                                        : PointerMotionMask;
        XSendEvent(display, editor, False, mask, &event);
        XSync(display, False);
    }
    ::Display* display = nullptr;
    ::Window parent = 0;
    unsigned long time = 1000;
};

} // namespace

TEST_F(Vst3Editor, ShowsTheStateTakesADragAsOneGestureAndFollowsTheNeedle) {
    Plugin host(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(host.Ok()) << host.error;
    host.Set(0, host.Normalized(0, 3.5));
    host.Set(2, 1.0);
    IPlugView* view = host.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->canResize(), kResultFalse);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), kWidth);
    EXPECT_EQ(size.getHeight(), kHeight);
    Frame frame;
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)),
                             kPlatformTypeX11EmbedWindowID),
              kResultOk);
    EXPECT_EQ(frame.timers.size(), 1u);
    EXPECT_EQ(frame.fds.size(), 1u);
    const ::Window editor = EditorWindow(display, parent);
    ASSERT_NE(editor, 0u);

    // The state it was opened in, then a change from the host.
    EXPECT_TRUE(Shows(frame, editor, Expected(3.5, 0, true)));
    host.controller->setParamNormalized(1, host.Normalized(1, -7.25));
    EXPECT_TRUE(Shows(frame, editor, Expected(3.5, -7.25, true)));

    // Input up 155 pixels from 3.5 dB: one gesture, ending where the controller now is.
    Send(editor, ButtonPress, 79, 245, 0);
    for (int step = 1; step <= 31; ++step) {
        Send(editor, MotionNotify, 79, 245 - 5 * step, Button1Mask);
        frame.PumpOnce(1);
    }
    Send(editor, ButtonRelease, 79, 90, Button1Mask);
    frame.Pump(0.2);
    const std::vector<Edit>& edits = host.handler.edits;
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front().kind, 'b');
    EXPECT_EQ(edits.back().kind, 'e');
    for (std::size_t i = 1; i + 1 < edits.size(); ++i)
        EXPECT_EQ(edits[i].kind, 'p') << i;
    for (const Edit& e : edits)
        EXPECT_EQ(e.id, 0u);
    const ParamValue last = edits[edits.size() - 2].value;
    EXPECT_NEAR(host.controller->normalizedParamToPlain(0, last), 13.5, 0.5);
    EXPECT_EQ(host.controller->getParamNormalized(0), last);
    // The processor has the drag before any block (the host's handler kept the edits): a
    // save stores it.
    MemoryStream saved(host.SaveComponent());
    Plugin reloaded(VT4R_VST3_BUNDLE);
    ASSERT_EQ(reloaded.controller->setComponentState(&saved), kResultOk);
    EXPECT_EQ(reloaded.controller->getParamNormalized(0), last);

    // A loud signal: the processor's Gain Reduction, forwarded by the host, moves the needle.
    const std::vector<std::uint8_t> still = Screenshot(display, editor);
    ASSERT_TRUE(host.Activate(48000, 512, kSample32));
    long position = 0;
    for (int b = 0; b < 100; ++b) {
        for (int i = 0; i < 512; ++i, ++position)
            host.buffers32[0][i] = host.buffers32[1][i] = static_cast<float>(0.9 * std::sin(position * 0.05));
        ASSERT_EQ(host.Process(512), kResultOk);
        host.ForwardOutputs();
    }
    EXPECT_GT(host.controller->getParamNormalized(4), 0.1);
    EXPECT_TRUE(frame.PumpUntil([&] { return Differences(Screenshot(display, editor), still, 20, 60, 270, 165) > 50; },
                                5.0))
        << "the needle did not move";

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_TRUE(frame.timers.empty());
    EXPECT_TRUE(frame.fds.empty());
    EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, AtTheHostsContentScaleOfTwoItIsTwiceAsLargeAndADragTurnsTheKnobAsFar) {
    Plugin host(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(host.Ok()) << host.error;
    IPlugView* view = host.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    IPlugViewContentScaleSupport* scaling = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport_iid, reinterpret_cast<void**>(&scaling)), kResultOk);
    EXPECT_EQ(scaling->setContentScaleFactor(2.0f), kResultOk);
    scaling->release();
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 576);
    EXPECT_EQ(size.getHeight(), 784);
    XResizeWindow(display, parent, 576, 784);
    XSync(display, False);
    Frame frame;
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)),
                             kPlatformTypeX11EmbedWindowID),
              kResultOk);
    const ::Window editor = EditorWindow(display, parent);
    ASSERT_NE(editor, 0u);
    XWindowAttributes placed{};
    ASSERT_TRUE(XGetWindowAttributes(display, editor, &placed));
    EXPECT_EQ(placed.width, 576);
    EXPECT_EQ(placed.height, 784);

    // Up 62 window pixels: 31 editor pixels, +2 dB as at 100 %, in one gesture.
    frame.Pump(0.2);
    Send(editor, ButtonPress, 2 * 79, 2 * 245, 0);
    Send(editor, MotionNotify, 2 * 79, 2 * 245 - 62, Button1Mask);
    frame.PumpOnce(1);
    Send(editor, ButtonRelease, 2 * 79, 2 * 245 - 62, Button1Mask);
    frame.Pump(0.2);
    const std::vector<Edit>& edits = host.handler.edits;
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front().kind, 'b');
    EXPECT_EQ(edits.back().kind, 'e');
    EXPECT_NEAR(host.controller->normalizedParamToPlain(0, host.controller->getParamNormalized(0)), 2.0, 1e-6);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(view->release(), 0u);
}
