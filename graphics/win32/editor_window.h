#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "graphics/editor_view.h"

class IEffectBase;

// The editor view in a Win32 child window of class "IEffectWndClass": a timer that
// repaints what is dirty, window messages turned into the view's mouse and key calls,
// the back buffer presented through a DIB section, the in-place edit control for typing
// a value, popup menus and the common dialogs. Every call is the W form of the API;
// text is UTF-8 inside the program.
//
// Threads: everything here runs on the thread that created the window. The audio thread
// only reaches the view through PushParameterValue; the timer picks the change up.
class IEditorWindow : public IEditorView {
  public:
    // Text box states: idle, focused (typing), repainted around, cancel, commit.
    enum TextBoxState : int {
        TextBoxIdle = 0,
        TextBoxFocused = 1,
        TextBoxRepainted = 2,
        TextBoxCancel = 3,
        TextBoxCommit = 4
    };
    static constexpr UINT_PTR kTimerId = 2;
    static constexpr int kTextBoxId = 99;

    IEditorWindow(IEffectBase* plugin, int width, int height, int frameRate);
    ~IEditorWindow() override;

    bool PresentArea(const IBounds& rect) override;
    void CancelTextEntry() override;
    void SetSize(int width, int height) override;
    IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) override;
    void OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect, const char* text,
                       IParameter* param) override;
    void HostFolder(std::string& out) override;
    void ProgramFolder(std::string& out) override;
    void ChooseFile(std::string& out, int action, std::string& folder, const char* extensions) override;
    bool ChooseColour(IColour& colour, const char* prompt) override;
    bool OpenWebLink(const char* url, const char* title, const char* confirmation,
                     const char* errorMessage) override;
    // `parent` is the HWND of the host window. The editor becomes a child of it at its
    // client origin, or where and as large as the window it replaces when one is open.
    // Answers the HWND, nullptr when the window cannot be created (no parent, say).
    void* OpenEditorWindow(void* parent) override;
    void CloseEditorWindow() override;
    void* WindowHandle() override;
    RasterBitmap* LoadPlatformBitmap(int id, const char* name) override;

    // What timer 2 does every period; public so tests can step it.
    void TimerTick();

    HWND Window() const { return mWindow; }
    HWND TextBox() const { return mTextBox; }
    int TextBoxStateNow() const { return mTextBoxState; }
    // Timer period in milliseconds while a window is open.
    int TimerPeriod() const { return mTimerPeriodMs; }
    // Editor windows open in this process: the window class's registration count.
    static int OpenWindowCount();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleTextBoxMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    // Drops the window and its text box from the view: closed here, or destroyed
    // with its parent.
    void ForgetWindow();
    void RemoveTextBox();
    void CommitTextBox();
    bool PrepareDib(int width, int height);
    void ReleaseDib();

    HINSTANCE mModuleInstance = nullptr;
    HWND mWindow = nullptr;
    HWND mTextBox = nullptr;
    IControl* mTextBoxControl = nullptr;
    IParameter* mTextBoxParam = nullptr;
    WNDPROC mTextBoxProc = nullptr;
    int mTextBoxState = TextBoxIdle;
    HFONT mTextBoxFont = nullptr;
    std::unique_ptr<COLORREF[]> mCustomColours;
    HWND mParent = nullptr;
    int mTimerPeriodMs = 0;
    bool mInPaint = false;
    // The presentation surface: a top-down 32-bit DIB section in a memory DC.
    HDC mDibDc = nullptr;
    HBITMAP mDib = nullptr;
    HGDIOBJ mDibPrevious = nullptr;
    RasterPixel* mDibBits = nullptr;
    int mDibWidth = 0;
    int mDibHeight = 0;
};

// Matches EditorViewFactory: the application installs it with SetEditorViewFactory.
IEditorView* CreateEditorWindowView(IEffectBase* plugin, int width, int height, int frameRate);
