#pragma once
// What the VST3 adapter's pieces share: the class ids, interface matching, reference
// counting, and UTF-16 text. Written against the interface headers alone.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "pluginterfaces/base/funknown.h"

namespace vt4r_vst3 {

using Steinberg::TUID;

// The ids hosts store in their projects: never change them.
inline constexpr Steinberg::int8 kProcessorUid[16] = INLINE_UID(0x5A1C7E93, 0x2B4F4D18, 0x9E6A3C71, 0x0D8B42F6);
inline constexpr Steinberg::int8 kControllerUid[16] = INLINE_UID(0x7C3E91A4, 0x64D24B0E, 0xB15F8A27, 0xC9E0735D);

inline bool SameId(const void* a, const void* b) {
    return a != nullptr && b != nullptr && Steinberg::FUnknownPrivate::iidEqual(a, b);
}

// The count every object starts with is the creator's reference.
class RefCount {
  public:
    Steinberg::uint32 Add() { return mCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    // The count left; 0 when the last reference went.
    Steinberg::uint32 Drop() { return mCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }

  private:
    std::atomic<Steinberg::uint32> mCount{1};
};

// UTF-8 into UTF-16, always terminated within `size` units (cut short when it does not fit).
void ToUtf16(const char* text, Steinberg::char16* out, std::size_t size);
// UTF-16 into UTF-8, terminated within `size` bytes; false when it does not fit.
bool FromUtf16(const Steinberg::char16* text, char* out, std::size_t size);
// Bounded narrow copy, always terminated.
void CopyText(const char* text, char* out, std::size_t size);

} // namespace vt4r_vst3

// Every object here answers FUnknown through its first interface and counts references
// once for all of its interfaces.
#define VT4R_VST3_REFCOUNT                                                                \
    Steinberg::uint32 PLUGIN_API addRef() override { return mRefs.Add(); }                \
    Steinberg::uint32 PLUGIN_API release() override {                                     \
        const Steinberg::uint32 left = mRefs.Drop();                                      \
        if (left == 0)                                                                    \
            delete this;                                                                  \
        return left;                                                                      \
    }
