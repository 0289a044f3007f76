#pragma once
#include <string>

#include "graphics/window_core.h"

class Fl_Group;
class Fl_Input;
class Fl_Window;
class IEffectBase;

namespace editor_window_detail {
class EditorChildWindow;
class EditorTextBox;
} // namespace editor_window_detail

// The editor view in an FLTK child window: a timer that repaints what is dirty, mouse
// and key events turned into the view's calls, presentation of the back buffer, the
// in-place text box for typing a value, popup menus and the platform dialogs.
//
// Threads: everything here runs on the FLTK (window) thread. The audio thread only
// reaches the view through PushParameterValue; the timer picks the change up.
class IEditorWindow : public IEditorWindowCore {
  public:
    using IEditorWindowCore::IEditorWindowCore;
    ~IEditorWindow() override;

    // `parent` is an Fl_Group* (a group or a window). The editor becomes an Fl_Window
    // child of it at the group's top-left corner, or where and as large as the window
    // it replaces when one is already open. Answers the Fl_Window*, nullptr without parent.
    void* OpenEditorWindow(void* parent) override;
    void CloseEditorWindow() override;
    void* WindowHandle() override;
    // Draws inside FLTK's paint; asked for outside one, on its next flush.
    bool PresentArea(const IBounds& rect) override;

    // FLTK's own choosers and message boxes. The program's folder is the executable's:
    // the plug-in is linked into it.
    void ChooseFile(std::string& out, int action, std::string& folder, const char* extensions) override;
    bool ChooseColour(IColour& colour, const char* prompt) override;
    bool OpenWebLink(const char* url, const char* title, const char* confirmation,
                     const char* errorMessage) override;
    void HostFolder(std::string& out) override;
    void ProgramFolder(std::string& out) override;

    Fl_Window* Window() const;
    Fl_Input* TextBox() const;
    // Editor windows open in this process (the counterpart of a registered window class).
    static int OpenWindowCount();

  protected:
    void RepaintArea(const IBounds& area, const IBounds& hole) override;
    bool CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) override;
    std::string TextBoxValue() const override;
    void DestroyTextBox() override;
    int RunPopupMenu(const IPopupMenu& menu, const std::vector<PopupLine>& lines, const IBounds& rect) override;
    void ResizeWindow(int dw, int dh) override;
    void FocusEditor() override;

  private:
    friend class editor_window_detail::EditorChildWindow;
    friend class editor_window_detail::EditorTextBox;

    int HandleWindowEvent(int event);
    // The window went away (closed here, or deleted with its parent).
    void WindowDestroyed();
    // Asks FLTK to repaint this part of the window (clipped to it) on its next flush.
    void Invalidate(const IBounds& area);
    int HandleTextBoxEvent(int event);
    void DrawWindow();
    static void TimerCallback(void* self);

    editor_window_detail::EditorChildWindow* mWindow = nullptr;
    editor_window_detail::EditorTextBox* mTextBox = nullptr;
    Fl_Group* mParent = nullptr;
    bool mInDraw = false;
    bool mWantFocus = false;
    int mHandlerDepth = 0;
};

// Matches EditorViewFactory: the application installs it with SetEditorViewFactory.
IEditorView* CreateEditorWindowView(IEffectBase* plugin, int width, int height, int frameRate);
