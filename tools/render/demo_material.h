#pragma once
#include <cmath>
#include <cstdint>

#include "framework/exact_math.h"

// Music-like stereo material: a bass line, chords and a drum pattern with a
// slow swell, deterministic for a given start frame.
inline void DemoMaterial(long start, long frames, int rate, double* left, double* right) {
    const double twoPi = 6.283185307179586;
    const double bass[4] = {55.0, 65.41, 49.0, 73.42};
    for (long i = 0; i < frames; ++i) {
        const long frame = start + i;
        const double t = static_cast<double>(frame) / rate;
        const double beat = std::fmod(t, 0.5);
        const int bar = static_cast<int>(t / 2.0) % 4;
        std::uint32_t noise = static_cast<std::uint32_t>(frame) * 2654435761u;
        noise ^= noise >> 15;
        noise *= 2246822519u;
        noise ^= noise >> 13;
        const double white = (noise >> 8) / 8388608.0 - 1.0;
        const double kick = 0.9 * ExactExp(-beat * 18) * ExactSin(twoPi * (50 + 80 * ExactExp(-beat * 30)) * beat);
        const double hat = 0.15 * ExactExp(-std::fmod(t, 0.25) * 60) * white;
        const double b = 0.35 * ExactSin(twoPi * bass[bar] * t);
        const double chord = 0.12 *
                             (ExactSin(twoPi * 220 * t) + ExactSin(twoPi * 277.18 * t) + ExactSin(twoPi * 329.63 * t)) *
                             (0.6 + 0.4 * ExactSin(twoPi * 0.25 * t));
        const double swell = 0.5 + 0.5 * ExactSin(twoPi * t / 8);
        left[i] = (kick + hat + b + chord * 0.8) * (0.4 + 0.6 * swell);
        right[i] = (kick + hat * 0.7 + b + chord * 1.1) * (0.4 + 0.6 * swell);
    }
}
