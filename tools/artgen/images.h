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

} // namespace art
