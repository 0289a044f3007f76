#pragma once
// UTF-8 names to and from std::filesystem, which on Windows would otherwise
// read and write narrow strings in the legacy code page.
#include <filesystem>
#include <string>

inline std::filesystem::path PathFromUtf8(const std::string& name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}
