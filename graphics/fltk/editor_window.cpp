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

#include "graphics/control.h"
#include "graphics/fltk/window_rules.h"
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

    // A box its editor has let go of (its window closing) still behaves as an input.
    int handle(int event) override {
        return mOwner->mTextBox == this ? mOwner->HandleTextBoxEvent(event) : BaseHandle(event);
    }

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


// ---- window life ----

void* IEditorWindow::OpenEditorWindow(void* parent) {
    auto* group = static_cast<Fl_Group*>(parent);
    int width = DeviceWidth();
    int height = DeviceHeight();
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

    const int period = StartTimerPeriod();
    Fl_Group* const current = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = new EditorChildWindow(OriginX(group) + relX, OriginY(group) + relY, width, height, this);
    Fl_Group::current(current);
    group->add(mWindow);
    ++gOpenWindows;

    Fl::add_timeout(period / 1000.0, &IEditorWindow::TimerCallback, this);
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
    ForgetWindowState();
    if (gOpenWindows > 0)
        --gOpenWindows;
}

void IEditorWindow::TimerCallback(void* self) {
    auto* view = static_cast<IEditorWindow*>(self);
    view->TimerTick();
    if (view->mWindow)
        Fl::repeat_timeout(view->TimerPeriod() / 1000.0, &IEditorWindow::TimerCallback, self);
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

void IEditorWindow::RepaintArea(const IBounds& area, const IBounds& hole) {
    Invalidate(DeviceRect(AreaWithoutHole(area, hole)));
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
        if (w > 0 && h > 0) {
            const ExposePlan plan = PlanExpose(clip, IBounds{0, 0, mWindow->w(), mWindow->h()});
            if (plan.kind == ExposePlan::Blank) {
                fl_rectf(x, y, w, h, FL_BLACK);
            } else if (plan.kind == ExposePlan::Present) {
                PresentArea(clip);
            } else if (plan.area == clip) {
                PaintArea(plan.editorArea);
            } else {
                fl_push_no_clip(); // widened beyond what FLTK clips to
                PaintArea(plan.editorArea);
                fl_pop_clip();
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
    const int button = Fl::event_button();
    const bool leftOrRight = button == FL_LEFT_MOUSE || button == FL_RIGHT_MOUSE;

    if (Typing()) {
        // Only a press outside the box and the release of the press that opened it count.
        if (event == FL_PUSH && leftOrRight && !Fl::event_inside(mTextBox)) {
            PointerPressed(x, y, ModifiersFromFltkState(Fl::event_state()),
                           button == FL_LEFT_MOUSE ? PointerButton::Left : PointerButton::Right, false);
            return 1;
        }
        if (event == FL_RELEASE && leftOrRight) {
            const IModifierKeys mods = ModifiersFromFltkState(Fl::event_state());
            PointerReleased(x, y, mods, mods);
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
        PointerMoved(x, y, ModifiersFromFltkState(Fl::event_state()), false);
        return 1;
    case FL_LEAVE:
        mWindow->BaseHandle(event);
        PointerLeft();
        return 1;
    case FL_PUSH: {
        if (mTextBox && Fl::event_inside(mTextBox))
            return mWindow->BaseHandle(event); // the box's own press
        const bool secondClick = button == FL_LEFT_MOUSE && Fl::event_clicks() > 0;
        if (secondClick)
            Fl::event_is_click(0); // a third click starts over, as a plain press
        const PointerButton which = button == FL_LEFT_MOUSE    ? PointerButton::Left
                                    : button == FL_RIGHT_MOUSE ? PointerButton::Right
                                                               : PointerButton::Middle;
        PointerPressed(x, y, ModifiersFromFltkState(Fl::event_state()), which, secondClick);
        return 1;
    }
    case FL_DRAG:
        PointerMoved(x, y, ModifiersFromFltkState(Fl::event_state()), true);
        return 1;
    case FL_RELEASE:
        if (leftOrRight) {
            // FLTK hands on the motions of one burst of events after them, so a move
            // that came just before the release arrives after it.
            PointerReleased(x, y, ModifiersFromFltkState(Fl::event_state() | FL_BUTTON(button)),
                            ModifiersFromFltkState(Fl::event_state()));
        }
        return 1;
    case FL_MOUSEWHEEL:
        if (Fl::event_dy() == 0)
            return 0; // sideways only
        PointerWheeled(x, y, ModifiersFromFltkState(Fl::event_state()), WheelNotchesFromFltk(Fl::event_dy()));
        return 1;
    case FL_KEYBOARD: {
        const int code = KeyCodeForFltkKey(Fl::event_key());
        if (code < 0)
            return 0;
        return KeyDown(x, y, code) ? 1 : 0;
    }
    default:
        return mWindow->BaseHandle(event);
    }
}

// ---- text box ----

bool IEditorWindow::CreateTextBox(const ITextStyle& style, const IBounds& rect, const char* text, int maxLength) {
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
    box->value(text);
    box->maximum_size(maxLength);
    box->position(box->size(), 0); // all selected
    mWindow->add(box);
    mTextBox = box;
    box->redraw();
    box->take_focus(); // reports the focus: state 1
    return true;
}

int IEditorWindow::HandleTextBoxEvent(int event) {
    EditorTextBox* box = mTextBox;
    switch (event) {
    case FL_FOCUS:
        TextBoxFocusChanged(true);
        break;
    case FL_UNFOCUS:
        TextBoxFocusChanged(false);
        break;
    case FL_KEYBOARD: {
        const int key = Fl::event_key();
        if (key == FL_Enter || key == FL_KP_Enter) {
            TextBoxEntered();
            return 1;
        }
        // Typed characters are filtered by the parameter's kind; editing keys that type
        // nothing (arrows, Delete, Home...) always pass.
        if (key != FL_BackSpace && key != FL_Delete && Fl::event_length() > 0 &&
            !TextBoxTakes(static_cast<unsigned char>(Fl::event_text()[0]))) {
            return 1;
        }
        break;
    }
    default:
        break;
    }
    return box->BaseHandle(event);
}


std::string IEditorWindow::TextBoxValue() const {
    return mTextBox ? mTextBox->value() : "";
}

void IEditorWindow::DestroyTextBox() {
    if (!mTextBox)
        return;
    EditorTextBox* box = mTextBox;
    const bool hadFocus = Fl::focus() == box;
    const IBounds covered{box->x(), box->y(), box->x() + box->w(), box->y() + box->h()};
    mTextBox = nullptr;
    if (mWindow)
        mWindow->remove(box);
    delete box;
    // What the box covered shows the editor again.
    Invalidate(covered);
    if (hadFocus && mWindow && mWindow->shown())
        mWindow->take_focus();
}

void IEditorWindow::FocusEditor() {
    mWindow->take_focus();
}

// ---- popup menu and dialogs ----

int IEditorWindow::RunPopupMenu(const IPopupMenu&, const std::vector<PopupLine>& lines, const IBounds& rect) {
    if (!mWindow->shown())
        return 0;
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
    return picked ? static_cast<int>(reinterpret_cast<std::intptr_t>(picked->user_data())) : 0;
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

void IEditorWindow::ResizeWindow(int dw, int dh) {
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
