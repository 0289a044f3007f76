#pragma once
#include <memory>

#include "single_instance.h"
#include "standalone_app.h"

class MainWindow;

// The standalone program on FLTK: one instance per user, then the engine and
// the plug-in (StandaloneApp), the main window, the event loop, and the
// shutdown in its order.
class Application {
  public:
    static constexpr int kExitOk = StandaloneApp::kExitOk;
    static constexpr int kExitNoSettingsFolder = StandaloneApp::kExitNoSettingsFolder;
    static constexpr int kExitFailure = StandaloneApp::kExitFailure;

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole run, from the instance check to the end of the shutdown.
    int run();

  private:
    void openMainWindow();
    void runPreferences();
    // A View menu choice: kept in the settings, then applied to the window and the editor.
    void chooseZoom(double zoom);
    // The scale the current zoom choice stands for.
    double zoomScale() const;
    void shutdown();
    void watchQuitSignals();
    static void onRaiseRequest(int fd, void* self);
    static void onQuitSignalPipe(int fd, void* self);
    static void onWatchTimer(void* self);

    SingleInstance mInstance;
    StandaloneApp mApp;
    std::unique_ptr<MainWindow> mWindow;
    bool mShutDown = false;
    double mZoom = 0.0; // kFollowDesktop until read
    int mQuitPipe[2] = {-1, -1};
};
