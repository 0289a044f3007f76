// The LV2 editor at the host's ui:scaleFactor, else at the desktop's: the real UI binary,
// loaded as a host does, in a window of our own on the test X server.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "formats/lv2/ports.h"
#include "graphics/control.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"
#include "tests/graphics/headless_reference.h"
#include "tests/graphics/x11_screen.h"

namespace {

struct Host {
    std::vector<std::string> uris;
    int width = 0;
    int height = 0;
    std::vector<std::pair<std::uint32_t, float>> writes;
    // The UI keeps these for its life.
    LV2_URID_Map map{this, &Map};
    LV2UI_Resize resize{this, &Resize};

    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto* host = static_cast<Host*>(handle);
        for (std::size_t i = 0; i < host->uris.size(); ++i)
            if (host->uris[i] == uri)
                return static_cast<LV2_URID>(i + 1);
        host->uris.emplace_back(uri);
        return static_cast<LV2_URID>(host->uris.size());
    }
    static int Resize(LV2UI_Feature_Handle handle, int width, int height) {
        auto* host = static_cast<Host*>(handle);
        host->width = width;
        host->height = height;
        return 0;
    }
    static void Write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                      const void* buffer) {
        if (format == 0 && size == sizeof(float))
            static_cast<Host*>(controller)->writes.emplace_back(port, *static_cast<const float*>(buffer));
    }
};

// The UI opened in `parent` with the host's map, resize and `options`.
LV2UI_Handle OpenUi(const LV2UI_Descriptor* descriptor, Host& host, ::Window parent,
                    const LV2_Options_Option* options, LV2UI_Widget* widget) {
    LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))};
    LV2_Feature mapFeature{LV2_URID__map, &host.map};
    LV2_Feature resizeFeature{LV2_UI__resize, &host.resize};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&parentFeature, &mapFeature, &resizeFeature, &optionsFeature, nullptr};
    return descriptor->instantiate(descriptor, vt4r_lv2::kPluginUri, VT4R_LV2_BUNDLE, &Host::Write, &host, widget,
                                   features);
}

TEST(Lv2UiScale, TheHostsScaleFactorDrawsTheEditorAtTwiceTheSizeAndTakesScaledPositions) {
    Display* display = std::getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    if (!display)
        GTEST_SKIP() << "needs an X display (run under scripts/with-xvfb.sh)";
    void* library = dlopen(VT4R_LV2_BUNDLE "/vt4r_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto descriptorOf = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2UI_Descriptor* descriptor = descriptorOf(0);
    ASSERT_NE(descriptor, nullptr);

    const ::Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 40, 600, 800, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);

    Host host;
    const float scale = 2.0f;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, Host::Map(&host, LV2_UI__scaleFactor), sizeof scale,
         Host::Map(&host, LV2_ATOM__Float), &scale},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = OpenUi(descriptor, host, parent, options, &widget);
    ASSERT_NE(ui, nullptr);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    const auto pump = [&](double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            idle->idle(ui);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // The needle's first value, as the host's first port event.
    const float rest = 0.0f;
    descriptor->port_event(ui, vt4r_lv2::kNeedlePort, sizeof rest, 0, &rest);
    pump(0.4);

    EXPECT_EQ(host.width, 576);
    EXPECT_EQ(host.height, 784);
    const auto editor = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(widget));
    XWindowAttributes placed{};
    ASSERT_TRUE(XGetWindowAttributes(display, editor, &placed));
    EXPECT_EQ(placed.width, 576);
    EXPECT_EQ(placed.height, 784);

    const HeadlessReference reference(2.0);
    ASSERT_NE(reference.view, nullptr);
    EXPECT_EQ(WindowMismatches(display, editor, *reference.view->BackBuffer()), 0);

    // A drag of 62 window pixels, forwarded as hosts forward events: 2 dB, as 31 at 100 %.
    const IBounds knob = reference.view->Control(kInputKnobControl)->Rect();
    const int x = knob.left + knob.right;
    const int y = 2 * (knob.top + 60);
    const auto send = [&](int type, int at, unsigned int state) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = editor;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.time = 1000;
        event.xbutton.x = x;
        event.xbutton.y = at;
        event.xbutton.state = state;
        event.xbutton.button = type == MotionNotify ? 0 : Button1;
        event.xbutton.same_screen = True;
        const long mask = type == ButtonPress ? ButtonPressMask
                          : type == ButtonRelease ? ButtonReleaseMask
                                                  : PointerMotionMask;
        XSendEvent(display, editor, False, mask, &event);
        XSync(display, False);
        pump(0.05);
    };
    send(ButtonPress, y, 0);
    send(MotionNotify, y - 62, Button1Mask);
    send(ButtonRelease, y - 62, Button1Mask);
    ASSERT_FALSE(host.writes.empty());
    EXPECT_EQ(host.writes.back().first, vt4r_lv2::PortOfParameter(kInputParam));
    EXPECT_FLOAT_EQ(host.writes.back().second, 2.0f);

    descriptor->cleanup(ui);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
    dlclose(library);
}

TEST(Lv2UiScale, WithoutTheHostsScaleTheEditorFollowsTheDesktopsXftDpiUnlessGdkScaleSaysOtherwise) {
    Display* display = std::getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    if (!display)
        GTEST_SKIP() << "needs an X display (run under scripts/with-xvfb.sh)";
    void* library = dlopen(VT4R_LV2_BUNDLE "/vt4r_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto descriptorOf = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2UI_Descriptor* descriptor = descriptorOf(0);
    ASSERT_NE(descriptor, nullptr);
    const ::Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 40, 600, 800, 0, 0, 0);
    XMapWindow(display, parent);
    // Set after this test's connection opened: the UI must read the server's current value.
    const std::string resources = "Xcursor.size:\t24\nXft.dpi:\t192\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
    XSync(display, False);
    unsetenv("GDK_SCALE");

    // A host with options, none of them the scale.
    const LV2_Options_Option noScale[] = {{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const auto expectOpenedAt = [&](int width, int height) {
        Host host;
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle ui = OpenUi(descriptor, host, parent, noScale, &widget);
        ASSERT_NE(ui, nullptr);
        XWindowAttributes placed{};
        const auto editor = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(widget));
        ASSERT_TRUE(XGetWindowAttributes(display, editor, &placed));
        EXPECT_EQ(placed.width, width);
        EXPECT_EQ(placed.height, height);
        EXPECT_EQ(host.width, width);
        EXPECT_EQ(host.height, height);
        descriptor->cleanup(ui);
    };
    expectOpenedAt(576, 784);
    setenv("GDK_SCALE", "1", 1);
    expectOpenedAt(288, 392);

    // Later tests on this server start from a plain desktop (a failed check above returns
    // from the lambda only, so this still runs).
    unsetenv("GDK_SCALE");
    XDeleteProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
    dlclose(library);
}

} // namespace
