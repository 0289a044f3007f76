// A JACK client for the tests and the soak run: plays a sine or music-like
// material into VT4R's input ports and counts the server's xruns.
//
//   vt4r-jack-player [--ports REGEX] sine LEVEL [SECONDS]
//   vt4r-jack-player [--ports REGEX] music [SECONDS]
//
// It connects to VT4R's ports as soon as they appear (and again after the
// program reopens its stream), runs for SECONDS (forever without), and on
// exit or SIGTERM prints "xruns N" on standard output. With --ports it feeds
// the input ports matching REGEX instead, left to the first in name order and
// right to the second (say the ports of a program under Wine, whose client
// ALSA's JACK plug-in names after the process).
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <ctime>

#include "demo_material.h"

namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gXruns{0};

struct Player {
    jack_client_t* client = nullptr;
    jack_port_t* out[2] = {nullptr, nullptr};
    bool music = false;
    float level = 0.5f;
    long position = 0;
    int rate = 48000;
    const char* portPattern = nullptr;
    double left[8192];
    double right[8192];
};

// Per-callback times of this client (wall, CPU), for the soak: the same
// clocks as VT4R's record, so a machine that stalls every client shows here
// too. Allocated before the client runs.
struct Times {
    std::vector<std::uint32_t> wallCpu;
    std::atomic<std::size_t> count{0};
};
Times gTimes;

std::int64_t nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int play(jack_nframes_t frames, Player* p);

int process(jack_nframes_t frames, void* arg) {
    if (gTimes.wallCpu.empty()) return play(frames, static_cast<Player*>(arg));
    const std::int64_t wall = nanoseconds(CLOCK_MONOTONIC);
    const std::int64_t cpu = nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    const int result = play(frames, static_cast<Player*>(arg));
    const std::size_t n = gTimes.count.load(std::memory_order_relaxed);
    if (2 * n + 1 < gTimes.wallCpu.size()) {
        gTimes.wallCpu[2 * n] = static_cast<std::uint32_t>(nanoseconds(CLOCK_MONOTONIC) - wall);
        gTimes.wallCpu[2 * n + 1] = static_cast<std::uint32_t>(nanoseconds(CLOCK_THREAD_CPUTIME_ID) - cpu);
        gTimes.count.store(n + 1, std::memory_order_release);
    }
    return result;
}

int play(jack_nframes_t frames, Player* p) {
    auto* l = static_cast<float*>(jack_port_get_buffer(p->out[0], frames));
    auto* r = static_cast<float*>(jack_port_get_buffer(p->out[1], frames));
    if (frames > 8192) {
        std::memset(l, 0, frames * sizeof(float));
        std::memset(r, 0, frames * sizeof(float));
        return 0;
    }
    if (p->music) {
        DemoMaterial(p->position, frames, p->rate, p->left, p->right);
        for (jack_nframes_t i = 0; i < frames; ++i) {
            l[i] = static_cast<float>(p->left[i]);
            r[i] = static_cast<float>(p->right[i]);
        }
    } else {
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const double phase = static_cast<double>((p->position + i) % 48000) / 48000.0;
            l[i] = r[i] = p->level * static_cast<float>(std::sin(6.283185307179586 * 440.0 * phase));
        }
    }
    p->position += frames;
    return 0;
}

int xrun(void*) {
    gXruns.fetch_add(1);
    return 0;
}

void connectTo(Player& p, int channel, const char* port) {
    if (!jack_port_connected_to(p.out[channel], port)) {
        jack_connect(p.client, jack_port_name(p.out[channel]), port);
    }
}

void connectToProgram(Player& p) {
    if (p.portPattern != nullptr) {
        // jack_get_ports answers the ports in name order.
        const char** ports = jack_get_ports(p.client, p.portPattern, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        if (ports == nullptr) {
            return;
        }
        for (int c = 0; c < 2 && ports[c] != nullptr; ++c) {
            connectTo(p, c, ports[c]);
        }
        jack_free(ports);
        return;
    }
    for (int c = 0; c < 2; ++c) {
        const std::string pattern = "^VT4R[^:]*:inport " + std::to_string(c) + "$";
        const char** ports = jack_get_ports(p.client, pattern.c_str(), nullptr, JackPortIsInput);
        if (ports == nullptr) {
            continue;
        }
        for (int i = 0; ports[i] != nullptr; ++i) {
            connectTo(p, c, ports[i]);
        }
        jack_free(ports);
    }
}

} // namespace

int main(int argc, char** argv) {
    static Player player;
    double seconds = -1.0;
    const char* self = argv[0];
    if (argc >= 3 && std::strcmp(argv[1], "--ports") == 0) {
        player.portPattern = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc >= 2 && std::strcmp(argv[1], "music") == 0) {
        player.music = true;
        if (argc >= 3) seconds = std::atof(argv[2]);
    } else if (argc >= 3 && std::strcmp(argv[1], "sine") == 0) {
        player.level = static_cast<float>(std::atof(argv[2]));
        if (argc >= 4) seconds = std::atof(argv[3]);
    } else {
        std::fprintf(stderr, "usage: %s [--ports REGEX] sine LEVEL [SECONDS] | music [SECONDS]\n", self);
        return 2;
    }
    std::signal(SIGTERM, [](int) { gStop.store(true); });
    std::signal(SIGINT, [](int) { gStop.store(true); });

    if (const char* path = std::getenv("VT4R_PLAYER_TIMES"); path != nullptr && path[0] != '\0')
        gTimes.wallCpu.assign(std::size_t{2} << 21, 0);
    jack_status_t status{};
    player.client = jack_client_open("vt4r-player", JackNoStartServer, &status);
    if (player.client == nullptr) {
        std::fprintf(stderr, "vt4r-jack-player: no JACK server\n");
        return 1;
    }
    player.rate = static_cast<int>(jack_get_sample_rate(player.client));
    player.out[0] = jack_port_register(player.client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    player.out[1] = jack_port_register(player.client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(player.client, process, &player);
    jack_set_xrun_callback(player.client, xrun, nullptr);
    if (player.out[0] == nullptr || player.out[1] == nullptr || jack_activate(player.client) != 0) {
        std::fprintf(stderr, "vt4r-jack-player: cannot activate\n");
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!gStop.load() && (seconds < 0 || std::chrono::steady_clock::now() < end)) {
        connectToProgram(player);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    jack_deactivate(player.client);
    jack_client_close(player.client);
    std::printf("xruns %d\n", gXruns.load());
    if (const char* path = std::getenv("VT4R_PLAYER_TIMES"); path != nullptr && !gTimes.wallCpu.empty()) {
        if (std::FILE* file = std::fopen(path, "w")) {
            const std::size_t n = gTimes.count.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < n; ++i)
                std::fprintf(file, "%u %u\n", gTimes.wallCpu[2 * i], gTimes.wallCpu[2 * i + 1]);
            std::fclose(file);
        }
    }
    return 0;
}
