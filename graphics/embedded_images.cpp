#include "graphics/embedded_images.h"

#include "resources/embedded.h"

RasterResourceBytes EmbeddedImageLookup(int id) {
    const EmbeddedResource resource = FindEmbeddedResource(id);
    return {resource.data, resource.size};
}
