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
#include <cmath>
#include <mutex>
#include <vector>

#include "formats/common/host_parameters.h"
#include "graphics/view_factory.h"
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

EditorBridge::EditorBridge(EditorEdits& edits) : mEdits(edits) {
    // This module's own copy of the factory: its plug-in objects get Win32 editors.
    SetEditorViewFactory(CreateEditorWindowView);
    IHostRecord record;
    record.hostName = "editor";
    record.edits = this;
    mPlugin = CreatePlugin(record);
    mView = dynamic_cast<IEditorWindow*>(mPlugin->Editor());
}

EditorBridge::~EditorBridge() {
    Close();
    mPlugin.reset();
}

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

bool EditorBridge::IsOpen() const {
    return mOpen;
}

void* EditorBridge::Window() const {
    return mOpen ? mView->WindowHandle() : nullptr;
}

int EditorBridge::Width() const {
    return mView != nullptr ? mView->DeviceWidth() : 0;
}

int EditorBridge::Height() const {
    return mView != nullptr ? mView->DeviceHeight() : 0;
}

void EditorBridge::SetScale(double scale) {
    if (mView != nullptr)
        mView->SetWindowScale(scale);
}

void EditorBridge::ShowValue(std::int32_t index, double plain) {
    IParameter* param = mPlugin->Param(index);
    if (param == nullptr || mView == nullptr || index >= kNumParams)
        return;
    std::lock_guard<PluginLock> lock(mPlugin->Lock());
    param->SetClamped(ConformValue(*mPlugin, index, plain));
    mView->PushParameterValue(index, param->Value(), false);
}

void EditorBridge::ShowNeedle(double position) {
    if (mView == nullptr)
        return;
    const double needle = std::isfinite(position) ? std::fmin(std::fmax(position, 0.0), 1.0) : 0.0;
    mView->PushParameterValue(kMeterParamIdx, needle, true);
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

void EditorBridge::BeginEdit(std::int32_t index) {
    mEdits.BeginEdit(index);
}

void EditorBridge::Edit(std::int32_t index, double) {
    if (const IParameter* param = mPlugin->Param(index))
        mEdits.Edit(index, param->Value());
}

void EditorBridge::EndEdit(std::int32_t index) {
    mEdits.EndEdit(index);
}

} // namespace vt4r_formats
