#pragma once

// The desktop's scale for the editor, as GTK programs read it: GDK_SCALE (a whole factor)
// when set, else the X resource Xft.dpi over 96; 1 when neither says. Conformed to the
// editor's steps (ConformEditorScale).
double desktopScaleFrom(const char* xResources, const char* gdkScale);
// The same from this process's environment and the display FLTK opened (opened here if not yet).
double desktopScale();
