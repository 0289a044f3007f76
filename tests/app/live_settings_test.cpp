// Settings the callbacks read live change on the main thread while the
// callbacks run on threads of their own; the thread sanitizer build checks
// that this is free of data races, and that a plug-in taken away from the
// MIDI bridge is not touched afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "audio_engine.h"
#include "midi_bridge.h"
#include "test_plugin.h"

namespace {

struct CountingOutput : IMidiOutput {
    void SendMessage(const std::uint8_t*, int) override { sent.fetch_add(1); }
    std::atomic<int> sent{0};
};

} // namespace

TEST(LiveSettings, MonoInputChangesWhileTheAudioThreadRuns) {
    AppSettings settings;
    AudioEngine engine(settings);
    PassThroughPlugin plugin;
    engine.setPlugin(&plugin);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<double> in(512, 0.5);
        std::vector<double> out(512, 0.0);
        while (!stop.load()) {
            AudioEngine::streamCallback(out.data(), in.data(), 256, 0.0, 0, &engine);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        settings.monoinput.store(static_cast<std::uint16_t>(i & 1));
    }
    while (plugin.framesProcessed() < 256 * 10) {
        std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(plugin.framesProcessed(), 0u);
}

TEST(LiveSettings, MidiChannelsChangeAndThePluginLeavesWhileMessagesArrive) {
    AppSettings settings;
    MidiBridge bridge(settings, [] {});
    CountingOutput output;
    auto plugin = std::make_unique<TestPlugin>(IHostRecord{&output, &settings.outchan});
    bridge.setPlugin(plugin.get());

    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread midi([&] {
        std::vector<unsigned char> note{0x90, 0x3C, 0x64};
        while (!stop.load()) {
            MidiBridge::midiCallback(0.0, &note, &bridge);
            delivered.fetch_add(1);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        settings.inchan.store(static_cast<std::uint16_t>(i % 3));
        settings.outchan.store(static_cast<std::uint16_t>(i % 17));
    }
    while (delivered.load() < 100) {
        std::this_thread::yield();
    }
    bridge.setPlugin(nullptr);
    const int sentBefore = output.sent.load();
    plugin.reset(); // the callback thread keeps delivering, to no plug-in
    const int deliveredNow = delivered.load();
    while (delivered.load() < deliveredNow + 100) {
        std::this_thread::yield();
    }
    stop.store(true);
    midi.join();
    EXPECT_GT(sentBefore, 0);
    EXPECT_EQ(output.sent.load(), sentBefore) << "nothing reaches a plug-in that was taken away";
}
