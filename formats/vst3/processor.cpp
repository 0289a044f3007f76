// The processor: host buffers of either width through the wrapper core, host parameter
// changes at block starts, the meter back out as an output parameter.
#include <chrono>
#include <cstring>
#include <vector>

#include "formats/vst3/vst3_plugin.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace vt4r_vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;
using vt4r_formats::WrapperCore;

bool ReadState(IBStream* stream, WrapperCore& core) {
    if (stream == nullptr)
        return false;
    // One byte more than a block, so a longer stream is told apart from ours.
    std::uint8_t bytes[WrapperCore::kStateSize + 1];
    std::size_t total = 0;
    while (total < sizeof bytes) {
        int32 got = 0;
        // Some hosts' streams answer a short read (the end) with kResultFalse: its bytes count.
        const tresult result = stream->read(bytes + total, static_cast<int32>(sizeof bytes - total), &got);
        if (got <= 0 || static_cast<std::size_t>(got) > sizeof bytes - total)
            break;
        total += static_cast<std::size_t>(got);
        if (result != kResultOk)
            break;
    }
    return core.LoadState(bytes, total);
}

bool WriteState(IBStream* stream, WrapperCore& core) {
    std::vector<std::uint8_t> bytes;
    if (stream == nullptr || !core.SaveState(bytes))
        return false;
    std::size_t total = 0;
    while (total < bytes.size()) {
        int32 put = 0;
        if (stream->write(bytes.data() + total, static_cast<int32>(bytes.size() - total), &put) !=
                kResultOk ||
            put <= 0)
            return false;
        total += static_cast<std::size_t>(put);
    }
    return true;
}

Processor::Processor() = default;

Processor::~Processor() {
    Unlink();
}

tresult PLUGIN_API Processor::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr)
        return kInvalidArgument;
    if (SameId(iid, FUnknown_iid) || SameId(iid, IPluginBase_iid) || SameId(iid, IComponent_iid))
        *obj = static_cast<IComponent*>(this);
    else if (SameId(iid, IAudioProcessor_iid))
        *obj = static_cast<IAudioProcessor*>(this);
    else if (SameId(iid, IConnectionPoint_iid))
        *obj = static_cast<IConnectionPoint*>(this);
    else if (SameId(iid, kPeerIid))
        *obj = static_cast<IPeer*>(this);
    else {
        *obj = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

tresult PLUGIN_API Processor::initialize(FUnknown*) {
    return kResultOk;
}

tresult PLUGIN_API Processor::terminate() {
    Unlink();
    return kResultOk;
}

tresult PLUGIN_API Processor::connect(IConnectionPoint* other) {
    if (other == nullptr)
        return kInvalidArgument;
    if (mConnection != nullptr)
        return kResultFalse;
    mConnection = other;
    void* peer = nullptr;
    if (other->queryInterface(kPeerIid, &peer) == kResultOk && peer != nullptr) {
        mPeer = static_cast<IPeer*>(peer);
        mPeer->release(); // kept uncounted, like the connection
    }
    return kResultOk;
}

tresult PLUGIN_API Processor::disconnect(IConnectionPoint* other) {
    if (other == nullptr || other != mConnection)
        return kResultFalse;
    Unlink();
    return kResultOk;
}

// The controller may outlive us (or we it): whichever side goes first tells the other.
void Processor::Unlink() {
    IPeer* peer = mPeer;
    mPeer = nullptr;
    mConnection = nullptr;
    if (peer != nullptr)
        peer->Forget(this);
}

void PLUGIN_API Processor::Forget(IPeer* other) {
    if (other != nullptr && other == mPeer) {
        mPeer = nullptr;
        mConnection = nullptr;
    }
}

tresult PLUGIN_API Processor::notify(IMessage* message) {
    const char* id = message != nullptr ? message->getMessageID() : nullptr;
    if (id == nullptr || std::strcmp(id, kValuesMessage) != 0)
        return kResultFalse;
    IAttributeList* attributes = message->getAttributes();
    if (attributes == nullptr)
        return kResultFalse;
    // While blocks flow the host sends every change with them (see HostView).
    for (std::int32_t index = 0; index < vt4r_formats::kHostParamCount && !BlocksFlowing(); ++index) {
        const char key[2] = {static_cast<char>('0' + index), '\0'};
        double plain = 0.0;
        if (attributes->getFloat(key, plain) == kResultOk)
            mCore.SetValue(index, plain); // conformed there: any number is safe
    }
    return kResultOk;
}

tresult PLUGIN_API Processor::getControllerClassId(TUID classId) {
    if (classId == nullptr)
        return kInvalidArgument;
    std::memcpy(classId, kControllerUid, sizeof(TUID));
    return kResultOk;
}

tresult PLUGIN_API Processor::setIoMode(IoMode) {
    return kResultOk;
}

int32 PLUGIN_API Processor::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult PLUGIN_API Processor::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    std::memset(&bus, 0, sizeof bus);
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = 2;
    ToUtf16(dir == kInput ? "Stereo In" : "Stereo Out", bus.name, sizeof bus.name / sizeof bus.name[0]);
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult PLUGIN_API Processor::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kNotImplemented;
}

tresult PLUGIN_API Processor::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    return getBusCount(type, dir) > index && index >= 0 ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API Processor::setActive(TBool state) {
    if (!state) {
        mCore.Deactivate();
        return kResultOk;
    }
    // A host that never set up processing gets the defaults rather than a plug-in that
    // stays silent.
    return mCore.Activate(mSetup.sampleRate, static_cast<std::uint32_t>(mSetup.maxSamplesPerBlock))
               ? kResultOk
               : kResultFalse;
}

tresult PLUGIN_API Processor::setState(IBStream* state) {
    return ReadState(state, mCore) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Processor::getState(IBStream* state) {
    return WriteState(state, mCore) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Processor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns != 1 || numOuts != 1 || inputs == nullptr || outputs == nullptr)
        return kResultFalse;
    return inputs[0] == SpeakerArr::kStereo && outputs[0] == SpeakerArr::kStereo ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API Processor::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    if (index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    arr = SpeakerArr::kStereo;
    return kResultOk;
}

tresult PLUGIN_API Processor::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API Processor::getLatencySamples() {
    return static_cast<uint32>(mCore.LatencySamples());
}

tresult PLUGIN_API Processor::setupProcessing(ProcessSetup& setup) {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue || setup.maxSamplesPerBlock <= 0)
        return kResultFalse;
    if (!mCore.Activate(setup.sampleRate, static_cast<std::uint32_t>(setup.maxSamplesPerBlock)))
        return kResultFalse;
    mSetup = setup;
    return kResultOk;
}

tresult PLUGIN_API Processor::setProcessing(TBool) {
    return kResultOk;
}

// [audio thread] Each queue's last point: the value the block should end at, applied at
// its start, as every other format does (no splitting of blocks at events).
void Processor::TakeParameterChanges(IParameterChanges* changes) {
    if (changes == nullptr)
        return;
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (queue == nullptr)
            continue;
        const ParamID id = queue->getParameterId();
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        if (id >= static_cast<ParamID>(vt4r_formats::kHostParamCount) || points <= 0 ||
            queue->getPoint(points - 1, offset, value) != kResultOk)
            continue;
        const auto index = static_cast<std::int32_t>(id);
        mCore.SetValue(index, vt4r_formats::PlainFromNormalized(mCore.Plugin(), index, value));
    }
}

namespace {

template <typename Sample> Sample** Channels(const AudioBusBuffers& bus);
template <> Sample32** Channels<Sample32>(const AudioBusBuffers& bus) {
    return bus.channelBuffers32;
}
template <> Sample64** Channels<Sample64>(const AudioBusBuffers& bus) {
    return bus.channelBuffers64;
}

// The two channels of a bus, or null where the host gave fewer (an inactive bus).
template <typename Sample> bool TakeBus(AudioBusBuffers* buses, int32 count, Sample* (&out)[2]) {
    out[0] = out[1] = nullptr;
    if (buses == nullptr || count < 1 || buses[0].numChannels < 2)
        return false;
    Sample** channels = Channels<Sample>(buses[0]);
    if (channels == nullptr || channels[0] == nullptr || channels[1] == nullptr)
        return false;
    out[0] = channels[0];
    out[1] = channels[1];
    return true;
}

template <typename Sample> void Silence(Sample* const (&out)[2], int32 frames) {
    for (Sample* channel : out)
        if (channel != nullptr)
            std::memset(channel, 0, sizeof(Sample) * static_cast<std::size_t>(frames));
}

template <typename Sample> void Run(WrapperCore& core, ProcessData& data, bool active) {
    Sample* in[2];
    Sample* out[2];
    const bool hasIn = TakeBus<Sample>(data.inputs, data.numInputs, in);
    const bool hasOut = TakeBus<Sample>(data.outputs, data.numOutputs, out);
    if (!active) {
        Silence(out, data.numSamples);
        return;
    }
    core.Process(hasIn ? in : nullptr, hasOut ? out : nullptr, static_cast<std::uint32_t>(data.numSamples));
}

} // namespace

bool Processor::BlocksFlowing() const {
    const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::int64_t last = mLastBlockNs.load(std::memory_order_relaxed);
    return last != 0 && now - last < std::chrono::nanoseconds(std::chrono::milliseconds(250)).count();
}

tresult PLUGIN_API Processor::process(ProcessData& data) {
    mLastBlockNs.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    TakeParameterChanges(data.inputParameterChanges);
    if (data.numSamples < 0)
        return kInvalidArgument;
    if (data.numSamples == 0) {
        // A flush: the values reach the plug-in now rather than with the next block.
        mCore.ApplyPending();
        return kResultOk;
    }
    const bool active = mCore.IsActive();
    if (data.symbolicSampleSize == kSample64)
        Run<Sample64>(mCore, data, active);
    else if (data.symbolicSampleSize == kSample32)
        Run<Sample32>(mCore, data, active);
    else
        return kInvalidArgument;

    if (data.outputParameterChanges != nullptr && active) {
        int32 index = 0;
        if (IParamValueQueue* queue = data.outputParameterChanges->addParameterData(kGainReductionId, index))
            queue->addPoint(0, mCore.Needle(), index);
    }
    return active ? kResultOk : kNotInitialized;
}

uint32 PLUGIN_API Processor::getTailSamples() {
    return kNoTail;
}

} // namespace vt4r_vst3
