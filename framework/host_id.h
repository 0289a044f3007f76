#pragma once
#include <cstddef>
#include <cstdint>

// Host id for a host's product name: the first key of the host table found
// anywhere in the name (ASCII-lower-cased, first 255 characters), else 0.
// A null name is empty.
std::int32_t LookUpHostId(const char* hostName);

// "v<major>.<minor>.<patch>" for a packed version (major in bits 16..31).
void FormatHostVersion(std::int32_t version, char* out, std::size_t size);
