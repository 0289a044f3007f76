#pragma once
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "framework/standalone.h"

// A three-parameter plug-in shaped like the product: two dB numbers and an
// Off/On choice, stereo in and out, and a few preset slots.
class TestEffect : public IEffectStandalone {
  public:
    static constexpr std::int32_t kVersion = 0x10102;

    explicit TestEffect(const IHostRecord& host = {}, std::int32_t presets = 1,
                        const char* layouts = "1-1 2-2")
        : IEffectStandalone(host, 3, layouts, presets, "Test", "", "Maker", kVersion, FourCC("Tst1"),
                            FourCC("MkId"), 0, false, false, false, 0) {
        Param(0)->DefineNumber("Input", 0.0, -20.0, 20.0, 0.1, "dB");
        Param(1)->DefineNumber("Output", 0.0, -20.0, 20.0, 0.1, "dB");
        Param(2)->DefineChoice("Relaxed Mode", 0, 2);
        Param(2)->AddValueText(0, "Off");
        Param(2)->AddValueText(1, "On");
    }

    void ParameterChanged(std::int32_t index) override {
        IEffectStandalone::ParameterChanged(index);
        changed.push_back(index);
    }
    void ReportToHost(std::int32_t index, double normalised) override {
        reported.emplace_back(index, normalised);
    }
    void PresetRestored() override { ++restored; }

    void SetValues(double a, double b, double c) {
        Param(0)->SetClamped(a);
        Param(1)->SetClamped(b);
        Param(2)->SetClamped(c);
    }

    // Exposed for the channel tests.
    double* InputSlot(std::size_t i) const { return mInputPtrs[i]; }
    double* OutputSlot(std::size_t i) const { return mOutputPtrs[i]; }

    std::vector<std::int32_t> changed;
    std::vector<std::pair<std::int32_t, double>> reported;
    int restored = 0;
};

struct Push {
    int index;
    double value;
    bool normalised;
    bool operator==(const Push&) const = default;
};

class RecordingEditor : public IEditorLink {
  public:
    explicit RecordingEditor(bool* destroyed = nullptr) : mDestroyed(destroyed) {}
    ~RecordingEditor() override {
        if (mDestroyed != nullptr)
            *mDestroyed = true;
    }
    void PushParameterValue(int index, double value, bool normalised) override {
        pushes.push_back({index, value, normalised});
    }
    void PrepareDrawing() override { preparedAfter = static_cast<int>(pushes.size()); }

    std::vector<Push> pushes;
    int preparedAfter = -1;

  private:
    bool* mDestroyed;
};

class RecordingMidiOutput : public IMidiOutput {
  public:
    void SendMessage(const std::uint8_t* bytes, int length) override {
        sent.emplace_back(bytes, bytes + length);
    }
    std::vector<std::vector<std::uint8_t>> sent;
};

inline std::vector<std::uint8_t> BytesOf(const IStateChunk& chunk) {
    return {chunk.Bytes(), chunk.Bytes() + chunk.Size()};
}
