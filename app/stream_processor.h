#pragma once
#include <cstdint>

class IEffectStandalone;

// What the stream callback does to one buffer: mute after an open, cut the
// buffer into sub-blocks for the plug-in, fade in, scale by 0.25.
//
// Sub-blocks lie on a grid of `subBlockSize` frames that runs on across
// callbacks. When a buffer is a whole multiple of the sub-block size (the
// usual power-of-two case) every call covers exactly one sub-block starting
// at frames 0, size, 2 size, ... of the buffer. Otherwise a sub-block that
// straddles the end of a buffer is handed over in two calls, its first part
// at the end of this buffer and the rest at the start of the next, so the
// plug-in never reads or writes past a buffer, sees every frame exactly once
// and in order, and keeps its block boundaries on the same grid.
class StreamProcessor {
  public:
    static constexpr std::uint32_t kMutedCallbacks = 51;
    static constexpr double kOutputFactor = 0.25;
    // A signal vector size outside 1..kMaxSubBlockSize (0 from a hand-edited
    // or damaged file, a negative number that wrapped) uses the default.
    static constexpr std::uint32_t kMaxSubBlockSize = 8192;
    static constexpr std::uint32_t kDefaultSubBlockSize = 32;

    static std::uint32_t usableSubBlockSize(std::uint32_t requested);

    // [main thread, no stream running] Back to the state after an open:
    // counters zero, gain zero, the given sub-block size (made usable).
    void reset(std::uint32_t subBlockSize);

    // [audio thread] One callback of n frames. `output` and `input` hold n
    // samples of channel 1 followed by n of channel 2. `underflow` is the
    // library's status flag. With `mono` both plug-in inputs read channel 1.
    // No allocation, no lock but the plug-in's, no output except the status
    // message. Returns 0 (keep the stream running).
    int process(double* output, double* input, std::uint32_t n, bool underflow, IEffectStandalone* plugin,
                bool mono);

    std::uint32_t subBlockSize() const { return mSubBlockSize; }
    std::uint32_t frameCounter() const { return mFrameCounter; }
    std::uint32_t callbackCount() const { return mCallbackCount; }
    double fadeGain() const { return mFadeGain; }

  private:
    std::uint32_t mSubBlockSize = kDefaultSubBlockSize;
    std::uint32_t mFrameCounter = 0;  // position on the sub-block grid, 0 .. size - 1
    std::uint32_t mCallbackCount = 0; // stops counting at its maximum, so the mute never comes back
    double mFadeGain = 0.0;
};
