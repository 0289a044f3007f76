#include "desktop_scale.h"

#include <cstdlib>

#include <FL/Fl.H>
#include <FL/x.H>

#include "graphics/desktop_scale.h"

double desktopScale() {
    fl_open_display();
    const char* resources = fl_display != nullptr ? XResourceManagerString(fl_display) : nullptr;
    return DesktopScaleFrom(resources, std::getenv("GDK_SCALE"));
}
