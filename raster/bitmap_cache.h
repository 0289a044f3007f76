#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "raster/bitmap.h"

// Process-wide store of decoded images keyed by resource id alone; each image is decoded
// once and lives until the process ends. The lock is held only for a lookup or an append,
// never while decoding.
class BitmapCache {
  public:
    static BitmapCache& Instance();

    BitmapCache() = default;
    BitmapCache(const BitmapCache&) = delete;
    BitmapCache& operator=(const BitmapCache&) = delete;

    // The cached bitmap for `id`, or nullptr.
    RasterBitmap* Find(int id) const;

    // Takes ownership of `bitmap` (non-null). If another caller cached `id` meanwhile,
    // `bitmap` is destroyed and the cached one answered, so one id never has two images.
    RasterBitmap* Append(int id, std::unique_ptr<RasterBitmap> bitmap);

    // Cached image for `id`, else `load()` (called without the lock) cached under `id`.
    // The strip carries the bitmap's size and `frames`; a failed load answers an empty
    // strip (no bitmap, zero size) and caches nothing, so a later call tries again.
    IBitmapStrip LoadStrip(int id, int frames, const std::function<RasterBitmap*()>& load);

    std::size_t Count() const;

  private:
    struct Entry {
        int id;
        std::unique_ptr<RasterBitmap> bitmap;
    };
    mutable std::mutex mLock;
    std::vector<Entry> mEntries; // insertion order
};
