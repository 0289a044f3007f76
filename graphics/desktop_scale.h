#pragma once

// The desktop's scale for the editor, as GTK programs read it: GDK_SCALE (a whole factor)
// when set, else the X resource Xft.dpi over 96; 1 when neither says. Conformed to the
// editor's steps (ConformEditorScale). Either string may be null. No window system here:
// the caller fetches the resource manager's string from its own display connection.
double DesktopScaleFrom(const char* xResources, const char* gdkScale);
