#include "application.h"

#include <commctrl.h>

#include <cstdio>

#include "graphics/editor_view.h"
#include "graphics/view_factory.h"
#include "graphics/win32/editor_window.h"
#include "platform/files.h"
#include "preferences_window.h"
#include "resource_ids.h"
#include "single_instance.h"

namespace {

constexpr int kEditorWidth = 288;
constexpr int kEditorHeight = 392;
// The system's dialog class.
constexpr ULONG_PTR kDialogClassAtom = 32770;
// The main window's timer for StandaloneApp::watch.
constexpr UINT_PTR kWatchTimer = 1;

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
        return app->onMainWindowMessage(window, message, wParam);
    } catch (...) {
        app->mFailure = std::current_exception();
        if (app->mMainWindow == window) {
            app->closeWindows();
        }
        ::PostQuitMessage(0);
        return TRUE;
    }
}

INT_PTR Application::onMainWindowMessage(HWND window, UINT message, WPARAM wParam) {
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
            return FALSE;
        }
    default:
        return FALSE;
    }
}

void Application::initialiseMainWindow(HWND window) {
    mMainWindow = window;
    IEditorView* editor = mApp.editor();
    if (editor != nullptr && editor->OpenEditorWindow(window) != nullptr) {
        mApp.plugin()->EditorOpened();
    } else {
        std::printf("couldn't attach gui\n");
        std::fflush(stdout);
    }

    // Outer size such that the client area, below the menu, is the editor's.
    RECT outer{};
    RECT client{};
    ::GetWindowRect(window, &outer);
    ::GetClientRect(window, &client);
    const int width = (outer.right - outer.left) - (client.right - client.left) + kEditorWidth;
    const int height = (outer.bottom - outer.top) - (client.bottom - client.top) + kEditorHeight;
    const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2 - kEditorWidth / 2;
    const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2 - kEditorHeight / 2;
    ::MoveWindow(window, x, y, width, height, FALSE);
    ::ShowWindow(window, SW_SHOW);
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
