#include "graphics/window_rules.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "framework/parameter.h"
#include "graphics/popup_menu.h"

int KeyCodeForKey(unsigned long key, const KeySymbols& symbols) {
    if (key == symbols.space)
        return KeySpace;
    if (key == symbols.up)
        return KeyUp;
    if (key == symbols.down)
        return KeyDown;
    if (key == symbols.left)
        return KeyLeft;
    if (key == symbols.right)
        return KeyRight;
    // Keypad digits have codes of their own, outside these ranges.
    if (key >= '0' && key <= '9')
        return KeyDigit0 + static_cast<int>(key - '0');
    if (key >= 'A' && key <= 'Z')
        return KeyLetterA + static_cast<int>(key - 'A');
    if (symbols.lowerCaseLetters && key >= 'a' && key <= 'z')
        return KeyLetterA + static_cast<int>(key - 'a');
    return -1;
}

IModifierKeys ModifiersFromMask(unsigned long state, const ModifierMasks& masks) {
    IModifierKeys mods;
    mods.left = (state & masks.left) != 0;
    mods.right = (state & masks.right) != 0;
    mods.shift = (state & masks.shift) != 0;
    mods.control = (state & masks.control) != 0;
    mods.alt = (state & masks.alt) != 0;
    return mods;
}

int WheelNotchesFromDelta(int delta) {
    return static_cast<std::int16_t>(delta) / 120;
}

int TimerPeriodMs(double framesPerSecond) {
    if (!(framesPerSecond > 0.0))
        return 40;
    return static_cast<int>(std::trunc(1000.0 / framesPerSecond));
}

bool TextBoxAcceptsChar(int kind, unsigned char c) {
    if (c == '\b')
        return true;
    const bool digitOrSign = (c >= '0' && c <= '9') || c == '-' || c == '+';
    if (kind >= 1 && kind <= 3)
        return digitOrSign;
    if (kind == Number)
        return digitOrSign || c == '.';
    return true;
}

std::vector<PopupLine> BuildPopupLines(const IPopupMenu& menu) {
    static const char* const kNumberFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
    std::vector<PopupLine> lines;
    for (int i = 0; i < menu.ItemCount(); ++i) {
        const IPopupMenuItem* item = menu.Item(i);
        if (item->flags & IPopupMenuItem::Separator) {
            if (!lines.empty())
                lines.back().divider = true;
            continue;
        }
        if (item->submenu)
            continue;
        PopupLine line;
        line.command = i + 1;
        if (menu.numbering >= 1 && menu.numbering <= 3) {
            const int size = std::snprintf(nullptr, 0, kNumberFormats[menu.numbering - 1], line.command,
                                           item->text.c_str());
            line.text.resize(static_cast<std::size_t>(size));
            std::snprintf(line.text.data(), line.text.size() + 1, kNumberFormats[menu.numbering - 1],
                          line.command, item->text.c_str());
        } else {
            line.text = item->text;
        }
        line.inactive = (item->flags & (IPopupMenuItem::Disabled | IPopupMenuItem::Title)) != 0;
        line.checked = (item->flags & IPopupMenuItem::Checked) != 0;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string FolderOf(const std::string& path, char separator, std::size_t limit) {
    const std::size_t slash = path.rfind(separator);
    if (slash == std::string::npos || slash + 1 > limit)
        return {};
    return path.substr(0, slash + 1);
}

std::vector<std::string> SplitExtensions(const char* extensions) {
    std::vector<std::string> list;
    if (!extensions)
        return list;
    std::string current;
    for (const char* p = extensions;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!current.empty())
                list.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current += *p;
        }
    }
    return list;
}

std::string FirstExtension(const char* extensions) {
    const std::vector<std::string> list = SplitExtensions(extensions);
    return list.empty() ? std::string() : list.front();
}

IBounds AreaWithoutHole(const IBounds& area, const IBounds& hole) {
    if (area.Empty() || hole.Empty())
        return area;
    const bool meets =
        hole.left < area.right && hole.right > area.left && hole.top < area.bottom && hole.bottom > area.top;
    if (!meets)
        return area;
    const bool coversWidth = hole.left <= area.left && hole.right >= area.right;
    const bool coversHeight = hole.top <= area.top && hole.bottom >= area.bottom;
    if (coversWidth && coversHeight)
        return {};
    IBounds rest = area;
    if (coversWidth) {
        if (hole.top <= area.top)
            rest.top = hole.bottom;
        else if (hole.bottom >= area.bottom)
            rest.bottom = hole.top;
    } else if (coversHeight) {
        if (hole.left <= area.left)
            rest.left = hole.right;
        else if (hole.right >= area.right)
            rest.right = hole.left;
    }
    return rest;
}
