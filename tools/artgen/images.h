#pragma once

#include <string>

namespace art {

// Each writes one of the editor's images into the directory, drawn at `scale` device pixels per editor
// pixel; false on a write error.
bool WriteBackground(const std::string& dir, double scale); // BG.png
bool WriteMeterFace(const std::string& dir, double scale);  // BGBG1.png
bool WriteNeedle(const std::string& dir, double scale);     // Needle.png
bool WriteFrontPanel(const std::string& dir, double scale); // BG1.png
bool WriteKnob(const std::string& dir, double scale);       // KnobL.png
bool WriteOverlay(const std::string& dir, double scale);    // Overlay.png
bool WriteToggle(const std::string& dir, double scale);     // Toggle.png

// The application's icon at each of these sizes: vt4r-<size>.png, square.
constexpr int kIconSizes[] = {48, 128, 256};
bool WriteIcons(const std::string& dir);

} // namespace art
