#include "graphics/x11/window_rules.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include <bit>

int KeyCodeForX11Keysym(unsigned long keysym) {
    switch (keysym) {
    case XK_space:
        return KeySpace;
    case XK_Up:
        return KeyUp;
    case XK_Down:
        return KeyDown;
    case XK_Left:
        return KeyLeft;
    case XK_Right:
        return KeyRight;
    default:
        break;
    }
    // The keypad's digits are XK_KP_0.. and fall outside both ranges.
    if (keysym >= XK_0 && keysym <= XK_9)
        return KeyDigit0 + static_cast<int>(keysym - XK_0);
    if (keysym >= XK_a && keysym <= XK_z)
        return KeyLetterA + static_cast<int>(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z)
        return KeyLetterA + static_cast<int>(keysym - XK_A);
    return -1;
}

IModifierKeys ModifiersFromX11State(unsigned int state) {
    IModifierKeys mods;
    mods.left = (state & Button1Mask) != 0;
    mods.right = (state & Button3Mask) != 0;
    mods.shift = (state & ShiftMask) != 0;
    mods.control = (state & ControlMask) != 0;
    mods.alt = (state & Mod1Mask) != 0;
    return mods;
}

unsigned int X11StateWithButton(unsigned int state, int button, bool pressed) {
    if (button < 1 || button > 5)
        return state;
    const unsigned int mask = Button1Mask << (button - 1);
    return pressed ? state | mask : state & ~mask;
}

bool X11StateHasDragButton(unsigned int state) {
    return (state & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}

int WheelNotchesFromX11Button(int button) {
    if (button == Button4)
        return 1;
    if (button == Button5)
        return -1;
    return 0;
}

bool IsSecondPress(const X11Press& first, const X11Press& next) {
    if (first.button != next.button)
        return false;
    const std::uint32_t elapsed = next.timeMs - first.timeMs; // wraps with server time
    if (elapsed > kDoubleClickMs)
        return false;
    const int dx = next.x - first.x;
    const int dy = next.y - first.y;
    return dx >= -kDoubleClickPixels && dx <= kDoubleClickPixels && dy >= -kDoubleClickPixels &&
           dy <= kDoubleClickPixels;
}

X11PixelFormat X11PixelFormatFromMasks(unsigned long red, unsigned long green, unsigned long blue,
                                       int depth) {
    X11PixelFormat format;
    auto place = [](unsigned long mask, int& shift, int& bits) {
        const auto m = static_cast<std::uint32_t>(mask);
        shift = m ? std::countr_zero(m) : 0;
        bits = std::popcount(m);
        if (bits > 8) { // wider channels keep their top 8 bits filled
            shift += bits - 8;
            bits = 8;
        }
    };
    place(red, format.redShift, format.redBits);
    place(green, format.greenShift, format.greenBits);
    place(blue, format.blueShift, format.blueBits);
    const std::uint32_t used = static_cast<std::uint32_t>(red | green | blue);
    const std::uint32_t all = depth >= 32 ? 0xFFFFFFFFu : ((1u << depth) - 1u);
    format.extra = all & ~used;
    return format;
}

std::uint32_t X11PixelFromRaster(RasterPixel pixel, const X11PixelFormat& f) {
    const std::uint32_t r = (pixel >> 16) & 0xFF;
    const std::uint32_t g = (pixel >> 8) & 0xFF;
    const std::uint32_t b = pixel & 0xFF;
    return ((r >> (8 - f.redBits)) << f.redShift) | ((g >> (8 - f.greenBits)) << f.greenShift) |
           ((b >> (8 - f.blueBits)) << f.blueShift) | f.extra;
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
