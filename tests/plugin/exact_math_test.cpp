// musl's exp, log, pow, sin and cos, which the Windows build of the signal path calls
// (framework/exact_math.h), against glibc's, on the inputs the signal path gives them and far
// beyond. exp, log and pow are glibc's own code, built and chosen as glibc builds and chooses
// them: every bit must agree. sin and cos are another algorithm, accurate to about half an ulp
// like glibc's: they may differ by one ulp, never more.
//
// CTest runs this twice: as the processor is, and with glibc told to ignore FMA and AVX2, so that
// on a processor with FMA both builds meet glibc's.
#include <gtest/gtest.h>
// glibc's header is C: its _Bool is a keyword GCC's C++ knows and clang's does not.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "framework/exact_math.h"
#include "framework/inline_math.h"

extern "C" {
double vt4r_musl_exp(double x);
double vt4r_musl_log(double x);
double vt4r_musl_pow(double x, double y);
double vt4r_musl_fma_exp(double x);
double vt4r_musl_fma_log(double x);
double vt4r_musl_fma_pow(double x, double y);
}

namespace {

// Distance in representable doubles; NaN against NaN counts as equal.
std::uint64_t UlpsApart(double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b) ? 0 : UINT64_MAX;
    auto ordered = [](double x) {
        const std::int64_t i = std::bit_cast<std::int64_t>(x);
        return i < 0 ? std::numeric_limits<std::int64_t>::min() - i : i;
    };
    const std::int64_t i = ordered(a), j = ordered(b);
    return i > j ? std::uint64_t(i) - std::uint64_t(j) : std::uint64_t(j) - std::uint64_t(i);
}

using Rng = std::mt19937_64;
using Input = std::function<double(Rng&)>;

Input Uniform(double lo, double hi) {
    return [lo, hi](Rng& rng) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
}
// Magnitudes spread evenly over the binary exponents 2^lo .. 2^hi, both signs if asked.
Input Exponents(int lo, int hi, bool bothSigns = false) {
    return [=](Rng& rng) {
        const double m = std::uniform_real_distribution<double>(1, 2)(rng);
        const double x = std::ldexp(m, std::uniform_int_distribution<int>(lo, hi)(rng));
        return bothSigns && (rng() & 1) ? -x : x;
    };
}
// Any bit pattern: subnormals, infinities and NaNs included.
double AnyBits(Rng& rng) {
    return std::bit_cast<double>(rng());
}
Input Fixed(double v) {
    return [v](Rng&) { return v; };
}

enum Function { Exp, Log, Pow, Sin, Cos };
const char* const kNames[] = {"exp", "log", "pow", "sin", "cos"};

struct Case {
    Function function;
    const char* inputs;
    Input x, y; // y only for pow
};

#if VT4R_WIDE_MATH
__attribute__((target("avx2,fma"))) void Exp4(const double* x, double* y) {
    _mm256_store_pd(y, inline_math::Exp4(_mm256_load_pd(x)));
}
__attribute__((target("avx2,fma"))) void LogOfMagnitude4(const double* x, double* y) {
    _mm256_store_pd(y, inline_math::LogOfMagnitude4(_mm256_load_pd(x)));
}
#endif

} // namespace

TEST(ExactMath, MuslGivesGlibcsBitsForExpLogAndPowAndIsWithinOneUlpForSinAndCos) {
    // glibc's rule, which GLIBC_TUNABLES can change; Windows follows the processor's.
    const bool glibcFma = CPU_FEATURE_ACTIVE(FMA) && CPU_FEATURE_ACTIVE(AVX2);
    if (std::getenv("GLIBC_TUNABLES") == nullptr) {
        EXPECT_EQ(glibcFma, MuslMathUsesFmaBuild());
    }
    std::printf("glibc runs its %s build of exp, log and pow\n", glibcFma ? "FMA" : "generic");
    double (*const exp)(double) = glibcFma ? vt4r_musl_fma_exp : vt4r_musl_exp;
    double (*const log)(double) = glibcFma ? vt4r_musl_fma_log : vt4r_musl_log;
    double (*const pow)(double, double) = glibcFma ? vt4r_musl_fma_pow : vt4r_musl_pow;
    const double pi = 3.141592653589793;
    const Case cases[] = {
        {Exp, "gain law, -200..0 dB", Uniform(-23.03, 0), {}},
        {Exp, "time coefficients", Uniform(-1, 0), {}},
        {Exp, "whole range", Uniform(-745.2, 709.8), {}},
        {Exp, "any bits", AnyBits, {}},
        {Log, "levels 2^-1074..2^20", Exponents(-1074, 20), {}},
        {Log, "near 1", Uniform(0.93, 1.07), {}},
        {Log, "zero", Fixed(0.0), {}},
        {Log, "any bits", AnyBits, {}},
        {Pow, "10^(dB/40)", Fixed(10.0), Uniform(-1, 1)},
        {Pow, "0.01^(1/blocks)", Fixed(0.01), Uniform(0, 5)},
        {Pow, "shaped parameters", Uniform(0, 1), Uniform(0.1, 10)},
        {Pow, "wide", Exponents(-60, 60), Uniform(-20, 20)},
        {Pow, "any bits", AnyBits, AnyBits},
        {Sin, "0..pi", Uniform(0, pi), {}},
        {Sin, "-100..100", Uniform(-100, 100), {}},
        {Sin, "2^-30..2^1023", Exponents(-30, 1023, true), {}},
        {Cos, "0..pi", Uniform(0, pi), {}},
        {Cos, "-100..100", Uniform(-100, 100), {}},
        {Cos, "2^-30..2^1023", Exponents(-30, 1023, true), {}},
    };
    constexpr int kPerCase = 250000;
    Rng rng(2024);
    long total = 0, identical = 0;
    for (const Case& c : cases) {
        long same = 0;
        std::uint64_t worst = 0;
        double worstX = 0, worstY = 0;
        for (int i = 0; i < kPerCase; ++i) {
            const double x = c.x(rng), y = c.y ? c.y(rng) : 0.0;
            double ours = 0, theirs = 0;
            switch (c.function) {
            case Exp:
                ours = exp(x), theirs = std::exp(x);
                break;
            case Log:
                ours = log(x), theirs = std::log(x);
                break;
            case Pow:
                ours = pow(x, y), theirs = std::pow(x, y);
                break;
            case Sin:
                ours = MuslSin(x), theirs = std::sin(x);
                break;
            case Cos:
                ours = MuslCos(x), theirs = std::cos(x);
                break;
            }
            same += std::bit_cast<std::uint64_t>(ours) == std::bit_cast<std::uint64_t>(theirs);
            const std::uint64_t d = UlpsApart(ours, theirs);
            if (d > worst)
                worst = d, worstX = x, worstY = y;
        }
        total += kPerCase, identical += same;
        std::printf("%s %-22s %7.3f %% identical, worst %llu ulp at %a %a\n", kNames[c.function], c.inputs,
                    100.0 * same / kPerCase, static_cast<unsigned long long>(worst), worstX, worstY);
        if (c.function == Sin || c.function == Cos) {
            EXPECT_LE(worst, 1u) << kNames[c.function] << " " << c.inputs << " at " << worstX << " "
                                 << worstY;
        } else {
            EXPECT_EQ(kPerCase, same)
                << kNames[c.function] << " " << c.inputs << " at " << worstX << " " << worstY;
        }
    }
    std::printf("all %ld inputs: %.3f %% identical\n", total, 100.0 * identical / total);
}

// The inline exp and log of the signal path's loops against the library, on the same kinds of
// inputs, and the choice between the ways of computing them: the build glibc runs, whatever
// GLIBC_TUNABLES says.
TEST(ExactMath, InlineExpAndLogGiveTheLibrarysBitsAndTheKernelFollowsGlibc) {
    const bool glibcFma = CPU_FEATURE_ACTIVE(FMA) && CPU_FEATURE_ACTIVE(AVX2);
    EXPECT_EQ(glibcFma ? MathKernel::Fma : MathKernel::Plain, ChooseMathKernel());
    double (*const log)(double) = glibcFma ? inline_math::Log<true> : inline_math::Log<false>;
    double (*const exp)(double) = glibcFma ? inline_math::Exp<true> : inline_math::Exp<false>;
    const Case cases[] = {
        {Exp, "gain law, -200..0 dB", Uniform(-23.03, 0), {}},
        {Exp, "whole range", Uniform(-745.2, 709.8), {}},
        {Exp, "tiny", Exponents(-70, -40, true), {}},
        {Exp, "any bits", AnyBits, {}},
        {Log, "levels 2^-1074..2^20", Exponents(-1074, 20), {}},
        {Log, "gains 0..1", Uniform(0, 1), {}},
        {Log, "near 1", Uniform(0.93, 1.07), {}},
        {Log, "zero", Fixed(0.0), {}},
        {Log, "any bits", AnyBits, {}},
    };
    constexpr int kPerCase = 400000;
    Rng rng(77);
    for (const Case& c : cases) {
        for (int i = 0; i < kPerCase; ++i) {
            const double x = c.x(rng);
            const double ours = c.function == Exp ? exp(x) : log(x);
            const double theirs = c.function == Exp ? std::exp(x) : std::log(x);
            ASSERT_EQ(0u, UlpsApart(ours, theirs)) << kNames[c.function] << " " << c.inputs << " at " << x;
        }
    }
#if VT4R_WIDE_MATH
    // Four at a time, where the FMA kernel runs: groups of one kind of input, and groups that
    // mix in a rare one (near 1, tiny, huge, NaN), which take the other way for all four.
    if (!glibcFma) return;
    for (const Case& c : cases) {
        for (int i = 0; i < kPerCase / 4; ++i) {
            alignas(32) double x[4], y[4];
            for (double& v : x) v = c.x(rng);
            if (i % 8 == 0) x[rng() % 4] = cases[rng() % std::size(cases)].x(rng);
            if (c.function == Exp)
                Exp4(x, y);
            else
                LogOfMagnitude4(x, y);
            for (int k = 0; k < 4; ++k) {
                const double theirs = c.function == Exp ? std::exp(x[k]) : std::log(std::fabs(x[k]));
                ASSERT_EQ(0u, UlpsApart(y[k], theirs)) << kNames[c.function] << " four at a time, " << c.inputs
                                                        << " at " << x[k];
            }
        }
    }
#endif
}
