#pragma once
#include "graphics/control.h"
#include "raster/bitmap.h"

enum IDirection : int { kVertical = 0, kHorizontal = 1 };

// Turned by dragging: the whole range spans the control's extent times the gearing,
// ten times that with shift or control held for fine adjustment.
class IKnobControl : public IControl {
  public:
    IKnobControl(IEffectBase* plugin, const IBounds& rect, int paramIdx, int direction, double gearing,
                 const IBlend& blend = {});
    void MouseDragged(int x, int y, int dX, int dY, const IModifierKeys& mods) override;

    int Direction() const { return mDirection; }
    double Gearing() const { return mGearing; }

  protected:
    int mDirection;
    double mGearing;
};

// A knob drawn from a frame strip with the parameter's value text in the bottom 20
// pixels of its rectangle. Pressing the text opens value entry there.
class IKnobTextControl : public IKnobControl {
  public:
    IKnobTextControl(IEffectBase* plugin, const IBounds& rect, int paramIdx, const IBitmapStrip& strip,
                     const ITextStyle& style, int direction, double gearing);
    void MousePressed(int x, int y, const IModifierKeys& mods) override;
    // Left and right arrows play middle C on and off through the plug-in's MIDI path.
    bool KeyPressed(int x, int y, int key) override;
    bool Paint(IEditorView& view) override;

    const IBounds& TextRect() const { return mTextRect; }
    const IBounds& KnobRect() const { return mKnobRect; }
    const IBitmapStrip& Strip() const { return mStrip; }

  private:
    IBounds mTextRect;
    IBounds mKnobRect;
    IBitmapStrip mStrip;
};
