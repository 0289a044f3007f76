#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Growable byte buffer with the framework's growth law (see Grow).
class GrowableBuffer {
public:
    explicit GrowableBuffer(std::size_t granularity) : mGranularity(granularity) {}
    ~GrowableBuffer();
    GrowableBuffer(const GrowableBuffer&) = delete;
    GrowableBuffer& operator=(const GrowableBuffer&) = delete;

    // Makes room for n bytes in total; false (old size kept) when memory can't be had.
    bool Resize(std::size_t n);
    std::size_t Size() const { return mSize; }
    std::size_t Allocated() const { return mAllocated; }
    std::uint8_t* Data() { return mData; }
    const std::uint8_t* Data() const { return mData; }

    // Allocation size for growing to n bytes with the given granularity.
    static std::size_t AllocationFor(std::size_t n, std::size_t granularity);

private:
    std::uint8_t* mData = nullptr;
    std::size_t mGranularity;
    std::size_t mAllocated = 0;
    std::size_t mSize = 0;
};

// Byte chunk that carries state; stored state is little-endian.
class IStateChunk {
public:
    IStateChunk() : mBuffer(4096) {}

    template <typename T>
    std::int32_t AppendValue(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        return AppendBytes(&value, sizeof(T));
    }
    std::int32_t AppendText(const char* text);
    std::int32_t AppendChunk(const IStateChunk& other);
    std::int32_t AppendBytes(const void* bytes, std::size_t n);

    // Next position, or -1 (value untouched) when it would read past the end.
    template <typename T>
    std::int32_t ReadValue(T* out, std::int32_t pos) const {
        static_assert(std::is_trivially_copyable_v<T>);
        if (pos < 0 || static_cast<std::size_t>(pos) + sizeof(T) > Size()) return -1;
        std::memcpy(out, mBuffer.Data() + pos, sizeof(T));
        return pos + static_cast<std::int32_t>(sizeof(T));
    }
    // `out` must hold `outSize` bytes; it is set only when the whole text is present.
    std::int32_t ReadText(char* out, std::size_t outSize, std::int32_t pos) const;

    void Clear() { mBuffer.Resize(0); }
    std::int32_t Size() const { return static_cast<std::int32_t>(mBuffer.Size()); }
    const std::uint8_t* Bytes() const { return mBuffer.Data(); }

private:
    GrowableBuffer mBuffer;
};
