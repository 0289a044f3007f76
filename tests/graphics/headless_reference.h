#pragma once
#include <memory>

#include "framework/standalone.h"
#include "graphics/headless_view.h"
#include "plugin/params.h"

// The editor drawn without a window at `scale`: what a window layer's screen should show.
struct HeadlessReference {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    IHeadlessEditorView* view = dynamic_cast<IHeadlessEditorView*>(plugin->Editor());

    explicit HeadlessReference(double scale) {
        if (!view)
            return;
        view->PushParameterValue(kMeterParamIdx, 0.0, true); // as the first audio block does
        view->SetScale(scale);
        view->PaintAll();
    }
};
