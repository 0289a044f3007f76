// The window core under the real VT4R editor, with a scripted window layer in place of a
// toolkit: what the three layers share (the timer's repaint, the value box's states, the
// mouse capture, what a paint shows, popup menus) without a display.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/view_factory.h"
#include "graphics/window_core.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"

namespace {

// A layer as a toolkit behaves: the box reports its focus while it is being made.
class ScriptedWindow : public IEditorWindowCore {
  public:
    using IEditorWindowCore::IEditorWindowCore;
    using IEditorWindowCore::ExposePlan;
    using IEditorWindowCore::PlanExpose;
    using IEditorWindowCore::PointerLeft;
    using IEditorWindowCore::PointerMoved;
    using IEditorWindowCore::PointerPressed;
    using IEditorWindowCore::PointerReleased;
    using IEditorWindowCore::PointerWheeled;
    using IEditorWindowCore::TextBoxEntered;
    using IEditorWindowCore::TextBoxFocusChanged;
    using IEditorWindowCore::TextBoxOpen;
    using IEditorWindowCore::TextBoxTakes;

    struct Repaint {
        IBounds area;
        IBounds hole;
    };

    bool PresentArea(const IBounds&) override { return true; }
    void HostFolder(std::string& out) override { out.clear(); }
    void ProgramFolder(std::string& out) override { out.clear(); }
    void ChooseFile(std::string& out, int, std::string&, const char*) override { out.clear(); }
    bool ChooseColour(IColour&, const char*) override { return false; }
    bool OpenWebLink(const char*, const char*, const char*, const char*) override { return false; }
    void* OpenEditorWindow(void*) override {
        open = true;
        StartTimerPeriod();
        MarkAllChanged();
        return this;
    }
    void CloseEditorWindow() override {
        open = false;
        ForgetWindowState();
    }
    void* WindowHandle() override { return open ? this : nullptr; }
    RasterBitmap* LoadPlatformBitmap(int id, const char* name) override { return LoadModuleBitmap(id, name); }

    bool open = false;
    std::vector<Repaint> repaints;
    bool boxShown = false;
    IBounds boxRect;
    int boxFontSize = 0;
    std::string boxText;
    int boxLimit = 0;
    bool takesFocus = true;
    bool captured = false;
    int menuCommand = 0;
    int dw = 0;
    int dh = 0;

  protected:
    void RepaintArea(const IBounds& area, const IBounds& hole) override {
        repaints.push_back({area, hole});
        PaintArea(AreaWithoutHole(area, hole));
    }
    bool CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) override {
        boxShown = true;
        boxFontSize = style.size;
        boxRect = rect;
        boxText = text;
        boxLimit = maxLength;
        if (takesFocus)
            TextBoxFocusChanged(true);
        return true;
    }
    std::string TextBoxValue() const override { return boxText; }
    void DestroyTextBox() override { boxShown = false; }
    int RunPopupMenu(const IPopupMenu&, const std::vector<PopupLine>&, const IBounds&) override {
        EXPECT_FALSE(captured) << "the menu takes the mouse";
        return menuCommand;
    }
    void ResizeWindow(int width, int height) override {
        dw = width;
        dh = height;
    }
    void CapturePointer() override { captured = true; }
    void ReleasePointer() override { captured = false; }
};

IEditorView* CreateScripted(IEffectBase* plugin, int width, int height, int frameRate) {
    return new ScriptedWindow(plugin, width, height, frameRate);
}

struct WindowCoreTest : ::testing::Test {
    std::unique_ptr<IEffectStandalone> plugin;
    ScriptedWindow* view = nullptr;
    IModifierKeys left, right, none;

    void SetUp() override {
        SetEditorViewFactory(&CreateScripted);
        plugin = CreatePlugin(IHostRecord{});
        SetEditorViewFactory(nullptr);
        ASSERT_NE(plugin, nullptr);
        view = dynamic_cast<ScriptedWindow*>(plugin->Editor());
        ASSERT_NE(view, nullptr);
        view->PushParameterValue(kMeterParamIdx, 0.0, true);
        view->OpenEditorWindow(nullptr);
        left.left = true;
        right.right = true;
        view->TimerTick(); // the first paint
        view->repaints.clear();
    }
    double Decibels(int param) { return plugin->Param(param)->Value(); }
    IBounds RectOf(int control) { return view->Control(control)->Rect(); }
    void OpenInputBox() {
        const IBounds knob = RectOf(kInputKnobControl);
        const int x = (knob.left + knob.right) / 2;
        const int y = knob.bottom - 10; // the value under the knob
        view->PointerPressed(x, y, right, ScriptedWindow::PointerButton::Right, false);
        view->PointerReleased(x, y, right, none);
        ASSERT_TRUE(view->boxShown);
    }
};

TEST_F(WindowCoreTest, TheValueBoxIsCarriedOutByTheTimerAndTheEditorStandsStillWhileTyping) {
    const IBounds needle = RectOf(kNeedleControl);
    const IBounds knob = RectOf(kInputKnobControl);
    OpenInputBox();
    EXPECT_EQ(view->boxRect, (IBounds{knob.left, knob.bottom - 20, knob.right, knob.bottom}));
    EXPECT_EQ(view->boxText, "0.0");
    EXPECT_EQ(view->boxLimit, 7);
    EXPECT_EQ(view->TextBoxStateNow(), ScriptedWindow::TextBoxFocused);
    EXPECT_FALSE(view->captured); // the press that opened it was ended
    EXPECT_TRUE(view->TextBoxTakes('5'));
    EXPECT_FALSE(view->TextBoxTakes('x'));

    // Typing: no repaint, a paint shows the back buffer as it is, the wheel does nothing.
    view->PushParameterValue(kMeterParamIdx, 0.9, true);
    view->TimerTick();
    EXPECT_TRUE(view->repaints.empty());
    EXPECT_EQ(view->PlanExpose(needle, {0, 0, 288, 392}).kind, ScriptedWindow::ExposePlan::Present);
    view->PointerWheeled(knob.left + 30, knob.top + 30, none, 3);
    EXPECT_EQ(view->TextBoxStateNow(), ScriptedWindow::TextBoxFocused);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);

    // Enter commits on the next tick, not before.
    view->boxText = "-6.5";
    view->TextBoxEntered();
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
    view->TimerTick();
    EXPECT_FALSE(view->boxShown);
    EXPECT_FALSE(view->TextBoxOpen());
    EXPECT_NEAR(Decibels(kInputParam), -6.5, 1e-9);
    view->TimerTick(); // what waited is repainted, with nothing left out
    ASSERT_EQ(view->repaints.size(), 1u);
    EXPECT_EQ(view->repaints[0].area.Union(needle), view->repaints[0].area);
    EXPECT_TRUE(view->repaints[0].hole.Empty());

    // A press elsewhere cancels; the box goes on the next tick and nothing is committed.
    OpenInputBox();
    view->boxText = "12";
    view->PointerPressed(200, 40, left, ScriptedWindow::PointerButton::Left, false);
    EXPECT_TRUE(view->boxShown);
    view->TimerTick();
    EXPECT_FALSE(view->boxShown);
    EXPECT_NEAR(Decibels(kInputParam), -6.5, 1e-9);

    // A box that never got the keys (a host's window that is not viewable): the editor goes
    // on painting around it, and a press on the editor closes it and repaints everything.
    view->takesFocus = false;
    OpenInputBox();
    view->repaints.clear();
    view->PushParameterValue(kMeterParamIdx, 0.2, true);
    view->TimerTick();
    ASSERT_EQ(view->repaints.size(), 1u);
    EXPECT_EQ(view->repaints[0].hole, knob);
    EXPECT_EQ(view->TextBoxStateNow(), ScriptedWindow::TextBoxRepainted);
    view->PointerPressed(200, 40, left, ScriptedWindow::PointerButton::Left, false);
    EXPECT_FALSE(view->boxShown);
    EXPECT_EQ(view->repaints.back().area, (IBounds{0, 0, 288, 392}));
    view->PointerReleased(200, 40, left, none);

    // A new size destroys the controls: the box that edits one goes first.
    OpenInputBox();
    view->SetSize(300, 392);
    EXPECT_FALSE(view->boxShown);
    EXPECT_FALSE(view->TextBoxOpen());
    EXPECT_EQ(view->dw, 12);
    view->TimerTick();
}

TEST_F(WindowCoreTest, DragsCaptureTheMouseAndEndWhereTheButtonWasReleased) {
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = (knob.left + knob.right) / 2;
    const int y = knob.top + 60;
    view->PointerPressed(x, y, left, ScriptedWindow::PointerButton::Left, false);
    EXPECT_TRUE(view->captured);
    view->PointerMoved(x, y - 20, left, true);
    // The last move before the release was compressed away: the release's place counts.
    view->PointerReleased(x, y - 31, left, none); // 31 of 620 pixels for the whole range
    EXPECT_FALSE(view->captured);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);
    view->PointerMoved(x, y - 100, left, true); // held, but not captured here
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    view->PointerWheeled(x, y, none, -2);
    EXPECT_NEAR(Decibels(kInputParam), 1.2, 1e-9);
    view->PointerPressed(x, y, left, ScriptedWindow::PointerButton::Left, false);
    view->PointerReleased(x, y, left, none);
    view->PointerPressed(x, y, left, ScriptedWindow::PointerButton::Left, true);
    view->PointerReleased(x, y, left, none);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0); // a double click restores the default

    // A popup menu ends any capture; its answer is the chosen item, or none.
    const IBounds relaxed = RectOf(kRelaxedSwitchControl);
    view->PointerPressed(relaxed.left + 2, relaxed.top + 2, left, ScriptedWindow::PointerButton::Left, false);
    IPopupMenu menu;
    menu.InsertTextItem("Off", -1, 0);
    menu.InsertSeparator(-1);
    menu.InsertTextItem("On", -1, 0);
    view->menuCommand = 3;
    EXPECT_EQ(view->ShowPopupMenu(&menu, relaxed), &menu);
    EXPECT_EQ(menu.chosen, 2);
    EXPECT_EQ(view->MouseCapture(), -1);
    view->menuCommand = 0;
    menu.chosen = -1;
    EXPECT_EQ(view->ShowPopupMenu(&menu, relaxed), nullptr);
    EXPECT_EQ(menu.chosen, -1);
    view->CloseEditorWindow();
    EXPECT_EQ(view->ShowPopupMenu(&menu, relaxed), nullptr);
}

TEST_F(WindowCoreTest, AtTwiceTheSizeTheWindowGrowsAndTheMouseAndTheBoxAreScaled) {
    const IBounds knob = RectOf(kInputKnobControl);
    const int fontSize = view->Control(kInputKnobControl)->TextStyle().size;
    view->SetWindowScale(2.0);
    EXPECT_EQ(view->dw, 288);
    EXPECT_EQ(view->dh, 392);
    EXPECT_EQ(view->DeviceWidth(), 576);
    EXPECT_EQ(view->DeviceHeight(), 784);

    // The same drag on the screen turns the knob as far as at 100 %: 62 device pixels up
    // are 31 editor pixels. Odd device pixels fall inside one editor pixel.
    const int x = knob.left + knob.right;
    const int y = 2 * (knob.top + 60);
    view->PointerPressed(x + 1, y + 1, left, ScriptedWindow::PointerButton::Left, false);
    view->PointerMoved(x, y - 41, left, true);
    view->PointerReleased(x + 1, y - 61, left, none);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    // The value box covers the value on the screen, in a font as much larger.
    view->PointerPressed(x, 2 * knob.bottom - 20, right, ScriptedWindow::PointerButton::Right, false);
    view->PointerReleased(x, 2 * knob.bottom - 20, right, none);
    ASSERT_TRUE(view->boxShown);
    EXPECT_EQ(view->boxRect, (IBounds{2 * knob.left, 2 * knob.bottom - 40, 2 * knob.right, 2 * knob.bottom}));
    EXPECT_EQ(view->boxFontSize, 2 * fontSize);
    // A paint of a device area rebuilds every editor pixel it touches.
    view->TextBoxFocusChanged(false);
    for (int tick = 0; tick < 3; ++tick)
        view->TimerTick(); // closes the box, then paints what waited (a value twice)
    const ScriptedWindow::ExposePlan plan = view->PlanExpose({3, 5, 9, 10}, {0, 0, 576, 784});
    EXPECT_EQ(plan.editorArea, (IBounds{1, 2, 5, 5}));

    view->SetWindowScale(1.0);
    EXPECT_EQ(view->dw, -288);
}

} // namespace
