#include "main_window.h"

#include <FL/Fl.H>

MainWindow::MainWindow(Commands commands)
    : Fl_Double_Window(kEditorWidth, kMenuHeight + kEditorHeight, "VT4R"), mCommands(std::move(commands)) {
    mMenu = new Fl_Menu_Bar(0, 0, kEditorWidth, kMenuHeight);
    // Dark, like the panel below it.
    mMenu->box(FL_FLAT_BOX);
    mMenu->color(fl_rgb_color(38, 38, 40));
    mMenu->textcolor(fl_rgb_color(222, 218, 208));
    mMenu->selection_color(fl_rgb_color(92, 78, 52));
    mMenu->textsize(13);
    // Built item by item: the texts are fixed, and "Preferences..." must not be
    // read as a path of submenus.
    mMenu->add("&File/Preferences...", 0, &MainWindow::onPreferences, this);
    mMenu->add("&File/&Quit", FL_CTRL + 'q', &MainWindow::onQuit, this);
    mMenu->add("&Help/&About", 0, &MainWindow::onAbout, this);

    mEditorArea = new Fl_Group(0, kMenuHeight, kEditorWidth, kEditorHeight);
    mEditorArea->box(FL_FLAT_BOX);
    mEditorArea->color(FL_BLACK);
    mEditorArea->end();
    end();

    size_range(w(), h(), w(), h());
    callback(&MainWindow::onClose, this);
    int x = 0;
    int y = 0;
    int sx = 0;
    int sy = 0;
    int sw = 0;
    int sh = 0;
    Fl::screen_xywh(sx, sy, sw, sh, 0);
    centredPosition(sw, sh, x, y);
    position(sx + x, sy + y);
}

void MainWindow::centredPosition(int screenWidth, int screenHeight, int& x, int& y) {
    x = screenWidth / 2 - kEditorWidth / 2;
    y = screenHeight / 2 - kEditorHeight / 2;
}

void MainWindow::quit() {
    hide();
}

void MainWindow::raise() {
    show();
}

void MainWindow::onPreferences(Fl_Widget*, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    if (window->mCommands.preferences) {
        window->mCommands.preferences();
    }
}

void MainWindow::onQuit(Fl_Widget*, void* self) {
    static_cast<MainWindow*>(self)->quit();
}

void MainWindow::onAbout(Fl_Widget*, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    if (window->mCommands.about) {
        window->mCommands.about();
    }
}

void MainWindow::onClose(Fl_Widget*, void* self) {
    // Escape would close a plain FLTK window; here only the close box and Quit do.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
        return;
    }
    static_cast<MainWindow*>(self)->quit();
}
