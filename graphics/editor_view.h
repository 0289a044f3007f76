#pragma once
#include <memory>
#include <string>
#include <vector>

#include "framework/editor_link.h"
#include "graphics/blend.h"
#include "graphics/bounds.h"
#include "graphics/modifier_keys.h"
#include "graphics/popup_menu.h"
#include "raster/bitmap.h"
#include "raster/colour.h"
#include "raster/png_decode.h"
#include "raster/text.h"

class IControl;
class IEffectBase;
class IParameter;

// The platform-independent core of a plug-in's editor: the ordered controls (index 0
// is the background, the list order is the painting order), the back buffer they paint
// into, dirty tracking, mouse and key routing, and value entry. The window layer derives
// from it and supplies the window, the timer, presentation and the platform dialogs.
//
// Threads: everything runs on the window thread, except PushParameterValue for the
// needle, which the audio thread calls once per block (see there).
class IEditorView : public IEditorLink {
  public:
    IEditorView(IEffectBase* plugin, int width, int height, int frameRate);
    IEditorView(const IEditorView&) = delete;
    IEditorView& operator=(const IEditorView&) = delete;
    ~IEditorView() override;

    // Takes ownership; answers the control's index.
    int AddControl(IControl* control);
    // Inserts a full-size image drawn with BlendReplace at index 0.
    void SetBackgroundImage(int id, const char* name);
    // Images are decoded once per process and shared; a failed load gives a strip
    // without bitmap, which draws nothing.
    IBitmapStrip LoadBitmapStrip(int id, const char* name, int frames);
    // Where the images come from (the embedded resources unless set).
    void SetModuleInstance(RasterResourceLookup module) { mModule = module; }
    RasterResourceLookup ModuleInstance() const { return mModule; }

    // [window thread] Creates the back buffer; AttachEditor calls it once.
    void PrepareDrawing() override;

    // Drawing services for the controls' Paint, clipped to the area being painted.
    bool BlitStripFrame(const IBitmapStrip& strip, const IBounds& rect, int frame, const IBlend* blend);
    bool RenderText(ITextStyle& style, const char* text, const IBounds& rect);

    // [window thread; audio thread for the needle address, already normalised]
    // Hands the value to every control bound to `index`. Does not allocate, block or
    // lock when `normalised` is true.
    void PushParameterValue(int index, double value, bool normalised) override;

    // [window thread] Widens `area` (pass it empty) by every control that needs a
    // redraw, hidden ones included; true when any does.
    bool CollectDirtyArea(IBounds& area) const;
    // [window thread] Rebuilds `rect` from the background up and presents it.
    bool PaintArea(const IBounds& rect);
    void MarkAllChanged();
    void ClearMouseCapture();

    // Mouse and keys, in editor pixels, as the window layer delivers them.
    void MousePressed(int x, int y, const IModifierKeys& mods);
    void MouseReleased(int x, int y, const IModifierKeys& mods);
    bool MouseHovered(int x, int y, const IModifierKeys& mods);
    void MouseDragged(int x, int y, const IModifierKeys& mods);
    bool MouseDoubleClicked(int x, int y, const IModifierKeys& mods);
    void MouseWheeled(int x, int y, const IModifierKeys& mods, int notches);
    void MouseLeft();
    bool KeyPressed(int x, int y, int key);

    // A text box for numbers, a popup menu for choices; nothing when an argument is missing.
    void OpenValueEntry(IControl* control, IParameter* param, const IBounds* rect);

    // ---- the window layer's side ----
    // Copies this rectangle of the back buffer to the screen.
    virtual bool PresentArea(const IBounds& rect) = 0;
    virtual void CancelTextEntry() = 0;
    // Destroys every control and tells the plug-in the new size.
    virtual void SetSize(int width, int height);
    virtual bool IsWindowOpen() { return WindowHandle() != nullptr; }
    // Answers `menu` (with its chosen index set) when an item was chosen, else nullptr.
    virtual IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) = 0;
    virtual void OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect,
                               const char* text, IParameter* param) = 0;
    virtual void HostFolder(std::string& out) = 0;
    virtual void ProgramFolder(std::string& out) = 0;
    // action 1 saves; `extensions` is a space-separated list ("wav aif") or null.
    virtual void ChooseFile(std::string& out, int action, std::string& folder, const char* extensions) = 0;
    virtual bool ChooseColour(IColour& colour, const char* prompt) = 0;
    virtual bool OpenWebLink(const char* url, const char* title, const char* confirmation,
                             const char* errorMessage) = 0;
    virtual void* OpenEditorWindow(void* parent) = 0;
    virtual void CloseEditorWindow() = 0;
    virtual void* WindowHandle() = 0;
    // A new bitmap decoded from image `id`, or nullptr; the caller owns it.
    virtual RasterBitmap* LoadPlatformBitmap(int id, const char* name) = 0;

    // ---- inspection ----
    int ControlCount() const { return static_cast<int>(mControls.size()); }
    IControl* Control(int index) const;
    IEffectBase* Plugin() const { return mPlugin; }
    RasterBitmap* BackBuffer() const { return mBackBuffer.get(); }
    const IBounds& DrawArea() const { return mDrawArea; }
    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    int FrameRate() const { return mFrameRate; }
    int MouseCapture() const { return mMouseCapture; }
    int MouseOver() const { return mMouseOver; }
    int LastMouseX() const { return mLastMouseX; }
    int LastMouseY() const { return mLastMouseY; }
    bool HandleMouseOver() const { return mHandleMouseOver; }
    void SetHandleMouseOver(bool on) { mHandleMouseOver = on; }
    bool StrictPainting() const { return mStrictPainting; }
    void SetStrictPainting(bool on) { mStrictPainting = on; }

    // Index of the topmost control under (x, y) that takes the mouse, -1 for none.
    int FindControl(int x, int y, bool forHover = false) const;

  protected:
    // Loads `id` through the module instance when `name` ends in ".png".
    RasterBitmap* LoadModuleBitmap(int id, const char* name) const;

  private:
    std::vector<std::unique_ptr<IControl>> mControls;
    IEffectBase* mPlugin;
    IBounds mDrawArea;
    std::unique_ptr<RasterScreenBitmap> mBackBuffer;
    int mWidth;
    int mHeight;
    int mFrameRate;
    int mMouseCapture = -1;
    int mMouseOver = -1;
    int mLastMouseX = 0;
    int mLastMouseY = 0;
    bool mHandleMouseOver = false;
    bool mStrictPainting = true;
    RasterResourceLookup mModule = nullptr;
};
