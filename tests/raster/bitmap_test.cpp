#include "raster/bitmap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "raster/bitmap_cache.h"
#include "raster_test_support.h"

TEST(MemoryBitmap, RowsArePaddedToTheAlignment) {
    EXPECT_EQ(RasterMemoryBitmap(288, 2, 4).RowStride(), 288);
    EXPECT_EQ(RasterMemoryBitmap(135, 2, 4).RowStride(), 136);
    EXPECT_EQ(RasterMemoryBitmap(135, 2, 1).RowStride(), 135);
    EXPECT_EQ(RasterMemoryBitmap(135, 2, 0).RowStride(), 135);
    EXPECT_EQ(RasterMemoryBitmap(135, 2, 12).RowStride(), 136); // lowest set bit of 12 is 4
    EXPECT_EQ(RasterMemoryBitmap(17, 2, 16).RowStride(), 32);
    EXPECT_EQ(RasterMemoryBitmap(17, 2, 64).RowStride(), 32); // capped at 16
}

TEST(MemoryBitmap, PixelsStartOnA64ByteBoundaryAndAreWritable) {
    RasterMemoryBitmap b(135, 101, 4);
    ASSERT_NE(b.Bits(), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.Bits()) % 64, 0u);
    EXPECT_FALSE(b.IsBottomUp());
    EXPECT_EQ(b.DrawingContext(), nullptr);
    EXPECT_EQ(b.QueryExtension(1, nullptr), 0);
    Fill(b, 0x12345678u); // touches every row including padding: ASan checks the bounds
    EXPECT_EQ(b.Row(100)[135], 0x12345678u);
    EXPECT_EQ(b.Capacity(), 136u * 101 * 4);
}

TEST(MemoryBitmap, ShrinkKeepsTheBufferAndGrowthReservesAQuarterMore) {
    RasterMemoryBitmap b(100, 100, 4);
    RasterPixel* const first = b.Bits();
    EXPECT_FALSE(b.SetSize(100, 100));
    EXPECT_TRUE(b.SetSize(50, 20));
    EXPECT_EQ(b.Bits(), first);
    EXPECT_EQ(b.Capacity(), 40000u);
    EXPECT_EQ(b.Width(), 50);
    EXPECT_TRUE(b.SetSize(100, 100)); // fits the old capacity again
    EXPECT_EQ(b.Capacity(), 40000u);
    EXPECT_TRUE(b.SetSize(200, 100)); // needs 80000 bytes: capacity 80000 / 4 x 5
    EXPECT_EQ(b.Capacity(), 100000u);
    EXPECT_EQ(b.Width(), 200);
    Fill(b, 1u);
}

TEST(MemoryBitmap, EmptyNegativeAndAbsurdSizesLeaveNoPixels) {
    RasterMemoryBitmap b(10, 10, 4);
    EXPECT_TRUE(b.SetSize(0, 10));
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(b.Capacity(), 0u);

    EXPECT_TRUE(b.SetSize(-4, -4)); // two negatives must not multiply into a real size
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);

    // 1,000,000 squared x 4 bytes overflows 32-bit arithmetic; the bitmap just stays empty.
    EXPECT_TRUE(b.SetSize(1000000, 1000000));
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_TRUE(b.SetSize(0x7FFFFFFF, 1));
    EXPECT_EQ(b.Bits(), nullptr);

    RasterMemoryBitmap none;
    EXPECT_EQ(none.Bits(), nullptr);
    EXPECT_EQ(none.Width(), 0);
}

TEST(ScreenBitmap, StrideIsTheAllocatedWidth) {
    RasterScreenBitmap b(289, 392);
    EXPECT_EQ(b.Width(), 289);
    EXPECT_EQ(b.RowStride(), 292);
    EXPECT_EQ(b.AllocatedHeight(), 392);
    EXPECT_FALSE(b.IsBottomUp());
    Fill(b, 5u);

    RasterPixel* const store = b.Bits();
    EXPECT_FALSE(b.SetSize(289, 392));
    EXPECT_TRUE(b.SetSize(100, 50)); // smaller: keeps the store and its stride
    EXPECT_EQ(b.Bits(), store);
    EXPECT_EQ(b.RowStride(), 292);
    EXPECT_EQ(b.Width(), 100);
    EXPECT_TRUE(b.SetSize(300, 50)); // wider than allocated: new store
    EXPECT_EQ(b.RowStride(), 300);
    EXPECT_EQ(b.AllocatedHeight(), 50);
    Fill(b, 6u);
}

TEST(ScreenBitmap, ZeroAndAbsurdSizesHaveNoPixels) {
    RasterScreenBitmap scratch;
    EXPECT_EQ(scratch.Bits(), nullptr);
    EXPECT_EQ(scratch.Width(), 0);
    RasterScreenBitmap b(8, 8);
    EXPECT_FALSE(b.SetSize(0, 8));
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    b.SetSize(1000000, 1000000);
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_TRUE(b.SetSize(4, 4));
    EXPECT_NE(b.Bits(), nullptr);
}

TEST(BitmapStrip, FrameHeightIsHeightOverFrames) {
    EXPECT_EQ((IBitmapStrip{nullptr, 135, 13635, 101}.FrameHeight()), 135);
    EXPECT_EQ((IBitmapStrip{nullptr, 56, 112, 2}.FrameHeight()), 56);
    EXPECT_EQ((IBitmapStrip{nullptr, 56, 112, 0}.FrameHeight()), 0);
}

TEST(BitmapCache, LoadsEachIdOnceWhateverNameOrFrames) {
    BitmapCache cache;
    int loads = 0;
    auto load = [&] {
        ++loads;
        return new RasterMemoryBitmap(135, 13635, 4);
    };
    const IBitmapStrip a = cache.LoadStrip(105, 101, load);
    const IBitmapStrip b = cache.LoadStrip(105, 7, load);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(a.bitmap, b.bitmap);
    EXPECT_EQ(a.width, 135);
    EXPECT_EQ(a.height, 13635);
    EXPECT_EQ(a.FrameHeight(), 135);
    EXPECT_EQ(b.frames, 7);
    EXPECT_EQ(cache.Find(105), a.bitmap);
    EXPECT_EQ(cache.Find(106), nullptr);
}

TEST(BitmapCache, AFailedLoadGivesAnEmptyStripAndIsRetried) {
    BitmapCache cache;
    int loads = 0;
    const IBitmapStrip none = cache.LoadStrip(7, 2, [&]() -> RasterBitmap* {
        ++loads;
        return nullptr;
    });
    EXPECT_EQ(none.bitmap, nullptr);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
    EXPECT_EQ(cache.Count(), 0u);
    const IBitmapStrip later = cache.LoadStrip(7, 2, [&]() -> RasterBitmap* {
        ++loads;
        return new RasterMemoryBitmap(4, 4, 4);
    });
    EXPECT_EQ(loads, 2);
    EXPECT_NE(later.bitmap, nullptr);
}

TEST(BitmapCache, ConcurrentLoadsKeepOneImagePerId) {
    BitmapCache cache;
    std::atomic<int> loads{0};
    std::vector<std::thread> threads;
    std::vector<RasterBitmap*> seen(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int id = 0; id < 20; ++id) {
                const IBitmapStrip s = cache.LoadStrip(id, 1, [&] {
                    ++loads;
                    return new RasterMemoryBitmap(2, 2, 4);
                });
                if (id == 19)
                    seen[t] = s.bitmap;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(cache.Count(), 20u);
    for (RasterBitmap* b : seen)
        EXPECT_EQ(b, seen[0]);
    EXPECT_GE(loads.load(), 20);
}

TEST(BitmapCache, ProcessWideInstanceIsOne) {
    EXPECT_EQ(&BitmapCache::Instance(), &BitmapCache::Instance());
}
