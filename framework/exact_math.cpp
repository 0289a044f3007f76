#include "framework/exact_math.h"

#include <atomic>

// The builds of cmake/ExactMath.cmake under the names framework/exact_math_shim/musl_names.h gives.
extern "C" {
double vt4r_musl_exp(double x);
double vt4r_musl_log(double x);
double vt4r_musl_pow(double x, double y);
double vt4r_musl_sin(double x);
double vt4r_musl_cos(double x);
#if VT4R_MUSL_FMA_BUILD
double vt4r_musl_fma_exp(double x);
double vt4r_musl_fma_log(double x);
double vt4r_musl_fma_pow(double x, double y);
#endif
}

namespace {

// -1 until the first call has looked at the processor. A relaxed atomic: the first calls may race,
// and all of them find the same answer.
std::atomic<int> gFmaBuild{-1};

bool UseFmaBuild() {
#if VT4R_MUSL_FMA_BUILD
    int use = gFmaBuild.load(std::memory_order_relaxed);
    if (use < 0) {
        // glibc's rule for exp, log and pow. (It has a third build for processors with FMA4 but
        // not FMA and AVX2, AMD's of 2011 to 2014; those get the generic one here, within 1 ulp.)
        __builtin_cpu_init();
        use = __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2") ? 1 : 0;
        gFmaBuild.store(use, std::memory_order_relaxed);
    }
    return use == 1;
#else
    return false;
#endif
}

} // namespace

bool MuslMathUsesFmaBuild() {
    return UseFmaBuild();
}

#if VT4R_MUSL_FMA_BUILD
double MuslExp(double x) {
    return UseFmaBuild() ? vt4r_musl_fma_exp(x) : vt4r_musl_exp(x);
}
double MuslLog(double x) {
    return UseFmaBuild() ? vt4r_musl_fma_log(x) : vt4r_musl_log(x);
}
double MuslPow(double x, double y) {
    return UseFmaBuild() ? vt4r_musl_fma_pow(x, y) : vt4r_musl_pow(x, y);
}
#else
double MuslExp(double x) {
    return vt4r_musl_exp(x);
}
double MuslLog(double x) {
    return vt4r_musl_log(x);
}
double MuslPow(double x, double y) {
    return vt4r_musl_pow(x, y);
}
#endif
double MuslSin(double x) {
    return vt4r_musl_sin(x);
}
double MuslCos(double x) {
    return vt4r_musl_cos(x);
}
