#pragma once
#include <memory>
#include <string>

#include "audio_engine.h"
#include "framework/standalone.h"
#include "midi_bridge.h"
#include "settings.h"
#include "single_instance.h"

class IEditorView;
class MainWindow;

// The standalone program: one instance per user, the settings, the audio
// engine, the MIDI bridge, the plug-in and the main window, brought up in
// that order and torn down in a fixed order so that no callback ever meets a
// plug-in that is gone.
class Application {
  public:
    // Exit codes.
    static constexpr int kExitOk = 0;
    static constexpr int kExitNoSettingsFolder = 1;
    static constexpr int kExitFailure = 70;

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole run, from the instance check to the end of the shutdown.
    int run();

  private:
    bool startUp();
    void openMainWindow();
    void openPortsAndStream();
    void runPreferences();
    void shutdown();
    void watchQuitSignals();
    static void onRaiseRequest(int fd, void* self);
    static void onQuitSignalPipe(int fd, void* self);

    SingleInstance mInstance;
    AppSettings mSettings;
    AppSettings mSettingsSnapshot;
    std::string mSettingsPath;
    std::unique_ptr<AudioEngine> mAudio;
    std::unique_ptr<MidiBridge> mMidi;
    std::unique_ptr<IEffectStandalone> mPlugin;
    std::unique_ptr<MainWindow> mWindow;
    IEditorView* mEditor = nullptr; // owned by the plug-in
    bool mShutDown = false;
    int mQuitPipe[2] = {-1, -1};
};
