#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "preferences_dialog.h"

class AudioEngine;
class MidiBridge;
class Fl_Box;
class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Double_Window;
class Fl_Widget;
class Fl_Window;
struct Fl_Menu_Item;

// The Preferences window: the dialog's controls as FLTK widgets. It shows the
// state of a PreferencesDialog and forwards every user action to it, then
// shows the state again. It holds no state of its own but the result.
//
// [main thread] Like every FLTK call.
class PreferencesWindow {
  public:
    // Builds the window, hidden, and shows the model's current state. The
    // model must outlive the window; call its open() first. `scale` enlarges every size and
    // font (the editor's zoom).
    explicit PreferencesWindow(PreferencesDialog& model, double scale = 1.0);
    ~PreferencesWindow();
    PreferencesWindow(const PreferencesWindow&) = delete;
    PreferencesWindow& operator=(const PreferencesWindow&) = delete;

    // Shows the window modally, centred over `owner` (or the screen), and
    // returns when it is closed: 1 for OK, 2 for Cancel or the close box.
    int runModal(Fl_Window* owner);

    // Copies the model's state into every widget.
    void refresh();

    // 0 while the dialog is open, then 1 (OK) or 2 (Cancel).
    int result() const { return mResult; }

    // For tests: the widgets, by control id.
    Fl_Double_Window* window() { return mWindow.get(); }
    Fl_Choice* choice(int controlId);
    Fl_Check_Button* monoInput() { return mMonoInput; }
    Fl_Button* controlPanel() { return mControlPanel; }
    Fl_Button* okButton() { return mOk; }
    Fl_Button* cancelButton() { return mCancel; }

  private:
    // The items of one list, kept alive for as long as the widget shows them.
    struct Menu {
        std::vector<std::string> texts;
        std::vector<Fl_Menu_Item> items;
    };

    void build();
    void showItems(std::size_t index, const std::vector<std::string>& texts);
    void finish(int result);

    static void onChoice(Fl_Widget* widget, void* self);
    static void onMono(Fl_Widget* widget, void* self);
    static void onControlPanel(Fl_Widget* widget, void* self);
    static void onOk(Fl_Widget* widget, void* self);
    static void onCancel(Fl_Widget* widget, void* self);

    PreferencesDialog& mModel;
    std::array<Menu, PreferencesDialog::kListIds.size()> mMenus;
    // Declared after the menus: the widgets go first.
    std::unique_ptr<Fl_Double_Window> mWindow;
    std::array<Fl_Choice*, PreferencesDialog::kListIds.size()> mChoices{};
    Fl_Check_Button* mMonoInput = nullptr;
    Fl_Button* mControlPanel = nullptr;
    Fl_Button* mOk = nullptr;
    Fl_Button* mCancel = nullptr;
    int mResult = 0;
    double mScale = 1.0;
};

// Opens the model, shows the window modally over `owner` and returns 1 (OK;
// the caller then writes the settings file) or 2 (Cancel; the settings are
// back as they were). Audio and MIDI keep running in their own threads.
int RunPreferencesDialog(PreferencesDialog& model, Fl_Window* owner, double scale = 1.0);

// The same over the application's engine, MIDI bridge and settings:
// `settings` is the current record, `snapshot` receives its copy for Cancel,
// `settingsPath` is where a replaced MIDI port name is written at once.
int RunPreferencesDialog(AudioEngine& audio, MidiBridge& midi, AppSettings& settings, AppSettings& snapshot,
                         const std::string& settingsPath, Fl_Window* owner, double scale = 1.0);
