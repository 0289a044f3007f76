#include "graphics/fltk/editor_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/filename.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "framework/parameter.h"
#include "graphics/control.h"
#include "graphics/fltk/window_rules.h"
#include "graphics/text_entry.h"
#include "graphics/window_rules.h"

namespace {
int gOpenWindows = 0;

// Where a child placed "at the parent's origin" goes: FLTK places a child of a window
// in that window's coordinates, a child of a plain group in its window's.
int OriginX(Fl_Group* parent) {
    return parent && !parent->as_window() ? parent->x() : 0;
}
int OriginY(Fl_Group* parent) {
    return parent && !parent->as_window() ? parent->y() : 0;
}

// FLTK has no face lookup by name in its core fonts; the family is kept when the name
// asks for a monospaced or serif face, everything else is the sans-serif family.
Fl_Font FontFor(const ITextStyle& style) {
    const char* name = style.fontName;
    Fl_Font family = FL_HELVETICA;
    if (std::strstr(name, "Courier") || std::strstr(name, "Mono"))
        family = FL_COURIER;
    else if (std::strstr(name, "Times") || std::strstr(name, "Georgia"))
        family = FL_TIMES;
    if (style.style & TextStyleBold)
        family += FL_BOLD;
    if (style.style & TextStyleItalic)
        family += FL_ITALIC;
    return family;
}

struct PresentSource {
    const RasterBitmap* bitmap;
    int left;
    int top;
};

// One row of the back buffer (B, G, R, A bytes) as the RGB bytes FLTK draws.
void ConvertRow(void* data, int x, int y, int w, uchar* out) {
    const auto* source = static_cast<const PresentSource*>(data);
    const RasterPixel* row = source->bitmap->Row(source->top + y) + source->left + x;
    for (int i = 0; i < w; ++i) {
        const RasterPixel p = row[i];
        out[0] = static_cast<uchar>(p >> 16);
        out[1] = static_cast<uchar>(p >> 8);
        out[2] = static_cast<uchar>(p);
        out += 3;
    }
}

std::string DesktopFolder() {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return "/";
    std::string desktop = std::string(home) + "/Desktop";
    if (fl_filename_isdir(desktop.c_str()))
        return desktop + "/";
    return std::string(home) + "/";
}

std::string ExecutablePath() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

struct DepthGuard {
    explicit DepthGuard(int& depth) : mDepth(depth) { ++mDepth; }
    ~DepthGuard() { --mDepth; }
    int& mDepth;
};
} // namespace

namespace editor_window_detail {

// The editor's own window: every event and every paint goes to the view.
class EditorChildWindow : public Fl_Window {
  public:
    EditorChildWindow(int x, int y, int w, int h, IEditorWindow* owner)
        : Fl_Window(x, y, w, h), mOwner(owner) {
        box(FL_NO_BOX);
        end();
    }
    ~EditorChildWindow() override {
        if (mOwner)
            mOwner->WindowDestroyed();
    }
    int handle(int event) override {
        return mOwner ? mOwner->HandleWindowEvent(event) : Fl_Window::handle(event);
    }
    void draw() override {
        if (mOwner)
            mOwner->DrawWindow();
        else
            Fl_Window::draw();
    }
    int BaseHandle(int event) { return Fl_Window::handle(event); }
    void DrawChildren() { draw_children(); }
    void Detach() { mOwner = nullptr; }

  private:
    IEditorWindow* mOwner;
};

// The in-place text box. FLTK's input draws its text from the left only, so centred
// and right-aligned text is drawn shifted, and mouse positions are shifted back.
class EditorTextBox : public Fl_Input {
  public:
    EditorTextBox(int x, int y, int w, int h, IEditorWindow* owner, int alignment)
        : Fl_Input(x, y, w, h), mOwner(owner), mAlignment(alignment) {}

    int handle(int event) override { return mOwner->HandleTextBoxEvent(event); }

    int BaseHandle(int event) {
        const bool mouse = event == FL_PUSH || event == FL_DRAG || event == FL_RELEASE;
        const int offset = mouse ? TextOffset() : 0;
        Fl::e_x -= offset;
        const int handled = Fl_Input::handle(event);
        Fl::e_x += offset;
        return handled;
    }

    void draw() override {
        const Fl_Boxtype b = box();
        const int offset = TextOffset();
        if (offset != mDrawnOffset) {
            // The whole line moves: partial updates would leave old glyphs behind.
            clear_damage(damage() | FL_DAMAGE_ALL);
            mDrawnOffset = offset;
        }
        if (damage() & FL_DAMAGE_ALL)
            draw_box(b, color());
        drawtext(x() + Fl::box_dx(b) + offset, y() + Fl::box_dy(b), w() - Fl::box_dw(b) - offset,
                 h() - Fl::box_dh(b));
    }

  private:
    int TextOffset() {
        if (mAlignment != TextAlignCentre && mAlignment != TextAlignRight)
            return 0;
        fl_font(textfont(), textsize());
        const int textWidth = static_cast<int>(fl_width(value(), size())) + 2; // room for the cursor
        const int room = w() - Fl::box_dw(box()) - textWidth;
        if (room <= 0)
            return 0;
        return mAlignment == TextAlignCentre ? room / 2 : room;
    }

    IEditorWindow* mOwner;
    int mAlignment;
    int mDrawnOffset = -1;
};

} // namespace editor_window_detail

using editor_window_detail::EditorChildWindow;
using editor_window_detail::EditorTextBox;

IEditorWindow::IEditorWindow(IEffectBase* plugin, int width, int height, int frameRate)
    : IEditorView(plugin, width, height, frameRate) {}

IEditorWindow::~IEditorWindow() {
    CloseEditorWindow();
}

IEditorView* CreateEditorWindowView(IEffectBase* plugin, int width, int height, int frameRate) {
    return new IEditorWindow(plugin, width, height, frameRate);
}

int IEditorWindow::OpenWindowCount() {
    return gOpenWindows;
}

Fl_Window* IEditorWindow::Window() const {
    return mWindow;
}

Fl_Input* IEditorWindow::TextBox() const {
    return mTextBox;
}

void* IEditorWindow::WindowHandle() {
    return static_cast<Fl_Window*>(mWindow);
}

RasterBitmap* IEditorWindow::LoadPlatformBitmap(int id, const char* name) {
    return LoadModuleBitmap(id, name);
}

// ---- window life ----

void* IEditorWindow::OpenEditorWindow(void* parent) {
    auto* group = static_cast<Fl_Group*>(parent);
    int width = Width();
    int height = Height();
    int relX = 0;
    int relY = 0;
    if (mWindow) {
        relX = mWindow->x() - OriginX(mParent);
        relY = mWindow->y() - OriginY(mParent);
        width = mWindow->w();
        height = mWindow->h();
        CloseEditorWindow();
    }
    mParent = group;
    if (!group)
        return nullptr;

    mTimerPeriodMs = TimerPeriodMs(FrameRate());
    Fl_Group* const current = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = new EditorChildWindow(OriginX(group) + relX, OriginY(group) + relY, width, height, this);
    Fl_Group::current(current);
    group->add(mWindow);
    ++gOpenWindows;

    Fl::add_timeout(mTimerPeriodMs / 1000.0, &IEditorWindow::TimerCallback, this);
    // A child of a window that is not on screen yet appears (and takes the focus) when
    // that window is shown.
    Fl_Window* top = mWindow->top_window();
    if (top && top != mWindow && top->shown()) {
        mWindow->show();
        mWindow->take_focus();
        mWantFocus = false;
    } else {
        mWantFocus = true;
    }
    MarkAllChanged();
    return static_cast<Fl_Window*>(mWindow);
}

void IEditorWindow::CloseEditorWindow() {
    if (!mWindow)
        return;
    EditorChildWindow* window = mWindow;
    window->Detach();
    WindowDestroyed();
    if (Fl_Group* parent = window->parent())
        parent->remove(window);
    // Closing from inside one of the window's own handlers must not pull the window
    // out from under that handler.
    if (mHandlerDepth > 0 || mInDraw)
        Fl::delete_widget(window);
    else
        delete window;
}

void IEditorWindow::WindowDestroyed() {
    Fl::remove_timeout(&IEditorWindow::TimerCallback, this);
    mWindow = nullptr;
    mTextBox = nullptr; // a child of the window: gone with it
    mTextBoxControl = nullptr;
    mTextBoxParam = nullptr;
    mTextBoxState = TextBoxIdle;
    mHasCapture = false;
    mTrackingLeave = false;
    if (gOpenWindows > 0)
        --gOpenWindows;
}

void IEditorWindow::TimerCallback(void* self) {
    auto* view = static_cast<IEditorWindow*>(self);
    view->TimerTick();
    if (view->mWindow)
        Fl::repeat_timeout(view->mTimerPeriodMs / 1000.0, &IEditorWindow::TimerCallback, self);
}

// ---- painting ----

void IEditorWindow::Invalidate(const IBounds& area) {
    if (!mWindow || area.Empty())
        return;
    const int left = std::max(area.left, 0);
    const int top = std::max(area.top, 0);
    const int right = std::min(area.right, mWindow->w());
    const int bottom = std::min(area.bottom, mWindow->h());
    if (right > left && bottom > top)
        mWindow->damage(FL_DAMAGE_USER1, left, top, right - left, bottom - top);
}

void IEditorWindow::TimerTick() {
    if (!mWindow)
        return;
    if (mTextBox) {
        switch (mTextBoxState) {
        case TextBoxIdle:
            break;
        case TextBoxFocused:
            return; // the editor stands still while a value is typed
        case TextBoxCancel:
            RemoveTextBox();
            return;
        case TextBoxCommit:
            CommitTextBox();
            return;
        default:
            mTextBoxState = TextBoxIdle;
            return;
        }
    }
    IBounds area;
    if (!CollectDirtyArea(area))
        return;
    if (mTextBox) {
        // Paint around the box, not over the control it edits.
        Invalidate(BoundingBoxWithout(area, mTextBoxControl->Rect()));
        mTextBoxState = TextBoxRepainted;
    } else {
        Invalidate(area);
    }
}

void IEditorWindow::DrawWindow() {
    mInDraw = true;
    if (mWindow->damage() & ~FL_DAMAGE_CHILD) {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        fl_clip_box(0, 0, mWindow->w(), mWindow->h(), x, y, w, h);
        const IBounds clip{x, y, x + w, y + h};
        if (w <= 0 || h <= 0) {
            // nothing visible to draw
        } else if (!BackBuffer() || ControlCount() == 0) {
            fl_rectf(x, y, w, h, FL_BLACK);
        } else if (mTextBox && mTextBoxState == TextBoxFocused) {
            // Uncovered while a value is typed: show what the back buffer has, without
            // repainting controls (they wait until the box closes).
            PresentArea(clip);
        } else if (mTextBox) {
            PaintArea(clip);
        } else {
            // A paint marks every control drawn, so one that is dirty outside the
            // damaged area is painted now rather than forgotten.
            IBounds dirty;
            if (CollectDirtyArea(dirty)) {
                const IBounds whole{0, 0, mWindow->w(), mWindow->h()};
                const IBounds area = clip.Union(dirty).Intersect(whole);
                fl_push_no_clip();
                PaintArea(area.Empty() ? clip : area);
                fl_pop_clip();
            } else {
                PaintArea(clip);
            }
        }
    }
    mWindow->DrawChildren();
    mInDraw = false;
}

bool IEditorWindow::PresentArea(const IBounds& rect) {
    if (!mWindow)
        return true;
    const RasterBitmap* buffer = BackBuffer();
    if (!buffer)
        return true;
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min({rect.right, buffer->Width(), mWindow->w()});
    const int bottom = std::min({rect.bottom, buffer->Height(), mWindow->h()});
    if (right <= left || bottom <= top)
        return true;
    if (!mInDraw) {
        // Painted outside a paint: present through FLTK's next flush.
        Invalidate(IBounds{left, top, right, bottom});
        return true;
    }
    PresentSource source{buffer, left, top};
    fl_draw_image(&ConvertRow, &source, left, top, right - left, bottom - top, 3);
    return true;
}

// ---- events ----

int IEditorWindow::HandleWindowEvent(int event) {
    DepthGuard depth(mHandlerDepth);
    const int x = Fl::event_x();
    const int y = Fl::event_y();

    if (mTextBox && mTextBoxState == TextBoxFocused) {
        // While a value is typed only a press outside the box is looked at: it cancels.
        const int button = Fl::event_button();
        const bool leftOrRight = button == FL_LEFT_MOUSE || button == FL_RIGHT_MOUSE;
        if (event == FL_PUSH && leftOrRight && !Fl::event_inside(mTextBox)) {
            mTextBoxState = TextBoxCancel;
            return 1;
        }
        // The press that opened the box still ends its gesture, so the plug-in hears
        // the end of every edit it was told the start of.
        if (event == FL_RELEASE && leftOrRight && mHasCapture) {
            mHasCapture = false;
            MouseReleased(x, y, ModifiersFromFltkState(Fl::event_state()));
            return 1;
        }
        return mWindow->BaseHandle(event);
    }

    switch (event) {
    case FL_FOCUS:
    case FL_UNFOCUS:
        return 1;
    case FL_SHOW: {
        const int handled = mWindow->BaseHandle(event);
        if (mWantFocus && !mTextBox) {
            mWantFocus = false;
            mWindow->take_focus();
        }
        return handled;
    }
    case FL_ENTER:
        mWindow->BaseHandle(event);
        return 1; // so that moves and the leave arrive
    case FL_MOVE:
        mWindow->BaseHandle(event);
        if (MouseHovered(x, y, ModifiersFromFltkState(Fl::event_state())))
            mTrackingLeave = true;
        return 1;
    case FL_LEAVE:
        mWindow->BaseHandle(event);
        if (mTrackingLeave) {
            mTrackingLeave = false;
            MouseLeft();
        }
        return 1;
    case FL_PUSH: {
        if (mTextBox && Fl::event_inside(mTextBox))
            return mWindow->BaseHandle(event); // the box's own press
        const IModifierKeys mods = ModifiersFromFltkState(Fl::event_state());
        if (Fl::event_button() == FL_LEFT_MOUSE && Fl::event_clicks() > 0) {
            // A third click starts over, as a plain press.
            Fl::event_is_click(0);
            if (MouseDoubleClicked(x, y, mods))
                mHasCapture = true;
            return 1;
        }
        if (mTextBox) {
            RemoveTextBox();
            Invalidate(IBounds{0, 0, Width(), Height()});
        }
        mWindow->take_focus();
        mHasCapture = true;
        MousePressed(x, y, mods);
        return 1;
    }
    case FL_DRAG:
        if (mHasCapture && !mTextBox)
            MouseDragged(x, y, ModifiersFromFltkState(Fl::event_state()));
        return 1;
    case FL_RELEASE: {
        const int button = Fl::event_button();
        if (button == FL_LEFT_MOUSE || button == FL_RIGHT_MOUSE) {
            const IModifierKeys mods = ModifiersFromFltkState(Fl::event_state());
            // FLTK hands on the motions of one burst of events after them, so a move
            // that came just before the release arrives after it; take it first.
            if (mHasCapture && !mTextBox)
                MouseDragged(x, y, ModifiersFromFltkState(Fl::event_state() | FL_BUTTON(button)));
            mHasCapture = false;
            MouseReleased(x, y, mods);
        }
        return 1;
    }
    case FL_MOUSEWHEEL: {
        if (Fl::event_dy() == 0)
            return 0; // sideways only
        if (mTextBox) {
            mTextBoxState = TextBoxCancel;
            return 1;
        }
        MouseWheeled(x, y, ModifiersFromFltkState(Fl::event_state()), WheelNotchesFromFltk(Fl::event_dy()));
        return 1;
    }
    case FL_KEYBOARD: {
        const int code = KeyCodeForFltkKey(Fl::event_key());
        if (code < 0)
            return 0;
        return KeyPressed(x, y, code) ? 1 : 0;
    }
    default:
        return mWindow->BaseHandle(event);
    }
}

// ---- text box ----

void IEditorWindow::OpenTextEntry(IControl* control, const ITextStyle& style, const IBounds& rect,
                                  const char* text, IParameter* param) {
    if (!control || mTextBox || !mWindow)
        return;
    Fl_Group* const current = Fl_Group::current();
    Fl_Group::current(nullptr);
    auto* box = new EditorTextBox(rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top + 1,
                                  this, style.alignment);
    Fl_Group::current(current);
    box->box(FL_FLAT_BOX);
    box->color(FL_WHITE);
    box->textcolor(FL_BLACK);
    box->textfont(FontFor(style));
    box->textsize(style.size > 0 ? style.size : 12);
    box->value(text ? text : "");
    box->maximum_size(control->TextEntryLength());
    box->position(box->size(), 0); // all selected
    mWindow->add(box);
    mTextBox = box;
    mTextBoxControl = control;
    mTextBoxParam = param;
    mTextBoxState = TextBoxIdle;
    box->redraw();
    box->take_focus(); // reports the focus: state 1
}

int IEditorWindow::HandleTextBoxEvent(int event) {
    EditorTextBox* box = mTextBox;
    switch (event) {
    case FL_FOCUS:
        mTextBoxState = TextBoxFocused;
        break;
    case FL_UNFOCUS:
        mTextBoxState = TextBoxCancel;
        break;
    case FL_KEYBOARD: {
        const int key = Fl::event_key();
        if (key == FL_Enter || key == FL_KP_Enter) {
            mTextBoxState = TextBoxCommit;
            return 1;
        }
        // Typed characters are filtered by the parameter's kind; editing keys that type
        // nothing (arrows, Delete, Home...) always pass.
        if (mTextBoxParam && key != FL_BackSpace && key != FL_Delete && Fl::event_length() > 0 &&
            !TextBoxAcceptsChar(mTextBoxParam->Kind(), static_cast<unsigned char>(Fl::event_text()[0]))) {
            return 1;
        }
        break;
    }
    default:
        break;
    }
    return box->BaseHandle(event);
}

void IEditorWindow::CancelTextEntry() {
    mTextBoxState = TextBoxCancel;
}

void IEditorWindow::CommitTextBox() {
    if (!mTextBox)
        return;
    const std::string text = mTextBox->value();
    IControl* control = mTextBoxControl;
    IParameter* param = mTextBoxParam;
    RemoveTextBox();
    CommitEnteredText(control, param, text.c_str());
}

void IEditorWindow::RemoveTextBox() {
    if (!mTextBox)
        return;
    EditorTextBox* box = mTextBox;
    const bool hadFocus = Fl::focus() == box;
    const IBounds covered{box->x(), box->y(), box->x() + box->w(), box->y() + box->h()};
    mTextBox = nullptr;
    mTextBoxControl = nullptr;
    mTextBoxParam = nullptr;
    mTextBoxState = TextBoxIdle;
    if (mWindow)
        mWindow->remove(box);
    delete box;
    // What the box covered shows the editor again.
    Invalidate(covered);
    if (hadFocus && mWindow && mWindow->shown())
        mWindow->take_focus();
}

// ---- popup menu and dialogs ----

IPopupMenu* IEditorWindow::ShowPopupMenu(IPopupMenu* menu, const IBounds& rect) {
    ClearMouseCapture();
    mHasCapture = false; // the menu takes the mouse
    if (!menu || menu->ItemCount() == 0 || !mWindow || !mWindow->shown())
        return nullptr;
    const std::vector<PopupLine> lines = BuildPopupLines(*menu);
    if (lines.empty())
        return nullptr;

    std::vector<std::string> labels;
    labels.reserve(lines.size());
    std::vector<Fl_Menu_Item> items(lines.size() + 1); // zeroed: the last one ends the menu
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const PopupLine& line = lines[i];
        labels.push_back(EscapeMenuLabel(line.text));
        Fl_Menu_Item& item = items[i];
        item.text = labels.back().c_str();
        item.flags = (line.divider ? FL_MENU_DIVIDER : 0) | (line.inactive ? FL_MENU_INACTIVE : 0) |
                     (line.checked ? FL_MENU_TOGGLE | FL_MENU_VALUE : 0);
        item.user_data_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(line.command));
    }
    // popup() counts from the window of the current event; anchor in screen terms.
    const int screenX = mWindow->x_root() + rect.left;
    const int screenY = mWindow->y_root() + rect.bottom;
    const Fl_Menu_Item* picked = items.front().popup(screenX - (Fl::event_x_root() - Fl::event_x()),
                                                     screenY - (Fl::event_y_root() - Fl::event_y()));
    if (!picked)
        return nullptr;
    const int command = static_cast<int>(reinterpret_cast<std::intptr_t>(picked->user_data()));
    if (command <= 0)
        return nullptr;
    menu->chosen = command - 1;
    return menu;
}

void IEditorWindow::HostFolder(std::string& out) {
    out = FolderOfPath(ExecutablePath(), 256);
}

void IEditorWindow::ProgramFolder(std::string& out) {
    // The plug-in is linked into the program: its module is the executable.
    out = FolderOfPath(ExecutablePath(), 256);
}

void IEditorWindow::ChooseFile(std::string& out, int action, std::string& folder, const char* extensions) {
    if (!mWindow) {
        out.clear();
        return;
    }
    const std::string directory = folder.empty() ? DesktopFolder() : folder;
    const std::string pattern = FileChooserPattern(extensions);
    const bool save = action == 1;
    Fl_File_Chooser chooser(directory.c_str(), pattern.empty() ? "*" : pattern.c_str(),
                            save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE, save ? "Save" : "Open");
    if (!out.empty())
        chooser.value(out.c_str());
    chooser.show();
    while (chooser.shown())
        Fl::wait();
    if (chooser.count() < 1 || !chooser.value())
        return;
    std::string path = chooser.value();
    const std::string chosenFolder = FolderOfPath(path, path.size());
    if (save) {
        const std::string name = path.substr(chosenFolder.size());
        const std::string extension = FirstExtension(extensions);
        if (!extension.empty() && name.find('.') == std::string::npos)
            path += "." + extension;
        if (chosenFolder.empty() || !fl_filename_isdir(chosenFolder.c_str()))
            return;
        if (FileExists(path) && fl_choice("%s already exists.\nDo you want to replace it?", fl_no, fl_yes,
                                          nullptr, path.c_str()) != 1)
            return;
    } else if (!FileExists(path) || fl_filename_isdir(path.c_str())) {
        fl_alert("%s\nFile not found.", path.c_str());
        return;
    }
    if (path.size() > 255)
        return; // longer than the name buffer: treated as cancelled
    folder = chosenFolder;
    out = path;
}

bool IEditorWindow::ChooseColour(IColour& colour, const char* prompt) {
    if (!mWindow)
        return false;
    auto channel = [](int value) { return static_cast<uchar>(std::clamp(value, 0, 255)); };
    uchar r = channel(colour.R);
    uchar g = channel(colour.G);
    uchar b = channel(colour.B);
    if (!fl_color_chooser(prompt ? prompt : "Colour", r, g, b, 1))
        return false;
    colour.R = r;
    colour.G = g;
    colour.B = b;
    return true;
}

bool IEditorWindow::OpenWebLink(const char* url, const char* title, const char* confirmation,
                                const char* errorMessage) {
    if (confirmation) {
        fl_message_title(title ? title : "");
        if (fl_choice("%s", fl_no, fl_yes, nullptr, confirmation) != 1)
            return false;
    }
    if (url && *url && fl_open_uri(url, nullptr, 0))
        return true;
    if (errorMessage) {
        fl_message_title(title ? title : "");
        fl_alert("%s", errorMessage);
    }
    return false;
}

void IEditorWindow::SetSize(int width, int height) {
    const int dw = width - Width();
    const int dh = height - Height();
    IEditorView::SetSize(width, height); // also sizes the back buffer
    if (!mWindow)
        return;
    // The groups that hold the editor grow with it; a top-level window keeps its size.
    Fl_Group* holders[2] = {mParent, mParent ? mParent->parent() : nullptr};
    for (Fl_Group* holder : holders) {
        if (!holder || (holder->as_window() && !holder->parent()))
            continue;
        Fl_Widget* const resizable = holder->resizable();
        holder->resizable(nullptr); // children keep their place and size
        holder->size(holder->w() + dw, holder->h() + dh);
        holder->resizable(resizable);
    }
    mWindow->size(mWindow->w() + dw, mWindow->h() + dh);
    mWindow->redraw();
}
