// The needle's hand-off from the audio thread: one thread pushes meter values while
// the window thread collects and paints, as the 40 ms timer does. Run under
// ThreadSanitizer, this proves the hand-off race-free; the picture check proves no
// update is lost (the last value pushed is the one on screen).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/standalone.h"
#include "graphics/headless_view.h"
#include "graphics/slider_control.h"
#include "graphics_test_support.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"

namespace {

struct Editor {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    IHeadlessEditorView* view = nullptr;
    ISliderControl* needle = nullptr;

    Editor() {
        view = dynamic_cast<IHeadlessEditorView*>(plugin->Editor());
        if (view)
            needle = dynamic_cast<ISliderControl*>(view->Control(kNeedleControl));
    }

    std::vector<RasterPixel> MeterPixels() const {
        std::vector<RasterPixel> pixels;
        for (int y = 83; y < 128; ++y)
            for (int x = 20; x < 270; ++x)
                pixels.push_back(PixelAt(*view, x, y));
        return pixels;
    }

    // Lets the timer settle, then compares with a repaint of everything from scratch.
    void ExpectScreenShowsTheLastValue(double last) {
        for (int i = 0; i < 3; ++i)
            view->Tick();
        EXPECT_FALSE(view->Tick());
        EXPECT_DOUBLE_EQ(needle->Value(), last);
        EXPECT_EQ(needle->HandleRect().left, 20 + static_cast<int>(234 * last));
        const auto shown = MeterPixels();
        view->PaintAll();
        EXPECT_TRUE(shown == MeterPixels()) << "the screen kept a stale needle";
    }
};

TEST(NeedleHandOff, PushesFromAnotherThreadWhileTheTimerPaints) {
    Editor editor;
    ASSERT_NE(editor.needle, nullptr);
    editor.view->PaintAll();

    // Bursts of pushes, each followed by at least one timer tick, so the two threads
    // really interleave even on a loaded machine.
    constexpr int kBursts = 200;
    constexpr int kPushesPerBurst = 100;
    std::atomic<int> ticks{0};
    std::atomic<bool> done{false};
    std::thread audio([&] {
        int i = 0;
        for (int burst = 0; burst < kBursts; ++burst) {
            for (int k = 0; k < kPushesPerBurst; ++k, ++i) {
                // A swinging needle, including values the display limits.
                editor.view->PushParameterValue(kMeterParamIdx, (i % 241) / 200.0, true);
            }
            const int seen = ticks.load();
            while (ticks.load() == seen)
                std::this_thread::yield();
        }
        editor.view->PushParameterValue(kMeterParamIdx, 0.625, true);
        done.store(true);
    });
    int painted = 0;
    while (!done.load()) {
        painted += editor.view->Tick() ? 1 : 0;
        ticks.fetch_add(1);
    }
    audio.join();
    EXPECT_GT(painted, kBursts / 10) << "ticks " << ticks.load();
    editor.ExpectScreenShowsTheLastValue(0.625);
}

TEST(NeedleHandOff, RealProcessingDrivesTheNeedleWhileTheUserTurnsAKnob) {
    Editor editor;
    ASSERT_NE(editor.needle, nullptr);
    editor.plugin->SetBlockFrames(256);
    editor.plugin->SetSampleRateHz(44100.0);
    editor.plugin->ResetProcessing();
    editor.view->PaintAll();

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<double> inL(256), inR(256), outL(256), outR(256);
        double* in[2] = {inL.data(), inR.data()};
        double* out[2] = {outL.data(), outR.data()};
        for (int block = 0; !stop.load() || block < 50; ++block) {
            for (int i = 0; i < 256; ++i)
                inL[i] = inR[i] = (i % 64 < 32) ? 0.9 : -0.9; // loud: compresses
            editor.plugin->ProcessBlockLocked(in, out, 256);
        }
    });
    for (int step = 0; step < 200; ++step) {
        editor.view->MousePressed(80, 230, LeftButton());
        editor.view->MouseDragged(80, 230 - (step % 20), LeftButton());
        editor.view->MouseReleased(80, 230 - (step % 20), LeftButton());
        editor.view->Tick();
    }
    stop.store(true);
    audio.join();
    const double last = editor.needle->Value();
    EXPECT_GT(last, 0.0); // the loud signal moved the needle
    editor.ExpectScreenShowsTheLastValue(last);
}

} // namespace
