// vt4r-demo-signal: writes a music-like stereo test signal (a bass line,
// chords and a decaying drum hit every half second) for trying the renderer.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <vector>

#include "demo_material.h"

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
    const long frames = static_cast<long>(seconds * rate);
    std::vector<double> buffer(2 * 4096), left(4096), right(4096);
    for (long start = 0; start < frames; start += 4096) {
        const long n = std::min<long>(4096, frames - start);
        DemoMaterial(start, n, rate, left.data(), right.data());
        for (long i = 0; i < n; ++i) buffer[2 * i] = left[i], buffer[2 * i + 1] = right[i];
        if (sf_writef_double(f, buffer.data(), n) != n) {
            std::fprintf(stderr, "vt4r-demo-signal: error writing '%s'\n", argv[1]);
            sf_close(f);
            return 1;
        }
    }
    sf_close(f);
    return 0;
}
