#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "effect_base.h"

// Where a plug-in wrapper's host takes the editor's edits: a gesture begins, a
// parameter takes a normalised value, the gesture ends. [main thread]
class IHostEdits {
  public:
    virtual ~IHostEdits() = default;
    virtual void BeginEdit(std::int32_t index) = 0;
    virtual void Edit(std::int32_t index, double normalised) = 0;
    virtual void EndEdit(std::int32_t index) = 0;
};

// What the application or a plug-in wrapper hands to the plug-in factory:
// where MIDI goes and the output-channel setting (0 = leave channels, 1..16 =
// move to that channel), read live at every send; the host's name for the host
// id ("standalone" when null) and where the editor's edits go (nowhere when null).
struct IHostRecord {
    IMidiOutput* midiOutput = nullptr;
    const std::atomic<std::uint16_t>* midiOutputChannel = nullptr;
    const char* hostName = nullptr;
    IHostEdits* edits = nullptr;
};

// Adapts IEffectBase to a host that drives it directly: the standalone
// application, or a plug-in format's wrapper.
class IEffectStandalone : public IEffectBase {
  public:
    IEffectStandalone(const IHostRecord& host, std::int32_t paramCount, const char* channelLayouts,
                      std::int32_t presetCount, const char* effectName, const char* productName,
                      const char* makerName, std::int32_t version, std::int32_t uniqueId,
                      std::int32_t makerId, std::int32_t latency, bool doesMidi, bool stateChunks,
                      bool isInstrument, std::int32_t ignored);

    // [audio thread] Takes the plug-in lock for the whole block.
    void ProcessBlockLocked(double** inputs, double** outputs, std::int32_t frames);
    // [any thread] How often ProcessBlockLocked found the lock held by another
    // thread, and how long it waited in all and at most.
    struct LockWaits {
        std::uint64_t count, totalNs, longestNs;
    };
    LockWaits LockWaitsSoFar() const {
        return {mLockWaits.load(std::memory_order_relaxed), mLockWaitNs.load(std::memory_order_relaxed),
                mLongestLockWaitNs.load(std::memory_order_relaxed)};
    }

    // [MIDI input thread or main thread; no plug-in lock]
    // Sends message.length bytes (at most 3; 0 sends nothing and answers
    // false). With an output channel 1..16 set, channel messages (0x80..0xEF)
    // move to that channel; other statuses and other settings are left alone.
    bool SendMidiMessage(const MidiMessage& message) override;

    void BeginHostEdit(std::int32_t index) override;
    void ReportToHost(std::int32_t index, double normalised) override;
    void EndHostEdit(std::int32_t index) override;
    void HostNotification() override {}
    std::int32_t HostQuery() override { return 0; }
    double HostTempo() override { return 120.0; }
    void HostQuery1() override {}
    void HostQuery2() override {}
    void EditorResized(std::int32_t, std::int32_t) override {}
    void HostRequest() override {}
    void SetBlockFrames(std::int32_t frames) override { mBlockFrames = frames; }
    bool HostRequestBool() override { return false; }

    bool DoesMidi() const { return mDoesMidi; }

  private:
    bool mDoesMidi = false;
    IMidiOutput* mMidiOutput = nullptr;
    const std::atomic<std::uint16_t>* mMidiOutputChannel = nullptr;
    IHostEdits* mEdits = nullptr;
    // Written by the audio thread alone.
    std::atomic<std::uint64_t> mLockWaits{0}, mLockWaitNs{0}, mLongestLockWaitNs{0};
};

// Creates the one plug-in of this program while holding a process-wide lock.
// Defined by the plug-in.
std::unique_ptr<IEffectStandalone> CreatePlugin(const IHostRecord& host);
