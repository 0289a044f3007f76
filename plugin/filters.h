#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "framework/exact_math.h"

#if defined(__SSE2__) && !defined(VT4R_SCALAR_PAIRS)
#include <emmintrin.h>
#endif

// Zero and subnormal values become +0; infinities and NaN pass. Only the
// exponent field is looked at, so this costs one integer test.
inline double FlushTiny(double y) {
    return ((std::bit_cast<std::uint64_t>(y) >> 52) & 0x7FF) == 0 ? 0.0 : y;
}

// a > b ? ifTrue : ifFalse, without a branch where the comparison is
// unpredictable (envelopes on noise). NaN compares false, as in C++.
inline double SelectIfGreater(double a, double b, double ifTrue, double ifFalse) {
#if defined(__SSE2__) && !defined(VT4R_SCALAR_PAIRS)
    const __m128d mask = _mm_cmpgt_sd(_mm_set_sd(a), _mm_set_sd(b));
    return _mm_cvtsd_f64(_mm_or_pd(_mm_and_pd(mask, _mm_set_sd(ifTrue)), _mm_andnot_pd(mask, _mm_set_sd(ifFalse))));
#else
    return a > b ? ifTrue : ifFalse;
#endif
}

inline constexpr double kTwoPi = 6.283185307179586;

// First-order low-pass (mode 0) or high-pass (any other mode). K is three
// times the sample rate, not the bilinear transform's two.
struct OnePoleFilter {
    std::int32_t mode = 0;
    double omega = 0.0;
    double norm = 0.0;
    double pole = 0.0;
    double gain = 0.0;
    double state = 0.0;
    double output = 0.0;

    void set(std::int32_t filterMode, double cornerHz, double sampleRate) {
        setOmega(filterMode, cornerHz * kTwoPi, sampleRate * 3);
    }
    void setOmega(std::int32_t filterMode, double w, double k) {
        mode = filterMode;
        omega = w;
        norm = 1 / (k + omega);
        pole = (k - omega) * norm;
        gain = norm * omega;
    }
    double tick(double x) { return mode != 0 ? tickHighPass(x) : tickLowPass(x); }
    // tick() where the filter is known to be a low-pass or a high-pass.
    [[gnu::always_inline]] double tickLowPass(double x) {
        state = x * 2 * gain + pole * state;
        const double y = FlushTiny(state);
        output = y;
        return y;
    }
    [[gnu::always_inline]] double tickHighPass(double x) {
        state = x * 2 * gain + pole * state;
        const double y = FlushTiny(x - state);
        output = y;
        return y;
    }
    void clear() { state = output = 0.0; }
};

// Low and high shelves of the audio-EQ cookbook, direct form I.
struct ShelfBiquad {
    enum Kind { LowShelf, HighShelf };

    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double y1 = 0.0, y2 = 0.0, x1 = 0.0, x2 = 0.0;

    void design(Kind kind, double f0, double sampleRate, double q, double gainDb) {
        const double A = ExactPow(10.0, gainDb / 40);
        const double w0 = kTwoPi * f0 / sampleRate;
        const double sn = ExactSin(w0);
        const double cs = ExactCos(w0);
        const double beta = std::sqrt(A) / q * sn;
        double nb0, nb1, nb2, a0, na1, na2;
        if (kind == LowShelf) {
            nb0 = A * ((A + 1) - (A - 1) * cs + beta);
            nb1 = 2 * A * ((A - 1) - (A + 1) * cs);
            nb2 = A * ((A + 1) - (A - 1) * cs - beta);
            a0 = (A + 1) + (A - 1) * cs + beta;
            na1 = -2 * ((A - 1) + (A + 1) * cs);
            na2 = (A + 1) + (A - 1) * cs - beta;
        } else {
            nb0 = A * ((A + 1) + (A - 1) * cs + beta);
            nb1 = -2 * A * ((A - 1) + (A + 1) * cs);
            nb2 = A * ((A + 1) + (A - 1) * cs - beta);
            a0 = (A + 1) - (A - 1) * cs + beta;
            na1 = 2 * ((A - 1) - (A + 1) * cs);
            na2 = (A + 1) - (A - 1) * cs - beta;
        }
        b0 = nb0 / a0;
        b1 = nb1 / a0;
        b2 = nb2 / a0;
        a1 = na1 / a0;
        a2 = na2 / a0;
    }
    double tick(double x) {
        const double y = FlushTiny(b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { y1 = y2 = x1 = x2 = 0.0; }
};

// Removes DC after the saturation stage. No flush: the 0.999 leak keeps it
// out of the subnormal range only while input keeps arriving.
struct DcBlocker {
    double xp = 0.0;
    double yp = 0.0;

    double tick(double x) {
        const double y = yp * 0.999 + x - xp;
        xp = x;
        yp = y;
        return y;
    }
    void clear() { xp = yp = 0.0; }
};
