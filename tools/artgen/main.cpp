// Draws the editor's seven images into the first directory (normally resources/img) and, when a second
// directory is given, the application's icons into it (normally resources/icons).
// The output is a pure function of this program: running it again gives the same bytes.
#include "images.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <image directory> [<icon directory>]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (auto write : {art::WriteBackground, art::WriteMeterFace, art::WriteNeedle, art::WriteFrontPanel,
                       art::WriteKnob, art::WriteOverlay, art::WriteToggle}) {
        ok = write(dir) && ok;
    }
    if (argc == 3) {
        ok = art::WriteIcons(argv[2]) && ok;
    }
    return ok ? 0 : 1;
}
