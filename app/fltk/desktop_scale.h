#pragma once

// The desktop's scale for the editor (graphics/desktop_scale.h) from this process's
// environment and the display FLTK opened (opened here if not yet).
double desktopScale();
