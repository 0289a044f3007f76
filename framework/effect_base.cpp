#include "effect_base.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "trace.h"

namespace {

// Channel counts come from the plug-in's own layout text; this only keeps a
// typo from asking for millions of channel records.
constexpr std::int32_t kMaxChannels = 256;

// Reads one "%d" the way scanf does (leading blanks, sign, digits), but
// saturates instead of overflowing. False, with *text unmoved, when no digit.
bool ReadInt(const char** text, std::int32_t* out) {
    const char* p = *text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        value = std::min(value * 10 + (*p - '0'), 1LL << 32);
    if (negative)
        value = -value;
    *out = static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    *text = p;
    return true;
}

// One "%d-%d" token; fields that are missing or unreadable stay 0.
IChannelLayout ReadLayoutToken(const char* token) {
    IChannelLayout layout;
    if (!ReadInt(&token, &layout.inputs))
        return layout;
    if (*token != '-')
        return layout;
    ++token;
    ReadInt(&token, &layout.outputs);
    return layout;
}

void ConstructionTimeStamp(char* out, std::size_t size) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char zone[64] = {};
    std::strftime(zone, sizeof zone, "%Z", &local);
    std::size_t n = std::strftime(out, size, "%Y%m%d %H:%M ", &local);
    for (const char* z = zone; *z != '\0' && n + 1 < size; ++z)
        if (*z >= 'A' && *z <= 'Z')
            out[n++] = *z;
    out[n] = '\0';
}

} // namespace

IEffectBase::IEffectBase(std::int32_t paramCount, const char* channelLayouts, std::int32_t presetCount,
                         const char* effectName, const char* productName, const char* makerName,
                         std::int32_t version, std::int32_t uniqueId, std::int32_t makerId,
                         std::int32_t latency, bool /*doesMidi*/, bool stateChunks, bool isInstrument)
    : mUniqueId(uniqueId), mMakerId(makerId), mVersion(version), mStateChunks(stateChunks),
      mIsInstrument(isInstrument), mLatency(latency) {
    char stamp[128];
    ConstructionTimeStamp(stamp, sizeof stamp);
    Trace("IEffectBase::IEffectBase", "%s:%s", effectName ? effectName : "", stamp);

    mParams.resize(static_cast<std::size_t>(std::max(paramCount, 0)));
    for (std::int32_t i = 0; i < presetCount; ++i) {
        auto slot = std::make_unique<IPresetSlot>();
        std::snprintf(slot->name, sizeof slot->name, "%s", "empty");
        mPresets.push_back(std::move(slot));
    }

    std::snprintf(mEffectName, sizeof mEffectName, "%s", effectName ? effectName : "");
    std::snprintf(mProductName, sizeof mProductName, "%s", productName ? productName : "");
    std::snprintf(mMakerName, sizeof mMakerName, "%s", makerName ? makerName : "");

    std::int32_t maxInputs = 0;
    std::int32_t maxOutputs = 0;
    // Every space starts a token, so two spaces in a row read the next pair twice.
    for (const char* token = channelLayouts; token != nullptr;) {
        const IChannelLayout layout = ReadLayoutToken(token);
        mLayouts.push_back(layout);
        maxInputs = std::max(maxInputs, layout.inputs);
        maxOutputs = std::max(maxOutputs, layout.outputs);
        token = std::strchr(token, ' ');
        if (token != nullptr)
            ++token;
    }
    maxInputs = std::min(maxInputs, kMaxChannels);
    maxOutputs = std::min(maxOutputs, kMaxChannels);

    mInputPtrs.assign(static_cast<std::size_t>(maxInputs), nullptr);
    mOutputPtrs.assign(static_cast<std::size_t>(maxOutputs), nullptr);
    mInputs.resize(static_cast<std::size_t>(maxInputs));
    mOutputs.resize(static_cast<std::size_t>(maxOutputs));
    for (std::size_t i = 0; i < mInputs.size(); ++i)
        mInputs[i].slot = &mInputPtrs[i];
    for (std::size_t i = 0; i < mOutputs.size(); ++i)
        mOutputs[i].slot = &mOutputPtrs[i];
}

IEffectBase::~IEffectBase() {
    // The editor's controls point into the parameters; it goes first.
    mEditor.reset();
    mParams.clear();
    mPresets.clear();
    mInputs.clear();
    mOutputs.clear();
    mLayouts.clear();
}

void IEffectBase::ResetProcessing() {
    std::lock_guard<PluginLock> lock(mLock);
}

void IEffectBase::ParameterChanged(std::int32_t) {
    std::lock_guard<PluginLock> lock(mLock);
}

void IEffectBase::LockedHook() {
    std::lock_guard<PluginLock> lock(mLock);
}

namespace {

template <typename Sample>
void PassThrough(Sample** inputs, Sample** outputs, std::int32_t frames, std::int32_t inputCount,
                 std::int32_t outputCount) {
    if (outputs == nullptr || frames <= 0)
        return;
    const std::size_t n = static_cast<std::size_t>(frames);
    for (std::int32_t i = 0; i < outputCount; ++i) {
        Sample* out = outputs[i];
        if (out == nullptr)
            continue;
        const Sample* in = (inputs != nullptr && i < inputCount) ? inputs[i] : nullptr;
        if (in == nullptr)
            std::fill(out, out + n, Sample(0));
        else if (in != out)
            std::memmove(out, in, n * sizeof(Sample));
    }
}

} // namespace

void IEffectBase::process(double** inputs, double** outputs, std::int32_t frames) {
    PassThrough(inputs, outputs, frames, InputCount(), OutputCount());
}

void IEffectBase::processSingle(float** inputs, float** outputs, std::int32_t frames) {
    PassThrough(inputs, outputs, frames, InputCount(), OutputCount());
}

void IEffectBase::HandleMidiMessage(const MidiMessage& message) {
    SendMidiMessage(message);
}

bool IEffectBase::MidiNoteText(std::int32_t, char* text) {
    if (text != nullptr)
        text[0] = '\0';
    return false;
}

void IEffectBase::AttachEditor(IEditorLink* editor) {
    if (editor == nullptr)
        return;
    std::lock_guard<PluginLock> lock(mLock);
    for (std::int32_t i = 0; i < ParamCount(); ++i)
        editor->PushParameterValue(i, mParams[i].ToNormalized(), true);
    editor->PrepareDrawing();
    // Attaching the editor we already own again must not destroy it.
    if (editor != mEditor.get())
        mEditor.reset(editor);
}

void IEffectBase::RefreshEditorFromParameters() {
    if (!mEditor)
        return;
    for (std::int32_t i = 0; i < ParamCount(); ++i)
        mEditor->PushParameterValue(i, mParams[i].Value(), false);
}

namespace {

template <typename Channel> void PointAtScratch(Channel& channel) {
    *channel.slot = channel.scratch.empty() ? nullptr : channel.scratch.data();
}

template <typename Channel>
void SetConnections(std::vector<Channel>& channels, std::int32_t first, std::int32_t count, bool connected) {
    const long long begin = std::max<long long>(first, 0);
    const long long end = std::min<long long>(static_cast<long long>(first) + count, channels.size());
    for (long long i = begin; i < end; ++i) {
        Channel& channel = channels[static_cast<std::size_t>(i)];
        channel.connected = connected;
        if (!connected)
            PointAtScratch(channel);
    }
}

template <typename Channel> void ResizeScratch(std::vector<Channel>& channels, std::size_t frames) {
    for (Channel& channel : channels) {
        channel.scratch.assign(frames, 0.0);
        // The buffer may have moved; a disconnected slot must follow it.
        if (!channel.connected)
            PointAtScratch(channel);
    }
}

} // namespace

void IEffectBase::SetInputConnections(std::int32_t first, std::int32_t count, bool connected) {
    SetConnections(mInputs, first, count, connected);
}

void IEffectBase::SetOutputConnections(std::int32_t first, std::int32_t count, bool connected) {
    SetConnections(mOutputs, first, count, connected);
}

bool IEffectBase::IsInputConnected(std::int32_t index) const {
    return index >= 0 && index < InputCount() && mInputs[static_cast<std::size_t>(index)].connected;
}

bool IEffectBase::IsOutputConnected(std::int32_t index) const {
    return index >= 0 && index < OutputCount() && mOutputs[static_cast<std::size_t>(index)].connected;
}

void IEffectBase::SetBlockFrames(std::int32_t frames) {
    if (frames == mBlockFrames)
        return;
    const std::size_t n = static_cast<std::size_t>(std::max(frames, 0));
    ResizeScratch(mInputs, n);
    ResizeScratch(mOutputs, n);
    mBlockFrames = frames;
}

void IEffectBase::SetLatencySamples(std::int32_t samples) {
    mLatency = samples;
}

void IEffectBase::SetParameterFromGUI(std::int32_t index, double normalised) {
    Trace("IEffectBase::SetParameterFromGUI", "%d:%f", index, normalised);
    std::lock_guard<PluginLock> lock(mLock);
    IParameter* param = Param(index);
    if (param == nullptr)
        return;
    param->SetFromNormalized(normalised);
    ReportToHost(index, normalised);
    ParameterChanged(index);
}

IParameter* IEffectBase::Param(std::int32_t index) {
    return index >= 0 && index < ParamCount() ? &mParams[static_cast<std::size_t>(index)] : nullptr;
}

const IParameter* IEffectBase::Param(std::int32_t index) const {
    return index >= 0 && index < ParamCount() ? &mParams[static_cast<std::size_t>(index)] : nullptr;
}

const IPresetSlot* IEffectBase::PresetSlot(std::int32_t index) const {
    return index >= 0 && index < PresetCount() ? mPresets[static_cast<std::size_t>(index)].get() : nullptr;
}
