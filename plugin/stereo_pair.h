#pragma once
// Left and right samples side by side. With SSE2 they share one register;
// every operation is the IEEE operation of each lane (square root and
// division are correctly rounded either way), so code written once for
// `double` and for `StereoPair` gives identical results per channel.
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__) && !defined(VT4R_SCALAR_PAIRS)
#include <emmintrin.h>

struct StereoPair {
    __m128d v;
};
inline StereoPair Pair(double l, double r) { return {_mm_set_pd(r, l)}; }
inline StereoPair Splat(double x) { return {_mm_set1_pd(x)}; }
inline double Left(StereoPair a) { return _mm_cvtsd_f64(a.v); }
inline double Right(StereoPair a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a.v, a.v)); }
inline StereoPair operator+(StereoPair a, StereoPair b) { return {_mm_add_pd(a.v, b.v)}; }
inline StereoPair operator-(StereoPair a, StereoPair b) { return {_mm_sub_pd(a.v, b.v)}; }
inline StereoPair operator*(StereoPair a, StereoPair b) { return {_mm_mul_pd(a.v, b.v)}; }
inline StereoPair operator/(StereoPair a, StereoPair b) { return {_mm_div_pd(a.v, b.v)}; }
inline StereoPair Sqrt(StereoPair a) { return {_mm_sqrt_pd(a.v)}; }
// Per lane: a > b ? ifTrue : ifFalse (NaN compares false).
inline StereoPair SelectIfGreater(StereoPair a, StereoPair b, StereoPair ifTrue, StereoPair ifFalse) {
    const __m128d mask = _mm_cmpgt_pd(a.v, b.v);
    return {_mm_or_pd(_mm_and_pd(mask, ifTrue.v), _mm_andnot_pd(mask, ifFalse.v))};
}
// Per lane, the larger of two numbers (for numbers, not NaN).
inline StereoPair Max(StereoPair a, StereoPair b) { return {_mm_max_pd(a.v, b.v)}; }
// Zero and subnormal lanes become +0.
inline StereoPair FlushTiny(StereoPair a) {
    const __m128d exponent = _mm_castsi128_pd(_mm_set1_epi64x(0x7FF0000000000000LL));
    return {_mm_andnot_pd(_mm_cmpeq_pd(_mm_and_pd(a.v, exponent), _mm_setzero_pd()), a.v)};
}
#else
struct StereoPair {
    double l, r;
};
inline StereoPair Pair(double l, double r) { return {l, r}; }
inline StereoPair Splat(double x) { return {x, x}; }
inline double Left(StereoPair a) { return a.l; }
inline double Right(StereoPair a) { return a.r; }
inline StereoPair operator+(StereoPair a, StereoPair b) { return {a.l + b.l, a.r + b.r}; }
inline StereoPair operator-(StereoPair a, StereoPair b) { return {a.l - b.l, a.r - b.r}; }
inline StereoPair operator*(StereoPair a, StereoPair b) { return {a.l * b.l, a.r * b.r}; }
inline StereoPair operator/(StereoPair a, StereoPair b) { return {a.l / b.l, a.r / b.r}; }
inline StereoPair Sqrt(StereoPair a) { return {std::sqrt(a.l), std::sqrt(a.r)}; }
inline StereoPair SelectIfGreater(StereoPair a, StereoPair b, StereoPair ifTrue, StereoPair ifFalse) {
    return {a.l > b.l ? ifTrue.l : ifFalse.l, a.r > b.r ? ifTrue.r : ifFalse.r};
}
inline StereoPair Max(StereoPair a, StereoPair b) { return {a.l > b.l ? a.l : b.l, a.r > b.r ? a.r : b.r}; }
inline StereoPair FlushTiny(StereoPair a) {
    auto flush = [](double y) { return ((std::bit_cast<std::uint64_t>(y) >> 52) & 0x7FF) == 0 ? 0.0 : y; };
    return {flush(a.l), flush(a.r)};
}
#endif

// A constant on either side means the same constant in both lanes.
inline StereoPair operator+(StereoPair a, double b) { return a + Splat(b); }
inline StereoPair operator+(double a, StereoPair b) { return Splat(a) + b; }
inline StereoPair operator-(StereoPair a, double b) { return a - Splat(b); }
inline StereoPair operator-(double a, StereoPair b) { return Splat(a) - b; }
inline StereoPair operator*(StereoPair a, double b) { return a * Splat(b); }
inline StereoPair operator*(double a, StereoPair b) { return Splat(a) * b; }
inline StereoPair operator/(StereoPair a, double b) { return a / Splat(b); }
inline StereoPair operator/(double a, StereoPair b) { return Splat(a) / b; }

inline double Sqrt(double a) { return std::sqrt(a); }

// A constant as a T: the number itself, or the same number in both lanes.
template <class T>
T Broadcast(double x);
template <>
inline double Broadcast<double>(double x) {
    return x;
}
template <>
inline StereoPair Broadcast<StereoPair>(double x) {
    return Splat(x);
}

#if defined(__x86_64__)
#include <immintrin.h>
// Four lanes, for code built for AVX2 (see inline_math.h): GCC's vector arithmetic, which is the
// IEEE operation of each lane as above. Always inlined into such code, so the note that passing
// them by value has another ABI without AVX does not apply.
using Quad = __m256d;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
[[gnu::always_inline]] inline Quad SelectIfGreater(Quad a, Quad b, Quad ifTrue, Quad ifFalse) {
    return a > b ? ifTrue : ifFalse;
}
template <>
[[gnu::always_inline]] inline Quad Broadcast<Quad>(double x) {
    return Quad{x, x, x, x};
}
#pragma GCC diagnostic pop
#endif
