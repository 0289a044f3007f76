// The stream callback under any sub-block size and buffer lengths: the plug-in must see every
// frame of each buffer exactly once and in order, only inside the buffers, in calls that keep
// to the sub-block grid; and every output sample must be written.
#include <cmath>
#include <memory>

#include "app/stream_processor.h"
#include "framework/standalone.h"
#include "fuzz_input.h"

namespace {

// The buffers of the callback in progress, and how far the plug-in has got through them.
struct Callback {
    const double* input = nullptr;
    const double* output = nullptr;
    std::uint32_t n = 0;
    bool mono = false;
    std::uint32_t next = 0;
    std::uint32_t subBlock = 0;
    std::uint64_t gridFrames = 0; // frames handed over since the last reset
};
Callback current;

class CheckingPlugin : public IEffectStandalone {
  public:
    CheckingPlugin()
        : IEffectStandalone({}, 0, "2-2", 1, "Check", "Check", "Fuzz", 0x10000, FourCC("Chck"),
                            FourCC("Fuzz"), 0, false, false, false, 0) {}

    void process(double** inputs, double** outputs, std::int32_t frames) override {
        Callback& c = current;
        FUZZ_CHECK(frames >= 1);
        const std::ptrdiff_t offset = inputs[0] - c.input;
        FUZZ_CHECK(offset == static_cast<std::ptrdiff_t>(c.next));
        FUZZ_CHECK(c.next + static_cast<std::uint32_t>(frames) <= c.n);
        FUZZ_CHECK(inputs[1] == (c.mono ? inputs[0] : inputs[0] + c.n));
        FUZZ_CHECK(outputs[0] == c.output + offset && outputs[1] == outputs[0] + c.n);
        const std::uint64_t grid = c.gridFrames % c.subBlock;
        FUZZ_CHECK(grid + static_cast<std::uint64_t>(frames) <= c.subBlock);
        // A call stops short of the grid only at the end of the buffer.
        FUZZ_CHECK(grid + static_cast<std::uint64_t>(frames) == c.subBlock || c.next + frames == c.n);
        for (std::int32_t k = 0; k < frames; ++k) {
            outputs[0][k] = inputs[0][k];
            outputs[1][k] = inputs[1][k];
        }
        c.next += static_cast<std::uint32_t>(frames);
        c.gridFrames += static_cast<std::uint64_t>(frames);
    }
};

std::uint32_t bufferLength(FuzzInput& in) {
    switch (in.pick(4)) {
    case 0:
        return in.u8();
    case 1:
        return 1u << in.pick(14);
    default:
        return in.u16() % 9000;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    static CheckingPlugin plugin;
    StreamProcessor processor;
    processor.reset(StreamProcessor::kDefaultSubBlockSize);
    current = Callback{};
    current.subBlock = processor.subBlockSize();

    std::uint64_t budget = 300000; // frames per input, so no input runs for long
    while (!in.empty()) {
        if (in.pick(8) == 0) {
            const std::uint32_t requested = in.flag() ? in.u32() : in.u16() % 9000;
            processor.reset(requested);
            current.subBlock = processor.subBlockSize();
            FUZZ_CHECK(current.subBlock >= 1 && current.subBlock <= StreamProcessor::kMaxSubBlockSize);
            FUZZ_CHECK(requested < 1 || requested > StreamProcessor::kMaxSubBlockSize ||
                       current.subBlock == requested);
            current.gridFrames = 0;
            continue;
        }
        const std::uint32_t n = bufferLength(in);
        const unsigned repeats = 1 + in.pick(64);
        const std::uint8_t flags = in.u8();
        const bool mono = flags & 1;
        const bool noInput = (flags & 0x0E) == 0x0E;
        const bool noOutput = (flags & 0x70) == 0x70;
        const bool noPlugin = (flags & 0x80) && (flags & 0x06) == 0x06;
        // Exactly 2 n samples each, so the address sanitizer sees any access past them.
        std::unique_ptr<double[]> input(new double[2 * static_cast<std::size_t>(n)]);
        std::unique_ptr<double[]> output(new double[2 * static_cast<std::size_t>(n)]);
        for (unsigned r = 0; r < repeats && budget >= n; ++r) {
            budget -= n;
            for (std::size_t k = 0; k < 2 * static_cast<std::size_t>(n); ++k) {
                input[k] = static_cast<double>(k % 97) / 97.0 - 0.5;
                output[k] = std::nan(""); // stale device data
            }
            current.input = input.get();
            current.output = output.get();
            current.n = n;
            current.mono = mono;
            current.next = 0;
            FUZZ_CHECK(processor.process(noOutput ? nullptr : output.get(), noInput ? nullptr : input.get(),
                                         n, false, noPlugin ? nullptr : &plugin, mono) == 0);
            if (noOutput) {
                FUZZ_CHECK(current.next == 0);
                continue;
            }
            const bool reached =
                !noInput && !noPlugin && processor.callbackCount() > StreamProcessor::kMutedCallbacks;
            FUZZ_CHECK(current.next == (reached ? n : 0));
            for (std::size_t k = 0; k < 2 * static_cast<std::size_t>(n); ++k) {
                FUZZ_CHECK(std::isfinite(output[k]) && (reached || output[k] == 0.0));
            }
        }
    }
    return 0;
}
