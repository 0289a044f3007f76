#include "saturation.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__SSE2__)
void SaturateAndBlockPair(SaturationStage& left, SaturationStage& right, DcBlocker& dcLeft, DcBlocker& dcRight,
                          const double* inL, const double* inR, double g, double drive, double* outL, double* outR,
                          int n) {
    auto pair = [](double l, double r) { return _mm_set_pd(r, l); };
    const __m128d driveIn = pair(left.drive, right.drive);
    const __m128d gain = _mm_set1_pd(g);
    const __m128d three = _mm_set1_pd(3.0);
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d feed = pair(left.feed, right.feed);
    const __m128d square = pair(left.square, right.square);
    const __m128d linear = pair(left.linear, right.linear);
    const __m128d evenMix = pair(left.evenMix, right.evenMix);
    const __m128d memoryPole = pair(left.memoryPole, right.memoryPole);
    const __m128d poleOne = _mm_add_pd(memoryPole, one);
    const __m128d memory = pair(left.memory, right.memory);
    const __m128d leak = pair(left.leak, right.leak);
    const __m128d memoryScale = pair(left.memoryScale, right.memoryScale);
    const __m128d makeUp = pair(left.makeUp, right.makeUp);
    const __m128d outFactor = _mm_set1_pd(0.33334);
    const __m128d exponent = _mm_castsi128_pd(_mm_set1_epi64x(0x7FF0000000000000LL));
    const __m128d zero = _mm_setzero_pd();
    const __m128d driveOut = _mm_set1_pd(drive);
    const __m128d leakDc = _mm_set1_pd(0.999);

    __m128d e = pair(left.e, right.e);
    __m128d v = pair(left.v, right.v);
    __m128d w = pair(left.w, right.w);
    __m128d xp = pair(dcLeft.xp, dcRight.xp);
    __m128d yp = pair(dcLeft.yp, dcRight.yp);

    for (int i = 0; i < n; ++i) {
        const __m128d x = pair(inL[i], inR[i]);
        const __m128d a = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(x, driveIn), gain), three);
        e = _mm_add_pd(_mm_mul_pd(feed, e), a);
        const __m128d q = _mm_mul_pd(_mm_mul_pd(e, square), e);
        const __m128d qc = _mm_div_pd(q, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(q, q), one)));
        const __m128d d = _mm_mul_pd(e, linear);
        const __m128d dc = _mm_div_pd(d, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(d, d), one)));
        const __m128d r = _mm_add_pd(_mm_mul_pd(qc, evenMix), dc);
        const __m128d l = w;
        const __m128d m = _mm_mul_pd(_mm_div_pd(l, _mm_add_pd(l, memoryPole)), poleOne);
        const __m128d t = _mm_sub_pd(_mm_mul_pd(_mm_mul_pd(_mm_sub_pd(l, r), m), memory), l);
        const __m128d y = _mm_add_pd(_mm_div_pd(t, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(t, t), one))), r);
        v = _mm_sub_pd(y, _mm_mul_pd(leak, v));
        w = _mm_mul_pd(v, memoryScale);
        __m128d out = _mm_mul_pd(_mm_mul_pd(w, makeUp), outFactor);
        // Zero and subnormal lanes become +0.
        out = _mm_andnot_pd(_mm_cmpeq_pd(_mm_and_pd(out, exponent), zero), out);
        const __m128d s = _mm_div_pd(out, driveOut);
        const __m128d c = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(yp, leakDc), s), xp);
        xp = s;
        yp = c;
        _mm_storel_pd(outL + i, c);
        _mm_storeh_pd(outR + i, c);
    }

    auto unpair = [](__m128d p, double& l, double& r) {
        _mm_storel_pd(&l, p);
        _mm_storeh_pd(&r, p);
    };
    unpair(e, left.e, right.e);
    unpair(v, left.v, right.v);
    unpair(w, left.w, right.w);
    unpair(xp, dcLeft.xp, dcRight.xp);
    unpair(yp, dcLeft.yp, dcRight.yp);
}
#else
void SaturateAndBlockPair(SaturationStage& left, SaturationStage& right, DcBlocker& dcLeft, DcBlocker& dcRight,
                          const double* inL, const double* inR, double g, double drive, double* outL, double* outR,
                          int n) {
    for (int i = 0; i < n; ++i) {
        const double sL = left.tick(inL[i], g) / drive;
        const double sR = right.tick(inR[i], g) / drive;
        outL[i] = dcLeft.tick(sL);
        outR[i] = dcRight.tick(sR);
    }
}
#endif
