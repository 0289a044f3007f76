// Counts every heap allocation in this test program: the processing path
// must make none, whatever the block length or the parameter changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "plugin_test_support.h"

namespace {
std::atomic<long> gAllocations{0};
}

// The replacements below pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(VT4RRealTime, ProcessingAndParameterChangesAllocateNothing) {
    PluginRig rig(512);
    rig.Sine(0.5, 1000, 0);
    const long before = gAllocations.load();
    for (int b = 0; b < 2000; ++b) {
        if (b % 10 == 0) {
            rig.plugin->SetParameterFromGUI(kInputParam, (b % 100) / 100.0);
            rig.plugin->SetParameterFromGUI(kOutputParam, (b % 70) / 70.0);
            rig.plugin->SetParameterFromGUI(kRelaxedModeParam, (b / 10) % 2);
        }
        if (b == 1000) rig.inL[3] = std::numeric_limits<double>::quiet_NaN();
        rig.Run(b % 13 == 0 ? 0 : 512 - (b % 5) * 100);
    }
    EXPECT_EQ(gAllocations.load() - before, 0);
}
