// The MIDI bridge through the real library. Without an ALSA sequencer (no
// /dev/snd/seq) the bridge falls back to JACK MIDI, which needs the server
// that scripts/with-jack.sh starts.
#include "midi_bridge.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "jack_probe.h"
#include "test_plugin.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string portContaining(const std::vector<std::string>& ports, const std::string& part) {
    for (const std::string& port : ports) {
        if (port.find(part) != std::string::npos) {
            return port;
        }
    }
    return {};
}

class MidiBridgeLive : public testing::Test {
  protected:
    void SetUp() override {
        VT4R_REQUIRE_JACK();
        ASSERT_TRUE(bridge.createMidi());
        api = bridge.input()->getCurrentApi();
        EXPECT_EQ(bridge.output()->getCurrentApi(), api);

        sender = std::make_unique<RtMidiOut>(api, "vt4r-test-sender");
        sender->openVirtualPort("send");
        receiver = std::make_unique<RtMidiIn>(api, "vt4r-test-receiver");
        receiver->ignoreTypes(false, false, false); // see everything the bridge lets out
        receiver->openVirtualPort("receive");

        bridge.buildPortLists();
        senderPort = portContaining(bridge.midiInPorts(), "vt4r-test-sender");
        receiverPort = portContaining(bridge.midiOutPorts(), "vt4r-test-receiver");
        ASSERT_FALSE(senderPort.empty());
        ASSERT_FALSE(receiverPort.empty());

        plugin = std::make_unique<TestPlugin>(IHostRecord{bridge.midiOutput(), &settings.outchan});
        bridge.setPlugin(plugin.get());
    }
    void TearDown() override {
        bridge.shutdown();
        plugin.reset();
        bridge.destroyMidi();
    }

    void send(Bytes bytes) { sender->sendMessage(&bytes); }

    // The next message the receiver gets, or none within two seconds.
    std::optional<Bytes> receive() {
        Bytes message;
        const bool got = eventually(
            [&] {
                receiver->getMessage(&message);
                return !message.empty();
            },
            2.0);
        if (!got) {
            return std::nullopt;
        }
        return message;
    }

    AppSettings settings;
    int writes = 0;
    MidiBridge bridge{settings, [this] { ++writes; }};
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::unique_ptr<RtMidiOut> sender;
    std::unique_ptr<RtMidiIn> receiver;
    std::string senderPort;
    std::string receiverPort;
    std::unique_ptr<TestPlugin> plugin;
};

} // namespace

TEST_F(MidiBridgeLive, PortListsStartWithOff) {
    ASSERT_FALSE(bridge.midiInPorts().empty());
    EXPECT_EQ(bridge.midiInPorts()[0], "off");
    EXPECT_EQ(bridge.midiOutPorts()[0], "off");
}

TEST_F(MidiBridgeLive, InputIsFilteredMovedAndSentOn) {
    ASSERT_TRUE(bridge.openMidiIn(senderPort));
    ASSERT_TRUE(bridge.openMidiOut(receiverPort));
    EXPECT_TRUE(bridge.isInputOpen());
    EXPECT_TRUE(bridge.isOutputOpen());

    send({0x93, 0x3C, 0x64});
    EXPECT_EQ(receive(), (Bytes{0x93, 0x3C, 0x64})) << "no channel setting: unchanged";

    settings.inchan.store(1);
    send({0x91, 0x3C, 0x64}); // channel 2: dropped
    send({0x90, 0x3D, 0x64}); // channel 1: passes
    EXPECT_EQ(receive(), (Bytes{0x90, 0x3D, 0x64}));

    settings.outchan.store(3);
    send({0x90, 0x3C, 0x64});
    EXPECT_EQ(receive(), (Bytes{0x92, 0x3C, 0x64}));

    send({0xC0, 0x05}); // program change: two bytes in, two bytes out
    EXPECT_EQ(receive(), (Bytes{0xC2, 0x05}));

    settings.inchan.store(0);
    send({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}); // system exclusive
    send({0xF8});                               // timing clock
    send({0xFE});                               // active sensing
    send({0x80, 0x3C, 0x00});
    EXPECT_EQ(receive(), (Bytes{0x82, 0x3C, 0x00})) << "filtered kinds never arrive";
    EXPECT_EQ(plugin->framesProcessed(), 0u);
}

TEST_F(MidiBridgeLive, ReopeningMovesToTheNewPortAndOffClosesIt) {
    ASSERT_TRUE(bridge.openMidiIn(senderPort));
    ASSERT_TRUE(bridge.openMidiOut(receiverPort));
    ASSERT_TRUE(bridge.openMidiOut(receiverPort)); // closes first, then opens again
    send({0x90, 0x3C, 0x64});
    EXPECT_EQ(receive(), (Bytes{0x90, 0x3C, 0x64}));

    // With the output off, forwarded messages are dropped quietly.
    ASSERT_TRUE(bridge.openMidiOut("off"));
    EXPECT_FALSE(bridge.isOutputOpen());
    send({0x90, 0x3C, 0x64});
    EXPECT_EQ(receive(), std::nullopt);
    EXPECT_EQ(writes, 0) << "\"off\" is a known name: nothing to write";

    ASSERT_TRUE(bridge.openMidiIn("off"));
    EXPECT_FALSE(bridge.isInputOpen());
}

TEST_F(MidiBridgeLive, MissingPortBecomesOffAndIsWrittenAtOnce) {
    setText(settings.midiIndev, "no input");
    setText(settings.midiOutdev, "a port that went away");
    EXPECT_TRUE(bridge.openMidiIn(settings.midiIndev));
    EXPECT_STREQ(settings.midiIndev, "off");
    EXPECT_EQ(writes, 1);
    EXPECT_TRUE(bridge.openMidiOut(settings.midiOutdev));
    EXPECT_STREQ(settings.midiOutdev, "off");
    EXPECT_EQ(writes, 2);
    EXPECT_FALSE(bridge.isInputOpen());
    EXPECT_FALSE(bridge.isOutputOpen());
}

TEST_F(MidiBridgeLive, PortNameLongerThanASettingHoldsStillOpens) {
    RtMidiOut longSender(api, "vt4r-long-sender");
    longSender.openVirtualPort(std::string(120, 'p'));
    bridge.buildPortLists();
    const std::string fullName = portContaining(bridge.midiInPorts(), "vt4r-long-sender");
    ASSERT_GT(fullName.size(), 99u);
    setText(settings.midiIndev, fullName); // what a settings field keeps: 99 bytes
    ASSERT_TRUE(bridge.openMidiIn(settings.midiIndev));
    EXPECT_TRUE(bridge.isInputOpen());
    EXPECT_EQ(writes, 0);
    ASSERT_TRUE(bridge.openMidiOut(receiverPort));
    std::vector<unsigned char> note{0x90, 0x3C, 0x64};
    longSender.sendMessage(&note);
    EXPECT_EQ(receive(), note);
}

// JACK refuses new ports once the server's port table is full; the library
// then throws from openPort. The bridge must print that and carry on.
TEST_F(MidiBridgeLive, RefusedPortIsReportedNotFatal) {
    if (api != RtMidi::UNIX_JACK) {
        GTEST_SKIP() << "needs JACK MIDI to make the library refuse a port";
    }
    JackProbe hog;
    ASSERT_TRUE(hog.ok());
    std::vector<jack_port_t*> ports;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "hog_" + std::to_string(i);
        jack_port_t* port =
            jack_port_register(hog.client(), name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (port == nullptr) {
            break;
        }
        ports.push_back(port);
    }
    setText(settings.midiOutdev, receiverPort);
    testing::internal::CaptureStderr();
    const bool opened = bridge.openMidiOut(settings.midiOutdev);
    const bool openedIn = bridge.openMidiIn(senderPort);
    const std::string printed = testing::internal::GetCapturedStderr();
    for (jack_port_t* port : ports) {
        jack_port_unregister(hog.client(), port);
    }
    EXPECT_FALSE(opened);
    EXPECT_FALSE(openedIn);
    EXPECT_GT(ports.size(), 0u);
    EXPECT_LT(ports.size(), 20000u) << "the server never refused a port";
    EXPECT_NE(printed.find("openPort"), std::string::npos) << printed;
    EXPECT_FALSE(bridge.isOutputOpen());
    EXPECT_EQ(settings.midiOutdev, receiverPort) << "the port exists: the setting stays";
    EXPECT_EQ(writes, 0);

    // Once ports are free again the same names open.
    EXPECT_TRUE(bridge.openMidiOut(receiverPort));
    EXPECT_TRUE(bridge.openMidiIn(senderPort));
    send({0x90, 0x3C, 0x64});
    EXPECT_EQ(receive(), (Bytes{0x90, 0x3C, 0x64}));
}

TEST(MidiBridgeLiveReal, TheRealPluginEchoesInputToTheOutputPort) {
    VT4R_REQUIRE_JACK();
    AppSettings settings;
    MidiBridge bridge(settings, [] {});
    ASSERT_TRUE(bridge.createMidi());
    const RtMidi::Api api = bridge.input()->getCurrentApi();
    RtMidiOut sender(api, "vt4r-real-sender");
    sender.openVirtualPort("send");
    RtMidiIn receiver(api, "vt4r-real-receiver");
    receiver.openVirtualPort("receive");
    bridge.buildPortLists();

    std::unique_ptr<IEffectStandalone> plugin =
        CreatePlugin(IHostRecord{bridge.midiOutput(), &settings.outchan});
    bridge.setPlugin(plugin.get());
    ASSERT_TRUE(bridge.openMidiIn(portContaining(bridge.midiInPorts(), "vt4r-real-sender")));
    ASSERT_TRUE(bridge.openMidiOut(portContaining(bridge.midiOutPorts(), "vt4r-real-receiver")));
    settings.outchan.store(16);
    Bytes note{0x90, 0x3C, 0x64};
    sender.sendMessage(&note);
    Bytes got;
    EXPECT_TRUE(eventually([&] {
        receiver.getMessage(&got);
        return !got.empty();
    }));
    EXPECT_EQ(got, (Bytes{0x9F, 0x3C, 0x64}));

    bridge.shutdown();
    plugin.reset();
    bridge.destroyMidi();
}
