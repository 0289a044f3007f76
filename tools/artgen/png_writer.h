#pragma once

#include <cairo.h>

#include <string>

namespace art {

// Writes an ARGB32 cairo surface as an 8-bit RGBA, non-interlaced PNG with straight alpha, whatever the
// content (cairo's own writer drops the alpha channel of opaque images). The output depends only on the
// pixels, so the same picture always gives the same bytes. Answers false and prints why on failure.
bool WriteRgbaPng(cairo_surface_t* surface, const std::string& path);

} // namespace art
