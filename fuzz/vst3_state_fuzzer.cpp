// Any bytes as a VST3 host hands them over: a component state through the processor's
// setState and the controller's setComponentState (in reads of any size), and a typed text
// through getParamValueByString. Only a whole parameter block is taken, both sides agree,
// a refused state changes nothing, and whatever was taken keeps every value in range and
// the output finite. The plug-in's sources are compiled in; it is reached through
// GetPluginFactory() alone.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/vstspeaker.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

extern "C" IPluginFactory* GetPluginFactory();

namespace {

constexpr std::size_t kStateSize = 24;

class Stream : public IBStream {
  public:
    Stream(const std::uint8_t* data, std::size_t size, std::size_t chunk) : mData(data), mSize(size), mChunk(chunk) {}
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
    tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        std::size_t n = std::min(static_cast<std::size_t>(numBytes < 0 ? 0 : numBytes), mSize - mPos);
        if (mChunk > 0)
            n = std::min(n, mChunk);
        if (n > 0)
            std::memcpy(buffer, mData + mPos, n);
        mPos += n;
        if (numBytesRead != nullptr)
            *numBytesRead = static_cast<int32>(n);
        return kResultOk;
    }
    tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        written.insert(written.end(), bytes, bytes + numBytes);
        if (numBytesWritten != nullptr)
            *numBytesWritten = numBytes;
        return kResultOk;
    }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult PLUGIN_API tell(int64* pos) override {
        *pos = static_cast<int64>(mPos);
        return kResultOk;
    }
    std::vector<std::uint8_t> written;

  private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mChunk;
    std::size_t mPos = 0;
};

template <typename T> T* Make(IPluginFactory* factory, const TUID cid, const TUID iid) {
    void* made = nullptr;
    FUZZ_CHECK(factory->createInstance(cid, iid, &made) == kResultOk && made != nullptr);
    return static_cast<T*>(made);
}

std::vector<std::uint8_t> Saved(IComponent* component) {
    Stream out(nullptr, 0, 0);
    FUZZ_CHECK(component->getState(&out) == kResultOk);
    FUZZ_CHECK(out.written.size() == kStateSize);
    return out.written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::size_t chunk = in.u8();
    const ParamID textId = in.pick(6);
    char16 text[128] = {};
    const unsigned length = in.pick(128);
    for (unsigned i = 0; i < length; ++i)
        text[i] = static_cast<char16>(in.u16());
    const std::uint8_t* state = data + (size - in.remaining());
    const std::size_t stateSize = in.remaining();

    IPluginFactory* factory = GetPluginFactory();
    PClassInfo processorInfo, controllerInfo;
    FUZZ_CHECK(factory->getClassInfo(0, &processorInfo) == kResultOk);
    FUZZ_CHECK(factory->getClassInfo(1, &controllerInfo) == kResultOk);
    auto* component = Make<IComponent>(factory, processorInfo.cid, IComponent_iid);
    auto* controller = Make<IEditController>(factory, controllerInfo.cid, IEditController_iid);
    component->initialize(nullptr);
    controller->initialize(nullptr);

    const std::vector<std::uint8_t> before = Saved(component);
    Stream forProcessor(state, stateSize, chunk), forController(state, stateSize, chunk);
    const tresult processorResult = component->setState(&forProcessor);
    const tresult controllerResult = controller->setComponentState(&forController);
    FUZZ_CHECK(processorResult == controllerResult);
    FUZZ_CHECK((processorResult == kResultOk) == (stateSize == kStateSize));
    const std::vector<std::uint8_t> after = Saved(component);
    if (processorResult != kResultOk)
        FUZZ_CHECK(after == before);
    for (ParamID id = 0; id < 5; ++id) {
        const ParamValue v = controller->getParamNormalized(id);
        FUZZ_CHECK(v >= 0.0 && v <= 1.0);
    }
    // What was taken saves and loads as itself.
    Stream again(after.data(), after.size(), 0);
    FUZZ_CHECK(component->setState(&again) == kResultOk);
    FUZZ_CHECK(Saved(component) == after);

    ParamValue parsed = -1.0;
    if (controller->getParamValueByString(textId, text, parsed) == kResultOk)
        FUZZ_CHECK(parsed >= 0.0 && parsed <= 1.0);

    // The state it took plays a loud block to a finite end.
    auto* processor = static_cast<IAudioProcessor*>(nullptr);
    void* queried = nullptr;
    FUZZ_CHECK(component->queryInterface(IAudioProcessor_iid, &queried) == kResultOk);
    processor = static_cast<IAudioProcessor*>(queried);
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    FUZZ_CHECK(processor->setupProcessing(setup) == kResultOk);
    FUZZ_CHECK(component->setActive(true) == kResultOk);
    float buffers[4][64];
    for (int i = 0; i < 64; ++i)
        buffers[0][i] = buffers[1][i] = static_cast<float>(0.9 * std::sin(i * 0.3));
    float* ins[2] = {buffers[0], buffers[1]};
    float* outs[2] = {buffers[2], buffers[3]};
    AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = ins;
    outBus.channelBuffers32 = outs;
    ProcessData block;
    block.numSamples = 64;
    block.numInputs = block.numOutputs = 1;
    block.inputs = &inBus;
    block.outputs = &outBus;
    FUZZ_CHECK(processor->process(block) == kResultOk);
    for (int i = 0; i < 64; ++i)
        FUZZ_CHECK(std::isfinite(buffers[2][i]) && std::isfinite(buffers[3][i]));

    processor->release();
    component->setActive(false);
    component->terminate();
    controller->terminate();
    component->release();
    controller->release();
    factory->release();
    return 0;
}
