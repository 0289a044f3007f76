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
    // The main row's digits and the letters are their ASCII capitals; 'a'..'z' are the
    // keypad's keys (VK_NUMPAD1.., 0x61..).
    static constexpr KeySymbols kSymbols{kVkSpace, kVkUp, kVkDown, kVkLeft, kVkRight, false};
    return KeyCodeForKey(virtualKey, kSymbols);
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
    return FolderOf(path, '\\', limit);
}
