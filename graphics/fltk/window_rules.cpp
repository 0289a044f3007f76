#include "graphics/fltk/window_rules.h"

#include <FL/Enumerations.H>

#include <vector>

#include "graphics/window_rules.h"

int KeyCodeForFltkKey(int key) {
    // FLTK names letter keys by their lower-case keysym.
    static constexpr KeySymbols kSymbols{' ', FL_Up, FL_Down, FL_Left, FL_Right, true};
    return key < 0 ? -1 : KeyCodeForKey(static_cast<unsigned long>(key), kSymbols);
}

int WheelNotchesFromFltk(int eventDy) {
    return -eventDy;
}

IModifierKeys ModifiersFromFltkState(int state) {
    return ModifiersFromMask(static_cast<unsigned int>(state), {FL_BUTTON1, FL_BUTTON3, FL_SHIFT, FL_CTRL, FL_ALT});
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
    return FolderOf(path, '/', limit);
}
