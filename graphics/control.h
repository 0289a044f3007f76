#pragma once
#include <atomic>

#include "graphics/blend.h"
#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"
#include "raster/text.h"

class IEditorView;
class IEffectBase;
class IParameter;

// Verdana 12, opaque black, centred: the style of a control until it is given its own.
ITextStyle DefaultControlTextStyle();

// One rectangle of the editor that paints itself into the view's back buffer and
// reacts to the mouse. A control bound to a parameter holds its normalised value.
//
// Threads: everything runs on the window thread, except ValueFromPlugin and
// MarkChanged(false), which the audio thread calls for the meter needle. The value,
// the default and the redraw flags are atomics for that reason; the window thread
// may paint the old or the new value, and the redraw flags guarantee one more paint
// after any change from the audio thread.
class IControl {
  public:
    IControl(IEffectBase* plugin, const IBounds& rect, int paramIdx = -1, const IBlend& blend = {});
    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

    virtual ~IControl() = default;
    // Right button: value entry for this control (when prompting is enabled).
    virtual void MousePressed(int x, int y, const IModifierKeys& mods);
    virtual void MouseReleased(int x, int y, const IModifierKeys& mods);
    virtual void MouseDragged(int x, int y, int dX, int dY, const IModifierKeys& mods);
    // Back to the default value once one is known.
    virtual void MouseDoubleClicked(int x, int y, const IModifierKeys& mods);
    virtual void MouseWheeled(int x, int y, const IModifierKeys& mods, int notches);
    virtual bool KeyPressed(int x, int y, int key);
    virtual void MouseHovered(int x, int y, const IModifierKeys& mods);
    virtual void MouseLeft();
    virtual bool Paint(IEditorView& view) = 0;
    // [window thread; audio thread for the needle] Must not allocate, block or lock.
    virtual void ValueFromPlugin(double value);
    virtual void TextFromEntry(const char* text);
    virtual void SetHidden(bool hidden);
    virtual void SetGreyed(bool greyed);
    virtual bool HitTest(int x, int y) const;
    // Clamps the value and marks the control dirty; with `push`, hands the value to
    // the plug-in (which takes the plug-in lock: never from the audio thread).
    virtual void MarkChanged(bool push);
    virtual void MarkDrawn();
    virtual bool NeedsRedraw() const;

    // From a text box or popup menu.
    void ValueFromEntry(double value);
    // Opens a text box or menu for the bound parameter, when prompting is enabled.
    void OpenValueEntry();

    // Set by IEditorView::AddControl; value entry needs it.
    void SetView(IEditorView* view) { mView = view; }
    IEditorView* View() const { return mView; }
    IEffectBase* Plugin() const { return mPlugin; }

    const IBounds& Rect() const { return mRect; }
    const IBounds& TargetRect() const { return mTargetRect; }
    int ParamIdx() const { return mParamIdx; }
    double Value() const { return mValue.load(std::memory_order_acquire); }
    void SetValue(double value) { mValue.store(value, std::memory_order_release); }
    double DefaultValue() const { return mDefault.load(std::memory_order_acquire); }
    bool IsHidden() const { return mHidden; }
    bool IsGreyed() const { return mGreyed; }
    bool RedrawAgain() const { return (mRedraw.load(std::memory_order_acquire) & kRedrawAgain) != 0; }
    const IBlend& Blend() const { return mBlend; }
    ITextStyle& TextStyle() { return mTextStyle; }
    const ITextStyle& TextStyle() const { return mTextStyle; }
    int TextEntryLength() const { return mTextEntryLength; }

    bool PromptingDisabled() const { return mPromptingDisabled; }
    void SetPromptingDisabled(bool disabled) { mPromptingDisabled = disabled; }
    bool DoubleClickAsPress() const { return mDoubleClickAsPress; }
    void SetDoubleClickAsPress(bool on) { mDoubleClickAsPress = on; }
    bool HoverWhenGreyed() const { return mHoverWhenGreyed; }
    void SetHoverWhenGreyed(bool on) { mHoverWhenGreyed = on; }
    void SetClamp(double low, double high) {
        mClampLow = low;
        mClampHigh = high;
    }

  protected:
    IParameter* Param() const;
    // Keeps the control dirty for one more paint after the next one.
    void SetRedrawAgain() { mRedraw.fetch_or(kRedrawAgain, std::memory_order_acq_rel); }
    void OpenValueEntryIn(const IBounds& area);

    int mTextEntryLength = 7;
    ITextStyle mTextStyle = DefaultControlTextStyle();
    IEffectBase* mPlugin = nullptr;
    IBounds mRect;
    IBounds mTargetRect;
    int mParamIdx = -1;
    double mClampLow = 0.0;
    double mClampHigh = 1.0;
    bool mHidden = false;
    bool mGreyed = false;
    bool mPromptingDisabled = true;
    bool mDoubleClickAsPress = false;
    bool mHoverWhenGreyed = false;
    IBlend mBlend;

  private:
    // Needs-redraw and redraw-again live in one word so that MarkDrawn can move
    // redraw-again into needs-redraw atomically against the audio thread's changes.
    static constexpr unsigned kNeedsRedraw = 1;
    static constexpr unsigned kRedrawAgain = 2;

    std::atomic<double> mValue{0.0};
    std::atomic<double> mDefault{-1.0}; // below 0: not known yet
    std::atomic<unsigned> mRedraw{kNeedsRedraw};
    IEditorView* mView = nullptr;
};

// Frame (1..frames) of a strip shown for a normalised value.
int FrameForValue(double value, int frames);
