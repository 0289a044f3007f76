#include <cstdlib>

#include "settings.h"

std::optional<std::string> settingsPath() {
    return settingsPathFrom(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}
