#pragma once
// exp and log as inline code that gives exactly the bits of ExactExp and ExactLog, for loops that
// cannot afford a call per sample: a call makes the compiler save every vector register, which
// breaks the overlap of independent recurrences that the signal path depends on.
//
// glibc (and musl, cmake/ExactMath.cmake) run one of two builds of the same code: one plain, one
// compiled with -mfma -mavx2, where GCC contracted multiply-adds into fused ones and log takes
// another path. kFma picks which one to reproduce: the fused operations below stand exactly where
// GCC 12 put them in that build. Whether a given process agrees is checked at run time
// (InlineMath::Matches, ChooseMathKernel); the rare inputs (zero, subnormals, infinities, NaN, exp's tiny and huge
// arguments) go to the library itself.
//
// The tables are musl's (the same numbers as glibc's), so this needs VT4R_MUSL_SOURCE_DIR.
#include <bit>
#include <cmath>
#include <cstdint>

#include "framework/exact_math.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if VT4R_INLINE_MATH
extern "C" {
struct Vt4rMuslLogData {
    double ln2hi, ln2lo;
    double poly[5];
    double poly1[11];
    struct {
        double invc, logc;
    } tab[128];
    struct {
        double chi, clo;
    } tab2[128];
};
struct Vt4rMuslExpData {
    double invln2N, shift, negln2hiN, negln2loN;
    double poly[4];
    double exp2Shift, exp2Poly[5];
    std::uint64_t tab[256];
};
// The plain build's tables; the build with FMA uses the same numbers and leaves out tab2.
extern const Vt4rMuslLogData vt4r_musl_log_data;
extern const Vt4rMuslExpData vt4r_musl_exp_data;
}

namespace inline_math {

// a * b + c, rounded once where the library's build rounded once, twice where it did not.
template <bool kFma>
[[gnu::always_inline]] inline double MulAdd(double a, double b, double c) {
    if constexpr (kFma)
        return std::fma(a, b, c);
    else
        return a * b + c;
}

template <bool kFma>
[[gnu::always_inline]] inline double Log(double x) {
    const Vt4rMuslLogData& d = vt4r_musl_log_data;
    const std::uint64_t ix = std::bit_cast<std::uint64_t>(x);
    const std::uint32_t top = static_cast<std::uint32_t>(ix >> 48);
    constexpr std::uint64_t kLo = 0x3FEE000000000000ULL;  // 1 - 2^-4
    constexpr std::uint64_t kHi = 0x3FF1090000000000ULL;  // 1 + 0x1.09p-4
    if (ix - kLo < kHi - kLo) [[unlikely]] {
        // Close to 1: a longer polynomial in r = x - 1, with r split for the leading terms.
        if (ix == 0x3FF0000000000000ULL) return 0;
        const double* B = d.poly1;
        const double r = x - 1.0;
        const double r2 = r * r;
        const double r3 = r * r2;
        double y;
        double rhi;
        double hi, lo;
        if constexpr (kFma) {
            const double p789 = std::fma(r3, B[10], std::fma(r2, B[9], std::fma(r, B[8], B[7])));
            const double p456 = std::fma(r2, B[6], std::fma(r, B[5], B[4]));
            const double p123 = std::fma(r2, B[3], std::fma(r, B[2], B[1]));
            y = std::fma(std::fma(p789, r3, p456), r3, p123);
            rhi = std::fma(-0x1p27, r, std::fma(r, 0x1p27, r));
            const double rhi2 = rhi * rhi;
            hi = std::fma(rhi2, B[0], r);
            lo = std::fma(rhi2, B[0], r - hi);
            lo = std::fma(B[0] * (r - rhi), rhi + r, lo);
            y = std::fma(y, r3, lo);
        } else {
            y = r3 * (B[1] + r * B[2] + r2 * B[3] + r3 * (B[4] + r * B[5] + r2 * B[6] +
                                                          r3 * (B[7] + r * B[8] + r2 * B[9] + r3 * B[10])));
            const double w = r * 0x1p27;
            rhi = r + w - w;
            const double rlo = r - rhi;
            const double w2 = rhi * rhi * B[0];
            hi = r + w2;
            lo = r - hi + w2;
            lo += B[0] * rlo * (rhi + r);
            y += lo;
        }
        return y + hi;
    }
    if (top - 0x0010 >= 0x7FF0 - 0x0010) [[unlikely]]
        return ExactLog(x);  // zero, subnormal, negative, infinite or NaN

    // x = 2^k z with z in [0x1.6p-1, 0x1.6p0); c is near the middle of z's subinterval i.
    const std::uint64_t tmp = ix - 0x3FE6000000000000ULL;
    const int i = static_cast<int>((tmp >> 45) % 128);
    const int k = static_cast<int>(static_cast<std::int64_t>(tmp) >> 52);
    const double z = std::bit_cast<double>(ix - (tmp & 0xFFFULL << 52));
    const double invc = d.tab[i].invc;
    const double logc = d.tab[i].logc;
    const double kd = static_cast<double>(k);
    const double* A = d.poly;
    double r;
    if constexpr (kFma)
        r = std::fma(z, invc, -1.0);
    else
        r = (z - d.tab2[i].chi - d.tab2[i].clo) * invc;
    const double w = MulAdd<kFma>(kd, d.ln2hi, logc);
    const double hi = w + r;
    const double lo = MulAdd<kFma>(kd, d.ln2lo, w - hi + r);
    const double r2 = r * r;
    const double p = MulAdd<kFma>(r2, MulAdd<kFma>(r, A[4], A[3]), MulAdd<kFma>(r, A[2], A[1]));
    return MulAdd<kFma>(r * r2, p, MulAdd<kFma>(r2, A[0], lo)) + hi;
}

template <bool kFma>
[[gnu::always_inline]] inline double Exp(double x) {
    const Vt4rMuslExpData& d = vt4r_musl_exp_data;
    const std::uint32_t abstop = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 52) & 0x7FF;
    // |x| below 2^-54 or at least 512, infinities and NaN.
    if (abstop - 969 >= 63) [[unlikely]]
        return ExactExp(x);
    // exp(x) = 2^(k/128) exp(r), |r| <= ln2/256.
    double kd = MulAdd<kFma>(x, d.invln2N, d.shift);
    const std::uint64_t ki = std::bit_cast<std::uint64_t>(kd);
    kd -= d.shift;
    const double r = MulAdd<kFma>(kd, d.negln2loN, MulAdd<kFma>(kd, d.negln2hiN, x));
    const std::uint64_t idx = 2 * (ki % 128);
    const double tail = std::bit_cast<double>(d.tab[idx]);
    const double scale = std::bit_cast<double>(d.tab[idx + 1] + (ki << 45));
    const double* C = d.poly;
    const double r2 = r * r;
    const double tmp =
        MulAdd<kFma>(r2 * r2, MulAdd<kFma>(r, C[3], C[2]), MulAdd<kFma>(r2, MulAdd<kFma>(r, C[1], C[0]), tail + r));
    return MulAdd<kFma>(scale, tmp, scale);
}

#if defined(__x86_64__) && !defined(_WIN32)
// Four at a time in one AVX2 register, for batches of independent evaluations: lane by lane the
// very operations of Log<true> and Exp<true>, so the same bits. A group with a rare input takes
// the one-at-a-time code for all four. Only for code built for AVX2 and FMA (Windows is left out:
// its compilers do not align the stack for AVX spills).
#define VT4R_WIDE_MATH 1

// The pairs of doubles at table[index[k]] (index counting pairs), as the
// first and the second of each. Four loads of a pair each: gathers are slow
// on some processors and no faster on others.
[[gnu::always_inline]] __attribute__((target("avx2,fma"))) inline void LoadPairs4(const double* table, __m256i index,
                                                                                  __m256d& first, __m256d& second) {
    alignas(32) std::uint64_t i[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(i), index);
    const __m256d a = _mm256_set_m128d(_mm_loadu_pd(table + 2 * i[2]), _mm_loadu_pd(table + 2 * i[0]));
    const __m256d b = _mm256_set_m128d(_mm_loadu_pd(table + 2 * i[3]), _mm_loadu_pd(table + 2 * i[1]));
    first = _mm256_unpacklo_pd(a, b);
    second = _mm256_unpackhi_pd(a, b);
}

// log(|x|) in each lane.
[[gnu::always_inline]] __attribute__((target("avx2,fma"))) inline __m256d LogOfMagnitude4(__m256d x) {
    const Vt4rMuslLogData& d = vt4r_musl_log_data;
    const __m256i ix = _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    // Near 1, or zero, subnormal, infinite or NaN (as signed numbers, since the sign is clear).
    const __m256i nearOne = _mm256_andnot_si256(_mm256_cmpgt_epi64(ix, _mm256_set1_epi64x(0x3FF108FFFFFFFFFFLL)),
                                                _mm256_cmpgt_epi64(ix, _mm256_set1_epi64x(0x3FEDFFFFFFFFFFFFLL)));
    const __m256i special = _mm256_or_si256(_mm256_cmpgt_epi64(_mm256_set1_epi64x(0x0010000000000000LL), ix),
                                            _mm256_cmpgt_epi64(ix, _mm256_set1_epi64x(0x7FEFFFFFFFFFFFFFLL)));
    // Zero, as in digital silence, stays here: its logarithm is -infinity.
    const __m256i zero = _mm256_cmpeq_epi64(ix, _mm256_setzero_si256());
    if (_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(nearOne, _mm256_andnot_si256(zero, special)))))
        [[unlikely]] {
        alignas(32) double v[4];
        _mm256_store_pd(v, x);
        for (double& e : v) e = Log<true>(std::fabs(e));
        return _mm256_load_pd(v);
    }
    const __m256i tmp = _mm256_sub_epi64(ix, _mm256_set1_epi64x(0x3FE6000000000000LL));
    const __m256i index = _mm256_and_si256(_mm256_srli_epi64(tmp, 45), _mm256_set1_epi64x(127));
    // k, the top 12 bits of tmp as a signed number, made exact as a double: 2^52 + k + 2048 less 2^52 + 2048.
    const __m256i kBiased = _mm256_xor_si256(_mm256_srli_epi64(tmp, 52), _mm256_set1_epi64x(0x4330000000000800LL));
    const __m256d kd = _mm256_castsi256_pd(kBiased) - _mm256_set1_pd(0x1p52 + 2048);
    const __m256d z = _mm256_castsi256_pd(
        _mm256_sub_epi64(ix, _mm256_and_si256(tmp, _mm256_set1_epi64x(static_cast<long long>(0xFFFULL << 52)))));
    __m256d invc, logc;
    LoadPairs4(&d.tab[0].invc, index, invc, logc);
    const double* A = d.poly;
    const __m256d r = _mm256_fmadd_pd(z, invc, _mm256_set1_pd(-1.0));
    const __m256d w = _mm256_fmadd_pd(kd, _mm256_set1_pd(d.ln2hi), logc);
    const __m256d hi = w + r;
    const __m256d lo = _mm256_fmadd_pd(kd, _mm256_set1_pd(d.ln2lo), w - hi + r);
    const __m256d r2 = r * r;
    const __m256d p = _mm256_fmadd_pd(r2, _mm256_fmadd_pd(r, _mm256_set1_pd(A[4]), _mm256_set1_pd(A[3])),
                                      _mm256_fmadd_pd(r, _mm256_set1_pd(A[2]), _mm256_set1_pd(A[1])));
    const __m256d y = _mm256_fmadd_pd(r * r2, p, _mm256_fmadd_pd(r2, _mm256_set1_pd(A[0]), lo)) + hi;
    return _mm256_blendv_pd(y, _mm256_set1_pd(-HUGE_VAL), _mm256_castsi256_pd(zero));
}

// exp(x) in each lane.
[[gnu::always_inline]] __attribute__((target("avx2,fma"))) inline __m256d Exp4(__m256d x) {
    const Vt4rMuslExpData& d = vt4r_musl_exp_data;
    // |x| below 2^-54 or at least 512, infinities and NaN: abstop - 969 >= 63, as unsigned.
    const __m256i abstop = _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52), _mm256_set1_epi64x(0x7FF));
    const __m256i rare = _mm256_or_si256(_mm256_cmpgt_epi64(_mm256_set1_epi64x(969), abstop),
                                         _mm256_cmpgt_epi64(abstop, _mm256_set1_epi64x(1031)));
    if (_mm256_movemask_pd(_mm256_castsi256_pd(rare))) [[unlikely]] {
        alignas(32) double v[4];
        _mm256_store_pd(v, x);
        for (double& e : v) e = Exp<true>(e);
        return _mm256_load_pd(v);
    }
    __m256d kd = _mm256_fmadd_pd(x, _mm256_set1_pd(d.invln2N), _mm256_set1_pd(d.shift));
    const __m256i ki = _mm256_castpd_si256(kd);
    kd = kd - _mm256_set1_pd(d.shift);
    const __m256d r = _mm256_fmadd_pd(kd, _mm256_set1_pd(d.negln2loN), _mm256_fmadd_pd(kd, _mm256_set1_pd(d.negln2hiN), x));
    __m256d tail, scale;
    LoadPairs4(reinterpret_cast<const double*>(d.tab), _mm256_and_si256(ki, _mm256_set1_epi64x(127)), tail, scale);
    scale = _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(scale), _mm256_slli_epi64(ki, 45)));
    const double* C = d.poly;
    const __m256d r2 = r * r;
    const __m256d tmp = _mm256_fmadd_pd(
        r2 * r2, _mm256_fmadd_pd(r, _mm256_set1_pd(C[3]), _mm256_set1_pd(C[2])),
        _mm256_fmadd_pd(r2, _mm256_fmadd_pd(r, _mm256_set1_pd(C[1]), _mm256_set1_pd(C[0])), tail + r));
    return _mm256_fmadd_pd(scale, tmp, scale);
}
#endif
}  // namespace inline_math
#endif

// How a loop gets its exp and log: through the call, or inline (kFma: as the library's build for
// processors with FMA computes them).
struct CallMath {
    static double Log(double x) { return ExactLog(x); }
    static double Exp(double x) { return ExactExp(x); }
};
#if VT4R_INLINE_MATH
template <bool kFma>
struct InlineMath {
    [[gnu::always_inline]] static double Log(double x) { return inline_math::Log<kFma>(x); }
    [[gnu::always_inline]] static double Exp(double x) { return inline_math::Exp<kFma>(x); }
    // Whether this process's ExactExp and ExactLog run the build this reproduces: both builds
    // differ from each other on these inputs, found by search, and agree with it on the others.
    static bool Matches() {
        static constexpr double kLogProbes[] = {0x1.0ca978f97c8f4p+0, 0x1.e1e76e8efe35fp-1, 0x1.054954136409fp+0,
                                                0x1.e4a83aab0c3bbp-1, 1e-3, 0.3, 5.0, 1.0, 0.0, -1.0};
        static constexpr double kExpProbes[] = {-0x1.4062f2be4dbdcp+2, -0x1.3b2fadc7b68d1p+4,
                                                -0x1.0513090e4d42ap+3, -0x1.e15b3d033b2eep+3, -1e-3, 0.5, -20.0};
        auto same = [](double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); };
        for (double x : kLogProbes)
            if (!same(inline_math::Log<kFma>(x), ExactLog(x))) return false;
        for (double x : kExpProbes)
            if (!same(inline_math::Exp<kFma>(x), ExactExp(x))) return false;
        return true;
    }
};
#endif

// The fastest way of the three that gives ExactExp's and ExactLog's bits in this process, found
// once (not on the audio thread: plug-ins look it up when they are made).
enum class MathKernel { Call, Plain, Fma };
inline MathKernel ChooseMathKernel() {
    static const MathKernel chosen = [] {
#if VT4R_INLINE_MATH && (defined(__x86_64__) || defined(__i386__))
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && InlineMath<true>::Matches())
            return MathKernel::Fma;
#endif
#if VT4R_INLINE_MATH
        if (InlineMath<false>::Matches()) return MathKernel::Plain;
#endif
        return MathKernel::Call;
    }();
    return chosen;
}

// Runs f.template operator()<Math>() with the Math of the given kernel; the FMA one in code built
// for processors with AVX2 and FMA, so f and everything it inlines must be always_inline.
#if VT4R_INLINE_MATH && (defined(__x86_64__) || defined(__i386__))
template <class F>
__attribute__((target("avx2,fma"))) void RunWithFmaMath(F& f) {
    f.template operator()<InlineMath<true>>();
}
#endif
template <class F>
[[gnu::always_inline]] inline void RunWithMath(MathKernel kernel, F&& f) {
#if VT4R_INLINE_MATH && (defined(__x86_64__) || defined(__i386__))
    if (kernel == MathKernel::Fma) return RunWithFmaMath(f);
#endif
#if VT4R_INLINE_MATH
    if (kernel == MathKernel::Plain) return f.template operator()<InlineMath<false>>();
#endif
    (void)kernel;
    f.template operator()<CallMath>();
}
