#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "filters.h"

#include "stereo_pair.h"

// Soft saturation with an even-order term and output memory. Every clipper
// has the form z / sqrt(z*z + 1), so the state stays bounded for any finite
// input that does not overflow. The constants are the same for every stage.
struct SaturationStage {
    static constexpr double drive = 1.0;
    static constexpr double feed = 0.077;
    static constexpr double linear = 0.0672;
    static constexpr double square = 0.0067;
    static constexpr double evenMix = 0.033;
    static constexpr double memory = 0.58;
    static constexpr double memoryPole = -1.43;
    static constexpr double leak = 0.06;
    static constexpr double memoryScale = 0.0031622777;
    static constexpr double makeUp = 4623.8102139918;

    double e = 0.0;  // input accumulator
    double v = 0.0;  // output accumulator
    double w = 0.0;  // scaled output of the previous sample

    // One sample x with drive gain g, on one channel (double) or on both
    // channels at once (StereoPair); the states are passed in the same type.
    template <class T>
    [[gnu::always_inline]] static T Step(T x, T g, T& e, T& v, T& w) {
        const T a = x * drive * g * 3.0;
        e = feed * e + a;
        const T q = e * square * e;
        const T qc = q / Sqrt(q * q + 1.0);
        const T d = e * linear;
        const T dc = d / Sqrt(d * d + 1.0);
        const T r = qc * evenMix + dc;
        const T l = w;
        const T m = l / (l + memoryPole) * (memoryPole + 1);
        const T t = (l - r) * m * memory - l;
        const T y = t / Sqrt(t * t + 1.0) + r;
        v = y - leak * v;
        w = v * memoryScale;
        return FlushTiny(w * makeUp * 0.33334);
    }

    double tick(double x, double g) { return Step(x, g, e, v, w); }
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
    [[gnu::always_inline]] double tick() {
        seed = (seed * 3877 + 29573) % 139968;
        double n = 1 - seed * 2 / 139968.0;
        n = lowCut.tickHighPass(n);
        return highCut.tickLowPass(n);
    }
};

// The left and right stages with their DC blockers, as the processing loop
// runs them: stage(x, g) / drive, then the blocker, both channels at once.
// Load the states, step per sample, store them back.
class SaturationPair {
public:
    SaturationPair(const SaturationStage& l, const SaturationStage& r, const DcBlocker& dl, const DcBlocker& dr,
                   double g, double drive)
        : mGain(Splat(g)), mDrive(Splat(drive)), mE(Pair(l.e, r.e)), mV(Pair(l.v, r.v)), mW(Pair(l.w, r.w)),
          mXp(Pair(dl.xp, dr.xp)), mYp(Pair(dl.yp, dr.yp)) {}

    // kUnitDrive: the drive is exactly 1, so dividing by it would return its
    // operand unchanged and is left out.
    template <bool kUnitDrive = false>
    [[gnu::always_inline]] StereoPair step(StereoPair x) {
        StereoPair s = SaturationStage::Step(x, mGain, mE, mV, mW);
        if constexpr (!kUnitDrive) s = s / mDrive;
        const StereoPair c = mYp * 0.999 + s - mXp;
        mXp = s;
        mYp = c;
        return c;
    }

    void store(SaturationStage& l, SaturationStage& r, DcBlocker& dl, DcBlocker& dr) const {
        l.e = Left(mE), r.e = Right(mE);
        l.v = Left(mV), r.v = Right(mV);
        l.w = Left(mW), r.w = Right(mW);
        dl.xp = Left(mXp), dr.xp = Right(mXp);
        dl.yp = Left(mYp), dr.yp = Right(mYp);
    }

private:
    StereoPair mGain, mDrive;
    StereoPair mE, mV, mW, mXp, mYp;
};
