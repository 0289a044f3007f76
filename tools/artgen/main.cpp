// Draws the editor's seven images into the given directory (normally resources/img).
// The output is a pure function of this program: running it again gives the same bytes.
#include "images.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (auto write : {art::WriteBackground, art::WriteMeterFace, art::WriteNeedle, art::WriteFrontPanel,
                       art::WriteKnob, art::WriteOverlay, art::WriteToggle}) {
        ok = write(dir) && ok;
    }
    return ok ? 0 : 1;
}
