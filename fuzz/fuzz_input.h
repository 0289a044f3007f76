#pragma once
// What every fuzzer shares: reading values off the fuzzer's bytes, and a check that stops the
// run (so libFuzzer keeps the input) when a property does not hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// Takes values from the front of the input; past its end every value is 0, so any input is a
// complete program.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}

    bool empty() const { return mPos >= mSize; }
    std::size_t remaining() const { return mSize - mPos; }

    std::uint8_t u8() { return mPos < mSize ? mData[mPos++] : 0; }
    // Little-endian; each byte read in its own statement, so the order is fixed.
    std::uint16_t u16() {
        const unsigned low = u8();
        return static_cast<std::uint16_t>(low | (static_cast<unsigned>(u8()) << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::uint64_t u64() {
        const std::uint64_t low = u32();
        return low | (static_cast<std::uint64_t>(u32()) << 32);
    }
    bool flag() { return (u8() & 1) != 0; }
    // 0 .. count - 1.
    unsigned pick(unsigned count) { return count == 0 ? 0 : u8() % count; }

    // A double that is often one of the values arithmetic breaks on.
    double hostileDouble() {
        static const double kValues[] = {
            0.0,
            -0.0,
            1.0,
            -1.0,
            0.5,
            1e-3,
            std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::denorm_min(),
            -std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::min() / 3.0, // a larger subnormal
            std::numeric_limits<double>::min(),
            1e300,
            -1e300,
            std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::max(),
            1e-300,
            4294967296.0,
        };
        constexpr unsigned kCount = sizeof kValues / sizeof kValues[0];
        const unsigned choice = u8();
        if (choice < kCount) {
            return kValues[choice];
        }
        if (choice < 128) {
            return (static_cast<double>(u16()) - 32768.0) / 16384.0; // ordinary audio range, a little past it
        }
        const std::uint64_t bits = u64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Up to `max` bytes (fewer when the input ends).
    std::string_view bytes(std::size_t max) {
        const std::size_t n = max < remaining() ? max : remaining();
        const std::string_view out(reinterpret_cast<const char*>(mData + mPos), n);
        mPos += n;
        return out;
    }

  private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};
