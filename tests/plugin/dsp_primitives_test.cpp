#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "compressor_core.h"
#include "filters.h"
#include "saturation.h"

TEST(FlushTiny, ZeroAndSubnormalsBecomePositiveZeroOthersPass) {
    EXPECT_FALSE(std::signbit(FlushTiny(-0.0)));
    EXPECT_EQ(FlushTiny(std::numeric_limits<double>::denorm_min()), 0.0);
    EXPECT_EQ(FlushTiny(-std::numeric_limits<double>::min() / 2), 0.0);
    EXPECT_EQ(FlushTiny(std::numeric_limits<double>::min()), std::numeric_limits<double>::min());
    EXPECT_TRUE(std::isinf(FlushTiny(INFINITY)));
    EXPECT_TRUE(std::isnan(FlushTiny(NAN)));
}

TEST(OnePoleFilter, LowPassSettlesOnItsFixedPointWhichDependsOnTheRate) {
    OnePoleFilter f44, f48;
    f44.set(0, 7000, 44100);
    f48.set(0, 7000, 48000);
    double y44 = 0, y48 = 0;
    for (int i = 0; i < 2000; ++i) {
        y44 = f44.tick(1.0);
        y48 = f48.tick(1.0);
    }
    EXPECT_EQ(y44, 0.9999999999999998);
    EXPECT_EQ(y48, 1.0);
}

TEST(OnePoleFilter, HighPassOfAConstantSettlesToZero) {
    OnePoleFilter f;
    f.set(1, 90, 44100);
    double y = 1;
    for (int i = 0; i < 200000; ++i) y = f.tick(0.25);
    EXPECT_NEAR(y, 0.0, 1e-13);
}

TEST(OnePoleFilter, CoefficientsUseThreeTimesTheSampleRate) {
    OnePoleFilter f;
    f.set(0, 50, 44100);
    EXPECT_EQ(f.omega, 314.1592653589793);
    EXPECT_EQ(f.norm, 1 / (132300 + 314.1592653589793));
    EXPECT_EQ(f.pole, (132300 - 314.1592653589793) * f.norm);
    // One step from rest: s = x * 2 * gain.
    EXPECT_EQ(f.tick(1.0), 2 * f.gain);
}

TEST(OnePoleFilter, OutputsTooSmallForNormalNumbersAreFlushed) {
    OnePoleFilter f;
    f.set(0, 3, 44100);
    f.state = 1e-309;  // its successor is subnormal
    EXPECT_EQ(f.tick(0.0), 0.0);
    EXPECT_GT(f.state, 0.0);
}

TEST(ShelfBiquad, ZeroGainIsAnIdentity) {
    for (auto kind : {ShelfBiquad::LowShelf, ShelfBiquad::HighShelf}) {
        ShelfBiquad s;
        s.design(kind, 1500, 44100, 2.0, 0.0);
        EXPECT_EQ(s.b0, 1.0);
        EXPECT_EQ(s.b1, s.a1);
        EXPECT_EQ(s.b2, s.a2);
        const double in[] = {0.5, -0.25, 0.125, 0.9, 0.0};
        for (double x : in) EXPECT_NEAR(s.tick(x), x, 1e-15);
    }
}

TEST(ShelfBiquad, ShelvesCutAndBoostTheirBands) {
    // The tilt: low shelf down, high shelf up by the same amount.
    ShelfBiquad low, high;
    low.design(ShelfBiquad::LowShelf, 1500, 44100, 2.0, -6.0);
    high.design(ShelfBiquad::HighShelf, 1500, 44100, 2.0, 6.0);
    const double dcGainLow = (low.b0 + low.b1 + low.b2) / (1 + low.a1 + low.a2);
    const double dcGainHigh = (high.b0 + high.b1 + high.b2) / (1 + high.a1 + high.a2);
    EXPECT_NEAR(20 * std::log10(dcGainLow), -6.0, 1e-9);
    EXPECT_NEAR(20 * std::log10(dcGainHigh), 0.0, 1e-9);
    const double nyqHigh = (high.b0 - high.b1 + high.b2) / (1 - high.a1 + high.a2);
    EXPECT_NEAR(20 * std::log10(nyqHigh), 6.0, 0.05);
}

TEST(DcBlocker, ConstantInputDecaysByTheLeakEachSample) {
    DcBlocker d;
    EXPECT_EQ(d.tick(2.0), 2.0);
    EXPECT_DOUBLE_EQ(d.tick(2.0), 2.0 * 0.999);
    EXPECT_DOUBLE_EQ(d.tick(2.0), 2.0 * 0.998001);
}

TEST(SaturationStage, SilenceStaysExactlySilent) {
    SaturationStage s;
    EXPECT_EQ(s.tick(0.0, 1.0), 0.0);
    EXPECT_EQ(s.e, 0.0);
    EXPECT_EQ(s.v, 0.0);
    EXPECT_EQ(s.w, 0.0);
}

double Settle(double x, int n = 20000) {
    SaturationStage s;
    double y = 0;
    for (int i = 0; i < n; ++i) y = s.tick(x, 1.0);
    return y;
}

TEST(SaturationStage, SmallSignalsPassWithUnityGainLargeOnesSaturate) {
    EXPECT_DOUBLE_EQ(Settle(0.001), 0.0010013393641787388);
    EXPECT_NEAR(Settle(1.0), 0.98884, 5e-6);
    EXPECT_NEAR(Settle(10.0), 4.316, 5e-4);
    EXPECT_NEAR(Settle(1000.0), 4.733, 5e-4);
}

TEST(SaturationStage, HugeInputsStayBounded) {
    SaturationStage s;
    for (double x : {1000.0, -1e6, 1e12, -1e100}) {
        const double y = s.tick(x, 1.0);
        EXPECT_TRUE(std::isfinite(y));
        EXPECT_LT(std::fabs(y), 10.6);
        EXPECT_LT(std::fabs(s.w), 0.0069);
    }
}

TEST(SaturationStage, OneKilohertzSineComesOutSlightlyLarger) {
    SaturationStage s;
    double peak = 0;
    for (int i = 0; i < 44100; ++i) {
        const double y = s.tick(0.001 * std::sin(kTwoPi * 1000 * i / 44100), 1.0);
        if (i > 22050) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_NEAR(peak / 0.001, 1.001, 0.0015);
}

TEST(HissSource, GeneratorSequenceAndWhiteValues) {
    HissSource h;
    const int seeds[] = {29573, 50302, 75003};
    const double white[] = {0.5774319844535893, 0.2812357110196616, -0.07171639231824423};
    for (int i = 0; i < 3; ++i) {
        h.tick();
        EXPECT_EQ(h.seed, seeds[i]);
        EXPECT_EQ(1 - h.seed * 2 / 139968.0, white[i]);
    }
    // The seed never leaves 0..139967 over a full period.
    for (int i = 0; i < 140000; ++i) {
        h.tick();
        ASSERT_GE(h.seed, 0);
        ASSERT_LT(h.seed, 139968);
    }
}

TEST(HissSource, FirstOutputIsTheWhiteValueThroughBothFilters) {
    HissSource h;
    h.setSampleRate(48000.0);
    OnePoleFilter lo, hi;
    lo.set(1, 50, 48000.0);
    hi.set(0, 18000, 48000.0);
    EXPECT_EQ(h.tick(), hi.tick(lo.tick(0.5774319844535893)));
}
