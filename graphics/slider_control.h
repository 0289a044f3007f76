#pragma once
#include "graphics/control.h"
#include "graphics/knob_controls.h"
#include "raster/bitmap.h"

// A handle image sliding along a track; the handle's near edge sits at
// int((length - handle size) * value) from the track's start (its end, vertically).
class ISliderControl : public IControl {
  public:
    ISliderControl(IEffectBase* plugin, int x, int y, int length, int paramIdx, const IBitmapStrip& strip,
                   int direction);
    void MousePressed(int x, int y, const IModifierKeys& mods) override;
    void MouseDragged(int x, int y, int dX, int dY, const IModifierKeys& mods) override;
    bool Paint(IEditorView& view) override;

    // Where the handle is drawn for the current value.
    IBounds HandleRect() const;
    int TrackLength() const { return mLength; }
    int HandleSize() const { return mHandleSize; }

  private:
    void SliderFollowMouse(int x, int y);

    int mLength;
    int mHandleSize;
    IBitmapStrip mStrip;
    int mDirection;
};
