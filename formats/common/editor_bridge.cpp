#include "formats/common/editor_bridge.h"

#include <cmath>
#include <mutex>

#include "formats/common/host_parameters.h"
#include "graphics/view_factory.h"
#include "graphics/x11/editor_window.h"

namespace vt4r_formats {

EditorBridge::EditorBridge(EditorEdits& edits) : mEdits(edits) {
    // This module's own copy of the factory: its plug-in objects get X11 editors.
    SetEditorViewFactory(CreateX11EditorWindowView);
    IHostRecord record;
    record.hostName = "editor";
    record.edits = this;
    mPlugin = CreatePlugin(record);
    mView = dynamic_cast<IX11EditorWindow*>(mPlugin->Editor());
}

EditorBridge::~EditorBridge() {
    Close();
    mPlugin.reset();
}

bool EditorBridge::Open(void* parent) {
    if (mView == nullptr || parent == nullptr)
        return false;
    mOpen = mView->OpenEditorWindow(parent) != nullptr;
    return mOpen;
}

void EditorBridge::Close() {
    if (mView != nullptr && mOpen)
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
    if (!mOpen)
        return 1;
    return mView->Idle();
}

bool EditorBridge::TicksItself() {
    return false;
}

int EditorBridge::EventFd() const {
    return mOpen ? mView->ConnectionFd() : -1;
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
