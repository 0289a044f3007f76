// The bundle in the hosts users have: lv2_validate, lv2file offline (against
// vt4r-render, bit for bit) and jalv live on the JACK test server (its level, its
// Gain Reduction port, a saved state loaded back). Run under scripts/with-jack.sh;
// the live part skips without a server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <jack/jack.h>
#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/standalone.h"
#include "lv2/ports.h"
#include "lv2_test_host.h"
#include "tests/support/run_program.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace vt4r_lv2;

const fs::path kBundle = VT4R_LV2_BUNDLE;

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/vt4r-lv2-XXXXXX";
        dir = mkdtemp(pattern);
        setenv("LV2_PATH", kBundle.parent_path().c_str(), 1);
    }
    ~Scratch() { fs::remove_all(dir); }
    fs::path dir;
};

std::vector<float> ReadFloats(const fs::path& path, SF_INFO& info) {
    info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr)
        return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(f, samples.data(), info.frames);
    sf_close(f);
    return samples;
}

// 6 s of a stereo recording in 32-bit float: a level sweep over two tones and some
// noise, loud enough to be compressed hard and quiet enough to pass untouched.
void WriteRecording(const fs::path& path) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples(2 * 6 * 48000);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = i / 48000.0;
        const double level = std::pow(10.0, (-50.0 + 50.0 * std::fabs(std::sin(M_PI * t / 3.0))) / 20.0);
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
        samples[2 * i] = static_cast<float>(level * (std::sin(2 * M_PI * 110 * t) + noise));
        samples[2 * i + 1] = static_cast<float>(level * (std::sin(2 * M_PI * 165 * t + 1) - noise));
    }
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(f);
}

} // namespace

TEST(Lv2Hosts, BundleValidates) {
    const ProgramResult result = RunProgram("/bin/sh", {"-c", "lv2_validate manifest.ttl vt4r.ttl presets.ttl 1>&2"},
                                            kBundle.string());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.errors.find("Found 0 errors"), std::string::npos) << result.errors;
    EXPECT_EQ(result.errors.find("warning"), std::string::npos) << result.errors;
}

TEST(Lv2Hosts, Lv2fileEqualsTheRendererBitForBit) {
    Scratch scratch;
    const fs::path recording = scratch.dir / "recording.wav";
    WriteRecording(recording);
    struct Case {
        std::vector<std::string> render, lv2file;
    };
    const Case cases[] = {
        {{}, {}},
        {{"--relaxed"}, {"-p", "relaxed_mode:1"}},
        {{"-i", "12.5", "-o", "-6"}, {"-p", "input:12.5", "-p", "output:-6"}},
        {{"-i", "-20", "-o", "20", "--relaxed"}, {"-p", "input:-20", "-p", "output:20", "-p", "relaxed_mode:1"}},
        {{"-i", "20", "-o", "-3.25"}, {"-p", "input:20", "-p", "output:-3.25"}},
    };
    for (const Case& c : cases) {
        const fs::path rendered = scratch.dir / "rendered.wav";
        const fs::path hosted = scratch.dir / "hosted.wav";
        std::vector<std::string> args = {"-q", "-b", "512", "--format", "float"};
        args.insert(args.end(), c.render.begin(), c.render.end());
        args.insert(args.end(), {recording.string(), rendered.string()});
        ProgramResult r = RunProgram(VT4R_RENDER, args);
        ASSERT_EQ(r.exitCode, 0) << r.errors;

        args = {"-b", "512", "--ignore-clipping"};
        args.insert(args.end(), c.lv2file.begin(), c.lv2file.end());
        args.insert(args.end(), {"-i", recording.string(), "-o", hosted.string(), kPluginUri});
        r = RunProgram("/usr/bin/lv2file", args);
        ASSERT_EQ(r.exitCode, 0) << r.errors;

        SF_INFO a, b;
        const std::vector<float> expected = ReadFloats(rendered, a);
        const std::vector<float> got = ReadFloats(hosted, b);
        ASSERT_EQ(b.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        ASSERT_EQ(got.size(), expected.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            differ += std::memcmp(&got[i], &expected[i], sizeof(float)) != 0;
        EXPECT_EQ(differ, 0u) << ::testing::PrintToString(c.render);
    }
}

namespace {

// Plays a 0.5 sine at 1 kHz into jalv's inputs and records its outputs.
class JalvProbe {
  public:
    explicit JalvProbe(const std::string& target) : mTarget(target) {
        jack_status_t status{};
        mClient = jack_client_open("vt4r-lv2-probe", JackNoStartServer, &status);
        if (mClient == nullptr)
            return;
        mRate = jack_get_sample_rate(mClient);
        mBlock = jack_get_buffer_size(mClient);
        mSource = jack_port_register(mClient, "source", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        for (int c = 0; c < 2; ++c) {
            mSink[c] = jack_port_register(mClient, c == 0 ? "sink_l" : "sink_r", JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsInput, 0);
            mRecorded[c].assign(static_cast<std::size_t>(30 * mRate), 0.0f);
        }
        jack_set_process_callback(mClient, &JalvProbe::Process, this);
        jack_activate(mClient);
    }
    ~JalvProbe() {
        if (mClient != nullptr) {
            jack_deactivate(mClient);
            jack_client_close(mClient);
        }
    }
    bool Ok() const { return mClient != nullptr; }
    std::uint32_t Rate() const { return mRate; }
    std::uint32_t Block() const { return mBlock; }

    // Waits for jalv's ports and connects them; answers false after 15 s.
    bool Connect() {
        const std::string in_l = mTarget + ":in_l", in_r = mTarget + ":in_r";
        const std::string out_l = mTarget + ":out_l", out_r = mTarget + ":out_r";
        for (int tries = 0; tries < 150; ++tries) {
            if (jack_port_by_name(mClient, out_r.c_str()) != nullptr) {
                jack_connect(mClient, jack_port_name(mSource), in_l.c_str());
                jack_connect(mClient, jack_port_name(mSource), in_r.c_str());
                jack_connect(mClient, out_l.c_str(), jack_port_name(mSink[0]));
                jack_connect(mClient, out_r.c_str(), jack_port_name(mSink[1]));
                mRecording = true;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    std::size_t Position() const { return mPosition.load(); }
    // Peak of the last `seconds` recorded on each channel.
    double Peak(int channel, double seconds) const {
        const std::size_t end = mPosition.load();
        const std::size_t start = end - static_cast<std::size_t>(seconds * mRate);
        double peak = 0;
        for (std::size_t i = start; i < end; ++i)
            peak = std::max(peak, std::fabs(static_cast<double>(mRecorded[channel][i])));
        return peak;
    }

  private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JalvProbe*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->mSource, frames));
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->mPhase)
            out[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * self->mPhase / self->mRate));
        if (self->mRecording.load()) {
            const std::size_t at = self->mPosition.load();
            if (at + frames <= self->mRecorded[0].size()) {
                for (int c = 0; c < 2; ++c) {
                    const auto* in = static_cast<const float*>(jack_port_get_buffer(self->mSink[c], frames));
                    std::copy(in, in + frames, self->mRecorded[c].begin() + static_cast<long>(at));
                }
                self->mPosition.store(at + frames);
            }
        }
        return 0;
    }

    std::string mTarget;
    jack_client_t* mClient = nullptr;
    jack_port_t* mSource = nullptr;
    jack_port_t* mSink[2] = {};
    std::uint32_t mRate = 48000;
    std::uint32_t mBlock = 512;
    long mPhase = 0;
    std::atomic<bool> mRecording{false};
    std::atomic<std::size_t> mPosition{0};
    std::vector<float> mRecorded[2];
};

// jalv, the console host, with its standard input held open (it quits at end of input)
// and its standard output in a file.
class Jalv {
  public:
    Jalv(const std::string& name, const std::vector<std::string>& options, const fs::path& output)
        : mOutput(output) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        std::vector<std::string> args = {"jalv", "-x", "-n", name, "-p"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(kPluginUri);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&mPid, "jalv", &actions, nullptr, argv.data(), environ) != 0)
            mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        mInput = fds[1];
    }
    // Ends it as a user would (end of input, else a termination signal); answers its exit status.
    int Quit() {
        if (mPid <= 0)
            return -1;
        close(mInput);
        mInput = -1;
        int status = 0;
        for (int tries = 0; tries < 50; ++tries) {
            if (waitpid(mPid, &status, WNOHANG) == mPid) {
                mPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (tries == 20)
                kill(mPid, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(mPid, SIGKILL);
        waitpid(mPid, &status, 0);
        mPid = -1;
        return -1;
    }
    ~Jalv() {
        if (mPid > 0)
            Quit();
        if (mInput >= 0)
            close(mInput);
    }
    // Asks for the output controls' values (they come on standard output).
    void AskForMonitors() {
        const char command[] = "monitors\n";
        if (mInput >= 0 && write(mInput, command, sizeof command - 1) < 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    // The last value jalv printed for an output control ("symbol = value"), NaN for none.
    double LastPrinted(const std::string& symbol) const {
        std::ifstream in(mOutput);
        std::string line;
        double value = NAN;
        while (std::getline(in, line)) {
            const std::string key = symbol + " = ";
            const std::size_t at = line.find(key);
            if (at != std::string::npos)
                value = std::atof(line.c_str() + at + key.size());
        }
        return value;
    }

  private:
    fs::path mOutput;
    pid_t mPid = -1;
    int mInput = -1;
};

// What the plug-in itself makes of the probe's sine, run in the server's blocks: the
// peak of the last half second and the gain reduction the needle shows at the end.
struct Expected {
    double peak = 0;
    double reductionDb = 0;
};
Expected Simulate(std::uint32_t rate, std::uint32_t block, double outputDb, double seconds) {
    Lv2TestHost host(kBundle.string(), rate, 0, static_cast<std::int32_t>(block));
    std::vector<float> in(block), out[2] = {std::vector<float>(block), std::vector<float>(block)};
    float control[kPortCount] = {};
    control[PortOfParameter(kOutputParam)] = static_cast<float>(outputDb);
    LilvInstance* instance = host.Instance();
    lilv_instance_connect_port(instance, kInputLeftPort, in.data());
    lilv_instance_connect_port(instance, kInputRightPort, in.data());
    lilv_instance_connect_port(instance, kOutputLeftPort, out[0].data());
    lilv_instance_connect_port(instance, kOutputRightPort, out[1].data());
    for (std::uint32_t p = kFirstParameterPort; p < kPortCount; ++p)
        lilv_instance_connect_port(instance, p, &control[p]);
    lilv_instance_activate(instance);
    Expected e;
    const long total = static_cast<long>(seconds * rate);
    for (long done = 0, phase = 0; done < total; done += block) {
        for (std::uint32_t i = 0; i < block; ++i, ++phase)
            in[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * phase / rate));
        lilv_instance_run(instance, block);
        if (done > total - static_cast<long>(rate / 2))
            for (float v : out[0])
                e.peak = std::max(e.peak, std::fabs(static_cast<double>(v)));
    }
    e.reductionDb = control[kGainReductionPort];
    return e;
}

// Saves a state of the bundle with these port values, the way jalv saves one (lilv).
void SaveStateWithOutput(const fs::path& dir, double outputDb) {
    Lv2TestHost host(kBundle.string(), 48000, 0, 512);
    struct Values {
        float control[kPortCount] = {};
        std::vector<float> audio = std::vector<float>(512);
    } v;
    v.control[PortOfParameter(kOutputParam)] = static_cast<float>(outputDb);
    LilvInstance* instance = host.Instance();
    for (std::uint32_t p = 0; p < 4; ++p)
        lilv_instance_connect_port(instance, p, v.audio.data());
    for (std::uint32_t p = kFirstParameterPort; p < kPortCount; ++p)
        lilv_instance_connect_port(instance, p, &v.control[p]);
    lilv_instance_run(instance, 512);
    // lilv asks for port values through a callback with the type as a URID.
    struct Ctx {
        Values* values;
        LV2_URID floatType;
        std::vector<std::string> symbols;
    } ctx{&v, host.Urid(LV2_ATOM__Float), {}};
    {
        std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
        for (std::int32_t i = 0; i < kNumParams; ++i)
            ctx.symbols.push_back(SymbolForName(plugin->Param(i)->Name()));
    }
    LilvState* state = lilv_state_new_from_instance(
        host.Plugin(), instance, host.UridMap(), nullptr, nullptr, nullptr, dir.c_str(),
        [](const char* symbol, void* data, std::uint32_t* size, std::uint32_t* type) -> const void* {
            auto* c = static_cast<Ctx*>(data);
            for (std::int32_t i = 0; i < kNumParams; ++i)
                if (c->symbols[static_cast<std::size_t>(i)] == symbol) {
                    *size = sizeof(float);
                    *type = c->floatType;
                    return &c->values->control[PortOfParameter(i)];
                }
            *size = 0;
            return nullptr;
        },
        &ctx, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, host.Features());
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(lilv_state_save(host.World(), host.UridMap(), host.UridUnmap(), state, nullptr, dir.c_str(),
                              "state.ttl"),
              0);
    lilv_state_free(state);
}

} // namespace

TEST(Lv2Hosts, JalvPlaysAtThePluginsLevelAndLoadsASavedState) {
    if (std::getenv("JACK_DEFAULT_SERVER") == nullptr)
        GTEST_SKIP() << "needs the JACK test server (scripts/with-jack.sh)";
    Scratch scratch;
    struct Run {
        double peak, reductionDb, printedDb;
        int exitCode;
    };
    auto play = [&](const std::vector<std::string>& options) -> Run {
        JalvProbe probe("vt4r-jalv");
        EXPECT_TRUE(probe.Ok());
        Jalv jalv("vt4r-jalv", options, scratch.dir / "jalv.out");
        EXPECT_TRUE(probe.Connect()) << "jalv's ports never appeared";
        while (probe.Position() < 3 * probe.Rate())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Run r{probe.Peak(0, 0.5), 0, 0, 0};
        jalv.AskForMonitors();
        r.exitCode = jalv.Quit(); // its output reaches the file at exit
        r.printedDb = jalv.LastPrinted("gain_reduction");
        return r;
    };
    JalvProbe rig("vt4r-none");
    ASSERT_TRUE(rig.Ok()) << "no JACK server";
    const std::uint32_t rate = rig.Rate(), block = rig.Block();

    const Run plain = play({});
    const Expected expected = Simulate(rate, block, 0.0, 3.0);
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_NEAR(plain.peak, expected.peak, 0.02 * expected.peak) << "expected " << expected.peak;
    EXPECT_GT(expected.peak, 0.1) << "the plug-in's level, no standalone factor of 0.25";
    EXPECT_NEAR(plain.printedDb, expected.reductionDb, 0.5);
    EXPECT_GT(expected.reductionDb, 3.0);

    const fs::path stateDir = scratch.dir / "state";
    SaveStateWithOutput(stateDir, -6.0);
    const Run restored = play({"-l", stateDir.string()});
    EXPECT_EQ(restored.exitCode, 0);
    EXPECT_NEAR(restored.peak / plain.peak, std::pow(10.0, -6.0 / 20.0), 0.02);
}
