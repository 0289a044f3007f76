// The LV2 bundle as a host loads it (through lilv): its output against the plug-in
// run directly, bit for bit; run() neither allocating nor locking anything but the
// plug-in; the state extension's round trip and damaged states.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/state/state.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "framework/standalone.h"
#include "formats/lv2/ports.h"
#include "lv2_test_host.h"
#include "tests/support/direct_plugin.h"
#include "tests/support/realtime_probe.h"

using namespace vt4r_lv2;

namespace {
auto& gCounting = realtime_probe::counting;
auto& gAllocations = realtime_probe::allocations;
auto& gForeignLocks = realtime_probe::foreignLocks;
auto& gFirstMutex = realtime_probe::firstMutex;
} // namespace

namespace {

// The host's side of one instance: its port buffers and the run.
struct Ports {
    explicit Ports(LilvInstance* instance, std::uint32_t capacity) : instance(instance) {
        for (auto& b : audio)
            b.assign(capacity, 0.0f);
        for (std::uint32_t c = 0; c < 4; ++c)
            lilv_instance_connect_port(instance, kInputLeftPort + c, audio[c].data());
        for (std::uint32_t p = kFirstParameterPort; p < kPortCount; ++p)
            lilv_instance_connect_port(instance, p, &control[p]);
        control[kEnabledPort] = 1.0f;
    }
    void Set(float input, float output, float relaxed) {
        control[PortOfParameter(kInputParam)] = input;
        control[PortOfParameter(kOutputParam)] = output;
        control[PortOfParameter(kRelaxedModeParam)] = relaxed;
    }
    void Run(std::uint32_t frames, bool counted) {
        gCounting = counted;
        lilv_instance_run(instance, frames);
        gCounting = false;
    }
    LilvInstance* instance;
    std::vector<float> audio[4];
    float control[kPortCount] = {};
};

struct StoredValue {
    LV2_URID key = 0;
    std::vector<std::uint8_t> bytes;
    LV2_URID type = 0;
};

LV2_State_Status Store(LV2_State_Handle handle, std::uint32_t key, const void* value, std::size_t size,
                       std::uint32_t type, std::uint32_t) {
    auto* stored = static_cast<StoredValue*>(handle);
    stored->key = key;
    stored->bytes.assign(static_cast<const std::uint8_t*>(value), static_cast<const std::uint8_t*>(value) + size);
    stored->type = type;
    return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                     std::uint32_t* flags) {
    auto* stored = static_cast<StoredValue*>(handle);
    if (key != stored->key)
        return nullptr;
    *size = stored->bytes.size();
    *type = stored->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return stored->bytes.data();
}

const LV2_State_Interface* StateOf(LilvInstance* instance) {
    return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
}

StoredValue SaveState(LilvInstance* instance) {
    StoredValue stored;
    EXPECT_EQ(StateOf(instance)->save(lilv_instance_get_handle(instance), Store, &stored, 0, nullptr),
              LV2_STATE_SUCCESS);
    return stored;
}

} // namespace

TEST(Lv2Plugin, RunsLikeThePluginItselfWithoutAllocatingOrForeignLocks) {
    Lv2TestHost host(VT4R_LV2_BUNDLE, 48000, 0, 512);
    ASSERT_NE(host.Instance(), nullptr) << "bundle " << VT4R_LV2_BUNDLE << " did not load";
    Ports ports(host.Instance(), 512);
    DirectPlugin direct(48000, 512);
    lilv_instance_activate(host.Instance());

    const float settings[][3] = {{0, 0, 0}, {-6.5f, 3.25f, 0}, {12.25f, -4, 1}, {20, 20, 0}, {-20, 0, 1}};
    long position = 0;
    long compared = 0;
    for (int block = 0; block < 900; ++block) {
        const float* s = settings[(block / 60) % 5];
        ports.Set(s[0], s[1], s[2]);
        direct.Set(s[0], s[1], s[2]);
        const std::uint32_t frames = block % 17 == 0 ? 0 : 1 + (block * 37) % 512;
        FillSwell(ports.audio, frames, position, 48000);
        if (block == 400)
            ports.audio[1][0] = std::numeric_limits<float>::quiet_NaN();
        direct.Run(ports.audio, frames);
        ports.Run(frames, true);
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < frames; ++i, ++compared)
                ASSERT_EQ(ports.audio[2 + c][i], static_cast<float>(direct.buffers[2 + c][i]))
                    << "block " << block << " channel " << c << " frame " << i;
        const float needle = ports.control[kNeedlePort];
        ASSERT_TRUE(needle >= 0.0f && needle <= 1.0f);
        ASSERT_NEAR(ports.control[kGainReductionPort], needle * 20.0f, 1e-5f);
        ASSERT_EQ(ports.control[kLatencyPort], 0.0f);
    }
    EXPECT_GT(compared, 400000);
    EXPECT_GT(ports.control[kGainReductionPort], 1.0f) << "the loud swell is compressed";
    EXPECT_EQ(gAllocations.load(), 0);
    if (VT4R_COUNT_LOCKS) {
        EXPECT_NE(gFirstMutex.load(), nullptr) << "the plug-in's lock is taken";
        EXPECT_EQ(gForeignLocks.load(), 0);
    }

    // A host that states no block length: runs longer than the fallback allocate nothing either.
    Lv2TestHost bare(VT4R_LV2_BUNDLE, 44100, 0, 0);
    ASSERT_NE(bare.Instance(), nullptr);
    Ports big(bare.Instance(), 20000);
    big.Set(0, 0, 0);
    for (float& x : big.audio[0])
        x = 0.9f;
    gAllocations = 0;
    big.Run(20000, true);
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_TRUE(std::isfinite(big.audio[2][19999]));
}

TEST(Lv2Plugin, StateRestoresExactlyWhatWasSavedAndRefusesDamage) {
    Lv2TestHost first(VT4R_LV2_BUNDLE, 48000, 256, 256);
    ASSERT_NE(first.Instance(), nullptr);
    Ports a(first.Instance(), 256);
    a.Set(-3.5f, 7.25f, 1);
    a.Run(256, false);
    const StoredValue saved = SaveState(first.Instance());
    EXPECT_EQ(saved.key, first.Urid(kParametersKeyUri));
    EXPECT_EQ(saved.type, first.Urid(LV2_ATOM__Chunk));
    // The framework's own parameter block.
    DirectPlugin direct(48000, 256);
    direct.Set(-3.5, 7.25, 1);
    IStateChunk chunk;
    ASSERT_TRUE(direct.plugin->SerializeParams(chunk));
    ASSERT_EQ(saved.bytes, std::vector<std::uint8_t>(chunk.Bytes(), chunk.Bytes() + chunk.Size()));

    // A second instance at its defaults takes the state, and its ports (left as they were) do not undo it.
    Lv2TestHost second(VT4R_LV2_BUNDLE, 48000, 256, 256);
    ASSERT_NE(second.Instance(), nullptr);
    Ports b(second.Instance(), 256);
    b.Set(0, 0, 0);
    b.Run(256, false);
    StoredValue given = saved;
    const LV2_State_Interface* state = StateOf(second.Instance());
    LV2_Handle handle = lilv_instance_get_handle(second.Instance());
    ASSERT_EQ(state->restore(handle, Retrieve, &given, 0, nullptr), LV2_STATE_SUCCESS);
    b.Run(256, false);
    EXPECT_EQ(SaveState(second.Instance()).bytes, saved.bytes);

    // Damaged: another type, a short or long block, no value. Nothing changes.
    StoredValue wrongType = saved;
    wrongType.type = first.Urid(LV2_ATOM__String);
    EXPECT_EQ(state->restore(handle, Retrieve, &wrongType, 0, nullptr), LV2_STATE_ERR_BAD_TYPE);
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, saved.bytes.size() - 1, saved.bytes.size() + 8}) {
        StoredValue cut = saved;
        cut.bytes.assign(size, 0xFF);
        EXPECT_NE(state->restore(handle, Retrieve, &cut, 0, nullptr), LV2_STATE_SUCCESS) << size;
    }
    StoredValue none;
    EXPECT_EQ(state->restore(handle, Retrieve, &none, 0, nullptr), LV2_STATE_ERR_NO_PROPERTY);
    EXPECT_EQ(SaveState(second.Instance()).bytes, saved.bytes);

    // A NaN from a damaged file becomes the parameter's default, never a NaN in the DSP.
    StoredValue nan = saved;
    const double quiet = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(nan.bytes.data(), &quiet, sizeof quiet);
    ASSERT_EQ(state->restore(handle, Retrieve, &nan, 0, nullptr), LV2_STATE_SUCCESS);
    const StoredValue after = SaveState(second.Instance());
    double input = 1.0;
    std::memcpy(&input, after.bytes.data(), sizeof input);
    EXPECT_EQ(input, 0.0);
}

namespace {
double StoredInput(const StoredValue& stored) {
    double input = 0.0;
    if (stored.bytes.size() >= sizeof input)
        std::memcpy(&input, stored.bytes.data(), sizeof input);
    return input;
}
} // namespace

// The plug-in never holds two truths: a save stores the controls as the host shows them,
// also when they moved while nothing ran, and restored values stand until a control moves.
TEST(Lv2Plugin, StateIsWhatTheHostShowsAndARestoredStateStands) {
    // Moved while deactivated (no run since), then saved, as a host saves a preset.
    Lv2TestHost first(VT4R_LV2_BUNDLE, 48000, 256, 256);
    ASSERT_NE(first.Instance(), nullptr);
    Ports a(first.Instance(), 256);
    a.Run(256, false);
    a.Set(12.0f, 0.0f, 0.0f);
    const StoredValue preset = SaveState(first.Instance());
    EXPECT_EQ(StoredInput(preset), 12.0);

    // Restored before the first run, with the controls at their defaults: the state stands.
    Lv2TestHost second(VT4R_LV2_BUNDLE, 48000, 256, 256);
    ASSERT_NE(second.Instance(), nullptr);
    Ports b(second.Instance(), 256);
    StoredValue given = preset;
    LV2_Handle handle = lilv_instance_get_handle(second.Instance());
    ASSERT_EQ(StateOf(second.Instance())->restore(handle, Retrieve, &given, 0, nullptr), LV2_STATE_SUCCESS);
    DirectPlugin direct(48000, 256);
    direct.Set(12.0, 0.0, 0.0);
    long position = 0;
    for (int block = 0; block < 20; ++block) {
        FillSwell(b.audio, 256, position, 48000);
        b.Run(256, false);
        direct.Run(b.audio, 256);
        for (std::uint32_t i = 0; i < 256; ++i)
            ASSERT_EQ(b.audio[2][i], static_cast<float>(direct.buffers[2][i])) << "block " << block;
    }
    EXPECT_EQ(StoredInput(SaveState(second.Instance())), 12.0);

    // A control the host moves after the restore takes over.
    b.Set(3.0f, 0.0f, 0.0f);
    b.Run(256, false);
    EXPECT_EQ(StoredInput(SaveState(second.Instance())), 3.0);
}

// The enabled port bypasses: the input comes out after a short fade, the meters rest, and
// enabling again fades back to the compressor, which ran on underneath.
TEST(Lv2Plugin, TheEnabledPortBypassesWithAFade) {
    Lv2TestHost host(VT4R_LV2_BUNDLE, 48000, 64, 64);
    ASSERT_NE(host.Instance(), nullptr);
    Ports ports(host.Instance(), 64);
    DirectPlugin direct(48000, 64);
    ports.Set(12.0f, 0.0f, 0.0f);
    direct.Set(12.0, 0.0, 0.0);
    long position = 0;
    float last = 0.0f;
    double largestStep = 0.0, largestSignalStep = 0.0;
    for (int block = 0; block < 60; ++block) {
        if (block == 10)
            ports.control[kEnabledPort] = 0.0f;
        if (block == 40)
            ports.control[kEnabledPort] = 1.0f;
        FillSwell(ports.audio, 64, position, 48000);
        ports.Run(64, false);
        direct.Run(ports.audio, 64);
        for (std::uint32_t i = 0; i < 64; ++i) {
            const float out = ports.audio[2][i];
            largestStep = std::max(largestStep, std::fabs(double(out) - last));
            if (i > 0)
                largestSignalStep = std::max({largestSignalStep, std::fabs(direct.buffers[2][i] - direct.buffers[2][i - 1]),
                                              std::fabs(double(ports.audio[0][i]) - ports.audio[0][i - 1])});
            last = out;
            if (block >= 10 + 8 && block < 40) {
                ASSERT_EQ(out, ports.audio[0][i]) << "bypassed: the input, block " << block;
            }
            if (block < 10 || block >= 40 + 8) {
                ASSERT_EQ(out, static_cast<float>(direct.buffers[2][i])) << "the compressor, block " << block;
            }
        }
        if (block >= 10 && block < 40) {
            EXPECT_EQ(ports.control[kGainReductionPort], 0.0f);
        }
    }
    EXPECT_LE(largestStep, largestSignalStep * 1.5) << "no click at either switch";
}
