// The module's entry points and its factory: one processor class, one controller class.
#include <cstring>
#include <iterator>
#include <type_traits>

#include "formats/vst3/vst3_plugin.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace vt4r_vst3 {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr const char* kVendor = "Marsolind";
constexpr const char* kName = "VT4R";
constexpr const char* kVersion = "1.1.2";
constexpr const char* kSdkVersion = "VST 3.7.2";

struct ClassEntry {
    const int8* uid;
    const char* category;
    const char* subCategories;
    const char* name;
};

const ClassEntry kClasses[] = {
    {kProcessorUid, kVstAudioEffectClass, "Fx|Dynamics", kName},
    {kControllerUid, kVstComponentControllerClass, "", kName},
};
constexpr int32 kClassCount = 2;

// One factory for the module's lifetime: its count is kept for hosts that look, but it
// is never deleted.
class Factory : public IPluginFactory3 {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr)
            return kInvalidArgument;
        if (SameId(iid, FUnknown_iid) || SameId(iid, IPluginFactory_iid) || SameId(iid, IPluginFactory2_iid) ||
            SameId(iid, IPluginFactory3_iid)) {
            *obj = static_cast<IPluginFactory3*>(this);
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return mRefs.Add(); }
    uint32 PLUGIN_API release() override { return mRefs.Drop(); }

    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr)
            return kInvalidArgument;
        *info = std::remove_pointer_t<decltype(info)>();
        CopyText(kVendor, info->vendor, sizeof info->vendor);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }

    int32 PLUGIN_API countClasses() override { return kClassCount; }

    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override { return ClassInfo(index, info); }
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override {
        return ClassInfo(index, info);
    }
    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        return ClassInfo(index, info);
    }

    tresult PLUGIN_API setHostContext(FUnknown*) override { return kResultOk; }

    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr)
            return kInvalidArgument;
        *obj = nullptr;
        FUnknown* made = nullptr;
        try {
            if (SameId(cid, kProcessorUid))
                made = static_cast<IComponent*>(new Processor);
            else if (SameId(cid, kControllerUid))
                made = static_cast<IEditController*>(new Controller);
            else
                return kInvalidArgument;
        } catch (...) {
            return kOutOfMemory;
        }
        const tresult result = made->queryInterface(iid, obj);
        made->release(); // the caller holds what queryInterface gave, or nothing
        return result;
    }

  private:
    static void Put(const char* text, char* out, std::size_t size) { CopyText(text, out, size); }
    static void Put(const char* text, char16* out, std::size_t size) { ToUtf16(text, out, size); }

    // The three versions of a class's info: the wider ones add subcategories and versions,
    // the Unicode one has names in UTF-16.
    template <typename Info> static tresult ClassInfo(int32 index, Info* info) {
        if (info == nullptr || index < 0 || index >= kClassCount)
            return kInvalidArgument;
        *info = Info();
        const ClassEntry& c = kClasses[index];
        std::memcpy(info->cid, c.uid, sizeof(TUID));
        info->cardinality = PClassInfo::kManyInstances;
        CopyText(c.category, info->category, sizeof info->category);
        Put(c.name, info->name, std::size(info->name));
        if constexpr (!std::is_same_v<Info, PClassInfo>) {
            CopyText(c.subCategories, info->subCategories, sizeof info->subCategories);
            Put(kVendor, info->vendor, std::size(info->vendor));
            Put(kVersion, info->version, std::size(info->version));
            Put(kSdkVersion, info->sdkVersion, std::size(info->sdkVersion));
        }
        return kResultOk;
    }

    RefCount mRefs;
};

Factory gFactory;

} // namespace
} // namespace vt4r_vst3

extern "C" {

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    vt4r_vst3::gFactory.addRef();
    return &vt4r_vst3::gFactory;
}

// Nothing to set up or tear down: everything lives in the instances. Windows hosts call
// the pair by its Windows names.
#ifdef _WIN32
SMTG_EXPORT_SYMBOL bool InitDll() {
    return true;
}

SMTG_EXPORT_SYMBOL bool ExitDll() {
    return true;
}
#else
SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) {
    return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    return true;
}
#endif

} // extern "C"
