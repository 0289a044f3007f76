#include "state_chunk.h"

#include <cstdlib>
#include <limits>
#include <utility>

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kMaxExtra = 4194304;
// Room left in the last page for the allocator's own bookkeeping.
constexpr std::size_t kAllocatorHeader = 96;

// Chunk positions are int32, so a chunk stops growing where they end.
constexpr std::size_t kMaxChunkBytes = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

} // namespace

GrowableBuffer::~GrowableBuffer() {
    std::free(mData);
}

GrowableBuffer::GrowableBuffer(GrowableBuffer&& other) noexcept
    : mData(std::exchange(other.mData, nullptr)), mGranularity(other.mGranularity),
      mAllocated(std::exchange(other.mAllocated, 0)), mSize(std::exchange(other.mSize, 0)) {}

GrowableBuffer& GrowableBuffer::operator=(GrowableBuffer&& other) noexcept {
    if (this != &other) {
        std::free(mData);
        mData = std::exchange(other.mData, nullptr);
        mGranularity = other.mGranularity;
        mAllocated = std::exchange(other.mAllocated, 0);
        mSize = std::exchange(other.mSize, 0);
    }
    return *this;
}

std::size_t GrowableBuffer::AllocationFor(std::size_t n, std::size_t granularity) {
    std::size_t extra = std::max(n / 2, granularity);
    if (granularity < kPage) {
        if (n > std::numeric_limits<std::size_t>::max() - extra)
            return 0;
        return n + extra;
    }
    extra = std::clamp(extra / kPage * kPage, kPage, kMaxExtra);
    if (n > std::numeric_limits<std::size_t>::max() - extra - kAllocatorHeader)
        return 0;
    // extra >= one page, so rounding down still leaves at least n bytes.
    return (n + extra + kAllocatorHeader) / kPage * kPage - kAllocatorHeader;
}

bool GrowableBuffer::Resize(std::size_t n) {
    if (n <= mAllocated) {
        mSize = n;
        return true;
    }
    const std::size_t allocation = AllocationFor(n, mGranularity);
    if (allocation < n)
        return false;
    void* grown = std::realloc(mData, allocation);
    if (grown == nullptr)
        return false;
    mData = static_cast<std::uint8_t*>(grown);
    mAllocated = allocation;
    mSize = n;
    return true;
}

std::int32_t IStateChunk::AppendBytes(const void* bytes, std::size_t n) {
    const std::size_t old = mBuffer.Size();
    if (n == 0)
        return Size();
    if (n > kMaxChunkBytes - old)
        return Size();
    if (!mBuffer.Resize(old + n))
        return Size();
    std::memmove(mBuffer.Data() + old, bytes, n);
    return Size();
}

std::int32_t IStateChunk::AppendText(const char* text) {
    if (text == nullptr)
        text = "";
    const std::size_t n = std::strlen(text);
    if (n > kMaxChunkBytes - 4)
        return Size();
    const std::size_t old = mBuffer.Size();
    if (n + 4 > kMaxChunkBytes - old)
        return Size();
    // Length and text go in together, so a failure leaves no half-written text.
    if (!mBuffer.Resize(old + 4 + n))
        return Size();
    std::int32_t length = static_cast<std::int32_t>(n);
    unsigned char lengthBytes[4];
    std::memcpy(lengthBytes, &length, 4);
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(lengthBytes, lengthBytes + 4);
    std::memcpy(mBuffer.Data() + old, lengthBytes, 4);
    if (n > 0)
        std::memcpy(mBuffer.Data() + old + 4, text, n);
    return Size();
}

std::int32_t IStateChunk::AppendChunk(const IStateChunk& other) {
    if (&other == this) {
        // Growing may move the bytes we copy from.
        const std::size_t n = mBuffer.Size();
        if (n == 0 || n > kMaxChunkBytes - n)
            return Size();
        if (!mBuffer.Resize(2 * n))
            return Size();
        std::memcpy(mBuffer.Data() + n, mBuffer.Data(), n);
        return Size();
    }
    return AppendBytes(other.Bytes(), static_cast<std::size_t>(other.Size()));
}

std::int32_t IStateChunk::ReadText(char* out, std::size_t outSize, std::int32_t pos) const {
    std::int32_t length = 0;
    const std::int32_t textPos = ReadValue(&length, pos);
    if (textPos < 0 || length < 0)
        return -1;
    const std::int64_t end = static_cast<std::int64_t>(textPos) + length;
    if (end > Size())
        return -1;
    if (length > 0 && out != nullptr && outSize > 0) {
        const char* text = reinterpret_cast<const char*>(mBuffer.Data() + textPos);
        std::size_t n = 0;
        const std::size_t limit = std::min(static_cast<std::size_t>(length), outSize - 1);
        while (n < limit && text[n] != '\0')
            ++n;
        std::memcpy(out, text, n);
        out[n] = '\0';
    }
    return static_cast<std::int32_t>(end);
}
