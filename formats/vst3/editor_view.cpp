// The editor in a host's window. Linux has no global event loop, so the X11 window's
// connection and its repaint timer run on the host's, asked for through IRunLoop. On
// Windows the view is a Win32 child window (kPlatformTypeHWND): the host's message loop
// serves it and the bridge's own timer ticks it.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "formats/common/editor_bridge.h"
#include "formats/vst3/vst3_plugin.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace vt4r_vst3 {
namespace {

using namespace Steinberg;

#if SMTG_OS_LINUX
// Faster than the 25 a second the editor's repaint timer needs.
constexpr Linux::TimerInterval kTimerMs = 30;
const FIDString kPlatformType = kPlatformTypeX11EmbedWindowID;
#else
const FIDString kPlatformType = kPlatformTypeHWND;
#endif

class EditorView final : public IPlugView,
                         public IPlugViewContentScaleSupport,
#if SMTG_OS_LINUX
                         public Linux::ITimerHandler,
                         public Linux::IEventHandler,
#endif
                         private vt4r_formats::EditorEdits {
  public:
    explicit EditorView(Controller& controller) : mController(controller), mBridge(*this) {
        mController.addRef();
    }

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr)
            return kInvalidArgument;
        if (SameId(iid, FUnknown_iid) || SameId(iid, IPlugView_iid))
            *obj = static_cast<IPlugView*>(this);
        else if (SameId(iid, IPlugViewContentScaleSupport_iid))
            *obj = static_cast<IPlugViewContentScaleSupport*>(this);
#if SMTG_OS_LINUX
        else if (SameId(iid, Linux::ITimerHandler_iid))
            *obj = static_cast<Linux::ITimerHandler*>(this);
        else if (SameId(iid, Linux::IEventHandler_iid))
            *obj = static_cast<Linux::IEventHandler*>(this);
#endif
        else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    VT4R_VST3_REFCOUNT

    tresult PLUGIN_API isPlatformTypeSupported(FIDString type) override {
        return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
    }

    tresult PLUGIN_API attached(void* parent, FIDString type) override {
        if (isPlatformTypeSupported(type) != kResultTrue || mBridge.IsOpen() || !mBridge.Open(parent))
            return kResultFalse;
        for (double& shown : mShown)
            shown = NAN;
        mShownNeedle = NAN;
        Follow();
#if SMTG_OS_LINUX
        // The frame serves the run loop; some hosts serve it through their context instead.
        for (FUnknown* source : {static_cast<FUnknown*>(mFrame), mController.HostContext()})
            if (mRunLoop == nullptr && source != nullptr &&
                source->queryInterface(Linux::IRunLoop_iid, reinterpret_cast<void**>(&mRunLoop)) != kResultOk)
                mRunLoop = nullptr;
        if (mRunLoop != nullptr) {
            mRunLoop->registerTimer(this, kTimerMs);
            const int fd = mBridge.EventFd();
            if (fd >= 0)
                mRunLoop->registerEventHandler(this, fd);
        }
#endif
        mBridge.Idle();
        return kResultOk;
    }

    tresult PLUGIN_API removed() override {
        // A gesture cut short by the window's end still ends for the host.
        for (std::int32_t i = 0; i < kNumParams; ++i)
            EndEdit(i);
#if SMTG_OS_LINUX
        if (mRunLoop != nullptr) {
            mRunLoop->unregisterTimer(this);
            mRunLoop->unregisterEventHandler(this);
            mRunLoop->release();
            mRunLoop = nullptr;
        }
#endif
        mBridge.Close();
        return kResultOk;
    }

    tresult PLUGIN_API onWheel(float) override { return kResultFalse; }
    tresult PLUGIN_API onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult PLUGIN_API onKeyUp(char16, int16, int16) override { return kResultFalse; }

    tresult PLUGIN_API getSize(ViewRect* size) override {
        if (size == nullptr)
            return kInvalidArgument;
        *size = ViewRect(0, 0, mBridge.Width(), mBridge.Height());
        return kResultOk;
    }
    tresult PLUGIN_API onSize(ViewRect* size) override {
        return size != nullptr && size->getWidth() == mBridge.Width() && size->getHeight() == mBridge.Height()
                   ? kResultOk
                   : kResultFalse;
    }
    tresult PLUGIN_API onFocus(TBool) override { return kResultOk; }
    tresult PLUGIN_API setFrame(IPlugFrame* frame) override {
        mFrame = frame; // the host's, alive while it has us
        return kResultOk;
    }
    tresult PLUGIN_API canResize() override { return kResultFalse; }
    // The host's scale: drawn at it; an open window grows and the frame is asked to follow.
    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override {
        if (!(factor > 0.0f))
            return kInvalidArgument;
        mBridge.SetScale(factor);
        if (mBridge.IsOpen() && mFrame != nullptr) {
            ViewRect size(0, 0, mBridge.Width(), mBridge.Height());
            mFrame->resizeView(this, &size);
        }
        return kResultOk;
    }
    tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr)
            return kInvalidArgument;
        *rect = ViewRect(rect->left, rect->top, rect->left + mBridge.Width(), rect->top + mBridge.Height());
        return kResultOk;
    }

#if SMTG_OS_LINUX
    void PLUGIN_API onTimer() override { Tick(); }
    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { mBridge.Idle(); }
#endif

  private:
    void Tick() override {
        Follow();
        mBridge.Idle();
    }

    ~EditorView() {
        removed();
        mController.release();
    }

    // The knobs follow the host's values, the needle the Gain Reduction the host forwards.
    void Follow() {
        for (std::int32_t i = 0; i < kNumParams; ++i) {
            const double value = mController.PlainValue(i);
            if (!(value == mShown[i])) {
                mBridge.ShowValue(i, value);
                mShown[i] = value;
            }
        }
        const double needle = mController.Needle();
        if (!(needle == mShownNeedle)) {
            mBridge.ShowNeedle(needle);
            mShownNeedle = needle;
        }
    }

    // The editor's gestures: what it shows is already the value, so it is not pushed back.
    // Hosts take performEdit inside a gesture only: the editor's press reports the value
    // it starts from before the gesture opens, which changes nothing and is dropped; any
    // other edit outside a gesture becomes one of its own.
    void BeginEdit(std::int32_t index) override {
        if (index < 0 || index >= kNumParams || mInGesture[index])
            return;
        mInGesture[index] = true;
        mController.BeginEdit(index);
    }
    void Edit(std::int32_t index, double plain) override {
        if (index < 0 || index >= kNumParams)
            return;
        if (!mInGesture[index]) {
            if (plain == mController.PlainValue(index))
                return;
            mController.BeginEdit(index);
            mController.Edit(index, plain);
            mController.EndEdit(index);
        } else {
            mController.Edit(index, plain);
        }
        mShown[index] = mController.PlainValue(index);
    }
    void EndEdit(std::int32_t index) override {
        if (index < 0 || index >= kNumParams || !mInGesture[index])
            return;
        mInGesture[index] = false;
        mController.EndEdit(index);
    }

    RefCount mRefs;
    Controller& mController;
    vt4r_formats::EditorBridge mBridge;
    IPlugFrame* mFrame = nullptr;
#if SMTG_OS_LINUX
    Linux::IRunLoop* mRunLoop = nullptr;
#endif
    double mShown[kNumParams] = {};
    double mShownNeedle = 0.0;
    bool mInGesture[kNumParams] = {};
};

} // namespace

IPlugView* CreateEditorView(Controller& controller) {
    try {
        return new EditorView(controller);
    } catch (...) {
        return nullptr;
    }
}

} // namespace vt4r_vst3
