#include "stream_processor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio_engine.h"
#include "test_plugin.h"

namespace {

// Exactly 2n samples, so the address sanitizer sees any access past a buffer.
struct DeviceBuffers {
    explicit DeviceBuffers(std::uint32_t n) : n(n), in(new double[2 * n]), out(new double[2 * n]) {
        for (std::uint32_t k = 0; k < 2 * n; ++k) {
            in[k] = 0.0;
            out[k] = 123.0; // stale device data the callback must overwrite
        }
    }
    double& inL(std::uint32_t k) { return in[k]; }
    double& inR(std::uint32_t k) { return in[n + k]; }
    double outL(std::uint32_t k) const { return out[k]; }
    double outR(std::uint32_t k) const { return out[n + k]; }

    std::uint32_t n;
    std::unique_ptr<double[]> in;
    std::unique_ptr<double[]> out;
};

void runMutedCallbacks(StreamProcessor& processor, IEffectStandalone& plugin, std::uint32_t n) {
    DeviceBuffers buffers(n);
    for (std::uint32_t i = 0; i < StreamProcessor::kMutedCallbacks; ++i) {
        processor.process(buffers.out.get(), buffers.in.get(), n, false, &plugin, false);
    }
}

// Every call must stay inside its own channel of the buffer it was given.
void expectCallsInside(const TestPlugin& plugin, const DeviceBuffers& b, bool mono) {
    for (std::size_t i = 0; i < plugin.callCount() && i < TestPlugin::kMaxCalls; ++i) {
        const TestPlugin::Call& c = plugin.call(i);
        const double* in = b.in.get();
        const double* out = b.out.get();
        ASSERT_GE(c.frames, 1);
        ASSERT_GE(c.in[0], in);
        ASSERT_LE(c.in[0] + c.frames, in + b.n);
        if (mono) {
            ASSERT_EQ(c.in[1], c.in[0]);
        } else {
            ASSERT_GE(c.in[1], in + b.n);
            ASSERT_LE(c.in[1] + c.frames, in + 2 * b.n);
            ASSERT_EQ(c.in[1] - c.in[0], static_cast<std::ptrdiff_t>(b.n));
        }
        ASSERT_GE(c.out[0], out);
        ASSERT_LE(c.out[0] + c.frames, out + b.n);
        ASSERT_EQ(c.out[1] - c.out[0], static_cast<std::ptrdiff_t>(b.n));
        ASSERT_EQ(c.out[0] - out, c.in[0] - in);
    }
}

} // namespace

TEST(StreamMute, FirstFiftyOneCallbacksAfterResetAreSilentAndSkipThePlugin) {
    StreamProcessor processor;
    processor.reset(32);
    TestPlugin plugin;
    DeviceBuffers b(64);
    for (int round = 0; round < 2; ++round) { // a reopen mutes again
        processor.reset(32);
        for (std::uint32_t i = 0; i < 51; ++i) {
            for (std::uint32_t k = 0; k < 64; ++k) {
                b.inL(k) = 1.0;
                b.inR(k) = -1.0;
                b.out[k] = b.out[64 + k] = 7.0;
            }
            processor.process(b.out.get(), b.in.get(), 64, false, &plugin, false);
            for (std::uint32_t k = 0; k < 128; ++k) {
                ASSERT_EQ(b.out[k], 0.0) << "callback " << i;
            }
            EXPECT_EQ(processor.frameCounter(), 0u);
        }
        EXPECT_EQ(plugin.callCount(), 0u);
        EXPECT_EQ(processor.callbackCount(), 51u);

        processor.process(b.out.get(), b.in.get(), 64, false, &plugin, false);
        EXPECT_EQ(plugin.callCount(), 2u);
        plugin.forgetCalls();
    }
}

TEST(StreamMute, ZeroFrameCallbackOnlyCounts) {
    StreamProcessor processor;
    processor.reset(32);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 32);
    DeviceBuffers b(1);
    EXPECT_EQ(processor.process(b.out.get(), b.in.get(), 0, false, &plugin, false), 0);
    EXPECT_EQ(processor.callbackCount(), 52u);
    EXPECT_EQ(plugin.callCount(), 0u);
    EXPECT_EQ(processor.fadeGain(), 0.0);
    EXPECT_EQ(processor.frameCounter(), 0u);
}

TEST(StreamSubBlocks, PowerOfTwoBufferIsCutAtEverySubBlockStart) {
    StreamProcessor processor;
    processor.reset(32);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 512);
    DeviceBuffers b(512);
    for (int callback = 0; callback < 3; ++callback) {
        plugin.forgetCalls();
        processor.process(b.out.get(), b.in.get(), 512, false, &plugin, false);
        ASSERT_EQ(plugin.callCount(), 16u);
        for (std::size_t i = 0; i < 16; ++i) {
            EXPECT_EQ(plugin.call(i).frames, 32);
            EXPECT_EQ(plugin.call(i).in[0], b.in.get() + 32 * i);
            EXPECT_EQ(plugin.call(i).in[1], b.in.get() + 512 + 32 * i);
            EXPECT_EQ(plugin.call(i).out[0], b.out.get() + 32 * i);
            EXPECT_EQ(plugin.call(i).out[1], b.out.get() + 512 + 32 * i);
        }
        EXPECT_EQ(processor.frameCounter(), 0u);
    }
}

TEST(StreamSubBlocks, UnusableSizesFallBackToTheDefault) {
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(0), 32u);
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(0xFFFFFFE0u), 32u); // "-32" after wrapping
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(8193), 32u);
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(8192), 8192u);
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(1), 1u);
    EXPECT_EQ(StreamProcessor::usableSubBlockSize(7), 7u);

    StreamProcessor processor;
    processor.reset(0);
    EXPECT_EQ(processor.subBlockSize(), 32u);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 64);
    DeviceBuffers b(64);
    processor.process(b.out.get(), b.in.get(), 64, false, &plugin, false);
    EXPECT_EQ(plugin.callCount(), 2u);
}

// The heart of the matter: for any sequence of buffer lengths the library may
// deliver, the plug-in sees the signal exactly once and in order, never
// outside a buffer, and with block boundaries on the sub-block grid.
TEST(StreamSubBlocks, AnyBufferLengthGivesTheSameSamplesAsOnePass) {
    const std::vector<std::uint32_t> lengths = {1,  7,   31, 32, 33,   100, 255, 256, 257, 3, 1024,
                                                17, 500, 2,  64, 4095, 9,   96,  1,   1,   5, 333};
    for (std::uint32_t subBlock : {1u, 7u, 16u, 32u, 100u, 1024u, 8192u}) {
        SCOPED_TRACE("sub-block size " + std::to_string(subBlock));
        StreamProcessor processor;
        processor.reset(subBlock);
        TestPlugin plugin;
        runMutedCallbacks(processor, plugin, 256);

        std::vector<double> signalL;
        std::vector<double> signalR;
        std::vector<double> deviceL;
        std::vector<double> deviceR;
        std::vector<double> expectedGain;
        double fade = 0.0;
        std::uint64_t position = 0; // frames since the plug-in first ran
        for (std::size_t round = 0; round < 3; ++round) {
            for (std::uint32_t n : lengths) {
                DeviceBuffers b(n);
                for (std::uint32_t k = 0; k < n; ++k) {
                    b.inL(k) = std::sin(0.01 * static_cast<double>(signalL.size() + k));
                    b.inR(k) = std::cos(0.013 * static_cast<double>(signalL.size() + k));
                    signalL.push_back(b.inL(k));
                    signalR.push_back(b.inR(k));
                    if (fade < 1.0) {
                        fade += 1.0 / n;
                    }
                    expectedGain.push_back(fade);
                }
                plugin.forgetCalls();
                processor.process(b.out.get(), b.in.get(), n, false, &plugin, false);
                expectCallsInside(plugin, b, false);
                std::uint32_t covered = 0;
                for (std::size_t i = 0; i < plugin.callCount(); ++i) {
                    const TestPlugin::Call& c = plugin.call(i);
                    ASSERT_EQ(c.in[0], b.in.get() + covered) << "calls must follow each other";
                    const std::uint64_t gridOffset = position % subBlock;
                    ASSERT_LE(gridOffset + static_cast<std::uint64_t>(c.frames), subBlock)
                        << "a call crosses a sub-block boundary";
                    position += static_cast<std::uint64_t>(c.frames);
                    covered += static_cast<std::uint32_t>(c.frames);
                }
                ASSERT_EQ(covered, n);
                for (std::uint32_t k = 0; k < n; ++k) {
                    deviceL.push_back(b.outL(k));
                    deviceR.push_back(b.outR(k));
                }
            }
        }

        TestPlugin reference;
        std::vector<double> refL(signalL.size());
        std::vector<double> refR(signalR.size());
        double* ins[2] = {signalL.data(), signalR.data()};
        double* outs[2] = {refL.data(), refR.data()};
        reference.ProcessBlockLocked(ins, outs, static_cast<std::int32_t>(signalL.size()));
        for (std::size_t k = 0; k < refL.size(); ++k) {
            ASSERT_EQ(deviceL[k], refL[k] * expectedGain[k] * 0.25) << "frame " << k;
            ASSERT_EQ(deviceR[k], refR[k] * expectedGain[k] * 0.25) << "frame " << k;
        }
    }
}

TEST(StreamSubBlocks, BufferShorterThanTheSubBlockIsHandedOverInPieces) {
    StreamProcessor processor;
    processor.reset(64);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 16);
    for (int callback = 0; callback < 8; ++callback) {
        DeviceBuffers b(16);
        plugin.forgetCalls();
        processor.process(b.out.get(), b.in.get(), 16, false, &plugin, false);
        ASSERT_EQ(plugin.callCount(), 1u);
        EXPECT_EQ(plugin.call(0).frames, 16);
        EXPECT_EQ(processor.frameCounter(), static_cast<std::uint32_t>((callback + 1) * 16 % 64));
    }
}

TEST(StreamFade, RisesOverOneBufferThenOutputIsAQuarter) {
    StreamProcessor processor;
    processor.reset(32);
    PassThroughPlugin plugin;
    const std::uint32_t n = 256;
    DeviceBuffers muted(n);
    for (std::uint32_t i = 0; i < 51; ++i) {
        processor.process(muted.out.get(), muted.in.get(), n, false, &plugin, false);
    }
    DeviceBuffers b(n);
    for (std::uint32_t k = 0; k < n; ++k) {
        b.inL(k) = 1.0;
        b.inR(k) = -0.5;
    }
    processor.process(b.out.get(), b.in.get(), n, false, &plugin, false);
    EXPECT_EQ(b.outL(0), 1.0 / n * 0.25); // the 52nd callback's first frame
    EXPECT_EQ(b.outR(0), -0.5 / n * 0.25);
    for (std::uint32_t k = 0; k < n; ++k) {
        EXPECT_EQ(b.outL(k), (k + 1.0) / n * 0.25) << k;
    }
    EXPECT_EQ(processor.fadeGain(), 1.0);

    for (std::uint32_t k = 0; k < n; ++k) {
        b.inL(k) = 1.0;
        b.inR(k) = 1.0;
    }
    processor.process(b.out.get(), b.in.get(), n, false, &plugin, false);
    for (std::uint32_t k = 0; k < 2 * n; ++k) {
        ASSERT_EQ(b.out[k], 0.25);
    }
}

TEST(StreamMono, LeftInputFeedsBothPluginInputs) {
    StreamProcessor processor;
    processor.reset(32);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 64);
    DeviceBuffers b(64);
    for (std::uint32_t k = 0; k < 64; ++k) {
        b.inL(k) = 0.0;
        b.inR(k) = 1.0; // only the right channel carries signal
    }
    processor.process(b.out.get(), b.in.get(), 64, false, &plugin, true);
    expectCallsInside(plugin, b, true);
    ASSERT_EQ(plugin.callCount(), 2u);
    for (std::size_t i = 0; i < plugin.callCount(); ++i) {
        const TestPlugin::Call& c = plugin.call(i);
        for (std::int32_t k = 0; k < c.frames; ++k) {
            EXPECT_EQ(c.in[0][k], 0.0);
            EXPECT_EQ(c.in[1][k], 0.0);
        }
    }
    // Both plug-in outputs then see the same signal.
    for (std::uint32_t k = 0; k < 64; ++k) {
        EXPECT_EQ(b.outL(k), b.outR(k));
    }
}

TEST(StreamStatus, UnderflowIsReportedOncePerCallbackAndAudioGoesOn) {
    StreamProcessor processor;
    processor.reset(32);
    PassThroughPlugin plugin;
    DeviceBuffers muted(32);
    for (std::uint32_t i = 0; i < 51; ++i) {
        processor.process(muted.out.get(), muted.in.get(), 32, false, &plugin, false);
    }
    DeviceBuffers b(32);
    for (std::uint32_t k = 0; k < 64; ++k) {
        b.in[k] = 1.0;
    }
    testing::internal::CaptureStdout();
    processor.process(b.out.get(), b.in.get(), 32, true, &plugin, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Stream underflow detected!\n");
    EXPECT_EQ(plugin.framesProcessed(), 32u);
    EXPECT_EQ(b.outL(31), 0.25);
}

TEST(StreamCallback, EngineCallbackReadsMonoSettingLive) {
    AppSettings settings;
    AudioEngine engine(settings);
    TestPlugin plugin;
    engine.setPlugin(&plugin);
    DeviceBuffers b(32);
    for (std::uint32_t i = 0; i < 51; ++i) {
        EXPECT_EQ(AudioEngine::streamCallback(b.out.get(), b.in.get(), 32, 0.0, 0, &engine), 0);
    }
    EXPECT_EQ(plugin.callCount(), 0u);

    settings.monoinput.store(1);
    AudioEngine::streamCallback(b.out.get(), b.in.get(), 32, 0.0, 0, &engine);
    ASSERT_EQ(plugin.callCount(), 1u);
    EXPECT_EQ(plugin.call(0).in[1], plugin.call(0).in[0]);

    settings.monoinput.store(0);
    AudioEngine::streamCallback(b.out.get(), b.in.get(), 32, 0.0, 0, &engine);
    ASSERT_EQ(plugin.callCount(), 2u);
    EXPECT_EQ(plugin.call(1).in[1], b.in.get() + 32);
}

TEST(StreamCallback, WithoutAPluginTheOutputIsSilent) {
    StreamProcessor processor;
    processor.reset(32);
    TestPlugin plugin;
    runMutedCallbacks(processor, plugin, 32);
    DeviceBuffers b(32);
    b.in[0] = 1.0;
    processor.process(b.out.get(), b.in.get(), 32, false, nullptr, false);
    for (std::uint32_t k = 0; k < 64; ++k) {
        ASSERT_EQ(b.out[k], 0.0);
    }
}
