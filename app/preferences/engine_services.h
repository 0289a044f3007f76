#pragma once
#include <string>

#include "preferences_services.h"

class AudioEngine;
class MidiBridge;
struct AppSettings;

// The Preferences dialog's services over the application's audio engine, MIDI
// bridge and settings file. All references must outlive it.
//
// [main thread] Like the engine and the bridge it forwards to.
class EnginePreferencesServices : public PreferencesServices {
  public:
    EnginePreferencesServices(AudioEngine& audio, MidiBridge& midi, const AppSettings& settings,
                              std::string settingsPath);

    bool recreateAudio() override;
    void scanDevices() override;
    std::vector<unsigned> inputDevices() override;
    std::vector<unsigned> outputDevices() override;
    std::string deviceName(unsigned device) override;
    PreferencesDeviceInfo deviceInfo(unsigned device) override;
    bool reopenStream() override;

    bool hasMidi() override;
    std::vector<std::string> midiInPorts() override;
    std::vector<std::string> midiOutPorts() override;
    bool openMidiIn(std::string_view name) override;
    bool openMidiOut(std::string_view name) override;

    void writeSettings() override;
    bool outputNamesInput(std::uint16_t driver) override;

    // The driver's settings window: ASIO's, where the build has it.
    bool hasControlPanel() override;
    void showControlPanel() override;

  private:
    AudioEngine& mAudio;
    MidiBridge& mMidi;
    const AppSettings& mSettings;
    std::string mSettingsPath;
};
