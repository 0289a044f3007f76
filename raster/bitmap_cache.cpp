#include "raster/bitmap_cache.h"

BitmapCache& BitmapCache::Instance() {
    // Lives until exit, when it destroys every cached image.
    static BitmapCache cache;
    return cache;
}

RasterBitmap* BitmapCache::Find(int id) const {
    std::lock_guard<std::mutex> hold(mLock);
    for (const Entry& entry : mEntries)
        if (entry.id == id)
            return entry.bitmap.get();
    return nullptr;
}

RasterBitmap* BitmapCache::Append(int id, std::unique_ptr<RasterBitmap> bitmap) {
    std::lock_guard<std::mutex> hold(mLock);
    for (const Entry& entry : mEntries)
        if (entry.id == id)
            return entry.bitmap.get(); // the caller's copy is dropped
    mEntries.push_back(Entry{id, std::move(bitmap)});
    return mEntries.back().bitmap.get();
}

IBitmapStrip BitmapCache::LoadStrip(int id, int frames, const std::function<RasterBitmap*()>& load) {
    RasterBitmap* bitmap = Find(id);
    if (!bitmap) {
        std::unique_ptr<RasterBitmap> loaded(load ? load() : nullptr);
        if (!loaded)
            return IBitmapStrip{nullptr, 0, 0, frames, id};
        bitmap = Append(id, std::move(loaded));
    }
    return IBitmapStrip{bitmap, bitmap->Width(), bitmap->Height(), frames, id};
}

std::size_t BitmapCache::Count() const {
    std::lock_guard<std::mutex> hold(mLock);
    return mEntries.size();
}
