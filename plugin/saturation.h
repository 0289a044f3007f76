#pragma once
#include <cmath>
#include <cstdint>

#include "filters.h"


// Soft saturation with an even-order term and output memory. Every clipper
// has the form z / sqrt(z*z + 1), so the state stays bounded for any finite
// input that does not overflow.
struct SaturationStage {
    double drive = 1.0;
    double feed = 0.077;
    double linear = 0.0672;
    double square = 0.0067;
    double evenMix = 0.033;
    double memory = 0.58;
    double memoryPole = -1.43;
    double leak = 0.06;
    double memoryScale = 0.0031622777;
    double makeUp = 4623.8102139918;
    double e = 0.0;
    double v = 0.0;
    double w = 0.0;

    double tick(double x, double g) {
        const double a = x * drive * g * 3.0;
        e = feed * e + a;
        const double q = e * square * e;
        const double qc = q / std::sqrt(q * q + 1);
        const double d = e * linear;
        const double dc = d / std::sqrt(d * d + 1);
        const double r = qc * evenMix + dc;
        const double l = w;
        const double m = l / (l + memoryPole) * (memoryPole + 1);
        const double t = (l - r) * m * memory - l;
        const double y = t / std::sqrt(t * t + 1) + r;
        v = y - leak * v;
        w = v * memoryScale;
        return FlushTiny(w * makeUp * 0.33334);
    }
    void clearState() { e = v = w = 0.0; }
    bool finite() const { return std::isfinite(e) && std::isfinite(v) && std::isfinite(w); }
};

// Band-limited noise from a small linear congruential generator.
struct HissSource {
    std::int32_t seed = 0;
    OnePoleFilter lowCut;   // high-pass, 50 Hz
    OnePoleFilter highCut;  // low-pass, 18 kHz

    HissSource() { setSampleRate(44100.0); }

    void setSampleRate(double sr) {
        lowCut.set(1, 50, sr);
        highCut.set(0, 18000, sr);
    }
    double tick() {
        seed = (seed * 3877 + 29573) % 139968;
        double n = 1 - seed * 2 / 139968.0;
        n = lowCut.tick(n);
        return highCut.tick(n);
    }
};

// Runs the left and right stages over n samples with drive gain g, divides by
// `drive` and applies the DC blockers, as the processing loop does per
// channel. With SSE2 both channels share one register: each lane performs
// exactly the scalar operations, and square roots and divisions are
// correctly rounded either way, so the results are identical.
void SaturateAndBlockPair(SaturationStage& left, SaturationStage& right, DcBlocker& dcLeft, DcBlocker& dcRight,
                          const double* inL, const double* inR, double g, double drive, double* outL, double* outR,
                          int n);
