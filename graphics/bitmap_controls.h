#pragma once
#include "graphics/control.h"
#include "raster/bitmap.h"

// Shows the frame of its strip that matches its value.
class IBitmapControl : public IControl {
  public:
    // Rectangle (x, y, x + strip width, y + frame height).
    IBitmapControl(IEffectBase* plugin, int x, int y, int paramIdx, const IBitmapStrip& strip,
                   const IBlend& blend = {});
    bool Paint(IEditorView& view) override;

    const IBitmapStrip& Strip() const { return mStrip; }

  protected:
    IBitmapStrip mStrip;
};

// Steps through its frames on each click and wraps back to the first.
class ISwitchControl : public IBitmapControl {
  public:
    using IBitmapControl::IBitmapControl;
    void MousePressed(int x, int y, const IModifierKeys& mods) override;
    // A double click is just another click.
    void MouseDoubleClicked(int x, int y, const IModifierKeys& mods) override;
};

// An image shown or hidden by a click. While hidden only `hiddenTarget` reacts; once
// shown, the whole image does. The click area follows the state painted last.
class IOverlayControl : public ISwitchControl {
  public:
    IOverlayControl(IEffectBase* plugin, int x, int y, int paramIdx, const IBitmapStrip& strip,
                    const IBounds& hiddenTarget, const IBlend& blend = {});
    bool Paint(IEditorView& view) override;

    bool IsShown() const { return Value() >= 0.5; }

  private:
    IBounds mHiddenTarget;
};
