#pragma once
// exp, log, pow, sin and cos for the signal path, which is compared bit for bit: the same bits on
// every platform, whatever the x87 control word says.
//
// glibc's are SSE2 (or FMA) code: on Linux these are exactly std::exp and the others. mingw-w64's
// are x87 code whose last bits follow the precision-control word, so on Windows they are musl's
// (cmake/ExactMath.cmake, exact_math.cpp): for exp, log and pow the code and tables of glibc, built
// and chosen as glibc builds and chooses them, so the bits are Linux's; sin and cos are fdlibm's,
// within 1 ulp of glibc's.
#include <cmath>

// musl's, wherever cmake/ExactMath.cmake builds them.
double MuslExp(double x);
double MuslLog(double x);
double MuslPow(double x, double y);
double MuslSin(double x);
double MuslCos(double x);
// Whether MuslExp, MuslLog and MuslPow run the build made for processors with FMA and AVX2.
bool MuslMathUsesFmaBuild();

#if defined(_WIN32)
inline double ExactExp(double x) {
    return MuslExp(x);
}
inline double ExactLog(double x) {
    return MuslLog(x);
}
inline double ExactPow(double x, double y) {
    return MuslPow(x, y);
}
inline double ExactSin(double x) {
    return MuslSin(x);
}
inline double ExactCos(double x) {
    return MuslCos(x);
}
#else
inline double ExactExp(double x) {
    return std::exp(x);
}
inline double ExactLog(double x) {
    return std::log(x);
}
inline double ExactPow(double x, double y) {
    return std::pow(x, y);
}
inline double ExactSin(double x) {
    return std::sin(x);
}
inline double ExactCos(double x) {
    return std::cos(x);
}
#endif
