#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "plugin_test_support.h"
#include "reference_model.h"

TEST(VT4RPlugin, DeclaresThreeParametersWithTheirDefaultsAndTheDefaultPreset) {
    PluginRig rig;
    VT4R& p = *rig.plugin;
    EXPECT_EQ(p.ParamCount(), 3);
    EXPECT_EQ(p.Param(kMeterParamIdx), nullptr);
    EXPECT_EQ(p.LatencySamples(), 0);
    EXPECT_EQ(p.Version(), 0x10102);
    EXPECT_EQ(p.UniqueId(), 0x56543452);  // "VT4R"
    EXPECT_EQ(p.MakerId(), 0x4D72536C);   // "MrSl"
    EXPECT_STREQ(p.EffectName(), "VT4R");
    EXPECT_STREQ(p.MakerName(), "Marsolind");
    EXPECT_EQ(p.HostId(), 23);
    char text[64];
    for (int i : {kInputParam, kOutputParam}) {
        const IParameter* param = p.Param(i);
        EXPECT_EQ(param->Kind(), Number);
        EXPECT_EQ(param->Minimum(), -20.0);
        EXPECT_EQ(param->Maximum(), 20.0);
        param->FormatValue(param->Value(), false, text, sizeof text, true);
        EXPECT_STREQ(text, "0.0");
        EXPECT_STREQ(param->Label(), "dB");
    }
    EXPECT_STREQ(p.Param(0)->Name(), "Input");
    EXPECT_STREQ(p.Param(1)->Name(), "Output");
    const IParameter* relaxed = p.Param(kRelaxedModeParam);
    EXPECT_STREQ(relaxed->Name(), "Relaxed Mode");
    relaxed->FormatValue(relaxed->Value(), false, text, sizeof text, true);
    EXPECT_STREQ(text, "Off");
    ASSERT_EQ(p.PresetCount(), 1);
    EXPECT_TRUE(p.PresetSlot(0)->initialised);
    EXPECT_STREQ(p.PresetSlot(0)->name, "-");
    ASSERT_EQ(p.PresetSlot(0)->chunk.Size(), 24);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(p.PresetSlot(0)->chunk.Bytes()[i], 0);
}

TEST(VT4RPlugin, GainsMoveNinetyPercentPerBlockAndTheModeSwitchesAtOnce) {
    PluginRig rig(64);
    for (int i = 0; i < 40; ++i) rig.Run();
    EXPECT_NEAR(rig.plugin->SmoothedInputGain(), 1.0, 1e-15);
    rig.plugin->SetParameterFromGUI(kInputParam, 1.0);  // +20 dB
    rig.plugin->SetParameterFromGUI(kRelaxedModeParam, 1.0);
    EXPECT_EQ(rig.plugin->DriveFactor(), 1.0);  // nothing changes before the next block
    rig.Run();
    EXPECT_NEAR(rig.plugin->SmoothedInputGain(), 9.1, 1e-12);
    EXPECT_EQ(rig.plugin->DriveFactor(), 0.0630957344480228);
    EXPECT_EQ(rig.plugin->HissLevel(), 1.122018454304524e-50);
    rig.Run();
    EXPECT_NEAR(rig.plugin->SmoothedInputGain(), 9.91, 1e-12);
    EXPECT_NEAR(rig.plugin->SmoothedOutputGain(), 1.0, 1e-15);
}

TEST(VT4RPlugin, BlockTimingFollowsRateAndBlockSize) {
    PluginRig rig(512);
    rig.Run();
    EXPECT_EQ(rig.plugin->StoredSampleRate(), 44100u);
    EXPECT_EQ(rig.plugin->BlocksPerSecond(), 86u);
    EXPECT_EQ(rig.plugin->Meter().rise, 0.7651048064273167);
    EXPECT_EQ(rig.plugin->Meter().fall, 0.9563572511050414);
    rig.plugin->SetSampleRateHz(48000.7);
    rig.plugin->SetBlockFrames(100000);  // more frames than samples per second
    rig.Run(0);
    EXPECT_EQ(rig.plugin->StoredSampleRate(), 48000u);
    EXPECT_EQ(rig.plugin->BlocksPerSecond(), 0u);
    EXPECT_EQ(rig.plugin->Meter().rise, 0.0);  // the needle jumps
}

TEST(VT4RPlugin, IdenticalChannelsGiveIdenticalOutputs) {
    PluginRig rig(256);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int b = 0; b < 50; ++b) {
        for (auto& x : rig.inL) x = u(rng);
        rig.inR = rig.inL;
        rig.Run();
        ASSERT_EQ(0, std::memcmp(rig.outL.data(), rig.outR.data(), rig.outL.size() * sizeof(double)));
    }
}

TEST(VT4RPlugin, MonoLeavesTheRightOutputAsTheCallerProvidedIt) {
    PluginRig rig(128);
    rig.plugin->SetOutputConnections(1, 1, false);
    rig.Sine(0.5, 1000, 0);
    for (auto& x : rig.outR) x = 123.0;
    rig.Run();
    for (double x : rig.outR) ASSERT_EQ(x, 123.0);
    EXPECT_NE(rig.outL[100], 0.0);
}

TEST(VT4RPlugin, EmptyBlocksStillMoveTheNeedle) {
    PluginRig rig(512);
    for (int i = 0; i < 3; ++i) rig.Run();
    const double before = rig.plugin->Meter().needle;
    rig.Run(0);
    const double after = rig.plugin->Meter().needle;
    EXPECT_NE(before, after);
    const MeterBallistics& m = rig.plugin->Meter();
    const double s = m.smoothed;
    EXPECT_EQ(after, s > before ? s + (before - s) * m.rise : s + (before - s) * m.fall);
    rig.Run(-5);  // negative counts process nothing but also step the needle
    EXPECT_NE(rig.plugin->Meter().needle, after);
}

TEST(VT4RPlugin, FadesInAfterConstructionAndTheNeedleSwingsOnce) {
    for (bool relaxed : {false, true}) {
        PluginRig rig(512);
        if (relaxed) rig.plugin->SetParameterFromGUI(kRelaxedModeParam, 1.0);
        double peakNeedle = 0;
        int peakBlock = 0;
        double firstGain = -1, gainAfter6 = 0;
        for (int b = 1; b <= 41; ++b) {
            rig.Run();
            if (b == 1) firstGain = rig.outL[0];  // hiss only: checked via the gain below
            if (b == 6) gainAfter6 = rig.plugin->Compressor().gainState();
            if (rig.plugin->NeedlePosition() > peakNeedle) peakNeedle = rig.plugin->NeedlePosition(), peakBlock = b;
        }
        const double gain41 = rig.plugin->Compressor().gainState();
        if (!relaxed) {
            EXPECT_NEAR(gainAfter6, 0.54, 0.01);
            EXPECT_NEAR(gain41, 0.9999, 0.0001);
            EXPECT_NEAR(peakNeedle, 0.37, 0.01);
            EXPECT_NEAR(peakBlock, 8, 1);
        } else {
            EXPECT_NEAR(gain41, 0.84, 0.01);
            EXPECT_NEAR(peakNeedle, 0.88, 0.01);
            EXPECT_NEAR(peakBlock, 11, 1);
        }
        (void)firstGain;
    }
    // The very first gain is tiny: the core starts from 0.
    PluginRig rig(1);
    rig.Run();
    EXPECT_NEAR(rig.plugin->Compressor().gainState(), 3.5e-7, 0.05e-7);
}

TEST(VT4RPlugin, SteadyStateOnALoudSine) {
    for (bool relaxed : {false, true}) {
        PluginRig rig(512);
        if (relaxed) rig.plugin->SetParameterFromGUI(kRelaxedModeParam, 1.0);
        double peak = 0;
        for (int b = 0; b < 400; ++b) {
            rig.Sine(0.5, 1000, long(b) * 512);
            rig.Run();
            if (b >= 380)
                for (double x : rig.outL) peak = std::max(peak, std::fabs(x));
        }
        const double gainDb = 20 * std::log10(rig.plugin->Compressor().gainState());
        EXPECT_NEAR(peak, relaxed ? 0.197 : 0.200, 0.0015);
        EXPECT_NEAR(gainDb, relaxed ? -8.09 : -7.93, 0.05);
        EXPECT_NEAR(rig.plugin->NeedlePosition(), 0.40, 0.01);
    }
}

TEST(VT4RPlugin, HissSitsAt110DecibelsBelowFullScaleWithRelaxedModeOff) {
    PluginRig rig(512);
    for (int b = 0; b < 100; ++b) rig.Run();
    double sum = 0;
    for (int b = 0; b < 20; ++b) {
        rig.Run();
        for (double x : rig.outL) sum += x * x;
    }
    const double rmsDb = 10 * std::log10(sum / (20 * 512));
    EXPECT_GT(rmsDb, -125);
    EXPECT_LT(rmsDb, -110);
    rig.plugin->SetParameterFromGUI(kRelaxedModeParam, 1.0);
    rig.Run();
    for (double x : rig.outL) EXPECT_LT(std::fabs(x), 1e-40);
}

TEST(VT4RPlugin, MatchesThePlainModelBitForBitOnArbitraryAudio) {
    struct Case {
        unsigned seed;
        double rate;
        int block;
        bool monoSpells;  // now and then only the left output connected
    };
    for (Case c : {Case{1, 44100, 512, false}, Case{2, 48000, 32, true}, Case{3, 96000, 1, false},
                   Case{4, 22050, 4096, false}, Case{5, 44100.5, 300, true}}) {
        PluginRig rig(c.block, c.rate);
        ref::Plugin model;
        std::mt19937 rng(c.seed);
        std::uniform_real_distribution<double> u(-1, 1);
        std::vector<double> mL(c.block), mR(c.block);
        const int blocks = std::max(40, 60000 / c.block);
        for (int b = 0; b < blocks; ++b) {
            // Every 30th block changes the parameters; every 7th is shorter.
            if (b % 30 == 0) {
                rig.plugin->Param(0)->SetClamped(std::round(u(rng) * 200) / 10);
                rig.plugin->Param(1)->SetClamped(u(rng) * 20);
                rig.plugin->Param(2)->SetClamped(u(rng) > 0 ? 1.0 : 0.0);
            }
            // Device changes: the rate moves now and then and must take effect at once.
            const double rate = (b / 40) % 3 == 2 ? 48000.0 : c.rate;
            rig.plugin->SetSampleRateHz(rate);
            const int frames = b % 7 == 3 ? c.block / 2 : c.block;
            const double level = b % 50 < 25 ? 1.0 : 0.01;  // loud and quiet stretches
            for (int i = 0; i < frames; ++i) rig.inL[i] = level * u(rng), rig.inR[i] = level * u(rng);
            // After a mono spell the two channels' hiss no longer run alike.
            const bool mono = c.monoSpells && (b / 20) % 4 == 1;
            rig.plugin->SetOutputConnections(1, 1, !mono);
            rig.Run(frames);
            const double needle =
                model.Process(rig.inL.data(), rig.inR.data(), mL.data(), mR.data(), frames,
                              rig.plugin->Param(0)->Value(), rig.plugin->Param(1)->Value(),
                              rig.plugin->Param(2)->Value(), rate, c.block, mono);
            ASSERT_EQ(0, std::memcmp(mL.data(), rig.outL.data(), frames * sizeof(double))) << "block " << b;
            if (!mono) {
                ASSERT_EQ(0, std::memcmp(mR.data(), rig.outR.data(), frames * sizeof(double))) << "block " << b;
            }
            ASSERT_EQ(needle, rig.plugin->NeedlePosition()) << "block " << b;
        }
    }
}

TEST(VT4RPlugin, RecoversWithinOneBlockFromNonFiniteInput) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e300};
    for (double poison : bad) {
        PluginRig rig(256);
        long t = 0;
        for (int b = 0; b < 200; ++b, t += 256) rig.Sine(0.5, 1000, t), rig.Run();
        rig.Sine(0.5, 1000, t), t += 256;
        rig.inL[17] = poison;
        rig.Run();
        for (double x : rig.outL) ASSERT_TRUE(std::isfinite(x)) << poison;
        for (double x : rig.outR) ASSERT_TRUE(std::isfinite(x)) << poison;
        EXPECT_TRUE(std::isfinite(rig.plugin->NeedlePosition()));
        // The next block is finite and not silent, and the compressor still
        // brings the loud sine down to where it settled before.
        rig.Sine(0.5, 1000, t), t += 256;
        rig.Run();
        double peak = 0;
        for (double x : rig.outL) {
            ASSERT_TRUE(std::isfinite(x));
            peak = std::max(peak, std::fabs(x));
        }
        EXPECT_GT(peak, 0.1);
        for (int b = 0; b < 200; ++b, t += 256) rig.Sine(0.5, 1000, t), rig.Run();
        EXPECT_NEAR(20 * std::log10(rig.plugin->Compressor().gainState()), -7.93, 0.1) << poison;
        EXPECT_NEAR(rig.plugin->NeedlePosition(), 0.40, 0.02);
    }
}
