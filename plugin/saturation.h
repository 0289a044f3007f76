#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "filters.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    std::uint64_t rateBits = ~0ULL;  // no double has these bits from a valid rate

    HissSource() { setSampleRate(44100.0); }

    // Called every block; recomputes only when the rate changes.
    void setSampleRate(double sr) {
        if (std::bit_cast<std::uint64_t>(sr) == rateBits) return;
        rateBits = std::bit_cast<std::uint64_t>(sr);
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

// The left and right stages with their DC blockers, as the processing loop
// runs them: stage(x, g) / drive, then the blocker. With SSE2 both channels
// share one register: each lane performs exactly the scalar operations, and
// square roots and divisions are correctly rounded either way, so the
// results are identical. Load the states, step per sample, store them back.
#if defined(__SSE2__)
class SaturationPair {
public:
    SaturationPair(const SaturationStage& l, const SaturationStage& r, const DcBlocker& dl, const DcBlocker& dr,
                   double g, double drive)
        : driveIn(pair(l.drive, r.drive)), gain(_mm_set1_pd(g)), feed(pair(l.feed, r.feed)),
          square(pair(l.square, r.square)), linear(pair(l.linear, r.linear)), evenMix(pair(l.evenMix, r.evenMix)),
          memoryPole(pair(l.memoryPole, r.memoryPole)), poleOne(_mm_add_pd(memoryPole, _mm_set1_pd(1.0))),
          memory(pair(l.memory, r.memory)), leak(pair(l.leak, r.leak)),
          memoryScale(pair(l.memoryScale, r.memoryScale)), makeUp(pair(l.makeUp, r.makeUp)),
          driveOut(_mm_set1_pd(drive)), e(pair(l.e, r.e)), v(pair(l.v, r.v)), w(pair(l.w, r.w)),
          xp(pair(dl.xp, dr.xp)), yp(pair(dl.yp, dr.yp)) {}

    // kUnitDrive: the caller's drive is exactly 1, so dividing by it would
    // return its operand unchanged and is left out.
    template <bool kUnitDrive = false>
    void step(double inL, double inR, double& outL, double& outR) {
        const __m128d one = _mm_set1_pd(1.0);
        const __m128d x = pair(inL, inR);
        const __m128d a = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(x, driveIn), gain), _mm_set1_pd(3.0));
        e = _mm_add_pd(_mm_mul_pd(feed, e), a);
        const __m128d q = _mm_mul_pd(_mm_mul_pd(e, square), e);
        const __m128d qc = _mm_div_pd(q, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(q, q), one)));
        const __m128d d = _mm_mul_pd(e, linear);
        const __m128d dc = _mm_div_pd(d, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(d, d), one)));
        const __m128d r = _mm_add_pd(_mm_mul_pd(qc, evenMix), dc);
        const __m128d l = w;
        const __m128d m = _mm_mul_pd(_mm_div_pd(l, _mm_add_pd(l, memoryPole)), poleOne);
        const __m128d t = _mm_sub_pd(_mm_mul_pd(_mm_mul_pd(_mm_sub_pd(l, r), m), memory), l);
        const __m128d y = _mm_add_pd(_mm_div_pd(t, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(t, t), one))), r);
        v = _mm_sub_pd(y, _mm_mul_pd(leak, v));
        w = _mm_mul_pd(v, memoryScale);
        __m128d out = _mm_mul_pd(_mm_mul_pd(w, makeUp), _mm_set1_pd(0.33334));
        // Zero and subnormal lanes become +0.
        const __m128d exponent = _mm_castsi128_pd(_mm_set1_epi64x(0x7FF0000000000000LL));
        out = _mm_andnot_pd(_mm_cmpeq_pd(_mm_and_pd(out, exponent), _mm_setzero_pd()), out);
        const __m128d s = kUnitDrive ? out : _mm_div_pd(out, driveOut);
        const __m128d c = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(yp, _mm_set1_pd(0.999)), s), xp);
        xp = s;
        yp = c;
        _mm_storel_pd(&outL, c);
        _mm_storeh_pd(&outR, c);
    }

    void store(SaturationStage& l, SaturationStage& r, DcBlocker& dl, DcBlocker& dr) const {
        unpair(e, l.e, r.e);
        unpair(v, l.v, r.v);
        unpair(w, l.w, r.w);
        unpair(xp, dl.xp, dr.xp);
        unpair(yp, dl.yp, dr.yp);
    }

private:
    static __m128d pair(double l, double r) { return _mm_set_pd(r, l); }
    static void unpair(__m128d p, double& l, double& r) {
        _mm_storel_pd(&l, p);
        _mm_storeh_pd(&r, p);
    }

    __m128d driveIn, gain, feed, square, linear, evenMix, memoryPole, poleOne, memory, leak, memoryScale, makeUp,
        driveOut;
    __m128d e, v, w, xp, yp;
};
#else
class SaturationPair {
public:
    SaturationPair(const SaturationStage& l, const SaturationStage& r, const DcBlocker& dl, const DcBlocker& dr,
                   double g, double drive)
        : left(l), right(r), dcLeft(dl), dcRight(dr), gain(g), drive(drive) {}
    template <bool kUnitDrive = false>
    void step(double inL, double inR, double& outL, double& outR) {
        const double sL = left.tick(inL, gain) / drive;
        const double sR = right.tick(inR, gain) / drive;
        outL = dcLeft.tick(sL);
        outR = dcRight.tick(sR);
    }
    void store(SaturationStage& l, SaturationStage& r, DcBlocker& dl, DcBlocker& dr) const {
        l = left, r = right, dl = dcLeft, dr = dcRight;
    }

private:
    SaturationStage left, right;
    DcBlocker dcLeft, dcRight;
    double gain, drive;
};
#endif
