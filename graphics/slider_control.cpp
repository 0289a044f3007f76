#include "graphics/slider_control.h"

#include "graphics/editor_view.h"

namespace {
IBounds SliderRect(int x, int y, int length, const IBitmapStrip& strip, int direction) {
    if (direction == kHorizontal)
        return {x, y, x + length, y + strip.height};
    return {x, y, x + strip.width, y + length};
}
} // namespace

ISliderControl::ISliderControl(IEffectBase* plugin, int x, int y, int length, int paramIdx,
                               const IBitmapStrip& strip, int direction)
    : IControl(plugin, SliderRect(x, y, length, strip, direction), paramIdx), mLength(length),
      mHandleSize(direction == kHorizontal ? strip.width : strip.height), mStrip(strip),
      mDirection(direction) {}

void ISliderControl::SliderFollowMouse(int x, int y) {
    const int h = mHandleSize / 2;
    const double travel = mLength - mHandleSize;
    if (mDirection == kHorizontal) {
        SetValue(static_cast<double>(x - mRect.left - h) / travel);
    } else {
        SetValue(1.0 - static_cast<double>(y - mRect.top - h) / travel);
    }
    MarkChanged(true);
}

void ISliderControl::MousePressed(int x, int y, const IModifierKeys& mods) {
    if (mods.right) {
        OpenValueEntry();
    } else {
        SliderFollowMouse(x, y);
    }
}

void ISliderControl::MouseDragged(int x, int y, int, int, const IModifierKeys&) {
    SliderFollowMouse(x, y);
}

IBounds ISliderControl::HandleRect() const {
    IBounds r{mRect.left, mRect.top, mRect.left + mStrip.width, mRect.top + mStrip.height};
    const int travel = mLength - mHandleSize;
    // The audio thread stores a pushed value before clamping it; never convert an
    // out-of-range value to int.
    double v = Value();
    if (!(v >= 0.0))
        v = 0.0;
    if (v > 1.0)
        v = 1.0;
    if (mDirection == kHorizontal) {
        const int dx = static_cast<int>(travel * v);
        r.left += dx;
        r.right += dx;
    } else {
        const int dy = static_cast<int>(travel * (1.0 - v));
        r.top += dy;
        r.bottom += dy;
    }
    return r;
}

bool ISliderControl::Paint(IEditorView& view) {
    view.BlitStripFrame(mStrip, HandleRect(), 1, &mBlend);
    return true;
}
