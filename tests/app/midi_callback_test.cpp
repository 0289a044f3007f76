// The MIDI input callback without the library: messages are handed to it the
// way the library's thread does.
#include "midi_bridge.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_plugin.h"

namespace {

struct RecordingOutput : IMidiOutput {
    void SendMessage(const std::uint8_t* bytes, int length) override {
        sent.emplace_back(bytes, bytes + length);
    }
    std::vector<std::vector<std::uint8_t>> sent;
};

void deliver(MidiBridge& bridge, std::vector<unsigned char> bytes) {
    MidiBridge::midiCallback(0.0, &bytes, &bridge);
}

using Bytes = std::vector<std::uint8_t>;

class MidiCallback : public testing::Test {
  protected:
    MidiCallback() : plugin(IHostRecord{&output, &settings.outchan}) { bridge.setPlugin(&plugin); }

    AppSettings settings;
    int writes = 0;
    MidiBridge bridge{settings, [this] { ++writes; }};
    RecordingOutput output;
    TestPlugin plugin;
};

} // namespace

TEST_F(MidiCallback, AllChannelsPassWhenNoInputChannelIsSet) {
    deliver(bridge, {0x90, 0x3C, 0x64});
    deliver(bridge, {0x9F, 0x3C, 0x64});
    EXPECT_EQ(output.sent, (std::vector<Bytes>{{0x90, 0x3C, 0x64}, {0x9F, 0x3C, 0x64}}));
}

TEST_F(MidiCallback, InputChannelFilterKeepsOnlyItsChannel) {
    settings.inchan.store(1);
    deliver(bridge, {0x90, 0x3C, 0x64});
    deliver(bridge, {0x91, 0x3C, 0x64});
    settings.inchan.store(16);
    deliver(bridge, {0x8F, 0x3C, 0x00});
    deliver(bridge, {0x80, 0x3C, 0x00});
    EXPECT_EQ(output.sent, (std::vector<Bytes>{{0x90, 0x3C, 0x64}, {0x8F, 0x3C, 0x00}}));
}

TEST_F(MidiCallback, AcceptedInputMovesToTheOutputChannel) {
    settings.outchan.store(3);
    deliver(bridge, {0x90, 0x3C, 0x64});
    EXPECT_EQ(output.sent, (std::vector<Bytes>{{0x92, 0x3C, 0x64}}));
}

TEST_F(MidiCallback, ShortMessagesKeepTheirTrueLength) {
    settings.outchan.store(1);
    deliver(bridge, {0xC5, 0x07}); // program change
    deliver(bridge, {0xD5, 0x40}); // channel pressure
    deliver(bridge, {0xF6});       // tune request: no channel to move
    EXPECT_EQ(output.sent, (std::vector<Bytes>{{0xC0, 0x07}, {0xD0, 0x40}, {0xF6}}));
}

TEST_F(MidiCallback, EmptyMessagesAndMissingPluginAreIgnored) {
    deliver(bridge, {});
    MidiBridge::midiCallback(0.0, nullptr, &bridge);
    bridge.setPlugin(nullptr);
    deliver(bridge, {0x90, 0x3C, 0x64});
    EXPECT_TRUE(output.sent.empty());
}

TEST_F(MidiCallback, WithoutLibraryObjectsNothingOpensAndSettingsStay) {
    EXPECT_EQ(bridge.midiOutput(), nullptr);
    setText(settings.midiIndev, "some port");
    EXPECT_FALSE(bridge.openMidiIn("some port"));
    EXPECT_FALSE(bridge.openMidiOut("off"));
    EXPECT_STREQ(settings.midiIndev, "some port");
    EXPECT_EQ(writes, 0);
    bridge.buildPortLists();
    EXPECT_TRUE(bridge.midiInPorts().empty());
    EXPECT_TRUE(bridge.midiOutPorts().empty());
}
