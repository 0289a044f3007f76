#pragma once

// The desktop's scale (graphics/desktop_scale.h) from this process's GDK_SCALE and the
// X server's resource database as it stands now. Opens a short connection of its own, so
// a plug-in can ask before its window exists; 1 without a display.
double ReadDesktopScale();
