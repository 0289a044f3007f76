// vt4r-snapshot: draws the plug-in's editor headless into a PNG file.
#include <cstdio>
#include <string>

#include "snapshot.h"

int main(int argc, char** argv) {
    SnapshotOptions options;
    std::string error;
    if (!ParseSnapshotArgs(argc, argv, options, error)) {
        std::fprintf(stderr, "vt4r-snapshot: %s\n%s", error.c_str(), SnapshotUsage());
        return 2;
    }
    RgbImage image;
    if (!RenderSnapshot(options, image, error) || !WritePngRgb(options.outputPath, image, error)) {
        std::fprintf(stderr, "vt4r-snapshot: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
