// The plug-in's output must not depend on the x87 precision-control word: 64-bit Windows starts
// processes at 53-bit precision, Wine and Linux at 64-bit, and a C library with x87 exp or log
// would give other last bits under each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "plugin/params.h"
#include "plugin_test_support.h"

#if defined(__x86_64__) || defined(__i386__)
namespace {

std::uint16_t ControlWord() {
    std::uint16_t cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void SetControlWord(std::uint16_t cw) {
    asm volatile("fldcw %0" : : "m"(cw));
}

constexpr std::uint16_t k53Bit = 0x027F; // what 64-bit Windows processes start with
constexpr std::uint16_t k64Bit = 0x037F; // Wine's and Linux's

struct Session {
    double rate;
    int block;
    std::vector<double> inL, inR; // the input, made before any control word is set
    std::vector<double> knobs;    // three normalised values for every 25th block
};

// Audio that reaches every libm call of the signal path: construction, rate changes (filter
// design), odd block sizes (meter ballistics), parameters set from normalised values, both modes,
// loud and quiet stretches and silence.
std::vector<Session> Material() {
    std::vector<Session> sessions;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (auto [rate, block] :
         {std::pair{44100.0, 512}, {48000.0, 61}, {96000.0, 1024}, {44100.5, 300}, {22050.0, 7}}) {
        Session r{rate, block, {}, {}, {}};
        const int blocks = 40000 / block + 20;
        for (int b = 0; b < blocks; ++b) {
            if (b % 25 == 0)
                r.knobs.insert(r.knobs.end(),
                               {0.5 + 0.5 * u(rng), 0.5 + 0.5 * u(rng), u(rng) > 0 ? 1.0 : 0.0});
            const double level = b % 40 < 20 ? 1.0 : (b % 40 < 30 ? 0.02 : 0.0);
            for (int i = 0; i < block; ++i) {
                const double tone = 0.7 * std::sin(6.283185307179586 * 997 * double(b * block + i) / rate);
                r.inL.push_back(level * (tone + 0.3 * u(rng)));
                r.inR.push_back(level * (tone + 0.3 * u(rng)));
            }
        }
        sessions.push_back(std::move(r));
    }
    return sessions;
}

// The bytes of every output sample and needle position.
std::vector<unsigned char> Render(const std::vector<Session>& sessions) {
    std::vector<unsigned char> bytes;
    auto keep = [&bytes](const void* p, std::size_t n) {
        bytes.insert(bytes.end(), static_cast<const unsigned char*>(p),
                     static_cast<const unsigned char*>(p) + n);
    };
    for (const Session& r : sessions) {
        PluginRig rig(r.block, r.rate);
        const std::size_t blocks = r.inL.size() / r.block;
        for (std::size_t b = 0; b < blocks; ++b) {
            if (b % 25 == 0) {
                const double* k = &r.knobs[b / 25 * 3];
                rig.plugin->SetParameterFromGUI(kInputParam, k[0]);
                rig.plugin->SetParameterFromGUI(kOutputParam, k[1]);
                rig.plugin->SetParameterFromGUI(kRelaxedModeParam, k[2]);
            }
            if (b % 60 == 30)
                rig.plugin->SetSampleRateHz(r.rate * 2);
            if (b % 60 == 45)
                rig.plugin->SetSampleRateHz(r.rate);
            std::copy_n(&r.inL[b * r.block], r.block, rig.inL.begin());
            std::copy_n(&r.inR[b * r.block], r.block, rig.inR.begin());
            rig.Run();
            keep(rig.outL.data(), rig.outL.size() * sizeof(double));
            keep(rig.outR.data(), rig.outR.size() * sizeof(double));
            const double needle = rig.plugin->NeedlePosition();
            keep(&needle, sizeof needle);
        }
    }
    return bytes;
}

} // namespace

TEST(ControlWord, PluginOutputIsTheSameUnder53And64BitPrecision) {
    const std::vector<Session> sessions = Material();
    struct Restore {
        std::uint16_t saved = ControlWord();
        ~Restore() { SetControlWord(saved); }
    } restore;
    std::vector<unsigned char> out[2];
    const std::uint16_t words[2] = {k53Bit, k64Bit};
    for (int k = 0; k < 2; ++k) {
        SetControlWord(words[k]);
        ASSERT_EQ(words[k], ControlWord());
        // The precision control is really in force: 1 + 2^-60 survives only in 64-bit precision.
        volatile long double tiny = 0x1p-60L;
        volatile long double sum = 1.0L + tiny;
        EXPECT_EQ(k == 1, sum != 1.0L) << std::hex << words[k];
        out[k] = Render(sessions);
        ASSERT_EQ(words[k], ControlWord()) << "the plug-in changed the control word";
    }
    ASSERT_EQ(out[0].size(), out[1].size());
    std::size_t firstDifference = 0;
    while (firstDifference < out[0].size() && out[0][firstDifference] == out[1][firstDifference])
        ++firstDifference;
    EXPECT_EQ(out[0].size(), firstDifference)
        << "the outputs differ from byte " << firstDifference << " of " << out[0].size();
}
#endif
