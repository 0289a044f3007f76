#include "files.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {
namespace {

// The errno the C runtime would give for the system's last error, for callers
// that report failures with strerror.
void setErrnoFromLastError() {
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        errno = EACCES;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        errno = EEXIST;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        errno = ENOSPC;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        errno = ENAMETOOLONG;
        break;
    case ERROR_NOT_SAME_DEVICE:
        errno = EXDEV;
        break;
    default:
        errno = EIO;
        break;
    }
}

std::string narrow(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return {};
    }
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(length) - 1);
    return out;
}

// A handle that only answers questions about the file (or folder, or device).
HANDLE openForQuery(const std::string& path) {
    return ::CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

std::wstring WidePath(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const int size = static_cast<int>(path.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), size, out.data(), length);
    return out;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(WidePath(path).c_str(), wideMode.c_str());
}

bool RemoveFile(const std::string& path) {
    if (::DeleteFileW(WidePath(path).c_str())) {
        return true;
    }
    setErrnoFromLastError();
    return false;
}

// The file inherits the folder's access rights, as any new file there would;
// `access` has nothing more to say on Windows.
std::string CreateTemporaryBeside(const std::string& target, NewFileAccess) {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::uint64_t state = static_cast<std::uint64_t>(now.QuadPart) ^
                          (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
                          (++counter * 0x9E3779B9ull);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = target + ".vt4r-";
        for (int i = 0; i < 6; ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            name += "abcdefghijklmnopqrstuvwxyz0123456789"[(state >> 33) % 36];
        }
        const HANDLE file = ::CreateFileW(WidePath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return name;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    setErrnoFromLastError();
    return {};
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || !::FlushFileBuffers(handle)) {
        setErrnoFromLastError();
        return false;
    }
    return true;
}

bool ReplaceAtomically(const std::string& from, const std::string& to) {
    if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    setErrnoFromLastError();
    return false;
}

bool SameFile(const std::string& a, const std::string& b) {
    const HANDLE ha = openForQuery(a);
    if (ha == INVALID_HANDLE_VALUE) {
        return false;
    }
    const HANDLE hb = openForQuery(b);
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    const bool same = hb != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(ha, &ia) &&
                      ::GetFileInformationByHandle(hb, &ib) &&
                      ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                      ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
    if (hb != INVALID_HANDLE_VALUE) {
        ::CloseHandle(hb);
    }
    ::CloseHandle(ha);
    return same;
}

PathKind KindOfPath(const std::string& path) {
    const HANDLE h = openForQuery(path);
    if (h == INVALID_HANDLE_VALUE) {
        return PathKind::None;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool file = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
                      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ::CloseHandle(h);
    return file ? PathKind::File : PathKind::Other;
}

std::string LinkTarget(const std::string& path) {
    return path;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(narrow(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

bool IsTerminal(std::FILE* file) {
    // _isatty also says yes for NUL; only a console has a console mode.
    DWORD mode = 0;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void UseUtf8Console() {
    static const UINT previous = ::GetConsoleOutputCP();
    if (previous != 0 && previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        std::atexit([] { ::SetConsoleOutputCP(previous); });
    }
}

std::string Utf8FromWide(const wchar_t* text) {
    return narrow(text);
}

bool CreateFolders(const std::string& path) {
    // The wide form: a narrow path would be read in the legacy code page.
    const std::filesystem::path folder(WidePath(path));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

} // namespace platform
