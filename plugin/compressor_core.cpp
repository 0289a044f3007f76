#include "compressor_core.h"

#include <cmath>

namespace {
constexpr double kDbPerNeper = 8.685889638065037;  // 20 / ln 10
constexpr double kNeperPerDb = 0.1151292546497;    // ln 10 / 20
}  // namespace

CompressorCore::CompressorCore() {
    CoreSettings neutral;
    neutral.sampleRate = 44100;
    neutral.ratio = 1.0;
    neutral.gainFilterAmount = 0;
    configure(neutral);
}

void CompressorCore::configure(const CoreSettings& s) {
    mSettings = s;
    const double sr = static_cast<double>(s.sampleRate);
    // The release time also depends on this block's base, span and boost.
    mCachedMemory = -1.0;
    if (sr != mSampleRate) mCachedReleaseMs = -1.0;
    mSampleRate = sr;

    mHighPassOn = s.highPassHz > 20;
    mHighPass.set(1, s.highPassHz, sr);
    mTiltOn = s.tiltDb != 0;
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
    mGainLowPassOn = corner < 20000;
    mGainLowPass.set(0, corner, sr);
}

VT4R_INLINE void CompressorCore::updateRelease() {
    if (mOvershootMemory == mCachedMemory) return;
    mCachedMemory = mOvershootMemory;
    const double a = releaseTimeMs(mOvershootMemory);
    if (a != mCachedReleaseMs) {
        mCachedReleaseMs = a;
        mRelease1 = TimeCoefficient(a * 0.001, mSampleRate);
        mRelease2 = TimeCoefficient(a * 0.0015, mSampleRate);
    }
}

VT4R_INLINE double CompressorCore::detect(double x) {
    if (mHighPassOn) x = mHighPass.tick(x);
    if (mTiltOn) x = mHighShelf.tick(mLowShelf.tick(x));

    if (mSettings.rmsMs != 0) {
        const double c = mMeanSquareCoef;
        mMeanSquare = (1 - c) * x * x + c * mMeanSquare;
    } else {
        mMeanSquare = x * x;
    }
    const double e = std::sqrt(mMeanSquare);

    if (e > mEnv1)
        mEnv1 = e;
    else
        mEnv1 = e + (mEnv1 - e) * mEnv1Release;

    double level = mEnv1;
    if (mEnvBase != 0) {
        for (int i = 0; i < 3; ++i) {
            const double c = e > mEnv[i] ? mEnvAttack[i] : mEnvRelease[i];
            mEnv[i] = e + (mEnv[i] - e) * c;
        }
        for (int i = 0; i < 3; ++i)
            if (mEnv[i] > level) level = mEnv[i];
    }
    return level;
}

VT4R_INLINE double CompressorCore::levelDb(double level) { return std::log(std::fabs(level)) * kDbPerNeper; }

VT4R_INLINE double CompressorCore::targetGain(double levelDb) const {
    // Below the threshold the target is exactly exp(0) = 1.
    return levelDb > mThreshold ? std::exp(kNeperPerDb * gainComputerDb(levelDb)) : 1.0;
}

VT4R_INLINE double CompressorCore::smooth(double levelDb, double target) {
    const double over = levelDb - mThreshold;
    const double h = over > 0 ? over : 0;

    if (mGainState == 1.0)
        mOvershootMemory = 0;
    else if (h > mOvershootMemory)
        mOvershootMemory = h;
    updateRelease();

    double g = mGainState;
    double s = mStageState;
    if (g > target) {
        s = target + (s - target) * mAttack2;
        g = mSettings.twoStageAttack ? s + (g - s) * mAttack1 : target + (g - target) * mAttack1;
    } else {
        s = target + (s - target) * mRelease2;
        g = mSettings.twoStageRelease ? s + (g - s) * mRelease1 : target + (g - target) * mRelease1;
    }
    mStageState = s;

    if (!(g > 0))
        g = 0;
    else if (!(g < 1))
        g = 1;

    if (mGainLowPassOn) g = mGainLowPass.tick(g);
    mGainState = g;
    return g;
}

double CompressorCore::tick(double x) {
    const double d = levelDb(detect(x));
    return smooth(d, targetGain(d));
}

void CompressorCore::tickBlock(const double* x, double* gains, int n) {
    // The logarithm and exponential do not feed back into the running state,
    // so they run as a batch of independent calls between the two recurrences.
    double level[kMaxBlock];
    double target[kMaxBlock];
    for (int i = 0; i < n; ++i) level[i] = detect(x[i]);
    for (int i = 0; i < n; ++i) {
        level[i] = levelDb(level[i]);
        target[i] = targetGain(level[i]);
    }
    for (int i = 0; i < n; ++i) gains[i] = smooth(level[i], target[i]);
}

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
