#include "graphics/x11/window_rules.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include <bit>

#include "graphics/window_rules.h"

int KeyCodeForX11Keysym(unsigned long keysym) {
    // Latin keysyms are their ASCII codes; the keypad's digits are XK_KP_0.. apart.
    static constexpr KeySymbols kSymbols{XK_space, XK_Up, XK_Down, XK_Left, XK_Right, true};
    return KeyCodeForKey(keysym, kSymbols);
}

IModifierKeys ModifiersFromX11State(unsigned int state) {
    return ModifiersFromMask(state, {Button1Mask, Button3Mask, ShiftMask, ControlMask, Mod1Mask});
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
