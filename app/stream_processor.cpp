#include "stream_processor.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "framework/standalone.h"

std::uint32_t StreamProcessor::usableSubBlockSize(std::uint32_t requested) {
    return (requested >= 1 && requested <= kMaxSubBlockSize) ? requested : kDefaultSubBlockSize;
}

void StreamProcessor::reset(std::uint32_t subBlockSize) {
    mSubBlockSize = usableSubBlockSize(subBlockSize);
    mFrameCounter = 0;
    mCallbackCount = 0;
    mFadeGain = 0.0;
}

int StreamProcessor::process(double* output, double* input, std::uint32_t n, bool underflow,
                             IEffectStandalone* plugin, bool mono) {
    if (underflow) {
        // The one message the audio thread writes; stdio, so nothing allocates.
        std::fputs("Stream underflow detected!\n", stdout);
        std::fflush(stdout);
    }
    if (mCallbackCount < std::numeric_limits<std::uint32_t>::max()) {
        ++mCallbackCount;
    }
    if (output == nullptr) {
        return 0;
    }
    if (mCallbackCount <= kMutedCallbacks || plugin == nullptr || input == nullptr) {
        std::fill(output, output + 2 * static_cast<std::size_t>(n), 0.0);
        return 0;
    }

    const double step = 1.0 / static_cast<double>(n); // not used when n is 0
    double fade = mFadeGain;
    std::uint32_t i = 0;
    while (i < n) {
        const std::uint32_t length = std::min(mSubBlockSize - mFrameCounter, n - i);
        double* inputs[2] = {input + i, mono ? input + i : input + n + i};
        double* outputs[2] = {output + i, output + n + i};
        plugin->ProcessBlockLocked(inputs, outputs, static_cast<std::int32_t>(length));

        for (std::uint32_t k = i; k < i + length; ++k) {
            if (fade < 1.0) {
                fade += step;
            }
            output[k] *= fade;
            output[k] *= kOutputFactor;
            output[n + k] *= fade;
            output[n + k] *= kOutputFactor;
        }
        mFrameCounter += length;
        if (mFrameCounter == mSubBlockSize) {
            mFrameCounter = 0;
        }
        i += length;
    }
    mFadeGain = fade;
    return 0;
}
