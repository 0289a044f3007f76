// vt4r-demo-signal: writes a music-like stereo test signal (a bass line,
// chords and a decaying drum hit every half second) for trying the renderer.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "demo_material.h"
#include "platform/files.h"
#include "sound_file.h"

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    argc = static_cast<int>(args.size());
    if (argc == 2 && (args[1] == "--help" || args[1] == "-h")) {
        std::printf("Usage: vt4r-demo-signal OUTPUT.wav [SECONDS] [RATE]\n"
                    "Writes a music-like stereo test signal (10 s at 48000 Hz unless told otherwise).\n");
        return 0;
    }
    // An option in place of the file name is a mistake, not a file to write.
    if (argc < 2 || argc > 4 || (args[1].size() > 1 && args[1][0] == '-')) {
        std::fprintf(stderr, "Usage: vt4r-demo-signal OUTPUT.wav [SECONDS] [RATE]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(args[2].c_str()) : 10.0;
    const int rate = argc > 3 ? std::atoi(args[3].c_str()) : 48000;
    if (!(seconds > 0 && seconds <= 3600) || rate < 8000 || rate > 384000) {
        std::fprintf(stderr, "vt4r-demo-signal: SECONDS must be 0..3600 and RATE 8000..384000\n");
        return 2;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* f = OpenSoundFile(args[1], SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "vt4r-demo-signal: cannot write '%s': %s\n", args[1].c_str(), sf_strerror(nullptr));
        return 1;
    }
    const long frames = static_cast<long>(seconds * rate);
    std::vector<double> buffer(2 * 4096), left(4096), right(4096);
    for (long start = 0; start < frames; start += 4096) {
        const long n = std::min<long>(4096, frames - start);
        DemoMaterial(start, n, rate, left.data(), right.data());
        for (long i = 0; i < n; ++i) buffer[2 * i] = left[i], buffer[2 * i + 1] = right[i];
        if (sf_writef_double(f, buffer.data(), n) != n) {
            std::fprintf(stderr, "vt4r-demo-signal: error writing '%s'\n", args[1].c_str());
            sf_close(f);
            return 1;
        }
    }
    sf_close(f);
    return 0;
}
