// Damaged and random chunks must read safely: nothing past the end (ASan
// watches), no undefined arithmetic (UBSan), values inside their ranges and
// every parameter notified.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "test_effect.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ChunkFuzz : public ::testing::Test {
  protected:
    std::mt19937 rng{20240611};

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    Bytes RandomBytes() {
        Bytes bytes(static_cast<std::size_t>(Uniform(0, 120)));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(Uniform(0, 255));
        return bytes;
    }

    // A valid presets block of a few slots, to mutate.
    Bytes ValidPresets() {
        TestEffect source({}, 4);
        for (int i = 0; i < Uniform(0, 4); ++i) {
            source.SetValues(Uniform(-30, 30), Uniform(-30, 30), Uniform(0, 1));
            source.CapturePresets(i % 2 ? "" : "preset", 1);
        }
        IStateChunk chunk;
        source.SerializePresets(chunk);
        return BytesOf(chunk);
    }

    void Mutate(Bytes& bytes) {
        static const std::int32_t kLengths[] = {-1,
                                                0,
                                                1,
                                                255,
                                                256,
                                                100000,
                                                std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::int32_t>::max(),
                                                std::numeric_limits<std::int32_t>::max() - 2};
        const int edits = Uniform(1, 4);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const std::size_t at = static_cast<std::size_t>(Uniform(0, static_cast<int>(bytes.size()) - 1));
            switch (Uniform(0, 3)) {
            case 0:
                bytes[at] ^= static_cast<std::uint8_t>(1u << Uniform(0, 7));
                break;
            case 1:
                bytes.resize(at);
                break;
            case 2:
                if (at + 4 <= bytes.size()) {
                    const std::int32_t length = kLengths[Uniform(0, std::size(kLengths) - 1)];
                    std::memcpy(bytes.data() + at, &length, 4);
                }
                break;
            default:
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             static_cast<std::uint8_t>(Uniform(0, 255)));
            }
        }
    }

    static IStateChunk ChunkFrom(const Bytes& bytes) {
        IStateChunk chunk;
        chunk.AppendBytes(bytes.data(), bytes.size());
        return chunk;
    }

    std::int32_t RandomStart(const IStateChunk& chunk) {
        switch (Uniform(0, 5)) {
        case 0:
            return -1;
        case 1:
            return Uniform(0, chunk.Size() + 16);
        case 2:
            return std::numeric_limits<std::int32_t>::max();
        default:
            return 0;
        }
    }

    static void ExpectSane(const TestEffect& effect) {
        for (std::int32_t i = 0; i < effect.ParamCount(); ++i) {
            const IParameter* p = effect.Param(i);
            EXPECT_GE(p->Value(), p->Minimum());
            EXPECT_LE(p->Value(), p->Maximum());
        }
        for (std::int32_t i = 0; i < effect.PresetCount(); ++i) {
            const IPresetSlot* slot = effect.PresetSlot(i);
            EXPECT_LT(strnlen(slot->name, sizeof slot->name), sizeof slot->name);
            if (slot->initialised) {
                EXPECT_EQ(slot->chunk.Size(), 24) << "slot " << i;
            }
        }
    }

    static void ExpectPosition(std::int32_t pos, std::int32_t start, const IStateChunk& chunk) {
        if (start < 0)
            EXPECT_EQ(pos, start);
        else
            EXPECT_TRUE(pos == -1 || (pos >= start && pos <= chunk.Size())) << pos;
    }
};

TEST_F(ChunkFuzz, ParameterBlocks) {
    for (int round = 0; round < 5000; ++round) {
        Bytes bytes = RandomBytes();
        if (round % 2) {
            IStateChunk valid;
            for (int i = 0; i < 3; ++i)
                valid.AppendValue(static_cast<double>(Uniform(-40, 40)));
            bytes = BytesOf(valid);
            Mutate(bytes);
        }
        const IStateChunk chunk = ChunkFrom(bytes);
        TestEffect effect;
        const std::int32_t start = RandomStart(chunk);
        const std::int32_t pos =
            round % 3 ? effect.UnserializeParams(chunk, start) : effect.LoadState(chunk, start);
        ExpectPosition(pos, start, chunk);
        EXPECT_EQ(effect.changed, (std::vector<std::int32_t>{0, 1, 2}));
        ExpectSane(effect);
    }
}

TEST_F(ChunkFuzz, PresetsBlocks) {
    for (int round = 0; round < 5000; ++round) {
        Bytes bytes = round % 4 == 0 ? RandomBytes() : ValidPresets();
        if (round % 4)
            Mutate(bytes);
        const IStateChunk chunk = ChunkFrom(bytes);
        TestEffect effect({}, 4);
        if (round % 3)
            effect.CapturePresets("-", 1);
        const std::int32_t start = RandomStart(chunk);
        const std::int32_t pos = effect.UnserializePresets(chunk, start);
        ExpectPosition(pos, start, chunk);
        ExpectSane(effect);

        // Whatever was read must write back as a readable block.
        IStateChunk again;
        ASSERT_TRUE(effect.SerializePresets(again));
        TestEffect reader({}, 4);
        EXPECT_EQ(reader.UnserializePresets(again, 0), again.Size());
    }
}

TEST_F(ChunkFuzz, TextsAtEveryPosition) {
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = RandomBytes();
        Mutate(bytes);
        const IStateChunk chunk = ChunkFrom(bytes);
        for (std::int32_t pos = -2; pos <= chunk.Size() + 2; ++pos) {
            char out[8] = "kept";
            const std::int32_t next = chunk.ReadText(out, sizeof out, pos);
            EXPECT_TRUE(next == -1 || (next >= pos + 4 && next <= chunk.Size()));
            EXPECT_LT(strnlen(out, sizeof out), sizeof out);
        }
    }
}

} // namespace
