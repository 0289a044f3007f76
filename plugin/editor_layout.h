#pragma once
#include "graphics/editor_view.h"

class IEffectBase;

// The editor's fixed size in pixels.
inline constexpr int kEditorWidth = 288;
inline constexpr int kEditorHeight = 392;

// Indices of the editor's controls, in painting order (back to front).
enum Vt4rControl : int {
    kBackgroundControl = 0,
    kMeterFaceControl = 1,
    kNeedleControl = 2,
    kFrontPanelControl = 3,
    kInputKnobControl = 4,
    kOutputKnobControl = 5,
    kRelaxedSwitchControl = 6,
    kOverlayControl = 7,
    kNumControls = 8,
};

// [main thread, inside the plug-in's constructor] Builds the plug-in's whole editor on
// a new view: images, controls, their order, geometry and bindings. The caller hands
// the view to AttachEditor, which takes ownership and pushes the parameter values in.
IEditorView* BuildVt4rEditor(IEffectBase* plugin);
