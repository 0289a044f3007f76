#include "standalone.h"

#include <chrono>

#include "trace.h"

IEffectStandalone::IEffectStandalone(const IHostRecord& host, std::int32_t paramCount,
                                     const char* channelLayouts, std::int32_t presetCount,
                                     const char* effectName, const char* productName, const char* makerName,
                                     std::int32_t version, std::int32_t uniqueId, std::int32_t makerId,
                                     std::int32_t latency, bool doesMidi, bool stateChunks, bool isInstrument,
                                     std::int32_t /*ignored*/)
    : IEffectBase(paramCount, channelLayouts, presetCount, effectName, productName, makerName, version,
                  uniqueId, makerId, latency, doesMidi, stateChunks, isInstrument),
      mDoesMidi(doesMidi) {
    Trace("IEffectStandalone::IEffectStandalone", "%s%s", EffectName(), channelLayouts ? channelLayouts : "");
    SetInputConnections(0, InputCount(), true);
    SetOutputConnections(0, OutputCount(), true);
    mBlockFrames = 1024;
    SetHost(host.hostName != nullptr ? host.hostName : "standalone", Version());
    mMidiOutput = host.midiOutput;
    mMidiOutputChannel = host.midiOutputChannel;
    mEdits = host.edits;
}

void IEffectStandalone::BeginHostEdit(std::int32_t index) {
    if (mEdits != nullptr)
        mEdits->BeginEdit(index);
}

void IEffectStandalone::ReportToHost(std::int32_t index, double normalised) {
    if (mEdits != nullptr)
        mEdits->Edit(index, normalised);
}

void IEffectStandalone::EndHostEdit(std::int32_t index) {
    if (mEdits != nullptr)
        mEdits->EndEdit(index);
}

void IEffectStandalone::ProcessBlockLocked(double** inputs, double** outputs, std::int32_t frames) {
    // A free lock is taken at once; only a wait for another thread is timed.
    if (!mLock.try_lock()) {
        const auto start = std::chrono::steady_clock::now();
        mLock.lock();
        const auto ns = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
        mLockWaits.store(mLockWaits.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        mLockWaitNs.store(mLockWaitNs.load(std::memory_order_relaxed) + ns, std::memory_order_relaxed);
        if (ns > mLongestLockWaitNs.load(std::memory_order_relaxed))
            mLongestLockWaitNs.store(ns, std::memory_order_relaxed);
    }
    std::lock_guard<PluginLock> lock(mLock, std::adopt_lock);
    process(inputs, outputs, frames);
}

bool IEffectStandalone::SendMidiMessage(const MidiMessage& message) {
    if (mMidiOutput == nullptr)
        return false;
    const int length = message.length > 3 ? 3 : message.length;
    if (length == 0)
        return false;

    std::uint8_t bytes[3] = {message.status, message.data1, message.data2};
    const unsigned channel =
        mMidiOutputChannel != nullptr ? mMidiOutputChannel->load(std::memory_order_relaxed) : 0u;
    // Only channel messages carry a channel; rewriting a system status would
    // turn it into a data byte. A setting above 16 names no channel.
    if (channel >= 1 && channel <= 16 && message.MidiKind() != 0)
        bytes[0] = static_cast<std::uint8_t>(message.MidiKind() * 16 + static_cast<int>(channel - 1));
    mMidiOutput->SendMessage(bytes, length);
    return true;
}
