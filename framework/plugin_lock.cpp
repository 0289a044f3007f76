#include "framework/plugin_lock.h"

#if defined(_WIN32)
PluginLock::PluginLock() = default;
PluginLock::~PluginLock() = default;
void PluginLock::lock() { mMutex.lock(); }
void PluginLock::unlock() { mMutex.unlock(); }
bool PluginLock::try_lock() { return mMutex.try_lock(); }
#else
#include <cstdlib>

PluginLock::PluginLock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    mInherits = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0;
    if (pthread_mutex_init(&mMutex, &attributes) != 0) {
        // Without priority inheritance, as an ordinary recursive lock.
        mInherits = false;
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_NONE);
        if (pthread_mutex_init(&mMutex, &attributes) != 0) std::abort();
    }
    pthread_mutexattr_destroy(&attributes);
}
PluginLock::~PluginLock() { pthread_mutex_destroy(&mMutex); }
// Locking an initialised recursive lock fails only past its count of holds
// (or when the system has no priority-inheriting locks, which init reports).
void PluginLock::lock() {
    if (pthread_mutex_lock(&mMutex) != 0) std::abort();
}
void PluginLock::unlock() { pthread_mutex_unlock(&mMutex); }
bool PluginLock::try_lock() { return pthread_mutex_trylock(&mMutex) == 0; }
#endif
