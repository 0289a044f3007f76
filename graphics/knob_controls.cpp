#include "graphics/knob_controls.h"

#include "framework/effect_base.h"
#include "graphics/editor_view.h"

IKnobControl::IKnobControl(IEffectBase* plugin, const IBounds& rect, int paramIdx, int direction,
                           double gearing, const IBlend& blend)
    : IControl(plugin, rect, paramIdx, blend), mDirection(direction), mGearing(gearing) {}

void IKnobControl::MouseDragged(int, int, int dX, int dY, const IModifierKeys& mods) {
    double g = mGearing;
    if (mods.shift || mods.control)
        g *= 10.0;
    // Up is positive: the vertical extent is negative (top - bottom).
    if (mDirection == kVertical) {
        SetValue(Value() + static_cast<double>(dY) / static_cast<double>(mRect.top - mRect.bottom) / g);
    } else {
        SetValue(Value() + static_cast<double>(dX) / static_cast<double>(mRect.right - mRect.left) / g);
    }
    MarkChanged(true);
}

IKnobTextControl::IKnobTextControl(IEffectBase* plugin, const IBounds& rect, int paramIdx,
                                   const IBitmapStrip& strip, const ITextStyle& style, int direction,
                                   double gearing)
    : IKnobControl(plugin, rect, paramIdx, direction, gearing), mTextRect{rect.left, rect.bottom - 20,
                                                                          rect.right, rect.bottom},
      mKnobRect{rect.left, rect.top, rect.left + strip.width, rect.top + strip.FrameHeight()}, mStrip(strip) {
    mTextStyle = style;
    mPromptingDisabled = false;
}

void IKnobTextControl::MousePressed(int x, int y, const IModifierKeys& mods) {
    if (mTextRect.Contains(x, y)) {
        OpenValueEntryIn(mTextRect);
    } else {
        // No movement: only confirms the current value to the plug-in.
        MouseDragged(x, y, 0, 0, mods);
    }
}

bool IKnobTextControl::KeyPressed(int, int, int key) {
    switch (key) {
    case KeySpace:
        return true;
    case KeyLeft:
        if (mPlugin)
            mPlugin->HandleMidiMessage(MidiMessage{0, 0x90, 60, 127});
        return true;
    case KeyRight:
        if (mPlugin)
            mPlugin->HandleMidiMessage(MidiMessage{0, 0x80, 60, 0});
        return true;
    default:
        return false;
    }
}

bool IKnobTextControl::Paint(IEditorView& view) {
    view.BlitStripFrame(mStrip, mKnobRect, FrameForValue(Value(), mStrip.frames), &mBlend);
    const IParameter* param = Param();
    if (!param)
        return true;
    // The text shows the parameter's own value, not the control's.
    char text[64] = {};
    param->FormatValue(param->Value(), false, text, sizeof text, true);
    if (text[0] == '\0')
        return true;
    return view.RenderCentredDigits(mTextStyle, text, mTextRect);
}
