// The LV2 plug-in driven only through its descriptor and state interface, as a host drives it:
// instantiate (any rate, any block lengths stated), connect, restore state of any bytes, type,
// flags and key, move controls to any float, run blocks, save, activate again. Checks:
//  - run's outputs (audio, gain reduction, needle, latency) are finite and in range;
//  - save stores one parameter block of ours, whose values are in their ranges;
//  - a restore that fails changes nothing; one that succeeds takes an in-range block as it is,
//    and what it restored stands, also across runs, until the host moves a control;
//  - what one instance saves, a new one restores and saves alike.
// The plug-in's source is compiled into this program (fuzz/CMakeLists.txt) for the sanitizers
// and coverage; it is reached through lv2_descriptor() alone.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "formats/common/host_parameters.h"
#include "formats/lv2/ports.h"
#include "framework/standalone.h"
#include "fuzz_input.h"

namespace {

using namespace vt4r_lv2;

// LV2_FUZZ_TRACE=1 prints the host's steps, to read a finding.
const bool kTrace = std::getenv("LV2_FUZZ_TRACE") != nullptr;
#define TRACE(...) (kTrace ? std::fprintf(stderr, __VA_ARGS__) : 0)
using vt4r_formats::HostParameterInfo;

constexpr std::size_t kBlockSize = static_cast<std::size_t>(kNumParams) * sizeof(double);

// The host's URID map: ids count from 1 in the order URIs are first seen.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map feature{this, Map};

    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& self = *static_cast<UridMap*>(handle);
        for (std::size_t i = 0; i < self.uris.size(); ++i)
            if (self.uris[i] == uri)
                return static_cast<LV2_URID>(i + 1);
        self.uris.emplace_back(uri);
        return static_cast<LV2_URID>(self.uris.size());
    }
    LV2_URID operator()(const char* uri) { return Map(this, uri); }
};

// What the host hands to restore: one property, under the plug-in's key or another.
struct StoredState {
    LV2_URID key = 0;
    LV2_URID type = 0;
    std::uint32_t flags = 0;
    // The data sits at the end of its allocation, so a read past it is seen; `offset` bytes
    // before it make it unaligned.
    std::vector<std::uint8_t> storage;
    std::size_t offset = 0;
    int retrievals = 0;

    void Set(std::string_view bytes, std::size_t misalign) {
        offset = misalign;
        storage.assign(offset + bytes.size(), 0);
        if (!bytes.empty())
            std::memcpy(storage.data() + offset, bytes.data(), bytes.size());
    }
    const std::uint8_t* Data() const { return storage.data() + offset; }
    std::size_t Size() const { return storage.size() - offset; }

    static const void* Retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                                std::uint32_t* flags) {
        auto& self = *static_cast<StoredState*>(handle);
        ++self.retrievals;
        if (key != self.key)
            return nullptr;
        *size = self.Size();
        *type = self.type;
        *flags = self.flags;
        return self.Data();
    }
};

// What save stores.
struct SavedState {
    LV2_URID key = 0, type = 0;
    std::vector<std::uint8_t> data;
    int stores = 0;

    static LV2_State_Status Store(LV2_State_Handle handle, std::uint32_t key, const void* value, std::size_t size,
                                  std::uint32_t type, std::uint32_t) {
        auto& self = *static_cast<SavedState*>(handle);
        ++self.stores;
        self.key = key;
        self.type = type;
        self.data.assign(static_cast<const std::uint8_t*>(value), static_cast<const std::uint8_t*>(value) + size);
        return LV2_STATE_SUCCESS;
    }
};

const IEffectStandalone& Metadata() {
    static const std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    return *plugin;
}

double ValueAt(const std::uint8_t* block, std::int32_t index) {
    double value;
    std::memcpy(&value, block + 8 * index, sizeof value);
    return value;
}

bool InRange(std::int32_t index, double value, bool onStep = true) {
    HostParameterInfo info;
    vt4r_formats::DescribeParameter(Metadata(), index, info);
    return value >= info.minimum && value <= info.maximum &&
           (!onStep || info.stepCount == 0 || value == std::nearbyint(value));
}

float ControlValue(FuzzInput& in) {
    switch (in.pick(4)) {
    case 0:
        return static_cast<float>(in.hostileDouble());
    case 1:
        return std::bit_cast<float>(in.u32());
    default:
        return static_cast<float>(static_cast<int>(in.u8()) - 128) / 4.0f; // -32 .. 31.75
    }
}

class Host {
  public:
    Host(const LV2_Descriptor* descriptor, UridMap& map) : mDescriptor(descriptor), mMap(map) {
        mChunk = map(LV2_ATOM__Chunk);
        mKey = map(kParametersKeyUri);
    }
    ~Host() {
        if (mHandle != nullptr)
            mDescriptor->cleanup(mHandle);
    }

    // False when the plug-in declines (as it may for a rate it cannot take).
    bool Instantiate(double rate, std::int32_t nominal, std::int32_t maximum, bool withMap) {
        const LV2_URID atomInt = mMap(LV2_ATOM__Int);
        std::vector<LV2_Options_Option> options;
        if (nominal != 0)
            options.push_back({LV2_OPTIONS_INSTANCE, 0, mMap(LV2_BUF_SIZE__nominalBlockLength), sizeof(std::int32_t),
                               atomInt, &nominal});
        if (maximum != 0)
            options.push_back({LV2_OPTIONS_INSTANCE, 0, mMap(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
                               atomInt, &maximum});
        options.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
        const LV2_Feature mapFeature{LV2_URID__map, &mMap.feature};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, options.data()};
        const LV2_Feature* features[] = {&optionsFeature, withMap ? &mapFeature : nullptr, nullptr};
        mHandle = mDescriptor->instantiate(mDescriptor, rate, "/nonexistent/vt4r.lv2/", features);
        // Blocks a host may run: up to the maximum it stated, else anything (here: past the
        // plug-in's own fallback of 8192 frames).
        mLongestRun = maximum > 0 ? static_cast<std::uint32_t>(maximum) : 9000;
        if (mHandle == nullptr)
            return false;
        mState = static_cast<const LV2_State_Interface*>(mDescriptor->extension_data(LV2_STATE__interface));
        FUZZ_CHECK(mState != nullptr && mState->save != nullptr && mState->restore != nullptr);
        for (float& c : mControls)
            c = 0.0f;
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            HostParameterInfo info;
            vt4r_formats::DescribeParameter(Metadata(), i, info);
            mControls[PortOfParameter(i)] = static_cast<float>(info.defaultValue);
        }
        mControls[kEnabledPort] = 1.0f;
        return true;
    }

    void ConnectControl(std::uint32_t port, bool connect) {
        TRACE("connect port %u %s (holds %a)\n", port, connect ? "on" : "off", mControls[port]);
        if (ParameterOfPort(port) >= 0 && connect != mConnected[port])
            mMoved |= Observe(port, connect);
        mConnected[port] = connect;
        mDescriptor->connect_port(mHandle, port, connect ? &mControls[port] : nullptr);
    }

    void SetControl(std::uint32_t port, float value) {
        TRACE("control %u = %a\n", port, value);
        mControls[port] = value;
    }

    void Activate() { mDescriptor->activate(mHandle); }
    void Deactivate() { mDescriptor->deactivate(mHandle); }

    void Run(FuzzInput& in) {
        const std::uint32_t frames = in.u16() % (mLongestRun + 1);
        const float level = static_cast<float>(in.u8()) / 32.0f; // up to about +18 dBFS
        const float hz = 20.0f + static_cast<float>(in.u8()) * 60.0f;
        // Exactly the block's length, so the address sanitizer sees any access past it.
        std::vector<float> inL(frames), inR(frames), outL(frames, 7.0f), outR(frames, 7.0f);
        for (std::uint32_t i = 0; i < frames; ++i) {
            inL[i] = level * std::sin(6.2831853f * hz * static_cast<float>(i) / 48000.0f);
            inR[i] = i % 3 == 0 ? -level : inL[i] * 0.5f;
        }
        mDescriptor->connect_port(mHandle, kInputLeftPort, inL.data());
        mDescriptor->connect_port(mHandle, kInputRightPort, inR.data());
        mDescriptor->connect_port(mHandle, kOutputLeftPort, outL.data());
        mDescriptor->connect_port(mHandle, kOutputRightPort, outR.data());
        for (std::uint32_t port : {kGainReductionPort, kNeedlePort, kLatencyPort})
            mDescriptor->connect_port(mHandle, port, &mControls[port]);
        ObserveAll();
        TRACE("run %u frames, level %g\n", frames, level);
        mDescriptor->run(mHandle, frames);
        for (std::uint32_t i = 0; i < frames; ++i)
            FUZZ_CHECK(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        const float reduction = mControls[kGainReductionPort], needle = mControls[kNeedlePort];
        FUZZ_CHECK(std::isfinite(reduction) && reduction >= 0.0f);
        FUZZ_CHECK(needle >= 0.0f && needle <= 1.0f);
        FUZZ_CHECK(mControls[kLatencyPort] >= 0.0f && std::isfinite(mControls[kLatencyPort]));
        // Dangling pointers would be the host's fault; a fresh set comes with every run.
        for (std::uint32_t port : {kInputLeftPort, kInputRightPort, kOutputLeftPort, kOutputRightPort})
            mDescriptor->connect_port(mHandle, port, nullptr);
    }

    // One parameter block of ours, values in range.
    std::vector<std::uint8_t> Save() {
        SavedState saved;
        ObserveAll();
        const LV2_State_Status status = mState->save(mHandle, SavedState::Store, &saved, 0, nullptr);
        FUZZ_CHECK(status == LV2_STATE_SUCCESS);
        FUZZ_CHECK(saved.stores == 1 && saved.key == mKey && saved.type == mChunk);
        FUZZ_CHECK(saved.data.size() == kBlockSize);
        // In range, and a switch on one of its steps (a restored block's in-between value is
        // taken to the nearest, so the host shows what runs).
        for (std::int32_t i = 0; i < kNumParams; ++i)
            FUZZ_CHECK(InRange(i, ValueAt(saved.data.data(), i)));
        TRACE("save: %a %a %a%s\n", ValueAt(saved.data.data(), 0), ValueAt(saved.data.data(), 1),
              ValueAt(saved.data.data(), 2), mMoved ? " (controls moved)" : "");
        if (!mMoved && !mStanding.empty())
            FUZZ_CHECK(saved.data == mStanding);
        return saved.data;
    }

    LV2_State_Status Restore(StoredState& stored) {
        // What the plug-in holds before: a failed restore must leave it.
        const std::vector<std::uint8_t> before = Save();
        stored.retrievals = 0;
        TRACE("restore %zu bytes, key %u type %u flags %u\n", stored.Size(), stored.key, stored.type, stored.flags);
        const LV2_State_Status status = mState->restore(mHandle, StoredState::Retrieve, &stored, 0, nullptr);
        TRACE("restore: status %d\n", static_cast<int>(status));
        FUZZ_CHECK(stored.retrievals > 0);
        const bool ours = stored.key == mKey && stored.type == mChunk && stored.Size() == kBlockSize;
        FUZZ_CHECK(ours || status != LV2_STATE_SUCCESS);
        if (status != LV2_STATE_SUCCESS) {
            FUZZ_CHECK(Save() == before);
            return status;
        }
        // The values stand from here until the host moves a control.
        for (std::uint32_t port = kFirstParameterPort; port < kGainReductionPort; ++port)
            mSeen[port] = mConnected[port] ? std::bit_cast<std::uint32_t>(mControls[port]) : kAdopt;
        mMoved = false;
        mStanding.clear();
        const std::vector<std::uint8_t> after = Save();
        bool inRange = true;
        for (std::int32_t i = 0; i < kNumParams; ++i)
            inRange = inRange && InRange(i, ValueAt(stored.Data(), i));
        for (std::int32_t i = 0; inRange && i < kNumParams; ++i)
            FUZZ_CHECK(ValueAt(after.data(), i) == ValueAt(stored.Data(), i));
        mStanding = after;
        return status;
    }

  private:
    static constexpr std::uint32_t kAdopt = 0xFFFFFFFFu;

    // Whether the plug-in, looking at a control port now, sees the host move it since the
    // restore. A port first connected after the restore shows the host's view, not a move.
    bool Observe(std::uint32_t port, bool connected) {
        if (!connected)
            return false;
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(mControls[port]);
        if (mSeen[port] == kAdopt) {
            mSeen[port] = bits;
            return false;
        }
        return mSeen[port] != bits;
    }
    void ObserveAll() {
        for (std::uint32_t port = kFirstParameterPort; port < kGainReductionPort; ++port)
            if (Observe(port, mConnected[port]))
                mMoved = true;
    }

    const LV2_Descriptor* mDescriptor;
    UridMap& mMap;
    LV2_URID mChunk = 0, mKey = 0;
    LV2_Handle mHandle = nullptr;
    const LV2_State_Interface* mState = nullptr;
    std::uint32_t mLongestRun = 0;
    float mControls[kPortCount] = {};
    bool mConnected[kPortCount] = {};
    std::uint32_t mSeen[kPortCount] = {};
    bool mMoved = true;
    std::vector<std::uint8_t> mStanding; // empty: nothing restored yet
};

double Rate(FuzzInput& in) {
    static const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 8000.0, 22050.0, 1.0,
                                    0.0,     -48000.0, 768000.0, std::numeric_limits<double>::quiet_NaN()};
    return kRates[in.pick(sizeof kRates / sizeof kRates[0])];
}

std::int32_t BlockLength(FuzzInput& in) {
    static const std::int32_t kLengths[] = {0, 0, 0, 64, 256, 1024, 4096, 8192, 1, -1, 3};
    return kLengths[in.pick(sizeof kLengths / sizeof kLengths[0])];
}

// A parameter block of hostile values, or any bytes.
void FillState(FuzzInput& in, StoredState& stored, LV2_URID chunk, LV2_URID key, UridMap& map) {
    const unsigned how = in.u8();
    stored.key = (how & 3) == 3 ? map("urn:elsewhere#key") : key;
    stored.type = (how & 12) == 12 ? map(LV2_ATOM__String) : (how & 12) == 8 ? 0 : chunk;
    stored.flags = in.u8();
    const std::size_t misalign = (how >> 4) & 7;
    if (how & 0x80) {
        stored.Set(in.bytes(in.u8() % 40), misalign);
    } else {
        double values[kNumParams];
        for (double& v : values)
            v = in.hostileDouble();
        stored.Set(std::string_view(reinterpret_cast<const char*>(values), sizeof values), misalign);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    FUZZ_CHECK(descriptor != nullptr && std::strcmp(descriptor->URI, kPluginUri) == 0);
    FUZZ_CHECK(lv2_descriptor(1) == nullptr);

    UridMap map;
    const double rate = Rate(in);
    const std::int32_t nominal = BlockLength(in), maximum = BlockLength(in);
    const bool withMap = in.u8() != 0xFF;
    Host host(descriptor, map);
    TRACE("instantiate at %g Hz, nominal %d, maximum %d%s\n", rate, nominal, maximum, withMap ? "" : ", no map");
    if (!host.Instantiate(rate, nominal, maximum, withMap)) {
        // Without a map the plug-in cannot name its state; a rate at least 1 Hz it takes.
        FUZZ_CHECK(!withMap || !(rate >= 1.0));
        return 0;
    }
    FUZZ_CHECK(withMap);
    const LV2_URID chunk = map(LV2_ATOM__Chunk), key = map(kParametersKeyUri);

    StoredState stored;
    bool activated = false;
    for (int step = 0; step < 40 && !in.empty(); ++step) {
        switch (in.pick(9)) {
        case 0:
            host.ConnectControl(kFirstParameterPort + in.pick(kEnabledPort - kFirstParameterPort + 1), in.u8() != 0);
            break;
        case 1:
            host.SetControl(kFirstParameterPort + in.pick(kEnabledPort - kFirstParameterPort + 1), ControlValue(in));
            break;
        case 2:
        case 3:
            FillState(in, stored, chunk, key, map);
            host.Restore(stored);
            break;
        case 4:
            host.Save();
            break;
        case 5:
            TRACE("activate again\n");
            if (activated)
                host.Deactivate();
            host.Activate();
            activated = true;
            break;
        default:
            if (!activated)
                host.Activate();
            activated = true;
            host.Run(in);
        }
    }

    // Another instance takes what this one saves and gives it back alike.
    const std::vector<std::uint8_t> saved = host.Save();
    Host other(descriptor, map);
    FUZZ_CHECK(other.Instantiate(48000.0, 0, 0, true));
    StoredState copy;
    copy.key = key;
    copy.type = chunk;
    copy.Set(std::string_view(reinterpret_cast<const char*>(saved.data()), saved.size()), 0);
    FUZZ_CHECK(other.Restore(copy) == LV2_STATE_SUCCESS);
    FUZZ_CHECK(other.Save() == saved);
    return 0;
}
