#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rtaudio/RtAudio.h>

#include "settings.h"
#include "stream_processor.h"

class IEffectStandalone;

// Connects the audio library to the plug-in: one library object for the
// chosen driver type (Linux: 0 ALSA, 1 JACK; Windows: 0 DirectSound, 1 ASIO
// or, in a build without the ASIO SDK, WASAPI), the lists of usable devices,
// and one duplex stream (2 in, 2 out, 64-bit float, non-interleaved) opened
// from the settings.
//
// Every member function except streamCallback runs on the main thread.
// Library errors are caught where they arise, printed with the library's
// printer and otherwise ignored; nothing here throws. Errors the library
// raises on its own threads while a stream is open reach an error handler
// instead of ending the program: it prints them and marks the stream failed
// (streamFailed()), so the main thread can see it and open the stream again.
class AudioEngine {
  public:
    // The name stored by default; where no device carries it, it stands for
    // the back end's default input or output device.
    static constexpr const char* kDefaultDeviceName = "Default Device";

    explicit AudioEngine(AppSettings& settings);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // The library back end for a driver type; anything but 1 is type 0.
    static RtAudio::Api apiForDriver(std::uint16_t driver);
    // What the Preferences dialog shows for a driver type.
    static const char* driverDisplayName(std::uint16_t driver);
    // Whether one device serves both directions, so that the output device
    // names the input too (JACK, ASIO).
    static bool outputNamesInput(std::uint16_t driver);

    // The plug-in the callback feeds; set while no stream is open. It must
    // outlive every stream (shutdown closes the stream before it goes).
    void setPlugin(IEffectStandalone* plugin);

    // Closes any stream and replaces the library object with one for the
    // current `driver`. Answers whether an object exists afterwards.
    bool recreateAudio();
    // Rebuilds inputDevices() and outputDevices() from the library object.
    void scanDevices();
    std::string deviceName(unsigned index);
    // First device, of all the library lists, whose name equals `name` byte
    // for byte. A name cut to the 99 bytes a settings field holds also finds
    // the device whose longer name begins with it, so long names still work.
    std::optional<unsigned> findDeviceByName(std::string_view name);

    // (Re)opens and starts the stream from the settings. False, and any
    // running stream left untouched, when a device name is not found; false
    // with the stream closed when the library refuses the open, or when the
    // stream stops by itself before its first callback (a back end that
    // fails on its own thread).
    bool reopenStream();
    bool openAudioStream(std::uint32_t inputDevice, std::uint32_t outputDevice, std::uint32_t sampleRate,
                         std::uint32_t ioVectorSize, std::uint32_t firstInputChannel,
                         std::uint32_t firstOutputChannel);

    // [audio thread] The library's callback; `userData` is the engine.
    static int streamCallback(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                              RtAudioStreamStatus status, void* userData);

    // Shutdown, in this order around the MIDI teardown and the plug-in's end:
    void stopStream();   // stop a running stream
    void closeStream();  // close it if it is still open
    void destroyAudio(); // destroy the library object

    RtAudio* audio() { return mAudio.get(); }
    const std::vector<unsigned>& inputDevices() const { return mInputDevices; }
    const std::vector<unsigned>& outputDevices() const { return mOutputDevices; }
    bool isStreamOpen() const;
    bool isStreamRunning() const;
    // True once the library has reported an error for the running stream
    // (from any thread), or has stopped or closed it by itself (a JACK
    // server that went away); cleared by the next open. A failed open is no
    // stream failure.
    bool streamFailed() const;
    // The stored device name that names no device now (input first), if any.
    std::optional<std::string> missingDevice();

    // Keeps, from now on, how long each callback takes from entry to exit,
    // in nanoseconds, by the steady clock and in the thread's CPU time
    // (POSIX; 0 on Windows): the last `capacity` callbacks, in memory taken
    // here, before any stream runs. For the soak's real-time budget.
    void recordCallbackTimes(std::size_t capacity);
    // Writes the kept times, oldest first, "wall cpu" a line; false on failure.
    bool writeCallbackTimes(const std::string& path) const;

    // The driver's own settings window (ASIO only, while a stream is open).
    bool hasControlPanel() const;
    void showControlPanel();
    // The buffer length the library chose at the last open.
    std::uint32_t bufferFrames() const { return mBufferFrames; }
    const StreamProcessor& processor() const { return mProcessor; }

  private:
    std::optional<unsigned> resolveDevice(std::string_view name, bool input);
    void abortAndClose();
    // Waits, briefly, for the new stream's first callback; false when the
    // library reports a failure or stops the stream first.
    bool startedCleanly();

    AppSettings& mSettings;
    std::unique_ptr<RtAudio> mAudio;
    std::vector<unsigned> mInputDevices;
    std::vector<unsigned> mOutputDevices;
    std::uint32_t mBufferFrames = 0;
    // Set once a stream is started, cleared when it is stopped or closed: a
    // started stream that no longer runs was stopped by the library.
    bool mStarted = false;
    std::atomic<IEffectStandalone*> mPlugin{nullptr};
    // Set by the first callback after an open.
    std::atomic<bool> mCallbackSeen{false};
    // Callback durations (wall, CPU), a ring written by the callback alone.
    std::unique_ptr<std::uint32_t[]> mTimes;
    std::size_t mTimesCapacity = 0;
    std::atomic<std::uint64_t> mTimesCount{0};
    // Written by the main thread only while no stream runs; the library
    // starts its callback thread after that.
    StreamProcessor mProcessor;
};
