#include "single_instance.h"

#include <windows.h>

namespace {

constexpr const char* kName = "VT4R";

void raiseWindow() {
    if (HWND window = ::FindWindowA(nullptr, kName)) {
        if (::IsIconic(window)) {
            ::ShowWindow(window, SW_RESTORE);
        }
        ::SetForegroundWindow(window);
    }
}

} // namespace

namespace single_instance {

bool raiseRunningInstance() {
    if (HANDLE existing = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kName)) {
        ::CloseHandle(existing);
        raiseWindow();
        return true;
    }
    // Kept open, never owned: the name stays taken while we run. Two starts
    // at the same moment both pass the check above; the second to create the
    // mutex learns it already exists and gives way too.
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, kName);
    if (mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        raiseWindow();
        return true;
    }
    return false;
}

} // namespace single_instance
