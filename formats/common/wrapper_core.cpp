#include "formats/common/wrapper_core.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

namespace vt4r_formats {

// Takes what the plug-in hands its editor: a format's editor is a plug-in object of its
// own, so the processing instance only keeps the needle.
class WrapperCore::NeedleTap : public IEditorLink {
  public:
    // [audio thread, inside ProcessBlockLocked]
    void PushParameterValue(int index, double value, bool normalised) override {
        if (index == kMeterParamIdx && normalised)
            needle.store(value, std::memory_order_relaxed);
    }
    void PrepareDrawing() override {}
    std::atomic<double> needle{0.0};
};

namespace {

constexpr std::uint32_t kLargestCapacity = 1u << 16;

constexpr std::uint32_t Bit(std::int32_t index) {
    return 1u << static_cast<std::uint32_t>(index);
}

} // namespace

WrapperCore::WrapperCore(const char* hostName) : mHostName(hostName) {
    IHostRecord record;
    record.hostName = hostName;
    mPlugin = CreatePlugin(record);
    mTap = new NeedleTap;
    mPlugin->AttachEditor(mTap);
    for (std::int32_t i = 0; i < kNumParams; ++i)
        mValues[i].store(mPlugin->Param(i)->Value(), std::memory_order_relaxed);
    mValues[kBypassParam].store(0.0, std::memory_order_relaxed);
}

WrapperCore::~WrapperCore() = default;

bool WrapperCore::Activate(double sampleRate, std::uint32_t maxFrames, std::uint32_t nominalFrames) {
    mActive.store(false, std::memory_order_relaxed);
    if (!(sampleRate >= 1.0 && sampleRate < 4294967296.0) || maxFrames == 0)
        return false;
    maxFrames = std::min(maxFrames, kLargestCapacity);
    try {
        for (auto* buffers : {&mIn, &mOut})
            for (std::vector<double>& b : *buffers)
                b.assign(maxFrames, 0.0);
        // A second activation starts from silence, as a new instance would, with the
        // parameters kept.
        if (mEverActivated) {
            ApplyPending();
            IStateChunk values;
            mPlugin->SerializeParams(values);
            IHostRecord record;
            record.hostName = mHostName;
            std::unique_ptr<IEffectStandalone> fresh = CreatePlugin(record);
            fresh->UnserializeParams(values, 0);
            auto* tap = new NeedleTap;
            fresh->AttachEditor(tap);
            mPlugin = std::move(fresh);
            mTap = tap;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    mCapacity = maxFrames;
    mPlugin->SetSampleRateHz(sampleRate);
    nominalFrames = nominalFrames > 0 ? std::min(nominalFrames, kLargestCapacity) : maxFrames;
    mPlugin->SetBlockFrames(static_cast<std::int32_t>(nominalFrames));
    mPlugin->ResetProcessing();
    mBypass.SetSampleRate(sampleRate);
    mBypass.Settle(Bypassed());
    mEverActivated = true;
    mActive.store(true, std::memory_order_relaxed);
    return true;
}

void WrapperCore::Reset() {
    std::lock_guard<PluginLock> lock(mPlugin->Lock());
    mPlugin->ResetProcessing();
}

double WrapperCore::Value(std::int32_t index) const {
    if (index < 0 || index >= kHostParamCount)
        return 0.0;
    return mValues[index].load(std::memory_order_acquire);
}

bool WrapperCore::SetValue(std::int32_t index, double plain) {
    if (index < 0 || index >= kHostParamCount)
        return false;
    mValues[index].store(ConformValue(*mPlugin, index, plain), std::memory_order_release);
    if (index != kBypassParam)
        mPending.fetch_or(Bit(index), std::memory_order_acq_rel);
    return true;
}

void WrapperCore::ApplyOne(std::int32_t index, double plain) {
    // The plug-in lock is recursive: the caller may already hold it.
    std::lock_guard<PluginLock> lock(mPlugin->Lock());
    mPlugin->Param(index)->SetClamped(plain);
    mPlugin->ParameterChanged(index);
}

void WrapperCore::ApplyPending() {
    // Held throughout, so a save applying values beside a block can never apply an older
    // value after the block applied a newer one.
    std::lock_guard<PluginLock> lock(mPlugin->Lock());
    std::uint32_t pending = mPending.exchange(0, std::memory_order_acq_rel);
    for (std::int32_t i = 0; pending != 0; ++i, pending >>= 1)
        if ((pending & 1u) != 0)
            ApplyOne(i, mValues[i].load(std::memory_order_acquire));
}

void WrapperCore::EditorEdit(std::int32_t index, double plain) {
    if (index < 0 || index >= kHostParamCount)
        return;
    plain = ConformValue(*mPlugin, index, plain);
    mValues[index].store(plain, std::memory_order_release);
    if (index != kBypassParam)
        ApplyOne(index, plain);
}

template <typename Sample>
void WrapperCore::Run(const Sample* const* in, Sample* const* out, std::uint32_t frames) {
    // Never activated: no buffers to run through.
    if (mCapacity == 0) {
        for (int c = 0; c < 2 && out != nullptr; ++c)
            for (std::uint32_t i = 0; out[c] != nullptr && i < frames; ++i)
                out[c][i] = 0;
        return;
    }
    if (mPending.load(std::memory_order_relaxed) != 0)
        ApplyPending();
    const bool bypassed = Bypassed();
    double* ins[2] = {mIn[0].data(), mIn[1].data()};
    double* outs[2] = {mOut[0].data(), mOut[1].data()};
    // A run of 0 frames is a block too: the plug-in steps its per-block smoothing.
    std::uint32_t done = 0;
    do {
        const std::uint32_t n = std::min(frames - done, mCapacity);
        for (int c = 0; c < 2; ++c) {
            const Sample* source = in != nullptr ? in[c] : nullptr;
            for (std::uint32_t i = 0; i < n; ++i)
                ins[c][i] = source != nullptr ? static_cast<double>(source[done + i]) : 0.0;
        }
        mPlugin->ProcessBlockLocked(ins, outs, static_cast<std::int32_t>(n));
        double dryAtEnd = 0.0;
        for (int c = 0; c < 2; ++c)
            if (Sample* dest = out != nullptr ? out[c] : nullptr)
                mBypass.Run(bypassed, outs[c], ins[c], dest + done, n, dryAtEnd);
            else
                mBypass.Run(bypassed, outs[c], ins[c], outs[c], n, dryAtEnd);
        mBypass.Advance(dryAtEnd);
        done += n;
    } while (done < frames);
}

void WrapperCore::Process(const float* const* in, float* const* out, std::uint32_t frames) {
    Run(in, out, frames);
}

void WrapperCore::Process(const double* const* in, double* const* out, std::uint32_t frames) {
    Run(in, out, frames);
}

bool WrapperCore::SaveState(std::vector<std::uint8_t>& out) {
    ApplyPending();
    IStateChunk chunk;
    if (!mPlugin->SerializeParams(chunk))
        return false;
    try {
        out.assign(chunk.Bytes(), chunk.Bytes() + chunk.Size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool WrapperCore::LoadState(const void* data, std::size_t size) {
    if (data == nullptr || size != kStateSize)
        return false;
    IStateChunk chunk;
    if (chunk.AppendBytes(data, size) != static_cast<std::int32_t>(size))
        return false;
    {
        std::lock_guard<PluginLock> lock(mPlugin->Lock());
        if (mPlugin->UnserializeParams(chunk, 0) < 0)
            return false;
        // Values the host set before the load are overridden by it.
        mPending.fetch_and(~(Bit(kNumParams) - 1u), std::memory_order_acq_rel);
        // A switch stored between its steps would show one setting and run the other.
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            const double value = ConformValue(*mPlugin, i, mPlugin->Param(i)->Value());
            mPlugin->Param(i)->SetClamped(value);
            mValues[i].store(value, std::memory_order_release);
        }
    }
    mForeignChanges.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

double WrapperCore::Needle() const {
    if (Bypassed())
        return 0.0;
    const double needle = mTap->needle.load(std::memory_order_relaxed);
    return std::isfinite(needle) ? std::fmin(std::fmax(needle, 0.0), 1.0) : 0.0;
}

} // namespace vt4r_formats
