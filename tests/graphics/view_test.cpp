// The editor view: rectangles, dirty tracking, painting order, hit testing, mouse
// capture and value entry, driven through the entry points the window layer uses.
#include <gtest/gtest.h>

#include "graphics/bitmap_controls.h"
#include "graphics/text_entry.h"
#include "graphics_test_support.h"

namespace {

using Log = std::vector<std::string>;

struct ViewFixture : ::testing::Test {
    TestPlugin plugin;
    IHeadlessEditorView view{&plugin, 300, 200, 0};
    Log log;

    RecordingControl* Add(const char* name, IBounds rect, int paramIdx = -1) {
        auto* control = new RecordingControl(&plugin, name, &log, rect, paramIdx);
        view.AddControl(control);
        return control;
    }
    void SetUp() override { view.PrepareDrawing(); }
};

TEST(BoundsRules, EmptyContainsOverlapIntersectUnion) {
    const IBounds empty;
    const IBounds a{10, 10, 20, 20};
    EXPECT_TRUE(empty.Empty());
    EXPECT_FALSE((IBounds{0, 0, 0, 1}).Empty());
    EXPECT_FALSE(empty.Contains(0, 0));
    EXPECT_TRUE(a.Contains(10, 10));
    EXPECT_FALSE(a.Contains(20, 15)); // right and bottom are exclusive
    EXPECT_FALSE(a.Contains(15, 20));

    // Touching from the right or below overlaps; touching from the left or above does not.
    EXPECT_TRUE(a.Overlaps(IBounds{20, 10, 30, 20}));
    EXPECT_TRUE(a.Overlaps(IBounds{10, 20, 20, 30}));
    EXPECT_FALSE(a.Overlaps(IBounds{0, 10, 10, 20}));
    EXPECT_FALSE(a.Overlaps(IBounds{10, 0, 20, 10}));

    EXPECT_EQ(a.Intersect(IBounds{15, 5, 40, 18}), (IBounds{15, 10, 20, 18}));
    EXPECT_TRUE(a.Intersect(empty).Empty());
    EXPECT_TRUE(a.Intersect(IBounds{30, 30, 40, 40}).Empty());
    EXPECT_EQ(a.Union(empty), a);
    EXPECT_EQ(empty.Union(a), a);
    EXPECT_EQ(a.Union(IBounds{0, 15, 12, 40}), (IBounds{0, 10, 20, 40}));
}

TEST_F(ViewFixture, ConstructionDefaults) {
    EXPECT_EQ(view.FrameRate(), 25); // 0 asks for the default rate
    EXPECT_EQ((IHeadlessEditorView{&plugin, 10, 10, 30}).FrameRate(), 30);
    EXPECT_EQ(view.MouseCapture(), -1);
    EXPECT_EQ(view.LastMouseX(), 0);
    EXPECT_TRUE(view.StrictPainting());
    EXPECT_FALSE(view.HandleMouseOver());
    ASSERT_NE(view.BackBuffer(), nullptr);
    EXPECT_EQ(view.BackBuffer()->Width(), 300);
    EXPECT_EQ(view.BackBuffer()->Height(), 200);
}

TEST_F(ViewFixture, PaintsOverlappingVisibleControlsInListOrderAndMarksAllDrawn) {
    Add("back", {0, 0, 300, 200});
    Add("inside", {10, 10, 50, 50});
    Add("hidden", {10, 10, 50, 50})->SetHidden(true);
    Add("outside", {200, 100, 250, 150});
    Add("touchesRight", {60, 0, 80, 20}); // left == rect.right: overlaps
    Add("touchesLeft", {0, 60, 5, 80});   // top == rect.bottom: overlaps
    Add("endsAtLeft", {0, 0, 0, 0});      // empty rectangle: never painted
    Add("leftOf", {-20, 0, 0, 20});       // right == rect.left: no overlap

    view.PaintArea({0, 0, 60, 60});
    EXPECT_EQ(log, (Log{"back", "inside", "touchesRight", "touchesLeft"}));
    // Every control is marked drawn, painted or not; the hidden one had redraw-again set
    // when it was hidden, so it stays dirty for one more tick.
    for (int i = 0; i < view.ControlCount(); ++i)
        EXPECT_EQ(view.Control(i)->NeedsRedraw(), i == 2) << i;
    EXPECT_EQ(view.Presented(), (std::vector<IBounds>{{0, 0, 60, 60}}));
}

TEST_F(ViewFixture, DirtyAreaIsTheUnionOfDirtyControlsHiddenOnesIncluded) {
    auto* a = Add("a", {10, 10, 20, 20});
    auto* b = Add("b", {100, 50, 120, 60});
    view.PaintArea({0, 0, 300, 200});
    view.PaintArea({0, 0, 300, 200}); // clears every redraw-again
    IBounds area;
    EXPECT_FALSE(view.CollectDirtyArea(area));
    EXPECT_TRUE(area.Empty());

    b->SetHidden(true);
    a->MarkChanged(false);
    log.clear();
    ASSERT_TRUE(view.CollectDirtyArea(area));
    EXPECT_EQ(area, (IBounds{10, 10, 120, 60}));
    view.PaintArea(area);
    EXPECT_EQ(log, (Log{"a"}));
}

TEST_F(ViewFixture, ValueFromPluginRepaintsOnTwoTicksAndOnlyWhenChanged) {
    auto* control = Add("c", {0, 0, 10, 10}, TestPlugin::kGain);
    control->ValueFromPlugin(0.5); // first value: becomes value and default, no mark
    EXPECT_DOUBLE_EQ(control->DefaultValue(), 0.5);
    control->MarkDrawn();
    EXPECT_FALSE(control->NeedsRedraw());
    control->ValueFromPlugin(0.5);
    EXPECT_FALSE(control->NeedsRedraw());

    control->ValueFromPlugin(0.7);
    EXPECT_TRUE(view.Tick());
    EXPECT_TRUE(view.Tick());
    EXPECT_FALSE(view.Tick());
    EXPECT_EQ(log, (Log{"c", "c"}));
    EXPECT_DOUBLE_EQ(control->Value(), 0.7);
    EXPECT_DOUBLE_EQ(control->DefaultValue(), 0.5);
}

TEST_F(ViewFixture, PushParameterValueReachesEveryBoundControlAndConvertsPlainValues) {
    auto* first = Add("first", {0, 0, 10, 10}, TestPlugin::kGain);
    auto* second = Add("second", {0, 0, 10, 10}, TestPlugin::kGain);
    auto* other = Add("other", {0, 0, 10, 10}, TestPlugin::kMode);
    view.PushParameterValue(TestPlugin::kGain, 10.0, false);
    EXPECT_DOUBLE_EQ(first->Value(), 0.75);
    EXPECT_DOUBLE_EQ(second->Value(), 0.75);
    EXPECT_DOUBLE_EQ(other->Value(), 0.0);
    view.PushParameterValue(TestPlugin::kMode, 0.5, true);
    EXPECT_DOUBLE_EQ(other->Value(), 0.5);
    // No control and no parameter behind index 4 or 9: nothing happens.
    view.PushParameterValue(4, 0.3, true);
    view.PushParameterValue(9, 3.0, false);
}

TEST_F(ViewFixture, HitTestingTakesTheTopmostVisibleUngreyedControl) {
    Add("back", {0, 0, 300, 200});
    auto* middle = Add("middle", {0, 0, 100, 100});
    auto* top = Add("top", {50, 50, 100, 100});
    EXPECT_EQ(view.FindControl(60, 60), 2);
    top->SetHidden(true);
    EXPECT_EQ(view.FindControl(60, 60), 1);
    top->SetHidden(false);
    top->SetGreyed(true);
    EXPECT_EQ(view.FindControl(60, 60), 1);
    EXPECT_EQ(view.FindControl(60, 60, true), 1);
    top->SetHoverWhenGreyed(true);
    EXPECT_EQ(view.FindControl(60, 60, true), 2); // a hover target despite being greyed
    middle->SetHidden(true);
    EXPECT_EQ(view.FindControl(60, 60), 0);
    EXPECT_EQ(view.FindControl(400, 60), -1);
}

TEST_F(ViewFixture, PressCapturesDragFollowsAndReleaseOutsideReachesTheCapturedControl) {
    Add("back", {0, 0, 300, 200});
    Add("knob", {10, 10, 50, 50}, TestPlugin::kGain);
    view.MousePressed(20, 20, LeftButton());
    EXPECT_EQ(view.MouseCapture(), 1);
    EXPECT_EQ(plugin.begins, (std::vector<int>{TestPlugin::kGain}));

    view.MouseDragged(20, 20, LeftButton()); // no movement: nothing
    view.MouseDragged(250, 5, LeftButton()); // far outside the control: still its drag
    auto* knob = static_cast<RecordingControl*>(view.Control(1));
    EXPECT_EQ(knob->lastDX, 230);
    EXPECT_EQ(knob->lastDY, -15);
    view.MouseReleased(-40, 900, LeftButton()); // outside every control
    EXPECT_EQ(view.MouseCapture(), -1);
    EXPECT_EQ(view.LastMouseX(), -1);
    EXPECT_EQ(plugin.ends, (std::vector<int>{TestPlugin::kGain}));
    EXPECT_EQ(log, (Log{"knob:press@20,20", "knob:drag@250,5", "knob:release@-40,900"}));

    // Drags without a capture go nowhere; a press on the background (no parameter)
    // tells the plug-in nothing.
    log.clear();
    view.MouseDragged(30, 30, LeftButton());
    view.MousePressed(200, 150, LeftButton());
    view.MouseReleased(200, 150, LeftButton());
    EXPECT_EQ(log, (Log{"back:press@200,150", "back:release@200,150"}));
    EXPECT_EQ(plugin.begins.size(), 1u);
    EXPECT_EQ(plugin.ends.size(), 1u);

    // A press on nothing captures nothing; the release then goes to the control under it.
    log.clear();
    view.MousePressed(900, 900, LeftButton());
    EXPECT_EQ(view.MouseCapture(), -1);
    view.MouseReleased(20, 20, LeftButton());
    EXPECT_EQ(log, (Log{"knob:release@20,20"}));
}

TEST_F(ViewFixture, PressOnGreyedOrHiddenControlReachesTheOneBelow) {
    Add("below", {0, 0, 100, 100});
    auto* top = Add("top", {0, 0, 100, 100}, TestPlugin::kGain);
    top->SetGreyed(true);
    view.MousePressed(5, 5, LeftButton());
    top->SetGreyed(false);
    top->SetHidden(true);
    view.MousePressed(6, 6, LeftButton());
    EXPECT_EQ(log, (Log{"below:press@5,5", "below:press@6,6"}));
    EXPECT_TRUE(plugin.begins.empty());
}

TEST_F(ViewFixture, WheelGoesToTheCapturedControlOrTheOneUnderTheMouse) {
    auto* a = Add("a", {0, 0, 100, 100});
    auto* b = Add("b", {100, 0, 200, 100});
    a->SetValue(0.5);
    view.MouseWheeled(10, 10, {}, 3);
    EXPECT_NEAR(a->Value(), 0.53, 1e-12);
    view.MouseWheeled(10, 10, IModifierKeys{false, false, false, true, false}, -2);
    EXPECT_NEAR(a->Value(), 0.528, 1e-12);
    view.MouseWheeled(10, 10, {}, 100); // clamped
    EXPECT_DOUBLE_EQ(a->Value(), 1.0);
    view.MousePressed(150, 10, LeftButton());
    view.MouseWheeled(10, 10, {}, 1); // b holds the mouse
    EXPECT_DOUBLE_EQ(b->Value(), 0.01);
    view.MouseWheeled(900, 10, {}, 1);
}

TEST_F(ViewFixture, KeysGoToTheControlUnderTheMouseButNotTheBackground) {
    Add("back", {0, 0, 300, 200});
    Add("c", {10, 10, 50, 50});
    EXPECT_FALSE(view.KeyPressed(100, 100, KeySpace));
    EXPECT_FALSE(view.KeyPressed(900, 900, KeySpace));
    EXPECT_TRUE(view.KeyPressed(20, 20, KeySpace));
    EXPECT_EQ(log, (Log{"c:key@20,20"}));
}

TEST_F(ViewFixture, DoubleClickRestoresTheDefaultOnceKnown) {
    auto* c = Add("c", {0, 0, 100, 100}, TestPlugin::kGain);
    c->SetValue(0.9);
    EXPECT_FALSE(view.MouseDoubleClicked(5, 5, LeftButton()));
    EXPECT_DOUBLE_EQ(c->Value(), 0.9); // default still unknown
    c->ValueFromPlugin(0.25);          // becomes the default
    c->SetValue(0.9);
    EXPECT_FALSE(view.MouseDoubleClicked(5, 5, LeftButton()));
    EXPECT_DOUBLE_EQ(c->Value(), 0.25);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), -10.0);
    EXPECT_TRUE(plugin.begins.empty()); // no gesture for double clicks

    c->SetDoubleClickAsPress(true);
    EXPECT_TRUE(view.MouseDoubleClicked(6, 6, LeftButton()));
    EXPECT_EQ(view.MouseCapture(), 0);
    EXPECT_EQ(log.back(), "c:press@6,6");
    EXPECT_FALSE(view.MouseDoubleClicked(900, 900, LeftButton()));
}

TEST_F(ViewFixture, HoverIsReportedOnlyWhenEnabled) {
    Add("a", {0, 0, 100, 100});
    Add("b", {100, 0, 200, 100});
    EXPECT_FALSE(view.MouseHovered(10, 10, {}));
    EXPECT_TRUE(log.empty());
    view.SetHandleMouseOver(true);
    EXPECT_TRUE(view.MouseHovered(10, 10, {}));
    EXPECT_TRUE(view.MouseHovered(150, 10, {}));
    EXPECT_TRUE(view.MouseHovered(900, 10, {}));
    EXPECT_EQ(view.MouseOver(), 1);
    view.MouseLeft();
    EXPECT_EQ(view.MouseOver(), -1);
    EXPECT_EQ(log, (Log{"a:hover@10,10", "b:hover@150,10", "a:left", "a:left", "b:left"}));
}

TEST_F(ViewFixture, NumberParameterGetsATextBoxWithItsPlainValue) {
    auto* c = Add("c", {100, 50, 160, 90}, TestPlugin::kGain);
    plugin.SetParameterFromGUI(TestPlugin::kGain, 0.375); // -5.0 dB
    c->SetPromptingDisabled(false);
    view.MousePressed(110, 60, RightButton());
    ASSERT_TRUE(view.HasTextEntry());
    EXPECT_EQ(view.LastTextEntry().text, "-5.0");
    EXPECT_EQ(view.LastTextEntry().control, c);
    EXPECT_EQ(view.LastTextEntry().rect, (IBounds{115, 62, 145, 78})); // 30 x 16 in the middle
    EXPECT_TRUE(c->RedrawAgain());

    EXPECT_TRUE(view.CommitTextEntry("12.5dB"));
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), 12.5);
    EXPECT_DOUBLE_EQ(c->Value(), 0.8125);
    EXPECT_FALSE(view.CommitTextEntry("1"));
}

TEST_F(ViewFixture, ChoiceParameterGetsAMenuWithTheCurrentTextChecked) {
    auto* c = Add("c", {10, 10, 50, 30}, TestPlugin::kMode);
    c->SetPromptingDisabled(false);
    plugin.SetParameterFromGUI(TestPlugin::kMode, 0.5); // "Medium"
    view.SetNextMenuChoice(2);
    view.MousePressed(12, 12, RightButton());
    ASSERT_EQ(view.Menus().size(), 1u);
    const auto& menu = view.Menus()[0];
    EXPECT_EQ(menu.rect, (IBounds{10, 10, 50, 30})); // value texts: the whole control
    EXPECT_EQ(menu.items, (std::vector<std::string>{"Soft", "Medium", "Hard"}));
    EXPECT_EQ(menu.flags, (std::vector<int>{0, IPopupMenuItem::Checked, 0}));
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kMode)->Value(), 2.0);
    EXPECT_DOUBLE_EQ(c->Value(), 1.0);

    // Dismissing the menu changes nothing.
    view.MousePressed(12, 12, RightButton());
    EXPECT_EQ(view.Menus().size(), 2u);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kMode)->Value(), 2.0);
}

TEST_F(ViewFixture, ValueEntryNeedsPromptingAParameterAndAllArguments) {
    auto* quiet = Add("quiet", {0, 0, 10, 10}, TestPlugin::kGain); // prompting disabled by default
    auto* unbound = Add("unbound", {20, 0, 30, 10});
    unbound->SetPromptingDisabled(false);
    view.MousePressed(5, 5, RightButton());
    view.MousePressed(25, 5, RightButton());
    IBounds area{0, 0, 5, 5};
    view.OpenValueEntry(nullptr, plugin.Param(0), &area);
    view.OpenValueEntry(quiet, nullptr, &area);
    view.OpenValueEntry(quiet, plugin.Param(0), nullptr);
    EXPECT_FALSE(view.HasTextEntry());
    EXPECT_TRUE(view.Menus().empty());
}

TEST(TextEntry, LeadingDecimalReadsOnlyPlainNumbers) {
    EXPECT_DOUBLE_EQ(LeadingDecimal("-3.5dB"), -3.5);
    EXPECT_DOUBLE_EQ(LeadingDecimal("+7"), 7.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingDecimal("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(LeadingDecimal("abc"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal("-"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal("0x10"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal(""), 0.0);
    EXPECT_DOUBLE_EQ(LeadingDecimal(nullptr), 0.0);
}

TEST_F(ViewFixture, CommittedTextForAChoiceNamesAValue) {
    auto* c = Add("c", {0, 0, 10, 10}, TestPlugin::kMode);
    CommitEnteredText(c, plugin.Param(TestPlugin::kMode), "Hard");
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kMode)->Value(), 2.0);
    CommitEnteredText(c, plugin.Param(TestPlugin::kMode), "Nonsense"); // names nothing: value 0
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kMode)->Value(), 0.0);
    plugin.Param(TestPlugin::kGain)->SetNegateForDisplay(true);
    auto* g = Add("g", {0, 0, 10, 10}, TestPlugin::kGain);
    CommitEnteredText(g, plugin.Param(TestPlugin::kGain), "4");
    EXPECT_NEAR(plugin.Param(TestPlugin::kGain)->Value(), -4.0, 1e-12);
    CommitEnteredText(g, plugin.Param(TestPlugin::kGain), "9999"); // clamped into range
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), -20.0);
}

TEST_F(ViewFixture, BlitStripFrameTakesRoundedSourceRowsAndClipsToTheDrawArea) {
    // Each source row carries its own number, so the back buffer shows which row landed.
    auto strip = MakeBitmap(2, 13635, 0, true);
    const IBitmapStrip s = StripOf(strip.get(), 101);
    const IBlend replace{BlendReplace, 1.0f};
    view.PaintArea({0, 0, 300, 200}); // sets the draw area (no controls: nothing presented)
    Add("back", {0, 0, 300, 200});
    view.PaintArea({0, 0, 300, 200});
    view.BlitStripFrame(s, {10, 10, 12, 145}, 51, &replace);
    EXPECT_EQ(PixelAt(view, 10, 10), 0xFF000000u | 6750u);
    EXPECT_EQ(PixelAt(view, 11, 144), 0xFF000000u | 6884u);
    view.BlitStripFrame(s, {20, 10, 22, 145}, 1, &replace);
    EXPECT_EQ(PixelAt(view, 20, 10), 0xFF000000u);
    view.BlitStripFrame(s, {30, 10, 32, 145}, 101, &replace);
    EXPECT_EQ(PixelAt(view, 30, 10), 0xFF000000u | 13500u);

    // Only the draw area is touched; the source moves with the clipped edge.
    view.PaintArea({40, 20, 300, 200});
    const RasterPixel before = PixelAt(view, 40, 19);
    view.BlitStripFrame(s, {40, 10, 42, 145}, 1, &replace);
    EXPECT_EQ(PixelAt(view, 40, 19), before);
    EXPECT_EQ(PixelAt(view, 40, 20), 0xFF000000u | 10u);
}

TEST_F(ViewFixture, AtAScaleTheBackBufferAndPresentationAreInDevicePixelsAndTheMouseIsNot) {
    view.SetScale(2.2); // the nearest step
    EXPECT_EQ(view.Scale(), 2.0);
    EXPECT_EQ(view.DeviceWidth(), 600);
    ASSERT_EQ(view.BackBuffer()->Width(), 600);
    ASSERT_EQ(view.BackBuffer()->Height(), 400);
    Add("back", {0, 0, 300, 200});
    Add("button", {10, 10, 20, 20});
    view.PaintArea({10, 10, 20, 20});
    EXPECT_EQ(view.Presented().back(), (IBounds{20, 20, 40, 40}));
    view.MousePressed(19, 19, LeftButton()); // editor pixels: still the button
    EXPECT_EQ(view.MouseCapture(), 1);

    // An image with no artwork of its own at this scale is its 100 % image enlarged.
    auto strip = MakeBitmap(2, 6, 0, true);
    const IBlend replace{BlendReplace, 1.0f};
    view.PaintArea({0, 0, 300, 200});
    view.BlitStripFrame(StripOf(strip.get(), 2), {50, 50, 52, 54}, 2, &replace);
    EXPECT_EQ(PixelAt(view, 100, 100), 0xFF000000u | 3u);
    EXPECT_EQ(PixelAt(view, 103, 105), 0xFF000000u | 5u);
    view.BlitStripFrame(StripOf(strip.get(), 2), {60, 50, 62, 54}, 1, &replace);
    EXPECT_EQ(PixelAt(view, 120, 105), 0xFF000000u | 2u);
    EXPECT_NE(PixelAt(view, 120, 106), 0xFF000000u | 3u); // the rect is taller than a frame
}

TEST_F(ViewFixture, GreyedBitmapPaintsAtQuarterOpacity) {
    auto black = MakeBitmap(300, 200, 0xFF000000u);
    auto white = MakeBitmap(4, 4, 0xFFFFFFFFu);
    view.AddControl(
        new IBitmapControl(&plugin, 0, 0, -1, StripOf(black.get(), 1), IBlend{BlendReplace, 1.0f}));
    auto* patch = new IBitmapControl(&plugin, 8, 8, -1, StripOf(white.get(), 1));
    view.AddControl(patch);
    view.PaintAll();
    EXPECT_EQ(PixelAt(view, 9, 9), 0xFFFFFFFFu);
    patch->SetGreyed(true);
    EXPECT_FLOAT_EQ(patch->Blend().weight, 0.25f);
    view.Tick();
    EXPECT_EQ(PixelAt(view, 9, 9), 0xFF404040u); // 255 + (0 - 255) * 192 / 256 = 64
    EXPECT_EQ(PixelAt(view, 7, 7), 0xFF000000u);
    patch->SetGreyed(false);
    view.Tick();
    EXPECT_EQ(PixelAt(view, 9, 9), 0xFFFFFFFFu);
}

TEST_F(ViewFixture, RepaintRebuildsFromTheBackgroundSoBlendsNeverAccumulate) {
    auto clear = MakeBitmap(300, 200, 0xFF102030u);
    auto glass = MakeBitmap(10, 10, 0x80FFFFFFu);
    view.AddControl(
        new IBitmapControl(&plugin, 0, 0, -1, StripOf(clear.get(), 1), IBlend{BlendReplace, 1.0f}));
    auto* pane = new IBitmapControl(&plugin, 5, 5, -1, StripOf(glass.get(), 1));
    view.AddControl(pane);
    view.PaintAll();
    const RasterPixel once = PixelAt(view, 6, 6);
    for (int i = 0; i < 5; ++i) {
        pane->MarkChanged(false);
        view.Tick();
    }
    EXPECT_EQ(PixelAt(view, 6, 6), once);
}

TEST_F(ViewFixture, SetSizeDestroysEveryControlAndTellsThePlugin) {
    Add("a", {0, 0, 10, 10});
    view.MousePressed(5, 5, LeftButton());
    view.SetSize(400, 300);
    EXPECT_EQ(view.ControlCount(), 0);
    EXPECT_EQ(view.MouseCapture(), -1);
    EXPECT_EQ(plugin.resizedWidth, 400);
    EXPECT_EQ(plugin.resizedHeight, 300);
    EXPECT_TRUE(view.PaintArea({0, 0, 10, 10})); // no controls: nothing to do
    EXPECT_EQ(view.Presented().size(), 0u);
}

TEST(NonStrictPainting, RepaintsEachDirtyControlWithWhatLiesUnderIt) {
    TestPlugin plugin;
    IHeadlessEditorView view(&plugin, 100, 100, 0);
    view.PrepareDrawing();
    view.SetStrictPainting(false);
    Log log;
    view.AddControl(new RecordingControl("back", &log, {0, 0, 100, 100}));
    view.AddControl(new RecordingControl("a", &log, {0, 0, 20, 20}));
    auto* b = new RecordingControl("b", &log, {50, 50, 60, 60});
    view.AddControl(b);
    view.PaintArea({0, 0, 100, 100}); // background dirty: everything
    EXPECT_EQ(log, (Log{"back", "a", "b"}));
    log.clear();
    b->MarkChanged(false);
    view.PaintArea({50, 50, 60, 60});
    EXPECT_EQ(log, (Log{"back", "b"}));
}

} // namespace
