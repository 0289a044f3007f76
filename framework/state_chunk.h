#pragma once
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Growable byte buffer with the framework's growth law (see AllocationFor).
class GrowableBuffer {
  public:
    explicit GrowableBuffer(std::size_t granularity) : mGranularity(granularity) {}
    ~GrowableBuffer();
    GrowableBuffer(const GrowableBuffer&) = delete;
    GrowableBuffer& operator=(const GrowableBuffer&) = delete;
    GrowableBuffer(GrowableBuffer&& other) noexcept;
    GrowableBuffer& operator=(GrowableBuffer&& other) noexcept;

    // Makes room for n bytes in total; false (old size kept) when memory can't be had.
    // Never gives memory back, so shrinking always succeeds.
    bool Resize(std::size_t n);
    std::size_t Size() const { return mSize; }
    std::size_t Allocated() const { return mAllocated; }
    std::uint8_t* Data() { return mData; }
    const std::uint8_t* Data() const { return mData; }

    // Allocation size for growing to n bytes with the given granularity, or 0
    // when n is too large to grow to at all.
    static std::size_t AllocationFor(std::size_t n, std::size_t granularity);

  private:
    std::uint8_t* mData = nullptr;
    std::size_t mGranularity;
    std::size_t mAllocated = 0;
    std::size_t mSize = 0;
};

// Byte chunk that carries state. Stored state is little-endian: arithmetic
// values are byte-swapped on big-endian machines. Positions are int32 and a
// chunk never grows past what an int32 position can address.
class IStateChunk {
  public:
    static constexpr std::size_t kGranularity = 4096;

    IStateChunk() : mBuffer(kGranularity) {}

    // Each append writes all of its bytes or, when memory can't be had, none;
    // the result is the new size (unchanged after a failure).
    template <typename T> std::int32_t AppendValue(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if constexpr (std::is_same_v<T, bool>) {
            const std::uint8_t byte = value ? 1 : 0;
            return AppendBytes(&byte, 1);
        } else {
            unsigned char bytes[sizeof(T)];
            std::memcpy(bytes, &value, sizeof(T));
            if constexpr (std::is_arithmetic_v<T> && std::endian::native == std::endian::big)
                std::reverse(bytes, bytes + sizeof(T));
            return AppendBytes(bytes, sizeof(T));
        }
    }
    // 32-bit length, then the bytes without terminator. A null text is empty.
    std::int32_t AppendText(const char* text);
    std::int32_t AppendChunk(const IStateChunk& other);
    std::int32_t AppendBytes(const void* bytes, std::size_t n);

    // Next position, or -1 (value untouched) when it would read past the end.
    // A bool reads as (byte != 0) so a garbage byte never makes an invalid bool.
    template <typename T> std::int32_t ReadValue(T* out, std::int32_t pos) const {
        static_assert(std::is_trivially_copyable_v<T>);
        if (pos < 0 || static_cast<std::size_t>(pos) + sizeof(T) > static_cast<std::size_t>(Size()))
            return -1;
        if constexpr (std::is_same_v<T, bool>) {
            *out = mBuffer.Data()[pos] != 0;
        } else {
            unsigned char bytes[sizeof(T)];
            std::memcpy(bytes, mBuffer.Data() + pos, sizeof(T));
            if constexpr (std::is_arithmetic_v<T> && std::endian::native == std::endian::big)
                std::reverse(bytes, bytes + sizeof(T));
            std::memcpy(out, bytes, sizeof(T));
        }
        return pos + static_cast<std::int32_t>(sizeof(T));
    }

    // Reads a text written by AppendText. Returns the position after it, or -1
    // when the length field is missing, negative or the text runs past the end.
    // `out` (outSize bytes) is set only for a non-empty text that is wholly
    // present: the bytes up to the first NUL among them, cut to outSize - 1 and
    // NUL-terminated. Otherwise `out` keeps what it held.
    std::int32_t ReadText(char* out, std::size_t outSize, std::int32_t pos) const;

    void Clear() { mBuffer.Resize(0); }
    std::int32_t Size() const { return static_cast<std::int32_t>(mBuffer.Size()); }
    const std::uint8_t* Bytes() const { return mBuffer.Data(); }

  private:
    GrowableBuffer mBuffer;
};
