#pragma once
#include <string>
#include <vector>

#include "graphics/editor_view.h"
#include "graphics/window_rules.h"

// What every window layer does the same way, whatever its toolkit: the repaint timer's
// tick, the value-entry box's states, the mouse capture and hover, and what a window
// paint shows. A layer turns its toolkit's events into the Pointer*/Key*/TextBox* calls
// below and supplies the few things only it can do (the hooks at the end). Positions
// given to the core are window (device) pixels.
//
// Threads: the window thread only, as the view's own calls.
class IEditorWindowCore : public IEditorView {
  public:
    // Text box states: idle, focused (typing), repainted around, cancel, commit.
    enum TextBoxState : int {
        TextBoxIdle = 0,
        TextBoxFocused = 1,
        TextBoxRepainted = 2,
        TextBoxCancel = 3,
        TextBoxCommit = 4
    };
    enum class PointerButton { Left, Middle, Right };

    IEditorWindowCore(IEffectBase* plugin, int width, int height, int frameRate);

    // What the repaint timer does every period; public so tests can step it. While a value
    // is typed the editor stands still; a cancel or commit is carried out on the next tick.
    void TimerTick();

    void OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect, const char* text,
                       IParameter* param) final;
    void CancelTextEntry() final;
    IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) final;
    // Removes the text box (its control goes with the others) and resizes the window.
    void SetSize(int width, int height) final;
    // Draws at `scale` (see SetScale) and resizes an open window to the device size; an
    // open text box is closed, as it was made for the old scale.
    void SetWindowScale(double scale);
    // The embedded images, as on every platform, so all decode identical bytes.
    RasterBitmap* LoadPlatformBitmap(int id, const char* name) override { return LoadModuleBitmap(id, name); }

    int TextBoxStateNow() const { return mTextBoxState; }
    // Timer period in milliseconds while a window is open.
    int TimerPeriod() const { return mTimerPeriodMs; }

  protected:
    // ---- events, as the layer delivers them ----
    // `secondClick`: the press completes a double click of the left button.
    void PointerPressed(int x, int y, const IModifierKeys& mods, PointerButton button, bool secondClick);
    // `held`: the state while the button was down (a last drag to the release's place
    // uses it); `after`: the state the release leaves.
    void PointerReleased(int x, int y, const IModifierKeys& held, const IModifierKeys& after);
    void PointerMoved(int x, int y, const IModifierKeys& mods, bool buttonHeld);
    void PointerWheeled(int x, int y, const IModifierKeys& mods, int notches);
    void PointerLeft();
    bool KeyDown(int x, int y, int code);

    void TextBoxFocusChanged(bool focused);
    void TextBoxEntered();
    // Whether the box takes the typed character `c` for the parameter it edits.
    bool TextBoxTakes(unsigned char c) const;
    bool TextBoxOpen() const { return mTextBoxControl != nullptr; }
    // A value is being typed: the editor under the box stands still.
    bool Typing() const { return TextBoxOpen() && mTextBoxState == TextBoxFocused; }
    IControl* TextBoxControl() const { return mTextBoxControl; }
    IParameter* TextBoxParam() const { return mTextBoxParam; }

    // What a window paint of `exposed` (device pixels, within `window`) shows.
    struct ExposePlan {
        enum Kind { Blank, Present, Paint } kind = Blank;
        // Paint: the device area drawn, `exposed` widened by what is dirty elsewhere, so
        // that nothing the paint marks drawn is forgotten until it changes again...
        IBounds area;
        // ...and the editor area PaintArea rebuilds for it.
        IBounds editorArea;
    };
    ExposePlan PlanExpose(const IBounds& exposed, const IBounds& window) const;
    // A device position in editor pixels: floor(v / scale).
    int ToEditor(int device) const;

    // The layer starts its timer at this period.
    int StartTimerPeriod();
    // The window went away: no box, no capture, no hover.
    void ForgetWindowState();
    // Closes the box without committing.
    void RemoveTextBox();
    // Ends the mouse capture, ours and the window system's.
    void EndPointerCapture();

    // ---- the layer's side ----
    // Repaints `area` now or on the toolkit's next flush, leaving `hole` (may be empty) as
    // it is; both in editor pixels.
    virtual void RepaintArea(const IBounds& area, const IBounds& hole) = 0;
    // Shows the text box at `rect` with `text` all selected and gives it the keys; false
    // when it could not be made. The rectangle and the style's size are in device pixels.
    virtual bool CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) = 0;
    virtual std::string TextBoxValue() const = 0;
    // Takes the box away, shows what it covered and gives the keys back to the editor.
    virtual void DestroyTextBox() = 0;
    // Runs the menu modally under `rect` (device pixels); answers the chosen line's
    // command, 0 for none.
    virtual int RunPopupMenu(const IPopupMenu& menu, const std::vector<PopupLine>& lines, const IBounds& rect) = 0;
    // The editor's device size changed by (dw, dh): the window follows.
    virtual void ResizeWindow(int dw, int dh) = 0;
    virtual void FocusEditor() {}
    virtual void CapturePointer() {}
    virtual void ReleasePointer() {}
    // The pointer hovers a control: the layer asks to hear when it leaves.
    virtual void WatchPointerLeave() {}

  private:
    void CommitTextBox();

    IControl* mTextBoxControl = nullptr;
    IParameter* mTextBoxParam = nullptr;
    int mTextBoxState = TextBoxIdle;
    int mTimerPeriodMs = 0;
    bool mHasCapture = false;
    bool mTrackingLeave = false;
};
