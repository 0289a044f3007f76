#pragma once
#include <functional>

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>

// The application's one top-level window: the menu bar ("&File" with
// "Preferences..." and "&Quit", "&Help" with "&About") above a fixed 288 x 392
// area that holds the plug-in's editor. It cannot be resized.
class MainWindow : public Fl_Double_Window {
  public:
    static constexpr int kEditorWidth = 288;
    static constexpr int kEditorHeight = 392;
    static constexpr int kMenuHeight = 25;

    struct Commands {
        std::function<void()> preferences;
        std::function<void()> about;
    };

    explicit MainWindow(Commands commands);

    // Where the editor goes: a group of exactly the editor's size below the menu.
    Fl_Group* editorArea() { return mEditorArea; }

    // Top-left corner that centres the editor area on a screen of this size,
    // halves rounded toward zero: (816, 344) on 1920 x 1080.
    static void centredPosition(int screenWidth, int screenHeight, int& x, int& y);

    // Ends the run: the window goes away, which ends the event loop.
    void quit();
    // Shows the window, or brings it to the front when it is already shown.
    void raise();

  private:
    static void onPreferences(Fl_Widget*, void* self);
    static void onQuit(Fl_Widget*, void* self);
    static void onAbout(Fl_Widget*, void* self);
    static void onClose(Fl_Widget*, void* self);

    Commands mCommands;
    Fl_Menu_Bar* mMenu = nullptr;
    Fl_Group* mEditorArea = nullptr;
};
