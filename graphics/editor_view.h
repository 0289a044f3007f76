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
//
// Scale: the view draws at a scale from 1 to 3 (graphics/editor_scale.h). Width, Height,
// the layout, control bounds, dirty areas and every Mouse*/Key* entry point stay in editor
// pixels; the back buffer and PresentArea's rectangle are in device pixels
// (DeviceWidth x DeviceHeight). The window layer converts each mouse position on its own
// from device to editor pixels, floor(x / scale), and never adds up rounded per-event
// deltas: a drag's deltas are differences of converted absolute positions, so at scale 2 a
// one-device-pixel move may change nothing, but no motion is ever lost over a drag, and a
// knob turned by the same distance on screen changes by the same amount at any scale
// (within one editor pixel). A value-entry box opens at DeviceRect(rect) with a font of
// DeviceTextSize(style) pixels.
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

    // [window thread] Draws at ConformEditorScale(scale) from now on: resizes the back
    // buffer to the device size and marks everything for a repaint. The window layer
    // resizes its window to DeviceWidth x DeviceHeight.
    void SetScale(double scale);
    double Scale() const { return mScale; }
    int DeviceWidth() const;
    int DeviceHeight() const;
    // An editor rectangle in device pixels (each edge rounded to the nearest pixel).
    IBounds DeviceRect(const IBounds& rect) const;
    // The style's character cell height at this scale.
    int DeviceTextSize(const ITextStyle& style) const;

    // Drawing services for the controls' Paint, clipped to the area being painted.
    bool BlitStripFrame(const IBitmapStrip& strip, const IBounds& rect, int frame, const IBlend* blend);
    bool RenderText(ITextStyle& style, const char* text, const IBounds& rect);
    // RenderText with the style's digits centred vertically in `rect` (text_layout.h),
    // measured with the font at the scale drawn.
    bool RenderCentredDigits(ITextStyle& style, const char* text, const IBounds& rect);

    // [window thread; audio thread for the needle address, already normalised]
    // Hands the value to every control bound to `index`. Does not allocate, block or
    // lock when `normalised` is true.
    void PushParameterValue(int index, double value, bool normalised) override;

    // [window thread] Widens `area` (pass it empty) by every control that needs a
    // redraw, hidden ones included; true when any does.
    bool CollectDirtyArea(IBounds& area) const;
    // [window thread] Rebuilds `rect` from the background up and presents its device
    // rectangle.
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
    // Copies this rectangle of the back buffer (device pixels) to the screen.
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
    // Loads `id` through the module instance when `name` ends in ".png": its size now, its
    // pixels when first drawn (a view at another scale draws its own sets instead).
    RasterBitmap* LoadModuleBitmap(int id, const char* name) const;

  private:
    // The style drawn at this scale (its own size and font).
    ITextStyle DeviceStyle(const ITextStyle& style) const;

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
    double mScale = 1.0;
};
