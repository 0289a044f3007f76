// The editor bridge on Windows: the panel as a Win32 child window of the host's window.
// The host's message loop delivers the window's input and its repaint timer, so Idle has
// nothing to pump; a second timer on the same window asks the adapter to show the host's
// values, since Windows hosts offer plug-ins no run loop of their own.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "formats/common/editor_bridge.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "graphics/win32/editor_window.h"

namespace vt4r_formats {

namespace {

// Beside the window's own repaint timer (IEditorWindow::kTimerId).
constexpr UINT_PTR kFollowTimerId = 3;
// About 33 ticks a second, faster than the 25 the repaint timer needs.
constexpr UINT kFollowTimerMs = 30;

// The open bridges of this module, for the timer procedure to find its own. Only the
// host's UI thread touches it.
std::vector<EditorBridge*>& OpenBridges() {
    static std::vector<EditorBridge*> bridges;
    return bridges;
}

} // namespace

// The timer procedure is called by DispatchMessage, never through the window procedure.
struct FollowTimer {
    static void CALLBACK Fire(HWND window, UINT, UINT_PTR, DWORD) {
        for (EditorBridge* bridge : OpenBridges())
            if (bridge->Window() == window) {
                bridge->mEdits.Tick();
                return;
            }
    }
};

bool EditorBridge::Open(void* parent) {
    if (mView == nullptr || parent == nullptr || !IsWindow(static_cast<HWND>(parent)))
        return false;
    Close();
    const HWND window = static_cast<HWND>(mView->OpenEditorWindow(parent));
    if (window == nullptr)
        return false;
    mOpen = true;
    OpenBridges().push_back(this);
    SetTimer(window, kFollowTimerId, kFollowTimerMs, &FollowTimer::Fire);
    return true;
}

void EditorBridge::Close() {
    if (!mOpen)
        return;
    auto& bridges = OpenBridges();
    bridges.erase(std::remove(bridges.begin(), bridges.end(), this), bridges.end());
    // Gone already when the host destroyed its window first; its timers went with it.
    if (const HWND window = mView->Window())
        KillTimer(window, kFollowTimerId);
    mView->CloseEditorWindow();
    mOpen = false;
}

int EditorBridge::Idle() {
    return mOpen && mView->Window() != nullptr ? 0 : 1;
}

int EditorBridge::EventFd() const {
    return -1;
}

bool EditorBridge::TicksItself() {
    return true;
}

} // namespace vt4r_formats
