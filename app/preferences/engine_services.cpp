#include "engine_services.h"

#include <exception>
#include <iostream>

#include "audio_engine.h"
#include "midi_bridge.h"
#include "settings.h"

EnginePreferencesServices::EnginePreferencesServices(AudioEngine& audio, MidiBridge& midi,
                                                     const AppSettings& settings, std::string settingsPath)
    : mAudio(audio), mMidi(midi), mSettings(settings), mSettingsPath(std::move(settingsPath)) {}

bool EnginePreferencesServices::recreateAudio() {
    return mAudio.recreateAudio();
}

void EnginePreferencesServices::scanDevices() {
    mAudio.scanDevices();
}

std::vector<unsigned> EnginePreferencesServices::inputDevices() {
    return mAudio.inputDevices();
}

std::vector<unsigned> EnginePreferencesServices::outputDevices() {
    return mAudio.outputDevices();
}

std::string EnginePreferencesServices::deviceName(unsigned device) {
    return mAudio.deviceName(device);
}

PreferencesDeviceInfo EnginePreferencesServices::deviceInfo(unsigned device) {
    PreferencesDeviceInfo result;
    RtAudio* audio = mAudio.audio();
    if (audio == nullptr) {
        return result;
    }
    // Library errors are printed and the dialog carries on with an empty
    // device, as everywhere else in the application.
    try {
        const RtAudio::DeviceInfo info = audio->getDeviceInfo(device);
        if (info.probed) {
            result.inputChannels = info.inputChannels;
            result.outputChannels = info.outputChannels;
            result.sampleRates = info.sampleRates;
        }
    } catch (const RtAudioError& error) {
        error.printMessage();
    } catch (const std::exception& error) {
        std::cerr << '\n' << error.what() << "\n\n";
    }
    return result;
}

bool EnginePreferencesServices::reopenStream() {
    return mAudio.reopenStream();
}

bool EnginePreferencesServices::hasControlPanel() {
    return mAudio.hasControlPanel();
}

void EnginePreferencesServices::showControlPanel() {
    mAudio.showControlPanel();
}

bool EnginePreferencesServices::hasMidi() {
    return mMidi.input() != nullptr && mMidi.output() != nullptr;
}

std::vector<std::string> EnginePreferencesServices::midiInPorts() {
    return mMidi.midiInPorts();
}

std::vector<std::string> EnginePreferencesServices::midiOutPorts() {
    return mMidi.midiOutPorts();
}

bool EnginePreferencesServices::openMidiIn(std::string_view name) {
    return mMidi.openMidiIn(name);
}

bool EnginePreferencesServices::openMidiOut(std::string_view name) {
    return mMidi.openMidiOut(name);
}

void EnginePreferencesServices::writeSettings() {
    ::writeSettings(mSettingsPath, mSettings);
}

bool EnginePreferencesServices::outputNamesInput(std::uint16_t driver) {
    return AudioEngine::outputNamesInput(driver);
}
