#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What vt4r-snapshot draws: the plug-in's editor for a given set of values.
struct SnapshotOptions {
    std::string outputPath;
    double inputDb = 0.0;
    double outputDb = 0.0;
    bool relaxed = false;
    double meter = 0.0; // needle position, 0 (no gain reduction) .. 1 (20 dB)
    bool overlay = false;
    double scale = 1.0; // device pixels per editor pixel, 1 .. 3 (conformed to a supported step)
};

// Parses `vt4r-snapshot OUTPUT.png [--input DB] [--output DB] [--relaxed] [--meter V]
// [--overlay] [--scale S]`. False with a one-line reason in `error` for anything else.
bool ParseSnapshotArgs(int argc, const char* const* argv, SnapshotOptions& options, std::string& error);

// 8-bit RGB, rows top to bottom, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Builds the plug-in and its editor headless, applies the options, paints the whole
// editor and answers the back buffer as the window would show it (alpha ignored).
// False with a reason when the editor cannot be had.
bool RenderSnapshot(const SnapshotOptions& options, RgbImage& image, std::string& error);

bool WritePngRgb(const std::string& path, const RgbImage& image, std::string& error);

// Usage text for the command line.
const char* SnapshotUsage();
