#pragma once
#include <cmath>
#include <memory>
#include <vector>

#include "framework/standalone.h"
#include "plugin/vt4r.h"

// A plug-in built through the factory with stereo block buffers.
struct PluginRig {
    std::unique_ptr<IEffectStandalone> owner;
    VT4R* plugin = nullptr;
    std::vector<double> inL, inR, outL, outR;

    explicit PluginRig(int blockFrames = 512, double rate = 44100.0) {
        owner = CreatePlugin(IHostRecord{});
        plugin = static_cast<VT4R*>(owner.get());
        plugin->SetSampleRateHz(rate);
        plugin->SetBlockFrames(blockFrames);
        plugin->ResetProcessing();
        Resize(blockFrames);
    }
    void Resize(int frames) {
        inL.assign(frames, 0.0), inR.assign(frames, 0.0), outL.assign(frames, 0.0), outR.assign(frames, 0.0);
    }
    void Run(int frames) {
        double* in[2] = {inL.data(), inR.data()};
        double* out[2] = {outL.data(), outR.data()};
        plugin->ProcessBlockLocked(in, out, frames);
    }
    void Run() { Run(static_cast<int>(inL.size())); }
    // Fills both inputs with a sine continuing from sample `start`.
    void Sine(double amplitude, double hz, long start, double rate = 44100.0) {
        for (size_t i = 0; i < inL.size(); ++i)
            inL[i] = inR[i] = amplitude * std::sin(6.283185307179586 * hz * double(start + long(i)) / rate);
    }
};
