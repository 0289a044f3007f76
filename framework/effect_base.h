#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor_link.h"
#include "midi_message.h"
#include "parameter.h"
#include "plugin_lock.h"
#include "state_chunk.h"

struct IPresetSlot {
    bool initialised = false;
    char name[256] = "empty";
    IStateChunk chunk;
};

struct IChannelLayout {
    std::int32_t inputs = 0;
    std::int32_t outputs = 0;
};

struct IInputChannel {
    bool connected = false;
    double** slot = nullptr; // entry i of the base's input pointers
    std::vector<double> scratch;
};

struct IOutputChannel {
    bool connected = false;
    double** slot = nullptr;            // entry i of the base's output pointers
    float* singleDestination = nullptr; // always null here
    std::vector<double> scratch;
};

// Base of every plug-in: owns parameters, presets, channel records and the
// editor, and holds the one recursive lock that keeps processing and
// parameter changes apart.
class IEffectBase {
  public:
    IEffectBase(std::int32_t paramCount, const char* channelLayouts, std::int32_t presetCount,
                const char* effectName, const char* productName, const char* makerName, std::int32_t version,
                std::int32_t uniqueId, std::int32_t makerId, std::int32_t latency, bool doesMidi,
                bool stateChunks, bool isInstrument);
    IEffectBase(const IEffectBase&) = delete;
    IEffectBase& operator=(const IEffectBase&) = delete;

    // ---- virtual operations, in slot order ----
    virtual ~IEffectBase();
    virtual void ResetProcessing();
    virtual void ParameterChanged(std::int32_t index);
    // [audio thread, plug-in lock held by the caller]
    virtual void process(double** inputs, double** outputs, std::int32_t frames);
    virtual void processSingle(float** inputs, float** outputs, std::int32_t frames);
    virtual void EditorOpened() {}
    virtual void NotificationHook1() {}
    virtual void NotificationHook2() {}
    virtual void LockedHook();
    // [MIDI input thread or main thread; no lock]
    virtual void HandleMidiMessage(const MidiMessage& message);
    virtual bool MidiNoteText(std::int32_t note, char* text);
    virtual bool SaveState(IStateChunk& chunk);
    virtual std::int32_t LoadState(const IStateChunk& chunk, std::int32_t start);
    virtual void BeginHostEdit(std::int32_t index) = 0;
    virtual void ReportToHost(std::int32_t index, double normalised) = 0;
    virtual void EndHostEdit(std::int32_t index) = 0;
    virtual void HostNotification() = 0;
    virtual std::int32_t HostQuery() = 0;
    virtual double HostTempo() = 0;
    virtual void HostQuery1() = 0;
    virtual void HostQuery2() = 0;
    virtual std::int32_t HostId();
    virtual void EditorResized(std::int32_t width, std::int32_t height) = 0;
    virtual void Hook() {}
    virtual bool AboutBoxRequested() { return false; }
    virtual void HostRequest() = 0;
    // Takes ownership of the editor.
    virtual void AttachEditor(IEditorLink* editor);
    virtual void SetBlockFrames(std::int32_t frames);
    virtual void SetLatencySamples(std::int32_t samples);
    virtual bool SendMidiMessage(const MidiMessage& message) = 0;
    virtual bool HostRequestBool() = 0;
    virtual bool SerializeParams(IStateChunk& chunk);
    virtual std::int32_t UnserializeParams(const IStateChunk& chunk, std::int32_t start);
    virtual void RefreshEditorFromParameters();
    virtual bool SerializePresets(IStateChunk& chunk);
    virtual std::int32_t UnserializePresets(const IStateChunk& chunk, std::int32_t start);
    virtual void PresetRestored() {}

    // ---- non-virtual operations ----
    // [main thread] Takes the plug-in lock.
    void SetParameterFromGUI(std::int32_t index, double normalised);
    void SetHost(const char* hostName, std::int32_t version);
    void SetSampleRateHz(double rate) { mSampleRate = rate; }
    double SampleRateHz() const { return mSampleRate; }
    std::int32_t BlockFrames() const { return mBlockFrames; }
    std::int32_t LatencySamples() const { return mLatency; }
    std::int32_t HostVersion() const { return mHostVersion; }

    // None (nullptr) for an index outside 0 .. count - 1.
    IParameter* Param(std::int32_t index);
    const IParameter* Param(std::int32_t index) const;
    std::int32_t ParamCount() const { return static_cast<std::int32_t>(mParams.size()); }
    std::int32_t InputCount() const { return static_cast<std::int32_t>(mInputs.size()); }
    std::int32_t OutputCount() const { return static_cast<std::int32_t>(mOutputs.size()); }
    const std::vector<IChannelLayout>& ChannelLayouts() const { return mLayouts; }
    IEditorLink* Editor() const { return mEditor.get(); }

    // Indices outside the channel records are skipped. A disconnected channel's
    // slot points at its scratch buffer (null while that is empty).
    void SetInputConnections(std::int32_t first, std::int32_t count, bool connected);
    void SetOutputConnections(std::int32_t first, std::int32_t count, bool connected);
    bool IsInputConnected(std::int32_t index) const;
    bool IsOutputConnected(std::int32_t index) const;

    bool LoadPresetSlot(std::int32_t index);
    void CapturePresets(const char* name, std::int32_t count);
    // "user preset N", N = 1 + the number of slots whose name contains "user preset".
    void NextUserPresetName(char* buffer, std::size_t size) const;
    std::int32_t PresetCount() const { return static_cast<std::int32_t>(mPresets.size()); }
    const IPresetSlot* PresetSlot(std::int32_t index) const;
    std::int32_t CurrentPresetIndex() const { return mCurrentPreset; }

    const char* EffectName() const { return mEffectName; }
    const char* ProductName() const { return mProductName; }
    const char* MakerName() const { return mMakerName; }
    std::int32_t UniqueId() const { return mUniqueId; }
    std::int32_t MakerId() const { return mMakerId; }
    std::int32_t Version() const { return mVersion; }
    bool DoesStateChunks() const { return mStateChunks; }
    bool IsInstrument() const { return mIsInstrument; }

    PluginLock& Lock() { return mLock; }

  protected:
    std::vector<IChannelLayout> mLayouts;
    PluginLock mLock;
    char mEffectName[128] = {};
    char mProductName[128] = {};
    char mMakerName[128] = {};
    std::int32_t mUniqueId = 0;
    std::int32_t mMakerId = 0;
    std::int32_t mVersion = 0;
    std::int32_t mHostId = -1;
    std::int32_t mHostVersion = 0;
    bool mStateChunks = false;
    bool mIsInstrument = false;
    double mSampleRate = 44100.0;
    std::int32_t mBlockFrames = 0;
    std::int32_t mLatency = 0;
    std::vector<IParameter> mParams;
    std::unique_ptr<IEditorLink> mEditor;
    std::vector<std::unique_ptr<IPresetSlot>> mPresets;
    std::int32_t mCurrentPreset = 0;
    std::vector<double*> mInputPtrs;
    std::vector<double*> mOutputPtrs;
    std::vector<IInputChannel> mInputs;
    std::vector<IOutputChannel> mOutputs;
};

// Four-character code packed big-endian: first character in the top byte.
constexpr std::int32_t FourCC(const char (&c)[5]) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(c[3])));
}
