#include "audio_engine.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <exception>
#include <iostream>
#include <limits>
#include <thread>

#if defined(_WIN32) && defined(VT4R_WITH_ASIO)
#include "asiosys.h"
#include "asio.h"
#endif

#include "framework/standalone.h"
#include "ini_file.h"
#include "no_cancellation.h"

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

// The library's error handler carries no user data; one engine per process
// runs a stream, so the mark is the process's.
std::atomic<bool> gStreamFailed{false};

// [any thread: the main thread, or the library's stream thread] With a
// handler installed the library no longer throws for the open stream: an
// error on its own thread would otherwise end the program. For an error it
// has already stopped the stream. The text is built (and copied) by the
// library before the call; stdio writes it without allocating here.
void onStreamError(RtAudioError::Type type, const std::string& text) {
    std::fputs("\n", stderr);
    std::fputs(text.c_str(), stderr);
    std::fputs("\n\n", stderr);
    std::fflush(stderr);
    if (type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING) {
        gStreamFailed.store(true);
    }
}

// CPU time of the calling thread, for the soak's budget: unlike the wall
// clock it leaves out time the system gave to others. 0 where there is none.
std::int64_t threadCpuNanoseconds() {
#if defined(_WIN32)
    return 0;
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
#endif
}

// How long an open waits for the first callback before it takes the stream
// as running; a back end that fails on its own thread does so well before.
constexpr auto kFirstCallbackWait = std::chrono::milliseconds(200);

} // namespace

AudioEngine::AudioEngine(AppSettings& settings) : mSettings(settings) {}

AudioEngine::~AudioEngine() {
    abortAndClose();
    destroyAudio();
}

#if defined(_WIN32)
#if defined(VT4R_WITH_ASIO)
constexpr RtAudio::Api kSecondApi = RtAudio::WINDOWS_ASIO;
constexpr const char* kSecondName = "ASIO";
#else
// Without the ASIO SDK the second driver type is the system's other
// low-latency interface.
constexpr RtAudio::Api kSecondApi = RtAudio::WINDOWS_WASAPI;
constexpr const char* kSecondName = "WASAPI";
#endif
constexpr RtAudio::Api kFirstApi = RtAudio::WINDOWS_DS;
constexpr const char* kFirstName = "DirectSound";
#else
constexpr RtAudio::Api kFirstApi = RtAudio::LINUX_ALSA;
constexpr const char* kFirstName = "ALSA";
constexpr RtAudio::Api kSecondApi = RtAudio::UNIX_JACK;
constexpr const char* kSecondName = "JACK";
#endif

RtAudio::Api AudioEngine::apiForDriver(std::uint16_t driver) {
    return driver == 1 ? kSecondApi : kFirstApi;
}

const char* AudioEngine::driverDisplayName(std::uint16_t driver) {
    return driver == 1 ? kSecondName : kFirstName;
}

bool AudioEngine::outputNamesInput(std::uint16_t driver) {
    // DirectSound and WASAPI list capture and render devices apart.
    return driver == 1 && (kSecondApi == RtAudio::UNIX_JACK || kSecondApi == RtAudio::WINDOWS_ASIO);
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

bool AudioEngine::streamFailed() const {
    // JACK's back end closes the stream itself, on a thread of its own, when
    // the server goes away; it is seen here once that close has finished.
    // Only a stream that was running: an open that failed is not retried
    // (WASAPI under Wine would leave a blocked thread behind each time).
    return mStarted && (gStreamFailed.load() || !isStreamRunning());
}

std::optional<std::string> AudioEngine::missingDevice() {
    const char* inputName = outputNamesInput(mSettings.driver) ? mSettings.outdev : mSettings.indev;
    if (!resolveDevice(inputName, true)) {
        return std::string(inputName);
    }
    if (!resolveDevice(mSettings.outdev, false)) {
        return std::string(mSettings.outdev);
    }
    return std::nullopt;
}

bool AudioEngine::hasControlPanel() const {
#if defined(_WIN32) && defined(VT4R_WITH_ASIO)
    // RtAudio has the driver loaded only while a stream is open.
    return mAudio && mAudio->getCurrentApi() == RtAudio::WINDOWS_ASIO && mAudio->isStreamOpen();
#else
    return false;
#endif
}

void AudioEngine::showControlPanel() {
#if defined(_WIN32) && defined(VT4R_WITH_ASIO)
    if (hasControlPanel()) {
        ASIOControlPanel();
    }
#endif
}

void AudioEngine::abortAndClose() {
    mStarted = false;
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
    // DirectSound's back end answers device 0 for both directions, and 0 is
    // the primary output: a default that cannot serve the direction gives way
    // to the first device that can.
    const std::vector<unsigned>& usable = input ? mInputDevices : mOutputDevices;
    if (fallback && !usable.empty() && std::find(usable.begin(), usable.end(), *fallback) == usable.end()) {
        fallback = usable.front();
    }
    return fallback;
}

bool AudioEngine::reopenStream() {
    if (!mAudio) {
        return false;
    }
    const char* inputName = outputNamesInput(mSettings.driver) ? mSettings.outdev : mSettings.indev;
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
    // The client's name in JACK patchbays.
    options.streamName = "VT4R";

    mBufferFrames = ioVectorSize;
    mProcessor.reset(parseDecimal(mSettings.sigvs));
    if (IEffectStandalone* plugin = mPlugin.load()) {
        plugin->SetBlockFrames(static_cast<std::int32_t>(mProcessor.subBlockSize()));
        plugin->SetSampleRateHz(static_cast<double>(sampleRate));
        plugin->ResetProcessing();
    }

    unsigned int frames = mBufferFrames;
    gStreamFailed.store(false);
    mCallbackSeen.store(false);
    // The open itself still throws; from the moment the stream is open the
    // library reports through the handler instead, start-up included.
    bool opened = guarded([&] {
        mAudio->openStream(&outputParams, &inputParams, RTAUDIO_FLOAT64, sampleRate, &frames, &streamCallback,
                           this, &options, &onStreamError);
        mBufferFrames = frames;
        mAudio->startStream();
    });
    mStarted = opened;
    if (opened && !startedCleanly()) {
        opened = false;
    }
    if (!opened) {
        // Opened but not started counts as a failed open: leave it closed.
        abortAndClose();
    }
    return opened;
}

bool AudioEngine::startedCleanly() {
    const auto end = std::chrono::steady_clock::now() + kFirstCallbackWait;
    while (!mCallbackSeen.load(std::memory_order_acquire)) {
        if (gStreamFailed.load()) {
            return false; // the handler has printed why
        }
        if (!mAudio->isStreamRunning()) {
            // A back end whose thread failed without reaching the handler:
            // RtAudio 5.2's WASAPI thread, aborting its own stream, waits on
            // itself before it can report (as under Wine, which lacks a call
            // it needs); the thread stays blocked, the program carries on.
            std::cerr << "\nAudioEngine: the " << driverDisplayName(mSettings.driver)
                      << " stream stopped as it started; the device or its driver failed.\n\n";
            return false;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return true; // slow to start is not a failure
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return !gStreamFailed.load();
}

int AudioEngine::streamCallback(void* outputBuffer, void* inputBuffer, unsigned int frames,
                                double /*streamTime*/, RtAudioStreamStatus status, void* userData) {
    // JACK stops a client's thread by cancelling it (a server that went away,
    // a stream stopped during underflows): never inside this callback, whose
    // status message is a cancellation point and whose frames cannot be
    // unwound. The cancel takes effect in the library's own wait afterwards.
    const NoCancellation noCancellation;
    auto* engine = static_cast<AudioEngine*>(userData);
    const bool timed = engine->mTimesCapacity != 0;
    const auto entry = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    const std::int64_t cpuEntry = timed ? threadCpuNanoseconds() : 0;
    if (!engine->mCallbackSeen.load(std::memory_order_relaxed)) {
        engine->mCallbackSeen.store(true, std::memory_order_release);
    }
    const int result =
        engine->mProcessor.process(static_cast<double*>(outputBuffer), static_cast<double*>(inputBuffer), frames,
                                   status != 0, engine->mPlugin.load(std::memory_order_acquire),
                                   engine->mSettings.monoinput.load(std::memory_order_relaxed) != 0);
    if (timed) {
        const auto nanoseconds =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - entry).count();
        const std::int64_t cpu = threadCpuNanoseconds() - cpuEntry;
        const std::uint64_t n = engine->mTimesCount.load(std::memory_order_relaxed);
        const std::size_t at = 2 * static_cast<std::size_t>(n % engine->mTimesCapacity);
        constexpr long long kMost = std::numeric_limits<std::uint32_t>::max();
        engine->mTimes[at] = static_cast<std::uint32_t>(std::clamp<long long>(nanoseconds, 0, kMost));
        engine->mTimes[at + 1] = static_cast<std::uint32_t>(std::clamp<long long>(cpu, 0, kMost));
        engine->mTimesCount.store(n + 1, std::memory_order_release);
    }
    return result;
}

void AudioEngine::recordCallbackTimes(std::size_t capacity) {
    abortAndClose();
    mTimes = capacity != 0 ? std::make_unique<std::uint32_t[]>(2 * capacity) : nullptr;
    mTimesCapacity = capacity;
    mTimesCount.store(0);
}

bool AudioEngine::writeCallbackTimes(const std::string& path) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const std::uint64_t count = mTimesCount.load(std::memory_order_acquire);
    const std::uint64_t kept = std::min<std::uint64_t>(count, mTimesCapacity);
    bool ok = true;
    for (std::uint64_t i = count - kept; i < count && ok; ++i) {
        const std::size_t at = 2 * static_cast<std::size_t>(i % mTimesCapacity);
        ok = std::fprintf(file, "%u %u\n", static_cast<unsigned>(mTimes[at]), static_cast<unsigned>(mTimes[at + 1])) > 0;
    }
    return std::fclose(file) == 0 && ok;
}

void AudioEngine::stopStream() {
    mStarted = false;
    if (mAudio && mAudio->isStreamOpen() && mAudio->isStreamRunning()) {
        guarded([&] { mAudio->stopStream(); });
    }
}

void AudioEngine::closeStream() {
    mStarted = false;
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
