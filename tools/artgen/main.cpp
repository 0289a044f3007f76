// Draws the editor's seven images into the first directory (normally resources/img) and, when a second
// directory is given, the application's icons into it (normally resources/icons).
// With --scale S, draws the editor's images at S device pixels per editor pixel instead (the sets for
// high-density screens, normally resources/img/scale-<percent>); the knob only with --knob, since the
// editor draws it itself at those scales.
// The output is a pure function of this program: running it again gives the same bytes.
#include "images.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    double scale = 1.0;
    bool knob = true;
    std::vector<std::string> dirs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            char* end = nullptr;
            scale = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(scale >= 1.0 && scale <= 3.0)) {
                std::fprintf(stderr, "artgen: --scale takes a number from 1 to 3\n");
                return 2;
            }
            knob = false;
        } else if (arg == "--knob") {
            knob = true;
        } else {
            dirs.push_back(arg);
        }
    }
    if (dirs.empty() || dirs.size() > (scale == 1.0 ? 2u : 1u)) {
        std::fprintf(stderr, "usage: %s <image directory> [<icon directory>]\n"
                             "       %s --scale S [--knob] <image directory>\n",
                     argv[0], argv[0]);
        return 2;
    }
    bool ok = true;
    for (auto write : {art::WriteBackground, art::WriteMeterFace, art::WriteNeedle, art::WriteFrontPanel,
                       art::WriteOverlay, art::WriteToggle}) {
        ok = write(dirs[0], scale) && ok;
    }
    if (knob) {
        ok = art::WriteKnob(dirs[0], scale) && ok;
    }
    if (dirs.size() == 2) {
        ok = art::WriteIcons(dirs[1]) && ok;
    }
    return ok ? 0 : 1;
}
