#include "framework/parameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

std::string Format(const IParameter& p, double v, bool normalised = false, bool texts = true) {
    char out[64];
    p.FormatValue(v, normalised, out, sizeof out, texts);
    return out;
}

IParameter GainParam() {
    IParameter p;
    p.DefineNumber("Input", 0.0, -20.0, 20.0, 0.1, "dB");
    return p;
}

IParameter OffOn() {
    IParameter p;
    p.DefineChoice("Relaxed Mode", 0, 2);
    p.AddValueText(0, "Off");
    p.AddValueText(1, "On");
    return p;
}

TEST(ParameterDefinition, FreshParameterIsUnsetZeroToOne) {
    IParameter p;
    EXPECT_EQ(p.Kind(), Unset);
    EXPECT_EQ(p.Value(), 0.0);
    EXPECT_EQ(p.Minimum(), 0.0);
    EXPECT_EQ(p.Maximum(), 1.0);
    EXPECT_EQ(p.Step(), 1.0);
    EXPECT_EQ(p.Shape(), 1.0);
    EXPECT_STREQ(p.Name(), "");
    EXPECT_FALSE(p.NegateForDisplay());
    EXPECT_EQ(p.ValueTextCount(), 0);
}

TEST(ParameterDefinition, NumberKeepsRangeLabelAndUnclampedDefault) {
    IParameter p = GainParam();
    EXPECT_EQ(p.Kind(), Number);
    EXPECT_STREQ(p.Name(), "Input");
    EXPECT_STREQ(p.Label(), "dB");
    EXPECT_EQ(p.Minimum(), -20.0);
    EXPECT_EQ(p.Maximum(), 20.0);
    EXPECT_EQ(p.DisplayPrecision(), 1);

    IParameter q;
    q.DefineNumber("q", 50.0, 0.0, 10.0, 1.0, "");
    EXPECT_EQ(q.Value(), 50.0) << "definition neither clamps nor rounds";
    EXPECT_EQ(q.DefaultValue(), 50.0);
}

TEST(ParameterDefinition, RangeSpansAtLeastOneStep) {
    IParameter p;
    p.DefineNumber("p", 0.0, 3.0, 2.0, 0.5, "");
    EXPECT_EQ(p.Maximum(), 3.5);

    IParameter single;
    single.DefineChoice("one", 0, 1);
    EXPECT_EQ(single.Minimum(), 0.0);
    EXPECT_EQ(single.Maximum(), 1.0);
}

TEST(ParameterDefinition, PrecisionFollowsStep) {
    const std::pair<double, int> cases[] = {{1.0, 0},  {0.5, 1},   {0.1, 1},  {0.25, 2},
                                            {0.01, 2}, {0.001, 3}, {1e-9, 6}, {10.0, 0}};
    for (auto [step, precision] : cases) {
        IParameter p;
        p.DefineNumber("p", 0.0, 0.0, 100.0, step, "");
        EXPECT_EQ(p.DisplayPrecision(), precision) << "step " << step;
    }
}

TEST(ParameterDefinition, ChoiceIsZeroToCountMinusOneInWholeSteps) {
    IParameter p = OffOn();
    EXPECT_EQ(p.Kind(), Choice);
    EXPECT_EQ(p.Minimum(), 0.0);
    EXPECT_EQ(p.Maximum(), 1.0);
    EXPECT_EQ(p.Step(), 1.0);
    EXPECT_EQ(p.DisplayPrecision(), 0);
    EXPECT_STREQ(p.Label(), "");
}

TEST(ParameterDefinition, LongTextsAreCutTo31Characters) {
    const std::string longText(60, 'x');
    IParameter p;
    p.DefineNumber(longText.c_str(), 0.0, 0.0, 1.0, 1.0, longText.c_str());
    p.AddValueText(0, longText.c_str());
    EXPECT_EQ(std::strlen(p.Name()), 31u);
    EXPECT_EQ(std::strlen(p.Label()), 31u);
    EXPECT_EQ(std::strlen(p.ValueTextFor(0)), 31u);

    IParameter null;
    null.DefineNumber(nullptr, 0.0, 0.0, 1.0, 1.0, nullptr);
    EXPECT_STREQ(null.Name(), "");
}

TEST(ParameterMapping, NumberMapsLinearlyWithoutQuantising) {
    IParameter p = GainParam();
    p.SetFromNormalized(0.25);
    EXPECT_EQ(p.Value(), -10.0);
    p.SetFromNormalized(0.5);
    EXPECT_EQ(p.Value(), 0.0);
    p.SetFromNormalized(0.75);
    EXPECT_EQ(p.Value(), 10.0);
    p.SetFromNormalized(0.501);
    EXPECT_NEAR(p.Value(), 0.04, 1e-12);
    EXPECT_EQ(Format(p, p.Value()), "0.0");

    EXPECT_EQ(p.ToNormalized(-20.0), 0.0);
    EXPECT_EQ(p.ToNormalized(20.0), 1.0);
    EXPECT_EQ(p.ToNormalized(-100.0), 0.0);
    EXPECT_EQ(p.ToNormalized(100.0), 1.0);
}

TEST(ParameterMapping, BothEndsAreEnforced) {
    IParameter p = GainParam();
    p.SetFromNormalized(1.3);
    EXPECT_EQ(p.Value(), 20.0);
    p.SetFromNormalized(-0.1);
    EXPECT_EQ(p.Value(), -20.0);
    p.SetFromNormalized(-1e300);
    EXPECT_EQ(p.Value(), -20.0);
}

TEST(ParameterMapping, ChoiceRoundsToNearestState) {
    IParameter p = OffOn();
    p.SetFromNormalized(0.4);
    EXPECT_EQ(p.Value(), 0.0);
    p.SetFromNormalized(0.5);
    EXPECT_EQ(p.Value(), 1.0);
    p.SetFromNormalized(0.6);
    EXPECT_EQ(p.Value(), 1.0);
}

TEST(ParameterMapping, QuantisingGridCountsFromZeroNotFromMinimum) {
    IParameter p;
    p.DefineChoice("c", 0, 4);
    p.DefineNumber("c", 0.5, 0.5, 3.5, 1.0, "");
    ASSERT_EQ(p.Kind(), Choice) << "a kind set earlier stays";
    p.SetFromNormalized(0.0);
    EXPECT_EQ(p.Value(), 1.0);
    p.SetFromNormalized(1.0);
    EXPECT_EQ(p.Value(), 3.5) << "rounded to 4, then held at the maximum";
}

TEST(ParameterMapping, SetClampedLimitsWithoutRounding) {
    IParameter p = OffOn();
    p.SetClamped(0.7);
    EXPECT_EQ(p.Value(), 0.7);
    p.SetClamped(-3.0);
    EXPECT_EQ(p.Value(), 0.0);
    p.SetClamped(std::numeric_limits<double>::infinity());
    EXPECT_EQ(p.Value(), 1.0);
}

TEST(ParameterMapping, NotANumberNeverBecomesTheValue) {
    IParameter p;
    p.DefineNumber("p", 5.0, 0.0, 10.0, 1.0, "");
    p.SetClamped(3.0);
    p.SetClamped(std::nan(""));
    EXPECT_EQ(p.Value(), 5.0) << "a damaged stored value falls back to the default";
    p.SetClamped(3.0);
    p.SetFromNormalized(std::nan(""));
    EXPECT_EQ(p.Value(), 3.0);
    EXPECT_EQ(p.ToNormalized(std::nan("")), 0.0);

    IParameter outside;
    outside.DefineNumber("o", 50.0, 0.0, 10.0, 1.0, "");
    outside.SetClamped(std::nan(""));
    EXPECT_EQ(outside.Value(), 10.0);
}

TEST(ParameterMapping, DegenerateStepDoesNotDivideByZero) {
    IParameter p;
    p.DefineChoice("c", 0, 2);
    p.DefineNumber("c", 1.0, 1.0, 1.0, 0.0, "");
    EXPECT_EQ(p.Maximum(), 1.0);
    EXPECT_EQ(p.ToNormalized(), 0.0);
    p.SetFromNormalized(0.5);
    EXPECT_EQ(p.Value(), 1.0);
}

TEST(ParameterMapping, GainFromDecibels) {
    IParameter p = GainParam();
    EXPECT_EQ(p.GainFromDecibels(), 1.0);
    p.SetClamped(20.0);
    EXPECT_NEAR(p.GainFromDecibels(), 10.0, 1e-10);
    EXPECT_EQ(p.GainFromDecibels(), std::exp(20.0 * 0.1151292546497));
    p.SetClamped(-20.0);
    EXPECT_NEAR(p.GainFromDecibels(), 0.1, 1e-11);
}

TEST(ParameterText, NumbersUseStepPrecision) {
    IParameter p = GainParam();
    EXPECT_EQ(Format(p, -10.0), "-10.0");
    EXPECT_EQ(Format(p, 0.25, true), "-10.0");
    EXPECT_EQ(Format(p, 19.96), "20.0");
}

TEST(ParameterText, PrecisionZeroTruncatesTowardZero) {
    IParameter p;
    p.DefineNumber("p", 0.0, -10.0, 10.0, 1.0, "");
    EXPECT_EQ(Format(p, 2.9), "2");
    EXPECT_EQ(Format(p, -0.7), "0");
    EXPECT_EQ(Format(p, -2.9), "-2");
}

TEST(ParameterText, ValueTextsReplaceTheNumber) {
    IParameter p = OffOn();
    EXPECT_EQ(Format(p, 1.0), "On");
    EXPECT_EQ(Format(p, 0.9), "Off") << "0.9 truncates to 0";
    EXPECT_EQ(Format(p, 1.0, false, false), "1");
    EXPECT_EQ(Format(p, 1.0, true), "On");
    EXPECT_EQ(Format(p, 5.0), "5") << "no text for 5";
}

TEST(ParameterText, OnlyTheFirstMatchingTextIsConsulted) {
    IParameter p;
    p.DefineChoice("c", 0, 3);
    p.AddValueText(1, "");
    p.AddValueText(1, "One");
    p.AddValueText(2, "Two");
    p.AddValueText(2, "Deux");
    EXPECT_EQ(Format(p, 1.0), "1");
    EXPECT_EQ(Format(p, 2.0), "Two");
    EXPECT_STREQ(p.ValueTextFor(2), "Two");
}

TEST(ParameterText, NegationAppliesToNumbersNotTexts) {
    IParameter p = GainParam();
    p.SetNegateForDisplay(true);
    EXPECT_EQ(Format(p, 3.0), "-3.0");
    IParameter c = OffOn();
    c.SetNegateForDisplay(true);
    EXPECT_EQ(Format(c, 1.0), "On");
}

TEST(ParameterText, OutputIsCutToTheBufferAndHugeValuesAreSafe) {
    IParameter p = GainParam();
    char small[4];
    p.FormatValue(-10.0, false, small, sizeof small, true);
    EXPECT_STREQ(small, "-10");

    IParameter whole;
    whole.DefineNumber("w", 0.0, 0.0, 1.0, 1.0, "");
    whole.AddValueText(0, "zero");
    EXPECT_EQ(Format(whole, 1e20), "100000000000000000000");
    EXPECT_EQ(Format(whole, -1e20), "-100000000000000000000");
    EXPECT_EQ(Format(whole, std::nan("")).find("nan") != std::string::npos, true);
    whole.FormatValue(1.0, false, nullptr, 10, true);
    whole.FormatValue(1.0, false, small, 0, true);
}

TEST(ParameterText, LookupsBetweenValuesAndTexts) {
    IParameter p = OffOn();
    EXPECT_STREQ(p.ValueTextFor(1), "On");
    EXPECT_STREQ(p.ValueTextFor(7), "");
    int out = 42;
    EXPECT_FALSE(p.ValueForText("on", &out));
    EXPECT_EQ(out, 42);
    EXPECT_TRUE(p.ValueForText("On", &out));
    EXPECT_EQ(out, 1);
    EXPECT_FALSE(p.ValueForText(nullptr, &out));
}

} // namespace
