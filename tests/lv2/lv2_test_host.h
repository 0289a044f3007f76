#pragma once
// A minimal LV2 host on lilv for the tests and the benchmark: URID mapping, the
// options feature with the block lengths, and an instance of the bundle built here.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class Lv2TestHost {
  public:
    // `bundle` is the vt4r.lv2 folder; block lengths of 0 are not offered to the plug-in.
    Lv2TestHost(const std::string& bundle, double rate, std::int32_t nominalBlock, std::int32_t maxBlock)
        : mNominal(nominalBlock), mMax(maxBlock) {
        mWorld = lilv_world_new();
        LilvNode* uri = lilv_new_file_uri(mWorld, nullptr, (bundle + "/").c_str());
        lilv_world_load_bundle(mWorld, uri);
        lilv_node_free(uri);
        LilvNode* pluginUri = lilv_new_uri(mWorld, "urn:marsolind:vt4r");
        mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), pluginUri);
        lilv_node_free(pluginUri);

        mMap = {this, &Lv2TestHost::Map};
        mUnmap = {this, &Lv2TestHost::Unmap};
        const LV2_URID atomInt = Map(this, LV2_ATOM__Int);
        if (mNominal > 0)
            mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_BUF_SIZE__nominalBlockLength),
                                sizeof(std::int32_t), atomInt, &mNominal});
        if (mMax > 0)
            mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_BUF_SIZE__maxBlockLength),
                                sizeof(std::int32_t), atomInt, &mMax});
        mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
        mMapFeature = {LV2_URID__map, &mMap};
        mUnmapFeature = {LV2_URID__unmap, &mUnmap};
        mOptionsFeature = {LV2_OPTIONS__options, mOptions.data()};
        mFeatures = {&mMapFeature, &mUnmapFeature, &mOptionsFeature, nullptr};
        if (mPlugin != nullptr)
            mInstance = lilv_plugin_instantiate(mPlugin, rate, mFeatures.data());
    }
    ~Lv2TestHost() {
        if (mInstance != nullptr)
            lilv_instance_free(mInstance);
        lilv_world_free(mWorld);
    }
    Lv2TestHost(const Lv2TestHost&) = delete;
    Lv2TestHost& operator=(const Lv2TestHost&) = delete;

    LilvWorld* World() const { return mWorld; }
    const LilvPlugin* Plugin() const { return mPlugin; }
    LilvInstance* Instance() const { return mInstance; }
    LV2_URID_Map* UridMap() { return &mMap; }
    LV2_URID_Unmap* UridUnmap() { return &mUnmap; }
    const LV2_Feature* const* Features() const { return mFeatures.data(); }
    LV2_URID Urid(const char* uri) { return Map(this, uri); }

    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<Lv2TestHost*>(handle);
        auto [it, added] = self->mUrids.emplace(uri, static_cast<LV2_URID>(self->mUrids.size() + 1));
        if (added)
            self->mUris.push_back(uri);
        return it->second;
    }
    static const char* Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
        auto* self = static_cast<Lv2TestHost*>(handle);
        return urid >= 1 && urid <= self->mUris.size() ? self->mUris[urid - 1].c_str() : nullptr;
    }

  private:
    LilvWorld* mWorld = nullptr;
    const LilvPlugin* mPlugin = nullptr;
    LilvInstance* mInstance = nullptr;
    std::int32_t mNominal;
    std::int32_t mMax;
    std::map<std::string, LV2_URID> mUrids;
    std::deque<std::string> mUris; // a deque: Unmap hands out pointers into it
    LV2_URID_Map mMap{};
    LV2_URID_Unmap mUnmap{};
    std::vector<LV2_Options_Option> mOptions;
    LV2_Feature mMapFeature{};
    LV2_Feature mUnmapFeature{};
    LV2_Feature mOptionsFeature{};
    std::vector<const LV2_Feature*> mFeatures;
};
