#pragma once

#include <cstddef>

// The editor's PNG images, compiled into the executable and found by their integer id (101 to 107).
struct EmbeddedResource {
    const unsigned char* data;
    std::size_t size;
};

// Answers {nullptr, 0} for an unknown id. The bytes live for the whole run of the program.
EmbeddedResource FindEmbeddedResource(int id);
