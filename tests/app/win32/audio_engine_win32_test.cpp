// The audio engine on Windows through the real library and the real plug-in.
// Under Wine it needs a sound device: run it as
//   scripts/with-jack.sh scripts/with-wine.sh ctest -L windows
// (Wine's sound then reaches the JACK server); without one it skips.
#include "audio_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "framework/standalone.h"

namespace {

constexpr std::uint16_t kDirectSound = 0;
constexpr std::uint16_t kWasapi = 1;

AppSettings windowsSettings(std::uint16_t driver) {
    AppSettings s;
    s.driver = driver;
    setText(s.indev, AudioEngine::kDefaultDeviceName);
    setText(s.outdev, AudioEngine::kDefaultDeviceName);
    setText(s.sr, "48000");
    setText(s.iovs, "512");
    setText(s.sigvs, "32");
    return s;
}

template <typename Condition> bool eventually(Condition condition, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// Stands between the engine and the real plug-in and notes, on the audio
// thread, what the engine's callback state was at each sub-block.
class Recorder : public IEffectStandalone {
  public:
    Recorder(AudioEngine& engine, IEffectStandalone& real)
        : IEffectStandalone(IHostRecord{}, 0, "2-2", 1, "Rec", "Rec", "Tester", 0x10000, FourCC("Recd"),
                            FourCC("Tstr"), 0, true, false, false, 0),
          mEngine(engine), mReal(real) {}

    void ResetProcessing() override {
        IEffectStandalone::ResetProcessing();
        mReal.SetBlockFrames(BlockFrames());
        mReal.SetSampleRateHz(SampleRateHz());
        mReal.ResetProcessing();
    }

    void process(double** inputs, double** outputs, std::int32_t frames) override {
        const StreamProcessor& p = mEngine.processor();
        const std::uint32_t callback = p.callbackCount();
        if (mFirstCallback.load() == 0) {
            mFirstCallback.store(callback);
            mFadeAtFirst.store(p.fadeGain());
        }
        if (callback == mFirstCallback.load()) {
            mFramesInFirst.fetch_add(static_cast<std::uint32_t>(frames));
        } else if (callback == mFirstCallback.load() + 1 && mFadeAtSecond.load() < 0.0) {
            mFadeAtSecond.store(p.fadeGain());
        }
        if (frames != BlockFrames()) {
            mOddBlocks.fetch_add(1);
        }
        mReal.ProcessBlockLocked(inputs, outputs, frames);
        for (std::int32_t i = 0; i < frames; ++i) {
            if (!std::isfinite(outputs[0][i]) || !std::isfinite(outputs[1][i])) {
                mNonFinite.store(true);
            }
        }
        mBlocks.fetch_add(1);
    }

    std::atomic<std::uint32_t> mFirstCallback{0};
    std::atomic<double> mFadeAtFirst{-1.0};
    std::atomic<double> mFadeAtSecond{-1.0};
    std::atomic<std::uint32_t> mFramesInFirst{0};
    std::atomic<int> mOddBlocks{0};
    std::atomic<bool> mNonFinite{false};
    std::atomic<int> mBlocks{0};

  private:
    AudioEngine& mEngine;
    IEffectStandalone& mReal;
};

bool hasDevices(AudioEngine& engine) {
    return !engine.inputDevices().empty() && !engine.outputDevices().empty();
}

} // namespace

TEST(AudioEngineWindows, DirectSoundRunsTheRealPluginAfterTheMuteAndTheFade) {
    AppSettings settings = windowsSettings(kDirectSound);
    AudioEngine engine(settings);
    EXPECT_STREQ(AudioEngine::driverDisplayName(kDirectSound), "DirectSound");
    ASSERT_TRUE(engine.recreateAudio());
    engine.scanDevices();
    if (!hasDevices(engine)) {
        GTEST_SKIP() << "DirectSound lists no device (no sound route: run under scripts/with-jack.sh)";
    }
    // Wine's route lists the primary driver and the default output and input.
    EXPECT_TRUE(engine.findDeviceByName("Primary Sound Driver").has_value());
    std::unique_ptr<IEffectStandalone> real = CreatePlugin(IHostRecord{nullptr, &settings.outchan});
    ASSERT_NE(real, nullptr);
    real->LoadPresetSlot(0);
    Recorder recorder(engine, *real);
    engine.setPlugin(&recorder);

    // "Default Device" is no DirectSound name: it opens the default output
    // and the first capture device.
    ASSERT_TRUE(engine.reopenStream());
    EXPECT_TRUE(engine.isStreamRunning());
    EXPECT_EQ(engine.bufferFrames(), 512u);
    EXPECT_EQ(real->SampleRateHz(), 48000.0);
    EXPECT_EQ(real->BlockFrames(), 32);
    ASSERT_TRUE(eventually([&] { return recorder.mFadeAtSecond.load() >= 0.0; }));

    EXPECT_EQ(recorder.mFirstCallback.load(), StreamProcessor::kMutedCallbacks + 1)
        << "the plug-in is first called in the 52nd callback";
    EXPECT_EQ(recorder.mFadeAtFirst.load(), 0.0);
    EXPECT_EQ(recorder.mFramesInFirst.load(), engine.bufferFrames()) << "callbacks carry the agreed size";
    EXPECT_GE(recorder.mFadeAtSecond.load(), 1.0) << "the fade-in lasts one buffer";
    EXPECT_LT(recorder.mFadeAtSecond.load(), 1.0 + 1.0 / 512.0);
    EXPECT_EQ(recorder.mOddBlocks.load(), 0);
    EXPECT_FALSE(recorder.mNonFinite.load());
    EXPECT_FALSE(engine.streamFailed());

    // A reopen mutes again from the start.
    engine.stopStream();
    const int before = recorder.mBlocks.load();
    recorder.mFirstCallback.store(0);
    recorder.mFadeAtSecond.store(-1.0);
    ASSERT_TRUE(engine.reopenStream());
    ASSERT_TRUE(eventually([&] { return recorder.mFadeAtSecond.load() >= 0.0; }));
    EXPECT_EQ(recorder.mFirstCallback.load(), StreamProcessor::kMutedCallbacks + 1);
    EXPECT_GT(recorder.mBlocks.load(), before);

    engine.stopStream();
    engine.closeStream();
    engine.setPlugin(nullptr);
    engine.destroyAudio();
}

// Under Wine 8 RtAudio's WASAPI stream fails on its own thread (a call Wine
// does not implement); on Windows it runs. Either way the process goes on,
// a failure is said on the standard streams, and DirectSound still works.
TEST(AudioEngineWindows, WasapiFailureLeavesTheProgramRunningAndSaysSo) {
    AppSettings settings = windowsSettings(kWasapi);
    AudioEngine engine(settings);
    EXPECT_STREQ(AudioEngine::driverDisplayName(kWasapi), "WASAPI");
    EXPECT_FALSE(AudioEngine::outputNamesInput(kWasapi)) << "WASAPI lists capture and render apart";
    ASSERT_TRUE(engine.recreateAudio());
    EXPECT_EQ(engine.audio()->getCurrentApi(), RtAudio::WINDOWS_WASAPI);
    engine.scanDevices();
    if (!hasDevices(engine)) {
        GTEST_SKIP() << "WASAPI lists no device (no sound route: run under scripts/with-jack.sh)";
    }
    EXPECT_FALSE(engine.hasControlPanel());
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{nullptr, &settings.outchan});
    engine.setPlugin(plugin.get());

    testing::internal::CaptureStderr();
    const bool opened = engine.reopenStream();
    // A failure on the library's thread may also come after the first callback.
    const bool failedLater = opened && eventually([&] { return engine.streamFailed(); }, 1.0);
    const std::string said = testing::internal::GetCapturedStderr();
    if (!opened) {
        EXPECT_NE(said, "") << "a failed open is printed";
        EXPECT_FALSE(engine.isStreamOpen());
    } else if (!failedLater) {
        EXPECT_TRUE(engine.isStreamRunning()); // a WASAPI that works
    }

    settings.driver = kDirectSound;
    ASSERT_TRUE(engine.recreateAudio());
    engine.scanDevices();
    ASSERT_TRUE(engine.reopenStream());
    EXPECT_TRUE(eventually([&] { return engine.processor().callbackCount() > StreamProcessor::kMutedCallbacks; }));
    EXPECT_FALSE(engine.streamFailed());
    engine.stopStream();
    engine.closeStream();
    engine.setPlugin(nullptr);
    engine.destroyAudio();
}
