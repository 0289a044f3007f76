// The editor bridge on Linux: the host calls Idle, which pumps the window's private X
// connection and runs its repaint timer.
#include "formats/common/editor_bridge.h"

#include "graphics/x11/editor_window.h"

namespace vt4r_formats {

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

} // namespace vt4r_formats
