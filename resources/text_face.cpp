#include "resources/embedded.h"

extern const unsigned char vt4r_text_face[];
extern const std::size_t vt4r_text_face_size;

EmbeddedResource EmbeddedTextFace() {
    return {vt4r_text_face, vt4r_text_face_size};
}

const char* EmbeddedTextFaceName() {
    return VT4R_TEXT_FACE_NAME;
}
