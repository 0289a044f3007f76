#include "application.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "graphics/editor_scale.h"
#include "graphics/editor_view.h"
#include "graphics/view_factory.h"
#include "graphics/win32/editor_window.h"
#include "platform/files.h"
#include "preferences_window.h"
#include "resource_ids.h"
#include "single_instance.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

// The system's dialog class.
constexpr ULONG_PTR kDialogClassAtom = 32770;
// The main window's timer for StandaloneApp::watch.
constexpr UINT_PTR kWatchTimer = 1;

// The View menu's items and the zoom each stands for, in menu order.
struct ZoomItem {
    UINT id;
    double zoom;
};
constexpr ZoomItem kZoomItems[] = {
    {IDM_ZOOM_100, 1.0}, {IDM_ZOOM_150, 1.5}, {IDM_ZOOM_200, 2.0}, {IDM_ZOOM_300, 3.0}, {IDM_ZOOM_DESKTOP, kFollowDesktop},
};

// The monitor's scale for `window`: its DPI over 96. GetDpiForWindow is looked up at run
// time, as Windows before 10 (1607) lacks it; there the screen's DPI serves.
double monitorScale(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi == 0) {
        HDC screen = ::GetDC(nullptr);
        dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
        ::ReleaseDC(nullptr, screen);
    }
    return ConformEditorScale(dpi / 96.0);
}

} // namespace

Application::~Application() {
    closeWindows();
    mApp.shutdown();
}

int Application::run() {
    if (single_instance::raiseRunningInstance()) {
        return StandaloneApp::kExitOk;
    }
    ::InitCommonControls();

    // The editor lives in a window of this platform.
    SetEditorViewFactory(&CreateEditorWindowView);
    if (!mApp.startUp()) {
        std::fprintf(stderr, "VT4R: no folder for the settings (the local application data folder)\n");
        return StandaloneApp::kExitNoSettingsFolder;
    }
    if (::CreateDialogParamW(mModule, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), ::GetDesktopWindow(), &mainWindowProc,
                             reinterpret_cast<LPARAM>(this)) == nullptr &&
        !mFailure) {
        std::fprintf(stderr, "VT4R: the main window could not be created (error %lu)\n", ::GetLastError());
        return StandaloneApp::kExitFailure;
    }
    // The ports and the stream open once the window is drawn: opening them
    // can take seconds with some drivers, and the user should see the
    // program start.
    if (mMainWindow != nullptr) {
        ::RedrawWindow(mMainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        drainPendingMessages();
    }
    mApp.openPortsAndStream();
    if (mMainWindow != nullptr) {
        ::SetTimer(mMainWindow, kWatchTimer, static_cast<UINT>(StandaloneApp::kWatchInterval.count()), nullptr);
    }
    if (!mFailure) {
        runMessageLoop();
    }
    closeWindows();
    mApp.shutdown();
    if (mFailure) {
        std::rethrow_exception(mFailure);
    }
    return StandaloneApp::kExitOk;
}

void Application::drainPendingMessages() {
    MSG message;
    while (!mFailure && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Ended already (closed while starting): the loop sees it again.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void Application::runMessageLoop() {
    MSG message;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            break;
        }
        if (got == -1) {
            ::Sleep(10);
            continue;
        }
        if (message.hwnd == nullptr) {
            ::DispatchMessageW(&message);
            continue;
        }
        if (mMainWindow != nullptr && ::IsDialogMessageW(mMainWindow, &message)) {
            continue;
        }
        // The dialog that holds the target: the innermost top-level one, or
        // the outermost of a chain of child dialogs.
        HWND candidate = nullptr;
        for (HWND window = message.hwnd; window != nullptr; window = ::GetParent(window)) {
            if (::GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom) {
                candidate = window;
                if ((::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0) {
                    break;
                }
            }
        }
        if (candidate != nullptr && ::IsDialogMessageW(candidate, &message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

INT_PTR CALLBACK Application::mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* app = reinterpret_cast<Application*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (app == nullptr) {
        return FALSE;
    }
    try {
        return app->onMainWindowMessage(window, message, wParam, lParam);
    } catch (...) {
        app->mFailure = std::current_exception();
        if (app->mMainWindow == window) {
            app->closeWindows();
        }
        ::PostQuitMessage(0);
        return TRUE;
    }
}

INT_PTR Application::onMainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initialiseMainWindow(window);
        return TRUE;
    case WM_CLOSE:
        ::DestroyWindow(window);
        return TRUE;
    case WM_TIMER:
        if (wParam != kWatchTimer) {
            return FALSE;
        }
        mApp.watch();
        return TRUE;
    case WM_DPICHANGED:
        // Handled here: the dialog manager's own resizing would scale the editor's
        // window by the DPI ratio instead of to the editor's device size.
        onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_DESTROY:
        ::KillTimer(window, kWatchTimer);
        // The editor's window goes first, through the editor, so the view
        // never holds a window that is gone.
        if (IEditorView* editor = mApp.editor()) {
            editor->CloseEditorWindow();
        }
        mMainWindow = nullptr;
        ::PostQuitMessage(0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_PREFERENCES:
            runPreferences();
            return TRUE;
        case IDM_QUIT:
            ::DestroyWindow(window);
            return TRUE;
        case IDM_ABOUT:
            // This plug-in shows no about box; the call is still made.
            mApp.plugin()->AboutBoxRequested();
            return TRUE;
        default:
            for (const ZoomItem& item : kZoomItems) {
                if (LOWORD(wParam) == item.id) {
                    chooseZoom(item.zoom);
                    return TRUE;
                }
            }
            return FALSE;
        }
    default:
        return FALSE;
    }
}

void Application::initialiseMainWindow(HWND window) {
    mMainWindow = window;
    // The zoom kept from the last run, else the monitor's.
    mZoom = readViewScale(mApp.settingsPath());
    mDesktopScale = monitorScale(window);
    showZoomChoice();
    IEditorView* editor = mApp.editor();
    if (editor != nullptr) {
        editor->SetScale(zoomScale());
    }
    if (editor != nullptr && editor->OpenEditorWindow(window) != nullptr) {
        mApp.plugin()->EditorOpened();
    } else {
        std::printf("couldn't attach gui\n");
        std::fflush(stdout);
    }

    const int width = editor != nullptr ? editor->DeviceWidth() : 288;
    const int height = editor != nullptr ? editor->DeviceHeight() : 392;
    fitToEditor(::GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2);
    keepOnMonitor();
    ::ShowWindow(window, SW_SHOW);
}

double Application::zoomScale() const {
    return mZoom == kFollowDesktop ? mDesktopScale : ConformEditorScale(mZoom);
}

void Application::showZoomChoice() {
    const HMENU menu = ::GetMenu(mMainWindow);
    for (const ZoomItem& item : kZoomItems) {
        if (item.zoom == mZoom) {
            ::CheckMenuRadioItem(menu, kZoomItems[0].id, IDM_ZOOM_DESKTOP, item.id, MF_BYCOMMAND);
        }
    }
}

void Application::chooseZoom(double zoom) {
    mZoom = zoom;
    showZoomChoice();
    if (!writeViewScale(mApp.settingsPath(), zoom)) {
        std::fprintf(stderr, "VT4R: could not keep the zoom in %s\n", mApp.settingsPath().c_str());
    }
    applyScale(zoomScale());
    RECT placed{};
    ::GetWindowRect(mMainWindow, &placed);
    fitToEditor(placed.left, placed.top);
    keepOnMonitor();
}

void Application::keepOnMonitor() {
    RECT placed{};
    ::GetWindowRect(mMainWindow, &placed);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(mMainWindow, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT& work = monitor.rcWork;
    // Grown past the right or bottom edge: moved back; the caption stays reachable when
    // the window is larger than the monitor.
    const LONG x = std::max(work.left, std::min(placed.left, work.right - (placed.right - placed.left)));
    const LONG y = std::max(work.top, std::min(placed.top, work.bottom - (placed.bottom - placed.top)));
    if (x != placed.left || y != placed.top) {
        ::SetWindowPos(mMainWindow, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Application::applyScale(double scale) {
    IEditorView* view = mApp.editor();
    if (view == nullptr || scale == view->Scale()) {
        return;
    }
    if (auto* editor = dynamic_cast<IEditorWindowCore*>(view)) {
        editor->SetWindowScale(scale);
    } else {
        view->SetScale(scale);
    }
}

void Application::fitToEditor(int x, int y) {
    IEditorView* editor = mApp.editor();
    const int width = editor != nullptr ? editor->DeviceWidth() : 288;
    const int height = editor != nullptr ? editor->DeviceHeight() : 392;
    // Measured rather than computed: the frame and the menu bar as this window has them at
    // its DPI (a menu bar too narrow for its items wraps onto a second line).
    for (int pass = 0; pass < 2; ++pass) {
        RECT outer{};
        RECT client{};
        ::GetWindowRect(mMainWindow, &outer);
        ::GetClientRect(mMainWindow, &client);
        if (pass == 1 && client.right == width && client.bottom == height) {
            break;
        }
        ::SetWindowPos(mMainWindow, nullptr, x, y, (outer.right - outer.left) - client.right + width,
                       (outer.bottom - outer.top) - client.bottom + height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Application::onDpiChanged(UINT dpi, const RECT& suggested) {
    mDesktopScale = ConformEditorScale(dpi / 96.0);
    applyScale(zoomScale());
    // The frame and menu take the new DPI's sizes at the suggested place first.
    ::SetWindowPos(mMainWindow, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    fitToEditor(suggested.left, suggested.top);
}

void Application::runPreferences() {
    const bool kept = mApp.runPreferences([this](AudioEngine& audio, MidiBridge& midi, AppSettings& settings,
                                                 AppSettings& snapshot, const std::string& path) {
        return RunPreferencesDialog(audio, midi, settings, snapshot, path, mMainWindow);
    });
    if (!kept) {
        // The choices stay in effect for this run; say that they were not kept.
        const std::wstring text = L"VT4R could not save the settings to\n" + platform::WidePath(mApp.settingsPath()) +
                                  L"\n\nThey apply until VT4R is closed.";
        ::MessageBoxW(mMainWindow, text.c_str(), L"VT4R", MB_OK | MB_ICONWARNING);
    }
}

void Application::closeWindows() {
    if (mMainWindow != nullptr) {
        ::DestroyWindow(mMainWindow); // WM_DESTROY forgets it
        mMainWindow = nullptr;
    }
}
