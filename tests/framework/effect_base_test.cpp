#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "test_effect.h"

#if !defined(_WIN32)
#include <pthread.h>
#include <sched.h>
#include <time.h>
#endif

namespace {

// The base alone, with the host operations filled in and nothing else.
class BareEffect : public IEffectBase {
  public:
    explicit BareEffect(const char* layouts, std::int32_t params = 0)
        : IEffectBase(params, layouts, 1, "Bare", "Product", "Maker", 0x10000, 1, 2, 64, false, true, false) {
    }
    void BeginHostEdit(std::int32_t) override {}
    void ReportToHost(std::int32_t, double) override {}
    void EndHostEdit(std::int32_t) override {}
    void HostNotification() override {}
    std::int32_t HostQuery() override { return 0; }
    double HostTempo() override { return 0.0; }
    void HostQuery1() override {}
    void HostQuery2() override {}
    void EditorResized(std::int32_t, std::int32_t) override {}
    void HostRequest() override {}
    bool SendMidiMessage(const MidiMessage&) override { return false; }
    bool HostRequestBool() override { return false; }

    double* InputSlot(std::size_t i) const { return mInputPtrs[i]; }
    double* OutputSlot(std::size_t i) const { return mOutputPtrs[i]; }
};

std::vector<std::pair<int, int>> Layouts(const IEffectBase& effect) {
    std::vector<std::pair<int, int>> out;
    for (const IChannelLayout& l : effect.ChannelLayouts())
        out.emplace_back(l.inputs, l.outputs);
    return out;
}

using LayoutList = std::vector<std::pair<int, int>>;

TEST(ChannelLayouts, EachSpaceSeparatedPairIsALayout) {
    BareEffect stereo("1-1 2-2");
    EXPECT_EQ(Layouts(stereo), (LayoutList{{1, 1}, {2, 2}}));
    EXPECT_EQ(stereo.InputCount(), 2);
    EXPECT_EQ(stereo.OutputCount(), 2);

    BareEffect asym("2-1");
    EXPECT_EQ(Layouts(asym), (LayoutList{{2, 1}}));
    EXPECT_EQ(asym.InputCount(), 2);
    EXPECT_EQ(asym.OutputCount(), 1);
}

TEST(ChannelLayouts, MissingNumbersCountAsZero) {
    EXPECT_EQ(Layouts(BareEffect("1")), (LayoutList{{1, 0}}));
    EXPECT_EQ(Layouts(BareEffect("x-3")), (LayoutList{{0, 0}}));
    EXPECT_EQ(Layouts(BareEffect("3-")), (LayoutList{{3, 0}}));
    EXPECT_EQ(Layouts(BareEffect("2 -1")), (LayoutList{{2, 0}, {-1, 0}}));

    BareEffect empty("");
    EXPECT_EQ(Layouts(empty), (LayoutList{{0, 0}}));
    EXPECT_EQ(empty.InputCount(), 0);
    BareEffect absent(nullptr);
    EXPECT_TRUE(absent.ChannelLayouts().empty());
    EXPECT_EQ(absent.OutputCount(), 0);
}

TEST(ChannelLayouts, TwoSpacesRepeatTheFollowingPair) {
    EXPECT_EQ(Layouts(BareEffect("1-1  2-2")), (LayoutList{{1, 1}, {2, 2}, {2, 2}}));
    EXPECT_EQ(Layouts(BareEffect("1-1 ")), (LayoutList{{1, 1}, {0, 0}}));
}

TEST(ChannelLayouts, AbsurdNumbersNeitherOverflowNorExhaustMemory) {
    BareEffect huge("99999999999999-2 -5--5");
    EXPECT_EQ(Layouts(huge), (LayoutList{{2147483647, 2}, {-5, -5}}));
    EXPECT_EQ(huge.InputCount(), 256);
    EXPECT_EQ(huge.OutputCount(), 2);
}

TEST(Channels, BaseStartsDisconnectedAndConnectsByRange) {
    BareEffect effect("4-4");
    EXPECT_FALSE(effect.IsOutputConnected(0));
    effect.SetOutputConnections(1, 2, true);
    EXPECT_FALSE(effect.IsOutputConnected(0));
    EXPECT_TRUE(effect.IsOutputConnected(1));
    EXPECT_TRUE(effect.IsOutputConnected(2));
    EXPECT_FALSE(effect.IsOutputConnected(3));
    EXPECT_FALSE(effect.IsOutputConnected(4));
    EXPECT_FALSE(effect.IsOutputConnected(-1));

    effect.SetInputConnections(-3, 5, true);
    EXPECT_TRUE(effect.IsInputConnected(0));
    EXPECT_TRUE(effect.IsInputConnected(1));
    EXPECT_FALSE(effect.IsInputConnected(2));
    effect.SetInputConnections(2, std::numeric_limits<std::int32_t>::max(), true);
    EXPECT_TRUE(effect.IsInputConnected(3));
}

TEST(Channels, DisconnectedSlotsFollowTheirScratchBuffers) {
    BareEffect effect("2-2");
    effect.SetInputConnections(0, 2, false);
    EXPECT_EQ(effect.InputSlot(0), nullptr) << "no scratch buffer yet";

    effect.SetBlockFrames(64);
    EXPECT_EQ(effect.BlockFrames(), 64);
    ASSERT_NE(effect.InputSlot(0), nullptr);
    EXPECT_EQ(effect.InputSlot(0)[63], 0.0);

    // Growing moves the buffers; the slots must not dangle.
    effect.SetBlockFrames(100000);
    ASSERT_NE(effect.InputSlot(1), nullptr);
    effect.InputSlot(1)[99999] = 1.0;
    effect.SetOutputConnections(0, 1, false);
    ASSERT_NE(effect.OutputSlot(0), nullptr);
    effect.OutputSlot(0)[99999] = 1.0;

    effect.SetBlockFrames(-5);
    EXPECT_EQ(effect.InputSlot(0), nullptr);
}

TEST(DefaultProcess, CopiesMatchingChannelsAndSilencesTheRest) {
    BareEffect stereo("2-2");
    std::vector<double> inL{1, 2, 3}, inR{4, 5, 6}, outL(3, 9), outR(3, 9);
    double* in[] = {inL.data(), inR.data()};
    double* out[] = {outL.data(), outR.data()};
    stereo.process(in, out, 3);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, inR);

    BareEffect monoToStereo("1-2");
    std::fill(outL.begin(), outL.end(), 9.0);
    std::fill(outR.begin(), outR.end(), 9.0);
    monoToStereo.process(in, out, 3);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, (std::vector<double>{0, 0, 0}));

    double* inPlace[] = {inL.data(), inR.data()};
    stereo.process(inPlace, inPlace, 3);
    EXPECT_EQ(inL, (std::vector<double>{1, 2, 3}));
    stereo.process(in, out, 0);
    stereo.process(in, out, -1);
}

TEST(DefaultProcess, SingleFloatsToo) {
    BareEffect effect("1-1");
    float in[] = {0.5f, -0.5f};
    float out[] = {0.0f, 0.0f};
    float* ins[] = {in};
    float* outs[] = {out};
    effect.processSingle(ins, outs, 2);
    EXPECT_EQ(out[1], -0.5f);
}

TEST(Construction, RecordsNamesIdsAndFreshState) {
    BareEffect effect("1-1", 2);
    EXPECT_STREQ(effect.EffectName(), "Bare");
    EXPECT_STREQ(effect.ProductName(), "Product");
    EXPECT_STREQ(effect.MakerName(), "Maker");
    EXPECT_EQ(effect.Version(), 0x10000);
    EXPECT_EQ(effect.LatencySamples(), 64);
    EXPECT_TRUE(effect.DoesStateChunks());
    EXPECT_EQ(effect.HostId(), -1);
    EXPECT_EQ(effect.HostVersion(), 0);
    EXPECT_EQ(effect.SampleRateHz(), 44100.0);
    EXPECT_EQ(effect.BlockFrames(), 0);
    EXPECT_EQ(effect.ParamCount(), 2);
    EXPECT_EQ(effect.Param(1)->Kind(), Unset);
    EXPECT_EQ(effect.Param(2), nullptr);
    EXPECT_EQ(effect.Param(-1), nullptr);
    EXPECT_EQ(effect.PresetCount(), 1);
    EXPECT_STREQ(effect.PresetSlot(0)->name, "empty");
    EXPECT_FALSE(effect.PresetSlot(0)->initialised);
    EXPECT_EQ(effect.Editor(), nullptr);

    char text[8] = "note";
    EXPECT_FALSE(effect.MidiNoteText(60, text));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(effect.AboutBoxRequested());

    const std::string longName(300, 'n');
    IEffectStandalone named({}, 0, nullptr, 0, longName.c_str(), nullptr, nullptr, 1, 0, 0, 0, false, false,
                            false, 0);
    EXPECT_EQ(std::string(named.EffectName()), longName.substr(0, 127));
    EXPECT_STREQ(named.MakerName(), "");
    EXPECT_EQ(FourCC("VT4R"), 0x56543452);
}

TEST(GuiEdits, ChoiceSnapsButTheHostHearsTheRawValue) {
    TestEffect effect;
    effect.SetParameterFromGUI(2, 0.6);
    EXPECT_EQ(effect.Param(2)->Value(), 1.0);
    ASSERT_EQ(effect.reported.size(), 1u);
    EXPECT_EQ(effect.reported[0], (std::pair<std::int32_t, double>{2, 0.6}));
    EXPECT_EQ(effect.changed, (std::vector<std::int32_t>{2}));

    effect.SetParameterFromGUI(0, 0.75);
    EXPECT_EQ(effect.Param(0)->Value(), 10.0);
}

TEST(GuiEdits, IndicesOutsideTheParametersAreIgnored) {
    TestEffect effect;
    effect.SetParameterFromGUI(4, 0.5);
    effect.SetParameterFromGUI(-1, 0.5);
    EXPECT_TRUE(effect.reported.empty());
    EXPECT_TRUE(effect.changed.empty());
}

TEST(GuiEdits, WaitForTheBlockInProgress) {
    // A block reads every parameter twice; an edit must never land between.
    class Checker : public TestEffect {
      public:
        void process(double**, double**, std::int32_t) override {
            const double first = Param(0)->Value();
            for (int i = 0; i < 200; ++i) {
                if (Param(0)->Value() != first)
                    torn = true;
            }
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
        std::atomic<bool> torn{false};
        std::atomic<int> blocks{0};
    } effect;

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load())
            effect.ProcessBlockLocked(nullptr, nullptr, 64);
    });
    for (int i = 0; i < 2000; ++i)
        effect.SetParameterFromGUI(0, (i % 100) / 100.0);
    while (effect.blocks.load() < 10)
        std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_FALSE(effect.torn.load());
}

TEST(Editor, AttachPushesNormalisedValuesThenPreparesDrawing) {
    TestEffect effect;
    effect.SetValues(10.0, -20.0, 1.0);
    bool destroyed = false;
    auto* editor = new RecordingEditor(&destroyed);
    effect.AttachEditor(editor);
    EXPECT_EQ(effect.Editor(), editor);
    EXPECT_EQ(editor->pushes, (std::vector<Push>{{0, 0.75, true}, {1, 0.0, true}, {2, 1.0, true}}));
    EXPECT_EQ(editor->preparedAfter, 3);

    effect.AttachEditor(nullptr);
    EXPECT_EQ(effect.Editor(), editor);
    effect.AttachEditor(editor);
    EXPECT_FALSE(destroyed) << "re-attaching the same editor keeps it alive";
    EXPECT_EQ(editor->preparedAfter, 6);

    editor->pushes.clear();
    effect.RefreshEditorFromParameters();
    EXPECT_EQ(editor->pushes, (std::vector<Push>{{0, 10.0, false}, {1, -20.0, false}, {2, 1.0, false}}));
}

TEST(Editor, IsDestroyedWithThePlugin) {
    bool destroyed = false;
    {
        TestEffect effect;
        effect.AttachEditor(new RecordingEditor(&destroyed));
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(Lock, IsReentrantForTheHoldingThread) {
    TestEffect effect;
    std::lock_guard<PluginLock> held(effect.Lock());
    IStateChunk chunk;
    EXPECT_TRUE(effect.SaveState(chunk));
    EXPECT_EQ(effect.LoadState(chunk, 0), 24);
    effect.ResetProcessing();
    effect.LockedHook();
    effect.SetParameterFromGUI(1, 1.0);
    EXPECT_EQ(effect.Param(1)->Value(), 20.0);
}

#if !defined(_WIN32)
// Priority inversion on one processor: an ordinary holder of the lock (lowest
// priority here), a busy thread above it, and the audio thread above both,
// waiting for the lock. The holder must run at the audio thread's priority
// until it lets go; otherwise the busy thread keeps the audio thread waiting
// for as long as it spins.
TEST(Lock, LendsTheWaitingAudioThreadsPriorityToTheHolder) {
    TestEffect effect;
    ASSERT_TRUE(effect.Lock().inheritsPriority());
    cpu_set_t allowed;
    ASSERT_EQ(0, sched_getaffinity(0, sizeof allowed, &allowed));
    // The three on one processor, this thread on another, so that it can
    // start them while they spin.
    int cpu = 0, other = 0;
    while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &allowed)) ++cpu;
    for (other = cpu + 1; other < CPU_SETSIZE && !CPU_ISSET(other, &allowed);) ++other;
    if (other >= CPU_SETSIZE) GTEST_SKIP() << "needs two processors";
    cpu_set_t mine;
    CPU_ZERO(&mine);
    CPU_SET(other, &mine);
    ASSERT_EQ(0, pthread_setaffinity_np(pthread_self(), sizeof mine, &mine));
    std::atomic<int> failed{0};
    auto becomeRealtime = [&](int priority) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        const sched_param param{priority};
        // The priority first: on the processor the others spin on, an
        // ordinary thread would not run again.
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0 ||
            pthread_setaffinity_np(pthread_self(), sizeof one, &one) != 0)
            failed = 1;
    };
    auto cpuSeconds = [] {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec * 1e-9;
    };
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> held{false}, spinning{false}, audioWaiting{false}, done{false};
    std::atomic<double> waitedMs{-1};

    std::thread holder([&] {
        becomeRealtime(1);
        std::lock_guard<PluginLock> lock(effect.Lock());
        held = true;
        // Until the audio thread waits, then 5 ms of its own processor time:
        // it makes progress only while it runs.
        while (!audioWaiting && !failed) {
        }
        const double start = cpuSeconds();
        while (cpuSeconds() - start < 0.005 && !failed) {
        }
    });
    while (!held) std::this_thread::yield();
    std::thread busy([&] {
        becomeRealtime(2);
        spinning = true;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(600);
        while (!done && !failed && Clock::now() < end) {
        }
    });
    while (!spinning) std::this_thread::yield();
    std::thread audio([&] {
        becomeRealtime(3);
        const Clock::time_point start = Clock::now();
        audioWaiting = true;
        effect.ProcessBlockLocked(nullptr, nullptr, 0);
        waitedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        done = true;
    });
    audio.join();
    busy.join();
    holder.join();
    pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
    if (failed) GTEST_SKIP() << "no realtime scheduling for this process";
    EXPECT_LT(waitedMs.load(), 300.0) << "the busy thread kept the holder from letting go";
    // The block counted its wait.
    const IEffectStandalone::LockWaits waits = effect.LockWaitsSoFar();
    EXPECT_EQ(waits.count, 1u);
    EXPECT_EQ(waits.totalNs, waits.longestNs);
    EXPECT_GT(waits.longestNs, 1000000u) << "the holder's 5 ms";
    EXPECT_LE(waits.longestNs / 1e6, waitedMs.load());
}
#endif

} // namespace
