// The audio engine against a real JACK server through the real library.
// Run under scripts/with-jack.sh (dummy back end, 48 kHz, 256 frames).
#include "audio_engine.h"

#include <gtest/gtest.h>

#include <cmath>

#include "jack_probe.h"
#include "test_plugin.h"

namespace {

constexpr std::uint16_t kJack = 1;

AppSettings jackSettings() {
    AppSettings s;
    s.driver = kJack;
    setText(s.outdev, "system");
    setText(s.indev, "not looked at with JACK");
    setText(s.sr, "48000");
    setText(s.iovs, "512");
    setText(s.sigvs, "32");
    return s;
}

// Frames the plug-in has processed, polled until they pass `frames`.
template <typename Plugin> bool processes(const Plugin& plugin, std::uint64_t frames) {
    const std::uint64_t start = plugin.framesProcessed();
    return eventually([&] { return plugin.framesProcessed() >= start + frames; });
}

class AudioEngineJack : public testing::Test {
  protected:
    void SetUp() override {
        VT4R_REQUIRE_JACK();
        ASSERT_TRUE(engine.recreateAudio());
        engine.scanDevices();
        engine.setPlugin(&plugin);
    }
    void TearDown() override {
        engine.stopStream();
        engine.closeStream();
        engine.destroyAudio();
    }

    AppSettings settings = jackSettings();
    AudioEngine engine{settings};
    PassThroughPlugin plugin;
};

} // namespace

TEST_F(AudioEngineJack, ListsTheServerAsOneDuplexDevice) {
    ASSERT_EQ(engine.inputDevices().size(), 1u);
    ASSERT_EQ(engine.outputDevices().size(), 1u);
    EXPECT_EQ(engine.deviceName(engine.inputDevices()[0]), "system");
    EXPECT_EQ(engine.findDeviceByName("system"), engine.inputDevices()[0]);
    EXPECT_EQ(engine.findDeviceByName("System"), std::nullopt) << "names match byte for byte";
    EXPECT_EQ(engine.findDeviceByName("Default Device"), std::nullopt);
}

TEST_F(AudioEngineJack, OpensTheStreamAndFeedsThePluginItsBlockSize) {
    ASSERT_TRUE(engine.reopenStream());
    EXPECT_TRUE(engine.isStreamRunning());
    EXPECT_EQ(engine.bufferFrames(), 256u) << "the server's period, not the 512 asked for";
    EXPECT_EQ(plugin.BlockFrames(), 32);
    EXPECT_EQ(plugin.SampleRateHz(), 48000.0);
    EXPECT_TRUE(processes(plugin, 48000 / 4));
}

TEST_F(AudioEngineJack, DefaultDeviceNameOpensTheServersDefault) {
    setText(settings.outdev, AudioEngine::kDefaultDeviceName);
    ASSERT_TRUE(engine.reopenStream());
    EXPECT_TRUE(processes(plugin, 4096));
}

TEST_F(AudioEngineJack, SignalFlowsThroughAtAQuarterAndMonoFollowsTheSetting) {
    JackProbe probe;
    ASSERT_TRUE(probe.ok());
    ASSERT_TRUE(engine.reopenStream());
    const std::string in1 = probe.enginePort("inport 0");
    const std::string in2 = probe.enginePort("inport 1");
    ASSERT_FALSE(in1.empty());
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 0"), probe.sinkName(0)));
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 1"), probe.sinkName(1)));
    probe.setLevel(0.5f);

    // Right input only: stereo passes it to the right output, scaled.
    ASSERT_TRUE(probe.connect(probe.sourceName(), in2));
    ASSERT_TRUE(eventually([&] { return probe.lastSample(1) == 0.125f; })) << probe.lastSample(1);
    EXPECT_EQ(probe.lastSample(0), 0.0f);

    // Mono reads the left input for both sides: the right signal is gone.
    settings.monoinput.store(1);
    ASSERT_TRUE(eventually([&] { return probe.lastSample(1) == 0.0f; }));
    probe.settle();
    EXPECT_EQ(probe.lastSample(0), 0.0f);

    // Left input in mono reaches both outputs.
    ASSERT_TRUE(probe.disconnect(probe.sourceName(), in2));
    ASSERT_TRUE(probe.connect(probe.sourceName(), in1));
    ASSERT_TRUE(eventually([&] { return probe.lastSample(0) == 0.125f && probe.lastSample(1) == 0.125f; }));
}

TEST_F(AudioEngineJack, OutputStaysSilentForTheFirstCallbacksAfterAnOpen) {
    JackProbe probe;
    ASSERT_TRUE(probe.ok());
    probe.setLevel(0.5f);
    ASSERT_TRUE(engine.reopenStream());
    ASSERT_TRUE(probe.connect(probe.sourceName(), probe.enginePort("inport 0")));
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 0"), probe.sinkName(0)));
    ASSERT_TRUE(eventually([&] { return probe.lastSample(0) == 0.125f; }));
    // 51 periods of 256 frames at 48 kHz are about 0.27 s: long enough to see.
    ASSERT_TRUE(engine.reopenStream());
    ASSERT_TRUE(probe.connect(probe.sourceName(), probe.enginePort("inport 0")));
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 0"), probe.sinkName(0)));
    probe.settle();
    EXPECT_EQ(probe.lastSample(0), 0.0f);
    EXPECT_TRUE(eventually([&] { return probe.lastSample(0) == 0.125f; }));
}

TEST_F(AudioEngineJack, UnknownDeviceNameLeavesTheRunningStreamAlone) {
    ASSERT_TRUE(engine.reopenStream());
    setText(settings.outdev, "no such device");
    EXPECT_FALSE(engine.reopenStream());
    EXPECT_TRUE(engine.isStreamRunning());
    EXPECT_TRUE(processes(plugin, 4096));
}

TEST_F(AudioEngineJack, RefusedOpenIsPrintedAndLeavesTheStreamClosed) {
    ASSERT_TRUE(engine.reopenStream());
    for (std::uint16_t in1 : {std::uint16_t{3}, std::uint16_t{0}}) {
        settings.in1 = in1; // channels 3 and 4, or the invalid channel 0
        testing::internal::CaptureStderr();
        EXPECT_FALSE(engine.reopenStream());
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(engine.isStreamOpen());
    }
    settings.in1 = 1;
    setText(settings.sr, "44100"); // the server runs at 48 kHz
    testing::internal::CaptureStderr();
    EXPECT_FALSE(engine.reopenStream());
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    setText(settings.sr, "48000");
    EXPECT_TRUE(engine.reopenStream());
    EXPECT_TRUE(processes(plugin, 4096));
}

TEST_F(AudioEngineJack, DamagedSubBlockSizeStillRuns) {
    for (const char* sigvs : {"0", "-32", "abc", "100000", "7"}) {
        setText(settings.sigvs, sigvs);
        ASSERT_TRUE(engine.reopenStream()) << sigvs;
        EXPECT_EQ(plugin.BlockFrames(), std::string(sigvs) == "7" ? 7 : 32) << sigvs;
        EXPECT_TRUE(processes(plugin, 4096)) << sigvs;
    }
}

TEST_F(AudioEngineJack, ShutdownStepsStopThenCloseThenDestroy) {
    ASSERT_TRUE(engine.reopenStream());
    engine.stopStream();
    EXPECT_TRUE(engine.isStreamOpen());
    EXPECT_FALSE(engine.isStreamRunning());
    engine.closeStream();
    EXPECT_FALSE(engine.isStreamOpen());
    engine.destroyAudio();
    EXPECT_EQ(engine.audio(), nullptr);
    EXPECT_FALSE(engine.reopenStream());
    // And again with a driver change in between.
    EXPECT_TRUE(engine.recreateAudio());
    engine.scanDevices();
    EXPECT_TRUE(engine.reopenStream());
    EXPECT_TRUE(engine.recreateAudio()) << "recreating closes the running stream first";
    EXPECT_FALSE(engine.isStreamOpen());
}

TEST(AudioEngineJackPlugin, TheRealPluginProcessesLiveAudio) {
    VT4R_REQUIRE_JACK();
    AppSettings settings = jackSettings();
    AudioEngine engine(settings);
    ASSERT_TRUE(engine.recreateAudio());
    engine.scanDevices();
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{nullptr, &settings.outchan});
    ASSERT_NE(plugin, nullptr);
    plugin->LoadPresetSlot(0);
    engine.setPlugin(plugin.get());

    JackProbe probe;
    ASSERT_TRUE(probe.ok());
    probe.setLevel(0.25f);
    ASSERT_TRUE(engine.reopenStream());
    EXPECT_EQ(plugin->SampleRateHz(), 48000.0);
    EXPECT_EQ(plugin->BlockFrames(), 32);
    ASSERT_TRUE(probe.connect(probe.sourceName(), probe.enginePort("inport 0")));
    ASSERT_TRUE(probe.connect(probe.sourceName(), probe.enginePort("inport 1")));
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 0"), probe.sinkName(0)));
    ASSERT_TRUE(probe.connect(probe.enginePort("outport 1"), probe.sinkName(1)));
    // A compressor on a constant: a finite, non-zero, quieter-than-input output.
    EXPECT_TRUE(eventually([&] {
        const float left = probe.lastSample(0);
        return std::isfinite(left) && left != 0.0f;
    }));
    probe.settle();
    EXPECT_TRUE(std::isfinite(probe.lastSample(1)));
    EXPECT_LT(std::fabs(probe.lastSample(0)), 0.25f);

    engine.stopStream();
    engine.closeStream();
    plugin.reset();
    engine.destroyAudio();
}
