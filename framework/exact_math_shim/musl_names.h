/* The names musl's exp, log, pow, sin and cos are compiled under, so that none meets the
 * platform's libm in a static link; framework/exact_math.h declares the entry points. Included
 * after the system headers, whose declarations keep the standard names.
 *
 * exp, log and pow are built twice (cmake/ExactMath.cmake); VT4R_MUSL_BUILD names the build.
 * log's table has another layout when FMA is available, so it is built twice as well. */
#ifndef VT4R_MUSL_NAMES_H
#define VT4R_MUSL_NAMES_H
#ifndef VT4R_MUSL_BUILD
#define VT4R_MUSL_BUILD vt4r_musl_
#endif
#define VT4R_MUSL_CAT2(a, b) a##b
#define VT4R_MUSL_CAT(a, b) VT4R_MUSL_CAT2(a, b)
#define exp VT4R_MUSL_CAT(VT4R_MUSL_BUILD, exp)
#define log VT4R_MUSL_CAT(VT4R_MUSL_BUILD, log)
#define pow VT4R_MUSL_CAT(VT4R_MUSL_BUILD, pow)
#define __log_data VT4R_MUSL_CAT(VT4R_MUSL_BUILD, log_data)
#define sin vt4r_musl_sin
#define cos vt4r_musl_cos
#define __sin vt4r_musl_kernel_sin
#define __cos vt4r_musl_kernel_cos
#define __rem_pio2 vt4r_musl_rem_pio2
#define __rem_pio2_large vt4r_musl_rem_pio2_large
#define __exp_data vt4r_musl_exp_data
#define __pow_log_data vt4r_musl_pow_log_data
#define __math_divzero vt4r_musl_math_divzero
#define __math_invalid vt4r_musl_math_invalid
#define __math_oflow vt4r_musl_math_oflow
#define __math_uflow vt4r_musl_math_uflow
#define __math_xflow vt4r_musl_math_xflow
#endif
