// The LV2 plug-in: the wrapper core under LV2's ports and state. Control ports are the
// host's view of the parameters; a port's value is handed to the core when it changes,
// and takes effect at the start of the run.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "formats/common/wrapper_core.h"
#include "formats/lv2/ports.h"

namespace {

using namespace vt4r_lv2;
using vt4r_formats::WrapperCore;

// A host that names no block length still never makes run allocate: longer runs are
// processed in pieces of this many frames.
constexpr std::uint32_t kFallbackCapacity = 8192;
// The needle's ballistics count blocks; without a nominal length, the standalone's.
constexpr std::uint32_t kFallbackBlockFrames = 1024;

// What a control port was last seen holding. Two NaNs no port write produces mark a port
// never seen (its value applies at the next run) and a port to be taken as it stands at
// the next run (after a restore, whose values must stand until the host moves the port).
constexpr std::uint32_t kNeverSeen = 0x7FC00001u;
constexpr std::uint32_t kAdoptAsSeen = 0x7FC00002u;

struct HostSettings {
    double sampleRate = 44100.0;
    std::uint32_t blockFrames = kFallbackBlockFrames;
    std::uint32_t capacity = kFallbackCapacity;
};

class Vt4rLv2 {
  public:
    Vt4rLv2(const HostSettings& host, LV2_URID_Map* map)
        : mHost(host), mChunkType(map->map(map->handle, LV2_ATOM__Chunk)),
          mParametersKey(map->map(map->handle, kParametersKeyUri)) {
        if (!mCore.Activate(mHost.sampleRate, mHost.capacity, mHost.blockFrames))
            throw std::bad_alloc();
        for (std::atomic<std::uint32_t>& seen : mSeen)
            seen.store(kNeverSeen, std::memory_order_relaxed);
    }

    void Connect(std::uint32_t port, void* data) {
        if (port < kPortCount)
            mPorts[port] = static_cast<float*>(data);
    }

    // A second activation starts from silence, as a new instance would, with the
    // parameters kept. The first was done at instantiation.
    void Activate() {
        if (mActivated)
            mCore.Activate(mHost.sampleRate, mHost.capacity, mHost.blockFrames);
        mActivated = true;
    }

    // [audio thread]
    void Run(std::uint32_t frames) {
        ReadControlPorts();
        const float* enabled = mPorts[kEnabledPort];
        mCore.SetValue(vt4r_formats::kBypassParam, enabled != nullptr && !(*enabled > 0.0f) ? 1.0 : 0.0);
        const float* ins[2] = {mPorts[kInputLeftPort], mPorts[kInputRightPort]};
        float* outs[2] = {mPorts[kOutputLeftPort], mPorts[kOutputRightPort]};
        mCore.Process(ins, outs, frames);
        WritePort(kNeedlePort, static_cast<float>(mCore.Needle()));
        WritePort(kGainReductionPort, static_cast<float>(mCore.GainReductionDb()));
        WritePort(kLatencyPort, static_cast<float>(mCore.LatencySamples()));
    }

    // Saves the controls as the host shows them now, also those moved while no run came.
    LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
        ReadControlPorts();
        std::vector<std::uint8_t> block;
        if (!mCore.SaveState(block))
            return LV2_STATE_ERR_UNKNOWN;
        return store(handle, mParametersKey, block.data(), block.size(), mChunkType,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }

    // Anything but a whole parameter block of ours leaves the values as they are. The
    // restored values stand until the host moves a control.
    LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
        std::size_t size = 0;
        std::uint32_t type = 0;
        std::uint32_t flags = 0;
        const void* data = retrieve(handle, mParametersKey, &size, &type, &flags);
        if (data == nullptr)
            return LV2_STATE_ERR_NO_PROPERTY;
        if (type != mChunkType)
            return LV2_STATE_ERR_BAD_TYPE;
        if (!mCore.LoadState(data, size))
            return LV2_STATE_ERR_UNKNOWN;
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            float* port = mPorts[PortOfParameter(i)];
            mSeen[i].store(port != nullptr ? std::bit_cast<std::uint32_t>(
                                                 std::atomic_ref<float>(*port).load(std::memory_order_relaxed))
                                           : kAdoptAsSeen,
                           std::memory_order_relaxed);
        }
        return LV2_STATE_SUCCESS;
    }

  private:
    // [audio thread in run; main thread in save] Hands the core every control port whose
    // value changed since it was last seen.
    void ReadControlPorts() {
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            float* port = mPorts[PortOfParameter(i)];
            if (port == nullptr)
                continue;
            // A save reads the ports beside the run; hosts write them from either thread.
            const float value = std::atomic_ref<float>(*port).load(std::memory_order_relaxed);
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
            const std::uint32_t seen = mSeen[i].exchange(bits, std::memory_order_relaxed);
            if (seen == bits || seen == kAdoptAsSeen)
                continue;
            mCore.SetValue(i, PlainFromPort(*mCore.Plugin().Param(i), value));
        }
    }

    void WritePort(std::uint32_t port, float value) {
        if (mPorts[port] != nullptr)
            *mPorts[port] = value;
    }

    HostSettings mHost;
    LV2_URID mChunkType;
    LV2_URID mParametersKey;
    WrapperCore mCore{"lv2"};
    float* mPorts[kPortCount] = {};
    std::atomic<std::uint32_t> mSeen[kNumParams];
    bool mActivated = false;
};

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, uri) == 0)
            return (*features)->data;
    return nullptr;
}

// The block lengths a host states through the options feature (buf-size extension).
void ReadBlockLengths(const LV2_Options_Option* options, LV2_URID_Map* map, HostSettings& host) {
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    const LV2_URID nominalKey = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
    const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    std::int32_t nominal = 0;
    std::int32_t maximum = 0;
    for (const LV2_Options_Option* o = options; o != nullptr && o->key != 0; ++o) {
        if (o->type != atomInt || o->size != sizeof(std::int32_t) || o->value == nullptr)
            continue;
        const std::int32_t value = *static_cast<const std::int32_t*>(o->value);
        if (o->key == nominalKey)
            nominal = value;
        else if (o->key == maxKey)
            maximum = value;
    }
    if (maximum > 0)
        host.capacity = static_cast<std::uint32_t>(maximum);
    else if (nominal > 0)
        host.capacity = static_cast<std::uint32_t>(nominal);
    if (nominal > 0)
        host.blockFrames = static_cast<std::uint32_t>(nominal);
    else if (maximum > 0)
        host.blockFrames = static_cast<std::uint32_t>(maximum);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
    if (map == nullptr)
        return nullptr;
    HostSettings host;
    host.sampleRate = rate;
    ReadBlockLengths(static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options)), map,
                     host);
    try {
        return new Vt4rLv2(host, map);
    } catch (const std::exception&) {
        return nullptr;
    }
}

Vt4rLv2* Self(LV2_Handle handle) {
    return static_cast<Vt4rLv2*>(handle);
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    Self(handle)->Connect(port, data);
}

void Activate(LV2_Handle handle) {
    // Out of memory keeps the old instance running.
    Self(handle)->Activate();
}

void Run(LV2_Handle handle, std::uint32_t frames) {
    Self(handle)->Run(frames);
}

void Deactivate(LV2_Handle) {}

void Cleanup(LV2_Handle handle) {
    delete Self(handle);
}

LV2_State_Status SaveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                           std::uint32_t, const LV2_Feature* const*) {
    try {
        return Self(handle)->Save(store, state);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status RestoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                              std::uint32_t, const LV2_Feature* const*) {
    try {
        return Self(handle)->Restore(retrieve, state);
    } catch (const std::exception&) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2_State_Interface state = {SaveState, RestoreState};
    if (std::strcmp(uri, LV2_STATE__interface) == 0)
        return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate, Run,
                                    Deactivate, Cleanup,     ExtensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
