#pragma once
// A JACK client of the tests' own: one output port that plays a constant
// level and two input ports whose latest samples it keeps, so a test can
// check that a signal really travels through the engine's ports.
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

// True when a JACK server answers (the one with-jack.sh starts).
inline bool jackServerRunning() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("vt4r-probe-check", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}

#define VT4R_REQUIRE_JACK()                                                                                  \
    do {                                                                                                     \
        if (!jackServerRunning()) {                                                                          \
            GTEST_SKIP() << "no JACK server running; run the test under scripts/with-jack.sh";               \
        }                                                                                                    \
    } while (0)

// Polls `condition` for up to `seconds`.
template <typename Condition> bool eventually(Condition condition, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class JackProbe {
  public:
    JackProbe() {
        jack_status_t status{};
        mClient = jack_client_open("vt4r-probe", JackNoStartServer, &status);
        if (mClient == nullptr) {
            return;
        }
        mSource = jack_port_register(mClient, "source", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        mSink[0] = jack_port_register(mClient, "sink_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        mSink[1] = jack_port_register(mClient, "sink_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(mClient, &JackProbe::process, this);
        jack_activate(mClient);
    }
    ~JackProbe() {
        if (mClient != nullptr) {
            jack_deactivate(mClient);
            jack_client_close(mClient);
        }
    }
    JackProbe(const JackProbe&) = delete;
    JackProbe& operator=(const JackProbe&) = delete;

    bool ok() const { return mClient != nullptr && mSource && mSink[0] && mSink[1]; }
    jack_client_t* client() const { return mClient; }
    std::string sourceName() const { return jack_port_name(mSource); }
    std::string sinkName(int i) const { return jack_port_name(mSink[i]); }

    void setLevel(float level) { mLevel.store(level); }
    // Plays a square wave of that many frames per period at the level (0: the level itself).
    void setSquarePeriod(int frames) { mSquarePeriod.store(frames); }
    float lastSample(int channel) const { return mLast[channel].load(); }
    std::uint64_t cycles() const { return mCycles.load(); }

    // Waits two whole cycles so that lastSample reflects the current graph.
    void settle() {
        const std::uint64_t start = cycles();
        eventually([&] { return cycles() >= start + 3; }, 2.0);
    }

    bool connect(const std::string& from, const std::string& to) {
        return jack_connect(mClient, from.c_str(), to.c_str()) == 0;
    }
    bool disconnect(const std::string& from, const std::string& to) {
        return jack_disconnect(mClient, from.c_str(), to.c_str()) == 0;
    }

    // Full name of the engine's port, e.g. "VT4R:inport 0".
    std::string enginePort(const char* shortName) const {
        const std::string pattern = std::string("^VT4R[^:]*:") + shortName + "$";
        const char** ports = jack_get_ports(mClient, pattern.c_str(), nullptr, 0);
        std::string name = (ports != nullptr && ports[0] != nullptr) ? ports[0] : "";
        if (ports != nullptr) {
            jack_free(ports);
        }
        return name;
    }

  private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackProbe*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->mSource, frames));
        const float level = self->mLevel.load();
        const int period = self->mSquarePeriod.load();
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const bool low = period > 0 && (self->mFrames++ % static_cast<std::uint64_t>(period)) >= static_cast<std::uint64_t>(period / 2);
            out[i] = low ? -level : level;
        }
        for (int c = 0; c < 2; ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(self->mSink[c], frames));
            self->mLast[c].store(frames > 0 ? in[frames - 1] : 0.0f);
        }
        self->mCycles.fetch_add(1);
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mSource = nullptr;
    jack_port_t* mSink[2] = {nullptr, nullptr};
    std::atomic<float> mLevel{0.0f};
    std::atomic<int> mSquarePeriod{0};
    std::uint64_t mFrames = 0; // process thread only
    std::atomic<float> mLast[2] = {0.0f, 0.0f};
    std::atomic<std::uint64_t> mCycles{0};
};
