// What the Windows build's audio engine plays, measured on the JACK side: the
// engine with the real plug-in runs under Wine on DirectSound, whose sound
// reaches the JACK server through ALSA's JACK plug-in. A client of ours feeds
// it a 0.5 sine at 1 kHz and records what comes back.
//
//   VT4R_WINDOWS_BUILD=build-win scripts/with-jack.sh scripts/with-wine.sh ctest --test-dir build -L wine
#include <gtest/gtest.h>

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kMutedFrames = 51 * 512; // 51 callbacks of the 512 frames asked for
constexpr double kSeconds = 4.0;

// Plays the sine into every port Wine's client offers and records Wine's
// output from the moment it is armed.
class LevelProbe {
  public:
    LevelProbe() {
        jack_status_t status{};
        mClient = jack_client_open("vt4r-level", JackNoStartServer, &status);
        if (mClient == nullptr) {
            return;
        }
        mRate = jack_get_sample_rate(mClient);
        mSource = jack_port_register(mClient, "source", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        mSink[0] = jack_port_register(mClient, "sink_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        mSink[1] = jack_port_register(mClient, "sink_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        for (auto& channel : mRecorded) {
            channel.assign(static_cast<std::size_t>((kSeconds + 20.0) * mRate), 0.0f);
        }
        jack_set_process_callback(mClient, &LevelProbe::process, this);
        jack_activate(mClient);
    }
    ~LevelProbe() {
        if (mClient != nullptr) {
            jack_deactivate(mClient);
            jack_client_close(mClient);
        }
    }

    bool ok() const { return mClient != nullptr && mSource && mSink[0] && mSink[1]; }
    std::uint32_t rate() const { return mRate; }
    std::size_t position() const { return mPosition.load(); }
    const std::vector<float>& recorded(int channel) const { return mRecorded[channel]; }

    // Connects to the ports of every client but the server's and ours;
    // answers the recording position when a new output port was connected.
    bool connectToWine() {
        bool newOutput = false;
        const char** ports = jack_get_ports(mClient, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0);
        if (ports == nullptr) {
            return false;
        }
        const std::string own = std::string(jack_get_client_name(mClient)) + ":";
        std::vector<std::string> outputs;
        for (int i = 0; ports[i] != nullptr; ++i) {
            const std::string name = ports[i];
            if (name.rfind("system:", 0) == 0 || name.rfind(own, 0) == 0) {
                continue;
            }
            jack_port_t* port = jack_port_by_name(mClient, ports[i]);
            if (port == nullptr) {
                continue;
            }
            if (jack_port_flags(port) & JackPortIsOutput) {
                outputs.push_back(name);
            } else if (!jack_port_connected_to(mSource, ports[i])) {
                jack_connect(mClient, jack_port_name(mSource), ports[i]);
            }
        }
        jack_free(ports);
        std::sort(outputs.begin(), outputs.end());
        for (std::size_t i = 0; i < outputs.size() && i < 2; ++i) {
            if (!jack_port_connected_to(mSink[i], outputs[i].c_str()) &&
                jack_connect(mClient, outputs[i].c_str(), jack_port_name(mSink[i])) == 0) {
                newOutput = true;
            }
        }
        return newOutput;
    }

  private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<LevelProbe*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->mSource, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const double phase = static_cast<double>(self->mPhase % self->mRate) / self->mRate;
            out[i] = static_cast<float>(0.5 * std::sin(6.283185307179586 * 1000.0 * phase));
            ++self->mPhase;
        }
        const std::size_t start = self->mPosition.load(std::memory_order_relaxed);
        const std::size_t n = std::min<std::size_t>(frames, self->mRecorded[0].size() - start);
        for (int c = 0; c < 2; ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(self->mSink[c], frames));
            std::copy(in, in + n, self->mRecorded[c].begin() + static_cast<std::ptrdiff_t>(start));
        }
        self->mPosition.store(start + n);
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mSource = nullptr;
    jack_port_t* mSink[2] = {nullptr, nullptr};
    std::uint32_t mRate = 48000;
    std::uint64_t mPhase = 0;
    std::vector<float> mRecorded[2];
    std::atomic<std::size_t> mPosition{0};
};

float peak(const std::vector<float>& x, std::size_t from, std::size_t to) {
    float p = 0.0f;
    for (std::size_t i = from; i < to && i < x.size(); ++i) {
        p = std::max(p, std::fabs(x[i]));
    }
    return p;
}

} // namespace

TEST(WineAudio, DirectSoundOutputIsMutedThenFadesInAndSettles) {
    const char* build = std::getenv("VT4R_WINDOWS_BUILD");
    if (build == nullptr || *build == '\0') {
        GTEST_SKIP() << "VT4R_WINDOWS_BUILD names no Windows build folder";
    }
    const fs::path player = fs::absolute(build) / "tests/app/win32/vt4r-engine-player.exe";
    ASSERT_TRUE(fs::exists(player)) << player;
    if (std::getenv("JACK_DEFAULT_SERVER") == nullptr || std::getenv("ALSA_CONFIG_PATH") == nullptr) {
        GTEST_SKIP() << "run under scripts/with-jack.sh scripts/with-wine.sh, which route Wine's sound to JACK";
    }
    LevelProbe probe;
    ASSERT_TRUE(probe.ok());

    std::atomic<bool> done{false};
    ProgramResult result;
    std::thread wine([&] {
        result = RunProgram("/usr/bin/wine", {player.string(), std::to_string(kSeconds)});
        done.store(true);
    });
    // The device scan opens and closes Wine's client a few times before the
    // stream opens it for good: the last connection is the stream's.
    std::size_t streamConnected = 0;
    while (!done.load()) {
        if (probe.connectToWine()) {
            streamConnected = probe.position();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    wine.join();
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    const std::vector<float>& left = probe.recorded(0);
    const std::vector<float>& right = probe.recorded(1);
    const std::size_t end = probe.position();
    const auto sounding = [&](float v) { return std::fabs(v) > 1e-6f; };
    const auto first = std::find_if(left.begin() + static_cast<std::ptrdiff_t>(streamConnected),
                                    left.begin() + static_cast<std::ptrdiff_t>(end), sounding);
    ASSERT_NE(first, left.begin() + static_cast<std::ptrdiff_t>(end)) << "Wine played nothing";
    const std::size_t onset = static_cast<std::size_t>(first - left.begin());
    std::size_t last = end;
    while (last > onset && !sounding(left[last - 1])) {
        --last;
    }
    ASSERT_GT(last - onset, probe.rate()) << "less than a second of sound";
    std::printf("mute %zu frames, onset peaks %.4f / %.4f, settled %.4f / %.4f\n", onset - streamConnected,
                peak(left, onset, onset + 128), peak(left, onset + 512, onset + 1024),
                peak(left, last - probe.rate() / 2, last), peak(right, last - probe.rate() / 2, last));

    // Silence for the 51 muted callbacks; DirectSound runs a few buffers
    // ahead of what JACK plays, and the connection comes a poll late.
    EXPECT_GE(onset - streamConnected, kMutedFrames - 4 * 512) << "onset " << onset << ", connected " << streamConnected;
    EXPECT_LT(onset - streamConnected, kMutedFrames + probe.rate()) << "the mute lasts 51 callbacks, not seconds";

    // One buffer of fade-in: the first quarter of it is well below what follows.
    const float settled = peak(left, last - probe.rate() / 2, last);
    EXPECT_LT(peak(left, onset, onset + 128), 0.5f * peak(left, onset + 512, onset + 1024));
    // A 0.5 sine through the compressor and the standalone's 0.25 output factor.
    EXPECT_GT(settled, 0.035f);
    EXPECT_LT(settled, 0.07f);
    EXPECT_NEAR(peak(right, last - probe.rate() / 2, last), settled, 0.1f * settled) << "both channels carry it";
}
