#pragma once
#include <bit>
#include <cmath>
#include <utility>
#include <cstdint>

#include "filters.h"
#include "framework/exact_math.h"
#include "framework/inline_math.h"
#include "stereo_pair.h"

struct CoreSettings {
    std::int32_t sampleRate = 0;
    double tiltDb = 0.0;
    std::int32_t highPassHz = 0;
    double thresholdDb = 0.0;
    double ratio = 0.0;
    std::int32_t kneePercent = 0;
    double attackMs = 0.0;
    std::int32_t releaseMs = 0;
    double rmsMs = 0.0;
    std::int32_t releaseBoostPercent = 0;
    bool twoStageAttack = false;
    bool twoStageRelease = false;
    bool multiEnvelope = false;
    std::int32_t gainFilterAmount = 0;

    // Field by field, doubles by their bits: equal settings give equal coefficients.
    bool sameAs(const CoreSettings& o) const {
        auto same = [](double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); };
        return sampleRate == o.sampleRate && same(tiltDb, o.tiltDb) && highPassHz == o.highPassHz &&
               same(thresholdDb, o.thresholdDb) && same(ratio, o.ratio) && kneePercent == o.kneePercent &&
               same(attackMs, o.attackMs) && releaseMs == o.releaseMs && same(rmsMs, o.rmsMs) &&
               releaseBoostPercent == o.releaseBoostPercent && twoStageAttack == o.twoStageAttack &&
               twoStageRelease == o.twoStageRelease && multiEnvelope == o.multiEnvelope &&
               gainFilterAmount == o.gainFilterAmount;
    }
};

// Stereo-linked dynamics: one detector sample in, one linear gain (0..1) out.
// configure() changes coefficients only; the running state is never reset.
class CompressorCore {
public:
    CompressorCore();

    // [audio thread] Once per block, before the samples. Unchanged settings
    // keep the coefficients they already gave.
    void configure(const CoreSettings& settings);
    // [audio thread] Once per sample.
    double tick(double x);
    // [audio thread] The same for n <= kMaxBlock consecutive samples.
    static constexpr int kMaxBlock = 64;
    void tickBlock(const double* x, double* gains, int n);

    // tickBlock in two parts, for loops that overlap the second with other
    // work: detectBlock gives the level in dB and the target gain of
    // n <= kMaxBlock samples; Smoother turns them into gains.
    //
    // kShape names the detector's stages (shape()) when the caller knows
    // them, so that its loop is built for them alone; -1 chooses among all
    // of them here.
    template <int kShape = -1>
    [[gnu::always_inline]] inline void detectBlock(const double* x, double* levelDb, double* target, int n);
    // Which stages run, as bits: the detector's 8 high-pass, 4 tilt, 2 mean
    // square, 1 four envelopes; the smoother's kTwoStageAttack,
    // kTwoStageRelease and kGainLowPass.
    static constexpr int kTwoStageAttack = 16, kTwoStageRelease = 32, kGainLowPass = 64;
    static constexpr int ShapeOf(const CoreSettings& s) {
        return (s.highPassHz > 20 ? 8 : 0) | (s.tiltDb != 0 ? 4 : 0) | (s.rmsMs != 0 ? 2 : 0) |
               (s.multiEnvelope && s.releaseMs != 0 ? 1 : 0) | (s.twoStageAttack ? kTwoStageAttack : 0) |
               (s.twoStageRelease ? kTwoStageRelease : 0) |
               ((100 - s.gainFilterAmount) * 200 < 20000 ? kGainLowPass : 0);
    }
    int shape() const { return ShapeOf(mSettings); }
    // The gain recurrence: its state and coefficients by value, loaded by
    // smoother() and written back by store().
    class Smoother;
    Smoother smoother();
    void store(const Smoother& smoother);

    // Target gain for a detector level in dB; exactly 1 at or below the threshold.
    double targetGain(double levelDb) const {
        return levelDb > mThreshold ? ExactExp(0.1151292546497 * gainComputerDb(levelDb)) : 1.0;
    }

    // Target gain in dB for a detector level in dB (0 at or below the
    // threshold), for one level (double), two (StereoPair) or, inlined into
    // code built for AVX2, four (Quad) at once.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
    template <class T>
    [[gnu::always_inline]] T gainComputerDb(T levelDb) const {
        const T zero = Broadcast<T>(0.0);
        const T over = levelDb - mThreshold;
        const T h = SelectIfGreater(over, zero, over, zero);
        const double ratio = mSettings.ratio;
        const T r = mKnee > 0 ? (1 - mKnee) * ratio + mKnee * (1.0 + 0.02 * (ratio - 1) * h) : Broadcast<T>(ratio);
        return SelectIfGreater(levelDb, Broadcast<T>(mThreshold), (1.0 / r - 1.0) * over, zero);
    }
#pragma GCC diagnostic pop
    // Release time in ms for a remembered overshoot in dB.
    double releaseTimeMs(double overshootMemory) const {
        const double a = overshootMemory / 10 * mReleaseSpan * mReleaseBoost + mReleaseBase;
        return a > 0 ? a : 0;
    }
    static double TimeCoefficient(double seconds, double sampleRate) {
        return ExactExp(-1 / (seconds * sampleRate));
    }

    double gainState() const { return mGainState; }
    double overshootMemory() const { return mOvershootMemory; }
    double effectiveThreshold() const { return mThreshold; }

    // True when every running state is a finite number.
    bool finite() const;
    // Puts the detector back to silence and the gain to unity, keeping the
    // coefficients; used after non-finite input has reached the state.
    void recover();

private:
    // The detector (high-pass, tilt, mean square, envelopes) for one
    // combination of its stages, giving the level for each sample.
    template <bool kHighPass, bool kTilt, bool kMeanSquare, bool kFourEnvelopes>
    [[gnu::always_inline]] inline void detectLoop(const double* x, double* level, int n);
    void levelsAndTargets(double* level, double* target, int n) const;
    int levelsAndTargetsWide(double* level, double* target, int n) const;
    // Computes the release coefficients for a new remembered overshoot.
    void releaseFor(double memory);

    CoreSettings mSettings;
    bool mConfigured = false;
    MathKernel mMath = ChooseMathKernel();
    double mSampleRate = 0.0;

    OnePoleFilter mHighPass;
    ShelfBiquad mLowShelf;
    ShelfBiquad mHighShelf;
    double mMeanSquareCoef = 0.0;
    double mEnvBase = 0.0;
    double mEnv1Release = 0.0;
    double mEnvAttack[3] = {};
    double mEnvRelease[3] = {};
    double mKnee = 0.0;
    double mThreshold = 0.0;
    double mAttack1 = 0.0;
    double mAttack2 = 0.0;
    double mReleaseBase = 0.0;
    double mReleaseSpan = 0.0;
    double mReleaseBoost = 0.0;
    OnePoleFilter mGainLowPass;
    bool mHighPassOn = false;
    bool mTiltOn = false;
    bool mGainLowPassOn = false;

    // The release coefficients depend only on the remembered overshoot, which
    // moves only when a new largest overshoot arrives; cache them by it.
    double mCachedMemory = -1.0;
    double mCachedReleaseMs = -1.0;
    double mRelease1 = 0.0;
    double mRelease2 = 0.0;

    double mMeanSquare = 0.0;
    double mEnv1 = 0.0;
    double mEnv[3] = {};
    double mOvershootMemory = 0.0;
    double mGainState = 0.0;
    double mStageState = 0.0;
};

template <int kShape>
void CompressorCore::detectBlock(const double* x, double* level, double* target, int n) {
    if constexpr (kShape >= 0) {
        detectLoop<(kShape & 8) != 0, (kShape & 4) != 0, (kShape & 2) != 0, (kShape & 1) != 0>(x, level, n);
    } else {
        // One loop per combination of stages, so none of them branches per sample.
        const int stages = shape() & 15;
        [&]<int... K>(std::integer_sequence<int, K...>) __attribute__((always_inline)) {
            (void)((stages == K ? (detectBlock<K>(x, level, target, n), true) : false) || ...);
        }(std::make_integer_sequence<int, 16>{});
        return;
    }
    levelsAndTargets(level, target, n);
}

class CompressorCore::Smoother {
public:
    explicit Smoother(CompressorCore& core)
        : mCore(&core), mGain(core.mGainState), mStage(core.mStageState), mMemory(core.mOvershootMemory),
          mLowPass(core.mGainLowPass), mLowPassOn(core.mGainLowPassOn),
          mTwoStageAttack(core.mSettings.twoStageAttack), mTwoStageRelease(core.mSettings.twoStageRelease),
          mAttack1(core.mAttack1), mAttack2(core.mAttack2), mThreshold(core.mThreshold),
          mRelease1(core.mRelease1), mRelease2(core.mRelease2), mCachedMemory(core.mCachedMemory) {}

    // Attack/release smoothing, clamp and gain low-pass for one sample;
    // kShape as for detectBlock, for the smoother's stages.
    template <int kShape = -1>
    [[gnu::always_inline]] double step(double levelDb, double target) {
        const bool twoStageAttack = kShape >= 0 ? (kShape & kTwoStageAttack) != 0 : mTwoStageAttack;
        const bool twoStageRelease = kShape >= 0 ? (kShape & kTwoStageRelease) != 0 : mTwoStageRelease;
        const bool lowPassOn = kShape >= 0 ? (kShape & kGainLowPass) != 0 : mLowPassOn;
        const double over = levelDb - mThreshold;
        const double h = over > 0 ? over : 0;
        if (mGain == 1.0)
            mMemory = 0;
        else if (h > mMemory)
            mMemory = h;
        if (mMemory != mCachedMemory) [[unlikely]] {
            mCore->releaseFor(mMemory);
            mCachedMemory = mMemory;
            mRelease1 = mCore->mRelease1;
            mRelease2 = mCore->mRelease2;
        }
        const double u = target;
        double g = mGain, s = mStage;
        if (g > u) {
            s = u + (s - u) * mAttack2;
            g = twoStageAttack ? s + (g - s) * mAttack1 : u + (g - u) * mAttack1;
        } else {
            s = u + (s - u) * mRelease2;
            g = twoStageRelease ? s + (g - s) * mRelease1 : u + (g - u) * mRelease1;
        }
        if (!(g > 0))
            g = 0;
        else if (!(g < 1))
            g = 1;
        if (lowPassOn) g = mLowPass.tickLowPass(g);
        mGain = g;
        mStage = s;
        return g;
    }

private:
    friend class CompressorCore;
    CompressorCore* mCore;
    double mGain, mStage, mMemory;
    OnePoleFilter mLowPass;
    bool mLowPassOn, mTwoStageAttack, mTwoStageRelease;
    double mAttack1, mAttack2, mThreshold;
    double mRelease1, mRelease2, mCachedMemory;
};

inline CompressorCore::Smoother CompressorCore::smoother() {
    return Smoother(*this);
}

inline void CompressorCore::store(const Smoother& smoother) {
    mGainState = smoother.mGain;
    mStageState = smoother.mStage;
    mOvershootMemory = smoother.mMemory;
    mGainLowPass = smoother.mLowPass;
}

template <bool kHighPass, bool kTilt, bool kMeanSquare, bool kFourEnvelopes>
void CompressorCore::detectLoop(const double* x, double* level, int n) {
    // Work on local copies so the recurrences stay in registers.
    OnePoleFilter highPass = mHighPass;
    ShelfBiquad lowShelf = mLowShelf, highShelf = mHighShelf;
    const double c = mMeanSquareCoef;
    double ms = mMeanSquare;
    double env1 = mEnv1;
    const double env1Release = mEnv1Release;
    // With four envelopes they run two by two. Envelope 1's immediate attack
    // is the common law with an attack coefficient of 0: e + (env - e) * 0
    // is exactly e whenever the envelope is a number.
    StereoPair env12 = Pair(mEnv1, mEnv[0]), env34 = Pair(mEnv[1], mEnv[2]);
    const StereoPair attack12 = Pair(0.0, mEnvAttack[0]), attack34 = Pair(mEnvAttack[1], mEnvAttack[2]);
    const StereoPair release12 = Pair(mEnv1Release, mEnvRelease[0]);
    const StereoPair release34 = Pair(mEnvRelease[1], mEnvRelease[2]);
    auto sample = [&](int i) __attribute__((always_inline)) {
        double v = x[i];
        if constexpr (kHighPass) v = highPass.tickHighPass(v);
        if constexpr (kTilt) v = highShelf.tick(lowShelf.tick(v));
        if constexpr (kMeanSquare)
            ms = (1 - c) * v * v + c * ms;
        else
            ms = v * v;
        const double e = std::sqrt(ms);
        if constexpr (kFourEnvelopes) {
            const StereoPair ee = Splat(e);
            env12 = ee + (env12 - ee) * SelectIfGreater(ee, env12, attack12, release12);
            env34 = ee + (env34 - ee) * SelectIfGreater(ee, env34, attack34, release34);
            const StereoPair larger = Max(env12, env34);
            level[i] = Left(larger) > Right(larger) ? Left(larger) : Right(larger);
        } else {
            env1 = SelectIfGreater(e, env1, e, e + (env1 - e) * env1Release);
            level[i] = env1;
        }
    };
    for (int i = 0; i < n; ++i) sample(i);
    mHighPass = highPass;
    mLowShelf = lowShelf;
    mHighShelf = highShelf;
    mMeanSquare = ms;
    if constexpr (kFourEnvelopes) {
        mEnv1 = Left(env12);
        mEnv[0] = Right(env12);
        mEnv[1] = Left(env34);
        mEnv[2] = Right(env34);
    } else {
        mEnv1 = env1;
    }
}
