#pragma once
#include "raster/png_decode.h"

// The program's own images (compiled into the executable) as a resource module for
// the raster loader: the view's default module instance.
RasterResourceBytes EmbeddedImageLookup(int id);
