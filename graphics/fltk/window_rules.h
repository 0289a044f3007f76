#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"

class IPopupMenu;

// The window layer's rules that need no display: key codes, wheel notches, the timer
// period, popup menu texts, the text box's character filter and the like.

// The editor's code (IKeyCode) for an FLTK key (Fl::event_key()), -1 for a key that
// has none: only space, the four arrows, the main digit row and the letters have one.
int KeyCodeForFltkKey(int key);

// Notches for a signed 16-bit wheel delta of 120 per notch (positive away from the
// user), truncated toward zero: 60 gives 0, -240 gives -2.
int WheelNotchesFromDelta(int delta);
// FLTK reports +1 per notch toward the user, so a notch away is -event_dy.
int WheelNotchesFromFltk(int eventDy);

// Repaint timer period in whole milliseconds: trunc(1000 / rate); 40 at 25 per second.
int TimerPeriodMs(double framesPerSecond);

// Button and key state from Fl::event_state() bits.
IModifierKeys ModifiersFromFltkState(int state);

// Whether a text box for a parameter of `kind` takes the typed character `c`.
// Backspace always passes; whole-number kinds take digits and signs, Number adds the
// point; kinds without a rule take anything.
bool TextBoxAcceptsChar(int kind, unsigned char c);

// One line of a popup menu as shown: items with a submenu are left out and a
// separator becomes a divider under the line before it.
struct PopupLine {
    std::string text; // numbered when the menu asks for it; not escaped for FLTK
    int command = 0;  // the item's 1-based position in the menu
    bool divider = false;
    bool inactive = false;
    bool checked = false;
};
std::vector<PopupLine> BuildPopupLines(const IPopupMenu& menu);

// A label FLTK draws as written: '&' would mark a shortcut and '@' a symbol.
std::string EscapeMenuLabel(const std::string& text);

// "wav aif" -> "*.{wav,aif}", "wav" -> "*.wav"; empty for no extensions.
std::string FileChooserPattern(const char* extensions);
// The first extension of a space-separated list ("" when none).
std::string FirstExtension(const char* extensions);

// `path` up to and including its last '/', or empty when it has none or the folder
// would be longer than `limit` characters (a cut folder would name the wrong place).
std::string FolderOfPath(const std::string& path, std::size_t limit);

// The bounding box of `area` with `hole` taken out: `area` itself unless the hole
// covers it whole (empty) or cuts off a full strip along one side.
IBounds BoundingBoxWithout(const IBounds& area, const IBounds& hole);
