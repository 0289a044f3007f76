#pragma once
#include <array>
#include <atomic>
#include <cstddef>

// A fixed ring of events from one producer thread to one consumer thread: no locks and no
// allocation after construction, so the audio thread can drain it. When full, a push fails
// and the caller decides what is lost.
namespace vt4r_clap {

template <typename Event, std::size_t Capacity> class EventQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "a power of two, so the indices wrap cleanly");

  public:
    bool Push(const Event& event) {
        const std::size_t head = mHead.load(std::memory_order_relaxed);
        if (head - mTail.load(std::memory_order_acquire) == Capacity)
            return false;
        mSlots[head & (Capacity - 1)] = event;
        mHead.store(head + 1, std::memory_order_release);
        return true;
    }
    bool Pop(Event& event) {
        const std::size_t tail = mTail.load(std::memory_order_relaxed);
        if (tail == mHead.load(std::memory_order_acquire))
            return false;
        event = mSlots[tail & (Capacity - 1)];
        mTail.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Looks at the oldest event without taking it.
    bool Peek(Event& event) const {
        const std::size_t tail = mTail.load(std::memory_order_relaxed);
        if (tail == mHead.load(std::memory_order_acquire))
            return false;
        event = mSlots[tail & (Capacity - 1)];
        return true;
    }

  private:
    std::array<Event, Capacity> mSlots{};
    std::atomic<std::size_t> mHead{0};
    std::atomic<std::size_t> mTail{0};
};

} // namespace vt4r_clap
