#include "graphics/fltk/window_rules.h"

#include <FL/Enumerations.H>

#include <vector>

#include "graphics/window_rules.h"

int KeyCodeForFltkKey(int key) {
    switch (key) {
    case ' ':
        return KeySpace;
    case FL_Up:
        return KeyUp;
    case FL_Down:
        return KeyDown;
    case FL_Left:
        return KeyLeft;
    case FL_Right:
        return KeyRight;
    default:
        break;
    }
    // Keypad digits are FL_KP + '0'.. and fall outside both ranges.
    if (key >= '0' && key <= '9')
        return KeyDigit0 + (key - '0');
    // FLTK names letter keys by their lower-case keysym.
    if (key >= 'a' && key <= 'z')
        return KeyLetterA + (key - 'a');
    if (key >= 'A' && key <= 'Z')
        return KeyLetterA + (key - 'A');
    return -1;
}

int WheelNotchesFromFltk(int eventDy) {
    return -eventDy;
}

IModifierKeys ModifiersFromFltkState(int state) {
    IModifierKeys mods;
    mods.left = (state & FL_BUTTON1) != 0;
    mods.right = (state & FL_BUTTON3) != 0;
    mods.shift = (state & FL_SHIFT) != 0;
    mods.control = (state & FL_CTRL) != 0;
    mods.alt = (state & FL_ALT) != 0;
    return mods;
}

std::string EscapeMenuLabel(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        escaped += c;
        if (c == '&' || c == '@')
            escaped += c;
    }
    return escaped;
}

std::string FileChooserPattern(const char* extensions) {
    const std::vector<std::string> list = SplitExtensions(extensions);
    if (list.empty())
        return {};
    if (list.size() == 1)
        return "*." + list.front();
    std::string pattern = "*.{";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            pattern += ',';
        pattern += list[i];
    }
    pattern += '}';
    return pattern;
}

std::string FolderOfPath(const std::string& path, std::size_t limit) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 > limit)
        return {};
    return path.substr(0, slash + 1);
}

IBounds BoundingBoxWithout(const IBounds& area, const IBounds& hole) {
    if (area.Empty() || hole.Empty())
        return area;
    const bool coversWidth = hole.left <= area.left && hole.right >= area.right;
    const bool coversHeight = hole.top <= area.top && hole.bottom >= area.bottom;
    const bool meets =
        hole.left < area.right && hole.right > area.left && hole.top < area.bottom && hole.bottom > area.top;
    if (!meets)
        return area;
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
