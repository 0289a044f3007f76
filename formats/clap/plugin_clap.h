#pragma once
#include <clap/events.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin.h>

#include <atomic>
#include <cstdint>

#include "formats/clap/event_queue.h"
#include "formats/common/wrapper_core.h"

// One CLAP instance of VT4R: the shared wrapper core, the host's extensions, and the
// editor's edits on their way to the host.
namespace vt4r_clap {

// An edit made in the plug-in's editor, for the host.
struct Outgoing {
    enum Kind : std::uint8_t { Begin, Value, End };
    Kind kind = Value;
    std::int32_t index = 0;
    double value = 0.0;
};

class Editor; // the editor in a host window, where there is one

struct Instance {
    explicit Instance(const clap_host_t* host);
    ~Instance();

    clap_plugin_t clap{};
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_timer_support_t* hostTimer = nullptr;
    const clap_host_gui_t* hostGui = nullptr;

    vt4r_formats::WrapperCore core{"clap"};
    // [main thread -> audio thread, or to flush] Editor edits not yet told to the host.
    EventQueue<Outgoing, 1024> outgoing;
    Editor* editor = nullptr;

    // [main thread] News of an editor edit for the host, sent with the next block or flush.
    // A value is put into the core at once.
    void Tell(const Outgoing& edit);
    // [audio thread or flush] Hands queued edits to the host until its list is full.
    void Deliver(const clap_output_events_t* out);
    // Host values from a list of input events, for the next block.
    void Receive(const clap_input_events_t* in);
};

// The gui and timer-support extensions (null where no editor is built) and the editor's
// part of an instance's life. All on the main thread.
const clap_plugin_gui_t* GuiExtension();
const clap_plugin_timer_support_t* TimerExtension();
// The values now in the core, shown in an open editor (after a state load).
void RefreshEditor(Instance& instance);
void DestroyEditor(Instance& instance);

} // namespace vt4r_clap
