#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/common/bypass_fade.h"
#include "formats/common/host_parameters.h"
#include "framework/standalone.h"

// What every plug-in format does with VT4R, written once: the plug-in made by the
// factory and reached only through the framework; the host's view of the parameters
// (the plug-in's own and Bypass), applied at the next block boundary; processing of
// float or double host buffers through ProcessBlockLocked by way of double buffers sized
// at activation; the stored state (the framework's parameter block, the same bytes in
// every format); the needle and the gain reduction for the host's meters.
//
// One truth for the parameters: the host's view (Value) is what a save stores and what a
// load sets. A value the host sets is pending until the next block, or until a save or
// an explicit ApplyPending; a load sets both the plug-in and the host's view at once.
namespace vt4r_formats {

class WrapperCore {
  public:
    // [main thread] `hostName` (a literal: "clap", "vst3", "lv2") goes to the plug-in's host record.
    explicit WrapperCore(const char* hostName);
    ~WrapperCore();
    WrapperCore(const WrapperCore&) = delete;
    WrapperCore& operator=(const WrapperCore&) = delete;

    // ---- lifecycle [main thread, not processing] ----
    // Sizes the buffers for blocks of up to `maxFrames` and starts from silence with the
    // parameters kept. The needle's ballistics count blocks of `nominalFrames` (0: of
    // `maxFrames`). False, with the core inactive, for a rate or length it cannot take or
    // when memory runs out.
    bool Activate(double sampleRate, std::uint32_t maxFrames, std::uint32_t nominalFrames = 0);
    void Deactivate() { mActive.store(false, std::memory_order_relaxed); }
    // [any thread]
    bool IsActive() const { return mActive.load(std::memory_order_relaxed); }
    std::uint32_t MaxFrames() const { return mCapacity; }
    // [audio thread or main thread, never during Process] The plug-in's ResetProcessing.
    void Reset();

    // ---- parameters [any thread] ----
    // The host's view, plain values (see host_parameters.h); 0 for a bad index.
    double Value(std::int32_t index) const;
    // A value from the host, conformed to the parameter. Pending until the next block
    // boundary or ApplyPending. Answers false for a bad index.
    bool SetValue(std::int32_t index, double plain);
    // [not concurrently with itself on another thread] Hands pending values to the plug-in.
    void ApplyPending();
    bool Bypassed() const { return Value(kBypassParam) > 0.5; }

    // ---- processing [audio thread, active] ----
    // Blocks longer than MaxFrames() are processed in pieces. in and out may alias.
    void Process(const float* const* in, float* const* out, std::uint32_t frames);
    void Process(const double* const* in, double* const* out, std::uint32_t frames);

    // ---- state [main thread] ----
    // The parameter block as the host sees the values now (pending values applied first).
    bool SaveState(std::vector<std::uint8_t>& out);
    // Takes a whole parameter block, nothing else; anything else answers false and changes
    // nothing. Sets the plug-in and the host's view.
    bool LoadState(const void* data, std::size_t size);
    static constexpr std::size_t kStateSize = static_cast<std::size_t>(kNumParams) * sizeof(double);

    // ---- meters [any thread] ----
    // Needle position 0..1 after the last block; 0 while bypassed.
    double Needle() const;
    double GainReductionDb() const { return Needle() * kNeedleFullScaleDb; }
    static constexpr double kNeedleFullScaleDb = 20.0;
    std::int32_t LatencySamples() const { return 0; }

    // Counts the state loads, so a format can tell its host and its editor to look again.
    std::uint32_t ForeignChanges() const { return mForeignChanges.load(std::memory_order_acquire); }

    // [main thread] An edit from the plug-in's own editor: applies at once, and the host's
    // view follows. The format tells its host.
    void EditorEdit(std::int32_t index, double plain);

    // The plug-in itself, for describing parameters and for tests.
    IEffectStandalone& Plugin() { return *mPlugin; }
    const IEffectStandalone& Plugin() const { return *mPlugin; }

  private:
    class NeedleTap;
    template <typename Sample> void Run(const Sample* const* in, Sample* const* out, std::uint32_t frames);
    void ApplyOne(std::int32_t index, double plain);

    const char* mHostName;
    std::unique_ptr<IEffectStandalone> mPlugin;
    NeedleTap* mTap = nullptr; // owned by mPlugin
    std::atomic<double> mValues[kHostParamCount];
    std::atomic<std::uint32_t> mPending{0};
    std::atomic<std::uint32_t> mForeignChanges{0};
    BypassFade mBypass;
    std::vector<double> mIn[2];
    std::vector<double> mOut[2];
    std::uint32_t mCapacity = 0;
    std::atomic<bool> mActive{false};
    bool mEverActivated = false;
};

} // namespace vt4r_formats
