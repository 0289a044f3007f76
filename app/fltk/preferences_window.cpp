#include "preferences_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine_services.h"

namespace {

// Dialog units of an 8-point dialog font, in pixels, at the editor's zoom: FLTK 1.3 does not
// scale for a dense screen, so every size and font the dialog gives it grows with the zoom.
struct DialogUnits {
    double scale = 1.0;
    int x(double du) const { return static_cast<int>(std::lround(du * 1.5 * scale)); }
    int y(double du) const { return static_cast<int>(std::lround(du * 1.625 * scale)); }
    int pixels(int p) const { return static_cast<int>(std::lround(p * scale)); }
};

constexpr int kFontSize = 11;
constexpr int kListHeight = 21; // a closed drop-down list; the table gives the open extent
constexpr int kFrameInset = 6;  // the frame line runs through the middle of its caption

// Device and port names are shown as they are: a normal label would take
// '&' as a shortcut mark and '@' as a symbol.
constexpr Fl_Labeltype kRawLabel = static_cast<Fl_Labeltype>(FL_FREE_LABELTYPE + 3);

void drawRawLabel(const Fl_Label* label, int x, int y, int w, int h, Fl_Align /*align*/) {
    if (label->value == nullptr) {
        return;
    }
    fl_font(label->font, label->size);
    fl_color(label->color);
    fl_push_clip(x, y, w, h);
    const int baseline = y + (h - fl_height()) / 2 + fl_height() - fl_descent();
    fl_draw(label->value, static_cast<int>(std::strlen(label->value)), x, baseline);
    fl_pop_clip();
}

void measureRawLabel(const Fl_Label* label, int& w, int& h) {
    if (label->value == nullptr) {
        w = h = 0;
        return;
    }
    fl_font(label->font, label->size);
    w = static_cast<int>(std::ceil(fl_width(label->value)));
    h = fl_height();
}

struct Layout {
    int id;
    const char* caption; // the label above the list
    double labelX, labelY, labelW;
    double x, y, w;
};

// The lists and their labels, in the dialog's order, in dialog units.
constexpr Layout kListLayout[] = {
    {PreferencesDialog::kDriverType, "Driver Type", 22, 25, 38, 20, 35, 100},
    {PreferencesDialog::kInputDevice, "Input Device", 20, 55, 42, 20, 65, 100},
    {PreferencesDialog::kOutputDevice, "Output Device", 20, 85, 47, 20, 95, 100},
    {PreferencesDialog::kIoVectorSize, "IO Vector Size", 137, 25, 46, 135, 35, 65},
    {PreferencesDialog::kSignalVectorSize, "Signal Vector Size", 135, 55, 58, 135, 65, 65},
    {PreferencesDialog::kSamplingRate, "Sampling Rate", 135, 85, 47, 135, 95, 65},
    {PreferencesDialog::kInput1, "Input 1 (L)", 20, 115, 33, 20, 125, 40},
    {PreferencesDialog::kInput2, "Input 2 (R)", 65, 115, 34, 65, 126, 40},
    {PreferencesDialog::kOutput1, "Output 1 (L)", 20, 145, 38, 20, 155, 40},
    {PreferencesDialog::kOutput2, "Output 2 (R)", 65, 145, 40, 65, 155, 40},
    {PreferencesDialog::kMidiInPort, "Input Device", 15, 210, 42, 15, 220, 100},
    {PreferencesDialog::kMidiOutPort, "Output Device", 15, 240, 47, 15, 250, 100},
    {PreferencesDialog::kMidiInChannel, "Input Channel", 125, 210, 45, 125, 220, 50},
    {PreferencesDialog::kMidiOutChannel, "Output Channel", 125, 240, 50, 125, 250, 50},
};

std::size_t listIndex(int controlId) {
    const auto& ids = PreferencesDialog::kListIds;
    return static_cast<std::size_t>(std::find(ids.begin(), ids.end(), controlId) - ids.begin());
}

// A group box's caption, drawn over the frame line on the dialog's colour.
class GroupCaption : public Fl_Box {
  public:
    GroupCaption(int x, int y, int w, int h, const char* caption) : Fl_Box(FL_NO_BOX, x, y, w, h, caption) {}

  protected:
    void draw() override {
        fl_font(labelfont(), labelsize());
        const int width = std::min(w(), static_cast<int>(std::ceil(fl_width(label()))) + 6);
        fl_color(color());
        fl_rectf(x(), y(), width, h());
        draw_label(x() + 3, y(), width - 6, h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    }
};

void addGroupBox(const DialogUnits& u, const char* caption, double x, double y, double w, double h) {
    const int inset = u.pixels(kFrameInset);
    new Fl_Box(FL_ENGRAVED_FRAME, u.x(x), u.y(y) + inset, u.x(w), u.y(h) - inset, nullptr);
    auto* label = new GroupCaption(u.x(x) + u.pixels(6), u.y(y), u.x(w) - u.pixels(12), 2 * inset, caption);
    label->labelsize(u.pixels(kFontSize));
}

void addLabel(const DialogUnits& u, const char* caption, double x, double y, double w) {
    auto* label = new Fl_Box(FL_NO_BOX, u.x(x), u.y(y), u.x(w), u.y(8), caption);
    label->labelsize(u.pixels(kFontSize));
    label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
}

} // namespace

PreferencesWindow::PreferencesWindow(PreferencesDialog& model, double scale) : mModel(model), mScale(scale) {
    Fl::set_labeltype(kRawLabel, drawRawLabel, measureRawLabel);
    build();
    refresh();
}

PreferencesWindow::~PreferencesWindow() = default;

void PreferencesWindow::build() {
    const DialogUnits u{mScale};
    mWindow = std::make_unique<Fl_Double_Window>(u.x(223), u.y(309), "Preferences");
    mWindow->begin();

    addGroupBox(u, "Audio Device Settings", 5, 10, 210, 170);
    for (const Layout& layout : kListLayout) {
        if (layout.id == PreferencesDialog::kMidiInPort) {
            addGroupBox(u, "MIDI Device Settings", 5, 190, 210, 85);
        }
        addLabel(u, layout.caption, layout.labelX, layout.labelY, layout.labelW);
        auto* list = new Fl_Choice(u.x(layout.x), u.y(layout.y), u.x(layout.w), u.pixels(kListHeight));
        list->textsize(u.pixels(kFontSize));
        list->callback(&PreferencesWindow::onChoice, this);
        mChoices[listIndex(layout.id)] = list;

        if (layout.id == PreferencesDialog::kInput2) {
            mMonoInput = new Fl_Check_Button(u.x(135), u.y(127), u.x(56), u.y(8), "Mono Input");
            mMonoInput->labelsize(u.pixels(kFontSize));
            mMonoInput->callback(&PreferencesWindow::onMono, this);
        }
        if (layout.id == PreferencesDialog::kOutput2) {
            // The caption stays as the dialog has always shown it; the back
            // ends here have no driver settings window, so it is disabled.
            mControlPanel = new Fl_Button(u.x(135), u.y(155), u.x(65), u.y(14), "ASIO Config...");
            mControlPanel->labelsize(u.pixels(kFontSize));
            mControlPanel->callback(&PreferencesWindow::onControlPanel, this);
        }
    }

    mOk = new Fl_Return_Button(u.x(110), u.y(285), u.x(50), u.y(14), "OK");
    mOk->labelsize(u.pixels(kFontSize));
    mOk->callback(&PreferencesWindow::onOk, this);
    mCancel = new Fl_Button(u.x(166), u.y(285), u.x(50), u.y(14), "Cancel");
    mCancel->labelsize(u.pixels(kFontSize));
    mCancel->callback(&PreferencesWindow::onCancel, this);

    mWindow->end();
    // The close box and Escape act as Cancel.
    mWindow->callback(&PreferencesWindow::onCancel, this);
}

Fl_Choice* PreferencesWindow::choice(int controlId) {
    const std::size_t index = listIndex(controlId);
    return index < mChoices.size() ? mChoices[index] : nullptr;
}

void PreferencesWindow::showItems(std::size_t index, const std::vector<std::string>& texts) {
    const DialogUnits u{mScale};
    Menu& menu = mMenus[index];
    if (menu.texts == texts && !menu.items.empty()) {
        return;
    }
    // Built item by item: the menu's add() would read '/', '\t', '_' and '&'
    // in a device name as menu syntax.
    menu.texts = texts;
    menu.items.assign(texts.size() + 1, Fl_Menu_Item{});
    for (std::size_t i = 0; i < texts.size(); ++i) {
        Fl_Menu_Item& item = menu.items[i];
        item.text = menu.texts[i].c_str();
        item.labeltype_ = kRawLabel;
        item.labelfont_ = FL_HELVETICA;
        item.labelsize_ = u.pixels(kFontSize);
        item.labelcolor_ = FL_FOREGROUND_COLOR;
    }
    mChoices[index]->menu(menu.items.data());
}

void PreferencesWindow::refresh() {
    for (std::size_t i = 0; i < PreferencesDialog::kListIds.size(); ++i) {
        const PreferencesDialog::ListState& state = mModel.list(PreferencesDialog::kListIds[i]);
        Fl_Choice* list = mChoices[i];
        showItems(i, state.items);
        // value(-1) shows an empty box.
        list->value(state.selected >= 0 && static_cast<std::size_t>(state.selected) < state.items.size()
                        ? state.selected
                        : -1);
        if (state.enabled) {
            list->activate();
        } else {
            list->deactivate();
        }
        list->redraw();
    }
    mMonoInput->value(mModel.monoChecked() ? 1 : 0);
    if (mModel.controlPanelEnabled()) {
        mControlPanel->activate();
    } else {
        mControlPanel->deactivate();
    }
}

void PreferencesWindow::onChoice(Fl_Widget* widget, void* self) {
    auto* window = static_cast<PreferencesWindow*>(self);
    const auto it = std::find(window->mChoices.begin(), window->mChoices.end(), widget);
    if (it == window->mChoices.end()) {
        return;
    }
    const int id = PreferencesDialog::kListIds[static_cast<std::size_t>(it - window->mChoices.begin())];
    window->mModel.select(id, static_cast<Fl_Choice*>(widget)->value());
    window->refresh();
}

void PreferencesWindow::onMono(Fl_Widget* widget, void* self) {
    auto* window = static_cast<PreferencesWindow*>(self);
    window->mModel.setMono(static_cast<Fl_Check_Button*>(widget)->value() != 0);
    window->refresh();
}

void PreferencesWindow::onControlPanel(Fl_Widget*, void* self) {
    auto* window = static_cast<PreferencesWindow*>(self);
    window->mModel.clickControlPanel();
    window->refresh();
}

void PreferencesWindow::onOk(Fl_Widget*, void* self) {
    auto* window = static_cast<PreferencesWindow*>(self);
    window->finish(window->mModel.ok());
}

void PreferencesWindow::onCancel(Fl_Widget*, void* self) {
    auto* window = static_cast<PreferencesWindow*>(self);
    if (window->mResult != 0) {
        return;
    }
    // The dialog ends first, then the settings are put back.
    window->mWindow->hide();
    window->finish(window->mModel.cancel());
}

void PreferencesWindow::finish(int result) {
    mResult = result;
    mWindow->hide();
}

int PreferencesWindow::runModal(Fl_Window* owner) {
    mResult = 0;
    if (owner != nullptr && owner->shown()) {
        mWindow->position(owner->x() + (owner->w() - mWindow->w()) / 2,
                          owner->y() + (owner->h() - mWindow->h()) / 2);
    } else {
        mWindow->position((Fl::w() - mWindow->w()) / 2, (Fl::h() - mWindow->h()) / 2);
    }
    mWindow->set_modal();
    mWindow->show();
    while (mWindow->shown()) {
        Fl::wait();
    }
    // Hidden some other way (the program quitting): treat it as Cancel.
    if (mResult == 0) {
        mResult = mModel.cancel();
    }
    return mResult;
}

int RunPreferencesDialog(PreferencesDialog& model, Fl_Window* owner, double scale) {
    model.open();
    PreferencesWindow window(model, scale);
    return window.runModal(owner);
}

int RunPreferencesDialog(AudioEngine& audio, MidiBridge& midi, AppSettings& settings, AppSettings& snapshot,
                         const std::string& settingsPath, Fl_Window* owner, double scale) {
    EnginePreferencesServices services(audio, midi, settings, settingsPath);
    PreferencesDialog model(settings, snapshot, services);
    return RunPreferencesDialog(model, owner, scale);
}
