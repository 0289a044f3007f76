#pragma once
#include <exception>

#include <windows.h>

#include "standalone_app.h"

// The standalone program on Win32: one instance per session (the mutex
// "VT4R"), then the engine and the plug-in (StandaloneApp), the main window
// from template 997 with the editor inside, the message loop, and the
// shutdown in its order.
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
    INT_PTR onMainWindowMessage(HWND window, UINT message, WPARAM wParam);
    void initialiseMainWindow(HWND window);
    void runPreferences();
    void runMessageLoop();
    // Handles what is already queued (the first paint), without waiting.
    void drainPendingMessages();
    void closeWindows();

    HINSTANCE mModule;
    StandaloneApp mApp;
    HWND mMainWindow = nullptr;
    // What a window procedure threw: a system frame must not be unwound.
    std::exception_ptr mFailure;
};
