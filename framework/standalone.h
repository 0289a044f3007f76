#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "effect_base.h"

// What the application hands to the plug-in factory: where MIDI goes and the
// output-channel setting (0 = leave channels, 1..16 = move to that channel),
// read live at every send.
struct IHostRecord {
    IMidiOutput* midiOutput = nullptr;
    const std::atomic<std::uint16_t>* midiOutputChannel = nullptr;
};

// Adapts IEffectBase to a standalone application.
class IEffectStandalone : public IEffectBase {
  public:
    IEffectStandalone(const IHostRecord& host, std::int32_t paramCount, const char* channelLayouts,
                      std::int32_t presetCount, const char* effectName, const char* productName,
                      const char* makerName, std::int32_t version, std::int32_t uniqueId,
                      std::int32_t makerId, std::int32_t latency, bool doesMidi, bool stateChunks,
                      bool isInstrument, std::int32_t ignored);

    // [audio thread] Takes the plug-in lock for the whole block.
    void ProcessBlockLocked(double** inputs, double** outputs, std::int32_t frames);

    // [MIDI input thread or main thread; no plug-in lock]
    // Sends message.length bytes (at most 3; 0 sends nothing and answers
    // false). With an output channel 1..16 set, channel messages (0x80..0xEF)
    // move to that channel; other statuses and other settings are left alone.
    bool SendMidiMessage(const MidiMessage& message) override;

    void BeginHostEdit(std::int32_t) override {}
    void ReportToHost(std::int32_t, double) override {}
    void EndHostEdit(std::int32_t) override {}
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
};

// Creates the one plug-in of this program while holding a process-wide lock.
// Defined by the plug-in.
std::unique_ptr<IEffectStandalone> CreatePlugin(const IHostRecord& host);
