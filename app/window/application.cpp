#include "application.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include "graphics/editor_view.h"
#include "graphics/embedded_images.h"
#include "graphics/fltk/editor_window.h"
#include "graphics/view_factory.h"
#include "main_window.h"
#include "preferences/preferences_window.h"
#include "raster/bitmap_cache.h"
#include "raster/png_decode.h"

namespace {

// The images the plug-in's editor is built from.
constexpr int kEditorImageIds[] = {101, 102, 103, 104, 105, 106, 107};

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
    if (!startUp()) {
        std::fprintf(stderr, "VT4R: no folder for the settings (set HOME or XDG_CONFIG_HOME)\n");
        return kExitNoSettingsFolder;
    }
    openMainWindow();
    // The ports and the stream open once the window is on screen: opening them
    // talks to the servers for a good part of the start-up time.
    openPortsAndStream();
    watchQuitSignals();
    Fl::run();
    shutdown();
    return kExitOk;
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

bool Application::startUp() {
    if (!loadSettingsAtStartup(mSettings, mSettingsPath)) {
        return false;
    }

    // Decoding the editor's images is the plug-in's slowest step; it runs
    // while the audio and MIDI libraries talk to their servers.
    std::jthread warmUp([] {
        for (const int id : kEditorImageIds) {
            BitmapCache::Instance().LoadStrip(id, 1, [id] { return LoadPngFromResource(&EmbeddedImageLookup, id, nullptr); });
        }
    });

    mAudio = std::make_unique<AudioEngine>(mSettings);
    mAudio->recreateAudio();
    mAudio->scanDevices();

    mMidi = std::make_unique<MidiBridge>(mSettings, [this] { writeSettings(mSettingsPath, mSettings); });
    mMidi->createMidi();
    mMidi->buildPortLists();

    warmUp.join();

    // The editor lives in a window of this program's toolkit.
    SetEditorViewFactory(&CreateEditorWindowView);
    IHostRecord host;
    host.midiOutput = mMidi->midiOutput();
    host.midiOutputChannel = &mSettings.outchan;
    mPlugin = CreatePlugin(host);
    mPlugin->LoadPresetSlot(0);
    mEditor = dynamic_cast<IEditorView*>(mPlugin->Editor());

    return true;
}

void Application::openPortsAndStream() {
    mMidi->setPlugin(mPlugin.get());
    mMidi->openMidiIn(mSettings.midiIndev);
    mMidi->openMidiOut(mSettings.midiOutdev);

    mAudio->setPlugin(mPlugin.get());
    mAudio->reopenStream();
}

void Application::openMainWindow() {
    MainWindow::Commands commands;
    commands.preferences = [this] { runPreferences(); };
    commands.about = [this] {
        // This plug-in shows no about box; the call is still made.
        mPlugin->AboutBoxRequested();
    };
    mWindow = std::make_unique<MainWindow>(std::move(commands));

    bool attached = false;
    if (mEditor != nullptr && mEditor->OpenEditorWindow(mWindow->editorArea()) != nullptr) {
        mPlugin->EditorOpened();
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

void Application::onRaiseRequest(int, void* self) {
    auto* app = static_cast<Application*>(self);
    if (app->mInstance.takeRaiseRequests() > 0 && app->mWindow) {
        app->mWindow->raise();
    }
}

void Application::runPreferences() {
    if (RunPreferencesDialog(*mAudio, *mMidi, mSettings, mSettingsSnapshot, mSettingsPath, mWindow.get()) == 1 &&
        !writeSettings(mSettingsPath, mSettings)) {
        // The choices stay in effect for this run; say that they were not kept.
        fl_message_title("VT4R");
        fl_alert("VT4R could not save the settings to\n%s\n\nThey apply until VT4R is closed.",
                 mSettingsPath.c_str());
    }
}

void Application::shutdown() {
    if (mShutDown) {
        return;
    }
    mShutDown = true;
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
    if (mEditor != nullptr) {
        mEditor->CloseEditorWindow();
    }
    mWindow.reset();

    // Callbacks stop before the plug-in they feed goes.
    if (mAudio) {
        mAudio->stopStream();
    }
    if (mMidi) {
        mMidi->shutdown();
    }
    if (mAudio) {
        mAudio->closeStream();
        mAudio->setPlugin(nullptr);
    }
    mEditor = nullptr;
    mPlugin.reset();
    if (mMidi) {
        mMidi->destroyMidi();
    }
    if (mAudio) {
        mAudio->destroyAudio();
    }
    mMidi.reset();
    mAudio.reset();
}
