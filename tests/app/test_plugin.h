#pragma once
// A plug-in stand-in for the engine tests: deterministic, stateful per
// sample, so processing a signal in any split gives the same samples as one
// pass, and it notes where each block came from without allocating.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/standalone.h"

class TestPlugin : public IEffectStandalone {
  public:
    struct Call {
        double* in[2];
        double* out[2];
        std::int32_t frames;
    };
    static constexpr std::size_t kMaxCalls = 4096;

    explicit TestPlugin(const IHostRecord& host = {})
        : IEffectStandalone(host, 0, "2-2", 1, "Test", "Test", "Tester", 0x10000, FourCC("Test"),
                            FourCC("Tstr"), 0, true, false, false, 0) {}

    // y = x / 2 + y_prev / 4 + position / 1024 per channel: depends on every
    // earlier frame and on how many came before, so a lost, repeated or
    // reordered frame shows.
    void process(double** inputs, double** outputs, std::int32_t frames) override {
        if (mCallCount < kMaxCalls) {
            mCalls[mCallCount] = {{inputs[0], inputs[1]}, {outputs[0], outputs[1]}, frames};
        }
        ++mCallCount;
        for (std::int32_t k = 0; k < frames; ++k) {
            const double ramp = static_cast<double>(mPosition % 1024) / 1024.0;
            for (int c = 0; c < 2; ++c) {
                mState[c] = inputs[c][k] * 0.5 + mState[c] * 0.25 + ramp;
                outputs[c][k] = mState[c];
            }
            ++mPosition;
        }
        mFramesProcessed.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
    }

    void ResetProcessing() override {
        IEffectStandalone::ResetProcessing();
        ++mResets;
    }

    std::size_t callCount() const { return mCallCount; }
    const Call& call(std::size_t i) const { return mCalls[i]; }
    void forgetCalls() { mCallCount = 0; }
    std::uint64_t framesProcessed() const { return mFramesProcessed.load(std::memory_order_relaxed); }
    int resets() const { return mResets; }

  private:
    std::array<Call, kMaxCalls> mCalls{};
    std::size_t mCallCount = 0;
    std::uint64_t mPosition = 0;
    double mState[2] = {0.0, 0.0};
    std::atomic<std::uint64_t> mFramesProcessed{0};
    int mResets = 0;
};

// Passes input to output unchanged, like the base class, and counts frames.
class PassThroughPlugin : public IEffectStandalone {
  public:
    explicit PassThroughPlugin(const IHostRecord& host = {})
        : IEffectStandalone(host, 0, "2-2", 1, "Pass", "Pass", "Tester", 0x10000, FourCC("Pass"),
                            FourCC("Tstr"), 0, true, false, false, 0) {}

    void process(double** inputs, double** outputs, std::int32_t frames) override {
        IEffectStandalone::process(inputs, outputs, frames);
        mFrames.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
    }
    std::uint64_t framesProcessed() const { return mFrames.load(std::memory_order_relaxed); }

  private:
    std::atomic<std::uint64_t> mFrames{0};
};
