// The editor's paint costs, headless: a full repaint (what opening the window costs)
// and a needle-only repaint (what the 40 ms timer does while audio runs).
#include <benchmark/benchmark.h>

#include <memory>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/headless_view.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"

namespace {

struct Editor {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    IHeadlessEditorView* view = dynamic_cast<IHeadlessEditorView*>(plugin->Editor());
};

void FullRepaint(benchmark::State& state) {
    Editor editor;
    if (!editor.view) {
        state.SkipWithError("the plug-in has no headless editor");
        return;
    }
    for (auto _ : state) {
        editor.view->MarkAllChanged();
        IBounds area;
        editor.view->CollectDirtyArea(area);
        editor.view->PaintArea(area);
        editor.view->ClearRecords();
    }
}
BENCHMARK(FullRepaint)->Unit(benchmark::kMicrosecond);

void NeedleRepaint(benchmark::State& state) {
    Editor editor;
    if (!editor.view) {
        state.SkipWithError("the plug-in has no headless editor");
        return;
    }
    editor.view->PaintAll();
    double v = 0.0;
    for (auto _ : state) {
        // One meter value per tick, as the audio thread delivers them, then the tick.
        v = v >= 1.0 ? 0.0 : v + 0.01;
        editor.view->PushParameterValue(kMeterParamIdx, v, true);
        IBounds area;
        editor.view->CollectDirtyArea(area);
        editor.view->PaintArea(area);
        editor.view->ClearRecords();
    }
}
BENCHMARK(NeedleRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
