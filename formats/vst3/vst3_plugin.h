#pragma once
// The VT4R processor (IComponent + IAudioProcessor) and its edit controller
// (IEditController) over the shared wrapper core.
#include <atomic>
#include <cstdint>

#include "formats/common/wrapper_core.h"
#include "formats/vst3/vst3_common.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace vt4r_vst3 {

// The read-only meter parameter after the core's host parameters (0..3).
inline constexpr Steinberg::Vst::ParamID kGainReductionId = vt4r_formats::kHostParamCount;

// Answered only by this plug-in's own processor and controller, so that when a host
// connects the two directly the controller's host-side changes reach the processor at
// once, with no message in between. Never leaves the module.
inline constexpr Steinberg::int8 kPeerIid[16] = INLINE_UID(0x3E0B9D27, 0x81C44F6A, 0xA7D2195B, 0x6F40C8E3);
class IPeer : public Steinberg::FUnknown {
  public:
    // The processor's host view of the parameters; null from the controller.
    virtual vt4r_formats::WrapperCore* PLUGIN_API HostView() = 0;
    // [main thread] `other` is disconnected or going away: it is never called again.
    virtual void PLUGIN_API Forget(IPeer* other) = 0;
};

// The message a proxied connection carries instead: one float attribute per changed host
// parameter, keyed by its id ("0".."3"), with the plain value.
inline constexpr const char* kValuesMessage = "vt4r.values";

class Processor final : public Steinberg::Vst::IComponent,
                        public Steinberg::Vst::IAudioProcessor,
                        public Steinberg::Vst::IConnectionPoint,
                        public IPeer {
  public:
    Processor();

    Steinberg::tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
    VT4R_VST3_REFCOUNT

    // IPluginBase
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;

    // IComponent
    Steinberg::tresult PLUGIN_API getControllerClassId(TUID classId) override;
    Steinberg::tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    Steinberg::int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType type,
                                            Steinberg::Vst::BusDirection dir) override;
    Steinberg::tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                             Steinberg::int32 index, Steinberg::Vst::BusInfo& bus) override;
    Steinberg::tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                                 Steinberg::Vst::RoutingInfo& outInfo) override;
    Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type,
                                              Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                              Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

    // IAudioProcessor
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) override;
    Steinberg::tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                                    Steinberg::Vst::SpeakerArrangement& arr) override;
    Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::uint32 PLUGIN_API getTailSamples() override;

    // IConnectionPoint [main thread]
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

    // IPeer
    // Null while blocks flow: the host then sends every change with its blocks, and what
    // reaches the controller meanwhile (its echo of automation, late) must not undo them.
    vt4r_formats::WrapperCore* PLUGIN_API HostView() override { return BlocksFlowing() ? nullptr : &mCore; }
    void PLUGIN_API Forget(IPeer* other) override;

  private:
    ~Processor();
    bool BlocksFlowing() const;
    void TakeParameterChanges(Steinberg::Vst::IParameterChanges* changes);
    void Unlink();

    RefCount mRefs;
    // What the host connected us to, and our controller behind it when that is direct.
    // Neither is counted: the host keeps both alive until it disconnects them.
    Steinberg::Vst::IConnectionPoint* mConnection = nullptr;
    IPeer* mPeer = nullptr;
    vt4r_formats::WrapperCore mCore{"vst3"};
    Steinberg::Vst::ProcessSetup mSetup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024, 44100.0};
    // When the last block came (steady clock, ns); written by the audio thread.
    std::atomic<std::int64_t> mLastBlockNs{0};
};

class Controller final : public Steinberg::Vst::IEditController,
                         public Steinberg::Vst::IConnectionPoint,
                         public IPeer {
  public:
    Controller();

    Steinberg::tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
    VT4R_VST3_REFCOUNT

    // IPluginBase
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;

    // IEditController
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    Steinberg::int32 PLUGIN_API getParameterCount() override;
    Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                   Steinberg::Vst::ParameterInfo& info) override;
    Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID id,
                                                        Steinberg::Vst::ParamValue valueNormalized,
                                                        Steinberg::Vst::String128 string) override;
    Steinberg::tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID id,
                                                        Steinberg::Vst::TChar* string,
                                                        Steinberg::Vst::ParamValue& valueNormalized) override;
    Steinberg::Vst::ParamValue PLUGIN_API
    normalizedParamToPlain(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue valueNormalized) override;
    Steinberg::Vst::ParamValue PLUGIN_API
    plainParamToNormalized(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue plainValue) override;
    Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                     Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // IConnectionPoint [main thread]
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

    // IPeer
    vt4r_formats::WrapperCore* PLUGIN_API HostView() override { return nullptr; }
    void PLUGIN_API Forget(IPeer* other) override;

    // ---- for the editor view [main thread] ----
    double PlainValue(std::int32_t index) const { return mCore.Value(index); }
    // The needle, 0..1: the Gain Reduction parameter as the host last forwarded it.
    double Needle() const { return mGainReduction.load(std::memory_order_relaxed); }
    // The editor's gestures, with plain values: the controller follows, the host is told.
    void BeginEdit(std::int32_t index);
    void Edit(std::int32_t index, double plain);
    void EndEdit(std::int32_t index);
    // What the host gave initialize, null before or after: some hosts serve the run loop there.
    Steinberg::FUnknown* HostContext() const { return mHostContext; }

  private:
    ~Controller();
    // A host-side change the controller took: the processor holds it pending too, so a
    // save before the next block stores what the host shows.
    void TellProcessor(std::int32_t index, double previous);
    void Unlink();

    RefCount mRefs;
    // As the processor's: the host's connection, and our processor when it is direct.
    Steinberg::Vst::IConnectionPoint* mConnection = nullptr;
    IPeer* mPeer = nullptr;
    // Only the host's view of the parameters is used: this plug-in never processes.
    vt4r_formats::WrapperCore mCore{"vst3"};
    std::atomic<double> mGainReduction{0.0};
    Steinberg::Vst::IComponentHandler* mHandler = nullptr;
    Steinberg::FUnknown* mHostContext = nullptr;
};

// The editor for the platform, null where there is none. Holds a reference to `controller`.
Steinberg::IPlugView* CreateEditorView(Controller& controller);

// The component's state through a host stream: exactly the core's parameter block.
bool ReadState(Steinberg::IBStream* stream, vt4r_formats::WrapperCore& core);
bool WriteState(Steinberg::IBStream* stream, vt4r_formats::WrapperCore& core);

} // namespace vt4r_vst3
