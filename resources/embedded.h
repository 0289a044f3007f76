#pragma once

#include <cstddef>

// Files compiled into the executable: the editor's PNG images, found by their integer id (101 to
// 107), and the font file its texts are drawn with. The bytes live for the whole run of the program.
struct EmbeddedResource {
    const unsigned char* data;
    std::size_t size;
};

// Answers {nullptr, 0} for an unknown id. In vt4r_resources.
EmbeddedResource FindEmbeddedResource(int id);

// The text face (an OpenType file) and the name of the file it was built from, such as
// "NimbusSans-Bold.otf". In vt4r_text_face.
EmbeddedResource EmbeddedTextFace();
const char* EmbeddedTextFaceName();
