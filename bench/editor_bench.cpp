// The editor's paint costs, headless: a full repaint (what opening the window costs)
// and a needle-only repaint (what the 40 ms timer does while audio runs), each at 100 %
// and 200 % (the argument, in percent); and the cold start of an editor at 200 %: the
// snapshot program, which builds the plug-in and its editor, decodes the images, draws the
// knob's frames and paints everything once.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/headless_view.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"
#include "tests/support/run_program.h"

namespace {

struct Editor {
    explicit Editor(const benchmark::State& state) {
        if (view) {
            view->SetScale(state.range(0) / 100.0);
            view->PaintAll(); // images and glyphs at this scale are ready before timing
        }
    }
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    IHeadlessEditorView* view = dynamic_cast<IHeadlessEditorView*>(plugin->Editor());
};

void FullRepaint(benchmark::State& state) {
    Editor editor(state);
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
BENCHMARK(FullRepaint)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void NeedleRepaint(benchmark::State& state) {
    Editor editor(state);
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
BENCHMARK(NeedleRepaint)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void ColdEditorAt200(benchmark::State& state) {
    const std::string out = std::string(VT4R_BENCH_TMP) + "/editor_bench_200.png";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const ProgramResult run = RunProgram(VT4R_SNAPSHOT_EXE, {out, "--scale", "2"});
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (run.exitCode != 0) {
            state.SkipWithError("vt4r-snapshot failed");
            return;
        }
        state.SetIterationTime(took.count());
    }
}
BENCHMARK(ColdEditorAt200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
