#include <cstdio>
#include <cstring>

#include "effect_base.h"
#include "trace.h"

// Parameter block: each parameter's real value as a little-endian double, in
// index order, with no header. Presets block: per slot the name (AppendText),
// one flag byte, and the slot's parameter block when the flag is 1.

bool IEffectBase::SerializeParams(IStateChunk& chunk) {
    std::lock_guard<PluginLock> lock(mLock);
    bool ok = true;
    for (std::int32_t i = 0; i < ParamCount() && ok; ++i) {
        const IParameter& param = mParams[static_cast<std::size_t>(i)];
        Trace("IEffectBase::SerializeParams", "%d %s %f", i, param.Name(), param.Value());
        // A failed append leaves the size unchanged; checking growth (not just a
        // non-empty chunk) also catches failures when appending to earlier data.
        const std::int32_t before = chunk.Size();
        ok = chunk.AppendValue(param.Value()) == before + static_cast<std::int32_t>(sizeof(double));
    }
    return ok;
}

std::int32_t IEffectBase::UnserializeParams(const IStateChunk& chunk, std::int32_t start) {
    std::lock_guard<PluginLock> lock(mLock);
    std::int32_t pos = start;
    for (std::int32_t i = 0; i < ParamCount() && pos >= 0; ++i) {
        IParameter& param = mParams[static_cast<std::size_t>(i)];
        Trace("IEffectBase::UnserializeParams", "%d %s %f", i, param.Name(), param.Value());
        // The parameter whose read runs short gets 0.0 limited to its range.
        double v = 0.0;
        pos = chunk.ReadValue(&v, pos);
        param.SetClamped(v);
    }
    for (std::int32_t i = 0; i < ParamCount(); ++i)
        ParameterChanged(i);
    return pos;
}

bool IEffectBase::SerializePresets(IStateChunk& chunk) {
    bool ok = true;
    for (std::int32_t i = 0; i < PresetCount() && ok; ++i) {
        const IPresetSlot& slot = *mPresets[static_cast<std::size_t>(i)];
        const std::int32_t before = chunk.Size();
        const std::int32_t nameBytes = 4 + static_cast<std::int32_t>(std::strlen(slot.name));
        ok = chunk.AppendText(slot.name) == before + nameBytes;
        Trace("IEffectBase::SerializePresets", "%d %s", i, slot.name);
        ok = ok &&
             chunk.AppendValue(static_cast<std::uint8_t>(slot.initialised ? 1 : 0)) == before + nameBytes + 1;
        if (ok && slot.initialised)
            ok = chunk.AppendChunk(slot.chunk) == before + nameBytes + 1 + slot.chunk.Size();
    }
    return ok;
}

std::int32_t IEffectBase::UnserializePresets(const IStateChunk& chunk, std::int32_t start) {
    // One name buffer for the whole block: a slot stored with an empty name
    // takes the name read for the slot before it.
    char name[sizeof(IPresetSlot::name)] = {};
    std::int32_t pos = start;
    for (std::int32_t i = 0; i < PresetCount() && pos >= 0; ++i) {
        IPresetSlot& slot = *mPresets[static_cast<std::size_t>(i)];
        pos = chunk.ReadText(name, sizeof name, pos);
        std::memcpy(slot.name, name, sizeof name);
        Trace("IEffectBase::UnserializePresets", "%d %s", i, slot.name);

        const bool wasInitialised = slot.initialised;
        std::uint8_t flag = 0;
        pos = chunk.ReadValue(&flag, pos);
        if (pos >= 0)
            slot.initialised = flag != 0;

        if (slot.initialised) {
            pos = UnserializeParams(chunk, pos);
            if (pos >= 0) {
                // Store the values as limited to their ranges.
                slot.chunk.Clear();
                SerializeParams(slot.chunk);
            } else {
                // A slot is initialised only while its chunk holds a whole
                // block; otherwise it would write a flag 1 without a block.
                slot.initialised = wasInitialised;
            }
        }
    }
    LoadPresetSlot(mCurrentPreset);
    return pos;
}

bool IEffectBase::LoadPresetSlot(std::int32_t index) {
    if (index < 0 || index >= PresetCount())
        return false;
    IPresetSlot& slot = *mPresets[static_cast<std::size_t>(index)];
    bool ok;
    if (!slot.initialised) {
        // A slot never filled takes the current values under a new user name.
        slot.initialised = true;
        char name[sizeof slot.name];
        NextUserPresetName(name, sizeof name);
        std::memcpy(slot.name, name, sizeof name);
        slot.chunk.Clear();
        ok = SerializeParams(slot.chunk);
    } else {
        // >= 0, not > 0: a plug-in without parameters loads an empty block fine.
        ok = UnserializeParams(slot.chunk, 0) >= 0;
    }
    if (ok) {
        mCurrentPreset = index;
        PresetRestored();
        RefreshEditorFromParameters();
    }
    return ok;
}

void IEffectBase::CapturePresets(const char* name, std::int32_t count) {
    for (std::int32_t n = 0; n < count; ++n) {
        IPresetSlot* target = nullptr;
        for (auto& slot : mPresets) {
            if (!slot->initialised) {
                target = slot.get();
                break;
            }
        }
        if (target == nullptr)
            return;
        target->initialised = true;
        std::snprintf(target->name, sizeof target->name, "%s", name != nullptr ? name : "Empty");
        target->chunk.Clear();
        SerializeParams(target->chunk);
    }
}

void IEffectBase::NextUserPresetName(char* buffer, std::size_t size) const {
    if (buffer == nullptr || size == 0)
        return;
    int count = 0;
    for (const auto& slot : mPresets)
        if (std::strstr(slot->name, "user preset") != nullptr)
            ++count;
    std::snprintf(buffer, size, "%s %d", "user preset", count + 1);
}

bool IEffectBase::SaveState(IStateChunk& chunk) {
    std::lock_guard<PluginLock> lock(mLock);
    return SerializeParams(chunk);
}

std::int32_t IEffectBase::LoadState(const IStateChunk& chunk, std::int32_t start) {
    std::lock_guard<PluginLock> lock(mLock);
    return UnserializeParams(chunk, start);
}
