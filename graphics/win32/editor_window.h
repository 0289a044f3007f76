#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "graphics/window_core.h"

class IEffectBase;

// The editor view in a Win32 child window of class "IEffectWndClass": a timer that
// repaints what is dirty, window messages turned into the view's mouse and key calls,
// the back buffer presented through a DIB section, the in-place edit control for typing
// a value, popup menus and the common dialogs. Every call is the W form of the API;
// text is UTF-8 inside the program.
//
// Threads: everything here runs on the thread that created the window. The audio thread
// only reaches the view through PushParameterValue; the timer picks the change up.
class IEditorWindow : public IEditorWindowCore {
  public:
    static constexpr UINT_PTR kTimerId = 2;
    static constexpr int kTextBoxId = 99;

    IEditorWindow(IEffectBase* plugin, int width, int height, int frameRate);
    ~IEditorWindow() override;

    bool PresentArea(const IBounds& rect) override;
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

    HWND Window() const { return mWindow; }
    HWND TextBox() const { return mTextBox; }
    // Editor windows open in this process: the window class's registration count.
    static int OpenWindowCount();

  protected:
    // Win32 keeps the focus, the capture and the leave tracking per window.
    void FocusEditor() override;
    void CapturePointer() override;
    void ReleasePointer() override;
    void WatchPointerLeave() override;
    // Invalidates and paints at once; the hole is validated, so the paint's clip leaves it.
    void RepaintArea(const IBounds& area, const IBounds& hole) override;
    void ResizeWindow(int dw, int dh) override;
    int RunPopupMenu(const IPopupMenu& menu, const std::vector<PopupLine>& lines, const IBounds& rect) override;
    // An EDIT control subclassed for its focus, Enter and the characters it takes.
    bool CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) override;
    std::string TextBoxValue() const override;
    void DestroyTextBox() override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleTextBoxMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    // Drops the window and its text box from the view: closed here, or destroyed
    // with its parent.
    void ForgetWindow();
    bool PrepareDib(int width, int height);
    void ReleaseDib();

    HINSTANCE mModuleInstance = nullptr;
    HWND mWindow = nullptr;
    HWND mTextBox = nullptr;
    WNDPROC mTextBoxProc = nullptr;
    HFONT mTextBoxFont = nullptr;
    std::unique_ptr<COLORREF[]> mCustomColours;
    HWND mParent = nullptr;
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
