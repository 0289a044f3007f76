// Parameter texts as hosts hand them over: any text typed into a host's field goes into
// ParseParameter for every host parameter (bypass included), any value into FormatParameter.
// A parsed value lies in the parameter's range (on a step for stepped ones), a failed parse
// leaves the value alone, and a value's text parses back to a value whose text is the same.
//   bytes: value to format (FuzzInput::hostileDouble), small buffer size, then the text
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "formats/common/host_parameters.h"
#include "framework/standalone.h"
#include "fuzz_input.h"

namespace {

using namespace vt4r_formats;

const IEffectStandalone& Plugin() {
    static const std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    return *plugin;
}

bool Same(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

void CheckInRange(std::int32_t index, double value) {
    HostParameterInfo info;
    FUZZ_CHECK(DescribeParameter(Plugin(), index, info));
    FUZZ_CHECK(value >= info.minimum && value <= info.maximum);
    if (info.stepCount > 0)
        FUZZ_CHECK(value == std::nearbyint(value));
}

std::string Format(std::int32_t index, double value) {
    char text[128];
    std::memset(text, 'x', sizeof text);
    FUZZ_CHECK(FormatParameter(Plugin(), index, value, text, sizeof text));
    FUZZ_CHECK(std::memchr(text, '\0', sizeof text) != nullptr);
    FUZZ_CHECK(text[0] != '\0');
    return text;
}

// A value's text parses, and what it parses to shows as the same text and parses to itself.
void CheckRoundTrip(std::int32_t index, double value) {
    const std::string text = Format(index, value);
    double parsed = 0.0;
    FUZZ_CHECK(ParseParameter(Plugin(), index, text.c_str(), &parsed));
    CheckInRange(index, parsed);
    const std::string again = Format(index, parsed);
    if (again != text) {
        std::fprintf(stderr, "parameter %d: %a shows as \"%s\", which parses to %a, shown as \"%s\"\n", index, value,
                     text.c_str(), parsed, again.c_str());
    }
    FUZZ_CHECK(again == text);
    double reparsed = 0.0;
    FUZZ_CHECK(ParseParameter(Plugin(), index, again.c_str(), &reparsed));
    FUZZ_CHECK(Same(reparsed, parsed));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const double value = in.hostileDouble();
    const std::size_t room = 1 + in.u8() % 24;
    const std::string_view rest = in.bytes(in.remaining());
    const std::string text(rest.data(), rest.size()); // a C string ends at the first NUL

    for (std::int32_t index = -1; index <= kHostParamCount; ++index) {
        const bool valid = index >= 0 && index < kHostParamCount;
        constexpr double kUntouched = -1234.5;
        double parsed = kUntouched;
        const bool ok = ParseParameter(Plugin(), index, text.c_str(), &parsed);
        FUZZ_CHECK(valid || !ok);
        if (!ok) {
            FUZZ_CHECK(Same(parsed, kUntouched));
        } else {
            CheckInRange(index, parsed);
            CheckRoundTrip(index, parsed);
        }

        char small[24];
        std::memset(small, 'x', sizeof small);
        FUZZ_CHECK(FormatParameter(Plugin(), index, value, small, room) == valid);
        if (!valid)
            continue;
        CheckRoundTrip(index, value);
        // A short buffer holds the start of the text, terminated.
        const std::string full = Format(index, value);
        FUZZ_CHECK(std::memchr(small, '\0', room) != nullptr);
        FUZZ_CHECK(full.compare(0, std::strlen(small), small) == 0);
        FUZZ_CHECK(std::strlen(small) == std::min(full.size(), room - 1));
    }
    return 0;
}
