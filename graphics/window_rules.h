#pragma once
#include <string>
#include <vector>

#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"

class IPopupMenu;

// The window layers' rules that know no window system: wheel notches, the timer
// period, the text box's character filter and popup menu texts. Each platform's
// own rules (its key codes, its event bits, its file patterns) live beside its layer.

// How a toolkit names the keys that have an IKeyCode besides the digits and letters,
// which every toolkit here names by their ASCII codes.
struct KeySymbols {
    unsigned long space;
    unsigned long up;
    unsigned long down;
    unsigned long left;
    unsigned long right;
    bool lowerCaseLetters; // 'a'..'z' are letters too (on Win32 they are keypad keys)
};
// The editor's code (IKeyCode) for `key`, -1 for a key that has none: only space, the
// four arrows, the main digit row and the letters have one.
int KeyCodeForKey(unsigned long key, const KeySymbols& symbols);

// The bits of a toolkit's button and key state word.
struct ModifierMasks {
    unsigned long left;
    unsigned long right;
    unsigned long shift;
    unsigned long control;
    unsigned long alt;
};
IModifierKeys ModifiersFromMask(unsigned long state, const ModifierMasks& masks);

// Notches for a signed 16-bit wheel delta of 120 per notch (positive away from the
// user), truncated toward zero: 60 gives 0, -240 gives -2.
int WheelNotchesFromDelta(int delta);

// Repaint timer period in whole milliseconds: trunc(1000 / rate); 40 at 25 per second.
int TimerPeriodMs(double framesPerSecond);

// Whether a text box for a parameter of `kind` takes the typed character `c`.
// Backspace always passes; whole-number kinds take digits and signs, Number adds the
// point; kinds without a rule take anything.
bool TextBoxAcceptsChar(int kind, unsigned char c);

// One line of a popup menu as shown: items with a submenu are left out and a
// separator becomes a divider under the line before it.
struct PopupLine {
    std::string text; // numbered when the menu asks for it; not escaped for any toolkit
    int command = 0;  // the item's 1-based position in the menu
    bool divider = false;
    bool inactive = false;
    bool checked = false;
};
std::vector<PopupLine> BuildPopupLines(const IPopupMenu& menu);

// `path` up to and including its last `separator`, or empty when it has none or the
// folder would be longer than `limit` characters (a cut folder would name the wrong place).
std::string FolderOf(const std::string& path, char separator, std::size_t limit);

// The extensions of a space-separated list ("wav aif"), empty ones dropped.
std::vector<std::string> SplitExtensions(const char* extensions);
// The first extension of a space-separated list ("" when none).
std::string FirstExtension(const char* extensions);

// The bounding box of `area` with `hole` taken out: `area` itself unless the hole
// covers it whole (empty) or cuts off a full strip along one side.
IBounds AreaWithoutHole(const IBounds& area, const IBounds& hole);
