// UTF-8 decoding and text drawing: any bytes as text, decoded with and without a length limit,
// then drawn in some style into a small bitmap at any rectangle. A decode never reads past its
// limit or the NUL; drawing stays inside the bitmap.
#include <climits>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "raster/text.h"
#include "raster/utf8.h"

namespace {

void checkDecoding(const std::string& text) {
    const int size = static_cast<int>(text.size());
    for (int i = 0; i < size;) {
        const Utf8Char c = DecodeUtf8(text.data() + i, size - i);
        FUZZ_CHECK(c.length >= 1 && c.length <= size - i && c.length <= 4);
        FUZZ_CHECK(c.code >= 0 && c.code <= 0xFFFF);
        i += c.length;
    }
    // Up to the NUL: a decode must stop at the first zero byte.
    const int terminated = static_cast<int>(std::strlen(text.c_str()));
    for (int i = 0; i < terminated;) {
        const Utf8Char c = DecodeUtf8(text.c_str() + i);
        FUZZ_CHECK(c.length >= 1 && c.length <= terminated - i);
        i += c.length;
    }
    HasMultibyteUtf8(text.c_str());
}

int coordinate(FuzzInput& in) {
    static const int kEdges[] = {INT_MIN, INT_MIN + 1, -100000, -1, 0, 1, INT_MAX - 1, INT_MAX};
    const unsigned choice = in.pick(16);
    return choice < 8 ? kEdges[choice] : static_cast<int>(static_cast<std::int8_t>(in.u8()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    static const int kSizes[] = {-4, 0, 1, 5, 9, 12, 16, 23};
    static const char* const kNames[] = {"Arial Black", "", "Some Other Face With A Long Name"};
    const char* name = kNames[in.pick(3)];
    const int cell = kSizes[in.pick(8)];
    // Channels a little outside 0..255 too.
    const IColour colour{static_cast<int>(in.u8()) * 9 / 8 - 16, in.u8(), in.u8(),
                         static_cast<int>(in.u8()) * 2};
    const int weight = static_cast<int>(in.pick(4));
    const int alignment = static_cast<int>(in.pick(5)) - 1;
    const int orientation = in.flag() ? 90 : 0;
    const int quality = static_cast<int>(in.pick(5));
    ITextStyle style(name, cell, colour, weight, alignment, orientation, quality);
    std::unique_ptr<RasterBitmap> bitmap;
    const int width = in.pick(24);
    const int height = in.pick(24);
    if (in.flag()) {
        bitmap = std::make_unique<RasterMemoryBitmap>(width, height, 1 << in.pick(5));
    } else {
        bitmap = std::make_unique<RasterScreenBitmap>(width, height);
    }
    RasterRect rect;
    rect.left = coordinate(in);
    rect.top = coordinate(in);
    rect.right = coordinate(in);
    rect.bottom = coordinate(in);
    const std::string text(in.bytes(256));

    checkDecoding(text);
    RenderText(bitmap.get(), style, text.c_str(), rect);
    return 0;
}
