#pragma once
// A plug-in's binary opened as hosts open it: dlopen on Linux, LoadLibraryW on Windows
// (the path is UTF-8 either way).
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace plugin_module {

#ifdef _WIN32
inline void* Open(const std::string& path, std::string& error) {
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
    if (!wide.empty())
        wide.pop_back(); // the terminator
    HMODULE module = LoadLibraryW(wide.c_str());
    if (module == nullptr)
        error = "LoadLibraryW failed with error " + std::to_string(GetLastError()) + ": " + path;
    return module;
}
inline void* Symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
inline void Close(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}
#else
inline void* Open(const std::string& path, std::string& error) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        error = ::dlerror();
    return module;
}
inline void* Symbol(void* module, const char* name) {
    return ::dlsym(module, name);
}
inline void Close(void* module) {
    ::dlclose(module);
}
#endif

} // namespace plugin_module
