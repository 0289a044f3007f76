#pragma once
// A small CLAP host for tests: loads a .clap as hosts do (dlopen; LoadLibraryW on Windows),
// makes one plug-in through its factory and drives it as a host would. It offers the params, state, gui, timer-support,
// latency and audio-ports host extensions and records what the plug-in asks of them.
// Everything the audio thread touches (event lists, buffers) is allocated beforehand.
#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>
#include <clap/process.h>
#include <clap/stream.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/formats/plugin_module.h"

namespace clap_test {

// The .clap file, open for as long as this lives.
class Library {
  public:
    explicit Library(const std::string& path) {
        mHandle = plugin_module::Open(path, mError);
        if (mHandle == nullptr)
            return;
        mEntry = static_cast<const clap_plugin_entry_t*>(plugin_module::Symbol(mHandle, "clap_entry"));
        if (mEntry == nullptr || !mEntry->init(path.c_str())) {
            mError = "no clap_entry, or its init failed";
            mEntry = nullptr;
            return;
        }
        mFactory = static_cast<const clap_plugin_factory_t*>(mEntry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
    ~Library() {
        if (mEntry != nullptr)
            mEntry->deinit();
        if (mHandle != nullptr)
            plugin_module::Close(mHandle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const clap_plugin_factory_t* Factory() const { return mFactory; }
    const std::string& Error() const { return mError; }

  private:
    void* mHandle = nullptr;
    const clap_plugin_entry_t* mEntry = nullptr;
    const clap_plugin_factory_t* mFactory = nullptr;
    std::string mError;
};

// An event the plug-in sent the host.
struct OutEvent {
    std::uint16_t type = 0;
    clap_id param = 0;
    double value = 0.0;
};

// Parameter values for the next block, all at time 0.
class InputEvents {
  public:
    InputEvents() {
        mEvents.reserve(64);
        mList.ctx = this;
        mList.size = [](const clap_input_events_t* list) -> std::uint32_t {
            return static_cast<std::uint32_t>(static_cast<InputEvents*>(list->ctx)->mEvents.size());
        };
        mList.get = [](const clap_input_events_t* list, std::uint32_t i) -> const clap_event_header_t* {
            auto& events = static_cast<InputEvents*>(list->ctx)->mEvents;
            return i < events.size() ? &events[i].header : nullptr;
        };
    }
    void Add(clap_id param, double value) {
        clap_event_param_value_t e{};
        e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        e.param_id = param;
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = value;
        mEvents.push_back(e);
    }
    void Clear() { mEvents.clear(); }
    const clap_input_events_t* List() const { return &mList; }

  private:
    std::vector<clap_event_param_value_t> mEvents;
    clap_input_events_t mList{};
};

// Collects what the plug-in sends; `room` events at most, as a real host's list would.
class OutputEvents {
  public:
    explicit OutputEvents(std::size_t room = 4096) : mRoom(room) {
        mEvents.reserve(room);
        mList.ctx = this;
        mList.try_push = [](const clap_output_events_t* list, const clap_event_header_t* h) -> bool {
            auto* self = static_cast<OutputEvents*>(list->ctx);
            if (self->mEvents.size() >= self->mRoom)
                return false;
            OutEvent e;
            e.type = h->type;
            if (h->type == CLAP_EVENT_PARAM_VALUE) {
                const auto* v = reinterpret_cast<const clap_event_param_value_t*>(h);
                e.param = v->param_id;
                e.value = v->value;
            } else if (h->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h->type == CLAP_EVENT_PARAM_GESTURE_END) {
                e.param = reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id;
            }
            self->mEvents.push_back(e);
            return true;
        };
    }
    const clap_output_events_t* List() const { return &mList; }
    std::vector<OutEvent>& Events() { return mEvents; }

  private:
    std::size_t mRoom;
    std::vector<OutEvent> mEvents;
    clap_output_events_t mList{};
};

// A stream over bytes in memory, handing at most `chunk` bytes per call, as pipes and
// hosts may.
struct OutStream {
    explicit OutStream(std::size_t chunk = SIZE_MAX) : chunk(chunk) {
        stream.ctx = this;
        stream.write = [](const clap_ostream_t* s, const void* data, std::uint64_t size) -> std::int64_t {
            auto* self = static_cast<OutStream*>(s->ctx);
            const std::size_t n = std::min<std::size_t>(size, self->chunk);
            const auto* p = static_cast<const std::uint8_t*>(data);
            self->bytes.insert(self->bytes.end(), p, p + n);
            return static_cast<std::int64_t>(n);
        };
    }
    std::size_t chunk;
    std::vector<std::uint8_t> bytes;
    clap_ostream_t stream{};
};

struct InStream {
    explicit InStream(std::vector<std::uint8_t> data, std::size_t chunk = SIZE_MAX, bool failAtEnd = false)
        : bytes(std::move(data)), chunk(chunk), failAtEnd(failAtEnd) {
        stream.ctx = this;
        stream.read = [](const clap_istream_t* s, void* data, std::uint64_t size) -> std::int64_t {
            auto* self = static_cast<InStream*>(s->ctx);
            if (self->at == self->bytes.size() && self->failAtEnd)
                return -1;
            const std::size_t n = std::min<std::size_t>({size, self->chunk, self->bytes.size() - self->at});
            if (n > 0)
                std::memcpy(data, self->bytes.data() + self->at, n);
            self->at += n;
            return static_cast<std::int64_t>(n);
        };
    }
    std::vector<std::uint8_t> bytes;
    std::size_t chunk;
    bool failAtEnd;
    std::size_t at = 0;
    clap_istream_t stream{};
};

// A host's stereo buffers: two channels of `frames` zeroed samples, and the pointers
// Process() takes.
template <typename Sample> struct Stereo {
    explicit Stereo(std::size_t frames) : channel{std::vector<Sample>(frames), std::vector<Sample>(frames)} {}
    Stereo(const Stereo&) = delete;
    std::vector<Sample>& operator[](int c) { return channel[c]; }
    const std::vector<Sample>& operator[](int c) const { return channel[c]; }
    std::vector<Sample> channel[2];
    Sample* data[2] = {channel[0].data(), channel[1].data()};
};

// The host and one plug-in instance in it.
class Host {
  public:
    Host(const Library& library, const char* id = "com.marsolind.vt4r") {
        mHost.clap_version = CLAP_VERSION;
        mHost.host_data = this;
        mHost.name = "vt4r-clap-test-host";
        mHost.vendor = "Marsolind";
        mHost.url = "";
        mHost.version = "1";
        mHost.get_extension = [](const clap_host_t* h, const char* ext) -> const void* {
            return static_cast<Host*>(h->host_data)->HostExtension(ext);
        };
        mHost.request_restart = [](const clap_host_t*) {};
        mHost.request_process = [](const clap_host_t*) {};
        mHost.request_callback = [](const clap_host_t*) {};
        InitExtensions();
        if (library.Factory() == nullptr)
            return;
        mPlugin = library.Factory()->create_plugin(library.Factory(), &mHost, id);
        if (mPlugin == nullptr || !mPlugin->init(mPlugin)) {
            if (mPlugin != nullptr)
                mPlugin->destroy(mPlugin);
            mPlugin = nullptr;
            return;
        }
        params = Extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
        state = Extension<clap_plugin_state_t>(CLAP_EXT_STATE);
        ports = Extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
        latency = Extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
        gui = Extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
        timer = Extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    }
    ~Host() {
        if (mPlugin == nullptr)
            return;
        if (mProcessing)
            mPlugin->stop_processing(mPlugin);
        if (mActive)
            mPlugin->deactivate(mPlugin);
        mPlugin->destroy(mPlugin);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const clap_plugin_t* Plugin() const { return mPlugin; }

    bool Activate(double rate, std::uint32_t minFrames, std::uint32_t maxFrames) {
        Stop();
        mActive = mPlugin->activate(mPlugin, rate, minFrames, maxFrames);
        mProcessing = mActive && mPlugin->start_processing(mPlugin);
        return mProcessing;
    }
    void Stop() {
        if (mProcessing)
            mPlugin->stop_processing(mPlugin);
        if (mActive)
            mPlugin->deactivate(mPlugin);
        mProcessing = mActive = false;
    }

    // One block, stereo in and out; `Sample` float uses data32, double data64.
    template <typename Sample>
    clap_process_status Process(Sample* const* in, Sample* const* out, std::uint32_t frames,
                                const InputEvents& events, OutputEvents& outEvents) {
        clap_audio_buffer_t input{};
        clap_audio_buffer_t output{};
        input.channel_count = output.channel_count = 2;
        if constexpr (sizeof(Sample) == sizeof(double)) {
            input.data64 = const_cast<double**>(in);
            output.data64 = const_cast<double**>(out);
        } else {
            input.data32 = const_cast<float**>(in);
            output.data32 = const_cast<float**>(out);
        }
        clap_process_t p{};
        p.steady_time = mSteadyTime;
        p.frames_count = frames;
        p.audio_inputs = &input;
        p.audio_outputs = &output;
        p.audio_inputs_count = p.audio_outputs_count = 1;
        p.in_events = events.List();
        p.out_events = outEvents.List();
        mSteadyTime += frames;
        return mPlugin->process(mPlugin, &p);
    }

    // The main thread's part of a flush: no audio, values in, edits out.
    void Flush(const InputEvents& events, OutputEvents& out) {
        flushRequests = 0;
        params->flush(mPlugin, events.List(), out.List());
    }

    double Value(clap_id id) const {
        double v = -1e300;
        params->get_value(mPlugin, id, &v);
        return v;
    }
    std::vector<std::uint8_t> Save(std::size_t chunk = SIZE_MAX) const {
        OutStream out(chunk);
        if (!state->save(mPlugin, &out.stream))
            return {};
        return out.bytes;
    }
    bool Load(std::vector<std::uint8_t> bytes, std::size_t chunk = SIZE_MAX, bool failAtEnd = false) const {
        InStream in(std::move(bytes), chunk, failAtEnd);
        return state->load(mPlugin, &in.stream);
    }

    // Calls the plug-in's timers as a host's main loop would once their period is due;
    // here, every call.
    void RunTimers() {
        for (const Timer& t : timers)
            timer->on_timer(mPlugin, t.id);
    }

    // What the plug-in asked of the host.
    struct Timer {
        clap_id id;
        std::uint32_t period;
    };
    std::vector<Timer> timers;
    std::atomic<int> flushRequests{0};
    int rescans = 0;
    std::uint32_t rescanFlags = 0;
    int dirtyMarks = 0;
    int guiClosed = 0;

    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_audio_ports_t* ports = nullptr;
    const clap_plugin_latency_t* latency = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;

  private:
    template <typename T> const T* Extension(const char* id) const {
        return static_cast<const T*>(mPlugin->get_extension(mPlugin, id));
    }
    static Host& Of(const clap_host_t* h) { return *static_cast<Host*>(h->host_data); }

    void InitExtensions() {
        mParams.rescan = [](const clap_host_t* h, clap_param_rescan_flags flags) {
            ++Of(h).rescans;
            Of(h).rescanFlags |= flags;
        };
        mParams.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
        mParams.request_flush = [](const clap_host_t* h) { ++Of(h).flushRequests; };
        mState.mark_dirty = [](const clap_host_t* h) { ++Of(h).dirtyMarks; };
        mTimer.register_timer = [](const clap_host_t* h, std::uint32_t period, clap_id* id) {
            Host& self = Of(h);
            *id = self.mNextTimer++;
            self.timers.push_back({*id, period});
            return true;
        };
        mTimer.unregister_timer = [](const clap_host_t* h, clap_id id) {
            auto& timers = Of(h).timers;
            const auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.id == id; });
            if (it == timers.end())
                return false;
            timers.erase(it);
            return true;
        };
        mGui.resize_hints_changed = [](const clap_host_t*) {};
        mGui.request_resize = [](const clap_host_t*, std::uint32_t, std::uint32_t) { return false; };
        mGui.request_show = [](const clap_host_t*) { return false; };
        mGui.request_hide = [](const clap_host_t*) { return false; };
        mGui.closed = [](const clap_host_t* h, bool) { ++Of(h).guiClosed; };
        mLatency.changed = [](const clap_host_t*) {};
        mPorts.is_rescan_flag_supported = [](const clap_host_t*, std::uint32_t) { return false; };
        mPorts.rescan = [](const clap_host_t*, std::uint32_t) {};
    }
    const void* HostExtension(const char* id) const {
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
            return &mParams;
        if (std::strcmp(id, CLAP_EXT_STATE) == 0)
            return &mState;
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
            return &mTimer;
        if (std::strcmp(id, CLAP_EXT_GUI) == 0)
            return &mGui;
        if (std::strcmp(id, CLAP_EXT_LATENCY) == 0)
            return &mLatency;
        if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0)
            return &mPorts;
        return nullptr;
    }

    clap_host_t mHost{};
    clap_host_params_t mParams{};
    clap_host_state_t mState{};
    clap_host_timer_support_t mTimer{};
    clap_host_gui_t mGui{};
    clap_host_latency_t mLatency{};
    clap_host_audio_ports_t mPorts{};
    const clap_plugin_t* mPlugin = nullptr;
    clap_id mNextTimer = 1;
    std::int64_t mSteadyTime = 0;
    bool mActive = false;
    bool mProcessing = false;
};

} // namespace clap_test
