// The vt4r program as a user meets it: started on the test X server with the
// test JACK server, driven with the mouse and keyboard, checked by screenshot
// against the editor drawn headless for the expected values.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "shows_snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMenuHeight = 25;
// Editor points a user aims at.
constexpr int kLogoX = 100, kLogoY = 40;
constexpr int kInputKnobX = 79, kInputKnobY = 235;
constexpr int kInputTextX = 79, kInputTextY = 313;
constexpr int kOutputTextX = 208;
constexpr int kSwitchX = 144, kSwitchY = 340;

bool jackRunning() {
    return gui::sh("jack_wait -c 2>/dev/null | grep -q running");
}

class RunningApp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; run under scripts/with-xvfb.sh";
        if (!jackRunning()) GTEST_SKIP() << "no JACK server; run under scripts/with-jack.sh";
        char pattern[] = "/tmp/vt4r-gui-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = pattern;
        fs::create_directories(mDir / "config" / "VT4R");
        fs::create_directories(mDir / "run");
        std::ofstream(settingsPath()) << "[audio]\ndriver=1\nsr=48000\niovs=256\nsigvs=32\n"
                                         "indev=Default Device\noutdev=Default Device\n";
    }
    void TearDown() override {
        mPlayer.reset();
        if (mApp) {
            mApp->terminate();
            mApp->waitExit(5);
            mApp.reset();
        }
        std::error_code ec;
        if (!mDir.empty() && !HasFailure()) fs::remove_all(mDir, ec);
    }

    std::string settingsPath() const { return (mDir / "config" / "VT4R" / "settings.ini").string(); }
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + (mDir / "config").string(), "XDG_RUNTIME_DIR=" + (mDir / "run").string()};
    }
    std::unique_ptr<gui::Process> launch(const std::string& tag) const {
        return std::make_unique<gui::Process>(VT4R_APP_PATH, std::vector<std::string>{}, env(),
                                              (mDir / (tag + ".out")).string(), (mDir / (tag + ".err")).string());
    }
    std::string errors(const std::string& tag = "app") const { return gui::readFile((mDir / (tag + ".err")).string()); }

    // Starts the program and waits for its window with the editor at rest.
    void start() {
        mApp = launch("app");
        ASSERT_GT(mApp->pid(), 0);
        ASSERT_TRUE(gui::eventually([&] { return gui::findWindows("VT4R").size() == 1; }, 15))
            << "no window titled VT4R; stderr: " << errors();
        mWindow = gui::findWindows("VT4R")[0];
        const auto geometry = gui::windowGeometry(mWindow);
        ASSERT_TRUE(geometry.has_value());
        mGeometry = *geometry;
        SnapshotOptions rest;
        ASSERT_TRUE(looksLike(rest, 15)) << "the editor never came to rest as drawn headless";
    }

    // The editor's scale the program is expected to draw at; positions below are editor
    // pixels, multiplied by it on the screen.
    int device(int editor) const { return static_cast<int>(std::lround(editor * mScale)); }
    gui::Geometry editorArea() const {
        return {mGeometry.x, mGeometry.y + device(kMenuHeight), device(288), device(392)};
    }
    std::string at(int x, int y) const {
        return std::to_string(device(x)) + " " + std::to_string(device(y + kMenuHeight));
    }
    bool xdo(const std::string& args) const {
        // Without a window manager xdotool warns about the focus; that is expected here.
        return gui::sh("xdotool " + args + " 2>/dev/null");
    }
    // Keys go to the program's window as events of their own, not through the server's
    // keyboard: a press and release that a loaded machine keeps apart past the repeat
    // delay would type the key again ("-777.5"), or step a menu one item too far.
    bool key(const std::string& keys) const { return xdo("key --window " + std::to_string(mWindow) + " " + keys); }
    bool type(const std::string& text) const {
        return xdo("type --window " + std::to_string(mWindow) + " -- '" + text + "'");
    }
    bool click(int x, int y) const {
        return xdo("mousemove --window " + std::to_string(mWindow) + " " + at(x, y) + " click 1");
    }

    // Whether the editor on screen equals the headless drawing for `options`
    // within `seconds`; on failure both images are kept beside the settings.
    // (Generous: it returns at the first match, and a loaded machine repaints late.)
    bool looksLike(const SnapshotOptions& options, double seconds = 15) {
        const std::string tag = (mDir / ::testing::UnitTest::GetInstance()->current_test_info()->name()).string();
        SnapshotOptions scaled = options;
        scaled.scale = mScale;
        return gui::showsSnapshot(scaled, [&] { return editorArea(); }, seconds, tag);
    }

    fs::path mDir;
    std::unique_ptr<gui::Process> mApp;
    std::unique_ptr<gui::Process> mPlayer;
    unsigned long mWindow = 0;
    gui::Geometry mGeometry;
    double mScale = 1.0;
};

TEST_F(RunningApp, OpensCentredWithTheEditorAtRestAndQuitsCleanly) {
    start();
    // Centred on the 1920 x 1080 test screen, editor area 288 x 392 below the menu.
    EXPECT_EQ(mGeometry.x, 816);
    EXPECT_EQ(mGeometry.y, 344);
    EXPECT_EQ(mGeometry.width, 288);
    EXPECT_EQ(mGeometry.height, kMenuHeight + 392);

    ASSERT_TRUE(key("ctrl+q"));
    EXPECT_EQ(mApp->waitExit(10), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(RunningApp, TheCloseBoxEndsTheRunLikeQuit) {
    start();
    gui::Display display;
    display.requestClose(mWindow);
    EXPECT_EQ(mApp->waitExit(10), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(RunningApp, ATerminationSignalEndsTheRunInOrderEvenWithPreferencesOpen) {
    start();
    ASSERT_TRUE(click(20, -12));
    ASSERT_TRUE(key("Down Return"));
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("Preferences").size() == 1; }, 5));
    mApp->terminate();
    EXPECT_EQ(mApp->waitExit(10), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(RunningApp, ATerminationSignalEndsTheRunWithAMenuOpen) {
    start();
    gui::Display display;
    const size_t before = display.popupsShown();
    ASSERT_TRUE(click(20, -12));
    ASSERT_TRUE(key("Down"));
    ASSERT_TRUE(gui::eventually([&] { return display.popupsShown() > before; }, 15)) << "no menu came up";
    mApp->terminate();
    EXPECT_EQ(mApp->waitExit(10), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(RunningApp, TheLogoShowsTheInformationScreenAndASecondClickHidesIt) {
    start();
    ASSERT_TRUE(click(kLogoX, kLogoY));
    SnapshotOptions overlay;
    overlay.overlay = true;
    EXPECT_TRUE(looksLike(overlay));
    ASSERT_TRUE(click(kLogoX, kLogoY));
    EXPECT_TRUE(looksLike(SnapshotOptions{}));
}

TEST_F(RunningApp, DraggingInputUp155PixelsMovesItAQuarterOfItsRange) {
    start();
    const std::string window = std::to_string(mWindow);
    ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY) + " mousedown 1"));
    for (int step = 1; step <= 5; ++step) {
        ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY - 31 * step)));
    }
    ASSERT_TRUE(xdo("mouseup 1"));
    SnapshotOptions quarterUp;
    quarterUp.inputDb = 10.0; // 0 dB is the middle of -20..20
    EXPECT_TRUE(looksLike(quarterUp));
}

TEST_F(RunningApp, ATypedValueSetsTheKnob) {
    start();
    ASSERT_TRUE(click(kInputTextX, kInputTextY));
    // The box opens with its text selected, so typing replaces it.
    ASSERT_TRUE(type("-7.5"));
    ASSERT_TRUE(key("Return"));
    SnapshotOptions typed;
    typed.inputDb = -7.5;
    EXPECT_TRUE(looksLike(typed));
}

TEST_F(RunningApp, TheSwitchTogglesRelaxedMode) {
    start();
    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    SnapshotOptions relaxed;
    relaxed.relaxed = true;
    EXPECT_TRUE(looksLike(relaxed));
    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    EXPECT_TRUE(looksLike(SnapshotOptions{}));
}

TEST_F(RunningApp, At200PercentEverythingWorksAtTheScaledPositionsAndTheZoomIsKept) {
    // A desktop at 192 dpi and no zoom chosen yet: the program follows the desktop.
    gui::Display display;
    display.setResources("Xft.dpi:\t192\n");
    struct ClearResources {
        gui::Display& display;
        ~ClearResources() { display.setResources(""); }
    } clearAfterwards{display};
    mScale = 2.0;
    start();
    EXPECT_EQ(mGeometry.width, 576);
    EXPECT_EQ(mGeometry.height, 2 * kMenuHeight + 784);

    ASSERT_TRUE(click(kLogoX, kLogoY));
    SnapshotOptions overlay;
    overlay.overlay = true;
    EXPECT_TRUE(looksLike(overlay));
    ASSERT_TRUE(click(kLogoX, kLogoY));

    // 155 editor pixels up, in 310 screen pixels, one at a time for the last ten: a quarter
    // of the range, as at 100 %; half-pixel steps of the editor lose nothing.
    const std::string window = std::to_string(mWindow);
    ASSERT_TRUE(xdo("mousemove --window " + window + " " + at(kInputKnobX, kInputKnobY) + " mousedown 1"));
    const int startY = device(kInputKnobY + kMenuHeight);
    for (int up : {60, 120, 180, 240, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310}) {
        ASSERT_TRUE(xdo("mousemove --window " + window + " " + std::to_string(device(kInputKnobX)) + " " +
                        std::to_string(startY - up)));
    }
    ASSERT_TRUE(xdo("mouseup 1"));
    SnapshotOptions state;
    state.inputDb = 10.0;
    EXPECT_TRUE(looksLike(state));

    ASSERT_TRUE(click(kOutputTextX, kInputTextY));
    ASSERT_TRUE(type("-7.5"));
    ASSERT_TRUE(key("Return"));
    state.outputDb = -7.5;
    EXPECT_TRUE(looksLike(state));

    ASSERT_TRUE(click(kSwitchX, kSwitchY));
    state.relaxed = true;
    EXPECT_TRUE(looksLike(state));

    // View > Zoom 100 %, then View > Zoom 200 %: the window follows, the choice is kept.
    auto chooseZoom = [&](int item) {
        EXPECT_TRUE(click(20, -12)); // "File" opens the menus; Right moves to "View"
        std::string keys = "Right";
        for (int i = 0; i < item; ++i) keys += " Down";
        EXPECT_TRUE(key(keys + " Return"));
    };
    chooseZoom(1);
    mScale = 1.0;
    ASSERT_TRUE(gui::eventually(
        [&] {
            const auto g = gui::windowGeometry(mWindow);
            return g && g->width == 288 && g->height == kMenuHeight + 392;
        },
        15));
    mGeometry = *gui::windowGeometry(mWindow);
    EXPECT_TRUE(looksLike(state));
    EXPECT_NE(gui::readFile(settingsPath()).find("[view]\nscale=1\n"), std::string::npos);
    chooseZoom(3);
    mScale = 2.0;
    ASSERT_TRUE(gui::eventually(
        [&] {
            const auto g = gui::windowGeometry(mWindow);
            return g && g->width == 576;
        },
        15));
    mGeometry = *gui::windowGeometry(mWindow);
    EXPECT_TRUE(looksLike(state));
    EXPECT_NE(gui::readFile(settingsPath()).find("[view]\nscale=2\n"), std::string::npos);

    // The kept zoom wins over a desktop at 96 dpi on the next start.
    display.setResources("Xft.dpi:\t96\n");
    ASSERT_TRUE(key("ctrl+q"));
    ASSERT_EQ(mApp->waitExit(10), 0);
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("VT4R").empty(); }, 5));
    start();
    EXPECT_EQ(mGeometry.width, 576);
    EXPECT_EQ(mGeometry.height, 2 * kMenuHeight + 784);
}

TEST_F(RunningApp, TheNeedleFollowsALoudSignal) {
    start();
    const auto quiet = gui::screenshot(editorArea());
    ASSERT_TRUE(quiet.has_value());
    mPlayer = std::make_unique<gui::Process>(VT4R_PLAYER_PATH, std::vector<std::string>{"sine", "0.9"},
                                             std::vector<std::string>{}, (mDir / "player.out").string(),
                                             (mDir / "player.err").string());
    // Only the meter window (the needle's track) changes.
    int moved = 0;
    EXPECT_TRUE(gui::eventually(
        [&] {
            const auto loud = gui::screenshot(editorArea());
            moved = loud ? gui::countDifferences(*quiet, *loud, 0, 70, 288, 135) : 0;
            return moved > 50 && gui::countDifferences(*quiet, *loud, 0, 140, 288, 392) == 0;
        },
        10))
        << moved << " pixels changed in the meter";
}

TEST_F(RunningApp, ASecondStartRaisesTheFirstAndLeavesTheSettingsAlone) {
    start();
    gui::Display display;
    const Window cover = display.createWindow(mGeometry.x, mGeometry.y, 400, 500);
    auto position = [&](Window w) {
        const auto order = display.stacking();
        return std::find(order.begin(), order.end(), w) - order.begin();
    };
    // FLTK's top-level window may sit inside a frame; compare the topmost ancestors.
    ASSERT_GT(position(cover), position(mWindow));

    const std::string before = gui::readFile(settingsPath());
    struct stat statBefore {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &statBefore), 0);

    auto second = launch("second");
    EXPECT_EQ(second->waitExit(10), 0);
    EXPECT_TRUE(gui::eventually([&] { return position(mWindow) > position(cover); }, 5))
        << "the running window was not raised";
    EXPECT_EQ(gui::findWindows("VT4R").size(), 1u);

    struct stat statAfter {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &statAfter), 0);
    EXPECT_EQ(gui::readFile(settingsPath()), before);
    EXPECT_EQ(statAfter.st_mtim.tv_sec, statBefore.st_mtim.tv_sec);
    EXPECT_EQ(statAfter.st_mtim.tv_nsec, statBefore.st_mtim.tv_nsec);
    display.destroyWindow(cover);
}

TEST_F(RunningApp, PreferencesCancelLeavesTheFileAndOkWritesIt) {
    start();
    struct stat original {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &original), 0);
    const std::string before = gui::readFile(settingsPath());
    const std::string window = std::to_string(mWindow);

    auto openPreferences = [&] {
        EXPECT_TRUE(click(20, -12)); // "File" in the menu bar
        // The menu opens with nothing highlighted: Down picks "Preferences...".
        EXPECT_TRUE(key("Down Return"));
        unsigned long dialog = 0;
        EXPECT_TRUE(gui::eventually(
            [&] {
                const auto found = gui::findWindows("Preferences");
                if (found.size() == 1) dialog = found[0];
                return dialog != 0;
            },
            5));
        return dialog;
    };
    auto press = [&](unsigned long dialog, int x, int y) {
        return xdo("mousemove --window " + std::to_string(dialog) + " " + std::to_string(x) + " " +
                   std::to_string(y) + " click 1");
    };
    // The buttons' centres: OK at 110..160 x 285..299 dialog units, Cancel at 166..216.
    const int buttonY = static_cast<int>(292 * 1.625);
    const int okX = static_cast<int>(135 * 1.5);
    const int cancelX = static_cast<int>(191 * 1.5);

    const unsigned long dialog = openPreferences();
    ASSERT_NE(dialog, 0u);
    ASSERT_TRUE(press(dialog, cancelX, buttonY));
    ASSERT_TRUE(gui::eventually([&] { return gui::findWindows("Preferences").empty(); }, 5));
    struct stat afterCancel {};
    ASSERT_EQ(::stat(settingsPath().c_str(), &afterCancel), 0);
    EXPECT_EQ(gui::readFile(settingsPath()), before);
    EXPECT_EQ(afterCancel.st_mtim.tv_nsec, original.st_mtim.tv_nsec);
    EXPECT_EQ(afterCancel.st_mtim.tv_sec, original.st_mtim.tv_sec);

    fs::remove(settingsPath());
    const unsigned long again = openPreferences();
    ASSERT_NE(again, 0u);
    ASSERT_TRUE(press(again, okX, buttonY));
    ASSERT_TRUE(gui::eventually([&] { return gui::findWindows("Preferences").empty(); }, 5));
    EXPECT_TRUE(gui::eventually([&] { return fs::exists(settingsPath()); }, 5));
    // Written afresh: the same keys and values, in the writer's own order.
    auto sortedLines = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    EXPECT_EQ(sortedLines(gui::readFile(settingsPath())), sortedLines(before));
}

TEST_F(RunningApp, SettingsThatCannotBeSavedAreReportedNotLostSilently) {
    start();
    // A folder where the file should be: the write's final rename must fail
    // (permissions would not stop a test run as root).
    fs::remove(settingsPath());
    fs::create_directory(settingsPath());
    ASSERT_TRUE(click(20, -12));
    ASSERT_TRUE(key("Down Return"));
    ASSERT_TRUE(gui::eventually([] { return gui::findWindows("Preferences").size() == 1; }, 5));
    const auto dialog = gui::findWindows("Preferences")[0];
    ASSERT_TRUE(xdo("mousemove --window " + std::to_string(dialog) + " " + std::to_string(int(135 * 1.5)) + " " +
                    std::to_string(int(292 * 1.625)) + " click 1"));
    // The alert comes up as a second window titled VT4R.
    EXPECT_TRUE(gui::eventually([] { return gui::findWindows("VT4R").size() == 2; }, 5));
    EXPECT_TRUE(fs::is_directory(settingsPath()));
}

TEST_F(RunningApp, WithoutAnyFolderForTheSettingsTheProgramEndsWithOne) {
    auto app = std::make_unique<gui::Process>(
        VT4R_APP_PATH, std::vector<std::string>{},
        std::vector<std::string>{"XDG_CONFIG_HOME=", "HOME=", "XDG_RUNTIME_DIR=" + (mDir / "run").string()},
        (mDir / "nofolder.out").string(), (mDir / "nofolder.err").string());
    EXPECT_EQ(app->waitExit(10), 1);
    EXPECT_TRUE(gui::findWindows("VT4R").empty());
}

} // namespace
