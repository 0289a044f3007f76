// The processing loop as a program of steps: blocks of 1 to 8192 frames filled with hostile
// doubles (NaN, infinities, subnormals, 1e300), parameter values, sample rates, block sizes and
// the second output's connection changed between blocks. Once two blocks of finite input have
// followed the last non-finite sample, every output sample must be finite again.
#include <cmath>
#include <memory>
#include <vector>

#include "framework/standalone.h"
#include "fuzz_input.h"

namespace {

double sampleRate(FuzzInput& in) {
    static const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 8000.0, 22050.0, 384000.0, 11025.0};
    const unsigned choice = in.pick(12);
    return choice < 8 ? kRates[choice] : in.hostileDouble();
}

bool allFinite(const std::vector<double>& samples) {
    for (double s : samples) {
        if (!std::isfinite(s)) {
            return false;
        }
    }
    return true;
}

// One channel of a block: a pattern over a value, with one spike of another value.
void fill(FuzzInput& in, std::vector<double>& samples) {
    const double value = in.hostileDouble();
    const double spike = in.hostileDouble();
    const std::size_t at = in.u16() % samples.size();
    const unsigned pattern = in.pick(4);
    const double hz = 20.0 + in.u8() * 40.0;
    std::uint32_t noise = in.u32() | 1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        switch (pattern) {
        case 0:
            samples[i] = value;
            break;
        case 1:
            samples[i] = i % 2 ? value : -value;
            break;
        case 2:
            samples[i] = value * std::sin(6.283185307179586 * hz * static_cast<double>(i) / 44100.0);
            break;
        default:
            noise = noise * 1664525u + 1013904223u;
            samples[i] = value * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
        }
    }
    samples[at] = spike;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    plugin->SetSampleRateHz(44100.0);
    plugin->SetBlockFrames(512);
    plugin->ResetProcessing();

    std::vector<double> inL, inR, outL, outR;
    int finiteBlocks = 2; // since the last non-finite input
    for (int step = 0; step < 48 && !in.empty(); ++step) {
        switch (in.pick(8)) {
        case 0: {
            const std::int32_t index = static_cast<std::int32_t>(in.pick(5)) - 1;
            plugin->SetParameterFromGUI(index, in.hostileDouble());
            break;
        }
        case 1:
            plugin->SetSampleRateHz(sampleRate(in));
            break;
        case 2:
            plugin->SetBlockFrames(in.flag() ? static_cast<std::int32_t>(in.u32()) : 1 + in.u16() % 8192);
            break;
        case 3:
            plugin->SetOutputConnections(1, 1, in.flag());
            break;
        case 4:
            plugin->ResetProcessing();
            break;
        default: {
            const std::size_t frames = 1 + in.u16() % 8192;
            inL.resize(frames), inR.resize(frames);
            fill(in, inL);
            if (in.flag()) {
                inR = inL;
            } else {
                fill(in, inR);
            }
            // Exactly the block's length, so the address sanitizer sees any access past it.
            outL.assign(frames, 0.0), outR.assign(frames, 0.0);
            double* inputs[2] = {inL.data(), inR.data()};
            double* outputs[2] = {outL.data(), outR.data()};
            plugin->ProcessBlockLocked(inputs, outputs, static_cast<std::int32_t>(frames));

            const bool finiteInput = allFinite(inL) && allFinite(inR);
            finiteBlocks = finiteInput ? finiteBlocks + 1 : 0;
            if (finiteInput && finiteBlocks > 2) {
                // A channel the plug-in leaves alone keeps its zeros.
                FUZZ_CHECK(allFinite(outL));
                FUZZ_CHECK(allFinite(outR));
            }
        }
        }
    }
    return 0;
}
