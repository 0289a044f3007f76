// State chunks, parameter and presets blocks and preset slots, read from any bytes at any
// position into the real plug-in (one slot) or a four-slot effect. Reads stay inside the chunk,
// values inside their ranges, and whatever was read writes back as a block that reads the same.
#include <memory>
#include <string_view>

#include "framework/standalone.h"
#include "fuzz_input.h"
#include "test_effect.h"

namespace {

std::unique_ptr<IEffectStandalone> makeEffect(bool real) {
    if (real) {
        return CreatePlugin(IHostRecord{});
    }
    return std::make_unique<TestEffect>(IHostRecord{}, 4);
}

std::int32_t position(FuzzInput& in, const IStateChunk& chunk) {
    switch (in.pick(5)) {
    case 0:
        return -1 - static_cast<std::int32_t>(in.u8());
    case 1:
        return std::numeric_limits<std::int32_t>::max() - static_cast<std::int32_t>(in.u8());
    case 2:
        return static_cast<std::int32_t>(in.u32());
    case 3:
        return chunk.Size() == 0 ? 0 : static_cast<std::int32_t>(in.u16() % (chunk.Size() + 8));
    default:
        return 0;
    }
}

void checkPosition(std::int32_t pos, std::int32_t start, const IStateChunk& chunk) {
    if (start < 0) {
        FUZZ_CHECK(pos == start);
    } else {
        FUZZ_CHECK(pos == -1 || (pos >= start && pos <= chunk.Size()));
    }
}

void checkSane(const IEffectBase& effect) {
    for (std::int32_t i = 0; i < effect.ParamCount(); ++i) {
        const IParameter* p = effect.Param(i);
        FUZZ_CHECK(p->Value() >= p->Minimum() && p->Value() <= p->Maximum());
    }
    for (std::int32_t i = 0; i < effect.PresetCount(); ++i) {
        const IPresetSlot* slot = effect.PresetSlot(i);
        FUZZ_CHECK(strnlen(slot->name, sizeof slot->name) < sizeof slot->name);
        if (slot->initialised) {
            FUZZ_CHECK(slot->chunk.Size() == 8 * effect.ParamCount());
        }
    }
}

bool sameBytes(const IStateChunk& a, const IStateChunk& b) {
    return a.Size() == b.Size() && (a.Size() == 0 || std::memcmp(a.Bytes(), b.Bytes(), a.Size()) == 0);
}

void checkRoundTrips(IEffectBase& effect, bool real) {
    IStateChunk params;
    FUZZ_CHECK(effect.SaveState(params));
    FUZZ_CHECK(params.Size() == 8 * effect.ParamCount());
    std::unique_ptr<IEffectStandalone> copy = makeEffect(real);
    FUZZ_CHECK(copy->LoadState(params, 0) == params.Size());
    IStateChunk again;
    FUZZ_CHECK(copy->SerializeParams(again));
    FUZZ_CHECK(sameBytes(params, again));

    IStateChunk presets;
    FUZZ_CHECK(effect.SerializePresets(presets));
    std::unique_ptr<IEffectStandalone> reader = makeEffect(real);
    FUZZ_CHECK(reader->UnserializePresets(presets, 0) == presets.Size());
    for (std::int32_t i = 0; i < effect.PresetCount(); ++i) {
        const IPresetSlot* from = effect.PresetSlot(i);
        const IPresetSlot* to = reader->PresetSlot(i);
        FUZZ_CHECK(from->initialised == to->initialised);
        FUZZ_CHECK(!from->initialised || sameBytes(from->chunk, to->chunk));
        // An empty name is stored as no name, and reads as the slot before it.
        FUZZ_CHECK(from->name[0] == '\0' || std::strcmp(from->name, to->name) == 0);
    }
    IStateChunk presetsAgain;
    FUZZ_CHECK(reader->SerializePresets(presetsAgain));
    std::unique_ptr<IEffectStandalone> third = makeEffect(real);
    FUZZ_CHECK(third->UnserializePresets(presetsAgain, 0) == presetsAgain.Size());
    IStateChunk presetsThird;
    FUZZ_CHECK(third->SerializePresets(presetsThird));
    FUZZ_CHECK(sameBytes(presetsAgain, presetsThird));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const bool real = in.flag();
    const unsigned order = in.u8();
    const unsigned presetOps = in.u8();
    const std::string_view head = in.bytes(4);
    const std::string_view body = in.bytes(in.remaining());

    IStateChunk chunk;
    chunk.AppendBytes(body.data(), body.size());
    FUZZ_CHECK(chunk.Size() == static_cast<std::int32_t>(body.size()));
    FuzzInput positions(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());

    std::unique_ptr<IEffectStandalone> effect = makeEffect(real);
    if (presetOps & 1) {
        effect->CapturePresets(presetOps & 2 ? "" : "captured",
                               1 + static_cast<std::int32_t>(presetOps >> 6));
    }

    const std::int32_t paramStart = position(positions, chunk);
    const std::int32_t pos =
        (order & 1) ? effect->LoadState(chunk, paramStart) : effect->UnserializeParams(chunk, paramStart);
    checkPosition(pos, paramStart, chunk);
    if (paramStart >= 0 && pos >= 0) {
        FUZZ_CHECK(pos == paramStart + 8 * effect->ParamCount());
    }

    const std::int32_t presetStart = (order & 2) ? position(positions, chunk) : 0;
    checkPosition(effect->UnserializePresets(chunk, presetStart), presetStart, chunk);
    checkSane(*effect);

    const std::int32_t slot = static_cast<std::int32_t>((presetOps >> 2) & 7) - 1;
    FUZZ_CHECK(effect->LoadPresetSlot(slot) == (slot >= 0 && slot < effect->PresetCount()));
    checkSane(*effect);
    checkRoundTrips(*effect, real);

    // The readers alone, at any position and into any room.
    for (int i = 0; i < 4; ++i) {
        const std::int32_t at = position(positions, chunk);
        char text[16];
        std::memcpy(text, "kept", 5);
        const std::size_t room = 1 + (order >> 4);
        const std::int32_t next = chunk.ReadText(text, room, at);
        FUZZ_CHECK(next == -1 || (at >= 0 && next >= at + 4 && next <= chunk.Size()));
        FUZZ_CHECK(strnlen(text, sizeof text) < room || std::strcmp(text, "kept") == 0);
        double value = 0.0;
        const std::int32_t after = chunk.ReadValue(&value, at);
        FUZZ_CHECK(after == -1 || after == at + 8);
        bool truth = false;
        if (chunk.ReadValue(&truth, at) >= 0) {
            FUZZ_CHECK(truth == (chunk.Bytes()[at] != 0));
        }
    }
    return 0;
}
