// The VT4R editor in a real FLTK window on an X display: opening, painting what is
// dirty and nothing else, mouse, wheel and keys, the text box's life, popup menus.
// Events are handed to the windows the way FLTK's dispatcher hands them on.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/fltk/editor_window.h"
#include "graphics/view_factory.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"
#include "tests/graphics/headless_reference.h"

namespace {

class CountingEditorWindow : public IEditorWindow {
  public:
    using IEditorWindow::IEditorWindow;
    bool PresentArea(const IBounds& rect) override {
        presented.push_back(rect);
        return IEditorWindow::PresentArea(rect);
    }
    std::vector<IBounds> presented;
};

IEditorView* CreateCountingView(IEffectBase* plugin, int width, int height, int frameRate) {
    return new CountingEditorWindow(plugin, width, height, frameRate);
}

constexpr int kMenuHeight = 25;

struct EditorWindowTest : ::testing::Test {
    std::unique_ptr<IEffectStandalone> plugin;
    CountingEditorWindow* view = nullptr;
    std::unique_ptr<Fl_Window> top;
    Fl_Group* body = nullptr;
    Fl_Window* window = nullptr;
    char keyText[8] = {};

    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs an X display (run under scripts/with-xvfb.sh)";
        SetEditorViewFactory(&CreateCountingView);
        plugin = CreatePlugin(IHostRecord{});
        SetEditorViewFactory(nullptr);
        ASSERT_NE(plugin, nullptr);
        view = dynamic_cast<CountingEditorWindow*>(plugin->Editor());
        ASSERT_NE(view, nullptr);
        // The needle's first value only sets its default, as the first audio block does.
        view->PushParameterValue(kMeterParamIdx, 0.0, true);

        // Laid out as the program's main window: a bar above the editor's area.
        top = std::make_unique<Fl_Window>(kEditorWidth, kMenuHeight + kEditorHeight, "editor test");
        body = new Fl_Group(0, kMenuHeight, kEditorWidth, kEditorHeight);
        body->end();
        top->end();
        // Away from the middle, where the program's own window opens in other gui tests.
        top->position(1580, 620);
        window = static_cast<Fl_Window*>(view->OpenEditorWindow(body));
        ASSERT_NE(window, nullptr);
        top->show();
        ASSERT_TRUE(PumpUntil([&] { return !view->presented.empty(); })) << "the editor was never painted";
        Pump(0.1);
    }

    void TearDown() override {
        if (view)
            view->CloseEditorWindow();
        top.reset();
        plugin.reset();
    }

    template <typename Done> bool PumpUntil(Done done, double seconds = 5.0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            Fl::wait(0.01);
        }
        return true;
    }
    void Pump(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end)
            Fl::wait(0.01);
    }

    // One step of the repaint timer and the paint FLTK would then do.
    void Tick() {
        view->TimerTick();
        Fl::flush();
    }

    int Mouse(int event, int x, int y, int button, int clicks = 0, int dy = 0) {
        Fl::e_x = x;
        Fl::e_y = y;
        Fl::e_x_root = window->x_root() + x;
        Fl::e_y_root = window->y_root() + y;
        Fl::e_keysym = button ? FL_Button + button : 0;
        Fl::e_state = event == FL_RELEASE || button == 0 ? 0 : (FL_BUTTON1 << (button - 1));
        Fl::e_clicks = clicks;
        Fl::e_is_click = 0;
        Fl::e_dx = 0;
        Fl::e_dy = dy;
        return window->handle(event);
    }
    void Click(int x, int y, int button, int clicks = 0) {
        Mouse(FL_PUSH, x, y, button, clicks);
        Mouse(FL_RELEASE, x, y, button, clicks);
    }
    // A key as FLTK dispatches it: to the focus widget, then its parents.
    int Key(int key, const char* text = "") {
        std::strncpy(keyText, text, sizeof keyText - 1);
        Fl::e_keysym = key;
        Fl::e_text = keyText;
        Fl::e_length = static_cast<int>(std::strlen(keyText));
        Fl::e_state = 0;
        return Fl::handle(FL_KEYBOARD, top.get());
    }
    void Type(const char* text) {
        for (const char* p = text; *p; ++p) {
            const char one[2] = {*p, 0};
            Key(static_cast<unsigned char>(*p), one);
        }
    }

    double Decibels(int param) { return plugin->Param(param)->Value(); }
    IBounds RectOf(int control) { return view->Control(control)->Rect(); }
    IBounds InputTextRect() {
        const IBounds knob = RectOf(kInputKnobControl);
        return {knob.left, knob.bottom - 20, knob.right, knob.bottom};
    }
    void OpenInputTextBox() {
        const IBounds text = InputTextRect();
        Click((text.left + text.right) / 2, (text.top + text.bottom) / 2, 3);
        ASSERT_NE(view->TextBox(), nullptr);
    }
};

IBounds UnionOf(const std::vector<IBounds>& rects) {
    IBounds all;
    for (const IBounds& r : rects)
        all = all.Union(r);
    return all;
}

TEST_F(EditorWindowTest, OpensAsAChildAtTheAreasCornerAndPaintsEverything) {
    EXPECT_EQ(window->parent(), body);
    EXPECT_EQ(window->x(), 0);
    EXPECT_EQ(window->y(), kMenuHeight);
    EXPECT_EQ(window->w(), kEditorWidth);
    EXPECT_EQ(window->h(), kEditorHeight);
    EXPECT_TRUE(window->shown());
    EXPECT_TRUE(view->IsWindowOpen());
    EXPECT_EQ(view->WindowHandle(), window);
    EXPECT_EQ(view->TimerPeriod(), 40);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);
    EXPECT_EQ(Fl::focus(), window); // keys go to the editor once it is on screen
    EXPECT_EQ(UnionOf(view->presented), (IBounds{0, 0, kEditorWidth, kEditorHeight}));
    for (int i = 0; i < view->ControlCount(); ++i)
        EXPECT_FALSE(view->Control(i)->NeedsRedraw()) << i;
}

TEST_F(EditorWindowTest, ScreenShowsTheBackBufferColours) {
    window->make_current();
    uchar* shown = fl_read_image(nullptr, 0, 0, kEditorWidth, kEditorHeight);
    ASSERT_NE(shown, nullptr);
    int mismatches = 0;
    for (int y = 0; y < kEditorHeight; y += 7) {
        for (int x = 0; x < kEditorWidth; x += 5) {
            const RasterPixel p = view->BackBuffer()->Row(y)[x];
            const uchar* rgb = shown + 3 * (y * kEditorWidth + x);
            if (rgb[0] != ((p >> 16) & 0xFF) || rgb[1] != ((p >> 8) & 0xFF) || rgb[2] != (p & 0xFF))
                ++mismatches;
        }
    }
    delete[] shown;
    EXPECT_EQ(mismatches, 0);
}

TEST_F(EditorWindowTest, RepaintsOnlyWhatIsDirtyAndNothingWhenIdle) {
    view->presented.clear();
    Tick();
    Tick();
    EXPECT_TRUE(view->presented.empty());

    // The needle's value arrives as from the audio thread: painted on the next tick,
    // once more on the one after (a pushed value is drawn twice), then left alone.
    view->PushParameterValue(kMeterParamIdx, 0.75, true);
    Tick();
    ASSERT_EQ(view->presented.size(), 1u);
    EXPECT_EQ(view->presented[0], RectOf(kNeedleControl));
    Tick();
    EXPECT_EQ(view->presented.size(), 2u);
    Tick();
    Tick();
    EXPECT_EQ(view->presented.size(), 2u);
}

TEST_F(EditorWindowTest, TheTimerRunsOnItsOwnAndIdlesQuietly) {
    Pump(0.1);
    view->presented.clear();
    Pump(0.3);
    EXPECT_TRUE(view->presented.empty()) << view->presented.size() << " paints while idle";

    view->PushParameterValue(kMeterParamIdx, 0.25, true);
    ASSERT_TRUE(PumpUntil([&] { return view->presented.size() >= 2; }, 2.0));
    EXPECT_EQ(view->presented[0], RectOf(kNeedleControl));
}

TEST_F(EditorWindowTest, UncoveringTheWindowRepaintsIt) {
    view->presented.clear();
    XClearArea(fl_display, fl_xid(window), 10, 20, 30, 40, True); // an expose, as from the server
    ASSERT_TRUE(PumpUntil([&] { return !view->presented.empty(); }, 2.0));
    EXPECT_EQ(view->presented[0], (IBounds{10, 20, 40, 60}));
}

TEST_F(EditorWindowTest, DragWheelAndDoubleClickMoveTheKnob) {
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = (knob.left + knob.right) / 2;
    const int y = knob.top + 60;
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);

    Mouse(FL_PUSH, x, y, 1);
    Mouse(FL_DRAG, x, y - 31, 1); // 31 of 620 pixels for the whole range
    Mouse(FL_RELEASE, x, y - 31, 1);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    // Drags reach the knob only while it holds the mouse.
    Mouse(FL_DRAG, x, y - 100, 1);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    // A move that FLTK hands on only after the release still counts.
    Mouse(FL_PUSH, x, y, 1);
    Mouse(FL_RELEASE, x, y + 31, 1);
    EXPECT_NEAR(Decibels(kInputParam), 0.0, 1e-9);
    Mouse(FL_DRAG, x, y - 31, 1);
    Mouse(FL_PUSH, x, y, 1);
    Mouse(FL_DRAG, x, y - 31, 1);
    Mouse(FL_RELEASE, x, y - 31, 1);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    Mouse(FL_MOUSEWHEEL, x, y, 0, 0, -1); // one notch away from the user
    EXPECT_NEAR(Decibels(kInputParam), 2.4, 1e-9);
    Mouse(FL_MOUSEWHEEL, x, y, 0, 0, 2);
    EXPECT_NEAR(Decibels(kInputParam), 1.6, 1e-9);

    // The second click of a double click restores the default.
    Click(x, y, 1, 0);
    Click(x, y, 1, 1);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
}

TEST_F(EditorWindowTest, KeysWithACodeGoToTheControlUnderTheMouse) {
    const IBounds knob = RectOf(kInputKnobControl);
    Fl::e_x = (knob.left + knob.right) / 2;
    Fl::e_y = knob.top + 40;
    window->take_focus();
    Fl::e_keysym = ' ';
    EXPECT_EQ(window->handle(FL_KEYBOARD), 1); // the knob takes space
    Fl::e_keysym = 'a';
    EXPECT_EQ(window->handle(FL_KEYBOARD), 0); // but no letters
    Fl::e_keysym = FL_F + 1;
    EXPECT_EQ(window->handle(FL_KEYBOARD), 0);
    Fl::e_x = 5; // the background takes nothing
    Fl::e_y = 5;
    Fl::e_keysym = ' ';
    EXPECT_EQ(window->handle(FL_KEYBOARD), 0);
}

TEST_F(EditorWindowTest, EnterCommitsTheTypedValueOnTheNextTick) {
    OpenInputTextBox();
    Fl_Input* box = view->TextBox();
    const IBounds text = InputTextRect();
    EXPECT_EQ(box->x(), text.left);
    EXPECT_EQ(box->y(), text.top);
    EXPECT_EQ(box->w(), text.right - text.left + 1);
    EXPECT_EQ(box->h(), text.bottom - text.top + 1);
    EXPECT_EQ(box->maximum_size(), 7);
    EXPECT_EQ(Fl::focus(), box);
    EXPECT_EQ(view->TextBoxStateNow(), IEditorWindow::TextBoxFocused);
    EXPECT_STREQ(box->value(), "0.0");
    EXPECT_EQ(box->mark(), 0); // all selected: typing replaces it
    EXPECT_EQ(box->position(), box->size());

    Type("-6x.5"); // the letter is not a number's
    EXPECT_STREQ(box->value(), "-6.5");

    // While the box has the focus the editor stands still.
    view->PushParameterValue(kMeterParamIdx, 0.9, true);
    view->presented.clear();
    Tick();
    Tick();
    EXPECT_TRUE(view->presented.empty());
    EXPECT_TRUE(view->Control(kNeedleControl)->NeedsRedraw());

    EXPECT_EQ(Key(FL_Enter), 1);
    EXPECT_EQ(view->TextBoxStateNow(), IEditorWindow::TextBoxCommit);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0); // not before the tick
    Tick();
    EXPECT_EQ(view->TextBox(), nullptr);
    EXPECT_NEAR(Decibels(kInputParam), -6.5, 1e-9);

    // The next tick paints what waited, the box's place included.
    view->presented.clear();
    Tick();
    ASSERT_FALSE(view->presented.empty());
    const IBounds painted = UnionOf(view->presented);
    EXPECT_EQ(painted.Union(RectOf(kNeedleControl)), painted);
    EXPECT_EQ(painted.Union(text), painted);
}

TEST_F(EditorWindowTest, AClickElsewhereCancelsTheEntry) {
    OpenInputTextBox();
    Type("12");
    Click(200, 40, 1);
    EXPECT_EQ(view->TextBoxStateNow(), IEditorWindow::TextBoxCancel);
    ASSERT_NE(view->TextBox(), nullptr); // removed by the timer, not by the click
    Tick();
    EXPECT_EQ(view->TextBox(), nullptr);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
    EXPECT_EQ(Fl::focus(), window); // the keys come back to the editor
}

TEST_F(EditorWindowTest, CancelAndFocusLossAndWheelAlsoEndTheEntry) {
    OpenInputTextBox();
    view->CancelTextEntry();
    Tick();
    EXPECT_EQ(view->TextBox(), nullptr);

    OpenInputTextBox();
    Fl::focus(nullptr);
    EXPECT_EQ(view->TextBoxStateNow(), IEditorWindow::TextBoxCancel);
    Tick();
    EXPECT_EQ(view->TextBox(), nullptr);

    // While typing, the wheel neither turns the knob nor ends the entry.
    OpenInputTextBox();
    const IBounds knob = RectOf(kInputKnobControl);
    Mouse(FL_MOUSEWHEEL, (knob.left + knob.right) / 2, knob.top + 40, 0, 0, -1);
    EXPECT_EQ(view->TextBoxStateNow(), IEditorWindow::TextBoxFocused);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
    Fl::focus(window);
    Tick();
    EXPECT_EQ(view->TextBox(), nullptr);
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
}

TEST_F(EditorWindowTest, ClosingAndReopeningKeepsPlaceAndSize) {
    window->position(4, kMenuHeight + 6);
    view->CloseEditorWindow();
    EXPECT_EQ(view->WindowHandle(), nullptr);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
    EXPECT_EQ(body->children(), 0);

    window = static_cast<Fl_Window*>(view->OpenEditorWindow(body));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->x(), 0);
    EXPECT_EQ(window->y(), kMenuHeight);
    window->position(4, kMenuHeight + 6);
    // Reopened while open: the old window's place is taken over.
    Fl_Window* again = static_cast<Fl_Window*>(view->OpenEditorWindow(body));
    window = again;
    EXPECT_EQ(again->x(), 4);
    EXPECT_EQ(again->y(), kMenuHeight + 6);
    EXPECT_EQ(body->children(), 1);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 1);
    EXPECT_TRUE(again->shown()); // the parent is on screen: shown at once
    view->presented.clear();
    ASSERT_TRUE(PumpUntil([&] { return !view->presented.empty(); }, 2.0));
    EXPECT_EQ(view->OpenEditorWindow(nullptr), nullptr);
    window = nullptr;
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
}

TEST_F(EditorWindowTest, AParentDeletedFirstTakesTheWindowAlong) {
    OpenInputTextBox();
    top.reset(); // the group and the editor's window with it
    window = nullptr;
    EXPECT_EQ(view->WindowHandle(), nullptr);
    EXPECT_EQ(view->TextBox(), nullptr);
    EXPECT_EQ(IEditorWindow::OpenWindowCount(), 0);
    view->TimerTick();
    Pump(0.1); // no timer left behind
    view->CloseEditorWindow();
}

// Real pointer events from the X server, through FLTK's own dispatch to the child window.
TEST_F(EditorWindowTest, RealPointerEventsReachTheControls) {
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool not installed";
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = window->x_root() + (knob.left + knob.right) / 2;
    const int y = window->y_root() + knob.top + 60;
    auto run = [&](const std::string& args) {
        ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
        Pump(0.3);
    };
    run("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 4"); // wheel away: +1 notch
    EXPECT_NEAR(Decibels(kInputParam), 0.4, 1e-9);
    run("mousedown 1 sleep 0.1 mousemove_relative -- 0 -31 sleep 0.1 mouseup 1");
    EXPECT_NEAR(Decibels(kInputParam), 2.4, 1e-9);
    run("click --repeat 2 --delay 60 1"); // a double click: back to the default
    EXPECT_DOUBLE_EQ(Decibels(kInputParam), 0.0);
}

// Picks an entry of the open popup menu from inside its loop, as the keyboard would.
struct MenuPick {
    int downs;
    static void Run(void* data) {
        auto* pick = static_cast<MenuPick*>(data);
        Fl_Window* menu = Fl::grab();
        if (!menu)
            return;
        static char none[1] = {0};
        Fl::e_text = none;
        Fl::e_length = 0;
        Fl::e_state = 0;
        for (int i = 0; i < pick->downs; ++i) {
            Fl::e_keysym = FL_Down;
            Fl::handle(FL_KEYBOARD, menu);
        }
        Fl::e_keysym = pick->downs > 0 ? FL_Enter : FL_Escape;
        Fl::handle(FL_KEYBOARD, menu);
    }
};

TEST_F(EditorWindowTest, PopupMenuAnswersTheChosenItem) {
    IPopupMenu menu;
    menu.InsertTextItem("Off", -1, 0);
    menu.InsertSeparator(-1);
    menu.InsertTextItem("On", -1, IPopupMenuItem::Checked);
    menu.InsertTextItem("Never", -1, IPopupMenuItem::Disabled);
    const IBounds at{116, 305, 160, 330};

    MenuPick second{2};
    Fl::add_timeout(0.2, &MenuPick::Run, &second);
    EXPECT_EQ(view->ShowPopupMenu(&menu, at), &menu);
    EXPECT_EQ(menu.chosen, 2); // "On", behind the separator

    menu.chosen = -1;
    MenuPick dismiss{0};
    Fl::add_timeout(0.2, &MenuPick::Run, &dismiss);
    EXPECT_EQ(view->ShowPopupMenu(&menu, at), nullptr);
    EXPECT_EQ(menu.chosen, -1);

    IPopupMenu empty;
    EXPECT_EQ(view->ShowPopupMenu(&empty, at), nullptr);
}

TEST(EditorWindowWithoutWindow, ServicesThatNeedAWindowRefuse) {
    IEditorWindow view(nullptr, 100, 80, 30);
    EXPECT_EQ(view.WindowHandle(), nullptr);
    EXPECT_FALSE(view.IsWindowOpen());
    IColour colour{255, 1, 2, 3};
    EXPECT_FALSE(view.ChooseColour(colour, "Pick"));
    EXPECT_EQ(colour.R, 1);
    std::string out = "name.wav";
    std::string folder = "/tmp/";
    view.ChooseFile(out, 0, folder, "wav");
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(folder, "/tmp/");
    IPopupMenu menu;
    menu.InsertTextItem("a", -1, 0);
    EXPECT_EQ(view.ShowPopupMenu(&menu, IBounds{0, 0, 10, 10}), nullptr);
    view.TimerTick(); // nothing to do, nothing to crash on

    std::string host;
    view.HostFolder(host);
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(host.back(), '/');
    std::string program;
    view.ProgramFolder(program);
    EXPECT_EQ(program, host);
}

TEST_F(EditorWindowTest, AtTwiceTheSizeTheWindowShowsTheScaledEditorAndTakesScaledPositions) {
    top->resize(100, 100, 2 * kEditorWidth, kMenuHeight + 2 * kEditorHeight); // on screen whole
    view->SetWindowScale(2.0);
    EXPECT_EQ(window->w(), 576);
    EXPECT_EQ(window->h(), 784);
    EXPECT_EQ(body->w(), 576); // the group that holds the editor grows with it
    Pump(0.3);

    const HeadlessReference reference(2.0);
    const IHeadlessEditorView* headless = reference.view;
    ASSERT_NE(headless, nullptr);
    window->make_current();
    uchar* shown = fl_read_image(nullptr, 0, 0, 576, 784);
    ASSERT_NE(shown, nullptr);
    int mismatches = 0;
    for (int y = 0; y < 784; ++y) {
        for (int x = 0; x < 576; ++x) {
            const RasterPixel p = headless->BackBuffer()->Row(y)[x];
            const uchar* rgb = shown + 3 * (y * 576 + x);
            mismatches += rgb[0] != ((p >> 16) & 0xFF) || rgb[1] != ((p >> 8) & 0xFF) || rgb[2] != (p & 0xFF);
        }
    }
    delete[] shown;
    EXPECT_EQ(mismatches, 0);

    // 62 window pixels are 31 editor pixels: the knob turns as far as at 100 %.
    const IBounds knob = RectOf(kInputKnobControl);
    const int x = knob.left + knob.right;
    const int y = 2 * (knob.top + 60);
    Mouse(FL_PUSH, x, y, 1);
    Mouse(FL_DRAG, x, y - 62, 1);
    Mouse(FL_RELEASE, x, y - 62, 1);
    EXPECT_NEAR(Decibels(kInputParam), 2.0, 1e-9);

    // The value box covers the value where the window shows it, in a font as much larger.
    Click(x, 2 * knob.bottom - 20, 3);
    Fl_Input* box = view->TextBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->x(), 2 * knob.left);
    EXPECT_EQ(box->y(), 2 * knob.bottom - 40);
    EXPECT_EQ(box->textsize(), 2 * view->Control(kInputKnobControl)->TextStyle().size);
}

} // namespace
