#pragma once
// The plug-in's lock, which the audio thread takes for every block and the
// editor, host and MIDI threads for their edits. It is recursive, and where
// the system offers it priority-inheriting: while an ordinary thread holds it
// and the audio thread waits, the holder runs at the audio thread's priority,
// so other ordinary threads cannot keep it (and so the audio) waiting.
#if defined(_WIN32)
#include <mutex>
#else
#include <pthread.h>
#endif

class PluginLock {
public:
    PluginLock();
    ~PluginLock();
    PluginLock(const PluginLock&) = delete;
    PluginLock& operator=(const PluginLock&) = delete;

    void lock();
    void unlock();
    bool try_lock();
    // Whether a waiting thread lends its priority to the holder.
    bool inheritsPriority() const { return mInherits; }

private:
#if defined(_WIN32)
    std::recursive_mutex mMutex;
#else
    pthread_mutex_t mMutex;
#endif
    bool mInherits = false;
};
