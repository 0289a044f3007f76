#include <windows.h>

#include <shlobj.h>

#include "platform/files.h"
#include "settings.h"

std::optional<std::string> settingsPath() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        folder[0] == L'\0') {
        return std::nullopt;
    }
    std::string path = platform::Utf8FromWide(folder);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
        path.pop_back();
    }
    return path + "\\VT4R\\settings.ini";
}
