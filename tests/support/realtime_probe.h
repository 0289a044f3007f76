#pragma once
// Counts what a real-time call must not do: allocate, or take any lock but one (the
// plug-in's). Include it in exactly one source file of a test executable: it replaces the
// global allocation functions and, where no sanitizer owns it, pthread_mutex_lock.
// A Windows DLL has its own copy of both, out of the probe's sight: there it counts
// nothing, and the Linux build is the proof.
#ifndef _WIN32
#include <dlfcn.h>
#include <pthread.h>
#endif

#include <atomic>
#include <cstdlib>
#include <new>

namespace realtime_probe {
inline std::atomic<bool> counting{false};
inline std::atomic<long> allocations{0};
inline std::atomic<long> foreignLocks{0};
// The first mutex locked while counting; every later one must be the same.
inline std::atomic<void*> firstMutex{nullptr};

inline void* CountedAlloc(std::size_t n) {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

// Starts a new measurement. A fresh plug-in has a lock of its own, wherever the heap puts it.
inline void Reset() {
    allocations = 0;
    foreignLocks = 0;
    firstMutex = nullptr;
}

// Counts only on the calling thread's behalf while it runs `call`.
template <typename Call> void Count(Call&& call) {
    counting = true;
    call();
    counting = false;
}
} // namespace realtime_probe

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) { return realtime_probe::CountedAlloc(n); }
void* operator new[](std::size_t n) { return realtime_probe::CountedAlloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
#define VT4R_COUNT_LOCKS 0
#else
#define VT4R_COUNT_LOCKS 1
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using LockFn = int (*)(pthread_mutex_t*);
    static LockFn real = reinterpret_cast<LockFn>(::dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (realtime_probe::counting.load(std::memory_order_relaxed)) {
        void* expected = nullptr;
        if (!realtime_probe::firstMutex.compare_exchange_strong(expected, mutex) && expected != mutex)
            realtime_probe::foreignLocks.fetch_add(1, std::memory_order_relaxed);
    }
    return real(mutex);
}
#endif
