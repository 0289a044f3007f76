// VT4R.clap in our own CLAP host: 32- and 64-bit output against the plug-in run directly,
// bit for bit, with parameter events at block starts; process() neither allocating nor
// taking a foreign lock; bypass crossfading; re-activation at another rate; state saved,
// loaded and refused; every parameter's text both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "clap_test_host.h"
#include "framework/standalone.h"
#include "tests/support/direct_plugin.h"
#include "tests/support/realtime_probe.h"

namespace {

using clap_test::Host;
using clap_test::InputEvents;
using clap_test::Library;
using clap_test::OutputEvents;
using clap_test::Stereo;

constexpr clap_id kBypass = 3;

const Library& Clap() {
    static Library library(VT4R_CLAP_PLUGIN);
    return library;
}

// Blocks through the host and through the plug-in directly, with the settings changing
// by events at block starts; answers the number of samples compared.
template <typename Sample> long CompareWithDirect(int blocks) {
    Host host(Clap());
    EXPECT_NE(host.Plugin(), nullptr);
    if (host.Plugin() == nullptr)
        return 0;
    EXPECT_TRUE(host.Activate(48000, 1, 512));
    DirectPlugin direct(48000, 512);
    Stereo<Sample> in(512), out(512);
    // Input, Output, Relaxed Mode; the fourth sets Input beyond its range.
    const double settings[][3] = {{0, 0, 0}, {-6.5, 3.25, 0}, {12.25, -4, 1}, {25, 20, 0}, {-20, 0, 1}};
    InputEvents events;
    OutputEvents outEvents;
    long position = 0, compared = 0;
    realtime_probe::Reset();
    for (int block = 0; block < blocks; ++block) {
        events.Clear();
        if (block % 60 == 0) {
            const double* s = settings[(block / 60) % 5];
            for (std::int32_t p = 0; p < 3; ++p)
                events.Add(static_cast<clap_id>(p), s[p]);
            direct.Set(s[0], s[1], s[2]);
        }
        const std::uint32_t frames = block % 17 == 0 ? 0 : 1 + static_cast<std::uint32_t>(block * 37) % 512;
        FillSwell(in, frames, position, 48000);
        direct.Run(in, frames);
        clap_process_status status = CLAP_PROCESS_ERROR;
        realtime_probe::Count([&] { status = host.Process(in.data, out.data, frames, events, outEvents); });
        EXPECT_EQ(status, CLAP_PROCESS_CONTINUE);
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < frames; ++i, ++compared)
                if (out[c][i] != static_cast<Sample>(direct.buffers[2 + c][i])) {
                    ADD_FAILURE() << "block " << block << " channel " << c << " frame " << i << ": "
                                  << out[c][i] << " != " << direct.buffers[2 + c][i];
                    return compared;
                }
    }
    EXPECT_TRUE(outEvents.Events().empty()) << "no editor, nothing to tell the host";
    EXPECT_EQ(realtime_probe::allocations.load(), 0);
    if (VT4R_COUNT_LOCKS) {
        EXPECT_NE(realtime_probe::firstMutex.load(), nullptr) << "the plug-in's lock is taken";
        EXPECT_EQ(realtime_probe::foreignLocks.load(), 0);
    }
    return compared;
}

} // namespace

TEST(ClapPlugin, DescribesItselfAndRunsLikeThePluginInBothSampleSizes) {
    ASSERT_NE(Clap().Factory(), nullptr) << Clap().Error();
    const clap_plugin_factory_t* factory = Clap().Factory();
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
    EXPECT_STREQ(d->id, "com.marsolind.vt4r");
    EXPECT_STREQ(d->name, "VT4R");
    EXPECT_STREQ(d->vendor, "Marsolind");
    EXPECT_STREQ(d->version, "1.1.2");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f != nullptr; ++f)
        features.emplace_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "compressor", "stereo"}));

    Host host(Clap());
    ASSERT_NE(host.Plugin(), nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(host.ports->count(host.Plugin(), input), 1u);
        clap_audio_port_info_t info{};
        ASSERT_TRUE(host.ports->get(host.Plugin(), 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_EQ(info.flags, static_cast<std::uint32_t>(CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS));
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(info.in_place_pair, 0u);
    }
    EXPECT_EQ(host.latency->get(host.Plugin()), 0u);

    EXPECT_GT(CompareWithDirect<float>(900), 400000);
    EXPECT_GT(CompareWithDirect<double>(900), 400000);
}

TEST(ClapPlugin, ReactivatedAtAnotherRateItRunsAsANewInstanceThereWithItsValues) {
    Host host(Clap());
    ASSERT_NE(host.Plugin(), nullptr);
    InputEvents events;
    OutputEvents outEvents;
    Stereo<float> in(1024), out(1024);
    ASSERT_TRUE(host.Activate(44100, 32, 1024));
    events.Add(0, 9.0);
    events.Add(2, 1.0);
    long position = 0;
    for (int block = 0; block < 50; ++block) {
        FillSwell(in, 1024, position, 44100);
        host.Process(in.data, out.data, 1024, events, outEvents);
        events.Clear();
    }
    ASSERT_TRUE(host.Activate(96000, 256, 256));
    DirectPlugin direct(96000, 256);
    direct.Set(9.0, 0.0, 1.0);
    position = 0;
    for (int block = 0; block < 200; ++block) {
        FillSwell(in, 256, position, 96000);
        direct.Run(in, 256);
        host.Process(in.data, out.data, 256, events, outEvents);
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < 256; ++i)
                ASSERT_EQ(out[c][i], static_cast<float>(direct.buffers[2 + c][i])) << "block " << block;
    }
    EXPECT_FALSE(host.Plugin()->activate(host.Plugin(), 0.0, 1, 512)) << "no rate";
    EXPECT_FALSE(host.Plugin()->activate(host.Plugin(), 48000, 1, 0)) << "no frames";
    EXPECT_EQ(host.Plugin()->process(host.Plugin(), nullptr), CLAP_PROCESS_ERROR);
}

TEST(ClapPlugin, BypassCrossfadesWithoutAStepAndComesBackSeamlessly) {
    Host host(Clap());
    ASSERT_NE(host.Plugin(), nullptr);
    ASSERT_TRUE(host.Activate(48000, 64, 64));
    InputEvents events;
    OutputEvents outEvents;
    Stereo<double> in(64), out(64);
    // Input up: compressed hard, the processed signal lies well apart from the dry one.
    events.Add(0, 15.0);
    long position = 0;
    std::vector<double> dry, wet;
    for (int block = 0; block < 600; ++block) {
        if (block == 200 || block == 400)
            events.Add(kBypass, block == 200 ? 1.0 : 0.0);
        FillSwell(in, 64, position, 48000);
        host.Process(in.data, out.data, 64, events, outEvents);
        events.Clear();
        dry.insert(dry.end(), in[0].begin(), in[0].end());
        wet.insert(wet.end(), out[0].begin(), out[0].end());
        if (block >= 215 && block < 400) {
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(std::memcmp(out[c].data(), in[c].data(), 64 * sizeof(double)), 0)
                    << "bypassed after the fade: the input itself, block " << block;
        }
    }
    EXPECT_EQ(host.Value(kBypass), 0.0);
    auto largestStep = [](const std::vector<double>& x, std::size_t from, std::size_t to) {
        double step = 0;
        for (std::size_t i = from + 1; i < to; ++i)
            step = std::fmax(step, std::fabs(x[i] - x[i - 1]));
        return step;
    };
    // The signal's own steps, dry and processed, away from the switches.
    const double own = std::fmax(largestStep(dry, 0, dry.size()), largestStep(wet, 100 * 64, 190 * 64));
    EXPECT_LT(largestStep(wet, 195 * 64, 215 * 64), own * 1.01) << "into bypass";
    EXPECT_LT(largestStep(wet, 395 * 64, 420 * 64), own * 1.01) << "out of bypass";
    EXPECT_LT(1.5 * largestStep(wet, 100 * 64, 190 * 64), largestStep(dry, 100 * 64, 190 * 64))
        << "compressed well below the dry signal, so a jump between them would show";
}

TEST(ClapPlugin, StateLoadsIntoAFreshInstanceAndDamagedStatesChangeNothing) {
    Host first(Clap());
    ASSERT_NE(first.Plugin(), nullptr);
    // Values flushed while the plug-in is inactive.
    InputEvents events;
    OutputEvents outEvents;
    events.Add(0, -3.5);
    events.Add(1, 7.25);
    events.Add(2, 1.0);
    first.Flush(events, outEvents);
    EXPECT_EQ(first.Value(1), 7.25);
    const std::vector<std::uint8_t> saved = first.Save(5); // five bytes a write
    DirectPlugin direct(48000, 256);
    direct.Set(-3.5, 7.25, 1.0);
    IStateChunk chunk;
    ASSERT_TRUE(direct.plugin->SerializeParams(chunk));
    ASSERT_EQ(saved, std::vector<std::uint8_t>(chunk.Bytes(), chunk.Bytes() + chunk.Size()))
        << "the framework's own parameter block";
    EXPECT_TRUE(first.Save(1) == saved);

    // A fresh instance, mid-play at its defaults, takes it in pieces of 7 bytes.
    Host second(Clap());
    ASSERT_NE(second.Plugin(), nullptr);
    ASSERT_TRUE(first.Activate(48000, 256, 256));
    ASSERT_TRUE(second.Activate(48000, 256, 256));
    ASSERT_TRUE(second.Load(saved, 7));
    EXPECT_EQ(second.rescans, 1);
    EXPECT_TRUE(second.rescanFlags & CLAP_PARAM_RESCAN_VALUES);
    for (clap_id p = 0; p < 4; ++p)
        EXPECT_EQ(second.Value(p), first.Value(p)) << p;
    Stereo<float> in(256), a(256), b(256);
    long position = 0;
    events.Clear();
    for (int block = 0; block < 100; ++block) {
        FillSwell(in, 256, position, 48000);
        first.Process(in.data, a.data, 256, events, outEvents);
        second.Process(in.data, b.data, 256, events, outEvents);
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(std::memcmp(a[c].data(), b[c].data(), 256 * sizeof(float)), 0) << "block " << block;
    }

    // Damaged: empty, short, cut by one, one byte or a lot too long, a read error.
    std::vector<std::vector<std::uint8_t>> damaged = {{}, std::vector<std::uint8_t>(5, 0x40)};
    damaged.emplace_back(saved.begin(), saved.end() - 1);
    damaged.push_back(saved);
    damaged.back().push_back(0);
    damaged.emplace_back(4096, 0x3F);
    for (const auto& bytes : damaged) {
        EXPECT_FALSE(second.Load(bytes, 3)) << bytes.size() << " bytes";
        EXPECT_EQ(second.Save(), saved);
    }
    EXPECT_FALSE(second.Load(saved, 24, true)) << "the stream failed at its end";
    EXPECT_EQ(second.Save(), saved);
    EXPECT_EQ(second.rescans, 1);
    // A stream that takes nothing: the save fails rather than claiming success.
    clap_ostream_t full{};
    full.write = [](const clap_ostream_t*, const void*, std::uint64_t) -> std::int64_t { return 0; };
    EXPECT_FALSE(second.state->save(second.Plugin(), &full));

    // A NaN from a damaged file becomes the parameter's default, never a NaN in the DSP.
    std::vector<std::uint8_t> nan = saved;
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(nan.data(), &quiet, sizeof quiet);
    ASSERT_TRUE(second.Load(nan));
    EXPECT_EQ(second.Value(0), 0.0);
}

TEST(ClapPlugin, EveryParameterIsDescribedAndItsTextsGoBothWays) {
    Host host(Clap());
    ASSERT_NE(host.Plugin(), nullptr);
    const clap_plugin_t* plugin = host.Plugin();
    ASSERT_EQ(host.params->count(plugin), 4u);
    const char* names[] = {"Input", "Output", "Relaxed Mode", "Bypass"};
    const std::uint32_t flags[] = {
        CLAP_PARAM_IS_AUTOMATABLE, CLAP_PARAM_IS_AUTOMATABLE, CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED,
        CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS};
    for (std::uint32_t p = 0; p < 4; ++p) {
        clap_param_info_t info{};
        ASSERT_TRUE(host.params->get_info(plugin, p, &info));
        EXPECT_EQ(info.id, p);
        EXPECT_STREQ(info.name, names[p]);
        EXPECT_EQ(info.flags, flags[p]) << names[p];
        EXPECT_EQ(host.Value(p), info.default_value);
        const int steps = (info.flags & CLAP_PARAM_IS_STEPPED) ? 1 : 160;
        for (int s = 0; s <= steps; ++s) {
            const double value = info.min_value + (info.max_value - info.min_value) * s / steps;
            char text[64] = {};
            ASSERT_TRUE(host.params->value_to_text(plugin, p, value, text, sizeof text));
            double back = -1e300;
            ASSERT_TRUE(host.params->text_to_value(plugin, p, text, &back)) << text;
            // Shown to a tenth of a dB: back within half of that.
            EXPECT_NEAR(back, value, steps == 1 ? 0.0 : 0.0501) << names[p] << " " << text;
            char again[64] = {};
            ASSERT_TRUE(host.params->value_to_text(plugin, p, back, again, sizeof again));
            EXPECT_STREQ(again, text);
        }
        double untouched = 1234.0;
        EXPECT_FALSE(host.params->text_to_value(plugin, p, "loud", &untouched));
        EXPECT_FALSE(host.params->text_to_value(plugin, p, "", &untouched));
        EXPECT_EQ(untouched, 1234.0);
        char tiny[4];
        EXPECT_TRUE(host.params->value_to_text(plugin, p, info.max_value, tiny, sizeof tiny) &&
                    std::strlen(tiny) < sizeof tiny);
    }
    clap_param_info_t info{};
    double value = 0;
    char text[16];
    EXPECT_FALSE(host.params->get_info(plugin, 4, &info));
    EXPECT_FALSE(host.params->get_value(plugin, 4, &value));
    EXPECT_FALSE(host.params->value_to_text(plugin, 4, 0.0, text, sizeof text));
    EXPECT_FALSE(host.params->text_to_value(plugin, 4, "0", &value));
}

// The main thread's calls (values, texts, state both ways, flush when the host stops)
// while the audio thread processes with events of its own: every value crossing is an
// atomic or under the plug-in's lock (run under TSan), and the last state loaded wins.
TEST(ClapPlugin, MainThreadCallsWhileTheAudioThreadProcesses) {
    Host host(Clap());
    ASSERT_NE(host.Plugin(), nullptr);
    ASSERT_TRUE(host.Activate(48000, 128, 128));
    Host source(Clap());
    InputEvents values;
    OutputEvents none;
    values.Add(0, 4.5);
    values.Add(1, -2.0);
    values.Add(2, 1.0);
    source.Flush(values, none);
    const std::vector<std::uint8_t> state = source.Save();
    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        Stereo<float> in(128), out(128);
        InputEvents events;
        OutputEvents sent;
        long position = 0;
        for (int block = 0; !stop || block < 200; ++block) {
            events.Clear();
            events.Add(kBypass, block % 50 < 25 ? 0.0 : 1.0);
            FillSwell(in, 128, position, 48000);
            host.Process(in.data, out.data, 128, events, sent);
            for (int c = 0; c < 2; ++c)
                for (float x : out[c])
                    finite = finite && std::isfinite(x);
        }
    });
    for (int round = 0; round < 300; ++round) {
        double v = 0;
        char text[32];
        host.params->get_value(host.Plugin(), static_cast<clap_id>(round % 4), &v);
        host.params->value_to_text(host.Plugin(), static_cast<clap_id>(round % 4), v, text, sizeof text);
        EXPECT_EQ(host.Save().size(), 24u);
        EXPECT_TRUE(host.Load(state));
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_EQ(host.Save(), state);
    host.Stop();
    InputEvents later;
    later.Add(1, 6.0);
    OutputEvents sent;
    host.Flush(later, sent);
    EXPECT_EQ(host.Value(1), 6.0);
}
