#pragma once

#include <string>

namespace art {

// Each writes one of the editor's images into the directory; false on a write error.
bool WriteBackground(const std::string& dir); // BG.png
bool WriteMeterFace(const std::string& dir);  // BGBG1.png
bool WriteNeedle(const std::string& dir);     // Needle.png
bool WriteFrontPanel(const std::string& dir); // BG1.png
bool WriteKnob(const std::string& dir);       // KnobL.png
bool WriteOverlay(const std::string& dir);    // Overlay.png
bool WriteToggle(const std::string& dir);     // Toggle.png

// The application's icon at each of these sizes: vt4r-<size>.png, square.
constexpr int kIconSizes[] = {48, 128, 256};
bool WriteIcons(const std::string& dir);

} // namespace art
