// Our CLAP and VST3 test hosts as a program, built for Linux and for Windows, so a test can
// move a plug-in's state or a recording between the two platforms' plug-ins:
//   format-host-tool clap|vst3 PLUGIN save FILE INPUT OUTPUT RELAXED
//   format-host-tool clap|vst3 PLUGIN load FILE     prints the three values the state gives
//   format-host-tool clap|vst3 PLUGIN render IN.wav OUT.wav BLOCK float|double INPUT OUTPUT RELAXED
// PLUGIN is VT4R.clap or the VT4R.vst3 bundle folder. Exits 0 on success, 1 when the plug-in
// refuses, 2 on a usage error.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "clap_test_host.h"
#include "vst3_test_host.h"

namespace {

constexpr int kValues = 3; // Input, Output, Relaxed Mode: the state (Bypass is the host's)

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && out.good();
}

void Print(const double (&values)[kValues]) {
    std::printf("%.17g %.17g %.17g\n", values[0], values[1], values[2]);
}

// Interleaved stereo, read as doubles (floats convert exactly).
bool ReadWav(const std::string& path, std::vector<double>& samples) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr || info.channels != 2)
        return false;
    samples.resize(static_cast<std::size_t>(info.frames) * 2);
    const bool ok = sf_readf_double(f, samples.data(), info.frames) == info.frames;
    sf_close(f);
    return ok;
}

template <typename Sample> bool WriteWav(const std::string& path, const std::vector<Sample>& samples) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (sizeof(Sample) == sizeof(double) ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    const auto frames = static_cast<sf_count_t>(samples.size() / 2);
    bool ok;
    if constexpr (sizeof(Sample) == sizeof(double))
        ok = sf_writef_double(f, samples.data(), frames) == frames;
    else
        ok = sf_writef_float(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

// ---- CLAP ----

int Clap(const std::string& plugin, const std::string& command, char** args, int count) {
    clap_test::Library library(plugin);
    clap_test::Host host(library);
    if (host.Plugin() == nullptr) {
        std::fprintf(stderr, "format-host-tool: %s\n", library.Error().c_str());
        return 1;
    }
    if (command == "save" && count == 1 + kValues) {
        clap_test::InputEvents events;
        clap_test::OutputEvents none;
        for (int i = 0; i < kValues; ++i)
            events.Add(static_cast<clap_id>(i), std::atof(args[1 + i]));
        host.Flush(events, none);
        return WriteFile(args[0], host.Save()) ? 0 : 1;
    }
    if (command == "load" && count == 1) {
        if (!host.Load(ReadFile(args[0])))
            return 1;
        double values[kValues];
        for (int i = 0; i < kValues; ++i)
            values[i] = host.Value(static_cast<clap_id>(i));
        Print(values);
        return 0;
    }
    if (command == "render" && count == 7) {
        std::vector<double> recording;
        if (!ReadWav(args[0], recording))
            return 1;
        const auto block = static_cast<std::uint32_t>(std::atoi(args[2]));
        if (block == 0 || !host.Activate(48000, 1, block))
            return 1;
        const auto run = [&](auto sample) {
            using Sample = decltype(sample);
            clap_test::Stereo<Sample> in(block), out(block);
            clap_test::InputEvents events;
            clap_test::OutputEvents outEvents;
            for (int i = 0; i < 3; ++i)
                events.Add(static_cast<clap_id>(i), std::atof(args[4 + i]));
            std::vector<Sample> result(recording.size());
            const std::size_t frames = recording.size() / 2;
            for (std::size_t at = 0; at < frames; at += block) {
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - at));
                for (std::uint32_t i = 0; i < n; ++i)
                    for (int c = 0; c < 2; ++c)
                        in[c][i] = static_cast<Sample>(recording[2 * (at + i) + c]);
                host.Process(in.data, out.data, n, events, outEvents);
                events.Clear();
                for (std::uint32_t i = 0; i < n; ++i)
                    for (int c = 0; c < 2; ++c)
                        result[2 * (at + i) + c] = out[c][i];
            }
            return WriteWav(args[1], result);
        };
        const std::string width = args[3];
        return (width == "double" ? run(0.0) : run(0.0f)) ? 0 : 1;
    }
    return 2;
}

// ---- VST3 ----

int Vst3(const std::string& bundle, const std::string& command, char** args, int count) {
    using namespace vst3host;
    Plugin host(bundle);
    if (!host.Ok()) {
        std::fprintf(stderr, "format-host-tool: %s\n", host.error.c_str());
        return 1;
    }
    if (command == "save" && count == 1 + kValues) {
        // The processor takes values with a block, as a host's automation reaches it.
        if (!host.Activate(48000, 64, kSample32))
            return 1;
        for (ParamID id = 0; id < kValues; ++id)
            host.Set(id, host.Normalized(id, std::atof(args[1 + id])));
        host.Process(64);
        host.Deactivate();
        return WriteFile(args[0], host.SaveComponent()) ? 0 : 1;
    }
    if (command == "load" && count == 1) {
        MemoryStream state(ReadFile(args[0]));
        if (host.component->setState(&state) != kResultOk)
            return 1;
        state.position = 0;
        if (host.controller->setComponentState(&state) != kResultOk)
            return 1;
        double values[kValues];
        for (ParamID id = 0; id < kValues; ++id)
            values[id] = host.controller->normalizedParamToPlain(id, host.controller->getParamNormalized(id));
        Print(values);
        return 0;
    }
    if (command == "render" && count == 7) {
        std::vector<double> recording;
        if (!ReadWav(args[0], recording))
            return 1;
        const int32 block = std::atoi(args[2]);
        const bool doubles = std::string(args[3]) == "double";
        if (block <= 0 || !host.Activate(48000, block, doubles ? kSample64 : kSample32))
            return 1;
        for (ParamID id = 0; id < 3; ++id)
            host.Set(id, host.Normalized(id, std::atof(args[4 + id])));
        std::vector<float> floats(doubles ? 0 : recording.size());
        std::vector<double> wide(doubles ? recording.size() : 0);
        const std::size_t frames = recording.size() / 2;
        for (std::size_t done = 0; done < frames; done += static_cast<std::size_t>(block)) {
            const auto n = static_cast<int32>(std::min<std::size_t>(static_cast<std::size_t>(block), frames - done));
            for (int32 i = 0; i < n; ++i)
                for (int c = 0; c < 2; ++c) {
                    host.buffers32[c][i] = static_cast<float>(recording[2 * (done + i) + c]);
                    host.buffers64[c][i] = recording[2 * (done + i) + c];
                }
            if (host.Process(n) != kResultOk)
                return 1;
            for (int32 i = 0; i < n; ++i)
                for (int c = 0; c < 2; ++c) {
                    if (doubles)
                        wide[2 * (done + i) + c] = host.buffers64[2 + c][i];
                    else
                        floats[2 * (done + i) + c] = host.buffers32[2 + c][i];
                }
        }
        return (doubles ? WriteWav(args[1], wide) : WriteWav(args[1], floats)) ? 0 : 1;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: format-host-tool clap|vst3 PLUGIN save|load|render ARGS...\n");
        return 2;
    }
    const std::string format = argv[1];
    const int result = format == "clap"   ? Clap(argv[2], argv[3], argv + 4, argc - 4)
                       : format == "vst3" ? Vst3(argv[2], argv[3], argv + 4, argc - 4)
                                          : 2;
    if (result == 2)
        std::fprintf(stderr, "format-host-tool: nothing to do for these arguments\n");
    return result;
}
