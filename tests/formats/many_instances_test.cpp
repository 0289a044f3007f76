// A DAW's view of VT4R: sixteen instances of the three formats loaded into one process,
// each at its own sample rate and block length, processed on two audio threads with
// parameter changes in every few blocks, while the main thread keeps four editors open
// and saves and loads states under the running audio. Run under the sanitizers, it is
// the proof that the shared caches, the factory's lock and the window layer hold.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clap_test_host.h"
#include "formats/lv2/ports.h"
#include "vst3_test_host.h"

namespace {

constexpr double kRates[] = {44100, 48000, 88200, 96000};
constexpr std::uint32_t kBlocks[] = {32, 64, 128, 256, 512, 1024};
constexpr int kRounds = 120;
constexpr int kTicks = 40;

// The input every instance gets: a loud swell, so the compressor and its needle work.
double Signal(long position, double rate) {
    const double t = static_cast<double>(position) / rate;
    return (0.5 + 0.45 * std::sin(2 * M_PI * 0.7 * t)) * std::sin(2 * M_PI * 220 * t);
}

// ---- LV2, through its C interface as hosts see it ----
class UridMap {
  public:
    UridMap() { map = {this, &UridMap::Map}; }
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<UridMap*>(handle);
        std::lock_guard<std::mutex> lock(self->mLock);
        for (std::size_t i = 0; i < self->mUris.size(); ++i)
            if (self->mUris[i] == uri)
                return static_cast<LV2_URID>(i + 1);
        self->mUris.emplace_back(uri);
        return static_cast<LV2_URID>(self->mUris.size());
    }
    LV2_URID_Map map;

  private:
    std::mutex mLock;
    std::vector<std::string> mUris;
};

struct Lv2Module {
    explicit Lv2Module(const std::string& path) : handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (handle == nullptr)
            return;
        if (auto entry = reinterpret_cast<LV2_Descriptor_Function>(::dlsym(handle, "lv2_descriptor")))
            plugin = entry(0);
        if (auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(handle, "lv2ui_descriptor")))
            ui = entry(0);
    }
    ~Lv2Module() {
        if (handle != nullptr)
            ::dlclose(handle);
    }
    void* handle;
    const LV2_Descriptor* plugin = nullptr;
    const LV2UI_Descriptor* ui = nullptr;
};

class Lv2Instance {
  public:
    Lv2Instance(const Lv2Module& module, UridMap& urids, double rate, std::int32_t block)
        : mModule(module), mBlock(block) {
        const LV2_URID atomInt = urids.map.map(urids.map.handle, "http://lv2plug.in/ns/ext/atom#Int");
        mOptions[0] = {LV2_OPTIONS_INSTANCE, 0,
                       urids.map.map(urids.map.handle, "http://lv2plug.in/ns/ext/buf-size#maxBlockLength"),
                       sizeof(std::int32_t), atomInt, &mBlock};
        mOptions[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        mMapFeature = {LV2_URID__map, &urids.map};
        mOptionsFeature = {LV2_OPTIONS__options, mOptions};
        const LV2_Feature* features[] = {&mMapFeature, &mOptionsFeature, nullptr};
        mHandle = module.plugin->instantiate(module.plugin, rate, VT4R_LV2_BUNDLE, features);
        if (mHandle == nullptr)
            return;
        for (auto& b : mAudio)
            b.assign(static_cast<std::size_t>(block), 0.0f);
        for (std::uint32_t c = 0; c < 4; ++c)
            module.plugin->connect_port(mHandle, vt4r_lv2::kInputLeftPort + c, mAudio[c].data());
        for (std::uint32_t p = vt4r_lv2::kFirstParameterPort; p < vt4r_lv2::kPortCount; ++p)
            module.plugin->connect_port(mHandle, p, &mControl[p]);
        mControl[vt4r_lv2::kEnabledPort] = 1.0f;
        module.plugin->activate(mHandle);
        mState = static_cast<const LV2_State_Interface*>(module.plugin->extension_data(LV2_STATE__interface));
    }
    ~Lv2Instance() {
        if (mHandle != nullptr)
            mModule.plugin->cleanup(mHandle);
    }
    bool Ok() const { return mHandle != nullptr && mState != nullptr; }

    // [audio thread] The host writes its control ports as atomics: a save may read them.
    void Run(long& position, double rate, int round) {
        if (round % 7 == 0)
            std::atomic_ref<float>(mControl[vt4r_lv2::PortOfParameter(kInputParam)])
                .store(static_cast<float>(round % 21 - 10), std::memory_order_relaxed);
        for (std::int32_t i = 0; i < mBlock; ++i, ++position)
            mAudio[0][i] = mAudio[1][i] = static_cast<float>(Signal(position, rate));
        mModule.plugin->run(mHandle, static_cast<std::uint32_t>(mBlock));
        finite = finite && std::isfinite(mAudio[2][0]) && std::isfinite(mAudio[3][mBlock - 1]);
    }
    // [main thread, while the audio thread runs]
    bool Save() {
        std::size_t stored = 0;
        const auto store = [](LV2_State_Handle h, std::uint32_t, const void*, std::size_t size, std::uint32_t,
                              std::uint32_t) {
            *static_cast<std::size_t*>(h) = size;
            return LV2_STATE_SUCCESS;
        };
        return mState->save(mHandle, store, &stored, 0, nullptr) == LV2_STATE_SUCCESS && stored == 24;
    }
    bool finite = true;

  private:
    const Lv2Module& mModule;
    std::int32_t mBlock;
    LV2_Options_Option mOptions[2];
    LV2_Feature mMapFeature{};
    LV2_Feature mOptionsFeature{};
    LV2_Handle mHandle = nullptr;
    const LV2_State_Interface* mState = nullptr;
    std::vector<float> mAudio[4];
    float mControl[vt4r_lv2::kPortCount] = {};
};

// ---- CLAP, through our CLAP host ----
struct ClapInstance {
    ClapInstance(const clap_test::Library& library, double rate, std::uint32_t block)
        : host(library), block(block) {
        for (auto& b : audio)
            b.assign(block, 0.0f);
        ok = host.Plugin() != nullptr && host.Activate(rate, 1, block);
    }
    // [audio thread]
    void Run(long& position, double rate, int round) {
        if (round % 5 == 0)
            events.Add(kOutputParam, round % 13 - 6);
        if (round % 11 == 0)
            events.Add(kNumParams /* bypass */, (round / 11) % 2);
        for (std::uint32_t i = 0; i < block; ++i, ++position)
            audio[0][i] = audio[1][i] = static_cast<float>(Signal(position, rate));
        float* ins[2] = {audio[0].data(), audio[1].data()};
        float* outs[2] = {audio[2].data(), audio[3].data()};
        host.Process(ins, outs, block, events, sent);
        events.Clear();
        sent.Events().clear();
        finite = finite && std::isfinite(audio[2][0]) && std::isfinite(audio[3][block - 1]);
    }
    clap_test::Host host;
    std::uint32_t block;
    clap_test::InputEvents events;
    clap_test::OutputEvents sent;
    std::vector<float> audio[4];
    bool ok = false;
    bool finite = true;
};

// ---- VST3, through our VST3 host ----
struct Vst3Instance {
    Vst3Instance(double rate, std::int32_t block, bool doubles)
        : plugin(VT4R_VST3_BUNDLE), block(block), doubles(doubles) {
        ok = plugin.Ok() &&
             plugin.Activate(rate, block, doubles ? Steinberg::Vst::kSample64 : Steinberg::Vst::kSample32);
    }
    // [audio thread] Only the processor: the controller is the main thread's.
    void Run(long& position, double rate, int round) {
        if (round % 3 == 0)
            plugin.inputChanges.Add(kInputParam, (round % 9) / 8.0, 0);
        for (std::int32_t i = 0; i < block; ++i, ++position) {
            const double x = Signal(position, rate);
            plugin.buffers32[0][i] = plugin.buffers32[1][i] = static_cast<float>(x);
            plugin.buffers64[0][i] = plugin.buffers64[1][i] = x;
        }
        plugin.Process(block);
        plugin.outputChanges.Clear();
        finite = finite && (doubles ? std::isfinite(plugin.buffers64[2][block - 1])
                                    : std::isfinite(plugin.buffers32[2][block - 1]));
    }
    vst3host::Plugin plugin;
    std::int32_t block;
    bool doubles;
    bool ok = false;
    bool finite = true;
};

::Window MakeParent(::Display* display, int index) {
    const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10 + 300 * index, 10, 288,
                                                392, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

} // namespace

TEST(ManyInstances, SixteenInstancesOfThreeFormatsInOneProcess) {
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        GTEST_SKIP() << "no X display (run under scripts/with-xvfb.sh)";

    clap_test::Library clapLibrary(VT4R_CLAP_PLUGIN);
    ASSERT_NE(clapLibrary.Factory(), nullptr) << clapLibrary.Error();
    Lv2Module lv2(std::string(VT4R_LV2_BUNDLE) + "/vt4r.so");
    Lv2Module lv2Ui(std::string(VT4R_LV2_BUNDLE) + "/vt4r_ui.so");
    ASSERT_NE(lv2.plugin, nullptr);
    ASSERT_NE(lv2Ui.ui, nullptr);
    UridMap urids;

    std::vector<std::unique_ptr<ClapInstance>> claps;
    std::vector<std::unique_ptr<Vst3Instance>> vst3s;
    std::vector<std::unique_ptr<Lv2Instance>> lv2s;
    // Per instance, for the audio thread that runs it.
    struct Slot {
        int format, index;
        double rate;
        long position = 0;
    };
    std::vector<Slot> slots;
    for (int i = 0; i < 16; ++i) {
        const double rate = kRates[i % 4];
        const std::uint32_t block = kBlocks[i % 6];
        switch (i % 3) {
        case 0:
            claps.push_back(std::make_unique<ClapInstance>(clapLibrary, rate, block));
            ASSERT_TRUE(claps.back()->ok);
            slots.push_back({0, static_cast<int>(claps.size() - 1), rate});
            break;
        case 1:
            vst3s.push_back(std::make_unique<Vst3Instance>(rate, static_cast<std::int32_t>(block), i % 2 == 0));
            ASSERT_TRUE(vst3s.back()->ok) << vst3s.back()->plugin.error;
            slots.push_back({1, static_cast<int>(vst3s.size() - 1), rate});
            break;
        default:
            lv2s.push_back(std::make_unique<Lv2Instance>(lv2, urids, rate, static_cast<std::int32_t>(block)));
            ASSERT_TRUE(lv2s.back()->Ok());
            slots.push_back({2, static_cast<int>(lv2s.size() - 1), rate});
        }
    }

    // Four editors: two CLAP, one VST3, one LV2.
    std::vector<::Window> parents;
    for (int e = 0; e < 4; ++e)
        parents.push_back(MakeParent(display, e));
    for (int e = 0; e < 2; ++e) {
        const clap_plugin_t* plugin = claps[static_cast<std::size_t>(e)]->host.Plugin();
        const clap_plugin_gui_t* gui = claps[static_cast<std::size_t>(e)]->host.gui;
        ASSERT_TRUE(gui->create(plugin, CLAP_WINDOW_API_X11, false));
        clap_window_t window{};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = parents[static_cast<std::size_t>(e)];
        ASSERT_TRUE(gui->set_parent(plugin, &window));
        ASSERT_TRUE(gui->show(plugin));
    }
    vst3host::Frame frame;
    Steinberg::IPlugView* view = vst3s[0]->plugin.controller->createView(Steinberg::Vst::ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parents[2])),
                             Steinberg::kPlatformTypeX11EmbedWindowID),
              Steinberg::kResultOk);
    LV2_Feature parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parents[3]))};
    const LV2_Feature* uiFeatures[] = {&parentFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    const auto write = [](LV2UI_Controller, std::uint32_t, std::uint32_t, std::uint32_t, const void*) {};
    LV2UI_Handle ui = lv2Ui.ui->instantiate(lv2Ui.ui, vt4r_lv2::kPluginUri, VT4R_LV2_BUNDLE, write, nullptr,
                                           &widget, uiFeatures);
    ASSERT_NE(ui, nullptr);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(lv2Ui.ui->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    // Two audio threads, each with every other instance.
    // The audio runs on until the main thread has done its part many times over.
    std::atomic<int> running{2};
    std::atomic<int> ticks{0};
    const auto audio = [&](int thread) {
        for (int round = 0; round < kRounds || ticks.load() < kTicks; ++round)
            for (Slot& slot : slots) {
                if ((&slot - slots.data()) % 2 != thread)
                    continue;
                if (slot.format == 0)
                    claps[static_cast<std::size_t>(slot.index)]->Run(slot.position, slot.rate, round);
                else if (slot.format == 1)
                    vst3s[static_cast<std::size_t>(slot.index)]->Run(slot.position, slot.rate, round);
                else
                    lv2s[static_cast<std::size_t>(slot.index)]->Run(slot.position, slot.rate, round);
            }
        running.fetch_sub(1);
    };
    std::thread first(audio, 0), second(audio, 1);

    // Meanwhile the main thread: editors, states, the controller, as a DAW's UI thread.
    for (int tick = 0; running.load() > 0; tick = ++ticks) {
        for (std::size_t e = 0; e < 2; ++e)
            claps[e]->host.RunTimers();
        frame.PumpOnce(0);
        idle->idle(ui);
        const float needle = static_cast<float>(tick % 10) / 10.0f;
        lv2Ui.ui->port_event(ui, vt4r_lv2::kNeedlePort, sizeof needle, 0, &needle);

        ClapInstance& clap = *claps[static_cast<std::size_t>(tick) % claps.size()];
        const std::vector<std::uint8_t> state = claps[static_cast<std::size_t>(tick + 1) % claps.size()]->host.Save();
        EXPECT_EQ(state.size(), 24u);
        EXPECT_TRUE(clap.host.Load(state));
        char text[64];
        EXPECT_TRUE(clap.host.params->value_to_text(clap.host.Plugin(), kInputParam, clap.host.Value(kInputParam),
                                                    text, sizeof text));

        vst3host::Plugin& vst3 = vst3s[static_cast<std::size_t>(tick) % vst3s.size()]->plugin;
        vst3host::MemoryStream stream;
        EXPECT_EQ(vst3.component->getState(&stream), Steinberg::kResultOk);
        stream.position = 0;
        EXPECT_EQ(vst3.component->setState(&stream), Steinberg::kResultOk);
        stream.position = 0;
        EXPECT_EQ(vst3.controller->setComponentState(&stream), Steinberg::kResultOk);
        vst3.controller->setParamNormalized(kOutputParam, (tick % 5) / 4.0);

        EXPECT_TRUE(lv2s[static_cast<std::size_t>(tick) % lv2s.size()]->Save());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    first.join();
    second.join();
    EXPECT_GE(ticks.load(), kTicks);

    lv2Ui.ui->cleanup(ui);
    view->removed();
    view->release();
    for (std::size_t e = 0; e < 2; ++e)
        claps[e]->host.gui->destroy(claps[e]->host.Plugin());
    for (const auto& c : claps)
        EXPECT_TRUE(c->finite);
    for (const auto& v : vst3s)
        EXPECT_TRUE(v->finite);
    for (const auto& l : lv2s)
        EXPECT_TRUE(l->finite);
    claps.clear();
    vst3s.clear();
    lv2s.clear();
    for (::Window parent : parents)
        XDestroyWindow(display, parent);
    XCloseDisplay(display);
}
