#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_effect.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct MidiRig {
    RecordingMidiOutput output;
    std::atomic<std::uint16_t> channel{0};
    IHostRecord Record() { return {&output, &channel}; }
};

TEST(Standalone, ConstructionConnectsEverythingAndNamesTheHost) {
    TestEffect effect;
    EXPECT_EQ(effect.HostId(), 23);
    EXPECT_EQ(effect.HostVersion(), TestEffect::kVersion);
    EXPECT_EQ(effect.InputCount(), 2);
    EXPECT_EQ(effect.OutputCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(effect.IsInputConnected(i));
        EXPECT_TRUE(effect.IsOutputConnected(i));
    }
    EXPECT_EQ(effect.BlockFrames(), 1024);
    effect.SetBlockFrames(256);
    EXPECT_EQ(effect.BlockFrames(), 256);
    EXPECT_EQ(effect.HostTempo(), 120.0);
    EXPECT_EQ(effect.HostQuery(), 0);
    EXPECT_FALSE(effect.HostRequestBool());
    EXPECT_FALSE(effect.DoesMidi());
}

TEST(Standalone, ProcessBlockLockedRunsTheBlock) {
    TestEffect effect;
    double inL[] = {1, 2}, inR[] = {3, 4}, outL[2] = {}, outR[2] = {};
    double* in[] = {inL, inR};
    double* out[] = {outL, outR};
    effect.ProcessBlockLocked(in, out, 2);
    EXPECT_EQ(outR[1], 4.0);
}

TEST(MidiMessages, BuildersAndFields) {
    const MidiMessage on = MidiMessage::MakeNoteOn(60, 100, 7, 3);
    EXPECT_EQ(on.status, 0x93);
    EXPECT_EQ(on.data1, 60);
    EXPECT_EQ(on.data2, 100);
    EXPECT_EQ(on.offset, 7);
    EXPECT_EQ(on.length, 3);
    EXPECT_EQ(on.MidiKind(), 9);
    EXPECT_EQ(on.MidiChannel(), 3);

    const MidiMessage off = MidiMessage::MakeNoteOff(60, 0, 17);
    EXPECT_EQ(off.status, 0x81) << "the channel keeps its low four bits";
    EXPECT_EQ(off.data2, 0);
    EXPECT_EQ(off.MidiKind(), 8);

    EXPECT_EQ((MidiMessage{0, 0xF8, 0, 0}.MidiKind()), 0);
    EXPECT_EQ((MidiMessage{0, 0x7F, 0, 0}.MidiKind()), 0);
    EXPECT_EQ((MidiMessage{0, 0xEF, 0, 0}.MidiKind()), 14);

    const std::uint8_t program[] = {0xC2, 5};
    const MidiMessage pc = MidiMessage::FromBytes(program, 2);
    EXPECT_EQ(pc.length, 2);
    EXPECT_EQ(pc.status, 0xC2);
    EXPECT_EQ(pc.data1, 5);
    EXPECT_EQ(pc.data2, 0);
    const std::uint8_t sysex[] = {0xF0, 1, 2, 3, 0xF7};
    EXPECT_EQ(MidiMessage::FromBytes(sysex, 5).length, 3);
    EXPECT_EQ(MidiMessage::FromBytes(nullptr, 5).length, 0);
}

TEST(MidiOut, ChannelSettingMovesChannelMessages) {
    MidiRig rig;
    TestEffect effect(rig.Record());
    const MidiMessage note{0, 0x93, 0x3C, 0x64};
    EXPECT_TRUE(effect.SendMidiMessage(note));
    rig.channel = 1;
    EXPECT_TRUE(effect.SendMidiMessage(note));
    rig.channel = 16;
    EXPECT_TRUE(effect.SendMidiMessage(note));
    EXPECT_EQ(rig.output.sent,
              (std::vector<Bytes>{{0x93, 0x3C, 0x64}, {0x90, 0x3C, 0x64}, {0x9F, 0x3C, 0x64}}));
}

TEST(MidiOut, WithoutAnOutputNothingIsSent) {
    TestEffect effect;
    EXPECT_FALSE(effect.SendMidiMessage(MidiMessage::MakeNoteOn(60, 1, 0, 0)));
    std::atomic<std::uint16_t> channel{0};
    RecordingMidiOutput output;
    TestEffect noChannel(IHostRecord{&output, nullptr});
    EXPECT_TRUE(noChannel.SendMidiMessage(MidiMessage{0, 0x95, 1, 2}));
    EXPECT_EQ(output.sent, (std::vector<Bytes>{{0x95, 1, 2}}));
}

TEST(MidiOut, ShortMessagesGoOutWithTheirTrueLength) {
    MidiRig rig;
    rig.channel = 2;
    TestEffect effect(rig.Record());
    const std::uint8_t program[] = {0xC5, 7};
    const std::uint8_t pressure[] = {0xD0, 90};
    const std::uint8_t clock[] = {0xF8};
    EXPECT_TRUE(effect.SendMidiMessage(MidiMessage::FromBytes(program, 2)));
    EXPECT_TRUE(effect.SendMidiMessage(MidiMessage::FromBytes(pressure, 2)));
    EXPECT_TRUE(effect.SendMidiMessage(MidiMessage::FromBytes(clock, 1)));
    EXPECT_EQ(rig.output.sent, (std::vector<Bytes>{{0xC1, 7}, {0xD1, 90}, {0xF8}}));

    MidiMessage empty;
    empty.length = 0;
    EXPECT_FALSE(effect.SendMidiMessage(empty));
    MidiMessage overlong{0, 0x90, 1, 2};
    overlong.length = 200;
    EXPECT_TRUE(effect.SendMidiMessage(overlong));
    EXPECT_EQ(rig.output.sent.back(), (Bytes{0x91, 1, 2}));
}

TEST(MidiOut, SystemStatusesAndUnknownSettingsAreLeftAlone) {
    MidiRig rig;
    TestEffect effect(rig.Record());
    rig.channel = 5;
    EXPECT_TRUE(effect.SendMidiMessage(MidiMessage{0, 0xF2, 0x10, 0x20}));
    rig.channel = 17;
    EXPECT_TRUE(effect.SendMidiMessage(MidiMessage{0, 0x93, 1, 2}));
    EXPECT_EQ(rig.output.sent, (std::vector<Bytes>{{0xF2, 0x10, 0x20}, {0x93, 1, 2}}));
}

TEST(MidiOut, HandleMidiMessageEchoesToTheOutput) {
    MidiRig rig;
    rig.channel = 10;
    TestEffect effect(rig.Record());
    effect.HandleMidiMessage(MidiMessage::MakeNoteOff(64, 0, 0));
    EXPECT_EQ(rig.output.sent, (std::vector<Bytes>{{0x89, 64, 0}}));
}

TEST(MidiOut, ChannelSettingMayChangeWhileSending) {
    MidiRig rig;
    TestEffect effect(rig.Record());
    std::thread midi([&] {
        for (int i = 0; i < 5000; ++i)
            effect.HandleMidiMessage(MidiMessage::MakeNoteOn(60, 100, 0, 4));
    });
    for (int i = 0; i < 5000; ++i)
        rig.channel.store(static_cast<std::uint16_t>(i % 17));
    midi.join();
    ASSERT_EQ(rig.output.sent.size(), 5000u);
    for (const Bytes& message : rig.output.sent)
        EXPECT_EQ(message[0] & 0xF0, 0x90);
}

} // namespace
