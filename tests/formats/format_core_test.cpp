// The core every plug-in format stands on: parameters and their texts as hosts see them,
// the state block, and activation, driven the way a host drives a wrapper.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "formats/common/wrapper_core.h"

using namespace vt4r_formats;

TEST(FormatCore, EveryParameterTextRoundTripsAndNonsenseIsRefused) {
    WrapperCore core("test");
    const IEffectBase& plugin = core.Plugin();
    for (std::int32_t index = 0; index < kHostParamCount; ++index) {
        HostParameterInfo info;
        ASSERT_TRUE(DescribeParameter(plugin, index, info));
        const int positions = info.stepCount > 0 ? info.stepCount + 1 : 41;
        for (int k = 0; k < positions; ++k) {
            const double value = info.minimum + (info.maximum - info.minimum) * k / (positions - 1);
            char text[64];
            ASSERT_TRUE(FormatParameter(plugin, index, value, text, sizeof text));
            double parsed = std::numeric_limits<double>::quiet_NaN();
            ASSERT_TRUE(ParseParameter(plugin, index, text, &parsed)) << info.name << " '" << text << "'";
            EXPECT_NEAR(parsed, value, 0.05) << info.name << " '" << text << "'";
            EXPECT_NEAR(PlainFromNormalized(plugin, index, NormalizedFromPlain(plugin, index, value)), value, 1e-12);
        }
        double untouched = 42.0;
        for (const char* bad : {"", "   ", "abc", "nan", "inf", "1e999", "--3", "3 dBx", "3 3", "On Off"})
            EXPECT_FALSE(ParseParameter(plugin, index, bad, &untouched)) << info.name << " took '" << bad << "'";
        EXPECT_EQ(untouched, 42.0);
    }
    double value = 0.0;
    EXPECT_TRUE(ParseParameter(plugin, kInputParam, " -3.5 db ", &value));
    EXPECT_EQ(value, -3.5);
    EXPECT_TRUE(ParseParameter(plugin, kInputParam, "99", &value));
    EXPECT_EQ(value, 20.0) << "limited to the range";
    EXPECT_TRUE(ParseParameter(plugin, kRelaxedModeParam, "on", &value));
    EXPECT_EQ(value, 1.0);
    EXPECT_TRUE(ParseParameter(plugin, kBypassParam, "0", &value));
    EXPECT_EQ(value, 0.0);
    HostParameterInfo none;
    EXPECT_FALSE(DescribeParameter(plugin, kHostParamCount, none));
    EXPECT_FALSE(DescribeParameter(plugin, -1, none));
}

TEST(FormatCore, TheStateIsTheHostsViewAndOnlyAWholeBlockLoads) {
    WrapperCore core("test");
    ASSERT_TRUE(core.Activate(48000, 256));
    // Set by the host and not yet processed: a save still stores it.
    core.SetValue(kInputParam, 12.0);
    core.SetValue(kRelaxedModeParam, 0.7);
    core.SetValue(kBypassParam, 1.0);
    std::vector<std::uint8_t> saved;
    ASSERT_TRUE(core.SaveState(saved));
    ASSERT_EQ(saved.size(), WrapperCore::kStateSize);
    double values[kNumParams];
    std::memcpy(values, saved.data(), sizeof values);
    EXPECT_EQ(values[kInputParam], 12.0);
    EXPECT_EQ(values[kRelaxedModeParam], 1.0) << "a switch takes the nearest position";

    WrapperCore other("test");
    const std::uint32_t loads = other.ForeignChanges();
    other.SetValue(kOutputParam, -7.0); // pending, then overridden by the load
    std::vector<std::uint8_t> bad = saved;
    for (std::size_t size : {std::size_t{0}, std::size_t{7}, saved.size() - 1, saved.size() + 1}) {
        bad.assign(size, 0x7F);
        EXPECT_FALSE(other.LoadState(bad.data(), bad.size())) << size;
    }
    EXPECT_FALSE(other.LoadState(nullptr, saved.size()));
    EXPECT_EQ(other.ForeignChanges(), loads) << "refused loads change nothing";
    EXPECT_EQ(other.Value(kOutputParam), -7.0);

    ASSERT_TRUE(other.LoadState(saved.data(), saved.size()));
    EXPECT_NE(other.ForeignChanges(), loads);
    for (std::int32_t i = 0; i < kNumParams; ++i) {
        EXPECT_EQ(other.Value(i), values[i]);
        EXPECT_EQ(other.Plugin().Param(i)->Value(), values[i]);
    }
    EXPECT_FALSE(other.Bypassed()) << "bypass is the wrapper's, not stored";
    // A switch stored between its steps takes the nearest, in the plug-in as in the host's view.
    values[kRelaxedModeParam] = 0.75;
    bad.resize(sizeof values);
    std::memcpy(bad.data(), values, sizeof values);
    ASSERT_TRUE(other.LoadState(bad.data(), bad.size()));
    EXPECT_EQ(other.Value(kRelaxedModeParam), 1.0);
    EXPECT_EQ(other.Plugin().Param(kRelaxedModeParam)->Value(), 1.0);
    other.ApplyPending();
    EXPECT_EQ(other.Plugin().Param(kOutputParam)->Value(), 0.0) << "the load overrode the pending value";
}

// Activated again at another rate, the core sounds as a new instance at that rate with the
// same parameters; while bypassed the needle rests.
TEST(FormatCore, ReactivationStartsAfreshAtTheNewRate) {
    auto render = [](WrapperCore& core, std::vector<float>& out) {
        std::vector<float> in(512);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<float>(0.8 * std::sin(0.05 * static_cast<double>(i)));
        out.assign(512, 0.0f);
        const float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out.data(), out.data()};
        for (int block = 0; block < 40; ++block)
            core.Process(ins, outs, 512);
    };
    WrapperCore reused("test");
    ASSERT_TRUE(reused.Activate(44100, 512));
    reused.SetValue(kInputParam, 9.0);
    std::vector<float> first, again, fresh;
    render(reused, first);
    EXPECT_GT(reused.Needle(), 0.0);
    reused.SetValue(kBypassParam, 1.0);
    EXPECT_EQ(reused.Needle(), 0.0);
    EXPECT_EQ(reused.GainReductionDb(), 0.0);
    reused.SetValue(kBypassParam, 0.0);
    ASSERT_TRUE(reused.Activate(96000, 512));
    render(reused, again);

    WrapperCore created("test");
    created.SetValue(kInputParam, 9.0);
    ASSERT_TRUE(created.Activate(96000, 512));
    render(created, fresh);
    EXPECT_EQ(again, fresh);
    EXPECT_NE(first, again);
    EXPECT_FALSE(created.Activate(0.0, 512));
    EXPECT_FALSE(created.Activate(std::numeric_limits<double>::quiet_NaN(), 512));
    EXPECT_FALSE(created.Activate(48000, 0));
}
