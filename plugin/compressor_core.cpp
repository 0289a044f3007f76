#include "compressor_core.h"

#include <cmath>
#include <utility>

#include "framework/exact_math.h"
#include "framework/inline_math.h"

namespace {
constexpr double kDbPerNeper = 8.685889638065037;  // 20 / ln 10
}  // namespace

CompressorCore::CompressorCore() {
    CoreSettings neutral;
    neutral.sampleRate = 44100;
    neutral.ratio = 1.0;
    neutral.gainFilterAmount = 0;
    configure(neutral);
}

void CompressorCore::configure(const CoreSettings& s) {
    if (mConfigured && s.sameAs(mSettings)) return;
    mConfigured = true;
    mSettings = s;
    const double sr = static_cast<double>(s.sampleRate);
    // The release time also depends on this block's base, span and boost.
    mCachedMemory = -1.0;
    if (sr != mSampleRate) mCachedReleaseMs = -1.0;
    mSampleRate = sr;

    const int shape = ShapeOf(s);
    mHighPassOn = (shape & 8) != 0;
    mHighPass.set(1, s.highPassHz, sr);
    mTiltOn = (shape & 4) != 0;
    mLowShelf.design(ShelfBiquad::LowShelf, 1500, sr, 2.0, -s.tiltDb);
    mHighShelf.design(ShelfBiquad::HighShelf, 1500, sr, 2.0, s.tiltDb);

    mMeanSquareCoef = TimeCoefficient(s.rmsMs * 0.001, sr);
    const double b = s.multiEnvelope ? static_cast<double>(s.releaseMs) : 0.0;
    mEnvBase = b;
    mEnv1Release = TimeCoefficient((b + 35) * 0.001, sr);
    mEnvAttack[0] = TimeCoefficient(0.0001, sr);
    mEnvRelease[0] = TimeCoefficient((b + 5) * 0.001, sr);
    mEnvAttack[1] = TimeCoefficient(0.0025, sr);
    mEnvRelease[1] = TimeCoefficient((b + 25) * 0.001, sr);
    mEnvAttack[2] = TimeCoefficient(0.01, sr);
    mEnvRelease[2] = TimeCoefficient((b + 50) * 0.001, sr);

    mKnee = s.kneePercent * 0.01;
    mThreshold = mKnee > 0 ? s.thresholdDb - mKnee * 20 / (s.ratio * s.ratio * s.ratio) : s.thresholdDb;

    mAttack1 = TimeCoefficient(s.attackMs * 0.001, sr);
    mAttack2 = TimeCoefficient(s.attackMs * 0.0015, sr);
    mReleaseBase = s.releaseMs;
    mReleaseSpan = s.releaseMs + 50;
    mReleaseBoost = s.releaseBoostPercent * 0.01;

    const std::int32_t corner = (100 - s.gainFilterAmount) * 200;
    mGainLowPassOn = (shape & kGainLowPass) != 0;
    mGainLowPass.set(0, corner, sr);
}

void CompressorCore::releaseFor(double memory) {
    // The release time only moves with a new largest overshoot.
    mCachedMemory = memory;
    const double time = releaseTimeMs(memory);
    if (time != mCachedReleaseMs) {
        mCachedReleaseMs = time;
        mRelease1 = TimeCoefficient(time * 0.001, mSampleRate);
        mRelease2 = TimeCoefficient(time * 0.0015, mSampleRate);
    }
}

double CompressorCore::tick(double x) {
    double g;
    tickBlock(&x, &g, 1);
    return g;
}

void CompressorCore::tickBlock(const double* x, double* gains, int n) {
    double levelDb[kMaxBlock], target[kMaxBlock];
    detectBlock(x, levelDb, target, n);
    Smoother smoother = this->smoother();
    for (int i = 0; i < n; ++i) gains[i] = smoother.step(levelDb[i], target[i]);
    store(smoother);
}

void CompressorCore::levelsAndTargets(double* level, double* target, int n) const {
#if VT4R_WIDE_MATH
    // Four at a time where the FMA kernel runs; what is left over, below.
    if (mMath == MathKernel::Fma) {
        const int done = levelsAndTargetsWide(level, target, n);
        level += done;
        target += done;
        n -= done;
    }
#endif
    RunWithMath(mMath, [&]<class Math>() __attribute__((always_inline)) {
        // The logarithm and exponential do not feed back into the running
        // state, so they run as a batch of independent evaluations between the
        // recurrences.
        for (int i = 0; i < n; ++i) level[i] = Math::Log(std::fabs(level[i])) * kDbPerNeper;
        // The gain law two samples at a time; exp only above the threshold,
        // below it the target is exactly exp(0) = 1.
        int i = 0;
        for (; i + 1 < n; i += 2) {
            const StereoPair gainDb = gainComputerDb(Pair(level[i], level[i + 1]));
            target[i] = Left(gainDb);
            target[i + 1] = Right(gainDb);
        }
        for (; i < n; ++i) target[i] = gainComputerDb(level[i]);
        for (int k = 0; k < n; ++k)
            target[k] = level[k] > mThreshold ? Math::Exp(0.1151292546497 * target[k]) : 1.0;
    });
}

#if VT4R_WIDE_MATH
// The same four samples at a time, for the FMA kernel, as far as whole
// groups of four go; returns how many it did. Everything it calls
// with four lanes is inlined into it, so passing them by value never meets
// the ABI of code built without AVX.
// (To the end of the file: GCC reports it there.)
#pragma GCC diagnostic ignored "-Wpsabi"
__attribute__((target("avx2,fma"))) int CompressorCore::levelsAndTargetsWide(double* level, double* target,
                                                                            int n) const {
    const Quad threshold = _mm256_set1_pd(mThreshold), one = _mm256_set1_pd(1.0);
    // The gain law is generic code, built without AVX. clang refuses a Quad passed by value
    // between AVX code and other code even where the call is inlined, so it crosses by reference
    // here; inside, generic code hands it to generic code.
    const auto gainDb = [this](const Quad& db, Quad& gain) __attribute__((always_inline)) {
        gain = gainComputerDb(db);
    };
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm256_storeu_pd(level + i, inline_math::LogOfMagnitude4(_mm256_loadu_pd(level + i)) * kDbPerNeper);
    // The gain law's argument, then exp; lanes at or below the threshold
    // get a harmless argument and then 1.
    for (i = 0; i + 4 <= n; i += 4) {
        const Quad db = _mm256_loadu_pd(level + i);
        const Quad above = _mm256_cmp_pd(db, threshold, _CMP_GT_OQ);
        Quad gain;
        gainDb(db, gain);
        _mm256_storeu_pd(target + i, _mm256_blendv_pd(_mm256_set1_pd(-1.0), 0.1151292546497 * gain, above));
    }
    for (i = 0; i + 4 <= n; i += 4) {
        const Quad above = _mm256_cmp_pd(_mm256_loadu_pd(level + i), threshold, _CMP_GT_OQ);
        if (_mm256_movemask_pd(above) == 0) {
            _mm256_storeu_pd(target + i, one);
            continue;
        }
        _mm256_storeu_pd(target + i, _mm256_blendv_pd(one, inline_math::Exp4(_mm256_loadu_pd(target + i)), above));
    }
    return i;
}
#endif

bool CompressorCore::finite() const {
    double sum = mHighPass.state + mLowShelf.y1 + mLowShelf.y2 + mLowShelf.x1 + mLowShelf.x2 + mHighShelf.y1 +
                 mHighShelf.y2 + mHighShelf.x1 + mHighShelf.x2 + mMeanSquare + mEnv1 + mEnv[0] + mEnv[1] +
                 mEnv[2] + mOvershootMemory + mGainState + mStageState + mGainLowPass.state;
    // Any NaN or infinity makes the sum non-finite; finite states are far
    // too small to overflow it.
    return std::isfinite(sum);
}

void CompressorCore::recover() {
    mHighPass.clear();
    mLowShelf.clear();
    mHighShelf.clear();
    mMeanSquare = 0;
    mEnv1 = 0;
    mEnv[0] = mEnv[1] = mEnv[2] = 0;
    mOvershootMemory = 0;
    mGainState = 1.0;
    mStageState = 1.0;
    mGainLowPass.state = mGainLowPass.output = 1.0;
}
