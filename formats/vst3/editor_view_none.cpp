// Where the editor has no window layer yet, hosts get no view and show their own controls.
#include "formats/vst3/vst3_plugin.h"

namespace vt4r_vst3 {

Steinberg::IPlugView* CreateEditorView(Controller&) {
    return nullptr;
}

} // namespace vt4r_vst3
