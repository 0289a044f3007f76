// vt4r-snapshot: draws the plug-in's editor headless into a PNG file.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "snapshot.h"

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    std::vector<const char*> args;
    for (const std::string& a : arguments)
        args.push_back(a.c_str());
    SnapshotOptions options;
    std::string error;
    if (!ParseSnapshotArgs(static_cast<int>(args.size()), args.data(), options, error)) {
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
