#pragma once
#include <cmath>
#include <cstdint>

#include "filters.h"
#include "framework/exact_math.h"
#include "framework/inline_math.h"

// Gain reduction in dB / 20 for the needle: smoothed per sample at 3 Hz,
// then moved once per block with a fast rise and a slow fall.
struct MeterBallistics {
    static constexpr double kSmoothingOmega = 18.84955592153876;  // 6 pi: 3 Hz

    double raw = 0.0;
    OnePoleFilter smoothing;
    double smoothed = 0.0;
    double needle = 0.0;
    double rise = 0.0;
    double fall = 0.0;
    // The gain sits still for long stretches; remember the last logarithm.
    double lastGain = 1.0;
    double lastRaw = -0.0;  // what log(1) gives after the sign flip
    std::int64_t rateSet = -1;
    std::int64_t blocksPerSecondSet = -1;

    // Both setters are called every block; they recompute only on a change.
    void setSampleRate(std::uint32_t storedSampleRate) {
        if (storedSampleRate == rateSet) return;
        rateSet = storedSampleRate;
        smoothing.setOmega(0, kSmoothingOmega, 3 * static_cast<double>(storedSampleRate));
    }
    void setBlocksPerSecond(std::uint32_t blocksPerSecond) {
        if (blocksPerSecond == blocksPerSecondSet) return;
        blocksPerSecondSet = blocksPerSecond;
        const double b = blocksPerSecond;
        rise = ExactPow(0.01, 1 / (b * 0.2));
        fall = ExactPow(0.01, 1 / (b * 1.2));
    }
    // Feeds gains one at a time with the state in locals, for loops that run
    // the meter beside other work; store() puts the state back.
    class Runner {
    public:
        explicit Runner(const MeterBallistics& m)
            : mSmoothing(m.smoothing), mSmoothed(m.smoothed), mLast(m.lastGain), mValue(m.lastRaw) {}
        template <class Math>
        [[gnu::always_inline]] void add(double g) {
            if (g != mLast) {
                mLast = g;
                mValue = Math::Log(std::fabs(g)) * -8.685889638065037 / 20.0;
            }
            mSmoothed = mSmoothing.tickLowPass(mValue);
            mAdded = true;
        }
        void store(MeterBallistics& m) const {
            m.smoothing = mSmoothing;
            m.smoothed = mSmoothed;
            m.lastGain = mLast;
            m.lastRaw = mValue;
            if (mAdded) m.raw = mValue;
        }

    private:
        OnePoleFilter mSmoothing;
        double mSmoothed, mLast, mValue;
        bool mAdded = false;
    };
    void addSample(double g) {
        Runner runner(*this);
        runner.add<CallMath>(g);
        runner.store(*this);
    }
    // Moves the needle; returns the position limited to 0..1 for display.
    double endBlock() {
        const double s = smoothed;
        double n = needle;
        n = s > n ? s + (n - s) * rise : s + (n - s) * fall;
        needle = n;
        if (!(n > 0)) return 0.0;
        if (!(n < 1)) return 1.0;
        return n;
    }
    bool finite() const {
        return std::isfinite(smoothing.state) && std::isfinite(smoothed) && std::isfinite(needle) &&
               std::isfinite(raw);
    }
    void recover() {
        raw = smoothed = needle = 0.0;
        lastGain = 1.0;
        lastRaw = -0.0;
        smoothing.clear();
    }
};
