// vt4r-demo-signal: writes a music-like stereo test signal (a bass line,
// chords and a decaying drum hit every half second) for trying the renderer.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "Usage: vt4r-demo-signal OUTPUT.wav [SECONDS] [RATE]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int rate = argc > 3 ? std::atoi(argv[3]) : 48000;
    if (!(seconds > 0 && seconds <= 3600) || rate < 8000 || rate > 384000) {
        std::fprintf(stderr, "vt4r-demo-signal: SECONDS must be 0..3600 and RATE 8000..384000\n");
        return 2;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(argv[1], SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "vt4r-demo-signal: cannot write '%s': %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const double twoPi = 6.283185307179586;
    const double bass[4] = {55.0, 65.41, 49.0, 73.42};
    const long frames = static_cast<long>(seconds * rate);
    std::vector<double> buffer(2 * 4096);
    unsigned noise = 12345;
    for (long start = 0; start < frames; start += 4096) {
        const long n = std::min<long>(4096, frames - start);
        for (long i = 0; i < n; ++i) {
            const double t = static_cast<double>(start + i) / rate;
            const double beat = std::fmod(t, 0.5);
            const int bar = static_cast<int>(t / 2.0) % 4;
            noise = noise * 1664525u + 1013904223u;
            const double white = (noise >> 8) / 8388608.0 - 1.0;
            const double kick = 0.9 * std::exp(-beat * 18) * std::sin(twoPi * (50 + 80 * std::exp(-beat * 30)) * beat);
            const double hat = 0.15 * std::exp(-std::fmod(t, 0.25) * 60) * white;
            const double b = 0.35 * std::sin(twoPi * bass[bar] * t);
            const double chord = 0.12 * (std::sin(twoPi * 220 * t) + std::sin(twoPi * 277.18 * t) +
                                         std::sin(twoPi * 329.63 * t)) * (0.6 + 0.4 * std::sin(twoPi * 0.25 * t));
            const double swell = 0.5 + 0.5 * std::sin(twoPi * t / 8);
            buffer[2 * i] = (kick + hat + b + chord * 0.8) * (0.4 + 0.6 * swell);
            buffer[2 * i + 1] = (kick + hat * 0.7 + b + chord * 1.1) * (0.4 + 0.6 * swell);
        }
        if (sf_writef_double(f, buffer.data(), n) != n) {
            std::fprintf(stderr, "vt4r-demo-signal: error writing '%s'\n", argv[1]);
            sf_close(f);
            return 1;
        }
    }
    sf_close(f);
    return 0;
}
