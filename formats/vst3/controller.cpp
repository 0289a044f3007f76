// The edit controller: the parameters as hosts list, show and parse them, the values the
// host sets or the component's state carries, and the editor's gestures back to the host.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/common/host_parameters.h"
#include "formats/vst3/vst3_plugin.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

namespace vt4r_vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vt4r_formats;

namespace {

constexpr const char* kGainReductionName = "Gain Reduction";

bool IsHostParam(ParamID id) {
    return id < static_cast<ParamID>(kHostParamCount);
}

double Clamp01(double v) {
    return std::isfinite(v) ? std::fmin(std::fmax(v, 0.0), 1.0) : 0.0;
}

} // namespace

Controller::Controller() = default;

Controller::~Controller() {
    terminate();
}

tresult PLUGIN_API Controller::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr)
        return kInvalidArgument;
    if (SameId(iid, FUnknown_iid) || SameId(iid, IPluginBase_iid) || SameId(iid, IEditController_iid))
        *obj = static_cast<IEditController*>(this);
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

tresult PLUGIN_API Controller::initialize(FUnknown* context) {
    if (context != nullptr)
        context->addRef();
    if (mHostContext != nullptr)
        mHostContext->release();
    mHostContext = context;
    return kResultOk;
}

tresult PLUGIN_API Controller::terminate() {
    Unlink();
    setComponentHandler(nullptr);
    if (mHostContext != nullptr)
        mHostContext->release();
    mHostContext = nullptr;
    return kResultOk;
}

tresult PLUGIN_API Controller::connect(IConnectionPoint* other) {
    if (other == nullptr)
        return kInvalidArgument;
    if (mConnection != nullptr)
        return kResultFalse;
    mConnection = other;
    // A proxy does not answer our interface: then the values go as messages.
    void* peer = nullptr;
    if (other->queryInterface(kPeerIid, &peer) == kResultOk && peer != nullptr) {
        mPeer = static_cast<IPeer*>(peer);
        mPeer->release(); // kept uncounted: counting each other would keep both alive
    }
    return kResultOk;
}

tresult PLUGIN_API Controller::disconnect(IConnectionPoint* other) {
    if (other == nullptr || other != mConnection)
        return kResultFalse;
    Unlink();
    return kResultOk;
}

// Nothing comes from the processor this way: the meter arrives as an output parameter.
tresult PLUGIN_API Controller::notify(IMessage*) {
    return kResultFalse;
}

void Controller::Unlink() {
    IPeer* peer = mPeer;
    mPeer = nullptr;
    mConnection = nullptr;
    if (peer != nullptr)
        peer->Forget(this);
}

void PLUGIN_API Controller::Forget(IPeer* other) {
    if (other != nullptr && other == mPeer) {
        mPeer = nullptr;
        mConnection = nullptr;
    }
}

void Controller::TellProcessor(std::int32_t index, double previous) {
    const double plain = mCore.Value(index);
    if (mPeer != nullptr) {
        if (WrapperCore* processor = mPeer->HostView();
            processor != nullptr && processor->Value(index) != plain)
            processor->SetValue(index, plain);
        return;
    }
    if (mConnection == nullptr || mHostContext == nullptr || plain == previous)
        return;
    void* app = nullptr;
    if (mHostContext->queryInterface(IHostApplication_iid, &app) != kResultOk || app == nullptr)
        return;
    auto* host = static_cast<IHostApplication*>(app);
    TUID iid;
    std::memcpy(iid, IMessage_iid, sizeof iid);
    void* made = nullptr;
    // A host without messages leaves the processor to its next block's changes.
    if (host->createInstance(iid, iid, &made) == kResultOk && made != nullptr) {
        auto* message = static_cast<IMessage*>(made);
        message->setMessageID(kValuesMessage);
        const char key[2] = {static_cast<char>('0' + index), '\0'};
        if (IAttributeList* attributes = message->getAttributes();
            attributes != nullptr && attributes->setFloat(key, plain) == kResultOk)
            mConnection->notify(message);
        message->release();
    }
    host->release();
}

tresult PLUGIN_API Controller::setComponentState(IBStream* state) {
    return ReadState(state, mCore) ? kResultOk : kResultFalse;
}

// Everything worth keeping is in the component's state.
tresult PLUGIN_API Controller::setState(IBStream*) {
    return kResultOk;
}

tresult PLUGIN_API Controller::getState(IBStream*) {
    return kResultOk;
}

int32 PLUGIN_API Controller::getParameterCount() {
    return kHostParamCount + 1;
}

tresult PLUGIN_API Controller::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex > kHostParamCount)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof info);
    info.id = static_cast<ParamID>(paramIndex);
    constexpr std::size_t kSize = sizeof(String128) / sizeof(TChar);
    if (paramIndex == static_cast<int32>(kGainReductionId)) {
        ToUtf16(kGainReductionName, info.title, kSize);
        ToUtf16("GR", info.shortTitle, kSize);
        ToUtf16("dB", info.units, kSize);
        info.flags = ParameterInfo::kIsReadOnly;
        return kResultOk;
    }
    HostParameterInfo described;
    if (!DescribeParameter(mCore.Plugin(), paramIndex, described))
        return kInvalidArgument;
    ToUtf16(described.name, info.title, kSize);
    ToUtf16(described.name, info.shortTitle, kSize);
    ToUtf16(described.unit, info.units, kSize);
    info.stepCount = described.stepCount;
    info.defaultNormalizedValue = NormalizedFromPlain(mCore.Plugin(), paramIndex, described.defaultValue);
    info.flags = ParameterInfo::kCanAutomate;
    if (described.isBypass)
        info.flags |= ParameterInfo::kIsBypass;
    else if (described.stepCount > 0)
        info.flags |= ParameterInfo::kIsList;
    return kResultOk;
}

tresult PLUGIN_API Controller::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                     String128 string) {
    if (string == nullptr)
        return kInvalidArgument;
    char text[128];
    if (id == kGainReductionId) {
        std::snprintf(text, sizeof text, "%.1f dB",
                      Clamp01(valueNormalized) * WrapperCore::kNeedleFullScaleDb);
    } else if (!IsHostParam(id) ||
               !FormatParameter(
                   mCore.Plugin(), static_cast<std::int32_t>(id),
                   PlainFromNormalized(mCore.Plugin(), static_cast<std::int32_t>(id), valueNormalized), text,
                   sizeof text)) {
        return kInvalidArgument;
    }
    ToUtf16(text, string, sizeof(String128) / sizeof(TChar));
    return kResultOk;
}

tresult PLUGIN_API Controller::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    char text[256];
    if (string == nullptr || !FromUtf16(string, text, sizeof text))
        return kInvalidArgument;
    if (id == kGainReductionId) {
        char* end = nullptr;
        const double db = std::strtod(text, &end);
        while (end != nullptr && *end == ' ')
            ++end;
        if (end == text || end == nullptr || !std::isfinite(db) ||
            (*end != '\0' && std::strcmp(end, "dB") != 0 && std::strcmp(end, "db") != 0))
            return kResultFalse;
        valueNormalized = Clamp01(db / WrapperCore::kNeedleFullScaleDb);
        return kResultOk;
    }
    double plain = 0.0;
    if (!IsHostParam(id))
        return kInvalidArgument;
    if (!ParseParameter(mCore.Plugin(), static_cast<std::int32_t>(id), text, &plain))
        return kResultFalse;
    valueNormalized = NormalizedFromPlain(mCore.Plugin(), static_cast<std::int32_t>(id), plain);
    return kResultOk;
}

ParamValue PLUGIN_API Controller::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    if (id == kGainReductionId)
        return Clamp01(valueNormalized) * WrapperCore::kNeedleFullScaleDb;
    if (!IsHostParam(id))
        return 0.0;
    return PlainFromNormalized(mCore.Plugin(), static_cast<std::int32_t>(id), valueNormalized);
}

ParamValue PLUGIN_API Controller::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (id == kGainReductionId)
        return Clamp01(plainValue / WrapperCore::kNeedleFullScaleDb);
    if (!IsHostParam(id))
        return 0.0;
    return NormalizedFromPlain(mCore.Plugin(), static_cast<std::int32_t>(id), plainValue);
}

ParamValue PLUGIN_API Controller::getParamNormalized(ParamID id) {
    if (id == kGainReductionId)
        return mGainReduction.load(std::memory_order_relaxed);
    if (!IsHostParam(id))
        return 0.0;
    const auto index = static_cast<std::int32_t>(id);
    return NormalizedFromPlain(mCore.Plugin(), index, mCore.Value(index));
}

tresult PLUGIN_API Controller::setParamNormalized(ParamID id, ParamValue value) {
    if (id == kGainReductionId) {
        mGainReduction.store(Clamp01(value), std::memory_order_relaxed);
        return kResultOk;
    }
    if (!IsHostParam(id))
        return kInvalidArgument;
    const auto index = static_cast<std::int32_t>(id);
    const double previous = mCore.Value(index);
    mCore.SetValue(index, PlainFromNormalized(mCore.Plugin(), index, value));
    TellProcessor(index, previous);
    return kResultOk;
}

tresult PLUGIN_API Controller::setComponentHandler(IComponentHandler* handler) {
    if (handler == mHandler)
        return kResultOk;
    if (handler != nullptr)
        handler->addRef();
    if (mHandler != nullptr)
        mHandler->release();
    mHandler = handler;
    return kResultOk;
}

IPlugView* PLUGIN_API Controller::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, ViewType::kEditor) != 0)
        return nullptr;
    return CreateEditorView(*this);
}

void Controller::BeginEdit(std::int32_t index) {
    if (mHandler != nullptr)
        mHandler->beginEdit(static_cast<ParamID>(index));
}

void Controller::Edit(std::int32_t index, double plain) {
    const double previous = mCore.Value(index);
    mCore.SetValue(index, plain);
    TellProcessor(index, previous);
    if (mHandler != nullptr)
        mHandler->performEdit(static_cast<ParamID>(index), getParamNormalized(static_cast<ParamID>(index)));
}

void Controller::EndEdit(std::int32_t index) {
    if (mHandler != nullptr)
        mHandler->endEdit(static_cast<ParamID>(index));
}

} // namespace vt4r_vst3
