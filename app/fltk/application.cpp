#include "application.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include "desktop_scale.h"
#include "graphics/editor_view.h"
#include "graphics/fltk/editor_window.h"
#include "graphics/view_factory.h"
#include "graphics/window_core.h"
#include "main_window.h"
#include "preferences_window.h"
#include "settings.h"

namespace {

constexpr double kWatchSeconds = std::chrono::duration<double>(StandaloneApp::kWatchInterval).count();

// Write end of the pipe that turns SIGTERM and SIGINT into an orderly quit on
// the window thread; -1 while no run is in progress.
volatile std::sig_atomic_t gQuitPipe = -1;

void onQuitSignal(int) {
    const int saved = errno;
    if (gQuitPipe >= 0) {
        const char byte = 'q';
        [[maybe_unused]] const ssize_t ignored = ::write(gQuitPipe, &byte, 1);
    }
    errno = saved;
}

} // namespace

Application::Application() = default;

Application::~Application() {
    // Also reached when an exception ends the run early: the order still holds.
    shutdown();
}

int Application::run() {
    // One instance per user: a second start raises the first and touches nothing.
    if (const auto folder = SingleInstance::runtimeFolder()) {
        if (mInstance.acquire(*folder) == SingleInstance::Role::Secondary) {
            if (!mInstance.askPrimaryToRaise()) {
                std::fprintf(stderr, "VT4R: another instance holds the lock but did not answer\n");
            }
            return kExitOk;
        }
    }
    Fl::scheme("gtk+");
    // Matches the desktop entry's StartupWMClass, so docks pair window and entry.
    Fl_Window::default_xclass("vt4r");
    // The editor lives in a window of this program's toolkit.
    SetEditorViewFactory(&CreateEditorWindowView);
    if (!mApp.startUp()) {
        std::fprintf(stderr, "VT4R: no folder for the settings (set HOME or XDG_CONFIG_HOME)\n");
        return kExitNoSettingsFolder;
    }
    openMainWindow();
    // The ports and the stream open once the window is on screen: opening them
    // talks to the servers for a good part of the start-up time.
    mApp.openPortsAndStream();
    Fl::add_timeout(kWatchSeconds, &Application::onWatchTimer, this);
    watchQuitSignals();
    Fl::run();
    shutdown();
    return kExitOk;
}

void Application::onWatchTimer(void* self) {
    static_cast<Application*>(self)->mApp.watch();
    Fl::repeat_timeout(kWatchSeconds, &Application::onWatchTimer, self);
}

void Application::watchQuitSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the signals then end the process as they would anyway
    }
    mQuitPipe[0] = fds[0];
    mQuitPipe[1] = fds[1];
    gQuitPipe = fds[1];
    Fl::add_fd(fds[0], FL_READ, &Application::onQuitSignalPipe, this);
    struct sigaction action {};
    action.sa_handler = &onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void Application::onQuitSignalPipe(int fd, void*) {
    char bytes[16];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
    // An open menu runs a loop of its own that only a key or click ends:
    // dismiss it as Escape would.
    if (Fl_Window* grabbing = Fl::grab()) {
        Fl::e_keysym = FL_Escape;
        Fl::e_length = 0;
        Fl::handle(FL_KEYBOARD, grabbing);
    }
    // Every window goes, a modal Preferences dialog included (as if cancelled),
    // so the event loops end and the shutdown runs in its order.
    while (Fl_Window* window = Fl::first_window()) {
        window->hide();
    }
}

void Application::openMainWindow() {
    MainWindow::Commands commands;
    commands.preferences = [this] { runPreferences(); };
    commands.about = [this] {
        // This plug-in shows no about box; the call is still made.
        mApp.plugin()->AboutBoxRequested();
    };
    commands.zoom = [this](double zoom) { chooseZoom(zoom); };
    mWindow = std::make_unique<MainWindow>(std::move(commands));

    // The zoom kept from the last run, else the desktop's.
    mZoom = readViewScale(mApp.settingsPath());
    mWindow->showZoomChoice(mZoom);
    mWindow->applyScale(zoomScale());
    if (IEditorView* editor = mApp.editor()) {
        editor->SetScale(mWindow->scale());
    }

    bool attached = false;
    IEditorView* editor = mApp.editor();
    if (editor != nullptr && editor->OpenEditorWindow(mWindow->editorArea()) != nullptr) {
        mApp.plugin()->EditorOpened();
        attached = true;
    }
    if (!attached) {
        std::printf("couldn't attach gui\n");
        std::fflush(stdout);
    }
    mWindow->show();
    mWindow->wait_for_expose();
    Fl::flush();

    if (mInstance.listenFd() >= 0) {
        Fl::add_fd(mInstance.listenFd(), FL_READ, &Application::onRaiseRequest, this);
    }
}

double Application::zoomScale() const {
    return mZoom == kFollowDesktop ? desktopScale() : mZoom;
}

void Application::chooseZoom(double zoom) {
    mZoom = zoom;
    mWindow->showZoomChoice(zoom);
    if (!writeViewScale(mApp.settingsPath(), zoom)) {
        std::fprintf(stderr, "VT4R: could not keep the zoom in %s\n", mApp.settingsPath().c_str());
    }
    const double scale = zoomScale();
    if (scale == mWindow->scale()) {
        return;
    }
    // The editor's window first (it closes a value box made for the old scale and grows the
    // editor area), then the main window sets its menu bar and that area exactly.
    if (auto* editor = dynamic_cast<IEditorWindowCore*>(mApp.editor())) {
        editor->SetWindowScale(scale);
    } else if (IEditorView* view = mApp.editor()) {
        view->SetScale(scale);
    }
    mWindow->applyScale(scale);
}

void Application::onRaiseRequest(int, void* self) {
    auto* app = static_cast<Application*>(self);
    if (app->mInstance.takeRaiseRequests() > 0 && app->mWindow) {
        app->mWindow->raise();
    }
}

void Application::runPreferences() {
    const bool kept = mApp.runPreferences([this](AudioEngine& audio, MidiBridge& midi, AppSettings& settings,
                                                 AppSettings& snapshot, const std::string& path) {
        return RunPreferencesDialog(audio, midi, settings, snapshot, path, mWindow.get(), mWindow->scale());
    });
    if (!kept) {
        // The choices stay in effect for this run; say that they were not kept.
        fl_message_title("VT4R");
        fl_alert("VT4R could not save the settings to\n%s\n\nThey apply until VT4R is closed.",
                 mApp.settingsPath().c_str());
    }
}

void Application::shutdown() {
    if (mShutDown) {
        return;
    }
    mShutDown = true;
    Fl::remove_timeout(&Application::onWatchTimer, this);
    if (mQuitPipe[0] >= 0) {
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        gQuitPipe = -1;
        Fl::remove_fd(mQuitPipe[0]);
        ::close(mQuitPipe[0]);
        ::close(mQuitPipe[1]);
        mQuitPipe[0] = mQuitPipe[1] = -1;
    }
    if (mInstance.listenFd() >= 0) {
        Fl::remove_fd(mInstance.listenFd());
    }
    // The editor's window is a child of the main window: close it through the
    // editor first, so neither side deletes it twice.
    if (IEditorView* editor = mApp.editor()) {
        editor->CloseEditorWindow();
    }
    mWindow.reset();
    mApp.shutdown();
}
