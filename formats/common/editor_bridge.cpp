// What the editor bridge does alike on every platform; opening, closing and idling the
// window are the window layer's (editor_bridge_x11.cpp, editor_bridge_win32.cpp).
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#endif
#include "formats/common/editor_bridge.h"

#include <cmath>
#include <mutex>
#include <type_traits>

#include "formats/common/host_parameters.h"
#include "graphics/view_factory.h"
#ifdef _WIN32
#include "graphics/win32/editor_window.h"
#else
#include "graphics/x11/editor_window.h"
#endif

namespace vt4r_formats {

EditorBridge::EditorBridge(EditorEdits& edits) : mEdits(edits) {
    // This module's own copy of the factory: its plug-in objects get editors of the
    // host platform's window layer.
#ifdef _WIN32
    SetEditorViewFactory(CreateEditorWindowView);
#else
    SetEditorViewFactory(CreateX11EditorWindowView);
#endif
    IHostRecord record;
    record.hostName = "editor";
    record.edits = this;
    mPlugin = CreatePlugin(record);
    mView = dynamic_cast<std::remove_pointer_t<decltype(mView)>*>(mPlugin->Editor());
}

EditorBridge::~EditorBridge() {
    Close();
    mPlugin.reset();
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
