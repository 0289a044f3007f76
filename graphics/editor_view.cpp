#include "graphics/editor_view.h"

#include <algorithm>

#include "framework/effect_base.h"
#include "graphics/bitmap_controls.h"
#include "graphics/control.h"
#include "graphics/editor_scale.h"
#include "graphics/embedded_images.h"
#include "graphics/text_layout.h"
#include "raster/bitmap_cache.h"
#include "raster/blit.h"

IEditorView::IEditorView(IEffectBase* plugin, int width, int height, int frameRate)
    : mPlugin(plugin), mWidth(width), mHeight(height), mFrameRate(frameRate > 0 ? frameRate : 25),
      mModule(&EmbeddedImageLookup) {}

IEditorView::~IEditorView() {
    while (!mControls.empty())
        mControls.pop_back();
    mBackBuffer.reset();
}

int IEditorView::AddControl(IControl* control) {
    control->SetView(this);
    mControls.emplace_back(control);
    return ControlCount() - 1;
}

IControl* IEditorView::Control(int index) const {
    if (index < 0 || index >= ControlCount())
        return nullptr;
    return mControls[static_cast<std::size_t>(index)].get();
}

void IEditorView::SetBackgroundImage(int id, const char* name) {
    const IBitmapStrip strip = LoadBitmapStrip(id, name, 1);
    auto* background = new IBitmapControl(mPlugin, 0, 0, -1, strip, IBlend{BlendReplace, 1.0f});
    background->SetView(this);
    mControls.emplace(mControls.begin(), background);
}

IBitmapStrip IEditorView::LoadBitmapStrip(int id, const char* name, int frames) {
    return BitmapCache::Instance().LoadStrip(id, frames, [&] { return LoadPlatformBitmap(id, name); });
}

RasterBitmap* IEditorView::LoadModuleBitmap(int id, const char* name) const {
    if (!name || !HasPngExtension(name))
        return nullptr;
    return LoadPngFromResourceOnDemand(mModule, id);
}

void IEditorView::PrepareDrawing() {
    mBackBuffer = std::make_unique<RasterScreenBitmap>(DeviceWidth(), DeviceHeight());
}

void IEditorView::SetScale(double scale) {
    scale = ConformEditorScale(scale);
    if (scale == mScale)
        return;
    mScale = scale;
    if (mBackBuffer)
        mBackBuffer->SetSize(DeviceWidth(), DeviceHeight());
    MarkAllChanged();
}

int IEditorView::DeviceWidth() const {
    return ToDevice(mWidth, mScale);
}

int IEditorView::DeviceHeight() const {
    return ToDevice(mHeight, mScale);
}

IBounds IEditorView::DeviceRect(const IBounds& rect) const {
    if (mScale == 1.0)
        return rect;
    return {ToDevice(rect.left, mScale), ToDevice(rect.top, mScale), ToDevice(rect.right, mScale),
            ToDevice(rect.bottom, mScale)};
}

int IEditorView::DeviceTextSize(const ITextStyle& style) const {
    return ToDevice(style.size, mScale);
}

ITextStyle IEditorView::DeviceStyle(const ITextStyle& style) const {
    ITextStyle scaled = style;
    scaled.size = DeviceTextSize(style);
    scaled.cachedFont = nullptr; // the font cache finds the one for this size
    return scaled;
}

bool IEditorView::BlitStripFrame(const IBitmapStrip& strip, const IBounds& rect, int frame,
                                 const IBlend* blend) {
    int srcY = 0;
    if (strip.frames > 1 && frame > 1) {
        srcY = static_cast<int>(static_cast<double>(strip.height) * (frame - 1) / strip.frames + 0.5);
    }
    const IBounds clipped = rect.Intersect(mDrawArea);
    if (clipped.Empty())
        return true;

    int mode = BlitCopy | BlitUseSourceAlpha;
    float opacity = 1.0f;
    if (blend) {
        opacity = blend->weight;
        switch (blend->method) {
        case BlendReplace:
            mode = BlitCopy;
            break;
        case BlendAdditive:
            mode = BlitAdd | BlitUseSourceAlpha;
            break;
        case BlendDodge:
            mode = BlitDodge | BlitUseSourceAlpha;
            break;
        default:
            break;
        }
    }
    if (mScale == 1.0) {
        RasterBlit(mBackBuffer.get(), strip.bitmap, clipped.left, clipped.top, clipped.left - rect.left,
                   srcY + clipped.top - rect.top, clipped.Width(), clipped.Height(), opacity, mode);
        return true;
    }
    // The image's own artwork at this scale, at the device position of `rect`, clipped to
    // the device rectangles of `rect` and of the area being painted, so a seam between two
    // paints falls on the same pixel whichever area they were part of.
    if (!strip.bitmap)
        return true;
    const ScaledFrame source = FindScaledFrame(mModule, strip.id, mScale, frame, strip.frames, strip.bitmap);
    if (!source.bitmap)
        return true;
    const IBounds device = DeviceRect(rect);
    IBounds area = device.Intersect(DeviceRect(clipped));
    area.bottom = std::min(area.bottom, device.top + source.height);
    if (area.Empty() || area.Width() <= 0 || area.Height() <= 0)
        return true;
    RasterBlit(mBackBuffer.get(), source.bitmap, area.left, area.top, area.left - device.left,
               source.top + area.top - device.top, area.Width(), area.Height(), opacity, mode);
    return true;
}

bool IEditorView::RenderText(ITextStyle& style, const char* text, const IBounds& rect) {
    if (!mBackBuffer)
        return true;
    if (mScale == 1.0)
        return ::RenderText(mBackBuffer.get(), style, text,
                            RasterRect{rect.left, rect.top, rect.right, rect.bottom});
    // Drawn by the face at the scaled size, never a scaled bitmap.
    ITextStyle scaled = DeviceStyle(style);
    const IBounds device = DeviceRect(rect);
    return ::RenderText(mBackBuffer.get(), scaled, text,
                        RasterRect{device.left, device.top, device.right, device.bottom});
}

bool IEditorView::RenderCentredDigits(ITextStyle& style, const char* text, const IBounds& rect) {
    if (!mBackBuffer)
        return true;
    if (mScale == 1.0)
        return RenderText(style, text, CentreDigitsVertically(style, rect));
    ITextStyle scaled = DeviceStyle(style);
    const IBounds device = CentreDigitsVertically(scaled, DeviceRect(rect));
    return ::RenderText(mBackBuffer.get(), scaled, text,
                        RasterRect{device.left, device.top, device.right, device.bottom});
}

void IEditorView::PushParameterValue(int index, double value, bool normalised) {
    if (!normalised) {
        const IParameter* param = mPlugin ? mPlugin->Param(index) : nullptr;
        if (!param)
            return;
        value = param->ToNormalized(value);
    }
    for (const auto& control : mControls) {
        if (control->ParamIdx() == index)
            control->ValueFromPlugin(value);
    }
}

bool IEditorView::CollectDirtyArea(IBounds& area) const {
    bool any = false;
    for (const auto& control : mControls) {
        if (control->NeedsRedraw()) {
            area = area.Union(control->Rect());
            any = true;
        }
    }
    return any;
}

bool IEditorView::PaintArea(const IBounds& rect) {
    if (mControls.empty())
        return true;
    if (mStrictPainting) {
        mDrawArea = rect;
        for (const auto& control : mControls) {
            if (!control->IsHidden() && !rect.Empty() && !control->Rect().Empty() &&
                rect.Overlaps(control->Rect())) {
                control->Paint(*this);
            }
            control->MarkDrawn();
        }
    } else {
        IControl* background = mControls.front().get();
        if (background->NeedsRedraw()) {
            mDrawArea = background->Rect();
            for (std::size_t i = 0; i < mControls.size(); ++i) {
                IControl* control = mControls[i].get();
                if (i == 0 || !control->IsHidden()) {
                    control->Paint(*this);
                    control->MarkDrawn();
                }
            }
        } else {
            for (std::size_t i = 1; i < mControls.size(); ++i) {
                IControl* dirty = mControls[i].get();
                if (!dirty->NeedsRedraw())
                    continue;
                mDrawArea = dirty->Rect();
                for (std::size_t j = 0; j < mControls.size(); ++j) {
                    IControl* control = mControls[j].get();
                    if (control->IsHidden())
                        continue;
                    if (j != i && (control->Rect().Empty() || mDrawArea.Empty() ||
                                   !mDrawArea.Overlaps(control->Rect()))) {
                        continue;
                    }
                    control->Paint(*this);
                }
                dirty->MarkDrawn();
            }
        }
    }
    return PresentArea(DeviceRect(rect));
}

void IEditorView::MarkAllChanged() {
    for (const auto& control : mControls)
        control->MarkChanged(false);
}

void IEditorView::ClearMouseCapture() {
    mMouseCapture = -1;
    mLastMouseX = -1;
    mLastMouseY = -1;
}

int IEditorView::FindControl(int x, int y, bool forHover) const {
    for (int i = ControlCount() - 1; i >= 0; --i) {
        const IControl* control = mControls[static_cast<std::size_t>(i)].get();
        if (control->IsHidden())
            continue;
        if (control->IsGreyed() && !(forHover && control->HoverWhenGreyed()))
            continue;
        if (control->HitTest(x, y))
            return i;
    }
    return -1;
}

void IEditorView::MousePressed(int x, int y, const IModifierKeys& mods) {
    ClearMouseCapture();
    const int index = FindControl(x, y);
    if (index < 0)
        return;
    mMouseCapture = index;
    mLastMouseX = x;
    mLastMouseY = y;
    IControl* control = Control(index);
    control->MousePressed(x, y, mods);
    if (control->ParamIdx() >= 0 && mPlugin)
        mPlugin->BeginHostEdit(control->ParamIdx());
}

void IEditorView::MouseReleased(int x, int y, const IModifierKeys& mods) {
    const int index = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
    ClearMouseCapture();
    IControl* control = Control(index);
    if (!control)
        return;
    control->MouseReleased(x, y, mods);
    if (control->ParamIdx() >= 0 && mPlugin)
        mPlugin->EndHostEdit(control->ParamIdx());
}

bool IEditorView::MouseHovered(int x, int y, const IModifierKeys& mods) {
    if (!mHandleMouseOver)
        return false;
    const int index = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y, true);
    if (index < 0)
        return true;
    mLastMouseX = x;
    mLastMouseY = y;
    Control(index)->MouseHovered(x, y, mods);
    if (mMouseOver >= 0 && mMouseOver != index) {
        if (IControl* previous = Control(mMouseOver))
            previous->MouseLeft();
    }
    mMouseOver = index;
    return true;
}

void IEditorView::MouseDragged(int x, int y, const IModifierKeys& mods) {
    IControl* control = Control(mMouseCapture);
    if (!control || (x == mLastMouseX && y == mLastMouseY))
        return;
    const int dX = x - mLastMouseX;
    const int dY = y - mLastMouseY;
    mLastMouseX = x;
    mLastMouseY = y;
    control->MouseDragged(x, y, dX, dY, mods);
}

bool IEditorView::MouseDoubleClicked(int x, int y, const IModifierKeys& mods) {
    ClearMouseCapture();
    const int index = FindControl(x, y);
    if (index < 0)
        return false;
    IControl* control = Control(index);
    if (control->DoubleClickAsPress()) {
        mMouseCapture = index;
        mLastMouseX = x;
        mLastMouseY = y;
        control->MousePressed(x, y, mods);
        return true;
    }
    control->MouseDoubleClicked(x, y, mods);
    return false;
}

void IEditorView::MouseWheeled(int x, int y, const IModifierKeys& mods, int notches) {
    const int index = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
    if (IControl* control = Control(index))
        control->MouseWheeled(x, y, mods, notches);
}

void IEditorView::MouseLeft() {
    for (const auto& control : mControls)
        control->MouseLeft();
    mMouseOver = -1;
}

bool IEditorView::KeyPressed(int x, int y, int key) {
    const int index = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y);
    // Keys over the background or over nothing would go to a key catcher; this
    // editor has none.
    if (index <= 0)
        return false;
    return Control(index)->KeyPressed(x, y, key);
}

void IEditorView::OpenValueEntry(IControl* control, IParameter* param, const IBounds* rect) {
    if (!control || !param || !rect)
        return;
    const int kind = param->Kind();
    const bool menu = kind == Choice || (kind == Switch && param->ValueTextCount() >= 1);
    if (!menu) {
        char text[64] = {};
        param->FormatValue(param->Value(), false, text, sizeof text, false);
        OpenTextEntry(control, control->TextStyle(), *rect, text, param);
        return;
    }
    char current[64] = {};
    param->FormatValue(param->Value(), false, current, sizeof current, true);
    IPopupMenu popup;
    for (int i = 0; i < param->ValueTextCount(); ++i) {
        const char* text = param->ValueTextFor(i);
        popup.InsertTextItem(text, -1, std::string_view(text) == current ? IPopupMenuItem::Checked : 0);
    }
    if (ShowPopupMenu(&popup, *rect) == &popup)
        control->ValueFromEntry(param->ToNormalized(popup.chosen));
}

void IEditorView::SetSize(int width, int height) {
    mWidth = width;
    mHeight = height;
    ClearMouseCapture();
    mMouseOver = -1;
    while (!mControls.empty())
        mControls.pop_back();
    if (mBackBuffer)
        mBackBuffer->SetSize(DeviceWidth(), DeviceHeight());
    if (mPlugin)
        mPlugin->EditorResized(width, height);
}
