#include "graphics/embedded_images.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "graphics/editor_scale.h"
#include "raster/bitmap_cache.h"
#include "knob_art.h"
#include "resources/embedded.h"

RasterResourceBytes EmbeddedImageLookup(int id) {
    const EmbeddedResource resource = FindEmbeddedResource(id);
    return {resource.data, resource.size};
}

namespace {

// resources/CMakeLists.txt's id of KnobL.png, the one image with no embedded scaled sets.
constexpr int kKnobImageId = 105;

// An image at one scale: decoded whole, or the knob, whose frames are drawn one by one.
struct ScaledImage {
    RasterResourceLookup module;
    int id;
    int scaleIndex;
    const RasterBitmap* source;            // the 100 % image: strips made without an id differ by it
    std::unique_ptr<RasterBitmap> decoded; // null for the knob, or when the set lacks the image
    std::unique_ptr<art::KnobPainter> painter;
    std::vector<std::unique_ptr<RasterMemoryBitmap>> frames; // the knob's, drawn on first use
    std::mutex lock;                                         // guards `frames`
};

int ScaleIndex(double scale) {
    for (int i = 1; i < static_cast<int>(std::size(kEditorScales)); ++i)
        if (kEditorScales[i] == scale)
            return i;
    return 0;
}

// The 100 % image enlarged pixel for pixel, for an image with no artwork at `scale`: blocky,
// but where it belongs.
std::unique_ptr<RasterBitmap> Enlarged(const RasterBitmap& small, double scale) {
    const int width = ToDevice(small.Width(), scale);
    const int height = ToDevice(small.Height(), scale);
    auto big = std::make_unique<RasterMemoryBitmap>(width, height);
    if (big->Width() != width || big->Height() != height)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        const RasterPixel* from = small.Row(std::min(static_cast<int>(y / scale), small.Height() - 1));
        RasterPixel* to = big->Row(y);
        for (int x = 0; x < width; ++x)
            to[x] = from[std::min(static_cast<int>(x / scale), small.Width() - 1)];
    }
    return big;
}

ScaledImage* FindImage(RasterResourceLookup module, int id, double scale, const RasterBitmap* fallback) {
    static std::mutex lock;
    static std::vector<std::unique_ptr<ScaledImage>> images;
    const int index = ScaleIndex(scale);
    if (index == 0)
        return nullptr;
    // Decoding happens under the lock: it happens once per image and scale, and two windows
    // opening at once should not decode the same image twice.
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& image : images)
        if (image->module == module && image->id == id && image->scaleIndex == index &&
            image->source == fallback)
            return image.get();
    auto image = std::make_unique<ScaledImage>();
    image->module = module;
    image->id = id;
    image->scaleIndex = index;
    image->source = fallback;
    if (id == kKnobImageId && module == &EmbeddedImageLookup)
        image->painter = std::make_unique<art::KnobPainter>(scale);
    else
        image->decoded.reset(LoadPngFromResource(module, 1000 * index + id, nullptr));
    if (!image->painter && !image->decoded && fallback)
        image->decoded = Enlarged(*fallback, scale);
    images.push_back(std::move(image));
    return images.back().get();
}

} // namespace

ScaledFrame FindScaledFrame(RasterResourceLookup module, int id, double scale, int frame, int frames,
                            const RasterBitmap* fallback) {
    ScaledImage* image = FindImage(module, id, scale, fallback);
    if (!image)
        return {};
    if (frames < 1)
        frames = 1;
    if (frame < 1)
        frame = 1;
    if (frame > frames)
        frame = frames;
    if (image->painter) {
        std::lock_guard<std::mutex> hold(image->lock);
        // The painter draws the knob's own frame count; the slots never shrink, since
        // other windows may be drawing from them.
        if (image->frames.empty())
            image->frames.resize(art::kKnobFrameCount);
        frame = std::min(frame, static_cast<int>(image->frames.size()));
        auto& slot = image->frames[static_cast<std::size_t>(frame - 1)];
        if (!slot) {
            const int size = image->painter->FrameSize();
            slot = std::make_unique<RasterMemoryBitmap>(size, size);
            image->painter->Draw(frame - 1, slot->Bits(), slot->RowStride());
        }
        return {slot.get(), 0, slot->Height()};
    }
    const RasterBitmap* bitmap = image->decoded.get();
    if (!bitmap)
        return {};
    // As at scale 1: frame f starts at height * (f - 1) / frames, rounded.
    const int top = static_cast<int>(static_cast<double>(bitmap->Height()) * (frame - 1) / frames + 0.5);
    const int next = static_cast<int>(static_cast<double>(bitmap->Height()) * frame / frames + 0.5);
    return {bitmap, top, next - top};
}

void PrepareEditorImages(const int* ids, int count, double scale) {
    scale = ConformEditorScale(scale);
    for (int i = 0; i < count; ++i) {
        const int id = ids[i];
        // The same loader as the editor view's, so the view finds these in the cache.
        const IBitmapStrip strip = BitmapCache::Instance().LoadStrip(
            id, 1, [id] { return LoadPngFromResourceOnDemand(&EmbeddedImageLookup, id); });
        if (!strip.bitmap)
            continue;
        if (scale == 1.0)
            strip.bitmap->Bits();
        else
            FindImage(&EmbeddedImageLookup, id, scale, strip.bitmap);
    }
}
