#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "graphics/window_core.h"
#include "graphics/x11/window_rules.h"

class IEffectBase;
struct _XDisplay;
union _XEvent;

// The editor view in an Xlib child window of a host's window, as a plug-in UI inside a
// host shows it: no main loop of its own, the host calls Idle() often (some 30 times a
// second) and Idle() drains the events and runs the repaint timer. Its own private
// Display connection keeps it apart from the host's toolkit. Presents the back buffer
// with XPutImage, types values in a small X child window drawn with a core font, and
// shows popup menus as a modal override-redirect window. No file or colour choosers and
// no web links in a plug-in UI: those refuse.
//
// Threads: everything here runs on the thread that calls Idle(). The audio thread only
// reaches the view through PushParameterValue; the timer picks the change up.
class IX11EditorWindow : public IEditorWindowCore {
  public:
    using IEditorWindowCore::IEditorWindowCore;
    ~IX11EditorWindow() override;

    bool PresentArea(const IBounds& rect) override;
    void HostFolder(std::string& out) override { out.clear(); }
    void ProgramFolder(std::string& out) override { out.clear(); }
    void ChooseFile(std::string& out, int, std::string&, const char*) override { out.clear(); }
    bool ChooseColour(IColour&, const char*) override { return false; }
    bool OpenWebLink(const char*, const char*, const char*, const char*) override { return false; }
    // `parent` is an X11 Window id cast through uintptr_t. Opens a private connection to
    // the display ($DISPLAY) and maps a Width() x Height() child of `parent` at (0, 0).
    // Answers the child's Window id cast to void*, nullptr when there is no display or
    // the parent is no window. An editor already open is closed first.
    void* OpenEditorWindow(void* parent) override;
    // Destroys the window and closes the connection; nothing when none is open.
    void CloseEditorWindow() override;
    void* WindowHandle() override;
    // Not once the server has destroyed the window (with its parent, say).
    bool IsWindowOpen() override { return mDisplay && mWindow && !mWindowDestroyed; }

    // [host's idle call] Handles every pending event, then runs the repaint timer when its
    // period has passed. Never blocks. 0 while the window is open; 1 when there is none
    // (never opened, closed, or destroyed with its parent), and from then on.
    int Idle();

    unsigned long WindowId() const { return mWindow; }
    // The private display connection's file descriptor, for a host's run loop to watch; -1 when closed.
    int ConnectionFd() const;
    unsigned long TextBoxId() const { return mTextBox; }
    const std::string& TextBoxText() const { return mTextBoxText; }

  protected:
    void RepaintArea(const IBounds& area, const IBounds& hole) override;
    bool CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) override;
    std::string TextBoxValue() const override { return mTextBoxText; }
    void DestroyTextBox() override;
    int RunPopupMenu(const IPopupMenu& menu, const std::vector<PopupLine>& lines, const IBounds& rect) override;
    void ResizeWindow(int dw, int dh) override;

  private:
    struct Resources;

    void HandleEvent(_XEvent& event);
    void HandleButtonPress(_XEvent& event);
    void HandleButtonRelease(_XEvent& event);
    void HandleKey(_XEvent& event);
    void HandleTextBoxKey(_XEvent& event);
    void PaintExposed(const IBounds& area);
    void DrawTextBox();
    // Frees everything X; destroys the window too unless the server already did.
    void Shutdown(bool destroyWindow);
    bool CreateImage(int width, int height);
    unsigned long PixelFor(RasterPixel colour) const;

    _XDisplay* mDisplay = nullptr;
    unsigned long mWindow = 0;
    unsigned long mParent = 0;
    std::unique_ptr<Resources> mX;
    int mWindowWidth = 0;
    int mWindowHeight = 0;
    bool mWindowDestroyed = false;
    IBounds mExposed;

    std::chrono::steady_clock::time_point mLastTick;

    bool mHavePress = false;
    X11Press mLastPress;

    unsigned long mTextBox = 0;
    std::string mTextBoxText;
    std::size_t mTextBoxCaret = 0;
    bool mTextBoxAllSelected = false;
    int mTextBoxLimit = 0;
    int mTextBoxAlignment = 0;
    int mTextBoxWidth = 0;
    int mTextBoxHeight = 0;
};

// Matches EditorViewFactory: the plug-in UI installs it with SetEditorViewFactory.
IEditorView* CreateX11EditorWindowView(IEffectBase* plugin, int width, int height, int frameRate);
