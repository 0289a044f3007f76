// The control classes: value flow, frame choice, knob gearing, switch and overlay
// clicks, the slider's handle, and the knob's text and keys.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/bitmap_controls.h"
#include "graphics/knob_controls.h"
#include "graphics/slider_control.h"
#include "graphics_test_support.h"

namespace {

TEST(FrameChoice, RoundsTheValueOntoTheStripAndLimitsIt) {
    EXPECT_EQ(FrameForValue(0.5, 101), 51);
    EXPECT_EQ(FrameForValue(0.004, 101), 1);
    EXPECT_EQ(FrameForValue(0.005, 101), 2);
    EXPECT_EQ(FrameForValue(1.0, 101), 101);
    EXPECT_EQ(FrameForValue(1.0001, 101), 101);
    EXPECT_EQ(FrameForValue(-0.3, 101), 1);
    EXPECT_EQ(FrameForValue(1e300, 101), 101);
    EXPECT_EQ(FrameForValue(std::nan(""), 101), 1);
    EXPECT_EQ(FrameForValue(0.49, 2), 1);
    EXPECT_EQ(FrameForValue(0.5, 2), 2);
    EXPECT_EQ(FrameForValue(0.9, 1), 1);
    EXPECT_EQ(FrameForValue(0.9, 0), 1);
}

struct ControlFixture : ::testing::Test {
    TestPlugin plugin;
    IHeadlessEditorView view{&plugin, 300, 400, 0};
    std::unique_ptr<RasterMemoryBitmap> knobImage = MakeBitmap(10, 1010, 0xFF808080u);
    std::unique_ptr<RasterMemoryBitmap> toggleImage = MakeBitmap(8, 16, 0xFF808080u);
    void SetUp() override { view.PrepareDrawing(); }
};

TEST_F(ControlFixture, MarkChangedClampsAndPushesOnlyWhenAsked) {
    auto* c = new RecordingControl(&plugin, "c", nullptr, {0, 0, 10, 10}, TestPlugin::kGain);
    view.AddControl(c);
    c->SetValue(1.7);
    c->MarkChanged(false);
    EXPECT_DOUBLE_EQ(c->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), 0.0);
    c->SetValue(-0.2);
    c->MarkChanged(true);
    EXPECT_DOUBLE_EQ(c->Value(), 0.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), -20.0);
    // A NaN never reaches the plug-in.
    c->SetValue(std::nan(""));
    c->MarkChanged(true);
    EXPECT_DOUBLE_EQ(c->Value(), 0.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), -20.0);
}

TEST_F(ControlFixture, ValueFromEntryPushesAndStaysDirtyForTwoPaints) {
    auto* c = new RecordingControl(&plugin, "c", nullptr, {0, 0, 10, 10}, TestPlugin::kGain);
    view.AddControl(c);
    c->MarkDrawn();
    c->ValueFromEntry(0.0); // unchanged: nothing
    EXPECT_FALSE(c->NeedsRedraw());
    c->ValueFromEntry(0.75);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), 10.0);
    EXPECT_TRUE(c->NeedsRedraw());
    EXPECT_TRUE(c->RedrawAgain());
    c->MarkDrawn();
    EXPECT_TRUE(c->NeedsRedraw());
    c->MarkDrawn();
    EXPECT_FALSE(c->NeedsRedraw());
}

TEST_F(ControlFixture, KnobDragOf620PixelsSpansTheRangeAnd6200WithAModifier) {
    auto* knob =
        new IKnobTextControl(&plugin, {12, 168, 147, 323}, TestPlugin::kGain, StripOf(knobImage.get(), 101),
                             DefaultControlTextStyle(), kVertical, 4.0);
    view.AddControl(knob);
    EXPECT_EQ(knob->KnobRect(), (IBounds{12, 168, 22, 178})); // one frame of the strip
    EXPECT_EQ(knob->TextRect(), (IBounds{12, 303, 147, 323}));
    EXPECT_FALSE(knob->PromptingDisabled());

    view.PushParameterValue(TestPlugin::kGain, 0.0, true);
    view.MousePressed(50, 250, LeftButton());
    view.MouseDragged(50, 250 - 310, LeftButton()); // up is more
    EXPECT_NEAR(knob->Value(), 0.5, 1e-12);
    EXPECT_NEAR(plugin.Param(TestPlugin::kGain)->Value(), 0.0, 1e-9);
    view.MouseDragged(50, 250 - 620, LeftButton());
    EXPECT_NEAR(knob->Value(), 1.0, 1e-12);
    view.MouseDragged(50, 250 - 700, LeftButton()); // past the end: clamped
    EXPECT_DOUBLE_EQ(knob->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), 20.0);
    view.MouseReleased(50, 0, LeftButton());

    const IModifierKeys shift{true, false, true, false, false};
    view.MousePressed(50, 250, shift);
    view.MouseDragged(50, 250 + 620, shift);
    EXPECT_NEAR(knob->Value(), 0.9, 1e-12);
    const IModifierKeys control{true, false, false, true, false};
    view.MouseDragged(50, 250 + 620 + 6200 - 620, control);
    EXPECT_NEAR(knob->Value(), 0.0, 1e-12);
    view.MouseReleased(50, 0, control);
    EXPECT_EQ(plugin.begins, (std::vector<int>{0, 0}));
    EXPECT_EQ(plugin.ends, (std::vector<int>{0, 0}));
}

TEST_F(ControlFixture, HorizontalKnobUsesTheWidth) {
    struct Knob : IKnobControl {
        using IKnobControl::IKnobControl;
        bool Paint(IEditorView&) override { return true; }
    };
    auto* knob = new Knob(&plugin, {0, 0, 100, 10}, TestPlugin::kGain, kHorizontal, 2.0);
    view.AddControl(knob);
    view.MousePressed(10, 5, LeftButton());
    view.MouseDragged(60, 5, LeftButton());
    EXPECT_NEAR(knob->Value(), 0.25, 1e-12);
}

TEST_F(ControlFixture, KnobPressOpensValueEntryOnlyInTheTextRect) {
    auto* knob =
        new IKnobTextControl(&plugin, {12, 168, 147, 323}, TestPlugin::kGain, StripOf(knobImage.get(), 101),
                             DefaultControlTextStyle(), kVertical, 4.0);
    view.AddControl(knob);
    view.PushParameterValue(TestPlugin::kGain, 0.5, true);
    view.MousePressed(80, 200, LeftButton()); // on the knob: no move, no entry
    EXPECT_FALSE(view.HasTextEntry());
    EXPECT_DOUBLE_EQ(knob->Value(), 0.5);
    view.MouseReleased(80, 200, LeftButton());

    view.MousePressed(80, 310, LeftButton());
    ASSERT_TRUE(view.HasTextEntry());
    EXPECT_EQ(view.LastTextEntry().rect, (IBounds{12, 303, 147, 323}));
    EXPECT_EQ(view.LastTextEntry().text, "0.0");
    EXPECT_EQ(view.LastTextEntry().param, plugin.Param(TestPlugin::kGain));
}

TEST_F(ControlFixture, KnobKeysPlayMiddleCThroughThePlugin) {
    view.AddControl(new RecordingControl("back", nullptr, {0, 0, 300, 400})); // index 0 never gets keys
    auto* knob =
        new IKnobTextControl(&plugin, {0, 0, 50, 50}, TestPlugin::kGain, StripOf(knobImage.get(), 101),
                             DefaultControlTextStyle(), kVertical, 4.0);
    view.AddControl(knob);
    EXPECT_TRUE(view.KeyPressed(5, 5, KeySpace));
    EXPECT_TRUE(view.KeyPressed(5, 5, KeyLeft));
    EXPECT_TRUE(view.KeyPressed(5, 5, KeyRight));
    EXPECT_FALSE(view.KeyPressed(5, 5, KeyUp));
    EXPECT_FALSE(view.KeyPressed(5, 5, KeyLetterA));
    ASSERT_EQ(plugin.midi.size(), 2u);
    EXPECT_EQ(plugin.midi[0].status, 0x90);
    EXPECT_EQ(plugin.midi[0].data1, 60);
    EXPECT_EQ(plugin.midi[0].data2, 127);
    EXPECT_EQ(plugin.midi[1].status, 0x80);
    EXPECT_EQ(plugin.midi[1].data1, 60);
    EXPECT_EQ(plugin.midi[1].data2, 0);
}

TEST_F(ControlFixture, SwitchClicksStepThroughItsFramesAndWrap) {
    auto* sw = new ISwitchControl(&plugin, 116, 305, TestPlugin::kFlag, StripOf(toggleImage.get(), 2));
    view.AddControl(sw);
    EXPECT_EQ(sw->Rect(), (IBounds{116, 305, 124, 313}));
    const double expected[] = {1.0, 0.0, 1.0};
    for (double want : expected) {
        view.MousePressed(120, 310, LeftButton());
        view.MouseReleased(120, 310, LeftButton());
        EXPECT_DOUBLE_EQ(sw->Value(), want);
        EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kFlag)->Value(), want);
    }
    // A double click is one more click.
    view.MouseDoubleClicked(120, 310, LeftButton());
    EXPECT_DOUBLE_EQ(sw->Value(), 0.0);

    // A three-frame switch: 0, 0.5, 1, 0.
    auto* three = new ISwitchControl(&plugin, 0, 0, TestPlugin::kMode, StripOf(knobImage.get(), 3));
    view.AddControl(three);
    view.MousePressed(1, 1, LeftButton());
    EXPECT_DOUBLE_EQ(three->Value(), 0.5);
    view.MousePressed(1, 1, LeftButton());
    view.MousePressed(1, 1, LeftButton());
    EXPECT_DOUBLE_EQ(three->Value(), 0.0);
}

TEST_F(ControlFixture, OneFrameSwitchAlternatesAndRightClickStillPushes) {
    auto* sw = new ISwitchControl(&plugin, 0, 0, TestPlugin::kFlag, StripOf(toggleImage.get(), 1));
    view.AddControl(sw);
    view.MousePressed(1, 1, LeftButton());
    EXPECT_DOUBLE_EQ(sw->Value(), 1.0);
    view.MousePressed(1, 1, LeftButton());
    EXPECT_DOUBLE_EQ(sw->Value(), 0.0);

    // Prompting is disabled: a right click opens nothing but confirms the value.
    plugin.Param(TestPlugin::kFlag)->SetClamped(1.0);
    view.MousePressed(1, 1, RightButton());
    EXPECT_TRUE(view.Menus().empty());
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kFlag)->Value(), 0.0);

    // With prompting on, the menu's choice is what gets pushed.
    sw->SetPromptingDisabled(false);
    view.SetNextMenuChoice(1);
    view.MousePressed(1, 1, RightButton());
    ASSERT_EQ(view.Menus().size(), 1u);
    EXPECT_DOUBLE_EQ(sw->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kFlag)->Value(), 1.0);
}

TEST_F(ControlFixture, OverlayReactsOnlyInItsHiddenAreaUntilShown) {
    auto back = MakeBitmap(300, 400, 0xFF000000u);
    auto info = MakeBitmap(300, 400, 0xFFFFFFFFu);
    view.AddControl(
        new IBitmapControl(&plugin, 0, 0, -1, StripOf(back.get(), 1), IBlend{BlendReplace, 1.0f}));
    auto* overlay = new IOverlayControl(&plugin, 0, 0, -1, StripOf(info.get(), 1), IBounds{80, 30, 212, 62});
    view.AddControl(overlay);
    EXPECT_EQ(overlay->TargetRect(), overlay->Rect()); // until the first paint
    view.PaintAll();
    EXPECT_EQ(overlay->TargetRect(), (IBounds{80, 30, 212, 62}));
    EXPECT_EQ(PixelAt(view, 150, 200), 0xFF000000u);

    view.MousePressed(10, 380, LeftButton()); // the background takes it
    EXPECT_FALSE(overlay->IsShown());
    view.MousePressed(100, 40, LeftButton());
    EXPECT_TRUE(overlay->IsShown());
    view.Tick();
    EXPECT_EQ(overlay->TargetRect(), overlay->Rect());
    EXPECT_EQ(PixelAt(view, 150, 200), 0xFFFFFFFFu);

    view.MousePressed(10, 380, LeftButton());
    EXPECT_FALSE(overlay->IsShown());
    view.Tick();
    EXPECT_EQ(PixelAt(view, 150, 200), 0xFF000000u);
    EXPECT_EQ(overlay->TargetRect(), (IBounds{80, 30, 212, 62}));
}

TEST_F(ControlFixture, SliderHandleFollowsTheMouseAndItsValue) {
    auto needleImage = MakeBitmap(16, 45, 0xFFFFFFFFu);
    auto* slider = new ISliderControl(&plugin, 20, 83, 250, TestPlugin::kGain, StripOf(needleImage.get(), 1),
                                      kHorizontal);
    view.AddControl(slider);
    EXPECT_EQ(slider->Rect(), (IBounds{20, 83, 270, 128}));
    EXPECT_EQ(slider->HandleSize(), 16);
    slider->SetValue(0.5);
    EXPECT_EQ(slider->HandleRect(), (IBounds{137, 83, 153, 128}));
    slider->SetValue(1.0);
    EXPECT_EQ(slider->HandleRect().left, 254);
    slider->SetValue(0.0);
    EXPECT_EQ(slider->HandleRect().left, 20);

    view.MousePressed(20 + 8 + 117, 100, LeftButton()); // handle centre at the middle
    EXPECT_DOUBLE_EQ(slider->Value(), 0.5);
    view.MouseDragged(500, 100, LeftButton());
    EXPECT_DOUBLE_EQ(slider->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.Param(TestPlugin::kGain)->Value(), 20.0);

    auto* vertical = new ISliderControl(&plugin, 0, 0, 100, -1, StripOf(needleImage.get(), 1), kVertical);
    view.AddControl(vertical);
    EXPECT_EQ(vertical->Rect(), (IBounds{0, 0, 16, 100}));
    EXPECT_EQ(vertical->HandleSize(), 45);
    vertical->SetValue(1.0);
    EXPECT_EQ(vertical->HandleRect(), (IBounds{0, 0, 16, 45}));
    vertical->SetValue(0.0);
    EXPECT_EQ(vertical->HandleRect(), (IBounds{0, 55, 16, 100}));
}

} // namespace
