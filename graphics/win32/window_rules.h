#pragma once
#include <cstddef>
#include <string>

// The Win32 layer's own rules that need no window: virtual-key codes, the file
// dialog's filter and folders of backslash paths. The rules every window layer
// shares are in graphics/window_rules.h.

// The editor's code (IKeyCode) for a virtual-key code, -1 for a key that has none:
// only space, the four arrows, the main digit row and the letters have one.
int KeyCodeForVirtualKey(unsigned int virtualKey);

// "wav aif" -> "*.wav;*.aif": the description and the pattern of the file dialog's one
// filter; empty for no extensions.
std::string FileDialogPattern(const char* extensions);

// `path` up to and including its last backslash, or empty when it has none or the
// folder would be longer than `limit` characters (a cut folder would name the wrong place).
std::string FolderOfWindowsPath(const std::string& path, std::size_t limit);
