// The LV2 plug-in: the same VT4R the standalone runs, made by the same factory and
// driven through the framework's interface. The host's float buffers go through one
// ProcessBlockLocked call per run, by way of double buffers allocated beforehand.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "framework/standalone.h"
#include "formats/lv2/ports.h"

namespace {

using namespace vt4r_lv2;

// A host that names no block length still never makes run allocate: longer runs are
// processed in pieces of this many frames.
constexpr std::uint32_t kFallbackCapacity = 8192;
// A claimed maximum beyond this is not believed (it would only cost memory).
constexpr std::uint32_t kLargestCapacity = 1u << 16;
// The needle's ballistics count blocks; without a nominal length, the standalone's.
constexpr std::int32_t kFallbackBlockFrames = 1024;

// Takes what the plug-in hands its editor; here only the needle matters.
class NeedleTap : public IEditorLink {
  public:
    // [audio thread, inside ProcessBlockLocked]
    void PushParameterValue(int index, double value, bool normalised) override {
        if (index == kMeterParamIdx && normalised)
            needle = value;
    }
    void PrepareDrawing() override {}
    double needle = 0.0;
};

struct HostSettings {
    double sampleRate = 44100.0;
    std::int32_t blockFrames = kFallbackBlockFrames;
    std::uint32_t capacity = kFallbackCapacity;
};

std::unique_ptr<IEffectStandalone> MakePlugin(const HostSettings& host, NeedleTap*& tap) {
    IHostRecord record;
    record.hostName = "lv2";
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(record);
    plugin->SetSampleRateHz(host.sampleRate);
    plugin->SetBlockFrames(host.blockFrames);
    plugin->ResetProcessing();
    // The plug-in's own editor is replaced: an LV2 editor lives in its own instance.
    tap = new NeedleTap;
    plugin->AttachEditor(tap);
    return plugin;
}

class Vt4rLv2 {
  public:
    Vt4rLv2(const HostSettings& host, LV2_URID_Map* map)
        : mHost(host), mChunkType(map->map(map->handle, LV2_ATOM__Chunk)),
          mParametersKey(map->map(map->handle, kParametersKeyUri)) {
        mPlugin = MakePlugin(mHost, mTap);
        for (auto* buffers : {&mIn, &mOut})
            for (std::vector<double>& b : *buffers)
                b.assign(mHost.capacity, 0.0);
        ForgetAppliedPorts();
    }

    void Connect(std::uint32_t port, void* data) {
        if (port < kPortCount)
            mPorts[port] = static_cast<float*>(data);
    }

    // A second activation starts from silence, as a new instance would, with the
    // parameters kept.
    void Activate() {
        if (mActivated) {
            IStateChunk values;
            mPlugin->SerializeParams(values);
            NeedleTap* tap = nullptr;
            std::unique_ptr<IEffectStandalone> fresh = MakePlugin(mHost, tap);
            fresh->UnserializeParams(values, 0);
            mPlugin = std::move(fresh);
            mTap = tap;
        }
        mActivated = true;
    }

    // [audio thread]
    void Run(std::uint32_t frames) {
        ApplyControlPorts();
        double* ins[2] = {mIn[0].data(), mIn[1].data()};
        double* outs[2] = {mOut[0].data(), mOut[1].data()};
        std::uint32_t done = 0;
        do {
            const std::uint32_t n = std::min(frames - done, mHost.capacity);
            for (int c = 0; c < 2; ++c) {
                const float* in = mPorts[kInputLeftPort + c];
                for (std::uint32_t i = 0; i < n; ++i)
                    ins[c][i] = in != nullptr ? static_cast<double>(in[done + i]) : 0.0;
            }
            mPlugin->ProcessBlockLocked(ins, outs, static_cast<std::int32_t>(n));
            for (int c = 0; c < 2; ++c)
                if (float* out = mPorts[kOutputLeftPort + c])
                    for (std::uint32_t i = 0; i < n; ++i)
                        out[done + i] = static_cast<float>(outs[c][i]);
            done += n;
        } while (done < frames);

        const double needle = mTap->needle;
        WritePort(kNeedlePort, static_cast<float>(needle));
        WritePort(kGainReductionPort, static_cast<float>(needle * kNeedleFullScaleDb));
        WritePort(kLatencyPort, static_cast<float>(mPlugin->LatencySamples()));
    }

    LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
        IStateChunk chunk;
        if (!mPlugin->SerializeParams(chunk))
            return LV2_STATE_ERR_UNKNOWN;
        return store(handle, mParametersKey, chunk.Bytes(), static_cast<std::size_t>(chunk.Size()), mChunkType,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }

    // Anything but a whole parameter block of ours leaves the values as they are.
    LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
        std::size_t size = 0;
        std::uint32_t type = 0;
        std::uint32_t flags = 0;
        const void* data = retrieve(handle, mParametersKey, &size, &type, &flags);
        if (data == nullptr)
            return LV2_STATE_ERR_NO_PROPERTY;
        if (type != mChunkType)
            return LV2_STATE_ERR_BAD_TYPE;
        if (size != static_cast<std::size_t>(mPlugin->ParamCount()) * sizeof(double))
            return LV2_STATE_ERR_UNKNOWN;
        IStateChunk chunk;
        if (chunk.AppendBytes(data, size) != static_cast<std::int32_t>(size))
            return LV2_STATE_ERR_UNKNOWN;
        mPlugin->UnserializeParams(chunk, 0);
        return LV2_STATE_SUCCESS;
    }

  private:
    void ForgetAppliedPorts() {
        for (std::uint32_t& bits : mAppliedBits)
            bits = 0x7FC00001u; // a NaN no port write produces: the first run applies every port
    }

    // A control port's value is applied when it changes, so a restored state stands
    // until the host moves the control.
    void ApplyControlPorts() {
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            const float* port = mPorts[PortOfParameter(i)];
            if (port == nullptr)
                continue;
            const float value = *port;
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
            if (bits == mAppliedBits[i])
                continue;
            mAppliedBits[i] = bits;
            std::lock_guard<PluginLock> lock(mPlugin->Lock());
            ApplyPortValue(*mPlugin->Param(i), value);
            mPlugin->ParameterChanged(i);
        }
    }

    void WritePort(std::uint32_t port, float value) {
        if (mPorts[port] != nullptr)
            *mPorts[port] = value;
    }

    HostSettings mHost;
    LV2_URID mChunkType;
    LV2_URID mParametersKey;
    std::unique_ptr<IEffectStandalone> mPlugin;
    NeedleTap* mTap = nullptr; // owned by mPlugin
    float* mPorts[kPortCount] = {};
    std::uint32_t mAppliedBits[kNumParams] = {};
    std::vector<double> mIn[2];
    std::vector<double> mOut[2];
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
        host.capacity = std::min(static_cast<std::uint32_t>(maximum), kLargestCapacity);
    else if (nominal > 0)
        host.capacity = std::min(static_cast<std::uint32_t>(nominal), kLargestCapacity);
    if (nominal > 0)
        host.blockFrames = nominal;
    else if (maximum > 0)
        host.blockFrames = maximum;
    host.blockFrames = std::min<std::int32_t>(host.blockFrames, kLargestCapacity);
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
    try {
        Self(handle)->Activate();
    } catch (const std::exception&) {
        // Out of memory: the old instance runs on.
    }
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
