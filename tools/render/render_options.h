#pragma once
#include <string>

// Command line of vt4r-render.
struct RenderOptions {
    double inputDb = 0.0;
    double outputDb = 0.0;
    bool relaxed = false;
    int blockFrames = 512;
    std::string format;  // "", "pcm16", "pcm24", "float", "double"
    std::string meterPath;
    bool quiet = false;
    std::string inputPath;
    std::string outputPath;
};

enum class ParseResult { Run, Help, Version, Error };

// Parses argv; on Error, `error` holds a one-line message.
ParseResult ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error);

extern const char* const kRenderUsage;
