#pragma once
#include <cstdint>

// The wrapper's bypass: the output moves between the plug-in's (wet) and the input (dry)
// along a straight line over about 10 ms, so switching never clicks, while the plug-in
// runs on underneath and takes over again seamlessly. Fully wet, the plug-in's samples
// pass untouched (bit for bit); fully dry, the input's.
class BypassFade {
  public:
    static constexpr double kSeconds = 0.010;

    void SetSampleRate(double rate) {
        const double frames = rate * kSeconds;
        mStep = frames >= 1.0 ? 1.0 / frames : 1.0;
    }
    // Jumps to the end of a fade (a new stream starts where the switch stands).
    void Settle(bool bypassed) { mDry = bypassed ? 1.0 : 0.0; }

    // [audio thread] Writes out[i] from wet[i] and dry[i]; out may be wet or dry.
    template <typename Sample, typename Source>
    void Run(bool bypassed, const double* wet, const Source* dry, Sample* out, std::uint32_t frames,
             double& dryAtEnd) const {
        double mix = mDry;
        const double target = bypassed ? 1.0 : 0.0;
        for (std::uint32_t i = 0; i < frames; ++i) {
            if (mix != target)
                mix = bypassed ? (mix + mStep < 1.0 ? mix + mStep : 1.0) : (mix - mStep > 0.0 ? mix - mStep : 0.0);
            if (mix == 0.0)
                out[i] = static_cast<Sample>(wet[i]);
            else if (mix == 1.0)
                out[i] = static_cast<Sample>(dry[i]);
            else
                out[i] = static_cast<Sample>((1.0 - mix) * wet[i] + mix * static_cast<double>(dry[i]));
        }
        dryAtEnd = mix;
    }
    void Advance(double dryAtEnd) { mDry = dryAtEnd; }

    bool FullyWet() const { return mDry == 0.0; }
    double DryShare() const { return mDry; }

  private:
    double mDry = 0.0;
    double mStep = 1.0;
};
