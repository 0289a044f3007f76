#include "host_id.h"

#include <cstdio>
#include <cstring>

#include "effect_base.h"
#include "trace.h"

namespace {

struct HostKey {
    const char* key;
    std::int32_t id;
};

// Tried in this order; an earlier key wins over a later one in the same name.
constexpr HostKey kHostTable[] = {
    {"standalone", 23}, {"lv2", 26}, {"cubase", 3}, {"reaper", 1},   {"nuendo", 4},      {"cakewalk", 5},
    {"samplitude", 8},  {"fruity", 7}, {"live", 9},     {"melodyne", 12},   {"vstmanlib", 13},
    {"aulab", 14},      {"forte", 15}, {"chainer", 16}, {"audition", 17},   {"orion", 18},
    {"sawstudio", 20},  {"logic", 21}, {"digital", 22}, {"audiomulch", 24}, {"presonus vst2 host", 25},
};

constexpr std::size_t kMaxHostName = 255;

} // namespace

std::int32_t LookUpHostId(const char* hostName) {
    char lower[kMaxHostName + 1];
    std::size_t n = 0;
    if (hostName != nullptr) {
        for (; n < kMaxHostName && hostName[n] != '\0'; ++n) {
            const char c = hostName[n];
            lower[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    lower[n] = '\0';
    for (const HostKey& entry : kHostTable)
        if (std::strstr(lower, entry.key) != nullptr)
            return entry.id;
    return 0;
}

void FormatHostVersion(std::int32_t version, char* out, std::size_t size) {
    if (out == nullptr || size == 0)
        return;
    const std::uint32_t v = static_cast<std::uint32_t>(version);
    std::snprintf(out, size, "v%u.%u.%u", v >> 16, (v >> 8) & 0xFFu, v & 0xFFu);
}

void IEffectBase::SetHost(const char* hostName, std::int32_t version) {
    mHostId = LookUpHostId(hostName);
    mHostVersion = version;
    char versionText[32];
    FormatHostVersion(version, versionText, sizeof versionText);
    Trace("IEffectBase::SetHost", "host_%sknown:%s:%s", mHostId == 0 ? "un" : "", hostName ? hostName : "",
          versionText);
}

std::int32_t IEffectBase::HostId() {
    return mHostId;
}
