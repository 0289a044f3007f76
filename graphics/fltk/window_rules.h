#pragma once
#include <cstddef>
#include <string>

#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"

// The FLTK layer's own rules that need no display: FLTK key codes and event bits, menu
// labels, file patterns and folders. Those every window layer shares are in
// graphics/window_rules.h.

// The editor's code (IKeyCode) for an FLTK key (Fl::event_key()), -1 for a key that
// has none: only space, the four arrows, the main digit row and the letters have one.
int KeyCodeForFltkKey(int key);

// FLTK reports +1 per notch toward the user, so a notch away is -event_dy.
int WheelNotchesFromFltk(int eventDy);

// Button and key state from Fl::event_state() bits.
IModifierKeys ModifiersFromFltkState(int state);

// A label FLTK draws as written: '&' would mark a shortcut and '@' a symbol.
std::string EscapeMenuLabel(const std::string& text);

// "wav aif" -> "*.{wav,aif}", "wav" -> "*.wav"; empty for no extensions.
std::string FileChooserPattern(const char* extensions);

// `path` up to and including its last '/', or empty when it has none or the folder
// would be longer than `limit` characters (a cut folder would name the wrong place).
std::string FolderOfPath(const std::string& path, std::size_t limit);
