#include "graphics/bitmap_controls.h"

#include "graphics/editor_view.h"

IBitmapControl::IBitmapControl(IEffectBase* plugin, int x, int y, int paramIdx, const IBitmapStrip& strip,
                               const IBlend& blend)
    : IControl(plugin, {x, y, x + strip.width, y + strip.FrameHeight()}, paramIdx, blend), mStrip(strip) {}

bool IBitmapControl::Paint(IEditorView& view) {
    return view.BlitStripFrame(mStrip, mRect, FrameForValue(Value(), mStrip.frames), &mBlend);
}

void ISwitchControl::MousePressed(int, int, const IModifierKeys& mods) {
    if (mods.right) {
        // Value entry may already have set a new value (a menu answers at once).
        OpenValueEntry();
    } else {
        SetValue(Value() + (mStrip.frames > 1 ? 1.0 / (mStrip.frames - 1) : 1.0));
    }
    if (!(Value() <= 1.001))
        SetValue(0.0);
    MarkChanged(true);
}

void ISwitchControl::MouseDoubleClicked(int x, int y, const IModifierKeys& mods) {
    MousePressed(x, y, mods);
}

IOverlayControl::IOverlayControl(IEffectBase* plugin, int x, int y, int paramIdx, const IBitmapStrip& strip,
                                 const IBounds& hiddenTarget, const IBlend& blend)
    : ISwitchControl(plugin, x, y, paramIdx, strip, blend), mHiddenTarget(hiddenTarget) {}

bool IOverlayControl::Paint(IEditorView& view) {
    if (!IsShown()) {
        mTargetRect = mHiddenTarget;
        return true;
    }
    mTargetRect = mRect;
    return IBitmapControl::Paint(view);
}
