// The Windows plug-ins' editors in host windows of our own test hosts, under Wine: each is
// a Win32 child window of the host's window, of a class registered with the plug-in DLL's
// module handle; on screen it is the headless snapshot of the host's values; a knob drag
// reaches the host as one gesture with values; editors of two instances and of both DLLs
// run at once and closing one leaves the others running; the class goes with the last
// editor (closed by the host or destroyed with the host's window), and a plug-in unloaded
// and loaded again opens its editor as before.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "clap_test_host.h"
#include "snapshot.h"
#include "vst3_test_host.h"

namespace {

constexpr int kWidth = 288;
constexpr int kHeight = 392;
constexpr wchar_t kEditorClass[] = L"IEffectWndClass";

// Serves the thread's messages for `seconds`, as a host's main loop does; `also` runs
// between rounds (a CLAP host's timers and flushes).
template <typename Also> void Pump(double seconds, Also also) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        also();
    } while (std::chrono::steady_clock::now() < end);
}
void Pump(double seconds) {
    Pump(seconds, [] {});
}

// A top-level window of the host, as large as the editor.
struct HostWindow {
    HostWindow() {
        static const bool registered = [] {
            WNDCLASSW c{};
            c.lpfnWndProc = DefWindowProcW;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"VT4RTestHost";
            c.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            return RegisterClassW(&c) != 0;
        }();
        EXPECT_TRUE(registered);
        // A framed window whose client area holds the editor, as a host's plug-in window.
        constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        RECT frame{0, 0, kWidth, kHeight};
        AdjustWindowRect(&frame, style, FALSE);
        static int count = 0;
        window = CreateWindowExW(0, L"VT4RTestHost", L"VT4R test host", style, 20 + 330 * (count++ % 2), 20,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        Pump(0.1);
    }
    ~HostWindow() {
        if (window != nullptr)
            DestroyWindow(window);
    }
    // The editor: the host window's only child.
    HWND Editor() const {
        const HWND child = window != nullptr ? GetWindow(window, GW_CHILD) : nullptr;
        return child != nullptr && GetWindow(child, GW_HWNDNEXT) == nullptr ? child : nullptr;
    }
    HWND window = nullptr;
};

// The window's pixels as RGB rows, read back through GDI as a screen grab would.
std::vector<std::uint8_t> Screenshot(HWND window) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, kWidth, kHeight, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<std::uint8_t> rgb;
    rgb.reserve(3 * kWidth * kHeight);
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        rgb.push_back(pixels[4 * i + 2]);
        rgb.push_back(pixels[4 * i + 1]);
        rgb.push_back(pixels[4 * i]);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return rgb;
}

std::vector<std::uint8_t> Expected(double input, double output, bool relaxed) {
    SnapshotOptions options;
    options.inputDb = input;
    options.outputDb = output;
    options.relaxed = relaxed;
    RgbImage image;
    std::string error;
    EXPECT_TRUE(RenderSnapshot(options, image, error)) << error;
    return image.rgb;
}

// The editor shows `expected` within a few seconds of pumping; when not, both images are
// kept beside the test as <name>-expected.png and <name>-screen.png.
template <typename Also>
bool Shows(HWND editor, const std::vector<std::uint8_t>& expected, const char* name, Also also) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        Pump(0.05, also);
        if (Screenshot(editor) == expected)
            return true;
    }
    std::string error;
    WritePngRgb(std::string(name) + "-expected.png", RgbImage{kWidth, kHeight, expected}, error);
    WritePngRgb(std::string(name) + "-screen.png", RgbImage{kWidth, kHeight, Screenshot(editor)}, error);
    return false;
}
bool Shows(HWND editor, const std::vector<std::uint8_t>& expected, const char* name) {
    return Shows(editor, expected, name, [] {});
}

// The Input knob dragged up 155 pixels (+10 dB) with the left button, as Windows delivers
// a drag to the window under the pointer.
template <typename Also> void DragInputUp(HWND editor, Also also) {
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(79, 245));
    for (int step = 1; step <= 31; ++step) {
        SendMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(79, 245 - 5 * step));
        Pump(0.01, also);
    }
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(79, 90));
    Pump(0.3, also);
}

bool ClassRegistered(void* module) {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    return GetClassInfoExW(static_cast<HINSTANCE>(module), kEditorClass, &c) != 0;
}

// For a look by a person (docs/vt4r-vst3-windows.png): VT4R_HOLD_EDITOR=<seconds> keeps
// the first editor open that long.
void HoldForALook() {
    if (const char* hold = std::getenv("VT4R_HOLD_EDITOR"))
        Pump(std::atof(hold));
}

} // namespace

TEST(WindowsEditors, Vst3EditorsOfTwoInstancesAndAClapOneRunAtOnceAndADragIsOneGesture) {
    using namespace vst3host;
    Plugin a(VT4R_VST3_BUNDLE), b(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(a.Ok() && b.Ok()) << a.error << b.error;
    a.Set(0, a.Normalized(0, 3.5));
    a.Set(2, 1.0);
    IPlugView* viewA = a.controller->createView(ViewType::kEditor);
    IPlugView* viewB = b.controller->createView(ViewType::kEditor);
    ASSERT_TRUE(viewA != nullptr && viewB != nullptr);
    EXPECT_EQ(viewA->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(viewA->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
    ViewRect size;
    ASSERT_EQ(viewA->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), kWidth);
    EXPECT_EQ(size.getHeight(), kHeight);

    HostWindow windowA, windowB;
    Frame frame;
    viewA->setFrame(&frame);
    viewB->setFrame(&frame);
    ASSERT_EQ(viewA->attached(windowA.window, kPlatformTypeHWND), kResultOk);
    ASSERT_EQ(viewB->attached(windowB.window, kPlatformTypeHWND), kResultOk);
    const HWND editorA = windowA.Editor(), editorB = windowB.Editor();
    ASSERT_TRUE(editorA != nullptr && editorB != nullptr);
    // The class is the DLL's, not the host program's.
    EXPECT_EQ(reinterpret_cast<HMODULE>(GetClassLongPtrW(editorA, GCLP_HMODULE)), a.module);
    EXPECT_NE(a.module, static_cast<void*>(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(Shows(editorA, Expected(3.5, 0, true), "vst3-a"));
    EXPECT_TRUE(Shows(editorB, Expected(0, 0, false), "vst3-b"));
    HoldForALook();

    DragInputUp(editorA, [] {});
    const std::vector<Edit>& edits = a.handler.edits;
    ASSERT_GE(edits.size(), 3u);
    EXPECT_EQ(edits.front().kind, 'b');
    EXPECT_EQ(edits.back().kind, 'e');
    for (std::size_t i = 1; i + 1 < edits.size(); ++i)
        EXPECT_EQ(edits[i].kind, 'p') << i;
    for (const Edit& e : edits)
        EXPECT_EQ(e.id, 0u);
    EXPECT_NEAR(a.controller->normalizedParamToPlain(0, edits[edits.size() - 2].value), 13.5, 0.5);
    EXPECT_TRUE(b.handler.edits.empty()) << "the other instance heard nothing";

    // The CLAP plug-in's editor beside them in the same process: its DLL registers a class
    // of the same name under its own module, and each window gets its own DLL's.
    {
        clap_test::Library library(VT4R_CLAP_PLUGIN);
        clap_test::Host clap(library);
        ASSERT_NE(clap.Plugin(), nullptr) << library.Error();
        ASSERT_TRUE(clap.gui->create(clap.Plugin(), CLAP_WINDOW_API_WIN32, false));
        HostWindow windowC;
        clap_window_t parent{};
        parent.api = CLAP_WINDOW_API_WIN32;
        parent.win32 = windowC.window;
        ASSERT_TRUE(clap.gui->set_parent(clap.Plugin(), &parent));
        ASSERT_NE(windowC.Editor(), nullptr);
        EXPECT_NE(reinterpret_cast<HMODULE>(GetClassLongPtrW(windowC.Editor(), GCLP_HMODULE)), a.module);
        EXPECT_TRUE(Shows(windowC.Editor(), Expected(0, 0, false), "vst3-beside-clap"));
        clap.gui->destroy(clap.Plugin());
    }
    EXPECT_TRUE(ClassRegistered(a.module)) << "the CLAP editor's end leaves the VST3 class alone";

    // A's editor closed: B's still follows its host; the class stays while B's is open.
    EXPECT_EQ(viewA->removed(), kResultOk);
    EXPECT_EQ(viewA->release(), 0u);
    EXPECT_EQ(windowA.Editor(), nullptr);
    EXPECT_TRUE(ClassRegistered(b.module));
    b.controller->setParamNormalized(1, b.Normalized(1, -7.25));
    EXPECT_TRUE(Shows(editorB, Expected(0, -7.25, false), "vst3-b-after"));
    EXPECT_EQ(viewB->removed(), kResultOk);
    EXPECT_EQ(viewB->release(), 0u);
    EXPECT_FALSE(ClassRegistered(b.module)) << "unregistered with the last editor";
}

TEST(WindowsEditors, ClapEditorTakesADragAndOpensAgainAfterThePluginIsUnloadedAndReloaded) {
    using namespace clap_test;
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load == 0 ? "first load" : "after unloading");
        Library library(VT4R_CLAP_PLUGIN);
        Host host(library);
        const clap_plugin_t* plugin = host.Plugin();
        ASSERT_NE(plugin, nullptr) << library.Error();
        ASSERT_NE(host.gui, nullptr);
        EXPECT_TRUE(host.gui->is_api_supported(plugin, CLAP_WINDOW_API_WIN32, false));
        EXPECT_FALSE(host.gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, false));
        ASSERT_TRUE(host.gui->create(plugin, CLAP_WINDOW_API_WIN32, false));
        HostWindow window;
        clap_window_t parent{};
        parent.api = CLAP_WINDOW_API_WIN32;
        parent.win32 = window.window;
        ASSERT_TRUE(host.gui->set_parent(plugin, &parent));
        ASSERT_TRUE(host.gui->show(plugin));
        EXPECT_TRUE(host.timers.empty()) << "the editor runs its own timer on Windows";
        const HWND editor = window.Editor();
        ASSERT_NE(editor, nullptr);
        void* module = reinterpret_cast<void*>(GetClassLongPtrW(editor, GCLP_HMODULE));
        EXPECT_NE(module, static_cast<void*>(GetModuleHandleW(nullptr)));

        // The host's values, flushed, show as the headless drawing draws them.
        InputEvents events;
        OutputEvents sent;
        events.Add(0, 6.5);
        events.Add(1, -3.0);
        events.Add(2, 1.0);
        host.Flush(events, sent);
        events.Clear();
        const auto flushWhenAsked = [&] {
            if (host.flushRequests > 0)
                host.Flush(events, sent);
        };
        EXPECT_TRUE(Shows(editor, Expected(6.5, -3.0, true), "clap", flushWhenAsked));

        // The drag reaches the host through its flush, as one gesture on Input.
        DragInputUp(editor, flushWhenAsked);
        const std::vector<OutEvent>& got = sent.Events();
        ASSERT_GE(got.size(), 3u);
        EXPECT_EQ(got.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
        EXPECT_EQ(got.back().type, CLAP_EVENT_PARAM_GESTURE_END);
        for (std::size_t i = 1; i + 1 < got.size(); ++i)
            EXPECT_EQ(got[i].type, CLAP_EVENT_PARAM_VALUE) << i;
        for (const OutEvent& e : got)
            EXPECT_EQ(e.param, 0u);
        EXPECT_NEAR(got[got.size() - 2].value, 16.5, 0.5);

        // The second time the host closes its window before it destroys the gui, as many do.
        if (load == 1) {
            DestroyWindow(window.window);
            window.window = nullptr;
            Pump(0.1);
        }
        host.gui->destroy(plugin);
        EXPECT_EQ(window.Editor(), nullptr);
        EXPECT_FALSE(ClassRegistered(module)) << "unregistered with the last editor, before the DLL goes";
    }
}
