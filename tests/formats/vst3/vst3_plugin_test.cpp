// The VST3 bundle driven by our own host: output of either sample width against the
// plug-in run directly, bit for bit, with host parameter changes at block starts and a
// second setup at another rate; process neither allocating nor taking a foreign lock;
// the state through the processor and the controller, and damaged states refused; the
// parameters' texts both ways; bypass fading in and out; the controller's changes held by
// the processor before any block, whether the host connects the two directly or through
// a proxy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/standalone.h"
#include "plugin/params.h"
#include "tests/support/realtime_probe.h"
#include "vst3_test_host.h"

using namespace vst3host;

namespace {

// A VST3 text: UTF-16 in char16, which is wchar_t on Windows.
using Text = std::basic_string<char16>;

constexpr ParamID kBypassId = 3;
constexpr ParamID kGainReductionId = 4;

// The same plug-in made by the factory and run directly, as the renderer runs it.
struct Direct {
    Direct(double rate, std::int32_t block) : plugin(CreatePlugin(IHostRecord{})) {
        plugin->SetSampleRateHz(rate);
        plugin->SetBlockFrames(block);
        plugin->ResetProcessing();
        for (auto& b : buffers)
            b.assign(static_cast<std::size_t>(block), 0.0);
    }
    template <typename Sample> void Run(const std::vector<Sample>* in, int32 frames) {
        for (int c = 0; c < 2; ++c)
            for (int32 i = 0; i < frames; ++i)
                buffers[c][i] = static_cast<double>(in[c][i]);
        double* ins[2] = {buffers[0].data(), buffers[1].data()};
        double* outs[2] = {buffers[2].data(), buffers[3].data()};
        plugin->ProcessBlockLocked(ins, outs, frames);
    }
    std::unique_ptr<IEffectStandalone> plugin;
    std::vector<double> buffers[4];
};

// A swelling two-tone signal, loud enough at its peaks to be compressed hard.
template <typename Sample> void Fill(std::vector<Sample>* in, int32 frames, long& position, double rate) {
    for (int32 i = 0; i < frames; ++i, ++position) {
        const double t = position / rate;
        const double swell = 0.5 + 0.45 * std::sin(2 * M_PI * 0.7 * t);
        in[0][i] = static_cast<Sample>(swell * std::sin(2 * M_PI * 220 * t));
        in[1][i] = static_cast<Sample>(swell * std::sin(2 * M_PI * 331 * t + 0.3));
    }
}

template <typename Sample> std::vector<Sample>* Buffers(Plugin& p);
template <> std::vector<float>* Buffers<float>(Plugin& p) {
    return p.buffers32;
}
template <> std::vector<double>* Buffers<double>(Plugin& p) {
    return p.buffers64;
}

// Runs the bundle and the plug-in side by side through changing settings; answers the
// frames compared, all of which must be equal.
template <typename Sample> long RunAgainstDirect(Plugin& host, double rate, int32 block) {
    Direct direct(rate, block);
    const double settings[][3] = {{0, 0, 0}, {-6.5, 3.25, 0}, {12.25, -4, 1}, {20, 20, 0}, {-20, 0, 1}};
    std::vector<Sample>* io = Buffers<Sample>(host);
    long position = 0, compared = 0;
    double loudest = 0.0;
    for (int b = 0; b < 600; ++b) {
        if (b % 60 == 0) {
            // The host sends normalized values; the plug-in run directly gets what they mean.
            const double* s = settings[(b / 60) % 5];
            for (ParamID id = 0; id < 3; ++id) {
                const ParamValue n = host.Normalized(id, s[id]);
                host.Set(id, n);
                direct.plugin->Param(static_cast<int>(id))
                    ->SetClamped(host.controller->normalizedParamToPlain(id, n));
            }
        }
        const int32 frames = b % 17 == 0 ? 0 : 1 + (b * 37) % block;
        Fill(io, frames, position, rate);
        if (b == 300)
            io[1][0] = std::numeric_limits<Sample>::quiet_NaN();
        if (frames > 0)
            direct.Run(io, frames);
        tresult result = kResultFalse;
        realtime_probe::Count([&] { result = host.Process(frames); });
        EXPECT_EQ(result, kResultOk);
        for (int c = 0; c < 2; ++c)
            for (int32 i = 0; i < frames; ++i, ++compared) {
                const Sample expected = static_cast<Sample>(direct.buffers[2 + c][i]);
                if (std::memcmp(&io[2 + c][i], &expected, sizeof(Sample)) != 0) {
                    ADD_FAILURE() << "block " << b << " channel " << c << " frame " << i << ": "
                                  << io[2 + c][i] << " != " << expected;
                    return compared;
                }
            }
        if (frames > 0) {
            const ParamQueue& gr = host.outputChanges.queues[0];
            EXPECT_TRUE(host.outputChanges.count == 1 && gr.id == kGainReductionId && gr.count == 1);
            EXPECT_TRUE(gr.values[0] >= 0.0 && gr.values[0] <= 1.0);
            loudest = std::max(loudest, gr.values[0]);
            host.ForwardOutputs();
            EXPECT_EQ(host.controller->getParamNormalized(kGainReductionId), gr.values[0]);
        }
    }
    EXPECT_GT(loudest * 20.0, 1.0) << "the loud swell is compressed, and the meter says so";
    return compared;
}

} // namespace

TEST(Vst3Plugin, BothWidthsRunLikeThePluginItselfWithoutAllocatingOrForeignLocks) {
    for (int32 width : {kSample32, kSample64}) {
        Plugin host(VT4R_VST3_BUNDLE);
        ASSERT_TRUE(host.Ok()) << host.error;
        EXPECT_EQ(host.processor->canProcessSampleSize(width), kResultTrue);
        ASSERT_TRUE(host.Activate(48000, 512, width));
        realtime_probe::Reset();
        const long compared = width == kSample32 ? RunAgainstDirect<float>(host, 48000, 512)
                                                 : RunAgainstDirect<double>(host, 48000, 512);
        EXPECT_GT(compared, 250000) << width;
        EXPECT_EQ(realtime_probe::allocations.load(), 0) << width;
        if (VT4R_COUNT_LOCKS) {
            EXPECT_NE(realtime_probe::firstMutex.load(), nullptr) << "the plug-in's lock is taken";
            EXPECT_EQ(realtime_probe::foreignLocks.load(), 0) << width;
        }

        // Buses without buffers (a flush with audio, inactive buses): processed, nothing touched.
        AudioBusBuffers empty[1];
        empty[0].numChannels = 2; // channelBuffers null
        ProcessData bare;
        bare.symbolicSampleSize = width;
        bare.numSamples = 64;
        EXPECT_EQ(host.processor->process(bare), kResultOk);
        bare.numInputs = bare.numOutputs = 1;
        bare.inputs = bare.outputs = empty;
        EXPECT_EQ(host.processor->process(bare), kResultOk);

        // Set up again at another rate and block length: as a new plug-in at that rate.
        host.Deactivate();
        ASSERT_TRUE(host.Activate(96000, 256, width));
        EXPECT_GT(width == kSample32 ? RunAgainstDirect<float>(host, 96000, 256)
                                     : RunAgainstDirect<double>(host, 96000, 256),
                  100000);
    }
}

TEST(Vst3Plugin, StateMovesToAFreshInstanceAndDamageIsRefused) {
    Plugin first(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(first.Ok()) << first.error;
    ASSERT_TRUE(first.Activate(48000, 256, kSample32));
    const double plain[3] = {-3.5, 7.25, 1};
    for (ParamID id = 0; id < 3; ++id)
        first.Set(id, first.Normalized(id, plain[id]));
    long position = 0;
    Fill(first.buffers32, 256, position, 48000);
    ASSERT_EQ(first.Process(256), kResultOk);
    const std::vector<std::uint8_t> saved = first.SaveComponent();
    ASSERT_EQ(saved.size(), static_cast<std::size_t>(kNumParams) * sizeof(double));

    // The second instance takes it through a stream that hands out 5 bytes a read.
    Plugin second(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(second.Ok()) << second.error;
    ASSERT_TRUE(second.Activate(48000, 256, kSample32));
    MemoryStream forProcessor(saved, 5), forController(saved, 5);
    ASSERT_EQ(second.component->setState(&forProcessor), kResultOk);
    ASSERT_EQ(second.controller->setComponentState(&forController), kResultOk);
    for (ParamID id = 0; id < 3; ++id)
        EXPECT_EQ(second.controller->getParamNormalized(id), first.controller->getParamNormalized(id)) << id;
    EXPECT_EQ(second.SaveComponent(), saved);
    // Both from silence on the same signal: the same output.
    first.Deactivate();
    ASSERT_TRUE(first.Activate(48000, 256, kSample32));
    for (int b = 0; b < 40; ++b) {
        long p1 = b * 256L, p2 = b * 256L;
        Fill(first.buffers32, 256, p1, 48000);
        Fill(second.buffers32, 256, p2, 48000);
        ASSERT_EQ(first.Process(256), kResultOk);
        ASSERT_EQ(second.Process(256), kResultOk);
        ASSERT_EQ(first.buffers32[2], second.buffers32[2]) << b;
        ASSERT_EQ(first.buffers32[3], second.buffers32[3]) << b;
    }

    // Empty, short, one byte short, one byte long, twice the size, no stream: refused, nothing changes.
    for (std::size_t size :
         {std::size_t{0}, std::size_t{5}, saved.size() - 1, saved.size() + 1, 2 * saved.size()}) {
        std::vector<std::uint8_t> bytes(size, 0x5A);
        MemoryStream a(bytes), b(bytes);
        EXPECT_EQ(second.component->setState(&a), kResultFalse) << size;
        EXPECT_EQ(second.controller->setComponentState(&b), kResultFalse) << size;
    }
    EXPECT_EQ(second.component->setState(nullptr), kResultFalse);
    EXPECT_EQ(second.controller->setComponentState(nullptr), kResultFalse);
    EXPECT_EQ(second.SaveComponent(), saved);
    for (ParamID id = 0; id < 3; ++id)
        EXPECT_EQ(second.controller->getParamNormalized(id), first.controller->getParamNormalized(id)) << id;
}

TEST(Vst3Plugin, ControllerDescribesShowsAndParsesItsParameters) {
    Plugin host(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(host.Ok()) << host.error;
    IEditController& c = *host.controller;
    ASSERT_EQ(c.getParameterCount(), 5);
    const int32 flags[5] = {ParameterInfo::kCanAutomate, ParameterInfo::kCanAutomate,
                            ParameterInfo::kCanAutomate | ParameterInfo::kIsList,
                            ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass,
                            ParameterInfo::kIsReadOnly};
    const int32 steps[5] = {0, 0, 1, 1, 0};
    for (int32 i = 0; i < 5; ++i) {
        ParameterInfo info;
        ASSERT_EQ(c.getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(info.flags, flags[i]) << i;
        EXPECT_EQ(info.stepCount, steps[i]) << i;
        // Every value's text reads back as the same value and the same text.
        for (double n : {0.0, 0.1, 0.25, 0.5, 0.73, 1.0}) {
            String128 text{}, again{};
            ASSERT_EQ(c.getParamStringByValue(info.id, n, text), kResultOk);
            ParamValue parsed = -1.0;
            ASSERT_EQ(c.getParamValueByString(info.id, text, parsed), kResultOk) << i << " " << n;
            ASSERT_EQ(c.getParamStringByValue(info.id, parsed, again), kResultOk);
            EXPECT_EQ(Text(text), Text(again)) << i << " " << n;
            EXPECT_NEAR(c.normalizedParamToPlain(info.id, parsed), c.normalizedParamToPlain(info.id, n),
                        0.051);
        }
    }
    String128 text{};
    ASSERT_EQ(c.getParamStringByValue(2, 1.0, text), kResultOk);
    EXPECT_EQ(Text(text), Text(STR16("On")));
    ASSERT_EQ(c.getParamStringByValue(0, c.plainParamToNormalized(0, -6.5), text), kResultOk);
    EXPECT_EQ(Text(text), Text(STR16("-6.5 dB")));
    ParamValue v = 0.0;
    char16 typed[] = STR16("off");
    ASSERT_EQ(c.getParamValueByString(2, typed, v), kResultOk);
    EXPECT_EQ(v, 0.0);
    char16 junk[] = STR16("loud");
    EXPECT_NE(c.getParamValueByString(0, junk, v), kResultOk);
    EXPECT_NE(c.getParamStringByValue(5, 0.5, text), kResultOk);
}

TEST(Vst3Plugin, BypassFadesWithoutAStepLargerThanTheSignalsOwn) {
    Plugin host(VT4R_VST3_BUNDLE);
    ASSERT_TRUE(host.Ok()) << host.error;
    ASSERT_TRUE(host.Activate(48000, 128, kSample32));
    host.Set(0, host.Normalized(0, 12)); // far louder than the dry signal
    std::vector<float> out, in;
    long position = 0;
    auto run = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) {
            Fill(host.buffers32, 128, position, 48000);
            ASSERT_EQ(host.Process(128), kResultOk);
            in.insert(in.end(), host.buffers32[0].begin(), host.buffers32[0].end());
            out.insert(out.end(), host.buffers32[2].begin(), host.buffers32[2].end());
        }
    };
    auto largestStep = [](const std::vector<float>& x, std::size_t from, std::size_t to) {
        float step = 0.0f;
        for (std::size_t i = from + 1; i < to; ++i)
            step = std::max(step, std::fabs(x[i] - x[i - 1]));
        return step;
    };
    run(40);
    const std::size_t on = out.size();
    host.Set(kBypassId, 1.0);
    run(40);
    const std::size_t off = out.size();
    host.Set(kBypassId, 0.0);
    run(40);
    const float own = std::max(largestStep(out, 0, on), largestStep(in, 0, in.size()));
    EXPECT_LE(largestStep(out, on - 1, on + 2048), own * 1.1f);
    EXPECT_LE(largestStep(out, off - 1, off + 2048), own * 1.1f);
    // Once faded, bypassed is the dry signal itself; the difference shows it was not before.
    for (std::size_t i = on + 1024; i < off; ++i)
        ASSERT_EQ(out[i], in[i]) << i - on;
    EXPECT_GT(std::fabs(out[on - 1] - in[on - 1]) + std::fabs(out[on - 20] - in[on - 20]), 0.01f);
    EXPECT_EQ(host.controller->getParamNormalized(kGainReductionId), 0.0);
}

// Saved straight after a change, before any block: the state holds what the host shows,
// whether the host connects the two directly or puts a proxy between them that only
// carries messages. Whatever the host disconnects, or drops, is never reached again.
TEST(Vst3Plugin, ControllerChangesAreInTheProcessorsStateBeforeAnyBlock) {
    for (Link link : {Link::Direct, Link::Proxy}) {
        SCOPED_TRACE(link == Link::Direct ? "direct" : "proxy");
        Plugin host(VT4R_VST3_BUNDLE, link);
        ASSERT_TRUE(host.Ok()) << host.error;
        const std::vector<std::uint8_t> before = host.SaveComponent();
        const double plain[3] = {12, -3.5, 1};
        for (ParamID id = 0; id < 3; ++id)
            ASSERT_EQ(host.controller->setParamNormalized(id, host.Normalized(id, plain[id])), kResultOk);
        host.controller->setParamNormalized(kGainReductionId, 0.6); // the meter is no setting
        EXPECT_EQ(host.toProcessor.forwarded, link == Link::Proxy ? 3 : 0);
        EXPECT_EQ(host.host.liveMessages, 0);
        const std::vector<std::uint8_t> saved = host.SaveComponent();
        ASSERT_EQ(saved.size(), before.size());
        ASSERT_NE(saved, before);
        // A state given to the controller is the processor's already: nothing goes back.
        MemoryStream stale(before);
        ASSERT_EQ(host.controller->setComponentState(&stale), kResultOk);
        EXPECT_EQ(host.SaveComponent(), saved);

        // A fresh instance from that state runs as the plug-in set there, bit for bit.
        Plugin fresh(VT4R_VST3_BUNDLE, link);
        ASSERT_TRUE(fresh.Ok()) << fresh.error;
        MemoryStream a(saved), b(saved);
        ASSERT_EQ(fresh.component->setState(&a), kResultOk);
        ASSERT_EQ(fresh.controller->setComponentState(&b), kResultOk);
        for (ParamID id = 0; id < 3; ++id)
            EXPECT_EQ(fresh.controller->getParamNormalized(id), host.Normalized(id, plain[id])) << id;
        ASSERT_TRUE(fresh.Activate(48000, 256, kSample32));
        Direct direct(48000, 256);
        for (int id = 0; id < 3; ++id)
            direct.plugin->Param(id)->SetClamped(plain[id]);
        long position = 0;
        for (int block = 0; block < 40; ++block) {
            Fill(fresh.buffers32, 256, position, 48000);
            direct.Run(fresh.buffers32, 256);
            ASSERT_EQ(fresh.Process(256), kResultOk);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    ASSERT_EQ(fresh.buffers32[2 + c][i], static_cast<float>(direct.buffers[2 + c][i]))
                        << block << " " << c << " " << i;
        }

        // Disconnected: the controller's changes stay with it.
        host.Disconnect();
        ASSERT_EQ(host.controller->setParamNormalized(0, host.Normalized(0, -20)), kResultOk);
        EXPECT_EQ(host.SaveComponent(), saved);
        EXPECT_EQ(host.host.liveMessages, 0);
    }

    // A host that releases the processor without disconnecting: the controller lets go of
    // it (a sanitizer build sees any use after the free).
    Plugin dropped(VT4R_VST3_BUNDLE, Link::Direct);
    ASSERT_TRUE(dropped.Ok()) << dropped.error;
    dropped.link = Link::Unconnected;
    for (FUnknown** object : {reinterpret_cast<FUnknown**>(&dropped.processorPoint),
                              reinterpret_cast<FUnknown**>(&dropped.processor),
                              reinterpret_cast<FUnknown**>(&dropped.component)}) {
        (*object)->release();
        *object = nullptr;
    }
    EXPECT_EQ(dropped.controller->setParamNormalized(0, 0.9), kResultOk);
    EXPECT_EQ(dropped.controller->getParamNormalized(0), 0.9);
}

// The controller's changes and saves on the main thread while the audio thread processes.
TEST(Vst3Plugin, ControllerChangesWhileProcessing) {
    Plugin host(VT4R_VST3_BUNDLE, Link::Direct);
    ASSERT_TRUE(host.Ok()) << host.error;
    ASSERT_TRUE(host.Activate(48000, 64, kSample32));
    std::thread audio([&] {
        for (int b = 0; b < 3000; ++b)
            host.Process(64);
    });
    std::vector<std::uint8_t> last;
    for (int i = 0; i < 300; ++i) {
        host.controller->setParamNormalized(0, i % 2 == 0 ? 0.2 : 0.8);
        last = host.SaveComponent();
    }
    audio.join();
    EXPECT_EQ(last, host.SaveComponent()) << "the last change was saved, and no block moved it";

    // While blocks flow, the host's late echo of its automation on the controller does not
    // undo the newer value the blocks carried.
    host.inputChanges.Add(0, 0.8, 0);
    host.Process(64);
    host.controller->setParamNormalized(0, 0.2);
    host.Process(64);
    double input = 0.0;
    const std::vector<std::uint8_t> state = host.SaveComponent();
    ASSERT_GE(state.size(), sizeof input);
    std::memcpy(&input, state.data(), sizeof input);
    EXPECT_EQ(input, 12.0);
}
