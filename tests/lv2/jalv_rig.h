#pragma once
// The live rig for the LV2 hosts: a JACK client that plays a 0.5 sine at 1 kHz into a
// host's plug-in and records what comes out, jalv (the console host) as a child
// process, and what the plug-in itself makes of that sine.
#include <fcntl.h>
#include <jack/jack.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "formats/lv2/ports.h"
#include "lv2_test_host.h"

extern char** environ;

namespace lv2rig {

namespace fs = std::filesystem;
using namespace vt4r_lv2;

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
    Jalv(const std::string& name, const std::vector<std::string>& options, const fs::path& output,
         const char* program = "jalv")
        : mOutput(output) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        // The GTK host spells its options otherwise.
        std::vector<std::string> args = std::string(program) == "jalv.gtk3"
                                            ? std::vector<std::string>{program, "-x", "--jack-name=" + name}
                                            : std::vector<std::string>{program, "-x", "-n", name, "-p"};
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
        if (posix_spawnp(&mPid, program, &actions, nullptr, argv.data(), environ) != 0)
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
inline Expected Simulate(const std::string& bundle, std::uint32_t rate, std::uint32_t block, double inputDb,
                         double outputDb, double seconds) {
    Lv2TestHost host(bundle, rate, 0, static_cast<std::int32_t>(block));
    std::vector<float> in(block), out[2] = {std::vector<float>(block), std::vector<float>(block)};
    float control[kPortCount] = {};
    control[PortOfParameter(kInputParam)] = static_cast<float>(inputDb);
    control[kEnabledPort] = 1.0f;
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

} // namespace lv2rig
