#include "graphics/x11/desktop_scale.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "graphics/desktop_scale.h"

double ReadDesktopScale() {
    const char* gdkScale = std::getenv("GDK_SCALE");
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return DesktopScaleFrom(nullptr, gdkScale);
    // The root window's property, not XResourceManagerString: that one is the copy taken
    // when some connection opened, and a host may have kept its own for hours.
    std::string resources;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, 0, 1 << 20, False, XA_STRING,
                           &type, &format, &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (type == XA_STRING && format == 8)
            resources.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    XCloseDisplay(display);
    return DesktopScaleFrom(resources.c_str(), gdkScale);
}
