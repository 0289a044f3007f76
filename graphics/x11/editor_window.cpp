#include "graphics/x11/editor_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/control.h"
#include "graphics/window_rules.h"

namespace {

constexpr RasterPixel kBoxBackground = 0xFFFFFFFF;
constexpr RasterPixel kBoxText = 0xFF000000;
constexpr RasterPixel kSelection = 0xFF3060C0;
constexpr RasterPixel kMenuBackground = 0xFFF0F0F0;
constexpr RasterPixel kMenuHighlight = 0xFF3060C0;
constexpr RasterPixel kMenuInactive = 0xFF909090;
constexpr int kMenuPadding = 6;

// ---- X errors ----
// Xlib's own handler ends the process, which in a plug-in is the host. Errors on our
// connections (a window the host destroyed under us, a focus the server refused) are
// counted and dropped while one of our calls runs; those of other connections go on to
// the handler that was there before.
std::vector<Display*> gOurDisplays;
int gTrapDepth = 0;
int gTrappedErrors = 0;
XErrorHandler gPreviousHandler = nullptr;

int TrapHandler(Display* display, XErrorEvent* error) {
    if (std::find(gOurDisplays.begin(), gOurDisplays.end(), display) != gOurDisplays.end()) {
        ++gTrappedErrors;
        return 0;
    }
    return gPreviousHandler ? gPreviousHandler(display, error) : 0;
}

// Installed for the scope of one of our calls; the outermost one syncs on leaving, so
// that every error of the call arrives while the handler is ours.
class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : mDisplay(display), mStart(gTrappedErrors) {
        if (gTrapDepth++ == 0)
            gPreviousHandler = XSetErrorHandler(&TrapHandler);
    }
    ~ErrorTrap() {
        if (gTrapDepth == 1 && mDisplay)
            XSync(mDisplay, False);
        if (--gTrapDepth == 0)
            XSetErrorHandler(gPreviousHandler);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    bool Failed() {
        XSync(mDisplay, False);
        return gTrappedErrors != mStart;
    }
    // The connection is about to close: nothing to sync on leaving.
    void Forget() { mDisplay = nullptr; }

  private:
    Display* mDisplay;
    int mStart;
};

bool HostIsLsbFirst() {
    const std::uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

std::uint32_t SwapBytes(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::uint32_t NowMs() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool IsOurs(const XEvent& event, Window window) {
    return window != 0 && event.xany.window == window;
}

} // namespace

struct IX11EditorWindow::Resources {
    Visual* visual = nullptr;
    int depth = 0;
    X11PixelFormat format;
    XImage* image = nullptr; // the window's size, allocated once per window
    GC gc = nullptr;
    GC textGc = nullptr;
    XFontStruct* font = nullptr; // loaded on first use

    XFontStruct* Font(Display* display) {
        if (!font)
            font = XLoadQueryFont(display, "fixed");
        return font;
    }
};

IX11EditorWindow::~IX11EditorWindow() {
    CloseEditorWindow();
}

IEditorView* CreateX11EditorWindowView(IEffectBase* plugin, int width, int height, int frameRate) {
    return new IX11EditorWindow(plugin, width, height, frameRate);
}

void* IX11EditorWindow::WindowHandle() {
    return mWindow ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(mWindow)) : nullptr;
}

unsigned long IX11EditorWindow::PixelFor(RasterPixel colour) const {
    return mX ? X11PixelFromRaster(colour, mX->format) : 0;
}

// ---- window life ----

void* IX11EditorWindow::OpenEditorWindow(void* parent) {
    CloseEditorWindow();
    const auto parentId = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    if (!parentId)
        return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    mDisplay = display;
    gOurDisplays.push_back(display);
    mX = std::make_unique<Resources>();
    mParent = parentId;
    mWindowDestroyed = false;

    bool ok = false;
    {
        ErrorTrap trap(display);
        XWindowAttributes parentAttributes{};
        // A parent that is no window answers 0 here (the error is trapped).
        if (XGetWindowAttributes(display, parentId, &parentAttributes) && parentAttributes.visual &&
            parentAttributes.visual->c_class == TrueColor) {
            mX->visual = parentAttributes.visual;
            mX->depth = parentAttributes.depth;
            mX->format = X11PixelFormatFromMasks(mX->visual->red_mask, mX->visual->green_mask,
                                                 mX->visual->blue_mask, mX->depth);
            XSetWindowAttributes attributes{};
            attributes.background_pixmap = None; // the editor paints every pixel itself
            attributes.border_pixel = 0;
            attributes.bit_gravity = NorthWestGravity;
            attributes.colormap = parentAttributes.colormap;
            attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                    LeaveWindowMask | KeyPressMask | StructureNotifyMask;
            mWindow = XCreateWindow(
                display, parentId, 0, 0, static_cast<unsigned>(DeviceWidth()), static_cast<unsigned>(DeviceHeight()), 0,
                CopyFromParent, InputOutput, CopyFromParent,
                CWBackPixmap | CWBorderPixel | CWBitGravity | CWColormap | CWEventMask, &attributes);
            mWindowWidth = DeviceWidth();
            mWindowHeight = DeviceHeight();
            XGCValues values{};
            values.graphics_exposures = False;
            mX->gc = XCreateGC(display, mWindow, GCGraphicsExposures, &values);
            mX->textGc = XCreateGC(display, mWindow, GCGraphicsExposures, &values);
            if (CreateImage(DeviceWidth(), DeviceHeight())) {
                XMapWindow(display, mWindow);
                ok = !trap.Failed();
            }
        }
    }
    if (!ok) {
        Shutdown(mWindow != 0);
        return nullptr;
    }
    mLastTick = std::chrono::steady_clock::now() - std::chrono::milliseconds(StartTimerPeriod());
    MarkAllChanged();
    return WindowHandle();
}

bool IX11EditorWindow::CreateImage(int width, int height) {
    if (mX->image) {
        XDestroyImage(mX->image); // frees its pixels too
        mX->image = nullptr;
    }
    if (width <= 0 || height <= 0)
        return true; // nothing to present
    XImage* image = XCreateImage(mDisplay, mX->visual, static_cast<unsigned>(mX->depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image)
        return false;
    // Xlib frees the pixels with free(): they come from malloc.
    image->data = static_cast<char*>(
        std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height)));
    if (!image->data) {
        XDestroyImage(image);
        return false;
    }
    mX->image = image;
    return true;
}

void IX11EditorWindow::CloseEditorWindow() {
    if (mDisplay)
        Shutdown(!mWindowDestroyed);
}

void IX11EditorWindow::Shutdown(bool destroyWindow) {
    Display* display = mDisplay;
    if (!display)
        return;
    {
        ErrorTrap trap(display);
        if (mX) {
            if (mX->image)
                XDestroyImage(mX->image);
            if (mX->gc)
                XFreeGC(display, mX->gc);
            if (mX->textGc)
                XFreeGC(display, mX->textGc);
            if (mX->font)
                XFreeFont(display, mX->font);
        }
        if (destroyWindow && mWindow)
            XDestroyWindow(display, mWindow); // the text box goes with it
        XSync(display, False);
        trap.Forget();
        XCloseDisplay(display);
    }
    gOurDisplays.erase(std::remove(gOurDisplays.begin(), gOurDisplays.end(), display), gOurDisplays.end());
    mX.reset();
    mDisplay = nullptr;
    mWindow = 0;
    mParent = 0;
    mWindowWidth = 0;
    mWindowHeight = 0;
    mExposed = IBounds{};
    mTextBox = 0;
    mTextBoxText.clear();
    ForgetWindowState();
    mHavePress = false;
}

int IX11EditorWindow::Idle() {
    if (!mDisplay || !mWindow)
        return 1;
    {
        ErrorTrap trap(mDisplay);
        while (!mWindowDestroyed && XPending(mDisplay) > 0) {
            XEvent event;
            XNextEvent(mDisplay, &event);
            HandleEvent(event);
        }
        if (!mWindowDestroyed) {
            const auto now = std::chrono::steady_clock::now();
            if (now - mLastTick >= std::chrono::milliseconds(TimerPeriod())) {
                mLastTick = now;
                TimerTick();
            }
        }
    }
    if (mWindowDestroyed) {
        Shutdown(false);
        return 1;
    }
    return 0;
}

// ---- painting ----

void IX11EditorWindow::RepaintArea(const IBounds& area, const IBounds& hole) {
    ErrorTrap trap(mDisplay);
    const IBounds around = AreaWithoutHole(area, hole);
    if (!around.Empty())
        PaintArea(around);
    XFlush(mDisplay);
}

void IX11EditorWindow::PaintExposed(const IBounds& exposed) {
    const IBounds window{0, 0, mWindowWidth, mWindowHeight};
    const IBounds clip = exposed.Intersect(window);
    if (clip.right <= clip.left || clip.bottom <= clip.top)
        return;
    const ExposePlan plan = PlanExpose(clip, window);
    if (plan.kind == ExposePlan::Blank) {
        XSetForeground(mDisplay, mX->gc, PixelFor(0xFF000000));
        XFillRectangle(mDisplay, mWindow, mX->gc, clip.left, clip.top,
                       static_cast<unsigned>(clip.right - clip.left),
                       static_cast<unsigned>(clip.bottom - clip.top));
    } else if (plan.kind == ExposePlan::Present) {
        PresentArea(clip);
    } else {
        PaintArea(plan.editorArea);
    }
}

bool IX11EditorWindow::PresentArea(const IBounds& rect) {
    if (!mDisplay || !mWindow || !mX || !mX->image)
        return true;
    const RasterBitmap* buffer = BackBuffer();
    if (!buffer || !buffer->Bits())
        return true;
    XImage* image = mX->image;
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min({rect.right, buffer->Width(), image->width, mWindowWidth});
    const int bottom = std::min({rect.bottom, buffer->Height(), image->height, mWindowHeight});
    if (right <= left || bottom <= top)
        return true;
    ErrorTrap trap(mDisplay);
    const X11PixelFormat& format = mX->format;
    if (image->bits_per_pixel == 32) {
        const bool swap = (image->byte_order == LSBFirst) != HostIsLsbFirst();
        for (int y = top; y < bottom; ++y) {
            const RasterPixel* source = buffer->Row(y);
            auto* target = reinterpret_cast<std::uint32_t*>(image->data + static_cast<std::ptrdiff_t>(y) *
                                                                              image->bytes_per_line);
            for (int x = left; x < right; ++x) {
                const std::uint32_t pixel = X11PixelFromRaster(source[x], format);
                target[x] = swap ? SwapBytes(pixel) : pixel;
            }
        }
    } else {
        for (int y = top; y < bottom; ++y) {
            const RasterPixel* source = buffer->Row(y);
            for (int x = left; x < right; ++x)
                XPutPixel(image, x, y, X11PixelFromRaster(source[x], format));
        }
    }
    XPutImage(mDisplay, mWindow, mX->gc, image, left, top, left, top, static_cast<unsigned>(right - left),
              static_cast<unsigned>(bottom - top));
    return true;
}

// ---- events ----

void IX11EditorWindow::HandleEvent(XEvent& event) {
    if (IsOurs(event, mTextBox)) {
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0)
                DrawTextBox();
            return;
        case FocusIn:
            if (event.xfocus.detail != NotifyPointer && event.xfocus.mode != NotifyGrab &&
                event.xfocus.mode != NotifyUngrab)
                TextBoxFocusChanged(true);
            return;
        case FocusOut:
            if (event.xfocus.detail != NotifyPointer && event.xfocus.detail != NotifyInferior &&
                event.xfocus.mode != NotifyGrab && event.xfocus.mode != NotifyUngrab)
                TextBoxFocusChanged(false);
            return;
        case KeyPress:
            HandleTextBoxKey(event);
            return;
        case ButtonPress:
            // Its own press keeps it open, and gives it the keys if it had not got them.
            XSetInputFocus(mDisplay, mTextBox, RevertToParent, CurrentTime);
            return;
        default:
            return;
        }
    }
    if (!IsOurs(event, mWindow))
        return;
    switch (event.type) {
    case Expose: {
        const IBounds area{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                           event.xexpose.y + event.xexpose.height};
        mExposed = mExposed.Union(area);
        if (event.xexpose.count == 0) {
            const IBounds exposed = mExposed;
            mExposed = IBounds{};
            PaintExposed(exposed);
        }
        return;
    }
    case DestroyNotify:
        if (event.xdestroywindow.window == mWindow)
            mWindowDestroyed = true;
        return;
    case ConfigureNotify:
        mWindowWidth = event.xconfigure.width;
        mWindowHeight = event.xconfigure.height;
        return;
    case ButtonPress:
        HandleButtonPress(event);
        return;
    case ButtonRelease:
        HandleButtonRelease(event);
        return;
    case MotionNotify: {
        // The implicit grab of the press sends the moves outside the window here too.
        const XMotionEvent& motion = event.xmotion;
        PointerMoved(motion.x, motion.y, ModifiersFromX11State(motion.state), X11StateHasDragButton(motion.state));
        return;
    }
    case LeaveNotify: {
        const XCrossingEvent& crossing = event.xcrossing;
        if (crossing.detail == NotifyInferior)
            return; // into the text box: still over the editor
        if (crossing.mode == NotifyNormal && X11StateHasDragButton(crossing.state))
            return; // a drag that goes on outside; its end brings the leave
        PointerLeft();
        return;
    }
    case KeyPress:
        HandleKey(event);
        return;
    default:
        return;
    }
}

void IX11EditorWindow::HandleButtonPress(XEvent& event) {
    const XButtonEvent& press = event.xbutton;
    const int button = static_cast<int>(press.button);
    const int notches = WheelNotchesFromX11Button(button);
    if (notches != 0) {
        PointerWheeled(press.x, press.y, ModifiersFromX11State(press.state), notches);
        return;
    }
    if (button > Button3)
        return; // sideways wheel and extra buttons
    const IModifierKeys mods = ModifiersFromX11State(X11StateWithButton(press.state, button, true));
    const PointerButton which = button == Button1   ? PointerButton::Left
                                : button == Button3 ? PointerButton::Right
                                                    : PointerButton::Middle;
    bool secondClick = false;
    if (!Typing()) {
        // Senders that give no time (CurrentTime) are timed here.
        const X11Press now{button, press.time ? static_cast<std::uint32_t>(press.time) : NowMs(), press.x,
                           press.y};
        secondClick = button == Button1 && mHavePress && IsSecondPress(mLastPress, now);
        mHavePress = !secondClick; // a third press starts over, as a plain press
        if (!secondClick)
            mLastPress = now;
    }
    PointerPressed(press.x, press.y, mods, which, secondClick);
}

void IX11EditorWindow::HandleButtonRelease(XEvent& event) {
    const XButtonEvent& release = event.xbutton;
    const int button = static_cast<int>(release.button);
    if (button != Button1 && button != Button3)
        return;
    const bool typing = Typing();
    PointerReleased(release.x, release.y, ModifiersFromX11State(release.state),
                    ModifiersFromX11State(X11StateWithButton(release.state, button, false)));
    const bool outside =
        release.x < 0 || release.y < 0 || release.x >= mWindowWidth || release.y >= mWindowHeight;
    if (outside && !typing)
        PointerLeft();
}

void IX11EditorWindow::HandleKey(XEvent& event) {
    // Hosts forward keys to the window they were handed, the editor's; they belong to
    // the text box while one is open.
    if (mTextBox) {
        HandleTextBoxKey(event);
        return;
    }
    const int code = KeyCodeForX11Keysym(XLookupKeysym(&event.xkey, 0));
    if (code < 0)
        return;
    int x = event.xkey.x;
    int y = event.xkey.y;
    if (event.xkey.send_event) {
        // A forwarded key's place is the host's; ask where the pointer really is.
        ::Window root = 0;
        ::Window child = 0;
        int rootX = 0;
        int rootY = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(mDisplay, mWindow, &root, &child, &rootX, &rootY, &x, &y, &mask)) {
            x = event.xkey.x;
            y = event.xkey.y;
        }
    }
    KeyDown(x, y, code);
}

// ---- text box ----

bool IX11EditorWindow::CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text,
                                     int maxLength) {
    if (mWindowDestroyed)
        return false;
    ErrorTrap trap(mDisplay);
    mTextBoxWidth = std::max(rect.right - rect.left + 1, 1);
    mTextBoxHeight = std::max(rect.bottom - rect.top + 1, 1);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = PixelFor(kBoxBackground);
    attributes.border_pixel = 0;
    attributes.event_mask =
        ExposureMask | KeyPressMask | FocusChangeMask | ButtonPressMask | ButtonReleaseMask;
    mTextBox = XCreateWindow(mDisplay, mWindow, rect.left, rect.top, static_cast<unsigned>(mTextBoxWidth),
                             static_cast<unsigned>(mTextBoxHeight), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    mTextBoxText = text;
    mTextBoxCaret = mTextBoxText.size();
    mTextBoxAllSelected = !mTextBoxText.empty(); // typing replaces it
    mTextBoxLimit = maxLength;
    mTextBoxAlignment = style.alignment;
    XMapRaised(mDisplay, mTextBox);
    // Reported by FocusIn (state 1). Refused when the host's window is not viewable:
    // the box then still takes the keys the host forwards.
    XSetInputFocus(mDisplay, mTextBox, RevertToParent, CurrentTime);
    XFlush(mDisplay);
    return true;
}

void IX11EditorWindow::HandleTextBoxKey(XEvent& event) {
    char typed[16] = {};
    KeySym keysym = NoSymbol;
    const int length = XLookupString(&event.xkey, typed, sizeof typed - 1, &keysym, nullptr);
    switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
        TextBoxEntered();
        return;
    case XK_Escape:
        CancelTextEntry();
        return;
    case XK_BackSpace:
    case XK_Delete:
    case XK_KP_Delete:
        if (mTextBoxAllSelected) {
            mTextBoxText.clear();
            mTextBoxCaret = 0;
        } else if (keysym == XK_BackSpace && mTextBoxCaret > 0) {
            mTextBoxText.erase(--mTextBoxCaret, 1);
        } else if (keysym != XK_BackSpace && mTextBoxCaret < mTextBoxText.size()) {
            mTextBoxText.erase(mTextBoxCaret, 1);
        }
        break;
    case XK_Left:
    case XK_KP_Left:
        if (!mTextBoxAllSelected && mTextBoxCaret > 0)
            --mTextBoxCaret;
        break;
    case XK_Right:
    case XK_KP_Right:
        if (!mTextBoxAllSelected && mTextBoxCaret < mTextBoxText.size())
            ++mTextBoxCaret;
        break;
    case XK_Home:
    case XK_KP_Home:
        mTextBoxCaret = 0;
        break;
    case XK_End:
    case XK_KP_End:
        mTextBoxCaret = mTextBoxText.size();
        break;
    default: {
        if (length != 1)
            return; // keys that type nothing, and nothing typed
        const auto c = static_cast<unsigned char>(typed[0]);
        // The core font draws ASCII only; beyond it nothing is a digit, sign or point.
        if (c < 0x20 || c >= 0x7F)
            return;
        if (!TextBoxTakes(c))
            return;
        if (mTextBoxAllSelected) {
            mTextBoxText.clear();
            mTextBoxCaret = 0;
        }
        mTextBoxAllSelected = false;
        if (static_cast<int>(mTextBoxText.size()) >= mTextBoxLimit)
            break;
        mTextBoxText.insert(mTextBoxCaret, 1, static_cast<char>(c));
        ++mTextBoxCaret;
        break;
    }
    }
    mTextBoxAllSelected = false;
    DrawTextBox();
}

void IX11EditorWindow::DrawTextBox() {
    if (!mTextBox || !mX)
        return;
    GC gc = mX->textGc;
    XSetForeground(mDisplay, gc, PixelFor(kBoxBackground));
    XFillRectangle(mDisplay, mTextBox, gc, 0, 0, static_cast<unsigned>(mTextBoxWidth),
                   static_cast<unsigned>(mTextBoxHeight));
    XFontStruct* font = mX->Font(mDisplay);
    const int length = static_cast<int>(mTextBoxText.size());
    const int textWidth = font ? XTextWidth(font, mTextBoxText.c_str(), length) : 0;
    const int room = mTextBoxWidth - 4;
    int x = 2;
    if (textWidth > room)
        x = mTextBoxWidth - 2 - textWidth; // the end, where one types, stays in view
    else if (mTextBoxAlignment == TextAlignCentre)
        x = (mTextBoxWidth - textWidth) / 2;
    else if (mTextBoxAlignment == TextAlignRight)
        x = mTextBoxWidth - 2 - textWidth;
    const int ascent = font ? font->ascent : 10;
    const int descent = font ? font->descent : 2;
    const int baseline = (mTextBoxHeight + ascent - descent) / 2;
    if (font) {
        XSetFont(mDisplay, gc, font->fid);
        if (mTextBoxAllSelected && length > 0) {
            XSetForeground(mDisplay, gc, PixelFor(kSelection));
            XFillRectangle(mDisplay, mTextBox, gc, x, baseline - ascent, static_cast<unsigned>(textWidth),
                           static_cast<unsigned>(ascent + descent));
            XSetForeground(mDisplay, gc, PixelFor(kBoxBackground));
        } else {
            XSetForeground(mDisplay, gc, PixelFor(kBoxText));
        }
        XDrawString(mDisplay, mTextBox, gc, x, baseline, mTextBoxText.c_str(), length);
    }
    const int caretX =
        x + (font ? XTextWidth(font, mTextBoxText.c_str(), static_cast<int>(mTextBoxCaret)) : 0);
    XSetForeground(mDisplay, gc, PixelFor(kBoxText));
    XDrawLine(mDisplay, mTextBox, gc, caretX, baseline - ascent, caretX, baseline + descent);
}



void IX11EditorWindow::DestroyTextBox() {
    if (!mTextBox)
        return;
    ErrorTrap trap(mDisplay);
    // The server uncovers its place with an Expose, which repaints it; the focus goes
    // back to the editor (RevertToParent).
    XDestroyWindow(mDisplay, mTextBox);
    mTextBox = 0;
    mTextBoxText.clear();
    mTextBoxCaret = 0;
    mTextBoxAllSelected = false;
}

// ---- popup menu ----

int IX11EditorWindow::RunPopupMenu(const IPopupMenu&, const std::vector<PopupLine>& lines, const IBounds& rect) {
    ErrorTrap trap(mDisplay);
    XFontStruct* font = mX->Font(mDisplay);
    const int ascent = font ? font->ascent : 10;
    const int lineHeight = ascent + (font ? font->descent : 2) + 6;
    const int checkRoom = lineHeight; // a mark before checked items
    std::vector<int> tops;
    int height = 2;
    int textWidth = 0;
    for (const PopupLine& line : lines) {
        tops.push_back(height);
        height += lineHeight + (line.divider ? 5 : 0);
        if (font)
            textWidth =
                std::max(textWidth, XTextWidth(font, line.text.c_str(), static_cast<int>(line.text.size())));
    }
    height += 2;
    const int width = std::max(textWidth + checkRoom + 2 * kMenuPadding, rect.right - rect.left);

    const int screen = DefaultScreen(mDisplay);
    const ::Window root = RootWindow(mDisplay, screen);
    int x = 0;
    int y = 0;
    ::Window child = 0;
    XTranslateCoordinates(mDisplay, mWindow, root, rect.left, rect.bottom, &x, &y, &child);
    x = std::max(0, std::min(x, DisplayWidth(mDisplay, screen) - width - 2));
    y = std::max(0, std::min(y, DisplayHeight(mDisplay, screen) - height - 2));

    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.background_pixel = PixelFor(kMenuBackground);
    attributes.border_pixel = PixelFor(0xFF000000);
    attributes.colormap = DefaultColormap(mDisplay, screen);
    attributes.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
    // Same visual as the editor, so its colours are packed the same way.
    const Window popup =
        XCreateWindow(mDisplay, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 1,
                      mX->depth, InputOutput, mX->visual,
                      CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask |
                          (mX->visual == DefaultVisual(mDisplay, screen) ? CWColormap : 0),
                      &attributes);
    if (mX->visual != DefaultVisual(mDisplay, screen)) {
        const Colormap colormap = XCreateColormap(mDisplay, root, mX->visual, AllocNone);
        XSetWindowColormap(mDisplay, popup, colormap);
        XFreeColormap(mDisplay, colormap); // the window keeps its own reference
    }
    XGCValues values{};
    values.graphics_exposures = False;
    GC gc = XCreateGC(mDisplay, popup, GCGraphicsExposures, &values);
    if (font)
        XSetFont(mDisplay, gc, font->fid);
    XMapRaised(mDisplay, popup);
    XSync(mDisplay, False);
    const int grabbed =
        XGrabPointer(mDisplay, popup, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(mDisplay, popup, False, GrabModeAsync, GrabModeAsync, CurrentTime);

    auto lineAt = [&](int px, int py) {
        if (px < 0 || px >= width)
            return -1;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (py >= tops[i] && py < tops[i] + lineHeight)
                return static_cast<int>(i);
        }
        return -1;
    };
    int highlight = -1;
    auto draw = [&]() {
        XSetForeground(mDisplay, gc, PixelFor(kMenuBackground));
        XFillRectangle(mDisplay, popup, gc, 0, 0, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const PopupLine& line = lines[i];
            const bool lit = static_cast<int>(i) == highlight && !line.inactive;
            if (lit) {
                XSetForeground(mDisplay, gc, PixelFor(kMenuHighlight));
                XFillRectangle(mDisplay, popup, gc, 0, tops[i], static_cast<unsigned>(width),
                               static_cast<unsigned>(lineHeight));
            }
            XSetForeground(mDisplay, gc,
                           PixelFor(line.inactive ? kMenuInactive
                                    : lit         ? kBoxBackground
                                                  : kBoxText));
            const int baseline = tops[i] + 3 + ascent;
            if (line.checked) {
                const int mark = std::max(lineHeight / 3, 3);
                XFillRectangle(mDisplay, popup, gc, kMenuPadding, tops[i] + (lineHeight - mark) / 2,
                               static_cast<unsigned>(mark), static_cast<unsigned>(mark));
            }
            if (font)
                XDrawString(mDisplay, popup, gc, kMenuPadding + checkRoom, baseline, line.text.c_str(),
                            static_cast<int>(line.text.size()));
            if (line.divider) {
                XSetForeground(mDisplay, gc, PixelFor(kMenuInactive));
                const int dividerY = tops[i] + lineHeight + 2;
                XDrawLine(mDisplay, popup, gc, 2, dividerY, width - 3, dividerY);
            }
        }
    };
    auto moveHighlight = [&](int step) {
        const int count = static_cast<int>(lines.size());
        int next = highlight;
        for (int tries = 0; tries < count; ++tries) {
            next = next < 0 ? (step > 0 ? 0 : count - 1) : (next + step + count) % count;
            if (!lines[static_cast<std::size_t>(next)].inactive) {
                highlight = next;
                return;
            }
        }
    };

    int chosen = 0; // the line's command; 0: none
    // Without the pointer a click elsewhere could never end the menu: refuse rather than hang.
    bool done = grabbed != GrabSuccess;
    while (!done) {
        if (XPending(mDisplay) == 0) {
            pollfd watch{ConnectionNumber(mDisplay), POLLIN, 0};
            poll(&watch, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(mDisplay, &event);
        if (event.xany.window != popup) {
            // The editor keeps painting what is uncovered; its input waits for the menu.
            if (event.type == Expose || event.type == DestroyNotify || event.type == ConfigureNotify ||
                event.type == FocusIn || event.type == FocusOut)
                HandleEvent(event);
            if (mWindowDestroyed)
                done = true;
            continue;
        }
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0)
                draw();
            break;
        case MotionNotify: {
            const int at = lineAt(event.xmotion.x, event.xmotion.y);
            if (at != highlight) {
                highlight = at;
                draw();
            }
            break;
        }
        case ButtonPress:
            if (event.xbutton.x < 0 || event.xbutton.y < 0 || event.xbutton.x >= width ||
                event.xbutton.y >= height)
                done = true; // a click elsewhere dismisses
            break;
        case ButtonRelease: {
            if (event.xbutton.button > Button3)
                break;
            // The release of the press that opened the menu lands outside it: ignored.
            const int at = lineAt(event.xbutton.x, event.xbutton.y);
            if (at >= 0 && !lines[static_cast<std::size_t>(at)].inactive) {
                chosen = lines[static_cast<std::size_t>(at)].command;
                done = true;
            }
            break;
        }
        case KeyPress: {
            const KeySym keysym = XLookupKeysym(&event.xkey, 0);
            if (keysym == XK_Escape) {
                done = true;
            } else if (keysym == XK_Return || keysym == XK_KP_Enter) {
                if (highlight >= 0) {
                    chosen = lines[static_cast<std::size_t>(highlight)].command;
                    done = true;
                }
            } else if (keysym == XK_Down || keysym == XK_Up) {
                moveHighlight(keysym == XK_Down ? 1 : -1);
                draw();
            }
            break;
        }
        default:
            break;
        }
    }
    XUngrabKeyboard(mDisplay, CurrentTime);
    XUngrabPointer(mDisplay, CurrentTime);
    XFreeGC(mDisplay, gc);
    XDestroyWindow(mDisplay, popup);
    XFlush(mDisplay);
    return chosen;
}

// ---- size ----

void IX11EditorWindow::ResizeWindow(int, int) {
    const int width = DeviceWidth();
    const int height = DeviceHeight();
    ErrorTrap trap(mDisplay);
    XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(std::max(width, 1)),
                  static_cast<unsigned>(std::max(height, 1)));
    mWindowWidth = width;
    mWindowHeight = height;
    CreateImage(width, height);
    XClearArea(mDisplay, mWindow, 0, 0, 0, 0, True); // an Expose of the whole: repainted
    XFlush(mDisplay);
}

int IX11EditorWindow::ConnectionFd() const {
    return mDisplay != nullptr ? ConnectionNumber(mDisplay) : -1;
}
