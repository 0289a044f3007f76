#pragma once
#include <exception>

#include <windows.h>

#include "standalone_app.h"

// The standalone program on Win32: one instance per session (the mutex
// "VT4R"), then the engine and the plug-in (StandaloneApp), the main window
// from template 997 with the editor inside, the message loop, and the
// shutdown in its order. The editor draws at the monitor's scale (the process
// is per-monitor DPI aware), or at the zoom chosen in the View menu and kept
// in settings.ini [view] scale.
//
// [main thread] All of it.
class Application {
  public:
    explicit Application(HINSTANCE module) : mModule(module) {}
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole run; answers the exit code. An exception raised in a window
    // procedure ends the loop and leaves from here, after the shutdown.
    int run();

  private:
    static INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR onMainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void initialiseMainWindow(HWND window);
    // The View menu's choice: ticked, kept in the settings and applied.
    void chooseZoom(double zoom);
    void showZoomChoice();
    // The scale the editor draws at: the zoom chosen, else the monitor's.
    double zoomScale() const;
    // Redraws the editor at `scale` (closing a value box made for the old one).
    void applyScale(double scale);
    // Sizes the main window so that its client area, below the menu, is the
    // editor's device size, with its corner at (x, y).
    void fitToEditor(int x, int y);
    // Moves the main window into its monitor's work area where it has grown out of it.
    void keepOnMonitor();
    // The monitor moved to another DPI: a new scale and the place it suggests.
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void runPreferences();
    void runMessageLoop();
    // Handles what is already queued (the first paint), without waiting.
    void drainPendingMessages();
    void closeWindows();

    HINSTANCE mModule;
    StandaloneApp mApp;
    HWND mMainWindow = nullptr;
    // A scale, or kFollowDesktop.
    double mZoom = 0.0;
    // The monitor's scale (its DPI over 96), conformed.
    double mDesktopScale = 1.0;
    // What a window procedure threw: a system frame must not be unwound.
    std::exception_ptr mFailure;
};
