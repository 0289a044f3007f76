#include "graphics/desktop_scale.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/editor_scale.h"

namespace {

// A positive number filling all of `text`, else 0.
double PositiveNumber(const std::string& text) {
    if (text.empty())
        return 0.0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && value > 0.0 && value < 1e6 ? value : 0.0;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

double DesktopScaleFrom(const char* xResources, const char* gdkScale) {
    if (gdkScale != nullptr) {
        const double factor = PositiveNumber(Trimmed(gdkScale));
        if (factor >= 1.0)
            return ConformEditorScale(static_cast<double>(static_cast<long>(factor)));
    }
    // The resource manager's string: one "name:\tvalue" per line; the last Xft.dpi counts.
    double dpi = 0.0;
    for (const char* line = xResources; line != nullptr && *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        const std::string entry(line, end ? static_cast<std::size_t>(end - line) : std::strlen(line));
        const std::size_t colon = entry.find(':');
        if (colon != std::string::npos && Trimmed(entry.substr(0, colon)) == "Xft.dpi")
            dpi = PositiveNumber(Trimmed(entry.substr(colon + 1)));
        line = end ? end + 1 : nullptr;
    }
    return dpi > 0.0 ? ConformEditorScale(dpi / 96.0) : 1.0;
}
