#include "graphics/control.h"

#include <cmath>

#include "framework/effect_base.h"
#include "graphics/editor_view.h"

IControl::IControl(IEffectBase* plugin, const IBounds& rect, int paramIdx, const IBlend& blend)
    : mPlugin(plugin), mRect(rect), mTargetRect(rect), mParamIdx(paramIdx), mBlend(blend) {}

void IControl::MousePressed(int, int, const IModifierKeys& mods) {
    if (mods.right)
        OpenValueEntry();
}

void IControl::MouseReleased(int, int, const IModifierKeys&) {}

void IControl::MouseDragged(int, int, int, int, const IModifierKeys&) {}

void IControl::MouseDoubleClicked(int, int, const IModifierKeys&) {
    const double def = DefaultValue();
    if (def >= 0.0) {
        SetValue(def);
        MarkChanged(true);
    }
}

void IControl::MouseWheeled(int, int, const IModifierKeys& mods, int notches) {
    const double step = (mods.shift || mods.control) ? 0.001 : 0.01;
    SetValue(Value() + notches * step);
    MarkChanged(true);
}

bool IControl::KeyPressed(int, int, int) {
    return false;
}

void IControl::MouseHovered(int, int, const IModifierKeys&) {}

void IControl::MouseLeft() {}

void IControl::ValueFromPlugin(double value) {
    if (DefaultValue() < 0.0) {
        // The first value the plug-in sends becomes the double-click default.
        SetValue(value);
        mDefault.store(value, std::memory_order_release);
    }
    if (value != Value()) {
        SetValue(value);
        MarkChanged(false);
        SetRedrawAgain();
    }
}

void IControl::TextFromEntry(const char*) {}

void IControl::SetHidden(bool hidden) {
    mHidden = hidden;
    SetRedrawAgain();
    MarkChanged(false);
}

void IControl::SetGreyed(bool greyed) {
    mGreyed = greyed;
    mBlend.weight = greyed ? kGreyedWeight : 1.0f;
    MarkChanged(false);
}

bool IControl::HitTest(int x, int y) const {
    return mTargetRect.Contains(x, y);
}

void IControl::MarkChanged(bool push) {
    const double v = Value();
    if (v < mClampLow || std::isnan(v)) {
        SetValue(mClampLow);
    } else if (v > mClampHigh) {
        SetValue(mClampHigh);
    }
    mRedraw.fetch_or(kNeedsRedraw, std::memory_order_acq_rel);
    if (push && mPlugin && mParamIdx >= 0)
        mPlugin->SetParameterFromGUI(mParamIdx, Value());
}

void IControl::MarkDrawn() {
    // needs-redraw = redraw-again; redraw-again = false, as one step.
    unsigned state = mRedraw.load(std::memory_order_acquire);
    while (!mRedraw.compare_exchange_weak(state, (state & kRedrawAgain) ? kNeedsRedraw : 0u,
                                          std::memory_order_acq_rel, std::memory_order_acquire)) {
    }
}

bool IControl::NeedsRedraw() const {
    return (mRedraw.load(std::memory_order_acquire) & kNeedsRedraw) != 0;
}

void IControl::ValueFromEntry(double value) {
    if (value != Value()) {
        SetValue(value);
        MarkChanged(true);
        SetRedrawAgain();
    }
}

IParameter* IControl::Param() const {
    if (!mPlugin || mParamIdx < 0)
        return nullptr;
    return mPlugin->Param(mParamIdx);
}

void IControl::OpenValueEntryIn(const IBounds& area) {
    if (mParamIdx < 0 || mPromptingDisabled)
        return;
    if (mView)
        mView->OpenValueEntry(this, Param(), &area);
    SetRedrawAgain();
}

void IControl::OpenValueEntry() {
    if (mParamIdx < 0 || mPromptingDisabled)
        return;
    IParameter* param = Param();
    if (!param)
        return;
    IBounds area = mRect;
    if (param->ValueTextCount() == 0) {
        // A small box in the middle of the control for typing a number.
        const int cx = static_cast<int>(static_cast<float>(mRect.left + mRect.right) * 0.5f);
        const int cy = static_cast<int>(static_cast<float>(mRect.top + mRect.bottom) * 0.5f);
        area = {cx - 15, cy - 8, cx + 15, cy + 8};
    }
    OpenValueEntryIn(area);
}

ITextStyle DefaultControlTextStyle() {
    return ITextStyle("Verdana", 12, IColour{255, 0, 0, 0}, TextStyleNormal, TextAlignCentre, 0,
                      FontQualityDefault);
}

int FrameForValue(double value, int frames) {
    if (frames < 2)
        return 1;
    // Compare in double: a value far outside 0..1 (or NaN) must not overflow the int.
    const double f = std::floor((frames - 1) * value + 0.5) + 1.0;
    if (!(f >= 1.0))
        return 1;
    if (f > frames)
        return frames;
    return static_cast<int>(f);
}
