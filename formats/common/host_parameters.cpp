#include "formats/common/host_parameters.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/effect_base.h"

namespace vt4r_formats {

namespace {

constexpr const char* kSwitchTexts[2] = {"Off", "On"};

bool Stepped(const IParameter& param) {
    return param.Kind() != Number;
}

bool SkipBlanks(const char*& p) {
    while (*p == ' ' || *p == '\t')
        ++p;
    return *p != '\0';
}

bool EqualNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// A decimal number alone, or followed by blanks and `unit` (in any case). from_chars, not
// strtod: the host's locale must not turn "1.5" into 1.
bool ReadNumber(const char* text, const char* unit, double* out) {
    const char* p = text;
    if (!SkipBlanks(p))
        return false;
    if (*p == '+')
        ++p;
    const char* end = p + std::strlen(p);
    double value = 0.0;
    const auto [rest, error] = std::from_chars(p, end, value, std::chars_format::fixed);
    if (error != std::errc() || !std::isfinite(value))
        return false;
    p = rest;
    if (SkipBlanks(p)) {
        if (unit == nullptr || unit[0] == '\0' || !StartsWithNoCase(p, unit))
            return false;
        p += std::strlen(unit);
        if (SkipBlanks(p))
            return false;
    }
    *out = value;
    return true;
}

} // namespace

bool DescribeParameter(const IEffectBase& plugin, std::int32_t index, HostParameterInfo& info) {
    if (index == kBypassParam) {
        info = HostParameterInfo{kBypassName, "", 0.0, 1.0, 0.0, 1, true};
        return true;
    }
    const IParameter* param = plugin.Param(index);
    if (param == nullptr || index >= kHostParamCount)
        return false;
    info.name = param->Name();
    info.unit = param->Label();
    info.minimum = param->Minimum();
    info.maximum = param->Maximum();
    info.defaultValue = param->DefaultValue();
    info.stepCount = Stepped(*param) ? static_cast<std::int32_t>(std::lround(param->Maximum() - param->Minimum())) : 0;
    info.isBypass = false;
    return true;
}

double ConformValue(const IEffectBase& plugin, std::int32_t index, double plain) {
    HostParameterInfo info;
    if (!DescribeParameter(plugin, index, info))
        return 0.0;
    if (std::isnan(plain))
        return info.defaultValue;
    if (info.stepCount > 0)
        plain = std::nearbyint(plain);
    return std::fmin(std::fmax(plain, info.minimum), info.maximum);
}

double NormalizedFromPlain(const IEffectBase& plugin, std::int32_t index, double plain) {
    HostParameterInfo info;
    if (!DescribeParameter(plugin, index, info) || !(info.maximum > info.minimum))
        return 0.0;
    return (ConformValue(plugin, index, plain) - info.minimum) / (info.maximum - info.minimum);
}

double PlainFromNormalized(const IEffectBase& plugin, std::int32_t index, double normalized) {
    HostParameterInfo info;
    if (!DescribeParameter(plugin, index, info))
        return 0.0;
    if (std::isnan(normalized))
        return info.defaultValue;
    normalized = std::fmin(std::fmax(normalized, 0.0), 1.0);
    // Steps share the range evenly, as hosts draw them: for a switch, the upper half is on.
    if (info.stepCount > 0)
        return info.minimum + std::fmin(std::floor(normalized * (info.stepCount + 1)), info.stepCount);
    return ConformValue(plugin, index, info.minimum + normalized * (info.maximum - info.minimum));
}

bool FormatParameter(const IEffectBase& plugin, std::int32_t index, double plain, char* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return false;
    HostParameterInfo info;
    if (!DescribeParameter(plugin, index, info))
        return false;
    plain = ConformValue(plugin, index, plain);
    if (info.isBypass) {
        std::snprintf(out, size, "%s", kSwitchTexts[plain > 0.5 ? 1 : 0]);
        return true;
    }
    const IParameter& param = *plugin.Param(index);
    char value[64];
    param.FormatValue(plain, false, value, sizeof value, true);
    if (info.unit[0] != '\0' && info.stepCount == 0)
        std::snprintf(out, size, "%s %s", value, info.unit);
    else
        std::snprintf(out, size, "%s", value);
    return true;
}

bool ParseParameter(const IEffectBase& plugin, std::int32_t index, const char* text, double* plain) {
    HostParameterInfo info;
    if (text == nullptr || plain == nullptr || !DescribeParameter(plugin, index, info))
        return false;
    double value = 0.0;
    if (info.stepCount > 0) {
        const char* p = text;
        SkipBlanks(p);
        std::string_view word(p);
        while (!word.empty() && (word.back() == ' ' || word.back() == '\t'))
            word.remove_suffix(1);
        char trimmed[64] = {};
        if (word.size() >= sizeof trimmed)
            return false;
        std::memcpy(trimmed, word.data(), word.size());
        int named = 0;
        const IParameter* param = plugin.Param(index);
        bool found = false;
        for (int i = 0; param != nullptr && i <= info.stepCount && !found; ++i) {
            const char* candidate = param->ValueTextFor(i);
            if (candidate != nullptr && candidate[0] != '\0' && EqualNoCase(trimmed, candidate))
                named = i, found = true;
        }
        for (int i = 0; info.isBypass && i < 2 && !found; ++i)
            if (EqualNoCase(trimmed, kSwitchTexts[i]))
                named = i, found = true;
        if (found)
            value = named;
        else if (!ReadNumber(trimmed, nullptr, &value))
            return false;
    } else if (!ReadNumber(text, info.unit, &value)) {
        return false;
    }
    *plain = ConformValue(plugin, index, value);
    return true;
}

} // namespace vt4r_formats
