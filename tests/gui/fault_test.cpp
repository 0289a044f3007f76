// The vt4r program meeting faults a live rig meets: its JACK server killed
// and started again, a MIDI peer that leaves and comes back, a settings file
// it cannot write, a device that has gone since the last run. Each test runs
// the real program on the test X server, on a JACK server of its own that
// the test may kill.
#include <gtest/gtest.h>
#include <jack/midiport.h>

#include <filesystem>
#include <fstream>

#include "app/jack_probe.h"
#include "app_driver.h"

namespace fs = std::filesystem;

namespace {

// A JACK client with one MIDI port each way, as a keyboard or sequencer
// would show itself. VT4R's MIDI ports connect to these by name.
class MidiPeer {
  public:
    MidiPeer() {
        jack_status_t status{};
        mClient = jack_client_open("vt4r-midi-peer", JackNoStartServer, &status);
        if (mClient != nullptr) {
            mOut = jack_port_register(mClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            jack_port_register(mClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            // A client without a process callback would hold up the graph
            // downstream of it.
            jack_set_process_callback(mClient, &MidiPeer::process, this);
            jack_activate(mClient);
        }
    }
    ~MidiPeer() {
        if (mClient != nullptr) {
            jack_deactivate(mClient);
            jack_client_close(mClient);
        }
    }
    MidiPeer(const MidiPeer&) = delete;
    MidiPeer& operator=(const MidiPeer&) = delete;

    bool ok() const { return mClient != nullptr; }
    // Whether VT4R's input listens to our output and its output feeds our input.
    bool connectedToVt4r() const {
        return connected("vt4r-midi-peer:out", "RtMidi Input Client:") &&
               connected("vt4r-midi-peer:in", "RtMidi Output Client:");
    }

  private:
    static int process(jack_nframes_t frames, void* self) {
        jack_midi_clear_buffer(jack_port_get_buffer(static_cast<MidiPeer*>(self)->mOut, frames));
        return 0;
    }
    bool connected(const char* ours, const char* theirPrefix) const {
        jack_port_t* port = jack_port_by_name(mClient, ours);
        if (port == nullptr) return false;
        const char** peers = jack_port_get_all_connections(mClient, port);
        bool found = false;
        for (int i = 0; peers != nullptr && peers[i] != nullptr; ++i) {
            found = found || std::string(peers[i]).rfind(theirPrefix, 0) == 0;
        }
        if (peers != nullptr) jack_free(peers);
        return found;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mOut = nullptr;
};

class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; run under scripts/with-xvfb.sh";
        if (!gui::sh("command -v jackd >/dev/null")) GTEST_SKIP() << "no jackd";
        char pattern[] = "/tmp/vt4r-fault-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = pattern;
        fs::create_directories(mDir / "config" / "VT4R");
        fs::create_directories(mDir / "run");
        // One name for every run: JACK keeps a killed server's entry in its
        // table of eight until a server of the same name starts again.
        mServer = "vt4r-fault";
        // This process's own clients (the probe, the MIDI peer) use it too.
        ::setenv("JACK_DEFAULT_SERVER", mServer.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        startServer();
    }
    void TearDown() override {
        mPeer.reset();
        mProbe.reset();
        if (mApp) {
            mApp->terminate();
            mApp->waitExit(10);
            mApp.reset();
        }
        killServer();
        std::error_code ec;
        if (!mDir.empty() && !HasFailure()) fs::remove_all(mDir, ec);
    }

    void startServer() {
        mJack = std::make_unique<gui::Process>(
            "/usr/bin/env",
            std::vector<std::string>{"jackd", "--no-realtime", "--port-max", "256", "-n", mServer, "-d", "dummy", "-r",
                                     "48000", "-p", "256", "-C", "2", "-P", "2"},
            std::vector<std::string>{}, (mDir / "jackd.out").string(), (mDir / "jackd.err").string());
        ASSERT_TRUE(gui::eventually([&] { return jackServerRunning(); }, 10)) << "the test's JACK server did not start";
    }
    // Gone at once, as a crashed server is: no client is told beforehand.
    void killServer() {
        if (!mJack) return;
        ::kill(mJack->pid(), SIGKILL);
        mJack->waitExit(5);
        mJack.reset();
    }

    std::string settingsPath() const { return (mDir / "config" / "VT4R" / "settings.ini").string(); }
    void writeSettings(const std::string& text) const { std::ofstream(settingsPath()) << text; }
    static std::string jackSettings() {
        return "[audio]\ndriver=1\nsr=48000\niovs=256\nsigvs=32\nindev=Default Device\noutdev=Default Device\n"
               "[midi]\nindev=vt4r-midi-peer:out\noutdev=vt4r-midi-peer:in\n";
    }
    std::string errors() const { return gui::readFile((mDir / "app.err").string()); }
    std::size_t count(const std::string& text) const {
        const std::string all = errors();
        std::size_t n = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }

    void start() {
        mApp = std::make_unique<gui::Process>(
            VT4R_APP_PATH, std::vector<std::string>{},
            std::vector<std::string>{"XDG_CONFIG_HOME=" + (mDir / "config").string(),
                                     "XDG_RUNTIME_DIR=" + (mDir / "run").string(), "JACK_DEFAULT_SERVER=" + mServer,
                                     "JACK_NO_START_SERVER=1"},
            (mDir / "app.out").string(), (mDir / "app.err").string());
        ASSERT_TRUE(gui::eventually([&] { return gui::findWindows("VT4R").size() == 1; }, 15))
            << "no window titled VT4R; stderr: " << errors();
    }
    // Closes the window as its close box would and answers the exit code.
    std::optional<int> quit() {
        gui::Display display;
        for (const auto window : gui::findWindows("VT4R")) display.requestClose(window);
        const auto code = mApp->waitExit(15);
        return code;
    }

    // A signal from the probe reaches VT4R's inputs and its output comes back.
    bool audioFlows(double seconds) {
        return gui::eventually(
            [&] {
                const std::string in0 = mProbe->enginePort("inport 0");
                const std::string in1 = mProbe->enginePort("inport 1");
                const std::string out0 = mProbe->enginePort("outport 0");
                if (in0.empty() || in1.empty() || out0.empty()) return false;
                mProbe->connect(mProbe->sourceName(), in0);
                mProbe->connect(mProbe->sourceName(), in1);
                mProbe->connect(out0, mProbe->sinkName(0));
                mProbe->settle();
                return std::fabs(mProbe->lastSample(0)) > 1e-3f;
            },
            seconds);
    }
    void joinServer() {
        mProbe = std::make_unique<JackProbe>();
        mProbe->setLevel(0.5f);
        // VT4R keeps no constant level: a 100 Hz square wave, then.
        mProbe->setSquarePeriod(480);
        mPeer = std::make_unique<MidiPeer>();
        ASSERT_TRUE(mProbe->ok() && mPeer->ok());
    }
    // What the other clients do when their server is killed: forget it.
    void forgetServer() {
        mProbe.reset();
        mPeer.reset();
    }
    static bool midiOverJack() { return !fs::exists("/dev/snd/seq"); }

    fs::path mDir;
    std::string mServer;
    std::unique_ptr<gui::Process> mJack;
    std::unique_ptr<gui::Process> mApp;
    std::unique_ptr<JackProbe> mProbe;
    std::unique_ptr<MidiPeer> mPeer;
};

TEST_F(Faults, AServerThatGoesAwayAndComesBackGetsItsAudioAndMidiBack) {
    joinServer();
    writeSettings(jackSettings());
    start();
    ASSERT_TRUE(audioFlows(10)) << errors();
    if (midiOverJack()) {
        EXPECT_TRUE(gui::eventually([&] { return mPeer->connectedToVt4r(); }, 5)) << errors();
    }

    forgetServer();
    killServer();
    EXPECT_TRUE(gui::eventually([&] { return count("VT4R: the JACK stream stopped") == 1; }, 5)) << errors();
    startServer();
    const auto back = std::chrono::steady_clock::now();
    joinServer();
    EXPECT_TRUE(audioFlows(5)) << "no audio 5 s after the server came back; stderr: " << errors();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count();
    EXPECT_LT(seconds, 5.0);
    if (midiOverJack()) {
        EXPECT_TRUE(gui::eventually([&] { return mPeer->connectedToVt4r(); }, 3)) << errors();
    }
    EXPECT_TRUE(gui::eventually([&] { return count("VT4R: the JACK stream runs again") == 1; }, 2)) << errors();
    RecordProperty("seconds_to_audio", std::to_string(seconds));

    // Quitting while no server answers.
    forgetServer();
    killServer();
    EXPECT_TRUE(gui::eventually([&] { return count("VT4R: the JACK stream stopped") == 2; }, 5)) << errors();
    EXPECT_EQ(quit(), 0) << errors();
    // The settings still name the MIDI ports: an outage is no reason to forget them.
    EXPECT_NE(gui::readFile(settingsPath()).find("indev=vt4r-midi-peer:out"), std::string::npos);
}

TEST_F(Faults, AMidiPeerThatLeavesIsConnectedAgainWhenItReturns) {
    if (!midiOverJack()) GTEST_SKIP() << "the ALSA sequencer is there: MIDI does not go through JACK";
    joinServer();
    writeSettings(jackSettings());
    start();
    ASSERT_TRUE(gui::eventually([&] { return mPeer->connectedToVt4r(); }, 10)) << errors();
    mPeer.reset();
    EXPECT_TRUE(gui::eventually([&] { return count("is gone") == 2; }, 5)) << errors();
    mPeer = std::make_unique<MidiPeer>();
    EXPECT_TRUE(gui::eventually([&] { return mPeer->connectedToVt4r(); }, 5)) << errors();
    EXPECT_TRUE(audioFlows(5)) << errors();
    EXPECT_EQ(quit(), 0) << errors();
}

TEST_F(Faults, SettingsThatCannotBeWrittenAreNeverDamagedAndTheRunGoesOn) {
    // The folder replaced by a file: what the file holds stays as it is.
    const fs::path folder = mDir / "config" / "VT4R";
    fs::remove_all(folder);
    std::ofstream(folder) << "not a folder\n";
    start();
    EXPECT_TRUE(gui::eventually([&] { return count("could not save the settings") == 1; }, 5)) << errors();
    EXPECT_EQ(quit(), 0) << errors();
    EXPECT_EQ(gui::readFile(folder.string()), "not a folder\n");

    // The file replaced by a folder.
    fs::remove(folder);
    fs::create_directories(fs::path(settingsPath()));
    start();
    EXPECT_TRUE(gui::eventually([&] { return count("could not save the settings") == 1; }, 5)) << errors();
    EXPECT_EQ(quit(), 0) << errors();
    EXPECT_TRUE(fs::is_directory(settingsPath()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1) << "a temporary file was left";
}

TEST_F(Faults, ADeviceThatHasGoneIsNamedAndKeptForNextTime) {
    writeSettings("[audio]\ndriver=1\nsr=48000\niovs=256\nsigvs=32\noutdev=a card that was unplugged\n");
    start();
    EXPECT_TRUE(gui::eventually([&] { return count("no JACK device is called \"a card that was unplugged\"") == 1; }, 5))
        << errors();
    EXPECT_EQ(quit(), 0) << errors();
    EXPECT_NE(gui::readFile(settingsPath()).find("outdev=a card that was unplugged"), std::string::npos);
}

} // namespace
