#include "main_window.h"

#include <FL/Fl.H>

#include <cmath>

#include "graphics/editor_scale.h"
#include "settings.h"

namespace {

// The View menu's zoom items: their labels and the scale each stands for.
struct ZoomItem {
    const char* path;
    double zoom;
};
constexpr ZoomItem kZoomItems[] = {
    {"&View/Zoom 100%", 1.0},
    {"&View/Zoom 150%", 1.5},
    {"&View/Zoom 200%", 2.0},
    {"&View/Zoom 300%", 3.0},
    {"&View/Follow the Desktop", kFollowDesktop},
};

} // namespace

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
    for (const ZoomItem& item : kZoomItems) {
        mMenu->add(item.path, 0, &MainWindow::onZoom, this, FL_MENU_RADIO);
    }
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

void MainWindow::showZoomChoice(double zoom) {
    for (const ZoomItem& item : kZoomItems) {
        if (auto* entry = const_cast<Fl_Menu_Item*>(mMenu->find_item(item.path))) {
            if (item.zoom == zoom) {
                entry->setonly();
            } else {
                entry->clear();
            }
        }
    }
}

void MainWindow::applyScale(double scale) {
    mScale = ConformEditorScale(scale);
    const int menuHeight = ToDevice(kMenuHeight, mScale);
    const int width = ToDevice(kEditorWidth, mScale);
    const int height = menuHeight + ToDevice(kEditorHeight, mScale);
    if (w() != width || h() != height) {
        // Grows or shrinks about its centre; the fixed size follows.
        const int left = x() + w() / 2 - width / 2;
        const int top = y() + h() / 2 - height / 2;
        size_range(width, height, width, height);
        resize(left, top, width, height);
    }
    // FLTK scaled the children in proportion; set them exactly.
    mMenu->textsize(ToDevice(13, mScale));
    mMenu->resize(0, 0, width, menuHeight);
    mEditorArea->resize(0, menuHeight, width, height - menuHeight);
    redraw();
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

void MainWindow::onZoom(Fl_Widget* widget, void* self) {
    auto* window = static_cast<MainWindow*>(self);
    const Fl_Menu_Item* picked = static_cast<Fl_Menu_*>(widget)->mvalue();
    for (const ZoomItem& item : kZoomItems) {
        if (picked != nullptr && picked == window->mMenu->find_item(item.path) && window->mCommands.zoom) {
            window->mCommands.zoom(item.zoom);
        }
    }
}

void MainWindow::onClose(Fl_Widget*, void* self) {
    // Escape would close a plain FLTK window; here only the close box and Quit do.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
        return;
    }
    static_cast<MainWindow*>(self)->quit();
}
