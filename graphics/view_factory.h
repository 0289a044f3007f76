#pragma once

class IEditorView;
class IEffectBase;

// Makes the view a plug-in builds its editor on. The application installs the
// windowed view's factory at start-up; without one, plug-ins get a headless view
// (tests, tools, offline rendering).
using EditorViewFactory = IEditorView* (*)(IEffectBase* plugin, int width, int height, int frameRate);

// [main thread, before any plug-in is created]
void SetEditorViewFactory(EditorViewFactory factory);
// A new view (owned by the caller) from the installed factory, else a headless one.
IEditorView* CreateEditorView(IEffectBase* plugin, int width, int height, int frameRate);
