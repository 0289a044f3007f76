#pragma once
#include <functional>

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>

// The application's one top-level window: the menu bar ("&File" with
// "Preferences..." and "&Quit", "&View" with the editor's zoom, "&Help" with
// "&About") above the area that holds the plug-in's editor, 288 x 392 times the
// zoom. The user cannot resize it; a zoom does.
class MainWindow : public Fl_Double_Window {
  public:
    static constexpr int kEditorWidth = 288;
    static constexpr int kEditorHeight = 392;
    static constexpr int kMenuHeight = 25;

    struct Commands {
        std::function<void()> preferences;
        std::function<void()> about;
        // A View menu choice: a scale, or kFollowDesktop.
        std::function<void(double)> zoom;
    };

    explicit MainWindow(Commands commands);

    // Where the editor goes: a group of exactly the editor's size below the menu.
    Fl_Group* editorArea() { return mEditorArea; }

    // Top-left corner that centres the editor area on a screen of this size,
    // halves rounded toward zero: (816, 344) on 1920 x 1080.
    static void centredPosition(int screenWidth, int screenHeight, int& x, int& y);

    // Ticks the View menu's item for `zoom` (a scale, or kFollowDesktop).
    void showZoomChoice(double zoom);
    // Sizes the menu bar, its font and the editor area for `scale`; the window
    // keeps its centre on screen once shown.
    void applyScale(double scale);
    double scale() const { return mScale; }

    // Ends the run: the window goes away, which ends the event loop.
    void quit();
    // Shows the window, or brings it to the front when it is already shown.
    void raise();

  private:
    static void onPreferences(Fl_Widget*, void* self);
    static void onQuit(Fl_Widget*, void* self);
    static void onAbout(Fl_Widget*, void* self);
    static void onZoom(Fl_Widget*, void* self);
    static void onClose(Fl_Widget*, void* self);

    Commands mCommands;
    Fl_Menu_Bar* mMenu = nullptr;
    Fl_Group* mEditorArea = nullptr;
    double mScale = 1.0;
};
