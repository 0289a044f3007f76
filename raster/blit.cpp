#include "raster/blit.h"

#include <cmath>
#include <cstring>

namespace {

using Pixel = RasterPixel;

inline int Channel(Pixel p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }
inline Pixel Pack(int b, int g, int r, int a) {
    return static_cast<Pixel>(b) | static_cast<Pixel>(g) << 8 | static_cast<Pixel>(r) << 16 |
           static_cast<Pixel>(a) << 24;
}
inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// s + (d - s) * f / 256 with the division truncating toward zero (C++ semantics), which is
// what keeps e.g. (100 - 200) * 127 at -49 rather than floor's -50.
inline int Mix(int s, int d, int f) { return s + (d - s) * f / 256; }

inline Pixel MixPixel(Pixel s, Pixel d, int f) {
    return Pack(Mix(Channel(s, 0), Channel(d, 0), f), Mix(Channel(s, 8), Channel(d, 8), f),
                Mix(Channel(s, 16), Channel(d, 16), f), Mix(Channel(s, 24), Channel(d, 24), f));
}

struct Span {
    const RasterBitmap* src;
    RasterBitmap* dest;
    int sx, sy, dx, dy, w, h;
};

template <typename RowFn> void ForEachRow(const Span& span, RowFn row) {
    for (int r = 0; r < span.h; ++r) {
        const Pixel* s = span.src->Row(span.sy + r) + span.sx;
        Pixel* d = span.dest->Row(span.dy + r) + span.dx;
        row(s, d, span.w);
    }
}

void CopyOpaque(const Span& span) {
    ForEachRow(span, [](const Pixel* s, Pixel* d, int w) { std::memmove(d, s, static_cast<std::size_t>(w) * 4); });
}

void CopyHalf(const Span& span) {
    ForEachRow(span, [](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) d[i] = ((s[i] >> 1) & 0x7F7F7F7Fu) + ((d[i] >> 1) & 0x7F7F7F7Fu);
    });
}

void CopyWeighted(const Span& span, int ia) {
    const int f = 256 - ia;
    ForEachRow(span, [f](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) d[i] = MixPixel(s[i], d[i], f);
    });
}

void SourceAlphaFull(const Span& span) {
    ForEachRow(span, [](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) {
            const Pixel sp = s[i];
            const int a = static_cast<int>(sp >> 24);
            if (a == 0) continue;
            if (a == 255) {
                d[i] = sp;
                continue;
            }
            const Pixel dp = d[i];
            const int f = 255 - a; // 255, not 256: the blend never reaches the destination fully
            const int alpha = Channel(dp, 24) + a;
            d[i] = Pack(Mix(Channel(sp, 0), Channel(dp, 0), f), Mix(Channel(sp, 8), Channel(dp, 8), f),
                        Mix(Channel(sp, 16), Channel(dp, 16), f), alpha > 255 ? 255 : alpha);
        }
    });
}

void SourceAlphaWeighted(const Span& span, int ia) {
    ForEachRow(span, [ia](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) {
            const Pixel sp = s[i];
            const int a = static_cast<int>(sp >> 24);
            if (a == 0) continue;
            const Pixel dp = d[i];
            const int k = ia * (a + 1) / 256;
            const int f = 256 - k;
            const int alpha = Channel(dp, 24) + k;
            d[i] = Pack(Mix(Channel(sp, 0), Channel(dp, 0), f), Mix(Channel(sp, 8), Channel(dp, 8), f),
                        Mix(Channel(sp, 16), Channel(dp, 16), f), alpha > 255 ? 255 : alpha);
        }
    });
}

void AddSourceAlpha(const Span& span, int ia) {
    ForEachRow(span, [ia](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) {
            const Pixel sp = s[i];
            const int a = static_cast<int>(sp >> 24);
            if (a == 0) continue;
            const Pixel dp = d[i];
            const int k = ia * (a + 1) / 256;
            d[i] = Pack(Clamp255(Channel(dp, 0) + Channel(sp, 0) * k / 256),
                        Clamp255(Channel(dp, 8) + Channel(sp, 8) * k / 256),
                        Clamp255(Channel(dp, 16) + Channel(sp, 16) * k / 256), Clamp255(Channel(dp, 24) + a * k / 256));
        }
    });
}

inline int Dodge(int d, int s, int k) {
    const int t = s * k / 256;
    return Clamp255(t > 254 ? d * 256 : d * 256 / (256 - t));
}

void DodgeSourceAlpha(const Span& span, int ia) {
    ForEachRow(span, [ia](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) {
            const Pixel sp = s[i];
            const Pixel dp = d[i];
            const int a = static_cast<int>(sp >> 24);
            const int k = ia * (a + 1) / 256;
            d[i] = Pack(Dodge(Channel(dp, 0), Channel(sp, 0), k), Dodge(Channel(dp, 8), Channel(sp, 8), k),
                        Dodge(Channel(dp, 16), Channel(sp, 16), k), Dodge(Channel(dp, 24), a, k));
        }
    });
}

void ChannelCopy(const Span& span, int mode) {
    const int dShift = ((mode >> 2) & 3) * 8;
    const int sShift = (mode & 3) * 8;
    const Pixel keep = ~(Pixel{0xFF} << dShift);
    ForEachRow(span, [=](const Pixel* s, Pixel* d, int w) {
        for (int i = 0; i < w; ++i) d[i] = (d[i] & keep) | (((s[i] >> sShift) & 0xFF) << dShift);
    });
}

// Clips the request to both bitmaps; false when nothing remains to draw. 64-bit arithmetic
// so that extreme coordinates cannot overflow.
bool ClipSpan(RasterBitmap* dest, const RasterBitmap* src, long long dstX, long long dstY, const RasterRect* srcRect,
              Span* span) {
    long long sx = 0, sy = 0, right = src->Width(), bottom = src->Height();
    if (srcRect) {
        sx = srcRect->left;
        sy = srcRect->top;
        right = srcRect->right;
        bottom = srcRect->bottom;
        if (sx < 0) {
            dstX -= sx;
            sx = 0;
        }
        if (sy < 0) {
            dstY -= sy;
            sy = 0;
        }
        if (right > src->Width()) right = src->Width();
        if (bottom > src->Height()) bottom = src->Height();
    }
    if (dstX < 0) {
        sx -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        sy -= dstY;
        dstY = 0;
    }
    if (dstX + (right - sx) > dest->Width()) right = dest->Width() + sx - dstX;
    if (dstY + (bottom - sy) > dest->Height()) bottom = dest->Height() + sy - dstY;
    if (right <= sx || bottom <= sy) return false;
    if (!dest->Bits() || !src->Bits()) return false;
    *span = Span{src,
                 dest,
                 static_cast<int>(sx),
                 static_cast<int>(sy),
                 static_cast<int>(dstX),
                 static_cast<int>(dstY),
                 static_cast<int>(right - sx),
                 static_cast<int>(bottom - sy)};
    return true;
}

} // namespace

void RasterBlit(RasterBitmap* dest, const RasterBitmap* src, int dstX, int dstY, const RasterRect* srcRect,
                float opacity, int mode) {
    if (!dest || !src || opacity == 0.0f || std::isnan(opacity)) return;
    Span span;
    if (!ClipSpan(dest, src, dstX, dstY, srcRect, &span)) return;

    // Integer weight: opacity x 256 in single precision, truncated. Bounded first so an
    // absurd opacity cannot overflow the conversion or the products below.
    const float scaled = opacity * 256.0f;
    const int ia = scaled >= 65536.0f ? 65536 : (scaled <= -65536.0f ? -65536 : static_cast<int>(scaled));

    const int number = mode & 0xFF;
    if (number >= BlitChannelCopy) {
        ChannelCopy(span, mode);
        return;
    }
    if (ia <= 0) return;
    const bool sourceAlpha = (mode & BlitUseSourceAlpha) != 0;
    if (!sourceAlpha) {
        if (number != BlitCopy) return;
        if (opacity == 1.0f || ia >= 256) {
            CopyOpaque(span);
        } else if (opacity == 0.5f) {
            CopyHalf(span);
        } else {
            CopyWeighted(span, ia);
        }
        return;
    }
    switch (number) {
    case BlitCopy:
        // Opacities above 1 blend like 1: the weighted rule would run past 255.
        if (ia >= 256)
            SourceAlphaFull(span);
        else
            SourceAlphaWeighted(span, ia);
        break;
    case BlitAdd:
        AddSourceAlpha(span, ia);
        break;
    case BlitDodge:
        DodgeSourceAlpha(span, ia);
        break;
    default:
        break;
    }
}

void RasterBlit(RasterBitmap* dest, const RasterBitmap* src, int dstX, int dstY, int srcX, int srcY, int width,
                int height, float opacity, int mode) {
    // 64-bit sums, then saturate: the clipping cuts the rectangle to the source anyway.
    auto edge = [](long long v) {
        return static_cast<int>(v > 0x7FFFFFFF ? 0x7FFFFFFF : (v < -0x7FFFFFFF ? -0x7FFFFFFF : v));
    };
    const RasterRect rect{srcX, srcY, edge(static_cast<long long>(srcX) + width),
                          edge(static_cast<long long>(srcY) + height)};
    RasterBlit(dest, src, dstX, dstY, &rect, opacity, mode);
}
