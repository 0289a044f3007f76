// UTF-8 <-> UTF-16 for the interface's String128 texts.
#include <cstring>

#include "formats/vst3/vst3_common.h"

namespace vt4r_vst3 {

void ToUtf16(const char* text, Steinberg::char16* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return;
    std::size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*s != 0) {
        std::uint32_t c = *s++;
        const int lead = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        int more = lead;
        c &= lead > 0 ? 0x3Fu >> lead : 0xFFu;
        for (; more > 0 && (*s & 0xC0) == 0x80; --more)
            c = (c << 6) | (*s++ & 0x3Fu);
        if (more > 0 || (lead == 0 && c >= 0x80) || c > 0x10FFFF)
            c = 0xFFFD; // a broken sequence
        const std::size_t units = c > 0xFFFF ? 2 : 1;
        if (n + units >= size)
            break;
        if (units == 2) {
            c -= 0x10000;
            out[n++] = static_cast<Steinberg::char16>(0xD800 + (c >> 10));
            out[n++] = static_cast<Steinberg::char16>(0xDC00 + (c & 0x3FF));
        } else {
            out[n++] = static_cast<Steinberg::char16>(c);
        }
    }
    out[n] = 0;
}

bool FromUtf16(const Steinberg::char16* text, char* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return false;
    std::size_t n = 0;
    for (const Steinberg::char16* p = text; p != nullptr && *p != 0; ++p) {
        std::uint32_t c = static_cast<std::uint16_t>(*p);
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(p[1]) - 0xDC00);
            ++p;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        char bytes[4];
        std::size_t count = 0;
        if (c < 0x80) {
            bytes[count++] = static_cast<char>(c);
        } else if (c < 0x800) {
            bytes[count++] = static_cast<char>(0xC0 | (c >> 6));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[count++] = static_cast<char>(0xE0 | (c >> 12));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes[count++] = static_cast<char>(0xF0 | (c >> 18));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (n + count >= size) {
            out[n] = '\0';
            return false;
        }
        std::memcpy(out + n, bytes, count);
        n += count;
    }
    out[n] = '\0';
    return true;
}

void CopyText(const char* text, char* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return;
    std::size_t n = 0;
    for (; text != nullptr && text[n] != '\0' && n + 1 < size; ++n)
        out[n] = text[n];
    out[n] = '\0';
}

} // namespace vt4r_vst3
