#pragma once
// A VST3 host of our own, just big enough to drive the bundle the way hosts do: it
// loads the module, makes the processor and the controller through the factory, gives
// them a host context, parameter changes, audio buses of either width, memory streams,
// a component handler that records the edits, and a plug frame with a run loop for the
// editor. Output parameter changes go on to the controller, as real hosts forward them.
#ifndef _WIN32
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "tests/formats/plugin_module.h"

namespace vst3host {

using namespace Steinberg;
using namespace Steinberg::Vst;

inline bool Same(const void* a, const void* b) {
    return FUnknownPrivate::iidEqual(a, b);
}

// Objects the host owns on its stack: reference counts are not theirs to end.
#define VST3HOST_STATIC_REFCOUNT                                                                             \
    uint32 PLUGIN_API addRef() override {                                                                    \
        return 2;                                                                                            \
    }                                                                                                        \
    uint32 PLUGIN_API release() override {                                                                   \
        return 1;                                                                                            \
    }

// Answers one interface (and FUnknown) through `self`.
#define VST3HOST_QUERY(Interface)                                                                            \
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {                                 \
        if (Same(iid, FUnknown_iid) || Same(iid, Interface##_iid)) {                                         \
            *obj = static_cast<Interface*>(this);                                                            \
            return kResultOk;                                                                                \
        }                                                                                                    \
        *obj = nullptr;                                                                                      \
        return kNoInterface;                                                                                 \
    }

// A byte stream in memory; `chunk` limits each read, as some hosts' file streams do.
class MemoryStream : public IBStream {
  public:
    explicit MemoryStream(std::vector<std::uint8_t> bytes = {}, int32 chunk = 0)
        : data(std::move(bytes)), chunk(chunk) {}
    VST3HOST_QUERY(IBStream)
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(std::max(numBytes, 0)), data.size() - position);
        if (chunk > 0)
            n = std::min<std::size_t>(n, static_cast<std::size_t>(chunk));
        if (n > 0)
            std::memcpy(buffer, data.data() + position, n);
        position += n;
        if (numBytesRead != nullptr)
            *numBytesRead = static_cast<int32>(n);
        return kResultOk;
    }
    tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        data.insert(data.begin() + static_cast<long>(position), bytes, bytes + numBytes);
        position += static_cast<std::size_t>(numBytes);
        if (numBytesWritten != nullptr)
            *numBytesWritten = numBytes;
        return kResultOk;
    }
    tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) override {
        const int64 base = mode == kIBSeekSet   ? 0
                           : mode == kIBSeekCur ? static_cast<int64>(position)
                                                : static_cast<int64>(data.size());
        if (base + pos < 0 || base + pos > static_cast<int64>(data.size()))
            return kResultFalse;
        position = static_cast<std::size_t>(base + pos);
        if (result != nullptr)
            *result = static_cast<int64>(position);
        return kResultOk;
    }
    tresult PLUGIN_API tell(int64* pos) override {
        *pos = static_cast<int64>(position);
        return kResultOk;
    }
    std::vector<std::uint8_t> data;
    std::size_t position = 0;
    int32 chunk = 0;
};

// Fixed capacity, so the plug-in's calls into it never allocate on the audio thread.
class ParamQueue : public IParamValueQueue {
  public:
    VST3HOST_QUERY(IParamValueQueue)
    VST3HOST_STATIC_REFCOUNT
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return count; }
    tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, ParamValue& value) override {
        if (index < 0 || index >= count)
            return kInvalidArgument;
        sampleOffset = offsets[index];
        value = values[index];
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) override {
        if (count == kCapacity)
            return kResultFalse;
        offsets[count] = sampleOffset;
        values[count] = value;
        index = count++;
        return kResultOk;
    }
    static constexpr int32 kCapacity = 8;
    ParamID id = 0;
    int32 count = 0;
    int32 offsets[kCapacity] = {};
    ParamValue values[kCapacity] = {};
};

class ParamChanges : public IParameterChanges {
  public:
    VST3HOST_QUERY(IParameterChanges)
    VST3HOST_STATIC_REFCOUNT
    int32 PLUGIN_API getParameterCount() override { return count; }
    IParamValueQueue* PLUGIN_API getParameterData(int32 index) override {
        return index >= 0 && index < count ? &queues[index] : nullptr;
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override {
        for (int32 i = 0; i < count; ++i)
            if (queues[i].id == id) {
                index = i;
                return &queues[i];
            }
        if (count == kCapacity)
            return nullptr;
        queues[count] = ParamQueue{};
        queues[count].id = id;
        index = count;
        return &queues[count++];
    }
    // A ramp as hosts send it: points through the block, the last one the value it ends at.
    void Add(ParamID id, ParamValue value, int32 offset = 0) {
        int32 index = 0, point = 0;
        addParameterData(id, index)->addPoint(offset, value, point);
    }
    void Clear() { count = 0; }
    static constexpr int32 kCapacity = 8;
    ParamQueue queues[kCapacity];
    int32 count = 0;
};

struct Edit {
    char kind; // 'b'egin, 'p'erform, 'e'nd
    ParamID id;
    ParamValue value;
};

class Handler : public IComponentHandler {
  public:
    VST3HOST_QUERY(IComponentHandler)
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API beginEdit(ParamID id) override { return Record('b', id, 0.0); }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override { return Record('p', id, value); }
    tresult PLUGIN_API endEdit(ParamID id) override { return Record('e', id, 0.0); }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult Record(char kind, ParamID id, ParamValue value) {
        edits.push_back({kind, id, value});
        return kResultOk;
    }
    std::vector<Edit> edits;
};

// A message as hosts make them for plug-ins: an id and float or integer attributes.
// `live` counts the messages not yet released, so a leak shows.
class Message final : public IMessage, public IAttributeList {
  public:
    explicit Message(int& live) : live(live) { ++live; }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (Same(iid, FUnknown_iid) || Same(iid, IMessage_iid))
            *obj = static_cast<IMessage*>(this);
        else if (Same(iid, IAttributeList_iid))
            *obj = static_cast<IAttributeList*>(this);
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return ++refs; }
    uint32 PLUGIN_API release() override {
        if (--refs > 0)
            return refs;
        --live;
        delete this;
        return 0;
    }
    FIDString PLUGIN_API getMessageID() override { return id.c_str(); }
    void PLUGIN_API setMessageID(FIDString text) override { id = text != nullptr ? text : ""; }
    IAttributeList* PLUGIN_API getAttributes() override { return this; }
    tresult PLUGIN_API setInt(AttrID key, int64 value) override {
        return Put(key, static_cast<double>(value));
    }
    tresult PLUGIN_API getInt(AttrID key, int64& value) override {
        double v = 0;
        const tresult r = getFloat(key, v);
        value = static_cast<int64>(v);
        return r;
    }
    tresult PLUGIN_API setFloat(AttrID key, double value) override { return Put(key, value); }
    tresult PLUGIN_API getFloat(AttrID key, double& value) override {
        const auto found = key != nullptr ? numbers.find(key) : numbers.end();
        if (found == numbers.end())
            return kResultFalse;
        value = found->second;
        return kResultOk;
    }
    tresult PLUGIN_API setString(AttrID, const TChar*) override { return kNotImplemented; }
    tresult PLUGIN_API getString(AttrID, TChar*, uint32) override { return kResultFalse; }
    tresult PLUGIN_API setBinary(AttrID, const void*, uint32) override { return kNotImplemented; }
    tresult PLUGIN_API getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
    tresult Put(AttrID key, double value) {
        if (key == nullptr)
            return kInvalidArgument;
        numbers[key] = value;
        return kResultOk;
    }

  private:
    ~Message() = default;
    int& live;
    uint32 refs = 1;
    std::string id;
    std::map<std::string, double> numbers;
};

class HostApplication : public IHostApplication {
  public:
    VST3HOST_QUERY(IHostApplication)
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API getName(String128 name) override {
        const char* text = "VT4R test host";
        for (int i = 0;; ++i)
            if ((name[i] = static_cast<char16>(text[i])) == 0)
                break;
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(TUID cid, TUID iid, void** obj) override {
        *obj = nullptr;
        if (!Same(cid, IMessage_iid))
            return kNotImplemented;
        auto* message = new Message(liveMessages);
        const tresult result = message->queryInterface(iid, obj);
        message->release();
        return result;
    }
    int liveMessages = 0;
};

// What some hosts put between the processor and the controller: it forwards messages and
// answers nothing else, so the two never see each other.
class ConnectionProxy : public IConnectionPoint {
  public:
    VST3HOST_QUERY(IConnectionPoint)
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API notify(IMessage* message) override {
        ++forwarded;
        return target != nullptr ? target->notify(message) : kResultFalse;
    }
    IConnectionPoint* target = nullptr;
    int forwarded = 0;
};

// How the host joins the processor and the controller.
// (Not "None": X11 headers define it.)
enum class Link { Direct, Proxy, Unconnected };

#if SMTG_OS_LINUX
// The plug frame with the run loop Linux hosts give: timers and file descriptors served
// by Pump on the calling (UI) thread.
class Frame : public IPlugFrame, public Linux::IRunLoop {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (Same(iid, FUnknown_iid) || Same(iid, IPlugFrame_iid))
            *obj = static_cast<IPlugFrame*>(this);
        else if (Same(iid, Linux::IRunLoop_iid))
            *obj = static_cast<Linux::IRunLoop*>(this);
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        return kResultOk;
    }
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler,
                                            Linux::FileDescriptor fd) override {
        fds.push_back({handler, fd});
        return kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
        std::erase_if(fds, [&](const auto& f) { return f.handler == handler; });
        return kResultOk;
    }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override {
        timers.push_back({handler, ms, std::chrono::steady_clock::now()});
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        std::erase_if(timers, [&](const auto& t) { return t.handler == handler; });
        return kResultOk;
    }
    // Serves the loop until `done` answers true or `seconds` pass; answers done().
    template <typename Done> bool PumpUntil(Done done, double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            PumpOnce(5);
        }
        return true;
    }
    void Pump(double seconds) {
        PumpUntil([] { return false; }, seconds);
    }
    void PumpOnce(int waitMs) {
        std::vector<pollfd> polled;
        for (const auto& f : fds)
            polled.push_back({f.fd, POLLIN, 0});
        ::poll(polled.data(), polled.size(), waitMs);
        for (std::size_t i = 0; i < polled.size() && i < fds.size(); ++i)
            if ((polled[i].revents & POLLIN) != 0)
                fds[i].handler->onFDIsSet(fds[i].fd);
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < timers.size(); ++i)
            if (now >= timers[i].next) {
                timers[i].next = now + std::chrono::milliseconds(timers[i].ms);
                timers[i].handler->onTimer();
            }
    }
    struct Fd {
        Linux::IEventHandler* handler;
        int fd;
    };
    struct Timer {
        Linux::ITimerHandler* handler;
        Linux::TimerInterval ms;
        std::chrono::steady_clock::time_point next;
    };
    std::vector<Fd> fds;
    std::vector<Timer> timers;
};
#else
// The plug frame of a Windows host: no run loop; the thread's message loop serves the editor.
class Frame : public IPlugFrame {
  public:
    VST3HOST_QUERY(IPlugFrame)
    VST3HOST_STATIC_REFCOUNT
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
};
#endif

// The module and one instance of the plug-in: processor and controller, connected
// through the host as a real host does it (each one's connect given the other, or a proxy).
class Plugin {
  public:
    explicit Plugin(const std::string& bundle, Link link = Link::Direct) {
#ifdef _WIN32
        const std::string so = bundle + "/Contents/x86_64-win/VT4R.vst3";
#else
        const std::string so = bundle + "/Contents/x86_64-linux/VT4R.so";
#endif
        module = plugin_module::Open(so, error);
        if (module == nullptr)
            return;
        auto getFactory =
            reinterpret_cast<IPluginFactory* (*)()>(plugin_module::Symbol(module, "GetPluginFactory"));
#ifdef _WIN32
        auto init = reinterpret_cast<bool (*)()>(plugin_module::Symbol(module, "InitDll"));
        const bool entered = init != nullptr && init();
#else
        auto entry = reinterpret_cast<bool (*)(void*)>(plugin_module::Symbol(module, "ModuleEntry"));
        const bool entered = entry != nullptr && entry(module);
#endif
        if (!entered || getFactory == nullptr ||
            (factory = getFactory()) == nullptr) {
            error = "no entry points";
            return;
        }
        for (int32 i = 0; i < factory->countClasses(); ++i) {
            PClassInfo info;
            factory->getClassInfo(i, &info);
            if (std::strcmp(info.category, kVstAudioEffectClass) == 0)
                std::memcpy(processorId, info.cid, sizeof(TUID));
        }
        void* made = nullptr;
        if (factory->createInstance(processorId, IComponent_iid, &made) != kResultOk || made == nullptr) {
            error = "no component";
            return;
        }
        component = static_cast<IComponent*>(made);
        component->initialize(&host);
        component->queryInterface(IAudioProcessor_iid, &made);
        processor = static_cast<IAudioProcessor*>(made);
        TUID controllerId;
        component->getControllerClassId(controllerId);
        if (factory->createInstance(controllerId, IEditController_iid, &made) != kResultOk ||
            made == nullptr) {
            error = "no controller";
            return;
        }
        controller = static_cast<IEditController*>(made);
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
        if (link != Link::Unconnected) {
            component->queryInterface(IConnectionPoint_iid, &made);
            processorPoint = static_cast<IConnectionPoint*>(made);
            controller->queryInterface(IConnectionPoint_iid, &made);
            controllerPoint = static_cast<IConnectionPoint*>(made);
            if (processorPoint == nullptr || controllerPoint == nullptr) {
                error = "no connection points";
                return;
            }
            toProcessor.target = processorPoint;
            toController.target = controllerPoint;
            if (link == Link::Direct) {
                processorPoint->connect(controllerPoint);
                controllerPoint->connect(processorPoint);
            } else {
                processorPoint->connect(&toController);
                controllerPoint->connect(&toProcessor);
            }
            this->link = link;
        }
        // The controller starts from the component's state, as hosts sync them.
        MemoryStream state;
        component->getState(&state);
        state.position = 0;
        controller->setComponentState(&state);
    }

    ~Plugin() {
        if (active)
            Deactivate();
        Disconnect();
        if (processorPoint != nullptr)
            processorPoint->release();
        if (controllerPoint != nullptr)
            controllerPoint->release();
        if (controller != nullptr) {
            controller->setComponentHandler(nullptr);
            controller->terminate();
            controller->release();
        }
        if (processor != nullptr)
            processor->release();
        if (component != nullptr) {
            component->terminate();
            component->release();
        }
        if (factory != nullptr)
            factory->release();
        if (module != nullptr) {
#ifdef _WIN32
            const char* exitName = "ExitDll";
#else
            const char* exitName = "ModuleExit";
#endif
            if (auto exit = reinterpret_cast<bool (*)()>(plugin_module::Symbol(module, exitName)))
                exit();
            plugin_module::Close(module);
        }
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool Ok() const { return controller != nullptr && processor != nullptr && error.empty(); }

    // As hosts do before terminating: each side lets go of what it was connected to.
    void Disconnect() {
        if (link == Link::Direct) {
            processorPoint->disconnect(controllerPoint);
            controllerPoint->disconnect(processorPoint);
        } else if (link == Link::Proxy) {
            processorPoint->disconnect(&toController);
            controllerPoint->disconnect(&toProcessor);
        }
        link = Link::Unconnected;
    }

    bool Activate(double rate, int32 maxFrames, int32 sampleSize) {
        SpeakerArrangement in = SpeakerArr::kStereo, out = SpeakerArr::kStereo;
        ProcessSetup setup{kRealtime, sampleSize, maxFrames, rate};
        if (processor->setBusArrangements(&in, 1, &out, 1) != kResultTrue ||
            processor->setupProcessing(setup) != kResultOk || component->setActive(true) != kResultOk)
            return false;
        processor->setProcessing(true);
        for (auto& b : buffers32)
            b.assign(static_cast<std::size_t>(maxFrames), 0.0f);
        for (auto& b : buffers64)
            b.assign(static_cast<std::size_t>(maxFrames), 0.0);
        this->sampleSize = sampleSize;
        active = true;
        return true;
    }
    void Deactivate() {
        processor->setProcessing(false);
        component->setActive(false);
        active = false;
    }

    // One block over buffers 0,1 -> 2,3 of the chosen width, with the changes queued by Set.
    // The processor's output parameters stay in outputChanges until ForwardOutputs.
    tresult Process(int32 frames) {
        float* ch32in[2] = {buffers32[0].data(), buffers32[1].data()};
        float* ch32out[2] = {buffers32[2].data(), buffers32[3].data()};
        double* ch64in[2] = {buffers64[0].data(), buffers64[1].data()};
        double* ch64out[2] = {buffers64[2].data(), buffers64[3].data()};
        AudioBusBuffers in, out;
        in.numChannels = out.numChannels = 2;
        if (sampleSize == kSample32) {
            in.channelBuffers32 = ch32in;
            out.channelBuffers32 = ch32out;
        } else {
            in.channelBuffers64 = ch64in;
            out.channelBuffers64 = ch64out;
        }
        ProcessData data;
        data.processMode = kRealtime;
        data.symbolicSampleSize = sampleSize;
        data.numSamples = frames;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &in;
        data.outputs = &out;
        data.inputParameterChanges = &inputChanges;
        data.outputParameterChanges = &outputChanges;
        outputChanges.Clear();
        const tresult result = processor->process(data);
        inputChanges.Clear();
        return result;
    }
    // What hosts do with the processor's output parameters once the block is done.
    void ForwardOutputs() {
        for (int32 i = 0; i < outputChanges.count; ++i) {
            ParamQueue& q = outputChanges.queues[i];
            if (q.count > 0)
                controller->setParamNormalized(q.id, q.values[q.count - 1]);
        }
        outputChanges.Clear();
    }
    // A host-side change: automation to the processor, the same value to the controller.
    void Set(ParamID id, ParamValue normalized) {
        inputChanges.Add(id, 0.25 * normalized, 0);
        inputChanges.Add(id, normalized, 7);
        controller->setParamNormalized(id, normalized);
    }
    ParamValue Normalized(ParamID id, double plain) { return controller->plainParamToNormalized(id, plain); }

    std::vector<std::uint8_t> SaveComponent() {
        MemoryStream stream;
        return component->getState(&stream) == kResultOk ? stream.data : std::vector<std::uint8_t>{};
    }

    void* module = nullptr;
    std::string error;
    IPluginFactory* factory = nullptr;
    TUID processorId = {};
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    HostApplication host;
    Handler handler;
    Link link = Link::Unconnected;
    IConnectionPoint* processorPoint = nullptr;
    IConnectionPoint* controllerPoint = nullptr;
    ConnectionProxy toProcessor, toController;
    ParamChanges inputChanges;
    ParamChanges outputChanges;
    std::vector<float> buffers32[4];
    std::vector<double> buffers64[4];
    int32 sampleSize = kSample32;
    bool active = false;
};

} // namespace vst3host
