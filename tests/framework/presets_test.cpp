#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "test_effect.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

IStateChunk ChunkOf(std::initializer_list<double> values) {
    IStateChunk chunk;
    for (double v : values)
        chunk.AppendValue(v);
    return chunk;
}

std::vector<double> Values(const IEffectBase& effect) {
    std::vector<double> values;
    for (std::int32_t i = 0; i < effect.ParamCount(); ++i)
        values.push_back(effect.Param(i)->Value());
    return values;
}

const std::vector<std::int32_t> kAllNotified{0, 1, 2};

TEST(ParameterBlock, IsOneLittleEndianDoublePerParameter) {
    TestEffect effect;
    IStateChunk chunk;
    EXPECT_TRUE(effect.SerializeParams(chunk));
    EXPECT_EQ(BytesOf(chunk), Bytes(24, 0));

    effect.SetValues(1.0, -2.0, 1.0);
    IStateChunk chunk2;
    chunk2.AppendValue(std::uint8_t{0xAA});
    EXPECT_TRUE(effect.SaveState(chunk2)) << "appends after what is already there";
    EXPECT_EQ(BytesOf(chunk2), (Bytes{0xAA, 0, 0, 0,    0, 0, 0, 0xF0, 0x3F, 0, 0,    0,   0,
                                      0,    0, 0, 0xC0, 0, 0, 0, 0,    0,    0, 0xF0, 0x3F}));
}

TEST(ParameterBlock, ReadBackLimitsToTheRangeWithoutRounding) {
    TestEffect effect;
    IStateChunk chunk = ChunkOf({30.0, -5.5, 0.7});
    EXPECT_EQ(effect.UnserializeParams(chunk, 0), 24);
    EXPECT_EQ(Values(effect), (std::vector<double>{20.0, -5.5, 0.7}));
    EXPECT_EQ(effect.changed, kAllNotified);
}

TEST(ParameterBlock, ShortChunkSetsTheFailingParameterToZeroAndNotifiesAll) {
    TestEffect effect;
    effect.SetValues(3.0, 4.0, 1.0);
    IStateChunk chunk = ChunkOf({-7.0, 8.0});
    EXPECT_EQ(effect.UnserializeParams(chunk, 0), -1);
    EXPECT_EQ(Values(effect), (std::vector<double>{-7.0, 8.0, 0.0}));
    EXPECT_EQ(effect.changed, kAllNotified);
}

TEST(ParameterBlock, ZeroIsLimitedToTheRangeOfTheFailingParameter) {
    TestEffect effect;
    effect.Param(1)->DefineNumber("Positive", 5.0, 2.0, 9.0, 1.0, "");
    IStateChunk chunk = ChunkOf({1.0, 3.0});
    chunk.AppendValue(std::int32_t{0});
    EXPECT_EQ(effect.UnserializeParams(chunk, 8), -1);
    EXPECT_EQ(Values(effect), (std::vector<double>{3.0, 2.0, 0.0}));
}

TEST(ParameterBlock, NegativeStartReadsNothingButNotifiesAll) {
    TestEffect effect;
    effect.SetValues(3.0, 4.0, 1.0);
    IStateChunk chunk = ChunkOf({1.0, 1.0, 1.0});
    EXPECT_EQ(effect.LoadState(chunk, -5), -5);
    EXPECT_EQ(Values(effect), (std::vector<double>{3.0, 4.0, 1.0}));
    EXPECT_EQ(effect.changed, kAllNotified);
}

TEST(ParameterBlock, SaveAndLoadStateRoundTrip) {
    TestEffect source;
    source.SetValues(12.3, -0.1, 1.0);
    IStateChunk chunk;
    ASSERT_TRUE(source.SaveState(chunk));
    TestEffect target;
    EXPECT_EQ(target.LoadState(chunk, 0), 24);
    EXPECT_EQ(Values(target), Values(source));
}

TEST(PresetsBlock, DefaultPresetIsThirtyBytes) {
    TestEffect effect;
    effect.CapturePresets("-", 1);
    IStateChunk chunk;
    EXPECT_TRUE(effect.SerializePresets(chunk));
    Bytes expected{1, 0, 0, 0, 0x2D, 1};
    expected.resize(30, 0);
    EXPECT_EQ(BytesOf(chunk), expected);
}

TEST(PresetsBlock, EmptySlotsHaveNoParameterBlock) {
    TestEffect effect({}, 2);
    IStateChunk chunk;
    EXPECT_TRUE(effect.SerializePresets(chunk));
    EXPECT_EQ(BytesOf(chunk),
              (Bytes{5, 0, 0, 0, 'e', 'm', 'p', 't', 'y', 0, 5, 0, 0, 0, 'e', 'm', 'p', 't', 'y', 0}));
}

TEST(PresetsBlock, RoundTripRestoresSlotsAndTheCurrentPreset) {
    TestEffect source({}, 3);
    source.SetValues(1.0, 2.0, 1.0);
    source.CapturePresets("first", 1);
    source.SetValues(-4.0, 5.5, 0.0);
    source.CapturePresets("second", 1);
    IStateChunk chunk;
    ASSERT_TRUE(source.SerializePresets(chunk));

    TestEffect target({}, 3);
    target.CapturePresets("mine", 1);
    target.SetValues(9.0, 9.0, 1.0);
    EXPECT_EQ(target.UnserializePresets(chunk, 0), chunk.Size());
    EXPECT_STREQ(target.PresetSlot(0)->name, "first");
    EXPECT_STREQ(target.PresetSlot(1)->name, "second");
    EXPECT_TRUE(target.PresetSlot(1)->initialised);
    EXPECT_FALSE(target.PresetSlot(2)->initialised);
    EXPECT_STREQ(target.PresetSlot(2)->name, "empty");
    // The last step reloads the current preset (slot 0) into the parameters.
    EXPECT_EQ(Values(target), (std::vector<double>{1.0, 2.0, 1.0}));
    EXPECT_EQ(BytesOf(target.PresetSlot(1)->chunk), BytesOf(ChunkOf({-4.0, 5.5, 0.0})));
}

TEST(PresetsBlock, StoredValuesAreLimitedWhenRead) {
    IStateChunk chunk;
    chunk.AppendText("loud");
    chunk.AppendValue(std::uint8_t{1});
    chunk.AppendChunk(ChunkOf({30.0, -30.0, 0.7}));
    TestEffect effect;
    EXPECT_EQ(effect.UnserializePresets(chunk, 0), 33);
    EXPECT_EQ(BytesOf(effect.PresetSlot(0)->chunk), BytesOf(ChunkOf({20.0, -20.0, 0.7})));
    EXPECT_EQ(Values(effect), (std::vector<double>{20.0, -20.0, 0.7}));
}

TEST(PresetsBlock, EmptyStoredNameTakesThePreviousName) {
    IStateChunk chunk;
    chunk.AppendText("");
    chunk.AppendValue(std::uint8_t{1});
    chunk.AppendChunk(ChunkOf({1.0, 2.0, 0.0}));
    chunk.AppendText("named");
    chunk.AppendValue(std::uint8_t{0});
    chunk.AppendText("");
    chunk.AppendValue(std::uint8_t{0});
    TestEffect effect({}, 3);
    effect.UnserializePresets(chunk, 0);
    EXPECT_STREQ(effect.PresetSlot(0)->name, "");
    EXPECT_STREQ(effect.PresetSlot(1)->name, "named");
    EXPECT_STREQ(effect.PresetSlot(2)->name, "named");
}

TEST(PresetsBlock, SlotWithATruncatedBlockStaysEmpty) {
    IStateChunk chunk;
    chunk.AppendText("first");
    chunk.AppendValue(std::uint8_t{1});
    chunk.AppendChunk(ChunkOf({1.0, 2.0, 0.0}));
    chunk.AppendText("cut");
    chunk.AppendValue(std::uint8_t{1});
    chunk.AppendValue(5.0);
    TestEffect effect({}, 2);
    EXPECT_EQ(effect.UnserializePresets(chunk, 0), -1);
    EXPECT_TRUE(effect.PresetSlot(0)->initialised);
    EXPECT_FALSE(effect.PresetSlot(1)->initialised);
    EXPECT_EQ(std::vector<double>({1.0, 2.0, 0.0}), Values(effect)) << "the current preset is reloaded";

    // Written back, the block is whole again.
    IStateChunk again;
    ASSERT_TRUE(effect.SerializePresets(again));
    TestEffect reader({}, 2);
    EXPECT_EQ(reader.UnserializePresets(again, 0), again.Size());
}

TEST(PresetsBlock, TruncatedBlockStopsAndKeepsTheFlag) {
    TestEffect effect({}, 2);
    effect.CapturePresets("a", 2);
    IStateChunk chunk;
    chunk.AppendText("only a name");
    EXPECT_EQ(effect.UnserializePresets(chunk, 0), -1);
    EXPECT_STREQ(effect.PresetSlot(0)->name, "only a name");
    EXPECT_TRUE(effect.PresetSlot(0)->initialised);
    EXPECT_STREQ(effect.PresetSlot(1)->name, "a");
}

TEST(PresetsBlock, NameRunningPastTheEndEndsReading) {
    IStateChunk chunk;
    chunk.AppendValue(std::int32_t{50});
    chunk.AppendText("short");
    TestEffect effect;
    effect.CapturePresets("-", 1);
    EXPECT_EQ(effect.UnserializePresets(chunk, 0), -1);
    EXPECT_STREQ(effect.PresetSlot(0)->name, "");
    EXPECT_TRUE(effect.PresetSlot(0)->initialised);
}

TEST(PresetSlots, LoadingAnIndexOutsideTheSlotsChangesNothing) {
    TestEffect effect;
    effect.CapturePresets("-", 1);
    effect.SetValues(1.0, 1.0, 1.0);
    EXPECT_FALSE(effect.LoadPresetSlot(5));
    EXPECT_FALSE(effect.LoadPresetSlot(-1));
    EXPECT_EQ(Values(effect), (std::vector<double>{1.0, 1.0, 1.0}));
    EXPECT_EQ(effect.restored, 0);
    EXPECT_TRUE(effect.changed.empty());
}

TEST(PresetSlots, LoadingAnInitialisedSlotRestoresItsValues) {
    TestEffect effect({}, 2);
    auto* editor = new RecordingEditor;
    effect.AttachEditor(editor);
    effect.SetValues(6.0, -6.0, 1.0);
    effect.CapturePresets("six", 1);
    effect.SetValues(0.0, 0.0, 0.0);
    editor->pushes.clear();

    EXPECT_TRUE(effect.LoadPresetSlot(0));
    EXPECT_EQ(Values(effect), (std::vector<double>{6.0, -6.0, 1.0}));
    EXPECT_EQ(effect.restored, 1);
    EXPECT_EQ(effect.CurrentPresetIndex(), 0);
    EXPECT_EQ(editor->pushes, (std::vector<Push>{{0, 6.0, false}, {1, -6.0, false}, {2, 1.0, false}}));
}

TEST(PresetSlots, LoadingAnEmptySlotCapturesItUnderAUserName) {
    TestEffect effect({}, 3);
    effect.CapturePresets("-", 1);
    effect.SetValues(2.0, 3.0, 1.0);
    EXPECT_TRUE(effect.LoadPresetSlot(1));
    EXPECT_EQ(Values(effect), (std::vector<double>{2.0, 3.0, 1.0}));
    EXPECT_STREQ(effect.PresetSlot(1)->name, "user preset 1");
    EXPECT_TRUE(effect.PresetSlot(1)->initialised);
    EXPECT_EQ(BytesOf(effect.PresetSlot(1)->chunk), BytesOf(ChunkOf({2.0, 3.0, 1.0})));
    EXPECT_EQ(effect.CurrentPresetIndex(), 1);
    EXPECT_TRUE(effect.LoadPresetSlot(2));
    EXPECT_STREQ(effect.PresetSlot(2)->name, "user preset 2");
}

TEST(PresetSlots, UserNamesCountEverySlotContainingTheWords) {
    TestEffect effect({}, 4);
    for (const char* name : {"my user preset x", "User Preset", "user preset 7"})
        effect.CapturePresets(name, 1);
    char name[32];
    effect.NextUserPresetName(name, sizeof name);
    EXPECT_STREQ(name, "user preset 3");
    char tiny[5];
    effect.NextUserPresetName(tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "user");
}

TEST(PresetSlots, CaptureFillsFreeSlotsInOrderAndStopsWhenFull) {
    TestEffect effect({}, 2);
    effect.SetValues(1.0, 0.0, 0.0);
    effect.CapturePresets(nullptr, 1);
    effect.SetValues(2.0, 0.0, 0.0);
    effect.CapturePresets("two", 5);
    EXPECT_STREQ(effect.PresetSlot(0)->name, "Empty");
    EXPECT_STREQ(effect.PresetSlot(1)->name, "two");
    EXPECT_EQ(BytesOf(effect.PresetSlot(1)->chunk), BytesOf(ChunkOf({2.0, 0.0, 0.0})));
    EXPECT_EQ(effect.PresetSlot(2), nullptr);
}

TEST(PresetSlots, PluginWithoutParametersLoadsItsPresets) {
    class Empty : public IEffectStandalone {
      public:
        Empty() : IEffectStandalone({}, 0, "", 1, "E", "", "", 1, 0, 0, 0, false, false, false, 0) {}
    } effect;
    effect.CapturePresets("-", 1);
    EXPECT_TRUE(effect.LoadPresetSlot(0));
}

} // namespace
