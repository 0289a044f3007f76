#include "plugin/editor_layout.h"

#include "graphics/bitmap_controls.h"
#include "graphics/editor_view.h"
#include "graphics/knob_controls.h"
#include "graphics/slider_control.h"
#include "graphics/view_factory.h"
#include "plugin/params.h"

namespace {
enum ImageId : int {
    kBackgroundImage = 101,
    kMeterFaceImage = 102,
    kNeedleImage = 103,
    kFrontPanelImage = 104,
    kKnobImage = 105,
    kOverlayImage = 106,
    kToggleImage = 107,
};

constexpr int kKnobFrames = 101;
constexpr int kToggleFrames = 2;
constexpr double kKnobGearing = 4.0;

// The needle's track lies behind the front panel's see-through meter window.
constexpr int kNeedleX = 20;
constexpr int kNeedleY = 83;
constexpr int kNeedleTrack = 250;

constexpr IBounds kInputKnobRect{12, 168, 147, 323};
constexpr IBounds kOutputKnobRect{141, 168, 276, 323};
constexpr int kSwitchX = 116;
constexpr int kSwitchY = 305;
// While the information screen is hidden only the panel's logo opens it.
constexpr IBounds kLogoArea{80, 30, 212, 62};

ITextStyle KnobTextStyle() {
    // Black at about 45 % opacity, so the text sits in the panel rather than on it.
    return ITextStyle("Arial Black", 16, IColour{115, 0, 0, 0}, TextStyleNormal, TextAlignCentre, 0,
                      FontQualityDefault);
}
} // namespace

IEditorView* BuildVt4rEditor(IEffectBase* plugin) {
    IEditorView* view = CreateEditorView(plugin, kEditorWidth, kEditorHeight, 0);

    view->SetBackgroundImage(kBackgroundImage, "resources/img/BG.png");
    const IBitmapStrip meterFace = view->LoadBitmapStrip(kMeterFaceImage, "resources/img/BGBG1.png", 1);
    const IBitmapStrip needle = view->LoadBitmapStrip(kNeedleImage, "resources/img/Needle.png", 1);
    const IBitmapStrip frontPanel = view->LoadBitmapStrip(kFrontPanelImage, "resources/img/BG1.png", 1);
    const IBitmapStrip toggle =
        view->LoadBitmapStrip(kToggleImage, "resources/img/Toggle.png", kToggleFrames);
    const IBitmapStrip knob = view->LoadBitmapStrip(kKnobImage, "resources/img/KnobL.png", kKnobFrames);
    const IBitmapStrip overlay = view->LoadBitmapStrip(kOverlayImage, "resources/img/Overlay.png", 1);

    const ITextStyle knobText = KnobTextStyle();
    view->AddControl(new IBitmapControl(plugin, 0, 0, -1, meterFace));
    view->AddControl(
        new ISliderControl(plugin, kNeedleX, kNeedleY, kNeedleTrack, kMeterParamIdx, needle, kHorizontal));
    view->AddControl(new IBitmapControl(plugin, 0, 0, -1, frontPanel));
    view->AddControl(
        new IKnobTextControl(plugin, kInputKnobRect, kInputParam, knob, knobText, kVertical, kKnobGearing));
    view->AddControl(
        new IKnobTextControl(plugin, kOutputKnobRect, kOutputParam, knob, knobText, kVertical, kKnobGearing));
    view->AddControl(new ISwitchControl(plugin, kSwitchX, kSwitchY, kRelaxedModeParam, toggle));
    view->AddControl(new IOverlayControl(plugin, 0, 0, -1, overlay, kLogoArea));
    return view;
}
