#include <gtest/gtest.h>

#include <cmath>

#include "compressor_core.h"
#include "filters.h"

namespace {
CoreSettings Settings(bool relaxed, int sampleRate = 44100) {
    CoreSettings s;
    s.sampleRate = sampleRate;
    s.thresholdDb = -25.0;
    s.ratio = 4.0;
    s.kneePercent = 100;
    if (!relaxed) {
        s.tiltDb = 0.2, s.highPassHz = 90, s.attackMs = 0, s.releaseMs = 22, s.rmsMs = 1.1;
        s.releaseBoostPercent = 12, s.twoStageAttack = true, s.twoStageRelease = true, s.multiEnvelope = true;
        s.gainFilterAmount = 65;
    } else {
        s.tiltDb = 0, s.highPassHz = 0, s.attackMs = 4.87, s.releaseMs = 96, s.rmsMs = 8.0;
        s.releaseBoostPercent = 19, s.twoStageAttack = false, s.twoStageRelease = true, s.multiEnvelope = false;
        s.gainFilterAmount = 49;
    }
    return s;
}

double ToDb(double g) { return 20 * std::log10(g); }
}  // namespace

TEST(CompressorCore, EffectiveThresholdFollowsTheKnee) {
    CompressorCore c;
    c.configure(Settings(false));
    EXPECT_EQ(c.effectiveThreshold(), -25.3125);
}

TEST(CompressorCore, RatioGrowsWithTheOvershoot) {
    CompressorCore c;
    c.configure(Settings(false));
    const double t = c.effectiveThreshold();
    EXPECT_EQ(c.gainComputerDb(t), 0.0);  // strictly above only
    EXPECT_EQ(c.gainComputerDb(t - 3), 0.0);
    EXPECT_DOUBLE_EQ(c.gainComputerDb(t + 10), -3.75);
    EXPECT_DOUBLE_EQ(c.gainComputerDb(t + 20), -10.909090909090908);
    EXPECT_DOUBLE_EQ(c.gainComputerDb(t + 50), -37.5);
}

TEST(CompressorCore, ReleaseTimeGrowsWithTheRememberedOvershoot) {
    CompressorCore off, on;
    off.configure(Settings(false));
    on.configure(Settings(true));
    EXPECT_DOUBLE_EQ(off.releaseTimeMs(20), 39.28);
    EXPECT_DOUBLE_EQ(on.releaseTimeMs(20), 151.48);
    EXPECT_EQ(off.releaseTimeMs(0), 22.0);
    EXPECT_EQ(CompressorCore::TimeCoefficient(22 * 0.001, 44100), 0.9989698156881484);
    EXPECT_EQ(CompressorCore::TimeCoefficient(22 * 0.0015, 44100), 0.9993130924847737);
    EXPECT_EQ(CompressorCore::TimeCoefficient(0 * 0.001, 44100), 0.0);
}

TEST(CompressorCore, StartsFromZeroGainAndRisesOnSilence) {
    CompressorCore c;
    c.configure(Settings(false));
    const double first = c.tick(0.0);
    EXPECT_GT(first, 0.0);
    EXPECT_LT(first, 1e-5);
    double g = first;
    for (int i = 0; i < 44100; ++i) g = c.tick(0.0);
    EXPECT_GT(g, 0.9999);
}

TEST(CompressorCore, SilenceNeverReachesExactUnityAtEitherRateSoTheMemoryStays) {
    // The two-stage release approaches 1 from below and stops just short of it
    // at both rates, so the largest overshoot seen stays remembered.
    for (int rate : {44100, 48000}) {
        CompressorCore c;
        c.configure(Settings(false, rate));
        for (int i = 0; i < rate; ++i) c.tick(0.9 * std::sin(kTwoPi * 1000 * i / rate));
        const double memory = c.overshootMemory();
        EXPECT_GT(memory, 10.0);
        for (int i = 0; i < 5 * rate; ++i) c.tick(0.0);
        EXPECT_LT(c.gainState(), 1.0);
        EXPECT_GT(c.gainState(), 0.9999999);
        EXPECT_EQ(c.overshootMemory(), memory) << rate;
    }
}

struct SineCase {
    bool relaxed;
    double amplitude;
    double gainDb;
    double memoryDb;
};

class CompressorSteadyState : public ::testing::TestWithParam<SineCase> {};

TEST_P(CompressorSteadyState, OneKilohertzSineSettles) {
    const SineCase k = GetParam();
    CompressorCore c;
    c.configure(Settings(k.relaxed));
    double g = 0;
    for (int i = 0; i < 3 * 44100; ++i) g = c.tick(k.amplitude * std::sin(kTwoPi * 1000 * i / 44100));
    EXPECT_NEAR(ToDb(g), k.gainDb, 0.02);
    if (k.memoryDb > 0) {
        EXPECT_NEAR(c.overshootMemory(), k.memoryDb, 0.06);
    }
}

INSTANTIATE_TEST_SUITE_P(Sines, CompressorSteadyState,
                         ::testing::Values(SineCase{false, 0.5, -7.95, 16.2}, SineCase{true, 0.5, -8.08, 16.3},
                                           SineCase{false, 0.1, -0.25, 0}, SineCase{true, 0.1, -0.29, 0}));

TEST(CompressorCore, RelaxedUsesOneEnvelopeOffUsesTheLargestOfFour) {
    // After a burst, "On" falls with its single 35 ms envelope, while "Off"
    // holds on the slowest of its four (72 ms), so its detector stays higher.
    CompressorCore off, on;
    off.configure(Settings(false));
    on.configure(Settings(true));
    for (int i = 0; i < 4410; ++i) {
        const double x = 0.8 * std::sin(kTwoPi * 1000 * i / 44100);
        off.tick(x);
        on.tick(x);
    }
    const double offBefore = off.gainState();
    for (int i = 0; i < 441; ++i) off.tick(0.0);
    EXPECT_LT(off.gainState(), 1.0);
    EXPECT_GT(off.gainState(), offBefore);
}

TEST(CompressorCore, ConfigureKeepsTheRunningState) {
    CompressorCore c;
    c.configure(Settings(false));
    for (int i = 0; i < 1000; ++i) c.tick(0.5 * std::sin(i * 0.1));
    const double g = c.gainState();
    const double m = c.overshootMemory();
    c.configure(Settings(true));
    EXPECT_EQ(c.gainState(), g);
    EXPECT_EQ(c.overshootMemory(), m);
}

TEST(CompressorCore, NanDetectorGivesNoReductionAndRecoverRestoresIt) {
    CompressorCore c;
    c.configure(Settings(false));
    for (int i = 0; i < 4410; ++i) c.tick(0.0);
    c.tick(NAN);
    EXPECT_FALSE(c.finite());
    c.recover();
    EXPECT_TRUE(c.finite());
    double g = 1;
    for (int i = 0; i < 44100; ++i) g = c.tick(0.5 * std::sin(kTwoPi * 1000 * i / 44100));
    EXPECT_NEAR(ToDb(g), -7.95, 0.05);
}
