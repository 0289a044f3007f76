// Loads an installed plug-in as a host would and checks that its entry point
// answers with VT4R by Marsolind:
//   vt4r-plugin-check vst3 "C:\...\VT4R.vst3\Contents\x86_64-win\VT4R.vst3"
//   vt4r-plugin-check clap "C:\...\CLAP\VT4R.clap"
// Only the few entries of each ABI it calls are declared here.
#include <windows.h>

#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef struct Vst3Factory Vst3Factory;
typedef struct {
    char vendor[64];
    char url[256];
    char email[128];
    int32_t flags;
} Vst3FactoryInfo;
typedef struct {
    void* queryInterface;
    void* addRef;
    uint32_t(__stdcall* release)(Vst3Factory*);
    int32_t(__stdcall* getFactoryInfo)(Vst3Factory*, Vst3FactoryInfo*);
    int32_t(__stdcall* countClasses)(Vst3Factory*);
} Vst3FactoryVtable;
struct Vst3Factory {
    const Vst3FactoryVtable* vtable;
};

typedef struct {
    uint32_t major, minor, revision;
} ClapVersion;
typedef struct {
    ClapVersion version;
    const char *id, *name, *vendor, *url, *manual_url, *support_url, *plugin_version, *description;
    const char* const* features;
} ClapDescriptor;
typedef struct ClapFactory ClapFactory;
struct ClapFactory {
    uint32_t (*count)(const ClapFactory*);
    const ClapDescriptor* (*descriptor)(const ClapFactory*, uint32_t);
};
typedef struct {
    ClapVersion version;
    bool (*init)(const char*);
    void (*deinit)(void);
    const void* (*get_factory)(const char*);
} ClapEntry;

static int fail(const char* what) {
    fprintf(stderr, "vt4r-plugin-check: %s\n", what);
    return 1;
}

static int checkVst3(HMODULE module) {
    // Windows hosts call InitDll first where a module exports it.
    typedef bool (*InitDll)(void);
    InitDll init = (InitDll)(void (*)(void))GetProcAddress(module, "InitDll");
    if (init != NULL && !init()) return fail("InitDll failed");
    typedef Vst3Factory* (*GetFactory)(void);
    GetFactory get = (GetFactory)(void (*)(void))GetProcAddress(module, "GetPluginFactory");
    if (get == NULL) return fail("no GetPluginFactory");
    Vst3Factory* factory = get();
    if (factory == NULL) return fail("GetPluginFactory answered null");
    Vst3FactoryInfo info;
    memset(&info, 0, sizeof info);
    if (factory->vtable->getFactoryInfo(factory, &info) != 0) return fail("getFactoryInfo failed");
    const int32_t classes = factory->vtable->countClasses(factory);
    printf("vst3: vendor %s, %d classes\n", info.vendor, (int)classes);
    factory->vtable->release(factory);
    if (strcmp(info.vendor, "Marsolind") != 0) return fail("the factory's vendor is not Marsolind");
    // The processor and its controller.
    return classes >= 2 ? 0 : fail("fewer than two classes");
}

static int checkClap(HMODULE module, const char* path) {
    const ClapEntry* entry = (const ClapEntry*)GetProcAddress(module, "clap_entry");
    if (entry == NULL) return fail("no clap_entry");
    if (!entry->init(path)) return fail("clap_entry.init failed");
    const ClapFactory* factory = (const ClapFactory*)entry->get_factory("clap.plugin-factory");
    int result = 1;
    if (factory == NULL) {
        fail("no plug-in factory");
    } else if (factory->count(factory) != 1) {
        fail("the factory does not hold one plug-in");
    } else {
        const ClapDescriptor* d = factory->descriptor(factory, 0);
        printf("clap: %s by %s, version %s\n", d->name, d->vendor, d->plugin_version);
        result = strcmp(d->name, "VT4R") == 0 && strcmp(d->vendor, "Marsolind") == 0 &&
                         strcmp(d->plugin_version, VT4R_VERSION) == 0
                     ? 0
                     : fail("the descriptor does not name VT4R " VT4R_VERSION " by Marsolind");
    }
    entry->deinit();
    return result;
}

int main(int argc, char** argv) {
    if (argc != 3) return fail("usage: vt4r-plugin-check vst3|clap PATH");
    HMODULE module = LoadLibraryA(argv[2]);
    if (module == NULL) {
        fprintf(stderr, "vt4r-plugin-check: LoadLibrary(%s) failed: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    const int result = strcmp(argv[1], "vst3") == 0 ? checkVst3(module) : checkClap(module, argv[2]);
    FreeLibrary(module);
    return result;
}
