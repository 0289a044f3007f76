#pragma once
#include <cmath>
#include <cstdint>
#include <string>

#include "framework/parameter.h"
#include "plugin/params.h"

// The plug-in's face to LV2 hosts: its URIs and ports. The descriptions in the
// bundle (written at build time by vt4r-lv2-ttl), the plug-in wrapper and the
// editor's wrapper all read them from here.
namespace vt4r_lv2 {

inline constexpr const char* kPluginUri = "urn:marsolind:vt4r";
inline constexpr const char* kUiUri = "urn:marsolind:vt4r#ui";
inline constexpr const char* kDefaultPresetUri = "urn:marsolind:vt4r#preset-default";
// The state key under which the parameter block is stored.
inline constexpr const char* kParametersKeyUri = "urn:marsolind:vt4r#parameters";

inline constexpr const char* kPluginBinary = "vt4r.so";
inline constexpr const char* kUiBinary = "vt4r_ui.so";

enum Port : std::uint32_t {
    kInputLeftPort = 0,
    kInputRightPort = 1,
    kOutputLeftPort = 2,
    kOutputRightPort = 3,
    kFirstParameterPort = 4, // one control input per parameter, in parameter order
    kGainReductionPort = kFirstParameterPort + kNumParams,
    kNeedlePort,
    kLatencyPort,
    // lv2:enabled: 1 processes, 0 bypasses. Last, so the older ports keep their indices.
    kEnabledPort,
    kPortCount
};

constexpr std::uint32_t PortOfParameter(std::int32_t index) {
    return kFirstParameterPort + static_cast<std::uint32_t>(index);
}
// The parameter a control input carries, -1 for every other port.
constexpr std::int32_t ParameterOfPort(std::uint32_t port) {
    return port >= kFirstParameterPort && port < kGainReductionPort
               ? static_cast<std::int32_t>(port - kFirstParameterPort)
               : -1;
}

// The needle shows the gain reduction in dB / 20, limited to 0..1.
inline constexpr double kNeedleFullScaleDb = 20.0;

// A port symbol from a parameter name: "Relaxed Mode" -> "relaxed_mode".
inline std::string SymbolForName(const char* name) {
    std::string symbol;
    for (const char* c = name; *c != '\0'; ++c) {
        const char ch = *c;
        if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9' && !symbol.empty()))
            symbol += ch;
        else if (ch >= 'A' && ch <= 'Z')
            symbol += static_cast<char>(ch - 'A' + 'a');
        else if (!symbol.empty() && symbol.back() != '_')
            symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_')
        symbol.pop_back();
    return symbol.empty() ? "parameter" : symbol;
}

// A control port's value as the parameter means it: a toggle is on for anything above 0
// (LV2's rule), other choices are rounded, numbers pass as they are.
inline double PlainFromPort(const IParameter& param, float value) {
    if (param.Kind() == Number)
        return value;
    if (param.ValueTextCount() <= 2)
        return value > 0.0f ? 1.0 : 0.0;
    return std::nearbyint(value);
}

} // namespace vt4r_lv2
