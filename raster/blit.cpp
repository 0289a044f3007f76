#include "raster/blit.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define RASTER_BLIT_SSE2 1
#endif

namespace {

using Pixel = RasterPixel;

inline int Channel(Pixel p, int shift) {
    return static_cast<int>((p >> shift) & 0xFF);
}
inline Pixel Pack(int b, int g, int r, int a) {
    return static_cast<Pixel>(b) | static_cast<Pixel>(g) << 8 | static_cast<Pixel>(r) << 16 |
           static_cast<Pixel>(a) << 24;
}
inline int Clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// s + (d - s) * f / 256 with the division truncating toward zero (C++ semantics), which is
// what keeps e.g. (100 - 200) * 127 at -49 rather than floor's -50.
inline int Mix(int s, int d, int f) {
    return s + (d - s) * f / 256;
}

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

// The per-pixel loops below are branch-free (a select instead of "skip this pixel") so that
// the compiler can vectorise them; the results are the same integers either way.

#if RASTER_BLIT_SSE2
// Four pixels at a time in 16-bit lanes. s + (d - s) x f / 256 truncated toward zero is
// s +/- (|d - s| x f) >> 8, and |d - s| x f <= 255 x 256 fits an unsigned 16-bit lane, so
// the vector results equal the scalar rule exactly. The scalar loops finish each row.
inline __m128i MixLanes(__m128i s16, __m128i d16, __m128i f16) {
    const __m128i negative = _mm_cmpgt_epi16(s16, d16);
    const __m128i diff = _mm_sub_epi16(_mm_max_epi16(s16, d16), _mm_min_epi16(s16, d16));
    const __m128i q = _mm_srli_epi16(_mm_mullo_epi16(diff, f16), 8);
    return _mm_add_epi16(s16, _mm_sub_epi16(_mm_xor_si128(q, negative), negative));
}

// Each pixel's alpha copied into all four of its 16-bit lanes.
inline __m128i AlphaLanes(__m128i px16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(px16, 0xFF), 0xFF);
}

// Blends four pixels with per-pixel factors (16-bit lanes, two pixels per half).
inline __m128i MixFour(__m128i s, __m128i d, __m128i fLo, __m128i fHi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = MixLanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), fLo);
    const __m128i hi = MixLanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), fHi);
    return _mm_packus_epi16(lo, hi);
}

// Source-alpha copy of four pixels: colours mixed with factor f(a), alpha = min(255, d.A + add(a)),
// pixels with a = 0 left alone. `weight` is 0 for the full-opacity rule, else ia.
inline __m128i SourceAlphaFour(__m128i s, __m128i d, int weight) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    // The editor's images are mostly opaque or clear in long runs: settle those groups early.
    const __m128i alphaBits = _mm_and_si128(s, alphaMask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alphaBits, zero)) == 0xFFFF)
        return d;
    if (weight == 0 && _mm_movemask_epi8(_mm_cmpeq_epi32(alphaBits, alphaMask)) == 0xFFFF)
        return s;
    const __m128i aLo = AlphaLanes(_mm_unpacklo_epi8(s, zero));
    const __m128i aHi = AlphaLanes(_mm_unpackhi_epi8(s, zero));
    __m128i fLo, fHi, addLo, addHi;
    if (weight == 0) {
        const __m128i c255 = _mm_set1_epi16(255);
        fLo = _mm_sub_epi16(c255, aLo);
        fHi = _mm_sub_epi16(c255, aHi);
        addLo = aLo;
        addHi = aHi;
    } else {
        // k = ia x (a + 1) >> 8 <= 255 x 256 >> 8, all within unsigned 16 bits.
        const __m128i ia = _mm_set1_epi16(static_cast<short>(weight));
        const __m128i one = _mm_set1_epi16(1);
        addLo = _mm_srli_epi16(_mm_mullo_epi16(ia, _mm_add_epi16(aLo, one)), 8);
        addHi = _mm_srli_epi16(_mm_mullo_epi16(ia, _mm_add_epi16(aHi, one)), 8);
        const __m128i c256 = _mm_set1_epi16(256);
        fLo = _mm_sub_epi16(c256, addLo);
        fHi = _mm_sub_epi16(c256, addHi);
    }
    const __m128i colours = MixFour(s, d, fLo, fHi);
    const __m128i alpha = _mm_adds_epu8(d, _mm_packus_epi16(addLo, addHi)); // saturates at 255
    const __m128i blended =
        _mm_or_si128(_mm_andnot_si128(alphaMask, colours), _mm_and_si128(alphaMask, alpha));
    const __m128i transparent = _mm_cmpeq_epi32(alphaBits, zero);
    return _mm_or_si128(_mm_and_si128(transparent, d), _mm_andnot_si128(transparent, blended));
}

template <typename Four> int VectorPart(const Pixel* s, Pixel* d, int w, Four four) {
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), four(sv, dv));
    }
    return i;
}
#else
template <typename Four> int VectorPart(const Pixel*, Pixel*, int, Four) {
    return 0;
}
#endif

void CopyOpaque(const Span& span) {
    ForEachRow(span,
               [](const Pixel* s, Pixel* d, int w) { std::memmove(d, s, static_cast<std::size_t>(w) * 4); });
}

void CopyHalf(const Span& span) {
    ForEachRow(span, [](const Pixel* __restrict s, Pixel* __restrict d, int w) {
        for (int i = 0; i < w; ++i)
            d[i] = ((s[i] >> 1) & 0x7F7F7F7Fu) + ((d[i] >> 1) & 0x7F7F7F7Fu);
    });
}

void CopyWeighted(const Span& span, int ia) {
    const int f = 256 - ia;
    ForEachRow(span, [f](const Pixel* __restrict s, Pixel* __restrict d, int w) {
#if RASTER_BLIT_SSE2
        const __m128i f16 = _mm_set1_epi16(static_cast<short>(f));
        int i = VectorPart(s, d, w, [f16](__m128i sv, __m128i dv) { return MixFour(sv, dv, f16, f16); });
#else
        int i = 0;
#endif
        for (; i < w; ++i)
            d[i] = MixPixel(s[i], d[i], f);
    });
}

void SourceAlphaFull(const Span& span) {
    ForEachRow(span, [](const Pixel* __restrict s, Pixel* __restrict d, int w) {
        int i = VectorPart(s, d, w, [](auto sv, auto dv) { return SourceAlphaFour(sv, dv, 0); });
        for (; i < w; ++i) {
            const Pixel sp = s[i];
            const Pixel dp = d[i];
            const int a = static_cast<int>(sp >> 24);
            // 255, not 256: the blend never reaches the destination fully. With a = 255 the
            // factor is 0 and the source comes through with alpha 255, as it must.
            const int f = 255 - a;
            const int alpha = Channel(dp, 24) + a;
            const Pixel blended =
                Pack(Mix(Channel(sp, 0), Channel(dp, 0), f), Mix(Channel(sp, 8), Channel(dp, 8), f),
                     Mix(Channel(sp, 16), Channel(dp, 16), f), alpha > 255 ? 255 : alpha);
            d[i] = a == 0 ? dp : blended;
        }
    });
}

void SourceAlphaWeighted(const Span& span, int ia) {
    ForEachRow(span, [ia](const Pixel* __restrict s, Pixel* __restrict d, int w) {
        int i = VectorPart(s, d, w, [ia](auto sv, auto dv) { return SourceAlphaFour(sv, dv, ia); });
        for (; i < w; ++i) {
            const Pixel sp = s[i];
            const Pixel dp = d[i];
            const int a = static_cast<int>(sp >> 24);
            const int k = ia * (a + 1) >> 8; // non-negative: the same as / 256
            const int f = 256 - k;
            const int alpha = Channel(dp, 24) + k;
            const Pixel blended =
                Pack(Mix(Channel(sp, 0), Channel(dp, 0), f), Mix(Channel(sp, 8), Channel(dp, 8), f),
                     Mix(Channel(sp, 16), Channel(dp, 16), f), alpha > 255 ? 255 : alpha);
            d[i] = a == 0 ? dp : blended;
        }
    });
}

void AddSourceAlpha(const Span& span, int ia) {
    ForEachRow(span, [ia](const Pixel* __restrict s, Pixel* __restrict d, int w) {
        for (int i = 0; i < w; ++i) {
            const Pixel sp = s[i];
            const Pixel dp = d[i];
            const int a = static_cast<int>(sp >> 24);
            const int k = ia * (a + 1) >> 8;
            const Pixel sum = Pack(Clamp255(Channel(dp, 0) + (Channel(sp, 0) * k >> 8)),
                                   Clamp255(Channel(dp, 8) + (Channel(sp, 8) * k >> 8)),
                                   Clamp255(Channel(dp, 16) + (Channel(sp, 16) * k >> 8)),
                                   Clamp255(Channel(dp, 24) + (a * k >> 8)));
            d[i] = a == 0 ? dp : sum;
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
        for (int i = 0; i < w; ++i)
            d[i] = (d[i] & keep) | (((s[i] >> sShift) & 0xFF) << dShift);
    });
}

// Clips the request to both bitmaps; false when nothing remains to draw. 64-bit arithmetic
// so that extreme coordinates cannot overflow.
bool ClipSpan(RasterBitmap* dest, const RasterBitmap* src, long long dstX, long long dstY,
              const RasterRect* srcRect, Span* span) {
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
        if (right > src->Width())
            right = src->Width();
        if (bottom > src->Height())
            bottom = src->Height();
    }
    if (dstX < 0) {
        sx -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        sy -= dstY;
        dstY = 0;
    }
    if (dstX + (right - sx) > dest->Width())
        right = dest->Width() + sx - dstX;
    if (dstY + (bottom - sy) > dest->Height())
        bottom = dest->Height() + sy - dstY;
    if (right <= sx || bottom <= sy)
        return false;
    if (!dest->Bits() || !src->Bits())
        return false;
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
    if (!dest || !src || opacity == 0.0f || std::isnan(opacity))
        return;
    Span span;
    if (!ClipSpan(dest, src, dstX, dstY, srcRect, &span))
        return;

    // Integer weight: opacity x 256 in single precision, truncated. Bounded first so an
    // absurd opacity cannot overflow the conversion or the products below.
    const float scaled = opacity * 256.0f;
    const int ia = scaled >= 65536.0f ? 65536 : (scaled <= -65536.0f ? -65536 : static_cast<int>(scaled));

    const int number = mode & 0xFF;
    if (number >= BlitChannelCopy) {
        ChannelCopy(span, mode);
        return;
    }
    if (ia <= 0)
        return;
    const bool sourceAlpha = (mode & BlitUseSourceAlpha) != 0;
    if (!sourceAlpha) {
        if (number != BlitCopy)
            return;
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

void RasterBlit(RasterBitmap* dest, const RasterBitmap* src, int dstX, int dstY, int srcX, int srcY,
                int width, int height, float opacity, int mode) {
    // 64-bit sums, then saturate: the clipping cuts the rectangle to the source anyway.
    auto edge = [](long long v) {
        return static_cast<int>(v > 0x7FFFFFFF ? 0x7FFFFFFF : (v < -0x7FFFFFFF ? -0x7FFFFFFF : v));
    };
    const RasterRect rect{srcX, srcY, edge(static_cast<long long>(srcX) + width),
                          edge(static_cast<long long>(srcY) + height)};
    RasterBlit(dest, src, dstX, dstY, &rect, opacity, mode);
}
