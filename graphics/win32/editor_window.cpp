#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "graphics/win32/editor_window.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "framework/parameter.h"
#include "graphics/control.h"
#include "graphics/text_entry.h"
#include "graphics/win32/window_rules.h"
#include "graphics/window_rules.h"

namespace {

constexpr wchar_t kClassName[] = L"IEffectWndClass";
constexpr wchar_t kWindowTitle[] = L"IEffect";
constexpr int kNameBufferChars = 256; // 255 characters and the terminator
constexpr int kTextBoxReadChars = 32; // 31 characters and the terminator

// Process-wide, as the class is: several editors share one registration.
int gClassRegistrations = 0;
bool gClassRegistered = false;

std::wstring Wide(const char* text) {
    if (!text || !*text)
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* text) {
    if (!text || !*text)
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string narrow(static_cast<std::size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// The module this code is linked into: the executable today, a plug-in DLL tomorrow.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module ? module : GetModuleHandleW(nullptr);
}

std::string ModuleFolder(HMODULE module) {
    // Long enough for any path, so the folder is refused rather than cut when it is long.
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    return FolderOfWindowsPath(Utf8(path.data()), 256);
}

void RegisterClassWhenFirst(HINSTANCE module, WNDPROC procedure) {
    if (gClassRegistrations++ > 0 || gClassRegistered)
        return;
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    gClassRegistered = RegisterClassW(&windowClass) != 0;
}

// A class cannot be unregistered while a window of it still exists (one being
// destroyed with its parent, say); it then stays registered until a later try.
void UnregisterClassWhenUnused(HINSTANCE module) {
    if (gClassRegistrations > 0)
        --gClassRegistrations;
    if (gClassRegistrations == 0 && gClassRegistered && UnregisterClassW(kClassName, module))
        gClassRegistered = false;
}

IModifierKeys ModifiersFromMessage(WPARAM keyState) {
    // The key state has no bit for Alt: it is asked for, and given one above the word's.
    constexpr unsigned long kAltBit = 0x10000;
    const unsigned long state = (keyState & 0xFFFF) | (GetKeyState(VK_MENU) < 0 ? kAltBit : 0);
    return ModifiersFromMask(state, {MK_LBUTTON, MK_RBUTTON, MK_SHIFT, MK_CONTROL, kAltBit});
}

RECT ToRect(const IBounds& b) {
    return RECT{b.left, b.top, b.right, b.bottom};
}

IBounds ToBounds(const RECT& r) {
    return IBounds{r.left, r.top, r.right, r.bottom};
}

// Sets the colour dialog's caption to the prompt it was given.
UINT_PTR CALLBACK ColourDialogHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* choose = reinterpret_cast<const CHOOSECOLORW*>(lParam);
        if (choose && choose->lCustData)
            SetWindowTextW(dialog, reinterpret_cast<const wchar_t*>(choose->lCustData));
        return TRUE;
    }
    return 0;
}

std::wstring DesktopFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)))
        return path;
    return {};
}

} // namespace

IEditorWindow::IEditorWindow(IEffectBase* plugin, int width, int height, int frameRate)
    : IEditorWindowCore(plugin, width, height, frameRate), mModuleInstance(ThisModule()) {}

IEditorWindow::~IEditorWindow() {
    CloseEditorWindow();
    if (gClassRegistrations == 0)
        UnregisterClassWhenUnused(mModuleInstance); // one left behind by a destroyed parent
    ReleaseDib();
    mCustomColours.reset();
}

IEditorView* CreateEditorWindowView(IEffectBase* plugin, int width, int height, int frameRate) {
    return new IEditorWindow(plugin, width, height, frameRate);
}

int IEditorWindow::OpenWindowCount() {
    return gClassRegistrations;
}

void* IEditorWindow::WindowHandle() {
    return mWindow;
}


// ---- window life ----

void* IEditorWindow::OpenEditorWindow(void* parent) {
    int x = 0;
    int y = 0;
    int width = DeviceWidth();
    int height = DeviceHeight();
    if (mWindow) {
        RECT placed{};
        GetWindowRect(mWindow, &placed);
        MapWindowPoints(HWND_DESKTOP, GetParent(mWindow), reinterpret_cast<POINT*>(&placed), 2);
        x = placed.left;
        y = placed.top;
        width = placed.right - placed.left;
        height = placed.bottom - placed.top;
        CloseEditorWindow();
    }
    mParent = static_cast<HWND>(parent);

    RegisterClassWhenFirst(mModuleInstance, &IEditorWindow::WindowProc);

    // WM_CREATE stores the view and sets mWindow, so the messages of creation reach it.
    const HWND window = CreateWindowExW(0, kClassName, kWindowTitle, WS_CHILD | WS_VISIBLE, x, y, width, height,
                                        mParent, nullptr, mModuleInstance, this);
    if (!window) {
        mWindow = nullptr;
        UnregisterClassWhenUnused(mModuleInstance);
        return nullptr;
    }
    MarkAllChanged();
    return window;
}

void IEditorWindow::CloseEditorWindow() {
    if (!mWindow)
        return;
    const HWND window = mWindow;
    ForgetWindow(); // first: the messages of destruction then go to the default procedure
    DestroyWindow(window);
    UnregisterClassWhenUnused(mModuleInstance);
}

void IEditorWindow::ForgetWindow() {
    if (mTextBox) {
        SetWindowLongPtrW(mTextBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mTextBoxProc));
        mTextBox = nullptr; // a child of the window: destroyed with it
    }
    mTextBoxProc = nullptr;
    ForgetWindowState();
    if (mTextBoxFont) {
        DeleteObject(mTextBoxFont);
        mTextBoxFont = nullptr;
    }
    mWindow = nullptr;
}

LRESULT CALLBACK IEditorWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* view = static_cast<IEditorWindow*>(create->lpCreateParams);
        if (!view)
            return DefWindowProcW(window, message, wParam, lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        view->mWindow = window;
        SetTimer(window, kTimerId, static_cast<UINT>(view->StartTimerPeriod()), nullptr);
        SetFocus(window);
        return 0;
    }
    auto* view = reinterpret_cast<IEditorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!view || view->mWindow != window)
        return DefWindowProcW(window, message, wParam, lParam);
    return view->HandleMessage(message, wParam, lParam);
}

// ---- painting ----

void IEditorWindow::RepaintArea(const IBounds& area, const IBounds& hole) {
    const RECT dirty = ToRect(DeviceRect(area));
    InvalidateRect(mWindow, &dirty, FALSE);
    if (!hole.Empty()) {
        const RECT covered = ToRect(DeviceRect(hole));
        ValidateRect(mWindow, &covered);
    }
    UpdateWindow(mWindow);
}

void IEditorWindow::Paint() {
    RECT update{};
    if (GetUpdateRect(mWindow, &update, FALSE)) {
        const IBounds exposed = ToBounds(update);
        const ExposePlan plan = PlanExpose(exposed, IBounds{0, 0, DeviceWidth(), DeviceHeight()});
        mInPaint = true;
        if (plan.kind == ExposePlan::Present) {
            PresentArea(exposed);
        } else {
            if (!(plan.area == exposed)) {
                const RECT extra = ToRect(plan.area); // so that BeginPaint's clip takes it in
                InvalidateRect(mWindow, &extra, FALSE);
            }
            PaintArea(plan.editorArea); // with no controls it presents nothing
        }
        mInPaint = false;
    }
    // Whatever PaintArea presented, the window is drawn now: an update region left
    // behind would send WM_PAINT for ever.
    ValidateRect(mWindow, nullptr);
}

bool IEditorWindow::PrepareDib(int width, int height) {
    if (mDib && mDibWidth == width && mDibHeight == height)
        return true;
    ReleaseDib();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as the back buffer
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    mDib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    mDibDc = CreateCompatibleDC(nullptr);
    if (!mDib || !mDibDc || !bits) {
        ReleaseDib();
        return false;
    }
    mDibPrevious = SelectObject(mDibDc, mDib);
    mDibBits = static_cast<RasterPixel*>(bits);
    mDibWidth = width;
    mDibHeight = height;
    return true;
}

void IEditorWindow::ReleaseDib() {
    if (mDibDc && mDibPrevious)
        SelectObject(mDibDc, mDibPrevious);
    if (mDibDc)
        DeleteDC(mDibDc);
    if (mDib)
        DeleteObject(mDib);
    mDibDc = nullptr;
    mDib = nullptr;
    mDibPrevious = nullptr;
    mDibBits = nullptr;
    mDibWidth = mDibHeight = 0;
}

bool IEditorWindow::PresentArea(const IBounds& rect) {
    const RasterBitmap* buffer = BackBuffer();
    if (!mWindow || !buffer || !PrepareDib(buffer->Width(), buffer->Height()))
        return true;
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.right, buffer->Width());
    const int bottom = std::min(rect.bottom, buffer->Height());
    if (right <= left || bottom <= top)
        return true;

    // Both store B, G, R, A bytes top-down, so a row is a plain copy; the screen
    // ignores the alpha byte.
    GdiFlush();
    const std::size_t rowBytes = static_cast<std::size_t>(right - left) * sizeof(RasterPixel);
    for (int y = top; y < bottom; ++y)
        std::memcpy(mDibBits + static_cast<std::ptrdiff_t>(y) * mDibWidth + left, buffer->Row(y) + left, rowBytes);

    PAINTSTRUCT paint{};
    // Inside WM_PAINT the copy goes through BeginPaint's clip; a paint asked for
    // anywhere else draws straight onto the window.
    const HDC dc = mInPaint ? BeginPaint(mWindow, &paint) : GetDC(mWindow);
    if (dc) {
        BitBlt(dc, left, top, right - left, bottom - top, mDibDc, left, top, SRCCOPY);
        if (mInPaint)
            EndPaint(mWindow, &paint);
        else
            ReleaseDC(mWindow, dc);
    }
    return true;
}

// ---- messages ----

LRESULT IEditorWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = mWindow;
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);

    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        return 0;
    case WM_GETDLGCODE:
        // Inside a dialog (the application's main window is one) the arrow
        // keys would otherwise move the dialog's focus and never arrive here.
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_CLOSE:
        CloseEditorWindow();
        return 0;
    case WM_DESTROY:
        // Destroyed with its parent, not through CloseEditorWindow.
        ForgetWindow();
        UnregisterClassWhenUnused(mModuleInstance);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_KEYDOWN: {
        const int code = KeyCodeForVirtualKey(static_cast<unsigned int>(wParam));
        if (code < 0)
            return DefWindowProcW(window, message, wParam, lParam);
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        if (KeyDown(cursor.x, cursor.y, code))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_TIMER:
        if (wParam == kTimerId)
            TimerTick();
        return 0;
    case WM_MOUSEMOVE:
        PointerMoved(x, y, ModifiersFromMessage(wParam), (wParam & (MK_LBUTTON | MK_RBUTTON)) != 0);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        const PointerButton button = message == WM_LBUTTONDOWN   ? PointerButton::Left
                                     : message == WM_RBUTTONDOWN ? PointerButton::Right
                                                                 : PointerButton::Middle;
        PointerPressed(x, y, ModifiersFromMessage(wParam), button, false);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
        const WPARAM button = message == WM_LBUTTONUP ? MK_LBUTTON : MK_RBUTTON;
        PointerReleased(x, y, ModifiersFromMessage(wParam | button), ModifiersFromMessage(wParam));
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        PointerPressed(x, y, ModifiersFromMessage(wParam), PointerButton::Left, true);
        return 0;
    case WM_CAPTURECHANGED:
        // Taken by another window: drags end here, as they would on a release.
        if (reinterpret_cast<HWND>(lParam) != window)
            EndPointerCapture();
        return 0;
    case WM_MOUSEWHEEL: {
        RECT placed{};
        GetWindowRect(window, &placed);
        const int notches = WheelNotchesFromDelta(GET_WHEEL_DELTA_WPARAM(wParam));
        PointerWheeled(x - placed.left, y - placed.top, ModifiersFromMessage(GET_KEYSTATE_WPARAM(wParam)), notches);
        return 0;
    }
    case WM_MOUSELEAVE:
        PointerLeft();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- text box ----

bool IEditorWindow::CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) {
    DWORD boxStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE;
    if (style.alignment == TextAlignCentre)
        boxStyle |= ES_CENTER;
    else if (style.alignment == TextAlignRight)
        boxStyle |= ES_RIGHT;
    const HWND box = CreateWindowExW(0, L"EDIT", Wide(text).c_str(), boxStyle, rect.left, rect.top,
                                     rect.right - rect.left + 1, rect.bottom - rect.top + 1, mWindow,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextBoxId)), mModuleInstance,
                                     nullptr);
    if (!box)
        return false;
    mTextBoxFont = CreateFontW(style.size, 0, 0, 0, (style.style & TextStyleBold) ? FW_BOLD : FW_DONTCARE,
                               (style.style & TextStyleItalic) ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               Wide(style.fontName).c_str());
    if (mTextBoxFont)
        SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(mTextBoxFont), FALSE);
    SendMessageW(box, EM_SETSEL, 0, -1);
    SendMessageW(box, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    mTextBox = box;
    SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Subclassed before it takes the focus, so that the focus is reported (state 1).
    mTextBoxProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&IEditorWindow::TextBoxProc)));
    SetFocus(box);
    return true;
}

LRESULT CALLBACK IEditorWindow::TextBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<IEditorWindow*>(GetWindowLongPtrW(box, GWLP_USERDATA));
    if (!view || view->mTextBox != box || !view->mTextBoxProc) {
        // A box no view owns any more still behaves as an edit control.
        const auto standard = reinterpret_cast<WNDPROC>(GetClassLongPtrW(box, GCLP_WNDPROC));
        return standard ? CallWindowProcW(standard, box, message, wParam, lParam)
                        : DefWindowProcW(box, message, wParam, lParam);
    }
    return view->HandleTextBoxMessage(message, wParam, lParam);
}

LRESULT IEditorWindow::HandleTextBoxMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND box = mTextBox;
    const WNDPROC standard = mTextBoxProc;
    switch (message) {
    case WM_SETFOCUS:
        TextBoxFocusChanged(true);
        break;
    case WM_KILLFOCUS:
        TextBoxFocusChanged(false);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            TextBoxEntered();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 1) {
            TextBoxEntered();
            return 0;
        }
        break;
    case WM_GETDLGCODE: {
        LRESULT code = CallWindowProcW(standard, box, message, wParam, lParam);
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (!TextBoxParam() && msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_CHAR:
        // Enter has committed on its key-down; its character would only add a line break.
        if (wParam == '\r' || wParam == '\n')
            return 0;
        // Beyond ASCII nothing is a digit, sign or point: judged as one such character.
        if (!TextBoxTakes(wParam < 0x80 ? static_cast<unsigned char>(wParam) : 0x80))
            return 0;
        break;
    default:
        break;
    }
    return CallWindowProcW(standard, box, message, wParam, lParam);
}


std::string IEditorWindow::TextBoxValue() const {
    wchar_t typed[kTextBoxReadChars] = {};
    if (mTextBox)
        GetWindowTextW(mTextBox, typed, kTextBoxReadChars);
    return Utf8(typed);
}

void IEditorWindow::DestroyTextBox() {
    if (!mTextBox)
        return;
    const HWND box = mTextBox;
    const bool hadFocus = GetFocus() == box;
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mTextBoxProc));
    mTextBox = nullptr;
    mTextBoxProc = nullptr;
    DestroyWindow(box); // uncovers its place, which the next paint rebuilds
    if (mTextBoxFont) {
        DeleteObject(mTextBoxFont);
        mTextBoxFont = nullptr;
    }
    // The keys come back to the editor, not to nowhere.
    if (hadFocus && mWindow)
        SetFocus(mWindow);
}

void IEditorWindow::FocusEditor() {
    SetFocus(mWindow);
}

void IEditorWindow::CapturePointer() {
    SetCapture(mWindow);
}

void IEditorWindow::ReleasePointer() {
    if (mWindow && GetCapture() == mWindow)
        ReleaseCapture();
}

void IEditorWindow::WatchPointerLeave() {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = mWindow;
    track.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&track);
}

// ---- popup menu and dialogs ----

int IEditorWindow::RunPopupMenu(const IPopupMenu& menu, const std::vector<PopupLine>& lines, const IBounds& rect) {
    const HMENU popup = CreatePopupMenu();
    if (!popup)
        return 0;
    // The shared lines carry the numbered texts, in item order; separators and the
    // states come from the items themselves.
    std::size_t next = 0;
    for (int i = 0; i < menu.ItemCount(); ++i) {
        const IPopupMenuItem* item = menu.Item(i);
        if (item->flags & IPopupMenuItem::Separator) {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        if (item->submenu || next >= lines.size())
            continue;
        const PopupLine& line = lines[next++];
        UINT flags = MF_STRING;
        if (item->flags & IPopupMenuItem::Disabled)
            flags |= MF_GRAYED;
        if (item->flags & IPopupMenuItem::Title)
            flags |= MF_DISABLED;
        if (item->flags & IPopupMenuItem::Checked)
            flags |= MF_CHECKED;
        AppendMenuW(popup, flags, static_cast<UINT_PTR>(line.command), Wide(line.text.c_str()).c_str());
    }
    POINT anchor{rect.left, rect.bottom};
    ClientToScreen(mWindow, &anchor);
    const int chosen = static_cast<int>(TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY,
                                                       anchor.x, anchor.y, 0, mWindow, nullptr));
    DestroyMenu(popup);
    return chosen;
}

void IEditorWindow::HostFolder(std::string& out) {
    out = ModuleFolder(nullptr);
}

void IEditorWindow::ProgramFolder(std::string& out) {
    out = ModuleFolder(mModuleInstance);
}

void IEditorWindow::ChooseFile(std::string& out, int action, std::string& folder, const char* extensions) {
    if (!mWindow) {
        out.clear();
        return;
    }
    wchar_t name[kNameBufferChars] = {};
    const std::wstring initialName = Wide(out.c_str());
    if (initialName.size() < static_cast<std::size_t>(kNameBufferChars))
        std::wcscpy(name, initialName.c_str());
    if (folder.empty())
        folder = Utf8(DesktopFolder().c_str());
    const std::wstring initialFolder = Wide(folder.c_str());

    // One filter whose description is its pattern: "*.wav;*.aif" twice, then the end.
    const std::wstring pattern = Wide(FileDialogPattern(extensions).c_str());
    std::wstring filter;
    if (!pattern.empty())
        filter = pattern + L'\0' + pattern + L'\0' + L'\0';
    const std::wstring defaultExtension = Wide(FirstExtension(extensions).c_str());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mWindow;
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.lpstrFile = name;
    dialog.nMaxFile = kNameBufferChars;
    dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    BOOL chosen = FALSE;
    if (action == 1) {
        dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        chosen = GetSaveFileNameW(&dialog);
    } else {
        dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameW(&dialog);
    }
    if (!chosen)
        return;
    wchar_t drive[_MAX_DRIVE] = {};
    wchar_t directory[_MAX_DIR] = {};
    if (_wsplitpath_s(name, drive, _MAX_DRIVE, directory, _MAX_DIR, nullptr, 0, nullptr, 0) == 0)
        folder = Utf8(drive) + Utf8(directory);
    out = Utf8(name);
}

bool IEditorWindow::ChooseColour(IColour& colour, const char* prompt) {
    if (!mWindow)
        return false;
    if (!mCustomColours) {
        mCustomColours = std::make_unique<COLORREF[]>(16); // zeroed
    }
    const std::wstring caption = Wide(prompt);
    auto channel = [](int value) { return static_cast<BYTE>(std::clamp(value, 0, 255)); };
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mWindow;
    dialog.rgbResult = RGB(channel(colour.R), channel(colour.G), channel(colour.B));
    dialog.lpCustColors = mCustomColours.get();
    dialog.Flags = CC_FULLOPEN | CC_ANYCOLOR | CC_SOLIDCOLOR | CC_RGBINIT;
    if (prompt) {
        dialog.Flags |= CC_ENABLEHOOK;
        dialog.lpfnHook = &ColourDialogHook;
        dialog.lCustData = reinterpret_cast<LPARAM>(caption.c_str());
    }
    if (!ChooseColorW(&dialog))
        return false;
    colour.R = GetRValue(dialog.rgbResult);
    colour.G = GetGValue(dialog.rgbResult);
    colour.B = GetBValue(dialog.rgbResult);
    return true;
}

bool IEditorWindow::OpenWebLink(const char* url, const char* title, const char* confirmation,
                                const char* errorMessage) {
    const std::wstring caption = Wide(title);
    if (confirmation && MessageBoxW(mWindow, Wide(confirmation).c_str(), caption.c_str(), MB_YESNO) != IDYES)
        return false;
    DWORD connection = 0;
    if (url && *url && InternetGetConnectedState(&connection, 0)) {
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(mWindow, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (result > 32)
            return true;
    }
    if (errorMessage)
        MessageBoxW(mWindow, Wide(errorMessage).c_str(), caption.c_str(), MB_OK);
    return false;
}

void IEditorWindow::ResizeWindow(int dw, int dh) {
    auto grow = [&](HWND window) {
        RECT placed{};
        GetWindowRect(window, &placed);
        SetWindowPos(window, nullptr, 0, 0, placed.right - placed.left + dw, placed.bottom - placed.top + dh,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    grow(mWindow);
    // The windows that hold the editor grow with it while they are plain child windows.
    HWND holder = GetParent(mWindow);
    for (int level = 0; level < 2 && holder; ++level) {
        const LONG_PTR style = GetWindowLongPtrW(holder, GWL_STYLE);
        const LONG_PTR extended = GetWindowLongPtrW(holder, GWL_EXSTYLE);
        if (!(style & WS_CHILD) || (extended & WS_EX_MDICHILD))
            break;
        grow(holder);
        holder = GetParent(holder);
    }
    InvalidateRect(mWindow, nullptr, FALSE);
}
