#include "framework/state_chunk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_effect.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(IStateChunk& chunk, const Bytes& bytes) {
    chunk.AppendBytes(bytes.data(), bytes.size());
}

TEST(GrowableBuffer, GrowthLawForPageGranularity) {
    EXPECT_EQ(GrowableBuffer::AllocationFor(8, 4096), 4000u);
    EXPECT_EQ(GrowableBuffer::AllocationFor(10000, 4096), 12192u);
    // Half of 20 MB exceeds the 4 MiB cap on the extra.
    EXPECT_EQ(GrowableBuffer::AllocationFor(20000000, 4096), 24190880u);
    for (std::size_t n = 1; n < 200000; n = n * 3 / 2 + 7) {
        const std::size_t a = GrowableBuffer::AllocationFor(n, 4096);
        EXPECT_GE(a, n);
        EXPECT_EQ((a + 96) % 4096, 0u) << n;
    }
}

TEST(GrowableBuffer, GrowthLawForSmallGranularity) {
    EXPECT_EQ(GrowableBuffer::AllocationFor(10, 128), 138u);
    EXPECT_EQ(GrowableBuffer::AllocationFor(1000, 128), 1500u);
}

TEST(GrowableBuffer, SizesTooLargeToGrowToFailAndKeepTheOldSize) {
    const std::size_t max = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(GrowableBuffer::AllocationFor(max, 4096), 0u);
    EXPECT_EQ(GrowableBuffer::AllocationFor(max - 10, 128), 0u);

    GrowableBuffer buffer(4096);
    ASSERT_TRUE(buffer.Resize(10));
    EXPECT_FALSE(buffer.Resize(max - 5));
    EXPECT_EQ(buffer.Size(), 10u);
    EXPECT_TRUE(buffer.Resize(0));
    EXPECT_EQ(buffer.Allocated(), 4000u) << "shrinking keeps the memory";
}

TEST(StateChunk, StoresValuesLittleEndian) {
    IStateChunk chunk;
    EXPECT_EQ(chunk.AppendValue(std::int32_t{0x01020304}), 4);
    EXPECT_EQ(chunk.AppendValue(1.0), 12);
    EXPECT_EQ(chunk.AppendValue(true), 13);
    EXPECT_EQ(BytesOf(chunk), (Bytes{4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 1}));
}

TEST(StateChunk, TextIsLengthThenBytesWithoutTerminator) {
    IStateChunk chunk;
    chunk.AppendText("-");
    chunk.AppendText("");
    chunk.AppendText(nullptr);
    EXPECT_EQ(BytesOf(chunk), (Bytes{1, 0, 0, 0, '-', 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(StateChunk, ReadValueStopsAtTheEndAndLeavesTheValue) {
    IStateChunk chunk;
    chunk.AppendValue(2.5);
    double v = 0.0;
    EXPECT_EQ(chunk.ReadValue(&v, 0), 8);
    EXPECT_EQ(v, 2.5);
    v = 7.0;
    EXPECT_EQ(chunk.ReadValue(&v, 1), -1);
    EXPECT_EQ(chunk.ReadValue(&v, 8), -1);
    EXPECT_EQ(chunk.ReadValue(&v, -1), -1);
    EXPECT_EQ(chunk.ReadValue(&v, std::numeric_limits<std::int32_t>::max()), -1);
    EXPECT_EQ(v, 7.0);
}

TEST(StateChunk, GarbageByteReadsAsAValidBool) {
    IStateChunk chunk;
    Put(chunk, {5, 0});
    bool flag = false;
    EXPECT_EQ(chunk.ReadValue(&flag, 0), 1);
    EXPECT_TRUE(flag);
    EXPECT_EQ(chunk.ReadValue(&flag, 1), 2);
    EXPECT_FALSE(flag);
}

TEST(StateChunk, ReadTextRoundTripsAndSkipsEmptyTexts) {
    IStateChunk chunk;
    chunk.AppendText("user preset 1");
    chunk.AppendText("");
    char out[32] = "before";
    EXPECT_EQ(chunk.ReadText(out, sizeof out, 0), 17);
    EXPECT_STREQ(out, "user preset 1");
    std::strcpy(out, "kept");
    EXPECT_EQ(chunk.ReadText(out, sizeof out, 17), 21);
    EXPECT_STREQ(out, "kept") << "an empty text leaves the buffer alone";
}

TEST(StateChunk, ReadTextStopsAtAnEmbeddedNulButSkipsTheWholeText) {
    IStateChunk chunk;
    Put(chunk, {5, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 9});
    char out[16] = "";
    EXPECT_EQ(chunk.ReadText(out, sizeof out, 0), 9);
    EXPECT_STREQ(out, "ab");
}

TEST(StateChunk, ReadTextCutsToTheBuffer) {
    IStateChunk chunk;
    chunk.AppendText("abcdefgh");
    char out[4] = "";
    EXPECT_EQ(chunk.ReadText(out, sizeof out, 0), 12);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(chunk.ReadText(nullptr, 0, 0), 12);
}

TEST(StateChunk, ReadTextRejectsBadLengthsWithoutTouchingTheBuffer) {
    const std::int32_t lengths[] = {9,
                                    -1,
                                    -5,
                                    std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max(),
                                    std::numeric_limits<std::int32_t>::max() - 3};
    for (std::int32_t length : lengths) {
        IStateChunk chunk;
        chunk.AppendValue(length);
        chunk.AppendText("xyz");
        char out[8] = "kept";
        EXPECT_EQ(chunk.ReadText(out, sizeof out, 0), -1) << length;
        EXPECT_STREQ(out, "kept");
    }
    IStateChunk shortChunk;
    Put(shortChunk, {1, 0, 0});
    char out[8] = "kept";
    EXPECT_EQ(shortChunk.ReadText(out, sizeof out, 0), -1);
    EXPECT_EQ(shortChunk.ReadText(out, sizeof out, -4), -1);
    EXPECT_STREQ(out, "kept");
}

TEST(StateChunk, AppendChunkCopiesAllBytesEvenFromItself) {
    IStateChunk a;
    IStateChunk b;
    a.AppendValue(std::int32_t{7});
    b.AppendValue(std::int16_t{-2});
    EXPECT_EQ(a.AppendChunk(b), 6);
    EXPECT_EQ(a.AppendChunk(a), 12);
    EXPECT_EQ(BytesOf(a), (Bytes{7, 0, 0, 0, 0xFE, 0xFF, 7, 0, 0, 0, 0xFE, 0xFF}));
    IStateChunk empty;
    EXPECT_EQ(a.AppendChunk(empty), 12);
}

TEST(StateChunk, ClearKeepsTheChunkUsable) {
    IStateChunk chunk;
    chunk.AppendValue(1.0);
    chunk.Clear();
    EXPECT_EQ(chunk.Size(), 0);
    double v = 0.0;
    EXPECT_EQ(chunk.ReadValue(&v, 0), -1);
    chunk.AppendValue(3.0);
    EXPECT_EQ(chunk.ReadValue(&v, 0), 8);
    EXPECT_EQ(v, 3.0);
}

TEST(StateChunk, GrowsAcrossManyAllocations) {
    IStateChunk chunk;
    for (std::int32_t i = 0; i < 100000; ++i)
        ASSERT_EQ(chunk.AppendValue(i), 4 * (i + 1));
    std::int32_t pos = 0;
    for (std::int32_t i = 0; i < 100000; ++i) {
        std::int32_t v = -1;
        pos = chunk.ReadValue(&v, pos);
        ASSERT_EQ(v, i);
    }
    EXPECT_EQ(pos, chunk.Size());
}

} // namespace
