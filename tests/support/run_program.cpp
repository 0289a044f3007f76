#include "run_program.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/files.h"

namespace {

// One argument as the C runtime and CommandLineToArgvW split it again:
// backslashes are literal except before a double quote.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

} // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder) {
    ProgramResult result;
    std::wstring commandLine = quoted(platform::WidePath(program));
    for (const std::string& arg : arguments) {
        commandLine += L" " + quoted(platform::WidePath(arg));
    }

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readErrors = nullptr, writeErrors = nullptr;
    if (!::CreatePipe(&readErrors, &writeErrors, &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(readErrors, HANDLE_FLAG_INHERIT, 0);
    HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null;
    startup.hStdOutput = null;
    startup.hStdError = writeErrors;
    PROCESS_INFORMATION process{};
    const std::wstring wideFolder = platform::WidePath(folder);
    const bool started =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         folder.empty() ? nullptr : wideFolder.c_str(), &startup, &process) != 0;
    // Only the child holds the pipe's writing end now, so reading ends when it does.
    ::CloseHandle(writeErrors);
    ::CloseHandle(null);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readErrors, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            result.errors.append(buffer, got);
        }
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        // Codes from 0xC0000000 are the system's for a crash, not the program's own.
        if (::GetExitCodeProcess(process.hProcess, &code) && code < 0xC0000000) {
            result.exitCode = static_cast<int>(code);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readErrors);
    return result;
}

#else

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder) {
    ProgramResult result;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : arguments) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(errors[1], 2) < 0 ||
            (!folder.empty() && ::chdir(folder.c_str()) != 0)) {
            ::_exit(127);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(errors[1]);
    if (child > 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(errors[0], buffer, sizeof buffer);
            if (got > 0) {
                result.errors.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                break;
            }
        }
        int status = 0;
        pid_t waited;
        while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
        }
        if (waited == child && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
    }
    ::close(errors[0]);
    return result;
}

#endif
