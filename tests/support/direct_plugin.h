#pragma once
// The plug-in made by the factory and run directly, as vt4r-render runs it: what each format's
// output is held against, bit for bit; and the signal the format tests feed both.
#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "framework/standalone.h"
#include "plugin/params.h"

struct DirectPlugin {
    DirectPlugin(double rate, std::int32_t block) : plugin(CreatePlugin(IHostRecord{})) {
        plugin->SetSampleRateHz(rate);
        plugin->SetBlockFrames(block);
        plugin->ResetProcessing();
        for (auto& b : buffers)
            b.assign(static_cast<std::size_t>(block), 0.0);
    }
    void Set(double input, double output, double relaxed) {
        const double values[] = {input, output, relaxed};
        for (std::int32_t p = kInputParam; p < kNumParams; ++p) {
            plugin->Param(p)->SetClamped(values[p]);
            plugin->ParameterChanged(p);
        }
    }
    // `in[c][i]`: channel c's samples, of any type, converted to doubles as a host would.
    template <typename Channels> void Run(const Channels& in, std::uint32_t frames) {
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < frames; ++i)
                buffers[c][i] = static_cast<double>(in[c][i]);
        double* ins[2] = {buffers[0].data(), buffers[1].data()};
        double* outs[2] = {buffers[2].data(), buffers[3].data()};
        plugin->ProcessBlockLocked(ins, outs, static_cast<std::int32_t>(frames));
    }
    std::unique_ptr<IEffectStandalone> plugin;
    std::vector<double> buffers[4]; // in left, in right, out left, out right
};

// Two tones under a slow swell into channels[0] and [1]: compressed hard at the top, untouched
// at the bottom.
template <typename Channels> void FillSwell(Channels& channels, std::uint32_t frames, long& position, double rate) {
    using Sample = std::remove_reference_t<decltype(channels[0][0])>;
    for (std::uint32_t i = 0; i < frames; ++i, ++position) {
        const double t = position / rate;
        const double swell = 0.5 + 0.45 * std::sin(2 * M_PI * 0.7 * t);
        channels[0][i] = static_cast<Sample>(swell * std::sin(2 * M_PI * 220 * t));
        channels[1][i] = static_cast<Sample>(swell * std::sin(2 * M_PI * 331 * t + 0.3));
    }
}
