// The LV2 editor: the same editor view as the standalone, in the host's window through
// the X11 window layer. It runs on a plug-in object of its own that never processes
// audio, so it needs nothing of the DSP instance (a host may run that elsewhere): knob
// edits leave as port writes wrapped in touch gestures, port events come back as
// values for the knobs, the switch and the needle.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "formats/common/editor_bridge.h"
#include "formats/lv2/ports.h"
#include "graphics/x11/desktop_scale.h"

namespace {

using namespace vt4r_lv2;

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, uri) == 0)
            return (*features)->data;
    return nullptr;
}

// The host's ui:scaleFactor among its options, 0 when it gives none.
double HostScaleFactor(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
    if (map == nullptr || options == nullptr)
        return 0.0;
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = map->map(map->handle, LV2_ATOM__Double);
    for (const LV2_Options_Option* option = options; option->key != 0 || option->value != nullptr; ++option) {
        if (option->key != key || option->value == nullptr)
            continue;
        if (option->type == floatType && option->size == sizeof(float))
            return *static_cast<const float*>(option->value);
        if (option->type == doubleType && option->size == sizeof(double))
            return *static_cast<const double*>(option->value);
    }
    return 0.0;
}

class Vt4rLv2Ui : public vt4r_formats::EditorEdits {
  public:
    Vt4rLv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2_Feature* const* features)
        : mWrite(write), mController(controller),
          mTouch(static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch))),
          mResize(static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize))),
          mScale(HostScaleFactor(features)) {}

    // False when there is no parent window or no display. A host that gives no scale
    // leaves it to the desktop, as its other editors would look on that screen.
    bool Open(void* parent) {
        mEditor.SetScale(mScale > 0.0 ? mScale : ReadDesktopScale());
        if (!mEditor.Open(parent))
            return false;
        if (mResize != nullptr)
            mResize->ui_resize(mResize->handle, mEditor.Width(), mEditor.Height());
        return true;
    }

    void* Widget() { return mEditor.Window(); }

    void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        if (format != 0 || size != sizeof(float) || buffer == nullptr)
            return;
        const float value = *static_cast<const float*>(buffer);
        if (port == kNeedlePort) {
            mEditor.ShowNeedle(value);
            return;
        }
        const std::int32_t index = ParameterOfPort(port);
        if (const IParameter* param = mEditor.Plugin().Param(index))
            mEditor.ShowValue(index, PlainFromPort(*param, value));
    }

    int Idle() { return mEditor.Idle(); }

    // ---- the editor's edits, to the host ----
    void BeginEdit(std::int32_t index) override { Touch(index, true); }
    void EndEdit(std::int32_t index) override { Touch(index, false); }
    void Edit(std::int32_t index, double plain) override {
        if (ParameterOfPort(PortOfParameter(index)) != index)
            return;
        const float value = static_cast<float>(plain);
        mWrite(mController, PortOfParameter(index), sizeof value, 0, &value);
    }

  private:
    void Touch(std::int32_t index, bool grabbed) {
        if (mTouch != nullptr && ParameterOfPort(PortOfParameter(index)) == index)
            mTouch->touch(mTouch->handle, PortOfParameter(index), grabbed);
    }

    LV2UI_Write_Function mWrite;
    LV2UI_Controller mController;
    const LV2UI_Touch* mTouch;
    const LV2UI_Resize* mResize;
    double mScale; // the host's, 0 when it gives none
    vt4r_formats::EditorBridge mEditor{*this};
};

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr)
        return nullptr;
    try {
        auto ui = std::make_unique<Vt4rLv2Ui>(write, controller, features);
        if (!ui->Open(const_cast<void*>(FindFeature(features, LV2_UI__parent)))) {
            std::fprintf(stderr, "VT4R: the editor needs an X11 parent window and a display\n");
            return nullptr;
        }
        *widget = ui->Widget();
        return ui.release();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "VT4R: the editor could not open: %s\n", e.what());
        return nullptr;
    }
}

void Cleanup(LV2UI_Handle handle) {
    delete static_cast<Vt4rLv2Ui*>(handle);
}

void PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    static_cast<Vt4rLv2Ui*>(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
    return static_cast<Vt4rLv2Ui*>(handle)->Idle();
}

const void* ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle = {Idle};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &idle;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
