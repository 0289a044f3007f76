#pragma once
#include <cstdint>

#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"
#include "raster/bitmap.h"

// The X11 layer's own rules that need no display: keysyms, event state bits, clicks and
// pixel packing. Those every window layer shares are in graphics/window_rules.h.

// The editor's code (IKeyCode) for an unshifted keysym (XLookupKeysym(event, 0)), -1 for
// a key that has none: only space, the four arrows, the main digit row and the letters.
int KeyCodeForX11Keysym(unsigned long keysym);

// Button and key state from an event's `state` bits. Those bits tell the state before
// the event, so a press adds its own button and a release takes it away.
IModifierKeys ModifiersFromX11State(unsigned int state);
unsigned int X11StateWithButton(unsigned int state, int button, bool pressed);
// True while a button that drags (1, 2 or 3) is held.
bool X11StateHasDragButton(unsigned int state);

// Buttons 4 and 5 are the wheel: one notch away from (+1) or toward (-1) the user.
int WheelNotchesFromX11Button(int button);

// One press as the double-click rule sees it; `timeMs` wraps as X server time does.
struct X11Press {
    int button = 0;
    std::uint32_t timeMs = 0;
    int x = 0;
    int y = 0;
};
constexpr std::uint32_t kDoubleClickMs = 400;
constexpr int kDoubleClickPixels = 4;
// Whether `next` is the second press of a double click begun by `first`.
bool IsSecondPress(const X11Press& first, const X11Press& next);

// How a TrueColor visual packs red, green and blue; bits outside the three masks (the
// alpha of a 32-bit visual) are set, so the window shows opaque.
struct X11PixelFormat {
    int redShift = 16;
    int greenShift = 8;
    int blueShift = 0;
    int redBits = 8;
    int greenBits = 8;
    int blueBits = 8;
    std::uint32_t extra = 0;
};
X11PixelFormat X11PixelFormatFromMasks(unsigned long red, unsigned long green, unsigned long blue, int depth);
std::uint32_t X11PixelFromRaster(RasterPixel pixel, const X11PixelFormat& format);
