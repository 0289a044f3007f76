#include "vt4r.h"

#include <bit>
#include <climits>
#include <cmath>

#include "editor_layout.h"
#include "framework/exact_math.h"

namespace {
constexpr std::int32_t kVersion = 0x00010102;  // 1.1.2

// The two characters Relaxed Mode chooses between.
struct ModeCharacter {
    double tiltDb;
    std::int32_t highPassHz;
    double attackMs;
    std::int32_t releaseMs;
    double rmsMs;
    std::int32_t releaseBoostPercent;
    bool twoStageAttack, twoStageRelease, multiEnvelope;
    std::int32_t gainFilterAmount;
    double driveExponent;  // driveFactor = exp(driveExponent)
    double hissExponent;   // hissLevel = exp(hissExponent)
};
constexpr ModeCharacter kModeCharacters[2] = {
    // "Off": the harder, faster character, full drive, hiss at -110 dB.
    {0.2, 90, 0, 22, 1.1, 12, true, true, true, 65, 0.0, -12.664218011467},
    // "On": softer attack, slower release, one envelope, 24 dB less drive, no hiss.
    {0, 0, 4.87, 96, 8.0, 19, false, true, false, 49, -2.7631021115928, -115.0141253950503},
};
// The compressor settings s with a character's own.
constexpr CoreSettings WithCharacter(CoreSettings s, const ModeCharacter& m) {
    s.tiltDb = m.tiltDb;
    s.highPassHz = m.highPassHz;
    s.attackMs = m.attackMs;
    s.releaseMs = m.releaseMs;
    s.rmsMs = m.rmsMs;
    s.releaseBoostPercent = m.releaseBoostPercent;
    s.twoStageAttack = m.twoStageAttack;
    s.twoStageRelease = m.twoStageRelease;
    s.multiEnvelope = m.multiEnvelope;
    s.gainFilterAmount = m.gainFilterAmount;
    return s;
}
// The compressor's stages each character turns on.
constexpr int kNormalShape = CompressorCore::ShapeOf(WithCharacter({}, kModeCharacters[0]));
constexpr int kRelaxedShape = CompressorCore::ShapeOf(WithCharacter({}, kModeCharacters[1]));

void ScrubNonFinite(double* samples, std::int32_t frames) {
    for (std::int32_t i = 0; i < frames; ++i)
        if (!std::isfinite(samples[i])) samples[i] = 0.0;
}
}  // namespace

VT4R::VT4R(const IHostRecord& host)
    : IEffectStandalone(host, kNumParams, "1-1 2-2", 1, "VT4R", "", "Marsolind", kVersion, FourCC("VT4R"),
                        FourCC("MrSl"), 0, false, false, false, 0) {
    mMeter.setSampleRate(static_cast<std::uint32_t>(SampleRateHz()));
    mHissL.setSampleRate(SampleRateHz());
    mHissR.setSampleRate(SampleRateHz());

    CoreSettings neutral;
    neutral.sampleRate = static_cast<std::int32_t>(SampleRateHz());
    neutral.ratio = 1.0;
    mCompressor.configure(neutral);

    for (int i = 0; i < 2; ++i) {
        const GainParamInfo& p = kGainParams[i];
        Param(i)->DefineNumber(p.name, p.def, p.min, p.max, p.step, p.label);
    }
    IParameter* relaxed = Param(kRelaxedModeParam);
    relaxed->DefineChoice(kRelaxedModeName, 0, 2);
    relaxed->AddValueText(0, kRelaxedModeTexts[0]);
    relaxed->AddValueText(1, kRelaxedModeTexts[1]);

    AttachEditor(BuildVt4rEditor(this));
    CapturePresets("-", 1);
}

VT4R::~VT4R() = default;

void VT4R::startBlock(bool& stereo) {
    stereo = IsOutputConnected(1) || HostId() == 9;

    mMeter.setSampleRate(mStoredSampleRate);

    mInputGain.step(Param(kInputParam)->GainFromDecibels());
    mOutputGain.step(Param(kOutputParam)->GainFromDecibels());

    // A rate that does not fit the integer arithmetic keeps the previous one.
    double rate = SampleRateHz();
    if (!(rate >= 0.0 && rate < 4294967296.0)) rate = mStoredSampleRate;
    mStoredSampleRate = static_cast<std::uint32_t>(rate);
    const std::int32_t blockFrames = BlockFrames() > 0 ? BlockFrames() : 1;
    mBlocksPerSecond = mStoredSampleRate / static_cast<std::uint32_t>(blockFrames);

    mMeter.setBlocksPerSecond(mBlocksPerSecond);

    mHissL.setSampleRate(rate);
    mHissR.setSampleRate(rate);

    const double modeValue = Param(kRelaxedModeParam)->Value();
    mMode = (modeValue > INT_MIN - 1.0 && modeValue < INT_MAX + 1.0) ? static_cast<std::int32_t>(modeValue) : -1;

    mSettings.thresholdDb = -25.0;
    mSettings.ratio = 4.0;
    mSettings.kneePercent = 100;
    // Any other mode keeps the previous block's character.
    if (mMode == 0 || mMode == 1) {
        const ModeCharacter& m = kModeCharacters[mMode];
        mSettings = WithCharacter(mSettings, m);
        mDriveFactor = ExactExp(m.driveExponent);
        mHissLevel = ExactExp(m.hissExponent);
    }
    mSettings.sampleRate = static_cast<std::int32_t>(mStoredSampleRate);

    mCompressor.configure(mSettings);
}

namespace {
bool SameState(const OnePoleFilter& a, const OnePoleFilter& b) {
    return std::bit_cast<std::uint64_t>(a.state) == std::bit_cast<std::uint64_t>(b.state) &&
           std::bit_cast<std::uint64_t>(a.output) == std::bit_cast<std::uint64_t>(b.output) &&
           std::bit_cast<std::uint64_t>(a.pole) == std::bit_cast<std::uint64_t>(b.pole) &&
           std::bit_cast<std::uint64_t>(a.gain) == std::bit_cast<std::uint64_t>(b.gain) && a.mode == b.mode;
}
bool SameState(const HissSource& a, const HissSource& b) {
    return a.seed == b.seed && SameState(a.lowCut, b.lowCut) && SameState(a.highCut, b.highCut);
}
}  // namespace

namespace {
// One loop's work on two chunks: saturating chunk k + 1 and finishing chunk
// k (gain smoothing, output gain, hiss and needle), a frame of each per
// step. A loop built for one shape (kShape >= 0) also has both hiss sources
// alike.
template <bool kUnitDrive, class Math, int kShape>
struct SaturateAndFinish {
    SaturationPair saturation;
    CompressorCore::Smoother smoother;
    MeterBallistics::Runner meter;
    HissSource hissL, hissR;
    bool sharedHiss;
    StereoPair hissGain, outGain;
    double lowest;
    // Saturating: the input and the saturated output of chunk k + 1.
    const double* inL;
    const double* inR;
    StereoPair* ahead;
    int saturateCount;
    // Finishing chunk k.
    const StereoPair* saturated;
    const double* levelDb;
    const double* target;
    double* outL;
    double* outR;
    int finishCount;

    [[gnu::always_inline]] void saturate(int i) {
        ahead[i] = saturation.step<kUnitDrive>(Pair(inL[i], inR[i]));
    }
    [[gnu::always_inline]] void finish(int i) {
        const double g = smoother.step<kShape>(levelDb[i], target[i]);
        const StereoPair y = FlushTiny(Splat(g) * saturated[i]);
        const double l = hissL.tick();
        const double r = kShape >= 0 || sharedHiss ? l : hissR.tick();
        const StereoPair out = Pair(l, r) * hissGain + outGain * y;
        outL[i] = Left(out);
        outR[i] = Right(out);
        lowest = g < lowest ? g : lowest;
        meter.add<Math>(g);
    }
    // Both for each frame of the longer chunk, on a copy, so that the
    // states stay in registers.
    [[gnu::always_inline]] void run() {
        SaturateAndFinish work = *this;
        const int count = saturateCount > finishCount ? saturateCount : finishCount;
        for (int i = 0; i < count; ++i) {
            if (i < work.saturateCount) work.saturate(i);
            if (i < work.finishCount) work.finish(i);
        }
        *this = work;
    }
};
}  // namespace

// The saturation is one long chain of dependent divisions and square roots
// per frame, which leaves most of the processor idle, and the compressor
// cannot start on a frame before its saturation ends. So the block goes in
// chunks, and one loop saturates the next chunk while it finishes this one:
// the saturation's chain overlaps the gain smoothing's. The detector runs
// alone before it, where its loop is short.
template <bool kUnitDrive, class Math, int kShape>
void VT4R::runStereo(double** inputs, double** outputs, std::int32_t frames, bool sharedHiss) {
    constexpr int kMaxChunk = CompressorCore::kMaxBlock;
    // Short blocks in short chunks, so that the two still overlap.
    const int chunk = frames >= 4 * kMaxChunk ? kMaxChunk : frames >= 32 ? frames / 4 : 8;
    const double drive = mDriveFactor;
    StereoPair saturated[2][kMaxChunk];
    double mid[kMaxChunk], levelDb[kMaxChunk], target[kMaxChunk];
    auto chunkFrames = [&](std::int32_t start) {
        return frames - start < chunk ? (frames > start ? frames - start : 0) : chunk;
    };
    // Both hiss sources start alike and stay alike while processing is
    // stereo; then one generator serves both channels.
    SaturateAndFinish<kUnitDrive, Math, kShape> work{
        SaturationPair(mSatL, mSatR, mDcL, mDcR, drive * mInputGain.state, drive),
        mCompressor.smoother(),
        MeterBallistics::Runner(mMeter),
        mHissL,
        mHissR,
        sharedHiss,
        Splat(mHissLevel),
        Splat(mOutputGain.state),
        1.0,
        inputs[0],
        inputs[1],
        saturated[0],
        chunkFrames(0),
        nullptr,
        levelDb,
        target,
        nullptr,
        nullptr,
        0};
    work.run();
    for (std::int32_t c = 0, start = 0; start < frames; ++c, start += chunk) {
        const int n = chunkFrames(start);
        const StereoPair* current = saturated[c % 2];
        for (int i = 0; i < n; ++i) mid[i] = (Right(current[i]) + Left(current[i])) * 0.5;
        mCompressor.detectBlock<kShape>(mid, levelDb, target, n);

        work.saturateCount = chunkFrames(start + chunk);
        if (work.saturateCount > 0) {
            work.inL = inputs[0] + start + chunk;
            work.inR = inputs[1] + start + chunk;
        }
        work.ahead = saturated[(c + 1) % 2];
        work.saturated = current;
        work.finishCount = n;
        work.outL = outputs[0] + start;
        work.outR = outputs[1] + start;
        work.run();
    }
    work.saturation.store(mSatL, mSatR, mDcL, mDcR);
    mCompressor.store(work.smoother);
    work.meter.store(mMeter);
    mHissL = work.hissL;
    mHissR = work.sharedHiss ? work.hissL : work.hissR;
    mLowestGain = work.lowest;
}

void VT4R::processStereo(double** inputs, double** outputs, std::int32_t frames) {
    // Each character's own detector and drive get a loop of their own, built
    // for them alone; any other combination takes the general one.
    const int shape = mCompressor.shape();
    const bool unitDrive = mDriveFactor == 1.0;
    const bool sharedHiss = SameState(mHissL, mHissR);
    auto run = [&]<bool kUnitDrive, int kShape>() {
        RunWithMath(mMath, [&]<class Math>() __attribute__((always_inline)) {
            runStereo<kUnitDrive, Math, kShape>(inputs, outputs, frames, sharedHiss);
        });
    };
    if (unitDrive && shape == kNormalShape && sharedHiss)
        run.template operator()<true, kNormalShape>();
    else if (!unitDrive && shape == kRelaxedShape && sharedHiss)
        run.template operator()<false, kRelaxedShape>();
    else if (unitDrive)
        run.template operator()<true, -1>();
    else
        run.template operator()<false, -1>();
}

void VT4R::processMono(double** inputs, double** outputs, std::int32_t frames) {
    const double drive = mDriveFactor;
    const double d = drive * mInputGain.state;
    const double outGain = mOutputGain.state;
    const double* inL = inputs[0];
    double* outL = outputs[0];
    double lowest = 1.0;
    for (std::int32_t i = 0; i < frames; ++i) {
        const double sL = mSatL.tick(inL[i], d) / drive;
        const double cL = mDcL.tick(sL);
        const double g = mCompressor.tick(cL);
        const double yL = FlushTiny(g * cL);
        outL[i] = mHissL.tick() * mHissLevel + outGain * yL;
        mMeter.addSample(g);
        lowest = g < lowest ? g : lowest;
    }
    mLowestGain = lowest;
}

// Non-finite input (or input so large that it overflows) would otherwise stay
// in the saturation, DC-blocker, compressor and meter states forever. One
// check per block keeps the normal path untouched; when it trips, the
// affected states restart and this block's non-finite samples become silence.
bool VT4R::recoverNonFinite(double** outputs, std::int32_t frames, bool stereo) {
    const bool ok = mSatL.finite() && mSatR.finite() && std::isfinite(mDcL.xp + mDcL.yp + mDcR.xp + mDcR.yp) &&
                    mCompressor.finite() && mMeter.finite() &&
                    std::isfinite(mInputGain.state + mOutputGain.state);
    if (ok) return false;
    if (!mSatL.finite()) mSatL.clearState();
    if (!mSatR.finite()) mSatR.clearState();
    if (!std::isfinite(mDcL.xp + mDcL.yp)) mDcL.clear();
    if (!std::isfinite(mDcR.xp + mDcR.yp)) mDcR.clear();
    if (!mCompressor.finite()) mCompressor.recover();
    if (!mMeter.finite()) mMeter.recover();
    if (!std::isfinite(mInputGain.state)) mInputGain.state = 0.0;
    if (!std::isfinite(mOutputGain.state)) mOutputGain.state = 0.0;
    if (frames > 0) {
        ScrubNonFinite(outputs[0], frames);
        if (stereo) ScrubNonFinite(outputs[1], frames);
    }
    return true;
}

void VT4R::process(double** inputs, double** outputs, std::int32_t frames) {
    bool stereo = true;
    startBlock(stereo);
    mLowestGain = 1.0;

    if (frames > 0) {
        if (stereo)
            processStereo(inputs, outputs, frames);
        else
            processMono(inputs, outputs, frames);
    }
    recoverNonFinite(outputs, frames, stereo);

    mNeedleOut = mMeter.endBlock();
    if (IEditorLink* editor = Editor()) editor->PushParameterValue(kMeterParamIdx, mNeedleOut, true);
}
