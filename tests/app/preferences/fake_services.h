#pragma once
// Stands in for the audio engine, the MIDI bridge and the settings file: two
// driver types with made-up devices, MIDI ports, and a log of every call that
// changes something, so tests can check what was reopened and in which order.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "preferences_services.h"
#include "settings.h"

struct FakeDevice {
    std::string name;
    unsigned inputChannels = 0;
    unsigned outputChannels = 0;
    std::vector<unsigned> sampleRates;
};

class FakeServices : public PreferencesServices {
  public:
    explicit FakeServices(AppSettings& settings) : mSettings(settings) {}

    // Devices of each driver type (0 ALSA, 1 JACK); scanned as the engine
    // would at start-up.
    std::array<std::vector<FakeDevice>, 2> drivers;
    // False for a second driver type that lists inputs apart (WASAPI).
    bool secondDriverIsOneDevice = true;
    std::vector<std::string> inPorts{"off", "Synth In", "Keys"};
    std::vector<std::string> outPorts{"off", "Synth Out"};
    bool midiAvailable = true;
    bool controlPanel = false;
    // Ports that have gone away since the lists were made.
    std::vector<std::string> vanishedPorts;

    std::vector<std::string>
        calls; // "recreateAudio", "scanDevices", "reopenStream", "openMidiIn:<name>", ...
    std::vector<AppSettings> reopens; // the settings at each reopenStream
    int writes = 0;
    int controlPanelsShown = 0;

    void startUp() {
        mCurrent = mSettings.driver == 1 ? 1 : 0;
        scan();
    }

    bool recreateAudio() override {
        calls.push_back("recreateAudio");
        mCurrent = mSettings.driver == 1 ? 1 : 0;
        mInputs.clear();
        mOutputs.clear();
        return true;
    }
    void scanDevices() override {
        calls.push_back("scanDevices");
        scan();
    }
    std::vector<unsigned> inputDevices() override { return mInputs; }
    std::vector<unsigned> outputDevices() override { return mOutputs; }
    std::string deviceName(unsigned device) override {
        const auto& devices = drivers[mCurrent];
        return device < devices.size() ? devices[device].name : std::string();
    }
    PreferencesDeviceInfo deviceInfo(unsigned device) override {
        const auto& devices = drivers[mCurrent];
        if (device >= devices.size()) {
            return {};
        }
        return {devices[device].inputChannels, devices[device].outputChannels, devices[device].sampleRates};
    }
    bool reopenStream() override {
        calls.push_back("reopenStream");
        reopens.push_back(mSettings);
        return true;
    }

    bool hasMidi() override { return midiAvailable; }
    std::vector<std::string> midiInPorts() override {
        return midiAvailable ? inPorts : std::vector<std::string>{};
    }
    std::vector<std::string> midiOutPorts() override {
        return midiAvailable ? outPorts : std::vector<std::string>{};
    }
    bool openMidiIn(std::string_view name) override {
        return openPort("openMidiIn:", name, mSettings.midiIndev);
    }
    bool openMidiOut(std::string_view name) override {
        return openPort("openMidiOut:", name, mSettings.midiOutdev);
    }

    void writeSettings() override {
        calls.push_back("writeSettings");
        ++writes;
    }
    bool hasControlPanel() override { return controlPanel; }
    bool outputNamesInput(std::uint16_t driver) override { return driver == 1 && secondDriverIsOneDevice; }
    void showControlPanel() override {
        calls.push_back("showControlPanel");
        ++controlPanelsShown;
    }

  private:
    void scan() {
        mInputs.clear();
        mOutputs.clear();
        const auto& devices = drivers[mCurrent];
        for (unsigned i = 0; i < devices.size(); ++i) {
            if (devices[i].inputChannels > 0) {
                mInputs.push_back(i);
            }
            if (devices[i].outputChannels > 0) {
                mOutputs.push_back(i);
            }
        }
    }

    // Like the bridge: a name no current port has becomes "off" and is written.
    bool openPort(const char* what, std::string_view name, SettingsText& setting) {
        calls.push_back(what + std::string(name));
        for (const std::string& gone : vanishedPorts) {
            if (gone == name) {
                setText(setting, "off");
                writeSettings();
                return true;
            }
        }
        return true;
    }

    AppSettings& mSettings;
    std::size_t mCurrent = 0;
    std::vector<unsigned> mInputs;
    std::vector<unsigned> mOutputs;
};
