// The editor in the host's window (X11, or Win32 on Windows; embedded, never floating, a
// fixed size), run from a timer: the host's on Linux, the bridge's own on Windows. Each
// tick pumps the editor's events and shows the host's values and the needle. Edits leave
// through the instance's queue as gestures.
#include <cstring>
#include <new>

#include "formats/clap/plugin_clap.h"
#include "formats/common/editor_bridge.h"

namespace vt4r_clap {

namespace {
// About 33 ticks a second: the bridge asks for at least 25.
constexpr std::uint32_t kTimerMs = 30;

#ifdef _WIN32
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
void* HostWindow(const clap_window_t& window) {
    return window.win32;
}
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
void* HostWindow(const clap_window_t& window) {
    return reinterpret_cast<void*>(window.x11);
}
#endif
} // namespace

class Editor : public vt4r_formats::EditorEdits {
  public:
    explicit Editor(Instance& instance) : mInstance(instance), mBridge(*this) {
        for (double& v : mShown)
            v = -1e300; // nothing shown yet
    }
    ~Editor() override {
        mBridge.Close();
        StopTimer();
        // Closed in the middle of a drag: the host still gets the value and the gesture's end.
        SendHeld();
        if (mGesture >= 0)
            mInstance.Tell({Outgoing::End, mGesture, 0.0});
    }

    bool Open(void* parent) {
        mBridge.Close();
        if (!mBridge.Open(parent))
            return false;
        Refresh();
        StartTimer();
        return true;
    }

    // [timer] Events, values and the needle.
    void Tick() override {
        if (!mBridge.IsOpen())
            return;
        mBridge.Idle();
        SendHeld();
        Refresh();
    }

    void Refresh() {
        if (!mBridge.IsOpen())
            return;
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            const double value = mInstance.core.Value(i);
            if (value != mShown[i]) {
                mBridge.ShowValue(i, value);
                mShown[i] = value;
            }
        }
        mBridge.ShowNeedle(mInstance.core.Needle());
    }

    // Drawn at the host's scale; an open window grows and the host is asked to follow.
    void SetScale(double scale) {
        mBridge.SetScale(scale);
        if (mBridge.IsOpen() && mInstance.hostGui != nullptr)
            mInstance.hostGui->request_resize(mInstance.host, static_cast<std::uint32_t>(Width()),
                                              static_cast<std::uint32_t>(Height()));
    }

    int Width() const { return mBridge.Width(); }
    int Height() const { return mBridge.Height(); }
    bool IsTimer(clap_id id) const { return mTimerOn && id == mTimer; }

    // ---- EditorEdits ----
    // A control reports the value a press sets before the press opens its gesture; the
    // value is held until then, so the host sees it inside the gesture. One that no
    // gesture takes up goes out in a gesture of its own when the events are handled.
    void BeginEdit(std::int32_t index) override {
        if (mHeld && mHeldIndex != index)
            SendHeld();
        mInstance.Tell({Outgoing::Begin, index, 0.0});
        mGesture = index;
        if (mHeld) {
            mHeld = false;
            mInstance.Tell({Outgoing::Value, index, mHeldValue});
        }
    }
    void Edit(std::int32_t index, double plain) override {
        if (index == mGesture) {
            mInstance.Tell({Outgoing::Value, index, plain});
        } else {
            if (mHeld && mHeldIndex != index)
                SendHeld();
            // Into the core now; the host hears of it with its gesture.
            mInstance.core.EditorEdit(index, plain);
            mHeld = true;
            mHeldIndex = index;
            mHeldValue = mInstance.core.Value(index);
        }
        // What the editor shows already; no echo back into it.
        if (index >= 0 && index < kNumParams)
            mShown[index] = mInstance.core.Value(index);
    }
    void EndEdit(std::int32_t index) override {
        if (mHeld && mHeldIndex == index)
            BeginEdit(index); // its value, before the gesture ends
        mInstance.Tell({Outgoing::End, index, 0.0});
        if (mGesture == index)
            mGesture = -1;
    }

  private:
    void SendHeld() {
        if (!mHeld)
            return;
        const std::int32_t index = mHeldIndex;
        BeginEdit(index);
        EndEdit(index);
    }
    void StartTimer() {
        const clap_host_timer_support_t* timer = mInstance.hostTimer;
        if (!mTimerOn && timer != nullptr && !vt4r_formats::EditorBridge::TicksItself())
            mTimerOn = timer->register_timer(mInstance.host, kTimerMs, &mTimer);
    }
    void StopTimer() {
        if (mTimerOn)
            mInstance.hostTimer->unregister_timer(mInstance.host, mTimer);
        mTimerOn = false;
    }

    Instance& mInstance;
    vt4r_formats::EditorBridge mBridge;
    double mShown[kNumParams];
    std::int32_t mGesture = -1;
    bool mHeld = false;
    std::int32_t mHeldIndex = -1;
    double mHeldValue = 0.0;
    clap_id mTimer = CLAP_INVALID_ID;
    bool mTimerOn = false;
};

namespace {

Instance& Of(const clap_plugin_t* plugin) {
    return *static_cast<Instance*>(plugin->plugin_data);
}

bool IsOurs(const char* api, bool floating) {
    return api != nullptr && std::strcmp(api, kWindowApi) == 0 && !floating;
}

bool ApiSupported(const clap_plugin_t*, const char* api, bool floating) {
    return IsOurs(api, floating);
}

bool PreferredApi(const clap_plugin_t*, const char** api, bool* floating) {
    if (api == nullptr || floating == nullptr)
        return false;
    *api = kWindowApi;
    *floating = false;
    return true;
}

bool Create(const clap_plugin_t* plugin, const char* api, bool floating) {
    Instance& self = Of(plugin);
    if (!IsOurs(api, floating) || self.editor != nullptr)
        return false;
    try {
        self.editor = new Editor(self);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void Destroy(const clap_plugin_t* plugin) {
    DestroyEditor(Of(plugin));
}

bool SetScale(const clap_plugin_t* plugin, double scale) {
    Editor* editor = Of(plugin).editor;
    if (editor == nullptr || !(scale > 0.0))
        return false;
    editor->SetScale(scale); // window pixels: X11 and Win32 both
    return true;
}

bool Size(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height) {
    const Editor* editor = Of(plugin).editor;
    if (editor == nullptr || width == nullptr || height == nullptr)
        return false;
    *width = static_cast<std::uint32_t>(editor->Width());
    *height = static_cast<std::uint32_t>(editor->Height());
    return true;
}

bool CanResize(const clap_plugin_t*) {
    return false;
}

bool ResizeHints(const clap_plugin_t*, clap_gui_resize_hints_t*) {
    return false;
}

bool AdjustSize(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height) {
    return Size(plugin, width, height);
}

bool SetSize(const clap_plugin_t* plugin, std::uint32_t width, std::uint32_t height) {
    const Editor* editor = Of(plugin).editor;
    return editor != nullptr && width == static_cast<std::uint32_t>(editor->Width()) &&
           height == static_cast<std::uint32_t>(editor->Height());
}

bool SetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    Editor* editor = Of(plugin).editor;
    if (editor == nullptr || window == nullptr || window->api == nullptr ||
        std::strcmp(window->api, kWindowApi) != 0)
        return false;
    return editor->Open(HostWindow(*window));
}

bool SetTransient(const clap_plugin_t*, const clap_window_t*) {
    return false; // embedded only
}

void SuggestTitle(const clap_plugin_t*, const char*) {}

// The editor lives in the host's window, which the host maps and unmaps itself.
bool Show(const clap_plugin_t* plugin) {
    return Of(plugin).editor != nullptr;
}

bool Hide(const clap_plugin_t* plugin) {
    return Of(plugin).editor != nullptr;
}

const clap_plugin_gui_t kGui = {ApiSupported, PreferredApi, Create,      Destroy,      SetScale,
                                Size,         CanResize,    ResizeHints, AdjustSize,   SetSize,
                                SetParent,    SetTransient, SuggestTitle, Show,        Hide};

void OnTimer(const clap_plugin_t* plugin, clap_id id) {
    Editor* editor = Of(plugin).editor;
    if (editor != nullptr && editor->IsTimer(id))
        editor->Tick();
}

const clap_plugin_timer_support_t kTimer = {OnTimer};

} // namespace

const clap_plugin_gui_t* GuiExtension() {
    return &kGui;
}

const clap_plugin_timer_support_t* TimerExtension() {
    return &kTimer;
}

void RefreshEditor(Instance& instance) {
    if (instance.editor != nullptr)
        instance.editor->Refresh();
}

void DestroyEditor(Instance& instance) {
    delete instance.editor;
    instance.editor = nullptr;
}

} // namespace vt4r_clap
