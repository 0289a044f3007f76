// The plug-in's editor as built by BuildVt4rEditor and attached to the real plug-in:
// controls, geometry, bindings, and what clicks and drags do to the parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "framework/standalone.h"
#include "graphics/bitmap_controls.h"
#include "graphics/headless_view.h"
#include "graphics/knob_controls.h"
#include "graphics/slider_control.h"
#include "graphics_test_support.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"

namespace {

struct LayoutFixture : ::testing::Test {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    IHeadlessEditorView* view = nullptr;

    void SetUp() override {
        ASSERT_NE(plugin, nullptr);
        view = dynamic_cast<IHeadlessEditorView*>(plugin->Editor());
        ASSERT_NE(view, nullptr);
        view->PaintAll(); // as opening the window does
    }
    template <typename T> T* ControlAs(int index) { return dynamic_cast<T*>(view->Control(index)); }
    double ParamValue(int index) { return plugin->Param(index)->Value(); }
    void Click(int x, int y) {
        view->MousePressed(x, y, LeftButton());
        view->MouseReleased(x, y, LeftButton());
        view->Tick();
    }
};

TEST_F(LayoutFixture, ControlsInPaintingOrderWithTheirGeometryAndBindings) {
    ASSERT_EQ(view->ControlCount(), kNumControls);
    EXPECT_EQ(view->Width(), 288);
    EXPECT_EQ(view->Height(), 392);
    EXPECT_EQ(view->FrameRate(), 25);

    const IBounds whole{0, 0, 288, 392};
    auto* background = ControlAs<IBitmapControl>(kBackgroundControl);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->Rect(), whole);
    EXPECT_EQ(background->Blend().method, BlendReplace);
    auto* face = ControlAs<IBitmapControl>(kMeterFaceControl);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->Rect(), whole);
    EXPECT_EQ(face->Blend().method, BlendOver);

    auto* needle = ControlAs<ISliderControl>(kNeedleControl);
    ASSERT_NE(needle, nullptr);
    EXPECT_EQ(needle->Rect(), (IBounds{20, 83, 270, 128}));
    EXPECT_EQ(needle->ParamIdx(), kMeterParamIdx);
    EXPECT_EQ(needle->HandleSize(), 16);

    auto* panel = ControlAs<IBitmapControl>(kFrontPanelControl);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Rect(), whole);
    EXPECT_EQ(panel->ParamIdx(), -1);

    const IBounds knobRects[2] = {{12, 168, 147, 323}, {141, 168, 276, 323}};
    for (int k = 0; k < 2; ++k) {
        auto* knob = ControlAs<IKnobTextControl>(kInputKnobControl + k);
        ASSERT_NE(knob, nullptr);
        EXPECT_EQ(knob->Rect(), knobRects[k]);
        EXPECT_EQ(knob->ParamIdx(), k == 0 ? kInputParam : kOutputParam);
        EXPECT_EQ(knob->KnobRect(), (IBounds{knobRects[k].left, 168, knobRects[k].right, 303}));
        EXPECT_EQ(knob->TextRect(), (IBounds{knobRects[k].left, 303, knobRects[k].right, 323}));
        EXPECT_EQ(knob->Strip().frames, 101);
        EXPECT_EQ(knob->Strip().FrameHeight(), 135);
        EXPECT_EQ(knob->Direction(), kVertical);
        EXPECT_DOUBLE_EQ(knob->Gearing(), 4.0);
        EXPECT_FALSE(knob->PromptingDisabled());
        const ITextStyle& style = knob->TextStyle();
        EXPECT_STREQ(style.fontName, "Arial Black");
        EXPECT_EQ(style.size, 16);
        EXPECT_EQ(style.colour.A, 115);
        EXPECT_EQ(style.colour.R + style.colour.G + style.colour.B, 0);
        EXPECT_EQ(style.alignment, TextAlignCentre);
    }

    auto* toggle = ControlAs<ISwitchControl>(kRelaxedSwitchControl);
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle->Rect(), (IBounds{116, 305, 172, 361}));
    EXPECT_EQ(toggle->ParamIdx(), kRelaxedModeParam);
    EXPECT_EQ(toggle->Strip().frames, 2);

    auto* overlay = ControlAs<IOverlayControl>(kOverlayControl);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->Rect(), whole);
    EXPECT_FALSE(overlay->IsShown());
    EXPECT_EQ(overlay->TargetRect(), (IBounds{80, 30, 212, 62}));
}

TEST_F(LayoutFixture, KnobsShowTheFrameOfTheirParameter) {
    auto* input = ControlAs<IKnobTextControl>(kInputKnobControl);
    EXPECT_EQ(FrameForValue(input->Value(), 101), 51); // 0.0 dB after attaching
    plugin->Param(kInputParam)->SetClamped(-20.0);
    plugin->RefreshEditorFromParameters();
    EXPECT_EQ(FrameForValue(input->Value(), 101), 1);
    plugin->Param(kInputParam)->SetClamped(20.0);
    plugin->RefreshEditorFromParameters();
    EXPECT_EQ(FrameForValue(input->Value(), 101), 101);
}

TEST_F(LayoutFixture, NeedleSlidesWithTheMeterValue) {
    auto* needle = ControlAs<ISliderControl>(kNeedleControl);
    EXPECT_EQ(needle->HandleRect().left, 20);
    view->PushParameterValue(kMeterParamIdx, 0.5, true);
    EXPECT_EQ(needle->HandleRect(), (IBounds{137, 83, 153, 128}));
    view->PushParameterValue(kMeterParamIdx, 1.0, true);
    EXPECT_EQ(needle->HandleRect().left, 254);
    view->PushParameterValue(kMeterParamIdx, 1.7, true); // more than 20 dB
    EXPECT_EQ(needle->HandleRect().left, 254);

    // Only the meter window is repainted for a needle move.
    view->Tick();
    view->Tick();
    view->ClearRecords();
    view->PushParameterValue(kMeterParamIdx, 0.25, true);
    EXPECT_TRUE(view->Tick());
    EXPECT_EQ(view->Presented(), (std::vector<IBounds>{{20, 83, 270, 128}}));
}

TEST_F(LayoutFixture, ClicksOnTheMeterChangeNothing) {
    const double before[3] = {ParamValue(0), ParamValue(1), ParamValue(2)};
    auto* needle = ControlAs<ISliderControl>(kNeedleControl);
    const double needleBefore = needle->Value();
    view->MousePressed(150, 100, LeftButton());
    EXPECT_EQ(view->MouseCapture(), kFrontPanelControl);
    view->MouseDragged(200, 110, LeftButton());
    view->MouseReleased(200, 110, LeftButton());
    EXPECT_DOUBLE_EQ(needle->Value(), needleBefore);
    for (int i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(ParamValue(i), before[i]) << i;
}

TEST_F(LayoutFixture, LogoShowsTheInformationScreenAndAnyClickHidesIt) {
    auto* overlay = ControlAs<IOverlayControl>(kOverlayControl);
    Click(10, 380); // outside the logo: nothing
    EXPECT_FALSE(overlay->IsShown());
    Click(100, 40);
    EXPECT_TRUE(overlay->IsShown());
    EXPECT_EQ(overlay->TargetRect(), overlay->Rect());

    // While shown, the controls under it receive nothing.
    const double relaxed = ParamValue(kRelaxedModeParam);
    view->MousePressed(140, 330, LeftButton()); // the switch
    view->MouseReleased(140, 330, LeftButton());
    EXPECT_FALSE(overlay->IsShown());
    EXPECT_DOUBLE_EQ(ParamValue(kRelaxedModeParam), relaxed);
    view->Tick();
    EXPECT_EQ(overlay->TargetRect(), (IBounds{80, 30, 212, 62}));
}

TEST_F(LayoutFixture, DraggingAKnobSpansTheRangeIn620Pixels) {
    view->MousePressed(80, 230, LeftButton());
    view->MouseDragged(80, 230 + 310, LeftButton());
    EXPECT_NEAR(ParamValue(kInputParam), -20.0, 1e-9);
    view->MouseDragged(80, 230 - 310, LeftButton());
    EXPECT_NEAR(ParamValue(kInputParam), 20.0, 1e-9);
    view->MouseReleased(80, 230 - 310, LeftButton());

    const IModifierKeys fine{true, false, true, false, false};
    view->MousePressed(200, 230, fine);
    view->MouseDragged(200, 230 - 620, fine); // a tenth of the range
    EXPECT_NEAR(ParamValue(kOutputParam), 4.0, 1e-9);
    view->MouseReleased(200, 230 - 620, fine);
    EXPECT_NEAR(ParamValue(kInputParam), 20.0, 1e-9);
}

TEST_F(LayoutFixture, SwitchTogglesRelaxedMode) {
    auto* toggle = ControlAs<ISwitchControl>(kRelaxedSwitchControl);
    EXPECT_EQ(FrameForValue(toggle->Value(), 2), 1);
    Click(140, 330);
    EXPECT_DOUBLE_EQ(ParamValue(kRelaxedModeParam), 1.0);
    EXPECT_EQ(FrameForValue(toggle->Value(), 2), 2);
    Click(140, 330);
    EXPECT_DOUBLE_EQ(ParamValue(kRelaxedModeParam), 0.0);
}

TEST_F(LayoutFixture, TypingAValueIntoTheKnobText) {
    view->MousePressed(80, 312, LeftButton());
    ASSERT_TRUE(view->HasTextEntry());
    EXPECT_EQ(view->LastTextEntry().text, "0.0");
    EXPECT_EQ(view->LastTextEntry().rect, (IBounds{12, 303, 147, 323}));
    view->MouseReleased(80, 312, LeftButton());
    ASSERT_TRUE(view->CommitTextEntry("-6.5"));
    EXPECT_NEAR(ParamValue(kInputParam), -6.5, 1e-9);
    auto* input = ControlAs<IKnobTextControl>(kInputKnobControl);
    EXPECT_EQ(FrameForValue(input->Value(), 101), 35);
    EXPECT_TRUE(view->Tick());
}

// Relative luminance of a pixel's colour (sRGB), for contrast ratios.
double Luminance(RasterPixel p) {
    const auto channel = [](unsigned byte) {
        const double c = byte / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel((p >> 16) & 0xFF) + 0.7152 * channel((p >> 8) & 0xFF) + 0.0722 * channel(p & 0xFF);
}

struct TextInk {
    IBounds box;           // pixels of the text rectangle that change when the text is drawn
    double contrast = 0.0; // darkest ink against what lies under it
};

TextInk MeasureText(IHeadlessEditorView& view, IKnobTextControl& knob) {
    const IBounds r = knob.TextRect();
    std::vector<RasterPixel> with;
    view.PaintAll();
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            with.push_back(PixelAt(view, x, y));
    const int alpha = knob.TextStyle().colour.A;
    knob.TextStyle().colour.A = 0;
    view.PaintAll();
    knob.TextStyle().colour.A = alpha;
    TextInk ink{{r.right, r.bottom, r.left, r.top}, 0.0};
    std::size_t i = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x, ++i) {
            const RasterPixel under = PixelAt(view, x, y);
            if (with[i] == under)
                continue;
            ink.box.left = std::min(ink.box.left, x);
            ink.box.top = std::min(ink.box.top, y);
            ink.box.right = std::max(ink.box.right, x + 1);
            ink.box.bottom = std::max(ink.box.bottom, y + 1);
            ink.contrast = std::max(ink.contrast, (Luminance(under) + 0.05) / (Luminance(with[i]) + 0.05));
        }
    }
    return ink;
}

TEST_F(LayoutFixture, KnobTextsAreLegibleAndCentredInTheirWindows) {
    const double values[] = {0.0, -20.0, 13.7, 20.0};
    for (int k = 0; k < 2; ++k) {
        auto* knob = ControlAs<IKnobTextControl>(kInputKnobControl + k);
        for (double v : values) {
            plugin->Param(knob->ParamIdx())->SetClamped(v);
            const TextInk ink = MeasureText(*view, *knob);
            const IBounds r = knob->TextRect();
            ASSERT_LT(ink.box.left, ink.box.right) << "no text drawn for " << v;
            // Digits at least 8 pixels tall, bold strokes at least 3:1 against the window
            // (black at 45 % opacity cannot exceed about 3.3:1, even over white).
            EXPECT_GE(ink.box.Height(), 8) << v;
            EXPECT_GE(ink.contrast, 3.0) << v;
            EXPECT_LE(std::abs((ink.box.left + ink.box.right) - (r.left + r.right)), 2) << v;
            EXPECT_LE(std::abs((ink.box.top + ink.box.bottom) - (r.top + r.bottom)), 2) << v;
        }
    }
}

} // namespace
