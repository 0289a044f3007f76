#pragma once
// A deliberately plain, unoptimised model of the plug-in's signal path,
// written straight from the algorithm: no caches, no vector code, every
// exponential and logarithm evaluated where the algorithm places it. The
// plug-in must match it bit for bit.
#include <bit>
#include <cmath>
#include <cstdint>

#include "framework/exact_math.h"

namespace ref {

inline double Flush(double y) { return ((std::bit_cast<std::uint64_t>(y) >> 52) & 0x7FF) ? y : 0.0; }

struct OnePole {
    int mode = 0;
    double omega = 0, norm = 0, pole = 0, gain = 0, s = 0;
    void Set(int m, double w, double k) {
        mode = m;
        omega = w;
        norm = 1 / (k + omega);
        pole = (k - omega) * norm;
        gain = norm * omega;
    }
    double Tick(double x) {
        s = x * 2 * gain + pole * s;
        return Flush(mode ? x - s : s);
    }
};

struct Shelf {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    void Design(bool high, double f0, double sr, double q, double gainDb) {
        double A = ExactPow(10.0, gainDb / 40), w0 = 6.283185307179586 * f0 / sr;
        double sn = ExactSin(w0), cs = ExactCos(w0), beta = std::sqrt(A) / q * sn;
        double c[6];
        if (!high) {
            c[0] = A * ((A + 1) - (A - 1) * cs + beta);
            c[1] = 2 * A * ((A - 1) - (A + 1) * cs);
            c[2] = A * ((A + 1) - (A - 1) * cs - beta);
            c[3] = (A + 1) + (A - 1) * cs + beta;
            c[4] = -2 * ((A - 1) + (A + 1) * cs);
            c[5] = (A + 1) + (A - 1) * cs - beta;
        } else {
            c[0] = A * ((A + 1) + (A - 1) * cs + beta);
            c[1] = -2 * A * ((A - 1) + (A + 1) * cs);
            c[2] = A * ((A + 1) + (A - 1) * cs - beta);
            c[3] = (A + 1) - (A - 1) * cs + beta;
            c[4] = 2 * ((A - 1) - (A + 1) * cs);
            c[5] = (A + 1) - (A - 1) * cs - beta;
        }
        b0 = c[0] / c[3], b1 = c[1] / c[3], b2 = c[2] / c[3], a1 = c[4] / c[3], a2 = c[5] / c[3];
    }
    double Tick(double x) {
        double y = Flush(b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2);
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

inline double Tc(double t) { return ExactExp(-1 / t); }

struct Core {
    // settings
    int sr = 44100, hpHz = 0, knee = 0, rel = 0, boostPct = 0, gfAmount = 0;
    double tilt = 0, thr = 0, ratio = 1, att = 0, rms = 0;
    bool twoAtt = false, twoRel = false, multi = false;
    // coefficients
    OnePole hp, glp;
    Shelf ls, hs;
    double msc = 0, b = 0, e1r = 0, ea[3] = {}, er[3] = {}, k = 0, T = 0, A1 = 0, A2 = 0, base = 0, span = 0,
           boost = 0;
    // state
    double ms = 0, env1 = 0, env[3] = {}, mem = 0, gs = 0, st = 0;

    void Configure() {
        double SR = sr;
        hp.Set(1, hpHz * 6.283185307179586, SR * 3);
        ls.Design(false, 1500, SR, 2.0, -tilt);
        hs.Design(true, 1500, SR, 2.0, tilt);
        msc = Tc(rms * 0.001 * SR);
        b = multi ? (double)rel : 0.0;
        e1r = Tc((b + 35) * 0.001 * SR);
        ea[0] = Tc(0.0001 * SR), er[0] = Tc((b + 5) * 0.001 * SR);
        ea[1] = Tc(0.0025 * SR), er[1] = Tc((b + 25) * 0.001 * SR);
        ea[2] = Tc(0.01 * SR), er[2] = Tc((b + 50) * 0.001 * SR);
        k = knee * 0.01;
        T = k > 0 ? thr - k * 20 / ExactPow(ratio, 3) : thr;
        A1 = Tc(att * 0.001 * SR), A2 = Tc(att * 0.0015 * SR);
        base = rel, span = rel + 50, boost = boostPct * 0.01;
        glp.Set(0, (100 - gfAmount) * 200 * 6.283185307179586, SR * 3);
    }
    double Tick(double x) {
        double SR = sr;
        if (hpHz > 20) x = hp.Tick(x);
        if (tilt != 0) x = hs.Tick(ls.Tick(x));
        if (rms != 0)
            ms = (1 - msc) * x * x + msc * ms;
        else
            ms = x * x;
        double e = std::sqrt(ms);
        env1 = e > env1 ? e : e + (env1 - e) * e1r;
        double L = env1;
        if (b != 0) {
            for (int i = 0; i < 3; ++i) env[i] = e + (env[i] - e) * (e > env[i] ? ea[i] : er[i]);
            for (int i = 0; i < 3; ++i) L = env[i] > L ? env[i] : L;
        }
        double D = ExactLog(std::fabs(L)) * 8.685889638065037;
        double over = D - T, h = over > 0 ? over : 0;
        double R = k > 0 ? (1 - k) * ratio + k * (1 + 0.02 * (ratio - 1) * h) : ratio;
        mem = gs == 1.0 ? 0 : (h > mem ? h : mem);
        double A = mem / 10 * span * boost + base;
        if (!(A > 0)) A = 0;
        double R1 = ExactExp(-1 / (A * 0.001 * SR)), R2 = ExactExp(-1 / (A * 0.0015 * SR));
        double GdB = D > T ? (1 / R - 1) * over : 0;
        double u = ExactExp(0.1151292546497 * GdB);
        double g = gs;
        if (g > u) {
            st = u + (st - u) * A2;
            g = twoAtt ? st + (g - st) * A1 : u + (g - u) * A1;
        } else {
            st = u + (st - u) * R2;
            g = twoRel ? st + (g - st) * R1 : u + (g - u) * R1;
        }
        if (!(g > 0))
            g = 0;
        else if (!(g < 1))
            g = 1;
        if ((100 - gfAmount) * 200 < 20000) g = glp.Tick(g);
        gs = g;
        return g;
    }
};

struct Sat {
    double e = 0, v = 0, w = 0;
    double Tick(double x, double g) {
        double a = x * 1.0 * g * 3.0;
        e = 0.077 * e + a;
        double q = e * 0.0067 * e;
        q = q / std::sqrt(q * q + 1);
        double d = e * 0.0672;
        d = d / std::sqrt(d * d + 1);
        double r = q * 0.033 + d;
        double l = w, m = l / (l + -1.43) * (-1.43 + 1);
        double t = (l - r) * m * 0.58 - l;
        double y = t / std::sqrt(t * t + 1) + r;
        v = y - 0.06 * v;
        w = v * 0.0031622777;
        return Flush(w * 4623.8102139918 * 0.33334);
    }
};

struct Hiss {
    int seed = 0;
    OnePole lo, hi;
    void Rate(double sr) {
        lo.Set(1, 50 * 6.283185307179586, sr * 3);
        hi.Set(0, 18000 * 6.283185307179586, sr * 3);
    }
    double Tick() {
        seed = (seed * 3877 + 29573) % 139968;
        return hi.Tick(lo.Tick(1 - seed * 2 / 139968.0));
    }
};

struct Dc {
    double xp = 0, yp = 0;
    double Tick(double x) {
        double y = yp * 0.999 + x - xp;
        xp = x, yp = y;
        return y;
    }
};

// The whole plug-in; mono when only the left output is connected.
struct Plugin {
    double inState = 0, outState = 0;
    OnePole meterFilter;
    double smoothed = 0, needle = 0;
    Sat satL, satR;
    Hiss hissL, hissR;
    Core core;
    Dc dcL, dcR;
    unsigned storedRate = 44100;
    double drive = 0, hissLevel = 0;

    Plugin() {
        hissL.Rate(44100.0), hissR.Rate(44100.0);
        meterFilter.Set(0, 18.84955592153876, 3 * 44100.0);
    }

    // Returns the limited needle position handed to the editor.
    double Process(const double* inL, const double* inR, double* outL, double* outR, int frames, double inputDb,
                   double outputDb, double relaxed, double rate, int blockFrames, bool mono = false) {
        meterFilter.Set(0, 18.84955592153876, 3 * (double)storedRate);
        inState = ExactExp(inputDb * 0.1151292546497) * 0.9 + 0.1 * inState;
        outState = ExactExp(outputDb * 0.1151292546497) * 0.9 + 0.1 * outState;
        storedRate = (unsigned)rate;
        unsigned B = storedRate / (unsigned)blockFrames;
        double rise = ExactPow(0.01, 1 / (B * 0.2)), fall = ExactPow(0.01, 1 / (B * 1.2));
        hissL.Rate(rate), hissR.Rate(rate);
        int mode = (int)relaxed;
        core.thr = -25.0, core.ratio = 4.0, core.knee = 100;
        if (mode == 0) {
            core.tilt = 0.2, core.hpHz = 90, core.att = 0, core.rel = 22, core.rms = 1.1, core.boostPct = 12;
            core.twoAtt = true, core.twoRel = true, core.multi = true, core.gfAmount = 65;
            drive = 1.0, hissLevel = ExactExp(-12.664218011467);
        } else if (mode == 1) {
            core.tilt = 0, core.hpHz = 0, core.att = 4.87, core.rel = 96, core.rms = 8.0, core.boostPct = 19;
            core.twoAtt = false, core.twoRel = true, core.multi = false, core.gfAmount = 49;
            drive = ExactExp(-2.7631021115928), hissLevel = ExactExp(-115.0141253950503);
        }
        core.sr = (int)storedRate;
        core.Configure();
        for (int i = 0; i < frames && mono; ++i) {
            double sL = satL.Tick(inL[i], drive * inState) / drive;
            double cL = dcL.Tick(sL);
            double g = core.Tick(cL);
            outL[i] = hissL.Tick() * hissLevel + outState * Flush(g * cL);
            smoothed = meterFilter.Tick(ExactLog(std::fabs(g)) * (-8.685889638065037) / 20.0);
        }
        for (int i = 0; i < frames && !mono; ++i) {
            double d = drive * inState;
            double sL = satL.Tick(inL[i], d) / drive;
            double sR = satR.Tick(inR[i], d) / drive;
            double cL = dcL.Tick(sL), cR = dcR.Tick(sR);
            double g = core.Tick((cR + cL) * 0.5);
            double yL = Flush(g * cL), yR = Flush(g * cR);
            outL[i] = hissL.Tick() * hissLevel + outState * yL;
            outR[i] = hissR.Tick() * hissLevel + outState * yR;
            smoothed = meterFilter.Tick(ExactLog(std::fabs(g)) * (-8.685889638065037) / 20.0);
        }
        needle = smoothed > needle ? smoothed + (needle - smoothed) * rise : smoothed + (needle - smoothed) * fall;
        return !(needle > 0) ? 0.0 : !(needle < 1) ? 1.0 : needle;
    }
};

}  // namespace ref
