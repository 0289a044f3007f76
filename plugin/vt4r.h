#pragma once
#include <cstdint>

#include "compressor_core.h"
#include "filters.h"
#include "framework/standalone.h"
#include "meter_ballistics.h"
#include "params.h"
#include "saturation.h"

// Smooths a per-block target: state = target * 0.9 + 0.1 * state.
struct BlockSmoother {
    double previousCoef = 0.1;
    double targetCoef = 0.9;
    double state = 0.0;

    double step(double target) {
        state = target * targetCoef + previousCoef * state;
        return state;
    }
};

// The compressor plug-in: saturation, DC blocker, linked compressor, output
// gain and hiss, with a needle meter of the gain reduction.
class VT4R : public IEffectStandalone {
public:
    explicit VT4R(const IHostRecord& host);
    ~VT4R() override;

    // [audio thread, plug-in lock held]
    void process(double** inputs, double** outputs, std::int32_t frames) override;

    // Read-only views for tests and tools.
    const CompressorCore& Compressor() const { return mCompressor; }
    const MeterBallistics& Meter() const { return mMeter; }
    double SmoothedInputGain() const { return mInputGain.state; }
    double SmoothedOutputGain() const { return mOutputGain.state; }
    double DriveFactor() const { return mDriveFactor; }
    double HissLevel() const { return mHissLevel; }
    std::uint32_t StoredSampleRate() const { return mStoredSampleRate; }
    std::uint32_t BlocksPerSecond() const { return mBlocksPerSecond; }
    // Last needle position handed to the editor, limited to 0..1.
    double NeedlePosition() const { return mNeedleOut; }
    // Smallest linked gain of the last block (1 when it had no samples).
    double LowestGainInBlock() const { return mLowestGain; }

private:
    void startBlock(bool& stereo);
    void processStereo(double** inputs, double** outputs, std::int32_t frames);
    // Inlined into the loop built for the chosen exp and log.
    template <bool kUnitDrive, class Math, int kShape>
    // sharedHiss: both hiss sources are alike, so one generator serves both.
    [[gnu::always_inline]] inline void runStereo(double** inputs, double** outputs, std::int32_t frames,
                                                 bool sharedHiss);
    void processMono(double** inputs, double** outputs, std::int32_t frames);
    bool recoverNonFinite(double** outputs, std::int32_t frames, bool stereo);

    BlockSmoother mInputGain;
    BlockSmoother mOutputGain;
    MeterBallistics mMeter;
    SaturationStage mSatL, mSatR;
    HissSource mHissL, mHissR;
    CompressorCore mCompressor;
    DcBlocker mDcL, mDcR;
    std::uint32_t mStoredSampleRate = 44100;
    std::uint32_t mBlocksPerSecond = 86;
    CoreSettings mSettings;
    double mDriveFactor = 0.0;
    double mHissLevel = 0.0;
    std::int32_t mMode = 0;
    double mNeedleOut = 0.0;
    double mLowestGain = 1.0;
    MathKernel mMath = ChooseMathKernel();
};
