#pragma once
#include <cstdint>

// The plug-in's parameters, their order and ranges, in one place for the
// processing, the editor and the presets.
enum Vt4rParam : std::int32_t { kInputParam = 0, kOutputParam = 1, kRelaxedModeParam = 2, kNumParams = 3 };

// Not a parameter: the address under which the processing hands the needle
// position to the editor.
inline constexpr std::int32_t kMeterParamIdx = 4;

struct GainParamInfo {
    const char* name;
    double def, min, max, step;
    const char* label;
};
inline constexpr GainParamInfo kGainParams[2] = {
    {"Input", 0.0, -20.0, 20.0, 0.1, "dB"},
    {"Output", 0.0, -20.0, 20.0, 0.1, "dB"},
};
inline constexpr const char* kRelaxedModeName = "Relaxed Mode";
inline constexpr const char* kRelaxedModeTexts[2] = {"Off", "On"};
