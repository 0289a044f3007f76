#pragma once
#include <cstddef>
#include <cstdint>

#include "plugin/params.h"

class IEffectBase;

// The plug-in's parameters as every plug-in format shows them to its host: the plug-in's
// own table in its order, then Bypass, which belongs to the wrapper (it is not one of the
// plug-in's parameters and not in the stored parameter block). Values here are plain:
// dB for the gains, 0/1 for the switches.
namespace vt4r_formats {

inline constexpr std::int32_t kBypassParam = kNumParams;
inline constexpr std::int32_t kHostParamCount = kNumParams + 1;
inline constexpr const char* kBypassName = "Bypass";

struct HostParameterInfo {
    const char* name = "";
    const char* unit = ""; // "dB", or empty
    double minimum = 0.0;
    double maximum = 1.0;
    double defaultValue = 0.0;
    // 0 for a continuous value; else the number of steps between minimum and maximum.
    std::int32_t stepCount = 0;
    bool isBypass = false;
};

// False for an index outside 0 .. kHostParamCount - 1.
bool DescribeParameter(const IEffectBase& plugin, std::int32_t index, HostParameterInfo& info);

// What a host's value becomes: limited to the range, stepped values rounded to the
// nearest step. NaN gives the default.
double ConformValue(const IEffectBase& plugin, std::int32_t index, double plain);

// Linear over the range; stepped values land on their steps.
double NormalizedFromPlain(const IEffectBase& plugin, std::int32_t index, double plain);
double PlainFromNormalized(const IEffectBase& plugin, std::int32_t index, double normalized);

// "12.5 dB", "Off", "On": the editor's own texts, with the unit. False for a bad index.
bool FormatParameter(const IEffectBase& plugin, std::int32_t index, double plain, char* out, std::size_t size);
// Takes what FormatParameter writes and what a user types: a number with or without the
// unit ("-3", "-3.5 dB"), or a switch's text in any case ("on") or its number. Answers the
// value conformed to the parameter; false (and `plain` untouched) for anything else.
bool ParseParameter(const IEffectBase& plugin, std::int32_t index, const char* text, double* plain);

} // namespace vt4r_formats
