#include "raster/utf8.h"

namespace {

// Continuation bytes as the decoder accepts them: 0x80 up to and including 0xC0.
inline bool Continues(unsigned char b) {
    return b >= 0x80 && b <= 0xC0;
}

} // namespace

Utf8Char DecodeUtf8(const char* bytes, int available) {
    auto at = [bytes](int i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned lead = at(0);
    // Bytes that may be read after the lead; with no limit the NUL stops the walk, and
    // a NUL is never a continuation byte, so reading stops there too.
    auto fits = [available](int n) { return available < 0 || n < available; };
    if (lead < 0xC2)
        return {static_cast<int>(lead), 1};
    if (lead <= 0xDF) {
        if (fits(1) && Continues(at(1)))
            return {static_cast<int>(((lead << 6) & 0x7FF) | (at(1) & 0x3Fu)), 2};
    } else if (lead <= 0xEF) {
        if (fits(2) && Continues(at(1)) && Continues(at(2)))
            return {static_cast<int>(((lead << 12) | ((at(1) << 6) & 0xFFFu) | (at(2) & 0x3Fu)) & 0xFFFF), 3};
    } else if (lead <= 0xF4) {
        if (fits(3) && Continues(at(1)) && Continues(at(2)) && Continues(at(3)))
            return {32, 4};
    }
    return {static_cast<int>(lead), 1};
}

bool HasMultibyteUtf8(const char* text) {
    if (!text)
        return false;
    auto cont = [](unsigned char b) { return b >= 0x80 && b <= 0xBF; };
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p <= 0xC1)
            continue;
        if (*p < 0xE0) {
            if (cont(p[1]))
                return true;
        } else if (*p <= 0xF4) {
            if (cont(p[1]) && cont(p[2]))
                return true;
        }
    }
    return false;
}
