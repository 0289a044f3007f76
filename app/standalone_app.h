#pragma once
#include <chrono>
#include <memory>
#include <string>

#include "audio_engine.h"
#include "framework/standalone.h"
#include "midi_bridge.h"
#include "settings.h"

class IEditorView;

// The standalone program without its window toolkit: the settings, the audio
// engine, the MIDI bridge and the plug-in, brought up in order and torn down
// in a fixed order so that no callback ever meets a plug-in that is gone.
// Each platform's shell (its windows, its single-instance check, its event
// loop) sits on top and calls these steps at its points of the run.
//
// [main thread] All of it.
class StandaloneApp {
  public:
    // Exit codes.
    static constexpr int kExitOk = 0;
    static constexpr int kExitNoSettingsFolder = 1;
    static constexpr int kExitFailure = 70;

    StandaloneApp() = default;
    ~StandaloneApp();
    StandaloneApp(const StandaloneApp&) = delete;
    StandaloneApp& operator=(const StandaloneApp&) = delete;

    // Settings path and file, audio library and device lists, MIDI objects and
    // port lists, then the plug-in with its first preset, its editor made by
    // the factory the shell installed. False, with nothing else done, when no
    // settings folder can be found.
    bool startUp();
    // The MIDI ports and then the stream, from the settings.
    void openPortsAndStream();

    // Runs the Preferences dialog through `run` (which shows it over the
    // engine's services and answers 1 for OK); after OK the settings are
    // written. False only when that write failed: the choices stay in effect
    // for this run and the shell should say that they were not kept.
    template <typename RunDialog> bool runPreferences(RunDialog&& run) {
        // The dialog opens streams and ports itself; the watch waits for it.
        mInDialog = true;
        const int answer = run(*mAudio, *mMidi, mSettings, mSettingsSnapshot, mSettingsPath);
        mInDialog = false;
        afterPreferences();
        return answer != 1 || writeSettings(mSettingsPath, mSettings);
    }

    // How often the shell should call watch().
    static constexpr std::chrono::milliseconds kWatchInterval{250};
    // The longest pause between two attempts to reopen a lost stream.
    static constexpr std::chrono::milliseconds kLongestRetryPause{2000};
    // Called by the shell's timer: notices a stream the audio system has
    // stopped or closed by itself (a device unplugged, a JACK server that
    // went away), says so, and opens it again, with a pause that grows after
    // every failed attempt, until it runs; then follows MIDI ports that went
    // away and come back.
    void watch(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    bool recovering() const { return mRecovering; }

    // Stops the stream and the MIDI input, closes both, destroys the plug-in
    // (its editor with it), then the MIDI objects and the audio library.
    // The shell closes its windows first. Runs once; later calls do nothing.
    void shutdown();

    IEffectStandalone* plugin() const { return mPlugin.get(); }
    IEditorView* editor() const { return mEditor; }
    const std::string& settingsPath() const { return mSettingsPath; }
    AppSettings& settings() { return mSettings; }
    AudioEngine* audio() const { return mAudio.get(); }
    MidiBridge* midi() const { return mMidi.get(); }

  private:
    void afterPreferences();
    bool tryReopen();
    void restartReleasedMidi();
    // Writes the settings file; a failure is reported on stderr, once a run.
    void saveSettings();
    void reportUnsavedSettings(int error);

    AppSettings mSettings;
    AppSettings mSettingsSnapshot;
    std::string mSettingsPath;
    std::string mCallbackTimesPath;
    std::unique_ptr<AudioEngine> mAudio;
    std::unique_ptr<MidiBridge> mMidi;
    std::unique_ptr<IEffectStandalone> mPlugin;
    IEditorView* mEditor = nullptr; // owned by the plug-in
    bool mShutDown = false;
    bool mInDialog = false;
    bool mRecovering = false;
    bool mMidiReleased = false;
    bool mSaveFailureReported = false;
    std::chrono::milliseconds mRetryPause{0};
    std::chrono::steady_clock::time_point mNextAttempt{};
    std::chrono::steady_clock::time_point mNextPortCheck{};
};
