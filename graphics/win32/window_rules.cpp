#include "graphics/win32/window_rules.h"

#include <vector>

#include "graphics/modifier_keys.h"
#include "graphics/window_rules.h"

namespace {
// Virtual-key codes, from the Win32 headers, so these rules build and read anywhere.
constexpr unsigned int kVkSpace = 0x20;
constexpr unsigned int kVkLeft = 0x25;
constexpr unsigned int kVkUp = 0x26;
constexpr unsigned int kVkRight = 0x27;
constexpr unsigned int kVkDown = 0x28;
} // namespace

int KeyCodeForVirtualKey(unsigned int virtualKey) {
    switch (virtualKey) {
    case kVkSpace:
        return KeySpace;
    case kVkUp:
        return KeyUp;
    case kVkDown:
        return KeyDown;
    case kVkLeft:
        return KeyLeft;
    case kVkRight:
        return KeyRight;
    default:
        break;
    }
    // The main row's digits and the letters are their ASCII capitals; the keypad's
    // digits (VK_NUMPAD0..9, 0x60..0x69) fall outside both ranges.
    if (virtualKey >= '0' && virtualKey <= '9')
        return KeyDigit0 + static_cast<int>(virtualKey - '0');
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return KeyLetterA + static_cast<int>(virtualKey - 'A');
    return -1;
}

std::string FileDialogPattern(const char* extensions) {
    std::string pattern;
    for (const std::string& extension : SplitExtensions(extensions)) {
        if (!pattern.empty())
            pattern += ';';
        pattern += "*." + extension;
    }
    return pattern;
}

std::string FolderOfWindowsPath(const std::string& path, std::size_t limit) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 > limit)
        return {};
    return path.substr(0, slash + 1);
}
