// The stream callback must not allocate, print or take any lock but the
// plug-in's. This binary replaces the global allocation functions (and, where
// no sanitizer owns them, the mutex lock) with counting versions and drives
// the callback with many buffer and sub-block sizes.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "audio_engine.h"
#include "stream_processor.h"
#include "test_plugin.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
std::atomic<long> gLocks{0};

void* countedAlloc(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed)) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* countedAlignedAlloc(std::size_t size, std::align_val_t align) {
    if (gCounting.load(std::memory_order_relaxed)) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    const std::size_t a = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + a - 1) / a * a;
    if (void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded)) {
        return p;
    }
    throw std::bad_alloc();
}

struct Counting {
    Counting() {
        gAllocations = 0;
        gLocks = 0;
        gCounting = true;
    }
    ~Counting() { gCounting = false; }
};

} // namespace

void* operator new(std::size_t size) {
    return countedAlloc(size);
}
void* operator new[](std::size_t size) {
    return countedAlloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return countedAlignedAlloc(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return countedAlignedAlloc(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VT4R_COUNT_LOCKS 0
#else
#define VT4R_COUNT_LOCKS 1
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using LockFn = int (*)(pthread_mutex_t*);
    static LockFn real = reinterpret_cast<LockFn>(::dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (gCounting.load(std::memory_order_relaxed)) {
        gLocks.fetch_add(1, std::memory_order_relaxed);
    }
    return real(mutex);
}
// The plug-in's lock is tried first; a lock taken that way counts alike.
extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    using LockFn = int (*)(pthread_mutex_t*);
    static LockFn real = reinterpret_cast<LockFn>(::dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    if (gCounting.load(std::memory_order_relaxed)) {
        gLocks.fetch_add(1, std::memory_order_relaxed);
    }
    return real(mutex);
}
#endif

namespace {

std::vector<std::uint32_t> bufferLengths() {
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t n = 1; n <= 300; ++n) {
        lengths.push_back(n);
    }
    for (std::uint32_t n : {511u, 512u, 513u, 1000u, 1023u, 1024u, 2047u, 4096u, 8191u, 8192u}) {
        lengths.push_back(n);
    }
    return lengths;
}

} // namespace

TEST(RealTime, CallbackNeitherAllocatesNorPrintsNorLocksBeyondThePlugin) {
    const std::vector<std::uint32_t> lengths = bufferLengths();
    std::vector<double> in(2 * 8192, 0.5);
    std::vector<double> out(2 * 8192, 0.0);
    for (std::uint32_t subBlock : {0u, 1u, 7u, 32u, 64u, 100u, 1024u, 8192u, 100000u}) {
        SCOPED_TRACE(subBlock);
        StreamProcessor processor;
        processor.reset(subBlock);
        TestPlugin plugin;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::size_t calls = 0;
        {
            Counting counting;
            for (int pass = 0; pass < 2; ++pass) {
                for (std::uint32_t n : lengths) {
                    processor.process(out.data(), in.data(), n, false, &plugin, pass == 1);
                }
            }
            calls = plugin.callCount();
        }
        const long allocations = gAllocations.load();
        const long locks = gLocks.load();
        const std::string printed =
            testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
        EXPECT_EQ(allocations, 0);
        EXPECT_EQ(printed, "");
        EXPECT_GT(calls, 0u);
        if (VT4R_COUNT_LOCKS) {
            EXPECT_EQ(locks, static_cast<long>(calls)) << "one lock per sub-block: the plug-in's";
        }
    }
}

TEST(RealTime, EngineCallbackNeitherAllocatesNorPrints) {
    AppSettings settings;
    AudioEngine engine(settings);
    TestPlugin plugin;
    engine.setPlugin(&plugin);
    std::vector<double> in(2 * 4096, 0.25);
    std::vector<double> out(2 * 4096, 0.0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        Counting counting;
        for (std::uint32_t n = 1; n <= 4096; n += 37) {
            settings.monoinput.store(static_cast<std::uint16_t>(n & 1));
            AudioEngine::streamCallback(out.data(), in.data(), n, 0.0, 0, &engine);
        }
    }
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(plugin.callCount(), 0u);
}

TEST(RealTime, CountersSeeAllocationsAndLocks) {
    // The counters themselves work, so the zeros above mean something.
    {
        Counting counting;
        std::vector<int>* v = new std::vector<int>(10);
        delete v;
        std::recursive_mutex m;
        m.lock();
        m.unlock();
        if (m.try_lock()) m.unlock();
    }
    EXPECT_GE(gAllocations.load(), 2);
    if (VT4R_COUNT_LOCKS) {
        EXPECT_EQ(gLocks.load(), 2);
    }
}
