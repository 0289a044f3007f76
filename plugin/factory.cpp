#include <mutex>

#include "framework/standalone.h"
#include "vt4r.h"

std::unique_ptr<IEffectStandalone> CreatePlugin(const IHostRecord& host) {
    // Serialises construction only; lives until process exit.
    static std::mutex factoryLock;
    std::lock_guard<std::mutex> guard(factoryLock);
    return std::make_unique<VT4R>(host);
}
