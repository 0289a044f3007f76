#include "graphics/window_core.h"

#include <cmath>

#include "framework/parameter.h"
#include "graphics/control.h"
#include "graphics/text_entry.h"

IEditorWindowCore::IEditorWindowCore(IEffectBase* plugin, int width, int height, int frameRate)
    : IEditorView(plugin, width, height, frameRate) {}

int IEditorWindowCore::StartTimerPeriod() {
    mTimerPeriodMs = TimerPeriodMs(FrameRate());
    return mTimerPeriodMs;
}

void IEditorWindowCore::ForgetWindowState() {
    mTextBoxControl = nullptr;
    mTextBoxParam = nullptr;
    mTextBoxState = TextBoxIdle;
    mHasCapture = false;
    mTrackingLeave = false;
}

// ---- painting ----

void IEditorWindowCore::TimerTick() {
    if (!IsWindowOpen())
        return;
    if (TextBoxOpen()) {
        switch (mTextBoxState) {
        case TextBoxIdle:
            break;
        case TextBoxFocused:
            return;
        case TextBoxCancel:
            RemoveTextBox();
            return;
        case TextBoxCommit:
            CommitTextBox();
            return;
        default:
            mTextBoxState = TextBoxIdle;
            return;
        }
    }
    IBounds area;
    if (!CollectDirtyArea(area))
        return;
    if (TextBoxOpen()) {
        // Paint around the box, not over the control it edits.
        RepaintArea(area, mTextBoxControl->Rect());
        mTextBoxState = TextBoxRepainted;
    } else {
        RepaintArea(area, IBounds{});
    }
}

int IEditorWindowCore::ToEditor(int device) const {
    if (Scale() == 1.0)
        return device;
    return static_cast<int>(std::floor(device / Scale()));
}

IEditorWindowCore::ExposePlan IEditorWindowCore::PlanExpose(const IBounds& exposed, const IBounds& window) const {
    ExposePlan plan;
    plan.area = exposed;
    if (!BackBuffer() || ControlCount() == 0) {
        plan.kind = ExposePlan::Blank;
    } else if (Typing()) {
        // Uncovered while a value is typed: what the back buffer has, no control
        // repainted (they wait until the box closes).
        plan.kind = ExposePlan::Present;
    } else {
        plan.kind = ExposePlan::Paint;
        IBounds dirty;
        if (!TextBoxOpen() && CollectDirtyArea(dirty)) {
            const IBounds widened = exposed.Union(DeviceRect(dirty)).Intersect(window);
            if (!widened.Empty())
                plan.area = widened;
        }
        // Every editor pixel that touches the device area.
        const double scale = Scale();
        plan.editorArea = scale == 1.0 ? plan.area
                                       : IBounds{ToEditor(plan.area.left), ToEditor(plan.area.top),
                                                 static_cast<int>(std::ceil(plan.area.right / scale)),
                                                 static_cast<int>(std::ceil(plan.area.bottom / scale))};
    }
    return plan;
}

// ---- mouse and keys ----

void IEditorWindowCore::EndPointerCapture() {
    mHasCapture = false;
    ReleasePointer();
}

void IEditorWindowCore::PointerPressed(int deviceX, int deviceY, const IModifierKeys& mods,
                                       PointerButton button, bool secondClick) {
    const int x = ToEditor(deviceX);
    const int y = ToEditor(deviceY);
    if (Typing()) {
        // While a value is typed only a press outside the box is looked at: it cancels.
        // (Presses inside go to the box itself.)
        if (button != PointerButton::Middle)
            mTextBoxState = TextBoxCancel;
        return;
    }
    if (secondClick) {
        // A third press starts over, as a plain press: the layer forgets this one.
        if (MouseDoubleClicked(x, y, mods)) {
            mHasCapture = true;
            CapturePointer();
        }
        return;
    }
    if (TextBoxOpen()) {
        RemoveTextBox();
        RepaintArea(IBounds{0, 0, Width(), Height()}, IBounds{});
    }
    FocusEditor();
    mHasCapture = true;
    CapturePointer();
    MousePressed(x, y, mods);
}

void IEditorWindowCore::PointerReleased(int deviceX, int deviceY, const IModifierKeys& held,
                                        const IModifierKeys& after) {
    const int x = ToEditor(deviceX);
    const int y = ToEditor(deviceY);
    if (Typing()) {
        // The press that opened the box still ends its gesture, so the plug-in hears
        // the end of every edit it was told the start of.
        if (mHasCapture) {
            EndPointerCapture();
            MouseReleased(x, y, after);
        }
        return;
    }
    // Moves are compressed by toolkits and servers: the release's place is taken first.
    if (mHasCapture && !TextBoxOpen())
        MouseDragged(x, y, held);
    EndPointerCapture();
    MouseReleased(x, y, after);
}

void IEditorWindowCore::PointerMoved(int deviceX, int deviceY, const IModifierKeys& mods, bool buttonHeld) {
    if (Typing())
        return;
    // Absolute positions are converted, never per-event deltas, so no motion is lost.
    const int x = ToEditor(deviceX);
    const int y = ToEditor(deviceY);
    if (buttonHeld) {
        if (mHasCapture && !TextBoxOpen())
            MouseDragged(x, y, mods);
    } else if (MouseHovered(x, y, mods)) {
        mTrackingLeave = true;
        WatchPointerLeave();
    }
}

void IEditorWindowCore::PointerWheeled(int deviceX, int deviceY, const IModifierKeys& mods, int notches) {
    if (Typing())
        return; // neither turns a knob nor ends the entry
    if (TextBoxOpen()) {
        mTextBoxState = TextBoxCancel;
        return;
    }
    MouseWheeled(ToEditor(deviceX), ToEditor(deviceY), mods, notches);
}

void IEditorWindowCore::PointerLeft() {
    if (!mTrackingLeave)
        return;
    mTrackingLeave = false;
    MouseLeft();
}

bool IEditorWindowCore::KeyDown(int deviceX, int deviceY, int code) {
    return KeyPressed(ToEditor(deviceX), ToEditor(deviceY), code);
}

// ---- text box ----

void IEditorWindowCore::OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect,
                                      const char* text, IParameter* param) {
    if (!control || TextBoxOpen() || !IsWindowOpen())
        return;
    // Set before the box exists: it reports its focus while it is being made.
    mTextBoxControl = control;
    mTextBoxParam = param;
    mTextBoxState = TextBoxIdle;
    ITextStyle deviceStyle = style;
    deviceStyle.size = DeviceTextSize(style);
    if (!CreateTextBox(deviceStyle, DeviceRect(rect), text ? text : "", control->TextEntryLength())) {
        mTextBoxControl = nullptr;
        mTextBoxParam = nullptr;
    }
}

void IEditorWindowCore::TextBoxFocusChanged(bool focused) {
    mTextBoxState = focused ? TextBoxFocused : TextBoxCancel;
}

void IEditorWindowCore::TextBoxEntered() {
    mTextBoxState = TextBoxCommit;
}

bool IEditorWindowCore::TextBoxTakes(unsigned char c) const {
    return !mTextBoxParam || TextBoxAcceptsChar(mTextBoxParam->Kind(), c);
}

void IEditorWindowCore::CancelTextEntry() {
    mTextBoxState = TextBoxCancel;
}

void IEditorWindowCore::CommitTextBox() {
    if (!TextBoxOpen())
        return;
    const std::string text = TextBoxValue();
    IControl* control = mTextBoxControl;
    IParameter* param = mTextBoxParam;
    RemoveTextBox();
    CommitEnteredText(control, param, text.c_str());
}

void IEditorWindowCore::RemoveTextBox() {
    if (!TextBoxOpen())
        return;
    mTextBoxControl = nullptr;
    mTextBoxParam = nullptr;
    mTextBoxState = TextBoxIdle;
    DestroyTextBox();
}

// ---- menu and size ----

IPopupMenu* IEditorWindowCore::ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) {
    ClearMouseCapture();
    EndPointerCapture(); // the menu takes the mouse
    if (!menu || menu->ItemCount() == 0 || !IsWindowOpen())
        return nullptr;
    const std::vector<PopupLine> lines = BuildPopupLines(*menu);
    if (lines.empty())
        return nullptr;
    const int command = RunPopupMenu(*menu, lines, DeviceRect(rect));
    if (command <= 0)
        return nullptr;
    menu->chosen = command - 1;
    return menu;
}

void IEditorWindowCore::SetSize(int width, int height) {
    const int oldWidth = DeviceWidth();
    const int oldHeight = DeviceHeight();
    RemoveTextBox(); // its control is about to be destroyed with the others
    IEditorView::SetSize(width, height);
    if (IsWindowOpen())
        ResizeWindow(DeviceWidth() - oldWidth, DeviceHeight() - oldHeight);
}

void IEditorWindowCore::SetWindowScale(double scale) {
    const int oldWidth = DeviceWidth();
    const int oldHeight = DeviceHeight();
    RemoveTextBox();
    SetScale(scale);
    if (IsWindowOpen() && (DeviceWidth() != oldWidth || DeviceHeight() != oldHeight))
        ResizeWindow(DeviceWidth() - oldWidth, DeviceHeight() - oldHeight);
}
