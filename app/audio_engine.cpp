#include "audio_engine.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <limits>

#include "framework/standalone.h"
#include "ini_file.h"

namespace {

constexpr unsigned kChannels = 2;

// Library errors are printed and the program carries on; anything else the
// library lets escape (allocation failures) is treated the same way.
template <typename Action> bool guarded(Action&& action) {
    try {
        action();
        return true;
    } catch (const RtAudioError& error) {
        error.printMessage();
    } catch (const std::exception& error) {
        std::cerr << '\n' << error.what() << "\n\n";
    }
    return false;
}

} // namespace

AudioEngine::AudioEngine(AppSettings& settings) : mSettings(settings) {}

AudioEngine::~AudioEngine() {
    abortAndClose();
    destroyAudio();
}

RtAudio::Api AudioEngine::apiForDriver(std::uint16_t driver) {
    return driver == 1 ? RtAudio::UNIX_JACK : RtAudio::LINUX_ALSA;
}

const char* AudioEngine::driverDisplayName(std::uint16_t driver) {
    return driver == 1 ? "JACK" : "ALSA";
}

void AudioEngine::setPlugin(IEffectStandalone* plugin) {
    mPlugin.store(plugin);
}

bool AudioEngine::isStreamOpen() const {
    return mAudio && mAudio->isStreamOpen();
}

bool AudioEngine::isStreamRunning() const {
    return mAudio && mAudio->isStreamRunning();
}

void AudioEngine::abortAndClose() {
    if (!mAudio || !mAudio->isStreamOpen()) {
        return;
    }
    if (mAudio->isStreamRunning()) {
        guarded([&] { mAudio->abortStream(); });
    }
    guarded([&] { mAudio->closeStream(); });
}

bool AudioEngine::recreateAudio() {
    abortAndClose();
    mAudio.reset();
    mInputDevices.clear();
    mOutputDevices.clear();
    const RtAudio::Api api = apiForDriver(mSettings.driver);
    guarded([&] { mAudio = std::make_unique<RtAudio>(api); });
    return mAudio != nullptr;
}

void AudioEngine::scanDevices() {
    mInputDevices.clear();
    mOutputDevices.clear();
    if (!mAudio) {
        return;
    }
    const unsigned count = mAudio->getDeviceCount();
    for (unsigned i = 0; i < count; ++i) {
        RtAudio::DeviceInfo info;
        if (!guarded([&] { info = mAudio->getDeviceInfo(i); })) {
            continue;
        }
        if (!info.probed) {
            std::cout << info.name << ": Probe Status = Unsuccessful" << std::endl;
            continue;
        }
        if (info.inputChannels > 0) {
            mInputDevices.push_back(i);
        }
        if (info.outputChannels > 0) {
            mOutputDevices.push_back(i);
        }
    }
}

std::string AudioEngine::deviceName(unsigned index) {
    std::string name;
    if (mAudio) {
        guarded([&] { name = mAudio->getDeviceInfo(index).name; });
    }
    return name;
}

std::optional<unsigned> AudioEngine::findDeviceByName(std::string_view name) {
    if (!mAudio) {
        return std::nullopt;
    }
    const unsigned count = mAudio->getDeviceCount();
    std::optional<unsigned> prefixMatch;
    for (unsigned i = 0; i < count; ++i) {
        const std::string candidate = deviceName(i);
        if (candidate == name) {
            return i;
        }
        if (!prefixMatch && isCutFormOf(name, candidate)) {
            prefixMatch = i;
        }
    }
    return prefixMatch;
}

std::optional<unsigned> AudioEngine::resolveDevice(std::string_view name, bool input) {
    if (std::optional<unsigned> found = findDeviceByName(name)) {
        return found;
    }
    if (name != kDefaultDeviceName || !mAudio || mAudio->getDeviceCount() == 0) {
        return std::nullopt;
    }
    std::optional<unsigned> fallback;
    guarded([&] { fallback = input ? mAudio->getDefaultInputDevice() : mAudio->getDefaultOutputDevice(); });
    return fallback;
}

bool AudioEngine::reopenStream() {
    if (!mAudio) {
        return false;
    }
    // With JACK one server serves both directions, so the output device names
    // the input too.
    const char* inputName = mSettings.driver == 1 ? mSettings.outdev : mSettings.indev;
    const std::optional<unsigned> input = resolveDevice(inputName, true);
    const std::optional<unsigned> output = resolveDevice(mSettings.outdev, false);
    if (!input || !output) {
        return false;
    }
    return openAudioStream(*input, *output, parseDecimal(mSettings.sr), parseDecimal(mSettings.iovs),
                           static_cast<std::uint32_t>(mSettings.in1) - 1u,
                           static_cast<std::uint32_t>(mSettings.out1) - 1u);
}

bool AudioEngine::openAudioStream(std::uint32_t inputDevice, std::uint32_t outputDevice,
                                  std::uint32_t sampleRate, std::uint32_t ioVectorSize,
                                  std::uint32_t firstInputChannel, std::uint32_t firstOutputChannel) {
    if (!mAudio) {
        return false;
    }
    abortAndClose();

    // Channel 0 in the settings wraps to a huge first channel; the library's
    // own range check adds the channel count and would wrap back into range.
    constexpr std::uint32_t kLastFirstChannel = std::numeric_limits<std::uint32_t>::max() - kChannels;
    if (firstInputChannel > kLastFirstChannel || firstOutputChannel > kLastFirstChannel) {
        std::cerr << "\nAudioEngine: device channels must be numbered from 1.\n\n";
        return false;
    }

    RtAudio::StreamParameters inputParams;
    inputParams.deviceId = inputDevice;
    inputParams.nChannels = kChannels;
    inputParams.firstChannel = firstInputChannel;
    RtAudio::StreamParameters outputParams;
    outputParams.deviceId = outputDevice;
    outputParams.nChannels = kChannels;
    outputParams.firstChannel = firstOutputChannel;
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_NONINTERLEAVED;
    options.numberOfBuffers = 0;
    options.priority = 0;

    mBufferFrames = ioVectorSize;
    mProcessor.reset(parseDecimal(mSettings.sigvs));
    if (IEffectStandalone* plugin = mPlugin.load()) {
        plugin->SetBlockFrames(static_cast<std::int32_t>(mProcessor.subBlockSize()));
        plugin->SetSampleRateHz(static_cast<double>(sampleRate));
        plugin->ResetProcessing();
    }

    unsigned int frames = mBufferFrames;
    const bool opened = guarded([&] {
        mAudio->openStream(&outputParams, &inputParams, RTAUDIO_FLOAT64, sampleRate, &frames, &streamCallback,
                           this, &options);
        mBufferFrames = frames;
        mAudio->startStream();
    });
    if (!opened) {
        // Opened but not started counts as a failed open: leave it closed.
        abortAndClose();
    }
    return opened;
}

int AudioEngine::streamCallback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                                double /*streamTime*/, RtAudioStreamStatus status, void* userData) {
    auto* engine = static_cast<AudioEngine*>(userData);
    return engine->mProcessor.process(static_cast<double*>(outputBuffer), static_cast<double*>(inputBuffer),
                                      frames, status != 0, engine->mPlugin.load(std::memory_order_acquire),
                                      engine->mSettings.monoinput.load(std::memory_order_relaxed) != 0);
}

void AudioEngine::stopStream() {
    if (mAudio && mAudio->isStreamOpen() && mAudio->isStreamRunning()) {
        guarded([&] { mAudio->stopStream(); });
    }
}

void AudioEngine::closeStream() {
    if (mAudio && mAudio->isStreamOpen()) {
        guarded([&] { mAudio->closeStream(); });
    }
}

void AudioEngine::destroyAudio() {
    abortAndClose();
    mAudio.reset();
    mInputDevices.clear();
    mOutputDevices.clear();
}
