#include "graphics/view_factory.h"

#include <atomic>

#include "graphics/headless_view.h"

namespace {
std::atomic<EditorViewFactory> gFactory{nullptr};
}

void SetEditorViewFactory(EditorViewFactory factory) {
    gFactory.store(factory);
}

IEditorView* CreateEditorView(IEffectBase* plugin, int width, int height, int frameRate) {
    if (const EditorViewFactory factory = gFactory.load())
        return factory(plugin, width, height, frameRate);
    return new IHeadlessEditorView(plugin, width, height, frameRate);
}
