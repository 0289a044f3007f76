// The CLAP plug-in: the entry, the factory, one descriptor, and the plug-in with its
// audio ports, parameters, state and latency, each a few lines over the wrapper core.
// Host values take effect at the block boundary; blocks are never split at events.
#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/latency.h>
#include <clap/plugin-factory.h>
#include <clap/plugin-features.h>
#include <clap/process.h>
#include <clap/stream.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "formats/clap/plugin_clap.h"
#include "formats/common/host_parameters.h"

namespace vt4r_clap {

namespace {

using vt4r_formats::kBypassParam;
using vt4r_formats::kHostParamCount;
using vt4r_formats::WrapperCore;

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_COMPRESSOR,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    "com.marsolind.vt4r",
    "VT4R",
    "Marsolind",
    "",
    "",
    "",
    "1.1.2",
    "Stereo compressor",
    const_cast<const char**>(kFeatures),
};

Instance& Of(const clap_plugin_t* plugin) {
    return *static_cast<Instance*>(plugin->plugin_data);
}

bool ValidId(clap_id id) {
    return id < static_cast<clap_id>(kHostParamCount);
}

// ---- audio ports: one stereo pair, processed in place if the host likes ----

std::uint32_t PortCount(const clap_plugin_t*, bool) {
    return 1;
}

bool PortInfo(const clap_plugin_t*, std::uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (index != 0)
        return false;
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {PortCount, PortInfo};

// ---- parameters ----

std::uint32_t ParamCount(const clap_plugin_t*) {
    return static_cast<std::uint32_t>(kHostParamCount);
}

bool ParamInfo(const clap_plugin_t* plugin, std::uint32_t index, clap_param_info_t* info) {
    vt4r_formats::HostParameterInfo described;
    if (!ValidId(index) ||
        !vt4r_formats::DescribeParameter(Of(plugin).core.Plugin(), static_cast<std::int32_t>(index), described))
        return false;
    std::memset(info, 0, sizeof *info);
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (described.stepCount > 0)
        info->flags |= CLAP_PARAM_IS_STEPPED;
    if (described.isBypass)
        info->flags |= CLAP_PARAM_IS_BYPASS;
    std::snprintf(info->name, sizeof info->name, "%s", described.name);
    info->min_value = described.minimum;
    info->max_value = described.maximum;
    info->default_value = described.defaultValue;
    return true;
}

bool ParamValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    if (!ValidId(id))
        return false;
    *value = Of(plugin).core.Value(static_cast<std::int32_t>(id));
    return true;
}

bool ValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* display, std::uint32_t size) {
    return ValidId(id) && display != nullptr && size > 0 &&
           vt4r_formats::FormatParameter(Of(plugin).core.Plugin(), static_cast<std::int32_t>(id), value, display,
                                         size);
}

bool TextToValue(const clap_plugin_t* plugin, clap_id id, const char* display, double* value) {
    return ValidId(id) && display != nullptr &&
           vt4r_formats::ParseParameter(Of(plugin).core.Plugin(), static_cast<std::int32_t>(id), display, value);
}

// Either thread, never during process: the values apply now, as no block will take them.
void Flush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    Instance& self = Of(plugin);
    self.Receive(in);
    self.core.ApplyPending();
    self.Deliver(out);
}

const clap_plugin_params_t kParams = {ParamCount, ParamInfo, ParamValue, ValueToText, TextToValue, Flush};

// ---- state: the core's parameter block, nothing around it ----

bool SaveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    std::vector<std::uint8_t> bytes;
    if (stream == nullptr || !Of(plugin).core.SaveState(bytes))
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int64_t wrote = stream->write(stream, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0 || static_cast<std::uint64_t>(wrote) > bytes.size() - done)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool LoadState(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    if (stream == nullptr)
        return false;
    // One byte more than a block: a stream that still has it is not ours.
    std::uint8_t bytes[WrapperCore::kStateSize + 1];
    std::size_t have = 0;
    while (have < sizeof bytes) {
        const std::int64_t got = stream->read(stream, bytes + have, sizeof bytes - have);
        if (got < 0 || static_cast<std::uint64_t>(got) > sizeof bytes - have)
            return false;
        if (got == 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    Instance& self = Of(plugin);
    if (!self.core.LoadState(bytes, have))
        return false;
    if (self.hostParams != nullptr)
        self.hostParams->rescan(self.host, CLAP_PARAM_RESCAN_VALUES);
    RefreshEditor(self);
    return true;
}

const clap_plugin_state_t kState = {SaveState, LoadState};

std::uint32_t Latency(const clap_plugin_t* plugin) {
    return static_cast<std::uint32_t>(Of(plugin).core.LatencySamples());
}

const clap_plugin_latency_t kLatency = {Latency};

// ---- the plug-in ----

bool Init(const clap_plugin_t* plugin) {
    Instance& self = Of(plugin);
    const clap_host_t* host = self.host;
    self.hostParams = static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
    self.hostState = static_cast<const clap_host_state_t*>(host->get_extension(host, CLAP_EXT_STATE));
    self.hostTimer =
        static_cast<const clap_host_timer_support_t*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
    self.hostGui = static_cast<const clap_host_gui_t*>(host->get_extension(host, CLAP_EXT_GUI));
    // A host that offers an extension but not its functions is treated as not offering it.
    if (self.hostParams != nullptr && (self.hostParams->rescan == nullptr || self.hostParams->request_flush == nullptr))
        self.hostParams = nullptr;
    if (self.hostState != nullptr && self.hostState->mark_dirty == nullptr)
        self.hostState = nullptr;
    if (self.hostTimer != nullptr &&
        (self.hostTimer->register_timer == nullptr || self.hostTimer->unregister_timer == nullptr))
        self.hostTimer = nullptr;
    return true;
}

void Destroy(const clap_plugin_t* plugin) {
    Instance* self = &Of(plugin);
    DestroyEditor(*self);
    delete self;
}

bool Activate(const clap_plugin_t* plugin, double sampleRate, std::uint32_t, std::uint32_t maxFrames) {
    return Of(plugin).core.Activate(sampleRate, maxFrames);
}

void Deactivate(const clap_plugin_t* plugin) {
    Of(plugin).core.Deactivate();
}

bool StartProcessing(const clap_plugin_t*) {
    return true;
}

void StopProcessing(const clap_plugin_t*) {}

void Reset(const clap_plugin_t* plugin) {
    Of(plugin).core.Reset();
}

template <typename Sample>
void Run(WrapperCore& core, const clap_process_t* process, Sample** (*pick)(const clap_audio_buffer_t&)) {
    const Sample* ins[2] = {nullptr, nullptr};
    Sample* outs[2] = {nullptr, nullptr};
    if (process->audio_inputs_count > 0 && process->audio_inputs != nullptr)
        if (Sample** data = pick(process->audio_inputs[0]))
            for (std::uint32_t c = 0; c < 2 && c < process->audio_inputs[0].channel_count; ++c)
                ins[c] = data[c];
    if (process->audio_outputs_count > 0 && process->audio_outputs != nullptr)
        if (Sample** data = pick(process->audio_outputs[0]))
            for (std::uint32_t c = 0; c < 2 && c < process->audio_outputs[0].channel_count; ++c)
                outs[c] = data[c];
    core.Process(ins, outs, process->frames_count);
}

float** Data32(const clap_audio_buffer_t& buffer) {
    return buffer.data32;
}

double** Data64(const clap_audio_buffer_t& buffer) {
    return buffer.data64;
}

// [audio thread]
clap_process_status Process(const clap_plugin_t* plugin, const clap_process_t* process) {
    Instance& self = Of(plugin);
    if (process == nullptr || !self.core.IsActive())
        return CLAP_PROCESS_ERROR;
    self.Receive(process->in_events);
    self.Deliver(process->out_events);
    // The host's choice of sample size is the output's; doubles run the plug-in's own doubles.
    const bool doubles = process->audio_outputs_count > 0 && process->audio_outputs != nullptr &&
                         process->audio_outputs[0].data64 != nullptr;
    if (doubles)
        Run<double>(self.core, process, Data64);
    else
        Run<float>(self.core, process, Data32);
    return CLAP_PROCESS_CONTINUE;
}

const void* Extension(const clap_plugin_t*, const char* id) {
    if (id == nullptr)
        return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0)
        return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
        return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0)
        return &kState;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0)
        return &kLatency;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0)
        return GuiExtension();
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
        return TimerExtension();
    return nullptr;
}

void OnMainThread(const clap_plugin_t*) {}

// ---- factory and entry ----

std::uint32_t PluginCount(const clap_plugin_factory_t*) {
    return 1;
}

const clap_plugin_descriptor_t* Descriptor(const clap_plugin_factory_t*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* Create(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    if (host == nullptr || host->get_extension == nullptr || id == nullptr ||
        std::strcmp(id, kDescriptor.id) != 0 || !clap_version_is_compatible(host->clap_version))
        return nullptr;
    // Plain new, so the same allocator pair makes and frees it in any host's process.
    try {
        return &(new Instance(host))->clap;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const clap_plugin_factory_t kFactory = {PluginCount, Descriptor, Create};

bool EntryInit(const char*) {
    return true;
}

void EntryDeinit() {}

const void* Factory(const char* id) {
    return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

} // namespace

Instance::Instance(const clap_host_t* host) : host(host) {
    clap.desc = &kDescriptor;
    clap.plugin_data = this;
    clap.init = Init;
    clap.destroy = Destroy;
    clap.activate = Activate;
    clap.deactivate = Deactivate;
    clap.start_processing = StartProcessing;
    clap.stop_processing = StopProcessing;
    clap.reset = Reset;
    clap.process = Process;
    clap.get_extension = Extension;
    clap.on_main_thread = OnMainThread;
}

Instance::~Instance() = default;

void Instance::Tell(const Outgoing& edit) {
    Outgoing told = edit;
    if (edit.kind == Outgoing::Value) {
        core.EditorEdit(edit.index, edit.value);
        told.value = core.Value(edit.index);
    }
    // A full queue (a host that neither processes nor flushes) drops this news for the
    // host only: the core already has the value.
    outgoing.Push(told);
    if (hostParams != nullptr)
        hostParams->request_flush(host);
    if (hostState != nullptr && edit.kind == Outgoing::End)
        hostState->mark_dirty(host);
}

void Instance::Deliver(const clap_output_events_t* out) {
    if (out == nullptr || out->try_push == nullptr)
        return;
    Outgoing edit;
    while (outgoing.Peek(edit)) {
        bool pushed = false;
        if (edit.kind == Outgoing::Value) {
            clap_event_param_value_t event{};
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            event.param_id = static_cast<clap_id>(edit.index);
            event.note_id = -1;
            event.port_index = -1;
            event.channel = -1;
            event.key = -1;
            event.value = edit.value;
            pushed = out->try_push(out, &event.header);
        } else {
            clap_event_param_gesture_t event{};
            const std::uint16_t type =
                edit.kind == Outgoing::Begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
            event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
            event.param_id = static_cast<clap_id>(edit.index);
            pushed = out->try_push(out, &event.header);
        }
        if (!pushed)
            return; // the rest go with the next block or flush
        outgoing.Pop(edit);
    }
}

void Instance::Receive(const clap_input_events_t* in) {
    if (in == nullptr || in->size == nullptr || in->get == nullptr)
        return;
    const std::uint32_t count = in->size(in);
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* header = in->get(in, i);
        if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID ||
            header->type != CLAP_EVENT_PARAM_VALUE || header->size < sizeof(clap_event_param_value_t))
            continue;
        const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
        core.SetValue(static_cast<std::int32_t>(event->param_id), event->value);
    }
}

} // namespace vt4r_clap

// Declared (and exported) by entry.h.
const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, vt4r_clap::EntryInit, vt4r_clap::EntryDeinit, vt4r_clap::Factory};
