// The VT4R editor in a real Win32 window (under Wine on the build machine): opening
// inside a host window, painting and what reaches the screen, mouse, wheel and keys
// as window messages, the edit control's life, and the window class shared by editors.
#ifndef NOMINMAX
#define NOMINMAX
#endif
// First: <windows.h> renames SendMessage, and IMidiOutput's must be renamed alike.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/view_factory.h"
#include "graphics/win32/editor_window.h"
#include "graphics/win32/window_rules.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"
#include "tests/graphics/headless_reference.h"

namespace {

struct RecordingMidiOutput : IMidiOutput {
    void SendMessage(const std::uint8_t* bytes, int length) override {
        sent.emplace_back(bytes, bytes + length);
    }
    std::vector<std::vector<std::uint8_t>> sent;
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHost(int x, int y) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW host{};
        host.lpfnWndProc = &HostProc;
        host.hInstance = GetModuleHandleW(nullptr);
        host.lpszClassName = L"VT4RTestHost";
        RegisterClassW(&host);
        registered = true;
    }
    // A popup without frame: the client area is exactly the editor's.
    return CreateWindowExW(0, L"VT4RTestHost", L"editor test", WS_POPUP | WS_VISIBLE, x, y, kEditorWidth,
                           kEditorHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Pump(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

// Pixels of `region` whose colour on the window differs from the back buffer's.
int ScreenMismatches(HWND window, const RasterBitmap& buffer, const IBounds& region) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    const int width = buffer.Width();
    const int height = buffer.Height();
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!copy)
        return -1;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, copy);
    HDC screen = GetDC(window);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    ReleaseDC(window, screen);
    GdiFlush();
    const auto* shown = static_cast<const std::uint32_t*>(bits);
    int mismatches = 0;
    for (int y = region.top; y < region.bottom; ++y) {
        for (int x = region.left; x < region.right; ++x) {
            if ((shown[y * width + x] & 0xFFFFFF) != (buffer.Row(y)[x] & 0xFFFFFF))
                ++mismatches;
        }
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(copy);
    return mismatches;
}

struct Editor {
    RecordingMidiOutput midi;
    std::unique_ptr<IEffectStandalone> plugin;
    IEditorWindow* view = nullptr;
    HWND window = nullptr;

    explicit Editor(HWND host) {
        SetEditorViewFactory(&CreateEditorWindowView);
        IHostRecord record;
        record.midiOutput = &midi;
        plugin = CreatePlugin(record);
        SetEditorViewFactory(nullptr);
        view = plugin ? dynamic_cast<IEditorWindow*>(plugin->Editor()) : nullptr;
        if (!view)
            return;
        // The needle's first value only sets its default, as the first audio block does.
        view->PushParameterValue(kMeterParamIdx, 0.0, true);
        window = static_cast<HWND>(view->OpenEditorWindow(host));
    }
    double Decibels(int param) const { return plugin->Param(param)->Value(); }
    IBounds RectOf(int control) const { return view->Control(control)->Rect(); }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return SendMessageW(window, message, wParam, lParam); }
    void Tick() { Send(WM_TIMER, IEditorWindow::kTimerId, 0); }
    std::wstring BoxText() const {
        wchar_t text[64] = {};
        GetWindowTextW(view->TextBox(), text, 64);
        return text;
    }
};

struct EditorWindowTest : ::testing::Test {
    HWND host = nullptr;
    std::unique_ptr<Editor> editor;

    void SetUp() override {
        host = CreateHost(40, 40);
        ASSERT_NE(host, nullptr);
        editor = std::make_unique<Editor>(host);
        ASSERT_NE(editor->view, nullptr);
        ASSERT_NE(editor->window, nullptr);
        Pump(0.3); // first paint, and the timer's first ticks
    }
    void TearDown() override {
        editor.reset();
        if (host)
            DestroyWindow(host);
    }
};

TEST_F(EditorWindowTest, OpensAsAChildPaintsAndTheScreenShowsTheBackBuffer) {
    Editor& e = *editor;
    wchar_t name[64] = {};
    GetClassNameW(e.window, name, 64);
    EXPECT_STREQ(name, L"IEffectWndClass");
    GetWindowTextW(e.window, name, 64);
    EXPECT_STREQ(name, L"IEffect");
    EXPECT_EQ(GetParent(e.window), host);
    EXPECT_EQ(GetWindowLongPtrW(e.window, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    RECT client{};
    GetClientRect(e.window, &client);
    EXPECT_EQ(client.right, kEditorWidth);
    EXPECT_EQ(client.bottom, kEditorHeight);
    EXPECT_EQ(e.view->WindowHandle(), e.window);
    EXPECT_EQ(e.view->TimerPeriod(), 40);
    EXPECT_EQ(GetFocus(), e.window);
    for (int i = 0; i < e.view->ControlCount(); ++i)
        EXPECT_FALSE(e.view->Control(i)->NeedsRedraw()) << "control " << i << " never painted";

    // The whole picture, then a part scribbled over and uncovered again: what the
    // window shows (read back from it) is the back buffer, colours and place.
    InvalidateRect(e.window, nullptr, FALSE);
    UpdateWindow(e.window);
    const IBounds whole{0, 0, kEditorWidth, kEditorHeight};
    EXPECT_EQ(ScreenMismatches(e.window, *e.view->BackBuffer(), whole), 0);

    const RECT uncovered{10, 60, 200, 300};
    HDC dc = GetDC(e.window);
    FillRect(dc, &uncovered, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(e.window, dc);
    EXPECT_GT(ScreenMismatches(e.window, *e.view->BackBuffer(), IBounds{10, 60, 200, 300}), 1000);
    InvalidateRect(e.window, &uncovered, FALSE);
    UpdateWindow(e.window);
    EXPECT_EQ(ScreenMismatches(e.window, *e.view->BackBuffer(), IBounds{10, 60, 200, 300}), 0);
    // Not a trivially equal picture: the editor has colour in it.
    EXPECT_NE(e.view->BackBuffer()->Row(200)[144] & 0xFFFFFF, 0u);
}

TEST_F(EditorWindowTest, DragsWheelDoubleClickAndKeysReachTheKnob) {
    Editor& e = *editor;
    const IBounds knob = e.RectOf(kInputKnobControl);
    const int x = (knob.left + knob.right) / 2;
    const int y = knob.top + 60;

    e.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    EXPECT_EQ(GetCapture(), e.window);
    e.Send(WM_MOUSEMOVE, MK_LBUTTON, At(x, y - 31)); // 31 of 620 pixels for the whole range
    e.Send(WM_LBUTTONUP, 0, At(x, y - 31));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_NEAR(e.Decibels(kInputParam), 2.0, 1e-9);
    // Moves with a button held but without the capture drag nothing.
    e.Send(WM_MOUSEMOVE, MK_LBUTTON, At(x, y - 100));
    EXPECT_NEAR(e.Decibels(kInputParam), 2.0, 1e-9);

    // The wheel's position is on the screen; 60 is less than a notch, -240 two toward the user.
    POINT screen{x, y};
    ClientToScreen(e.window, &screen);
    e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 60), At(screen.x, screen.y));
    EXPECT_NEAR(e.Decibels(kInputParam), 2.0, 1e-9);
    e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), At(screen.x, screen.y));
    EXPECT_NEAR(e.Decibels(kInputParam), 1.2, 1e-9);

    // A double click restores the default.
    e.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    e.Send(WM_LBUTTONUP, 0, At(x, y));
    e.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(x, y));
    e.Send(WM_LBUTTONUP, 0, At(x, y));
    EXPECT_DOUBLE_EQ(e.Decibels(kInputParam), 0.0);

    // Keys go to the control under the cursor: the knob plays a note on the left and
    // right arrows, and takes no letters; keys without a code reach no control.
    ASSERT_TRUE(SetCursorPos(screen.x, screen.y));
    e.Send(WM_KEYDOWN, VK_LEFT, 0);
    e.Send(WM_KEYDOWN, 'A', 0);
    e.Send(WM_KEYDOWN, VK_F1, 0);
    e.Send(WM_KEYDOWN, VK_RIGHT, 0);
    ASSERT_EQ(e.midi.sent.size(), 2u);
    EXPECT_EQ(e.midi.sent[0], (std::vector<std::uint8_t>{0x90, 60, 127}));
    EXPECT_EQ(e.midi.sent[1], (std::vector<std::uint8_t>{0x80, 60, 0}));
    POINT background{5, 5};
    ClientToScreen(e.window, &background);
    SetCursorPos(background.x, background.y);
    e.Send(WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(e.midi.sent.size(), 2u);

    // The whole key table: space, arrows, main-row digits and letters only.
    EXPECT_EQ(KeyCodeForVirtualKey(VK_SPACE), 0);
    EXPECT_EQ(KeyCodeForVirtualKey(VK_UP), 1);
    EXPECT_EQ(KeyCodeForVirtualKey(VK_DOWN), 2);
    EXPECT_EQ(KeyCodeForVirtualKey(VK_LEFT), 3);
    EXPECT_EQ(KeyCodeForVirtualKey(VK_RIGHT), 4);
    EXPECT_EQ(KeyCodeForVirtualKey('0'), 5);
    EXPECT_EQ(KeyCodeForVirtualKey('9'), 14);
    EXPECT_EQ(KeyCodeForVirtualKey('A'), 15);
    EXPECT_EQ(KeyCodeForVirtualKey('Z'), 40);
    for (const unsigned int none : {unsigned(VK_F1), unsigned(VK_NUMPAD0), unsigned(VK_NUMPAD9), unsigned(VK_RETURN), unsigned(VK_ESCAPE),
                                    unsigned(VK_TAB), unsigned(VK_SHIFT),
                                    unsigned(VK_HOME), unsigned(VK_BACK), unsigned('a'), unsigned(VK_OEM_PERIOD)})
        EXPECT_EQ(KeyCodeForVirtualKey(none), -1) << none;
}

TEST_F(EditorWindowTest, TheTextBoxFiltersCommitsOnTheTickAndCancelsOnAClick) {
    Editor& e = *editor;
    const IBounds knob = e.RectOf(kInputKnobControl);
    const IBounds text{knob.left, knob.bottom - 20, knob.right, knob.bottom};
    const LPARAM onText = At((text.left + text.right) / 2, (text.top + text.bottom) / 2);

    // A right click on the value opens the box over it, focused, all of "0.0" selected.
    e.Send(WM_RBUTTONDOWN, MK_RBUTTON, onText);
    const HWND box = e.view->TextBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetDlgCtrlID(box), IEditorWindow::kTextBoxId);
    EXPECT_EQ(GetFocus(), box);
    EXPECT_EQ(e.view->TextBoxStateNow(), IEditorWindow::TextBoxFocused);
    RECT placed{};
    GetWindowRect(box, &placed);
    MapWindowPoints(HWND_DESKTOP, e.window, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, text.left);
    EXPECT_EQ(placed.top, text.top);
    EXPECT_EQ(placed.right - placed.left, text.right - text.left + 1);
    EXPECT_EQ(placed.bottom - placed.top, text.bottom - text.top + 1);
    EXPECT_EQ(e.BoxText(), L"0.0");
    // The release of the opening press ends the gesture and gives the mouse back.
    e.Send(WM_RBUTTONUP, 0, onText);
    EXPECT_EQ(GetCapture(), nullptr);

    for (const wchar_t c : std::wstring(L"-1x.5"))
        SendMessageW(box, WM_CHAR, c, 0);
    EXPECT_EQ(e.BoxText(), L"-1.5"); // a Number's box takes digits, signs and the point only

    // While typing the editor stands still: the timer paints nothing.
    e.view->PushParameterValue(kMeterParamIdx, 0.9, true);
    e.Tick();
    e.Tick();
    EXPECT_TRUE(e.view->Control(kNeedleControl)->NeedsRedraw());

    SendMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(e.view->TextBoxStateNow(), IEditorWindow::TextBoxCommit);
    EXPECT_DOUBLE_EQ(e.Decibels(kInputParam), 0.0); // not before the tick
    e.Tick();
    EXPECT_EQ(e.view->TextBox(), nullptr);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_NEAR(e.Decibels(kInputParam), -1.5, 1e-9);
    EXPECT_EQ(GetFocus(), e.window); // the keys come back to the editor
    e.Tick();
    e.Tick(); // a pushed value is drawn twice
    EXPECT_FALSE(e.view->Control(kNeedleControl)->NeedsRedraw()); // what waited is painted

    // A click in the editor while typing cancels; the timer removes the box.
    e.Send(WM_RBUTTONDOWN, MK_RBUTTON, onText);
    e.Send(WM_RBUTTONUP, 0, onText);
    ASSERT_NE(e.view->TextBox(), nullptr);
    for (const wchar_t c : std::wstring(L"12"))
        SendMessageW(e.view->TextBox(), WM_CHAR, c, 0);
    e.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(200, 40));
    EXPECT_EQ(e.view->TextBoxStateNow(), IEditorWindow::TextBoxCancel);
    ASSERT_NE(e.view->TextBox(), nullptr);
    e.Tick();
    EXPECT_EQ(e.view->TextBox(), nullptr);
    EXPECT_NEAR(e.Decibels(kInputParam), -1.5, 1e-9);

    // A switch's box takes signs and digits but not the point; text that names no value
    // text sets value 0.
    const IBounds switchRect = e.RectOf(kRelaxedSwitchControl);
    const LPARAM onSwitch = At((switchRect.left + switchRect.right) / 2, (switchRect.top + switchRect.bottom) / 2);
    e.Send(WM_LBUTTONDOWN, MK_LBUTTON, onSwitch);
    e.Send(WM_LBUTTONUP, 0, onSwitch);
    ASSERT_DOUBLE_EQ(e.Decibels(kRelaxedModeParam), 1.0);
    IControl* relaxed = e.view->Control(kRelaxedSwitchControl);
    e.view->OpenTextEntry(relaxed, relaxed->TextStyle(), switchRect, "", e.plugin->Param(kRelaxedModeParam));
    ASSERT_NE(e.view->TextBox(), nullptr);
    for (const wchar_t c : std::wstring(L"1.On"))
        SendMessageW(e.view->TextBox(), WM_CHAR, c, 0);
    EXPECT_EQ(e.BoxText(), L"1");
    SendMessageW(e.view->TextBox(), WM_KEYDOWN, VK_RETURN, 0);
    e.Tick();
    EXPECT_EQ(e.view->TextBox(), nullptr);
    EXPECT_DOUBLE_EQ(e.Decibels(kRelaxedModeParam), 0.0);

    // The real timer and message loop do the same as the ticks above.
    e.Send(WM_RBUTTONDOWN, MK_RBUTTON, onText);
    e.Send(WM_RBUTTONUP, 0, onText);
    ASSERT_NE(e.view->TextBox(), nullptr);
    for (const wchar_t c : std::wstring(L"3"))
        SendMessageW(e.view->TextBox(), WM_CHAR, c, 0);
    PostMessageW(e.view->TextBox(), WM_KEYDOWN, VK_RETURN, 0);
    Pump(0.3);
    EXPECT_EQ(e.view->TextBox(), nullptr);
    EXPECT_NEAR(e.Decibels(kInputParam), 3.0, 1e-9);
}

// Reads the open popup menu's third line, then picks with the keyboard from inside
// the menu's own loop.
struct MenuPick {
    static inline int downs = 0;
    static inline std::wstring thirdLine;
    static void CALLBACK Run(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (HWND shown = FindWindowW(L"#32768", nullptr)) {
            auto* menu = reinterpret_cast<HMENU>(SendMessageW(shown, MN_GETHMENU, 0, 0));
            wchar_t text[64] = {};
            if (menu)
                GetMenuStringW(menu, 3, text, 64, MF_BYCOMMAND);
            thirdLine = text;
        }
        HWND target = GetFocus();
        for (int i = 0; i < downs; ++i)
            PostMessageW(target, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(target, WM_KEYDOWN, downs > 0 ? VK_RETURN : VK_ESCAPE, 0);
    }
};

TEST_F(EditorWindowTest, PopupMenuShowsNumberedLinesAndAnswersTheChoice) {
    Editor& e = *editor;
    IPopupMenu menu;
    menu.InsertTextItem("Off", -1, 0);
    menu.InsertSeparator(-1);
    menu.InsertTextItem("On", -1, IPopupMenuItem::Checked);
    menu.InsertTextItem("Never", -1, IPopupMenuItem::Disabled);
    menu.numbering = 2;
    const IBounds at{116, 305, 160, 330};

    MenuPick::downs = 2; // past the separator to "On"
    SetTimer(nullptr, 0, 200, &MenuPick::Run);
    EXPECT_EQ(e.view->ShowPopupMenu(&menu, at), &menu);
    EXPECT_EQ(MenuPick::thirdLine, L"03: On");
    EXPECT_EQ(menu.chosen, 2);

    menu.chosen = -1;
    MenuPick::downs = 0;
    SetTimer(nullptr, 0, 200, &MenuPick::Run);
    EXPECT_EQ(e.view->ShowPopupMenu(&menu, at), nullptr);
    EXPECT_EQ(menu.chosen, -1);

    IPopupMenu empty;
    EXPECT_EQ(e.view->ShowPopupMenu(&empty, at), nullptr);
}

TEST_F(EditorWindowTest, EditorsShareTheWindowClassAndReopenInPlace) {
    Editor& e = *editor;
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    const HINSTANCE module = GetModuleHandleW(nullptr);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);

    // Reopened while open: the old window's place and size are taken over.
    SetWindowPos(e.window, nullptr, 4, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const HWND again = static_cast<HWND>(e.view->OpenEditorWindow(host));
    ASSERT_NE(again, nullptr);
    e.window = again;
    RECT placed{};
    GetWindowRect(again, &placed);
    MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 4);
    EXPECT_EQ(placed.top, 6);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);

    HWND otherHost = CreateHost(400, 40);
    {
        Editor second(otherHost);
        ASSERT_NE(second.window, nullptr);
        EXPECT_EQ(IEditorWindow::OpenWindowCount(), 2);
        e.view->CloseEditorWindow();
        EXPECT_EQ(e.view->WindowHandle(), nullptr);
        EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);
        EXPECT_TRUE(GetClassInfoExW(module, L"IEffectWndClass", &info)); // the other still uses it
        Pump(0.1);

        // A host destroyed first takes the editor's window along; the editor notices.
        DestroyWindow(otherHost);
        otherHost = nullptr;
        EXPECT_EQ(second.view->WindowHandle(), nullptr);
        EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
        second.view->CloseEditorWindow(); // nothing left to close
        EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
    }

    // No parent: nothing is created and the count is given back.
    EXPECT_EQ(e.view->OpenEditorWindow(nullptr), nullptr);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
    EXPECT_FALSE(GetClassInfoExW(module, L"IEffectWndClass", &info));

    // Services that need a window refuse without one.
    IColour colour{255, 1, 2, 3};
    EXPECT_FALSE(e.view->ChooseColour(colour, "Pick"));
    std::string out = "name.wav";
    std::string folder = "C:\\";
    e.view->ChooseFile(out, 0, folder, "wav");
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(folder, "C:\\");
    std::string hostFolder;
    e.view->HostFolder(hostFolder);
    ASSERT_FALSE(hostFolder.empty());
    EXPECT_EQ(hostFolder.back(), '\\');
    EXPECT_EQ(FileDialogPattern(" wav  aif"), "*.wav;*.aif");

    e.window = static_cast<HWND>(e.view->OpenEditorWindow(host));
    ASSERT_NE(e.window, nullptr);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);
}

TEST_F(EditorWindowTest, AtTwiceTheSizeTheWindowShowsTheScaledEditorAndTakesScaledPositions) {
    Editor& e = *editor;
    // The host makes room, then the editor of the open window is scaled.
    SetWindowPos(host, nullptr, 0, 0, 2 * kEditorWidth, 2 * kEditorHeight, SWP_NOMOVE | SWP_NOZORDER);
    e.view->SetWindowScale(2.0);
    RECT client{};
    GetClientRect(e.window, &client);
    EXPECT_EQ(client.right, 576);
    EXPECT_EQ(client.bottom, 784);
    Pump(0.3);

    const HeadlessReference reference(2.0);
    const IHeadlessEditorView* headless = reference.view;
    ASSERT_NE(headless, nullptr);
    EXPECT_EQ(ScreenMismatches(e.window, *headless->BackBuffer(), IBounds{0, 0, 576, 784}), 0);

    // 62 window pixels are 31 editor pixels: the knob turns as far as at 100 %.
    const IBounds knob = e.RectOf(kInputKnobControl);
    const int x = knob.left + knob.right;
    const int y = 2 * (knob.top + 60);
    e.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    e.Send(WM_MOUSEMOVE, MK_LBUTTON, At(x, y - 62));
    e.Send(WM_LBUTTONUP, 0, At(x, y - 62));
    EXPECT_NEAR(e.Decibels(kInputParam), 2.0, 1e-9);

    // The value box covers the value where the window shows it.
    e.Send(WM_RBUTTONDOWN, MK_RBUTTON, At(x, 2 * knob.bottom - 20));
    e.Send(WM_RBUTTONUP, 0, At(x, 2 * knob.bottom - 20));
    ASSERT_NE(e.view->TextBox(), nullptr);
    RECT box{};
    GetWindowRect(e.view->TextBox(), &box);
    MapWindowPoints(HWND_DESKTOP, e.window, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, 2 * knob.left);
    EXPECT_EQ(box.top, 2 * knob.bottom - 40);
}

} // namespace
