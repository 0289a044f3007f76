// Where no editor is built (no X11 window layer): the plug-in offers no gui.
#include "formats/clap/plugin_clap.h"

namespace vt4r_clap {

class Editor {};

const clap_plugin_gui_t* GuiExtension() {
    return nullptr;
}

const clap_plugin_timer_support_t* TimerExtension() {
    return nullptr;
}

void RefreshEditor(Instance&) {}

void DestroyEditor(Instance& instance) {
    delete instance.editor;
    instance.editor = nullptr;
}

} // namespace vt4r_clap
