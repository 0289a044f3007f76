// The Preferences dialog's lists and reactions, driven through a fake engine.
#include "preferences_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_services.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

using D = PreferencesDialog;

class PreferencesTest : public testing::Test {
  protected:
    PreferencesTest() {
        fake.drivers[0] = {
            {"Default Device", 2, 2, {44100, 48000}},
            {"USB Quad", 4, 4, {96000, 48000, 44100, 88200}},
            {"HDMI", 0, 8, {48000, 44100}},
        };
        fake.drivers[1] = {{"system", 2, 2, {48000}}};
    }

    // Opens the dialog on the settings as they stand, with the devices of
    // their driver type scanned.
    void open() {
        fake.startUp();
        dialog.open();
        fake.calls.clear();
        fake.reopens.clear();
        fake.writes = 0;
    }
    const D::ListState& list(int id) { return dialog.list(id); }
    std::string selectedText(int id) {
        const D::ListState& l = list(id);
        return l.selected >= 0 ? l.items[static_cast<std::size_t>(l.selected)] : std::string("<none>");
    }

    AppSettings settings;
    AppSettings snapshot;
    FakeServices fake{settings};
    PreferencesDialog dialog{settings, snapshot, fake};
};

TEST_F(PreferencesTest, OpeningFillsEveryListFromTheSettingsAndTakesTheSnapshot) {
    setText(settings.outdev, "USB Quad");
    setText(settings.sr, "48000");
    settings.in1 = 1;
    settings.out1 = 3;
    settings.out2 = 4;
    settings.monoinput = 1;
    setText(settings.midiIndev, "Keys");
    settings.inchan = 10;
    settings.outchan = 0;
    open();

#if defined(_WIN32)
    EXPECT_THAT(list(D::kDriverType).items, ElementsAre("DirectSound", "WASAPI"));
#else
    EXPECT_THAT(list(D::kDriverType).items, ElementsAre("ALSA", "JACK"));
#endif
    EXPECT_EQ(list(D::kDriverType).selected, 0);
    EXPECT_THAT(list(D::kInputDevice).items, ElementsAre("Default Device", "USB Quad"));
    EXPECT_THAT(list(D::kOutputDevice).items, ElementsAre("Default Device", "USB Quad", "HDMI"));
    EXPECT_EQ(list(D::kInputDevice).selected, 0);
    EXPECT_EQ(list(D::kOutputDevice).selected, 1);
    EXPECT_TRUE(list(D::kInputDevice).enabled);
    EXPECT_FALSE(dialog.controlPanelEnabled());

    EXPECT_THAT(list(D::kIoVectorSize).items,
                ElementsAre("32", "64", "128", "256", "512", "1024", "2048", "4096", "8192"));
    EXPECT_THAT(list(D::kSignalVectorSize).items, ElementsAre("16", "32", "64", "128", "256", "512", "1024"));
    EXPECT_EQ(selectedText(D::kIoVectorSize), "512");
    EXPECT_EQ(selectedText(D::kSignalVectorSize), "32");
    EXPECT_TRUE(dialog.monoChecked());

    // Input pair from the 2-channel input device, output pair from USB Quad.
    EXPECT_THAT(list(D::kInput1).items, ElementsAre("1"));
    EXPECT_THAT(list(D::kInput2).items, ElementsAre("1", "2"));
    EXPECT_THAT(list(D::kOutput1).items, ElementsAre("1", "2", "3"));
    EXPECT_THAT(list(D::kOutput2).items, ElementsAre("1", "2", "3", "4"));
    EXPECT_EQ(selectedText(D::kOutput1), "3");
    EXPECT_EQ(selectedText(D::kOutput2), "4");
    // Rates both devices offer, in the input device's order.
    EXPECT_THAT(list(D::kSamplingRate).items, ElementsAre("44100", "48000"));
    EXPECT_EQ(selectedText(D::kSamplingRate), "48000");

    EXPECT_THAT(list(D::kMidiInPort).items, ElementsAre("off", "Synth In", "Keys"));
    EXPECT_EQ(selectedText(D::kMidiInPort), "Keys");
    EXPECT_EQ(selectedText(D::kMidiOutPort), "off");
    EXPECT_EQ(list(D::kMidiInChannel).items.size(), 17u);
    EXPECT_EQ(list(D::kMidiInChannel).items.front(), "all");
    EXPECT_EQ(selectedText(D::kMidiInChannel), "10");
    EXPECT_EQ(selectedText(D::kMidiOutChannel), "all");

    EXPECT_TRUE(snapshot == settings);
    EXPECT_THAT(fake.calls, IsEmpty()) << "opening reopens nothing and writes nothing";
}

TEST_F(PreferencesTest, InputPairOfATwoChannelDeviceAndTheRightChannelFollowingTheLeft) {
    open();
    ASSERT_THAT(list(D::kInput1).items, ElementsAre("1"));
    dialog.select(D::kInput1, 0);
    EXPECT_EQ(settings.in1, 1);
    EXPECT_EQ(settings.in2, 2);
    EXPECT_EQ(selectedText(D::kInput2), "2");
    EXPECT_THAT(fake.calls, ElementsAre("reopenStream"));

    // Choosing a right channel by itself snaps back and reopens nothing.
    fake.calls.clear();
    dialog.select(D::kInput2, 0);
    EXPECT_EQ(selectedText(D::kInput2), "2");
    EXPECT_EQ(settings.in2, 2);
    EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(PreferencesTest, ChannelPairsOnAFourChannelDevice) {
    setText(settings.indev, "USB Quad");
    setText(settings.outdev, "USB Quad");
    open();
    ASSERT_THAT(list(D::kInput2).items, ElementsAre("1", "2", "3", "4"));

    dialog.select(D::kInput2, 3); // "4"
    EXPECT_EQ(selectedText(D::kInput2), "2");
    EXPECT_EQ(settings.in2, 2);

    dialog.select(D::kInput1, 2); // "3"
    EXPECT_EQ(settings.in1, 3);
    EXPECT_EQ(settings.in2, 4);
    EXPECT_EQ(selectedText(D::kInput2), "4");

    dialog.select(D::kOutput1, 1); // "2"
    EXPECT_EQ(settings.out1, 2);
    EXPECT_EQ(settings.out2, 3);
    EXPECT_EQ(selectedText(D::kOutput2), "3");
    dialog.select(D::kOutput2, 0);
    EXPECT_EQ(selectedText(D::kOutput2), "3");
    EXPECT_EQ(settings.out2, 3);
    EXPECT_EQ(fake.reopens.size(), 2u);
    EXPECT_EQ(fake.reopens.back().out1, 2);
}

TEST_F(PreferencesTest, ChannelsBeyondTheDeviceAndDevicesWithFewChannelsSelectNothing) {
    settings.in1 = 5;
    settings.in2 = 6;
    settings.out1 = 0; // hand-edited
    settings.out2 = 1;
    fake.drivers[0] = {{"Mono Mic", 1, 0, {44100}}, {"Line Out", 0, 2, {44100}}};
    open();
    EXPECT_THAT(list(D::kInput1).items, IsEmpty());
    EXPECT_THAT(list(D::kInput2).items, ElementsAre("1"));
    EXPECT_EQ(list(D::kInput1).selected, -1);
    EXPECT_EQ(list(D::kInput2).selected, -1);
    EXPECT_EQ(list(D::kOutput1).selected, -1);
    EXPECT_EQ(selectedText(D::kOutput2), "1");

    // A device the library cannot describe gives empty pairs.
    fake.drivers[0][0].inputChannels = 0;
    fake.drivers[0][0].sampleRates.clear();
    dialog.select(D::kInputDevice, 0);
    EXPECT_THAT(list(D::kInput1).items, IsEmpty());
    EXPECT_THAT(list(D::kInput2).items, IsEmpty());
    EXPECT_THAT(list(D::kSamplingRate).items, IsEmpty());
}

TEST_F(PreferencesTest, SignalVectorLargerThanTheIoVectorFallsBackTo16) {
    open();
    dialog.select(D::kSignalVectorSize, 2); // "64" with IO 512: kept
    EXPECT_STREQ(settings.sigvs, "64");
    dialog.select(D::kIoVectorSize, 0); // "32" < 64
    EXPECT_STREQ(settings.iovs, "32");
    EXPECT_STREQ(settings.sigvs, "16");
    EXPECT_EQ(list(D::kSignalVectorSize).selected, -1);
    EXPECT_EQ(fake.reopens.size(), 2u);
    EXPECT_STREQ(fake.reopens.back().sigvs, "16");

    // With the signal list showing nothing, the stored size stands for it.
    dialog.select(D::kIoVectorSize, 5); // "1024"
    EXPECT_STREQ(settings.iovs, "1024");
    EXPECT_STREQ(settings.sigvs, "16");
    EXPECT_EQ(fake.reopens.size(), 3u);

    dialog.select(D::kIoVectorSize, 8);     // "8192"
    dialog.select(D::kSignalVectorSize, 6); // "1024"
    EXPECT_STREQ(settings.iovs, "8192");
    EXPECT_STREQ(settings.sigvs, "1024");
    EXPECT_EQ(selectedText(D::kSignalVectorSize), "1024");
}

TEST_F(PreferencesTest, IoSizeNotAmongTheChoicesIsKeptWhenTheSignalSizeChanges) {
    setText(settings.iovs, "100");
    open();
    EXPECT_EQ(list(D::kIoVectorSize).selected, -1);
    dialog.select(D::kSignalVectorSize, 1); // "32" fits in 100
    EXPECT_STREQ(settings.iovs, "100");
    EXPECT_STREQ(settings.sigvs, "32");
    dialog.select(D::kSignalVectorSize, 3); // "128" does not
    EXPECT_STREQ(settings.iovs, "100");
    EXPECT_STREQ(settings.sigvs, "16");
    EXPECT_EQ(list(D::kSignalVectorSize).selected, -1);
}

TEST_F(PreferencesTest, DriverChangeRebuildsTheAudioSide) {
    settings.in1 = 3;
    settings.in2 = 4;
    settings.out1 = 3;
    settings.out2 = 4;
    open();
    dialog.select(D::kDriverType, 1);

    EXPECT_EQ(settings.driver, 1);
    EXPECT_THAT(fake.calls, ElementsAre("recreateAudio", "scanDevices", "reopenStream"));
    EXPECT_STREQ(settings.indev, "system");
    EXPECT_STREQ(settings.outdev, "system");
    EXPECT_EQ(settings.out1, 1);
    EXPECT_EQ(settings.out2, 2);
    EXPECT_EQ(settings.in1, 3) << "the input pair keeps its values";
    EXPECT_EQ(settings.in2, 4);
    EXPECT_FALSE(list(D::kInputDevice).enabled);
    EXPECT_TRUE(list(D::kOutputDevice).enabled);
    EXPECT_EQ(selectedText(D::kOutput1), "1");
    EXPECT_THAT(list(D::kSamplingRate).items, ElementsAre("48000"));

    dialog.select(D::kDriverType, 0);
    EXPECT_EQ(settings.driver, 0);
    EXPECT_STREQ(settings.indev, "Default Device");
    EXPECT_TRUE(list(D::kInputDevice).enabled);
    EXPECT_EQ(list(D::kIoVectorSize).items.size(), 9u);
    EXPECT_EQ(list(D::kSignalVectorSize).items.size(), 7u);

    // Picking the driver type already in use does nothing.
    fake.calls.clear();
    dialog.select(D::kDriverType, 0);
    EXPECT_THAT(fake.calls, IsEmpty());

    // A second driver type with inputs of its own keeps the input list open.
    fake.secondDriverIsOneDevice = false;
    dialog.select(D::kDriverType, 1);
    EXPECT_TRUE(list(D::kInputDevice).enabled);
}

TEST_F(PreferencesTest, ControlPanelOnlyForTheSecondDriverTypeWhereTheBackEndHasOne) {
    open();
    dialog.clickControlPanel();
    EXPECT_EQ(fake.controlPanelsShown, 0);

    dialog.select(D::kDriverType, 1);
    EXPECT_FALSE(dialog.controlPanelEnabled()) << "this back end has no control panel";
    dialog.clickControlPanel();
    EXPECT_EQ(fake.controlPanelsShown, 0);

    fake.controlPanel = true;
    dialog.select(D::kDriverType, 0);
    EXPECT_FALSE(dialog.controlPanelEnabled());
    dialog.select(D::kDriverType, 1);
    EXPECT_TRUE(dialog.controlPanelEnabled());
    dialog.clickControlPanel();
    EXPECT_EQ(fake.controlPanelsShown, 1);
}

TEST_F(PreferencesTest, DeviceChangeResetsItsPairAndRefillsChannelsAndRates) {
    settings.out1 = 1;
    open();
    dialog.select(D::kOutputDevice, 2); // HDMI, 8 channels, 48000 and 44100
    EXPECT_STREQ(settings.outdev, "HDMI");
    EXPECT_EQ(settings.out1, 1);
    EXPECT_EQ(settings.out2, 2);
    EXPECT_THAT(fake.calls, ElementsAre("reopenStream"));
    EXPECT_EQ(list(D::kOutput2).items.size(), 8u);
    EXPECT_EQ(selectedText(D::kOutputDevice), "HDMI");
    EXPECT_THAT(list(D::kSamplingRate).items, ElementsAre("44100", "48000"));

    settings.in1 = 3;
    dialog.select(D::kInputDevice, 1);
    EXPECT_STREQ(settings.indev, "USB Quad");
    EXPECT_EQ(settings.in1, 1);
    EXPECT_EQ(settings.in2, 2);
    EXPECT_THAT(list(D::kInput2).items, ElementsAre("1", "2", "3", "4"));
    EXPECT_THAT(list(D::kSamplingRate).items, ElementsAre("48000", "44100")) << "input device's order";
}

TEST_F(PreferencesTest, StoredDeviceOrRateNotFoundShowsDefaultsButKeepsTheSetting) {
    setText(settings.indev, "Unplugged");
    setText(settings.sr, "12345");
    open();
    EXPECT_EQ(list(D::kInputDevice).selected, 0);
    EXPECT_STREQ(settings.indev, "Unplugged");
    EXPECT_EQ(list(D::kSamplingRate).selected, -1);
    EXPECT_STREQ(settings.sr, "12345");
    EXPECT_THAT(fake.calls, IsEmpty());

    dialog.select(D::kSamplingRate, 1);
    EXPECT_STREQ(settings.sr, "48000");
    EXPECT_THAT(fake.calls, ElementsAre("reopenStream"));
}

TEST_F(PreferencesTest, TwoDevicesOfOneNameShowTheFirstAsTheEngineOpensIt) {
    fake.drivers[0] = {{"Twin", 2, 2, {44100}}, {"Twin", 8, 8, {44100}}};
    setText(settings.indev, "Twin");
    setText(settings.outdev, "Twin");
    open();
    EXPECT_EQ(list(D::kInputDevice).selected, 0);
    EXPECT_THAT(list(D::kInput2).items, ElementsAre("1", "2"));
}

TEST_F(PreferencesTest, NamesLongerThanASettingsFieldAreCutAndStillFound) {
    const std::string longDevice = "Device " + std::string(150, 'x');
    const std::string longPort = "Port " + std::string(150, 'y');
    fake.drivers[0].push_back({longDevice, 6, 6, {44100}});
    fake.inPorts.push_back(longPort);
    open();

    dialog.select(D::kInputDevice, 2);
    EXPECT_EQ(std::string(settings.indev), longDevice.substr(0, 99));
    EXPECT_EQ(list(D::kInputDevice).selected, 2);
    EXPECT_EQ(list(D::kInput2).items.size(), 6u);

    dialog.select(D::kMidiInPort, 3);
    EXPECT_EQ(std::string(settings.midiIndev), longPort.substr(0, 99));
    EXPECT_EQ(fake.calls.back(), "openMidiIn:" + longPort.substr(0, 99));

    // Opened again, the cut names still find their device and port.
    fake.calls.clear();
    dialog.open();
    EXPECT_EQ(list(D::kInputDevice).selected, 2);
    EXPECT_EQ(list(D::kMidiInPort).selected, 3);
    EXPECT_EQ(fake.writes, 0) << "a cut port name is not replaced by \"off\"";
}

TEST_F(PreferencesTest, DriverTypeWithoutDevicesLeavesEmptyListsAndTheDefaultName) {
    fake.drivers[1].clear();
    open();
    dialog.select(D::kDriverType, 1);
    EXPECT_STREQ(settings.indev, "Default Device");
    EXPECT_STREQ(settings.outdev, "Default Device");
    for (int id : {D::kInputDevice, D::kOutputDevice, D::kInput1, D::kInput2, D::kOutput1, D::kOutput2,
                   D::kSamplingRate}) {
        EXPECT_THAT(list(id).items, IsEmpty()) << id;
        EXPECT_EQ(list(id).selected, -1) << id;
    }
    fake.calls.clear();
    dialog.select(D::kOutputDevice, 0);
    dialog.select(D::kSamplingRate, 0);
    EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(PreferencesTest, PositionsOutsideAListAndDisabledListsAreIgnored) {
    open();
    const AppSettings before = settings;
    dialog.select(D::kSamplingRate, 2);
    dialog.select(D::kSamplingRate, -1);
    dialog.select(D::kIoVectorSize, 9);
    dialog.select(D::kMidiInChannel, 17);
    dialog.select(D::kDriverType, 2);
    dialog.select(4242, 0);
    EXPECT_TRUE(settings == before);
    EXPECT_THAT(fake.calls, IsEmpty());
    EXPECT_EQ(list(4242).items.size(), 0u);

    dialog.select(D::kDriverType, 1);
    fake.calls.clear();
    dialog.select(D::kInputDevice, 0);
    EXPECT_THAT(fake.calls, IsEmpty()) << "the input list is disabled with the second driver type";
}

TEST_F(PreferencesTest, StoredDriverTypeOutOfRangeShowsNoDriverButTheDevicesOfTheFirst) {
    settings.driver = 5;
    open();
    EXPECT_EQ(list(D::kDriverType).selected, -1);
    EXPECT_TRUE(list(D::kInputDevice).enabled) << "the engine treats it as the first driver type";
    EXPECT_FALSE(dialog.controlPanelEnabled());
}

TEST_F(PreferencesTest, MidiListsReplaceAStoredNameThatIsGoneWithOffAndWriteAtOnce) {
    setText(settings.midiIndev, "Gone");
    setText(settings.midiOutdev, "synth out");
    settings.outchan = 16;
    fake.startUp();
    dialog.open();
    EXPECT_STREQ(settings.midiIndev, "off");
    EXPECT_EQ(selectedText(D::kMidiInPort), "off");
    EXPECT_EQ(fake.writes, 1);
    // The list's search ignores case.
    EXPECT_EQ(selectedText(D::kMidiOutPort), "Synth Out");
    EXPECT_STREQ(settings.midiOutdev, "synth out");
    EXPECT_EQ(selectedText(D::kMidiOutChannel), "16");
    EXPECT_TRUE(snapshot == settings) << "the snapshot is taken after the fill";
}

TEST_F(PreferencesTest, MidiChoicesActAtOnce) {
    open();
    dialog.select(D::kMidiInPort, 1);
    dialog.select(D::kMidiOutPort, 1);
    dialog.select(D::kMidiInChannel, 3);
    dialog.select(D::kMidiOutChannel, 16);
    EXPECT_STREQ(settings.midiIndev, "Synth In");
    EXPECT_STREQ(settings.midiOutdev, "Synth Out");
    EXPECT_EQ(settings.inchan, 3);
    EXPECT_EQ(settings.outchan, 16);
    EXPECT_THAT(fake.calls, ElementsAre("openMidiIn:Synth In", "openMidiOut:Synth Out"));

    // A port that went away since the list was made shows "off".
    fake.vanishedPorts = {"Keys"};
    dialog.select(D::kMidiInPort, 2);
    EXPECT_STREQ(settings.midiIndev, "off");
    EXPECT_EQ(selectedText(D::kMidiInPort), "off");
}

TEST_F(PreferencesTest, WithoutMidiTheMidiListsStayEmpty) {
    fake.midiAvailable = false;
    setText(settings.midiIndev, "Gone");
    open();
    for (int id : {D::kMidiInPort, D::kMidiOutPort, D::kMidiInChannel, D::kMidiOutChannel}) {
        EXPECT_THAT(list(id).items, IsEmpty());
        EXPECT_EQ(list(id).selected, -1);
    }
    EXPECT_STREQ(settings.midiIndev, "Gone");
    EXPECT_EQ(fake.writes, 0);
}

TEST_F(PreferencesTest, MonoInputActsWithoutReopening) {
    open();
    dialog.setMono(true);
    EXPECT_EQ(settings.monoinput, 1);
    EXPECT_TRUE(dialog.monoChecked());
    dialog.setMono(false);
    EXPECT_EQ(settings.monoinput, 0);
    EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(PreferencesTest, OkKeepsEverything) {
    open();
    dialog.select(D::kSamplingRate, 1);
    EXPECT_EQ(dialog.ok(), 1);
    EXPECT_STREQ(settings.sr, "48000");
    EXPECT_STREQ(snapshot.sr, "44100");
    EXPECT_THAT(fake.calls, ElementsAre("reopenStream"));
}

TEST_F(PreferencesTest, CancelWithoutChangeTouchesNothing) {
    open();
    dialog.select(D::kInput2, 0); // snaps back, changes nothing
    dialog.setMono(true);
    dialog.setMono(false);
    EXPECT_EQ(dialog.cancel(), 2);
    EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(PreferencesTest, CancelAfterMonoToggleRestoresAndRebuildsTheAudioSide) {
    open();
    dialog.setMono(true);
    EXPECT_EQ(dialog.cancel(), 2);
    EXPECT_EQ(settings.monoinput, 0);
    EXPECT_THAT(fake.calls, ElementsAre("recreateAudio", "scanDevices", "reopenStream"));
    EXPECT_EQ(fake.reopens.back().monoinput, 0);
}

TEST_F(PreferencesTest, CancelPutsBackEveryFieldAndReopensTheMidiPortsToMatch) {
    setText(settings.midiIndev, "Keys");
    open();
    const AppSettings before = settings;
    dialog.select(D::kDriverType, 1);
    dialog.select(D::kSamplingRate, 0);
    dialog.select(D::kMidiInPort, 1);
    dialog.select(D::kMidiInChannel, 2);
    fake.calls.clear();

    EXPECT_EQ(dialog.cancel(), 2);
    EXPECT_TRUE(settings == before);
    EXPECT_THAT(fake.calls, ElementsAre("recreateAudio", "scanDevices", "reopenStream", "openMidiIn:Keys"));
    EXPECT_EQ(fake.reopens.back().driver, 0);
}

TEST(FindListText, WholeTextIgnoringCaseThenTheFieldsCutForm) {
    const std::vector<std::string> items{"44100", "Alpha", "alpha", std::string(120, 'z')};
    EXPECT_EQ(findListText(items, "ALPHA"), 1);
    EXPECT_EQ(findListText(items, "alph"), -1);
    EXPECT_EQ(findListText(items, ""), -1);
    EXPECT_EQ(findListText(items, std::string(99, 'z')), 3);
    EXPECT_EQ(findListText(items, std::string(98, 'z')), -1);
    EXPECT_EQ(findListText({}, "x"), -1);
}

} // namespace
