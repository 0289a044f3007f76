#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the Preferences dialog needs to know about one audio device.
struct PreferencesDeviceInfo {
    unsigned inputChannels = 0;
    unsigned outputChannels = 0;
    std::vector<unsigned> sampleRates;
};

// The dialog's view of the audio engine, the MIDI bridge and the settings
// file. Every call runs on the main thread. The real implementation forwards
// to AudioEngine and MidiBridge (EnginePreferencesServices); tests use a fake.
class PreferencesServices {
  public:
    virtual ~PreferencesServices() = default;

    // Closes any stream and makes a new library object for the settings'
    // driver type.
    virtual bool recreateAudio() = 0;
    virtual void scanDevices() = 0;
    virtual std::vector<unsigned> inputDevices() = 0;
    virtual std::vector<unsigned> outputDevices() = 0;
    virtual std::string deviceName(unsigned device) = 0;
    // All zero and no rates when the device cannot be asked.
    virtual PreferencesDeviceInfo deviceInfo(unsigned device) = 0;
    // (Re)opens the stream from the settings.
    virtual bool reopenStream() = 0;

    // Whether both MIDI objects exist; without them the MIDI lists stay empty.
    virtual bool hasMidi() = 0;
    // "off" first, then the ports' names.
    virtual std::vector<std::string> midiInPorts() = 0;
    virtual std::vector<std::string> midiOutPorts() = 0;
    // Open the port of that name, or none for "off". A name no port has
    // becomes "off" in the settings and the settings file is written.
    virtual bool openMidiIn(std::string_view name) = 0;
    virtual bool openMidiOut(std::string_view name) = 0;

    // Writes the current settings to the settings file.
    virtual void writeSettings() = 0;

    // Whether the driver type's output device stands for its input too (one
    // device serves both directions), so the input list has nothing to choose.
    virtual bool outputNamesInput(std::uint16_t driver) { return driver == 1; }

    // The driver's own settings window, where the back end has one.
    virtual bool hasControlPanel() = 0;
    virtual void showControlPanel() = 0;
};
