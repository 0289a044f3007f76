// The Windows build of vt4r as a user meets it under Wine: started on the test
// X server with Wine's audio routed to the test JACK server, driven with the
// mouse and keyboard, checked by screenshot against the editor drawn headless.
// Runs under scripts/with-jack.sh scripts/with-wine.sh with VT4R_WINDOWS_BUILD
// naming the Windows build tree; skips otherwise.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "shows_snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEditorWidth = 288;
constexpr int kEditorHeight = 392;
constexpr int kLogoX = 100, kLogoY = 40;
constexpr int kInputKnobX = 79, kInputKnobY = 235;
constexpr int kInputTextX = 79, kInputTextY = 313;
constexpr int kSwitchX = 144, kSwitchY = 340;

std::string windowsBuild() {
    const char* dir = std::getenv("VT4R_WINDOWS_BUILD");
    return dir != nullptr ? dir : "";
}

std::string userName() {
    if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "root";
}

// Lines of standard error that report a failure of the program itself, not
// the notices of Wine, ALSA or the MIDI library about a machine without
// sound cards or MIDI devices.
std::string ourErrors(const std::string& text) {
    std::istringstream in(text);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.find("VT4R") != std::string::npos || line.find("Unhandled") != std::string::npos ||
            line.find("terminate") != std::string::npos || line.find("exception") != std::string::npos)
            kept += line + "\n";
    }
    return kept;
}

class WineApp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (windowsBuild().empty()) GTEST_SKIP() << "VT4R_WINDOWS_BUILD names no Windows build";
        if (std::getenv("WINEPREFIX") == nullptr || std::getenv("DISPLAY") == nullptr)
            GTEST_SKIP() << "run under scripts/with-wine.sh";
        mExe = windowsBuild() + "/app/win32/vt4r.exe";
        ASSERT_TRUE(fs::exists(mExe)) << mExe;
        mSettingsDir = fs::path(std::getenv("WINEPREFIX")) / "drive_c" / "users" / userName() / "AppData" / "Local" / "VT4R";
        fs::create_directories(mSettingsDir);
        char pattern[] = "/tmp/vt4r-wine-gui-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = pattern;
        // DirectSound at 48 kHz, the rate of the test server; whatever an
        // earlier test left there (a folder, say) goes first.
        std::error_code ec;
        fs::remove_all(settingsPath(), ec);
        std::ofstream(settingsPath()) << "[audio]\r\ndriver=0\r\nsr=48000\r\niovs=512\r\nsigvs=32\r\n"
                                         "indev=Default Device\r\noutdev=Default Device\r\n";
    }
    void TearDown() override {
        mPlayer.reset();
        // Closed as Windows closes a program (WM_CLOSE to its windows), so its
        // sound clients leave the JACK server in order; killed only when that
        // fails, which would leave the server with a dead client.
        if (mApp && !mApp->waitExit(0)) {
            gui::sh("wine taskkill /im vt4r.exe >/dev/null 2>&1");
            mApp->waitExit(30);
        }
        // The Wine server itself stays up for the whole run (scripts/with-wine.sh),
        // so waiting for it here would never end; the program's exit is enough.
        mApp.reset();
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(mDir, ec);
    }

    std::string settingsPath() const { return (mSettingsDir / "settings.ini").string(); }
    std::unique_ptr<gui::Process> launch(const std::string& tag) const {
        return std::make_unique<gui::Process>("/usr/bin/wine", std::vector<std::string>{mExe},
                                              std::vector<std::string>{}, (mDir / (tag + ".out")).string(),
                                              (mDir / (tag + ".err")).string());
    }
    std::string errors(const std::string& tag = "app") const {
        return ourErrors(gui::readFile((mDir / (tag + ".err")).string()));
    }

    // Starts the program, waits for its window and finds the editor in it:
    // where the headless drawing at rest matches the screen.
    void start() {
        mApp = launch("app");
        ASSERT_GT(mApp->pid(), 0);
        ASSERT_TRUE(gui::eventually([&] { return gui::findWindows("VT4R").size() == 1; }, 30))
            << "no window titled VT4R; stderr: " << errors();
        mWindow = gui::findWindows("VT4R")[0];
        RgbImage rest;
        std::string error;
        SnapshotOptions atRest;
        atRest.scale = mScale;
        ASSERT_TRUE(RenderSnapshot(atRest, rest, error)) << error;
        ASSERT_TRUE(gui::eventually([&] { return locateEditor(rest); }, 20))
            << "the editor never came to rest as drawn headless";
        // The window is drawn before the stream opens, which takes seconds
        // under Wine; the logo clicked twice answers once the program is ready.
        SnapshotOptions overlay;
        overlay.overlay = true;
        ASSERT_TRUE(click(kLogoX, kLogoY));
        ASSERT_TRUE(looksLike(overlay, 60)) << "the program never answered a click";
        ASSERT_TRUE(click(kLogoX, kLogoY));
        ASSERT_TRUE(looksLike(SnapshotOptions{}));
    }

    bool locateEditor(const RgbImage& expected) {
        const auto geometry = gui::windowGeometry(mWindow);
        if (!geometry) return false;
        mGeometry = *geometry;
        const auto shot = gui::screenshot(mGeometry);
        if (!shot) return false;
        const int width = device(kEditorWidth), height = device(kEditorHeight);
        if (expected.width != width) return false;
        for (int dy = 0; dy + height <= shot->height; ++dy) {
            for (int dx = 0; dx + width <= shot->width; ++dx) {
                bool same = true;
                for (int y = 0; y < height && same; y += (y == 0 ? 1 : 7)) {
                    same = std::memcmp(shot->at(dx, dy + y), &expected.rgb[static_cast<size_t>(y) * width * 3],
                                       static_cast<size_t>(width) * 3) == 0;
                }
                if (same) {
                    mEditor = {mGeometry.x + dx, mGeometry.y + dy, width, height};
                    return looksLike(SnapshotOptions{}, 0);
                }
            }
        }
        return false;
    }

    // Window pixels of an editor position at the scale the program draws at.
    int device(int editor) const { return static_cast<int>(std::lround(editor * mScale)); }
    std::string at(int x, int y) const {
        return std::to_string(mEditor.x - mGeometry.x + device(x)) + " " +
               std::to_string(mEditor.y - mGeometry.y + device(y));
    }
    bool xdo(const std::string& args) const { return gui::sh("xdotool " + args + " 2>/dev/null"); }
    bool click(int x, int y) const {
        return xdo("mousemove --window " + std::to_string(mWindow) + " " + at(x, y) + " click 1");
    }
    // Alt+F opens "&File" with its first item, "Preferences...", highlighted.
    bool openPreferences(unsigned long& dialog) const {
        if (!click(kEditorWidth / 2, 200) || !xdo("key alt+f") || !xdo("key Return")) return false;
        const bool shown = gui::eventually(
            [&] {
                const auto found = gui::findWindows("Preferences");
                if (found.size() == 1) dialog = found[0];
                return found.size() == 1;
            },
            30);
        if (!shown) return false;
        // Keys go where the X focus is: wait until the dialog has it.
        auto focused = [&] {
            return gui::run("xdotool getwindowfocus 2>/dev/null").find(std::to_string(dialog)) == 0;
        };
        if (gui::eventually(focused, 5)) return true;
        // No window manager runs here to hand a new window the focus when
        // Wine's own handover is missed; give it as one would.
        xdo("windowfocus " + std::to_string(dialog));
        return gui::eventually(focused, 10);
    }

    // Generous: while the stream opens the program answers nothing, and what
    // the test did meanwhile waits in the queue.
    bool looksLike(const SnapshotOptions& options, double seconds = 30) {
        const std::string tag = (mDir / ::testing::UnitTest::GetInstance()->current_test_info()->name()).string();
        SnapshotOptions scaled = options;
        scaled.scale = mScale;
        return gui::showsSnapshot(scaled, [&] { return mEditor; }, seconds, tag);
    }

    std::string mExe;
    fs::path mSettingsDir;
    fs::path mDir;
    std::unique_ptr<gui::Process> mApp;
    std::unique_ptr<gui::Process> mPlayer;
    unsigned long mWindow = 0;
    // The editor's scale the program is expected to draw at.
    double mScale = 1.0;
    gui::Geometry mGeometry;
    gui::Geometry mEditor;
};

TEST_F(WineApp, OpensCentredWithTheEditorAsDrawnHeadlessAndQuitEndsWithZero) {
    start();
    // The outer window's corner at the centre of 1920 x 1080 less half the
    // editor; the client area, below caption and menu, exactly the editor.
    EXPECT_EQ(mGeometry.x, 1920 / 2 - 144);
    EXPECT_EQ(mGeometry.y, 1080 / 2 - 196);
    EXPECT_EQ(mEditor.x - mGeometry.x, mGeometry.x + mGeometry.width - (mEditor.x + kEditorWidth))
        << "the editor fills the client area from border to border";
    EXPECT_EQ(mGeometry.y + mGeometry.height - (mEditor.y + kEditorHeight), mEditor.x - mGeometry.x)
        << "no gap below the editor";
    ASSERT_TRUE(xdo("key alt+f") && xdo("key q"));
    EXPECT_EQ(mApp->waitExit(15), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(WineApp, TheCloseBoxEndsTheRunLikeQuit) {
    start();
    // The close box sits at the right end of the caption Wine draws above the
    // menu, as high as the editor's border is wide below it.
    const int border = mEditor.x - mGeometry.x;
    const int captionCentre = border + (mEditor.y - mGeometry.y - border) / 4;
    ASSERT_TRUE(xdo("mousemove --window " + std::to_string(mWindow) + " " +
                    std::to_string(mGeometry.width - border - 8) + " " + std::to_string(captionCentre) + " click 1"));
    EXPECT_EQ(mApp->waitExit(15), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(WineApp, TheEditorAnswersTheMouseAndKeyboard) {
    start();
    // (start() has shown and hidden the information screen with the logo.)
    // Input dragged up 155 pixels: a quarter of its range.
    const std::string window = std::to_string(mWindow);
    ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY) + " mousedown 1"));
    for (int step = 1; step <= 5; ++step)
        ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY - 31 * step)));
    ASSERT_TRUE(xdo("mouseup 1"));
    SnapshotOptions quarterUp;
    quarterUp.inputDb = 10.0;
    EXPECT_TRUE(looksLike(quarterUp));

    // A value typed into the box under the knob; the box opens selected.
    ASSERT_TRUE(click(kInputTextX, kInputTextY));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(xdo("type --delay 40 -- -7.5"));
    ASSERT_TRUE(xdo("key Return"));
    SnapshotOptions typed;
    typed.inputDb = -7.5;
    EXPECT_TRUE(looksLike(typed));

    // The switch toggles Relaxed Mode and back.
    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    typed.relaxed = true;
    EXPECT_TRUE(looksLike(typed));
    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    typed.relaxed = false;
    EXPECT_TRUE(looksLike(typed));
}

TEST_F(WineApp, TheNeedleFollowsALoudSignalThroughDirectSound) {
    start();
    const auto quiet = gui::screenshot(mEditor);
    ASSERT_TRUE(quiet.has_value());
    // Into the capture ports of Wine's JACK client, which DirectSound records from.
    mPlayer = std::make_unique<gui::Process>(VT4R_PLAYER_PATH,
                                             std::vector<std::string>{"--ports", "^vt4r-wine[^:]*:", "sine", "0.9"},
                                             std::vector<std::string>{}, (mDir / "player.out").string(),
                                             (mDir / "player.err").string());
    int moved = 0;
    EXPECT_TRUE(gui::eventually(
        [&] {
            const auto loud = gui::screenshot(mEditor);
            moved = loud ? gui::countDifferences(*quiet, *loud, 0, 70, kEditorWidth, 135) : 0;
            return moved > 50 && gui::countDifferences(*quiet, *loud, 0, 140, kEditorWidth, kEditorHeight) == 0;
        },
        30))
        << moved << " pixels changed in the meter";
}

TEST_F(WineApp, ASecondStartRaisesTheFirstAndLeavesTheSettingsAlone) {
    start();
    gui::Display display;
    const Window cover = display.createWindow(mGeometry.x, mGeometry.y, 400, 500);
    auto position = [&](Window w) {
        const auto order = display.stacking();
        return std::find(order.begin(), order.end(), w) - order.begin();
    };
    ASSERT_GT(position(cover), position(mWindow));
    // Without a window manager Wine raises a window it activates by giving
    // it the X input focus; take the focus away first.
    XSetInputFocus(display.get(), cover, RevertToParent, CurrentTime);
    XSync(display.get(), False);
    auto focused = [&] {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display.get(), &focus, &revert);
        return focus;
    };
    ASSERT_EQ(focused(), cover);
    const std::string before = gui::readFile(settingsPath());
    struct stat statBefore {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &statBefore), 0);

    auto second = launch("second");
    EXPECT_EQ(second->waitExit(20), 0);
    EXPECT_TRUE(gui::eventually([&] { return position(mWindow) > position(cover) || focused() == mWindow; }, 30))
        << "the running window was not raised";
    EXPECT_EQ(gui::findWindows("VT4R").size(), 1u);
    struct stat statAfter {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &statAfter), 0);
    EXPECT_EQ(gui::readFile(settingsPath()), before);
    EXPECT_EQ(statAfter.st_mtim.tv_nsec, statBefore.st_mtim.tv_nsec);
    display.destroyWindow(cover);
}

TEST_F(WineApp, PreferencesCancelKeepsTheFileAndOkWritesTheChosenDevice) {
    start();
    struct stat original {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &original), 0);
    const std::string before = gui::readFile(settingsPath());

    unsigned long dialog = 0;
    ASSERT_TRUE(openPreferences(dialog));
    ASSERT_TRUE(xdo("key Escape"));
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("Preferences").empty(); }, 30));
    struct stat afterCancel {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &afterCancel), 0);
    EXPECT_EQ(gui::readFile(settingsPath()), before);
    EXPECT_EQ(afterCancel.st_mtim.tv_nsec, original.st_mtim.tv_nsec);

    // The output device list holds DirectSound's devices: the stored
    // "Default Device" shows the first, the next one is picked with the
    // keyboard (the driver type list has the focus, two tabs on is the
    // output list), and OK writes its name.
    ASSERT_TRUE(openPreferences(dialog));
    ASSERT_TRUE(xdo("key Tab Tab Down"));
    // The stream reopens on the new device before the dialog answers again.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(xdo("key Return"));
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("Preferences").empty(); }, 30));
    EXPECT_TRUE(gui::eventually([&] { return gui::readFile(settingsPath()).find("outdev=Out: default") != std::string::npos; }, 30))
        << gui::readFile(settingsPath());
    EXPECT_FALSE(mApp->waitExit(0).has_value());
}

TEST_F(WineApp, SettingsThatCannotBeSavedAreReportedNotLostSilently) {
    start();
    // A folder where the file should be: the final replace must fail.
    fs::remove(settingsPath());
    fs::create_directory(settingsPath());
    unsigned long dialog = 0;
    ASSERT_TRUE(openPreferences(dialog));
    ASSERT_TRUE(xdo("key Return"));
    // The message comes up as a second window titled VT4R; Enter dismisses it.
    EXPECT_TRUE(gui::eventually([] { return gui::findWindows("VT4R").size() == 2; }, 30));
    ASSERT_TRUE(xdo("key Return"));
    EXPECT_TRUE(gui::eventually([] { return gui::findWindows("VT4R").size() == 1; }, 30));
    EXPECT_TRUE(fs::is_directory(settingsPath()));
    EXPECT_FALSE(mApp->waitExit(0).has_value());
}

TEST_F(WineApp, ChoosingWasapiNeverEndsTheProgram) {
    start();
    unsigned long dialog = 0;
    ASSERT_TRUE(openPreferences(dialog));
    ASSERT_TRUE(xdo("key Down")); // driver type 1
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(mApp->waitExit(0).has_value()) << errors();
    ASSERT_TRUE(xdo("key Return"));
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("Preferences").empty(); }, 30));
    // WASAPI's first devices became the choice: its lists were not empty. The
    // file is written once the dialog has gone, so the test waits for it.
    EXPECT_TRUE(gui::eventually([&] { return gui::readFile(settingsPath()).find("driver=1") != std::string::npos; }, 30));
    const std::string written = gui::readFile(settingsPath());
    EXPECT_EQ(written.find("outdev=Default Device"), std::string::npos) << written;
    EXPECT_EQ(written.find("outdev=\r"), std::string::npos) << written;
    EXPECT_FALSE(mApp->waitExit(0).has_value()) << errors();
    EXPECT_TRUE(gui::findWindows("VT4R").size() == 1);
}

TEST_F(WineApp, At192DpiTheEditorDrawsAt200PercentWorksThereAndTheViewChoiceIsKept) {
    // Wine's system DPI, which a per-monitor aware program gets from GetDpiForWindow; read by
    // each Wine process as it starts. Removed afterwards so later tests run at 96 dpi.
    const std::string key = "'HKCU\\Control Panel\\Desktop' /v LogPixels";
    ASSERT_TRUE(gui::sh("wine reg add " + key + " /t REG_DWORD /d 192 /f >/dev/null 2>&1"));
    struct Restore {
        std::string key;
        ~Restore() { gui::sh("wine reg delete " + key + " /f >/dev/null 2>&1"); }
    } restore{key};
    mScale = 2.0;
    start(); // found 576 x 784 as drawn headless at 200 %, the logo answered at its scaled place
    const int border = mEditor.x - mGeometry.x;
    EXPECT_EQ(mGeometry.width - 2 * border, 576) << "the client area is the editor's, border to border";
    EXPECT_EQ(mGeometry.y + mGeometry.height - (mEditor.y + 784), border) << "no gap below the editor";

    // 155 editor pixels up in 310 window pixels: a quarter of the range, as at 100 %.
    const std::string window = std::to_string(mWindow);
    ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY) + " mousedown 1"));
    const int x = mEditor.x - mGeometry.x + device(kInputKnobX);
    const int y = mEditor.y - mGeometry.y + device(kInputKnobY);
    for (int up : {62, 124, 186, 248, 306, 307, 308, 309, 310})
        ASSERT_TRUE(xdo("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y - up)));
    ASSERT_TRUE(xdo("mouseup 1"));
    SnapshotOptions state;
    state.inputDb = 10.0;
    EXPECT_TRUE(looksLike(state));

    ASSERT_TRUE(click(kInputTextX, kInputTextY));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(xdo("type --delay 40 -- -7.5"));
    ASSERT_TRUE(xdo("key Return"));
    state.inputDb = -7.5;
    EXPECT_TRUE(looksLike(state));

    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    state.relaxed = true;
    EXPECT_TRUE(looksLike(state));

    // View > Zoom 100 % (the menu's first item): the window shrinks to the editor at 100 %.
    ASSERT_TRUE(click(kEditorWidth / 2, 200) && xdo("key alt+v") && xdo("key Return"));
    mScale = 1.0;
    ASSERT_TRUE(gui::eventually(
        [&] {
            const auto g = gui::windowGeometry(mWindow);
            return g && g->width - 2 * border == 288;
        },
        15));
    mGeometry = *gui::windowGeometry(mWindow);
    mEditor = {mGeometry.x + border, mGeometry.y + mGeometry.height - border - 392, 288, 392};
    EXPECT_TRUE(looksLike(state));
    auto kept = [&] {
        const std::string text = gui::readFile(settingsPath());
        const size_t view = text.find("[view]");
        return view == std::string::npos ? std::string() : text.substr(view, text.find('[', view + 1) - view);
    };
    EXPECT_TRUE(gui::eventually([&] { return kept().find("scale=1") != std::string::npos; }, 10)) << kept();

    // The choice wins over the desktop's 192 dpi on the next start.
    ASSERT_TRUE(xdo("key alt+f") && xdo("key q"));
    ASSERT_EQ(mApp->waitExit(15), 0);
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("VT4R").empty(); }, 15));
    start();
    EXPECT_EQ(mEditor.width, 288);

    // Follow the Desktop (the fifth item) brings back 200 %, and is kept as such.
    ASSERT_TRUE(click(kEditorWidth / 2, 200) && xdo("key alt+v") && xdo("key Down Down Down Down Return"));
    mScale = 2.0;
    ASSERT_TRUE(gui::eventually(
        [&] {
            const auto g = gui::windowGeometry(mWindow);
            return g && g->width - 2 * border == 576;
        },
        15));
    mGeometry = *gui::windowGeometry(mWindow);
    mEditor = {mGeometry.x + border, mGeometry.y + mGeometry.height - border - 784, 576, 784};
    EXPECT_LE(mGeometry.y + mGeometry.height, 1080) << "grown in place, the window went off the screen";
    EXPECT_TRUE(looksLike(SnapshotOptions{}));
    EXPECT_TRUE(gui::eventually([&] { return kept().find("scale=follow") != std::string::npos; }, 10)) << kept();
    EXPECT_EQ(errors(), "");
}

} // namespace
