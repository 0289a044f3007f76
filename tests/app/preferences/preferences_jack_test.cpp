// The Preferences dialog over the real audio engine and MIDI bridge, against
// the JACK server that scripts/with-jack.sh starts (dummy back end, 48 kHz,
// 256 frames, 2 in, 2 out). Skips without a server.
#include "preferences_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio_engine.h"
#include "engine_services.h"
#include "jack_probe.h"
#include "midi_bridge.h"
#include "temp_dir.h"
#include "test_plugin.h"

namespace {

using D = PreferencesDialog;
using testing::Contains;
using testing::ElementsAre;

template <typename Plugin> bool processes(const Plugin& plugin, std::uint64_t frames) {
    const std::uint64_t start = plugin.framesProcessed();
    return eventually([&] { return plugin.framesProcessed() >= start + frames; });
}

int positionOf(const D::ListState& list, const std::string& text) {
    return findListText(list.items, text);
}

class PreferencesJack : public testing::Test {
  protected:
    void SetUp() override {
        VT4R_REQUIRE_JACK();
        settings.driver = 1;
        setText(settings.outdev, "system");
        setText(settings.sr, "48000");
        setText(settings.iovs, "256");
        setText(settings.sigvs, "32");
        setText(settings.midiIndev, "a port that is not there");
        ASSERT_TRUE(engine.recreateAudio());
        engine.scanDevices();
        engine.setPlugin(&plugin);
        ASSERT_TRUE(engine.reopenStream());
        midi.createMidi();
        midi.buildPortLists();
    }
    // Aborts rather than stops: a stop waits for the server to run the
    // callback once more, which never comes when the server has dropped a
    // client too slow under a sanitizer.
    void TearDown() override {
        engine.destroyAudio();
        engine.setPlugin(nullptr);
        midi.shutdown();
        midi.destroyMidi();
    }

    TempDir dir;
    const std::string path = dir.file("settings.ini");
    AppSettings settings;
    AppSettings snapshot;
    AudioEngine engine{settings};
    MidiBridge midi{settings, [this] { writeSettings(path, settings); }};
    TestPlugin plugin;
    EnginePreferencesServices services{engine, midi, settings, path};
    PreferencesDialog dialog{settings, snapshot, services};
};

TEST_F(PreferencesJack, ShowsTheServerAndReopensTheStreamOnEachChange) {
    dialog.open();
    EXPECT_EQ(dialog.list(D::kDriverType).selected, 1);
    EXPECT_FALSE(dialog.list(D::kInputDevice).enabled);
    EXPECT_FALSE(dialog.controlPanelEnabled());
    const D::ListState& outputs = dialog.list(D::kOutputDevice);
    ASSERT_EQ(outputs.selected, positionOf(outputs, "system"));
    EXPECT_THAT(dialog.list(D::kInput2).items, ElementsAre("1", "2"));
    EXPECT_THAT(dialog.list(D::kOutput2).items, ElementsAre("1", "2"));
    const D::ListState& rates = dialog.list(D::kSamplingRate);
    EXPECT_THAT(rates.items, Contains("48000"));
    EXPECT_EQ(rates.selected, positionOf(rates, "48000"));
    EXPECT_TRUE(processes(plugin, 4096));

    const int resets = plugin.resets();
    dialog.select(D::kSignalVectorSize, positionOf(dialog.list(D::kSignalVectorSize), "64"));
    EXPECT_STREQ(settings.sigvs, "64");
    EXPECT_EQ(plugin.BlockFrames(), 64);
    EXPECT_GT(plugin.resets(), resets);
    EXPECT_TRUE(processes(plugin, 4096));

    dialog.select(D::kIoVectorSize, positionOf(dialog.list(D::kIoVectorSize), "32"));
    EXPECT_STREQ(settings.sigvs, "16");
    EXPECT_EQ(plugin.BlockFrames(), 16);
    EXPECT_TRUE(engine.isStreamRunning());

    // Cancel puts the settings back and opens the stream on them again.
    EXPECT_EQ(dialog.cancel(), 2);
    EXPECT_STREQ(settings.sigvs, "32");
    EXPECT_STREQ(settings.iovs, "256");
    EXPECT_EQ(plugin.BlockFrames(), 32);
    EXPECT_TRUE(engine.isStreamRunning());
    EXPECT_TRUE(processes(plugin, 4096));
}

TEST_F(PreferencesJack, MidiPortNotFoundBecomesOffInTheSettingsFile) {
    if (midi.input() == nullptr || midi.output() == nullptr) {
        GTEST_SKIP() << "no MIDI back end available";
    }
    dialog.open();
    EXPECT_STREQ(settings.midiIndev, "off");
    EXPECT_EQ(dialog.list(D::kMidiInPort).selected, 0);
    EXPECT_EQ(dialog.list(D::kMidiInPort).items.front(), "off");
    AppSettings written;
    readSettings(path, written);
    EXPECT_STREQ(written.midiIndev, "off");
    EXPECT_EQ(dialog.list(D::kMidiOutChannel).items.size(), 17u);
}

} // namespace
