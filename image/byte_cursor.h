// A bounded reader over a file image, checked size arithmetic and the pixel
// allocation shared by the image readers.
//
// Every read of file data goes through ByteCursor: a read that would pass the
// end of the buffer fails (and leaves the cursor where it was) instead of
// touching memory outside it.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "quorvane/image/decoded_image.h"

namespace qv {

class ByteCursor {
public:
    ByteCursor(const std::uint8_t* data, std::uint32_t size) : data_(data), size_(data != nullptr ? size : 0) {}

    std::uint32_t Size() const { return size_; }
    std::uint32_t Offset() const { return offset_; }
    std::uint32_t Remaining() const { return size_ - offset_; }
    bool Has(std::uint32_t count) const { return count <= Remaining(); }
    bool AtEnd() const { return offset_ == size_; }
    const std::uint8_t* Position() const { return data_ + offset_; }

    // The byte `ahead` bytes on, or 0 past the end.
    std::uint8_t Peek(std::uint32_t ahead = 0) const {
        return ahead < Remaining() ? data_[offset_ + ahead] : 0;
    }

    bool Skip(std::uint32_t count) {
        if (!Has(count)) return false;
        offset_ += count;
        return true;
    }

    bool SeekTo(std::uint32_t offset) {
        if (offset > size_) return false;
        offset_ = offset;
        return true;
    }

    // The next `count` bytes, consumed; null (and nothing consumed) when fewer remain.
    const std::uint8_t* Take(std::uint32_t count) {
        if (!Has(count)) return nullptr;
        const std::uint8_t* at = data_ + offset_;
        offset_ += count;
        return at;
    }

    bool ReadU8(std::uint8_t* out) {
        if (!Has(1)) return false;
        *out = data_[offset_++];
        return true;
    }

    bool ReadU16(std::uint16_t* out) {
        const std::uint8_t* p = Take(2);
        if (p == nullptr) return false;
        *out = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        return true;
    }

    bool ReadU32(std::uint32_t* out) {
        const std::uint8_t* p = Take(4);
        if (p == nullptr) return false;
        *out = LoadU32(p);
        return true;
    }

    // Does the text at the position start with `literal`? Consumes nothing.
    bool StartsWith(const char* literal) const {
        const std::size_t length = std::strlen(literal);
        return length <= Remaining() && std::memcmp(data_ + offset_, literal, length) == 0;
    }

    // Offset of the next byte equal to `value` within the next `limit` bytes
    // (or what remains), counted from the position; -1 when there is none.
    std::int64_t Find(std::uint8_t value, std::uint32_t limit) const {
        const std::uint32_t span = limit < Remaining() ? limit : Remaining();
        const void* hit = span != 0 ? std::memchr(data_ + offset_, value, span) : nullptr;
        if (hit == nullptr) return -1;
        return static_cast<const std::uint8_t*>(hit) - (data_ + offset_);
    }

    static std::uint32_t LoadU32(const std::uint8_t* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

private:
    const std::uint8_t* data_;
    std::uint32_t size_;
    std::uint32_t offset_ = 0;
};

// a × b (× c) in 32 bits; false when the product does not fit.
inline bool CheckedMultiply(std::uint32_t a, std::uint32_t b, std::uint32_t* out) {
    const std::uint64_t product = static_cast<std::uint64_t>(a) * b;
    if (product > UINT32_MAX) return false;
    *out = static_cast<std::uint32_t>(product);
    return true;
}

inline bool CheckedMultiply(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t* out) {
    std::uint32_t ab = 0;
    return CheckedMultiply(a, b, &ab) && CheckedMultiply(ab, c, out);
}

inline bool CheckedAdd(std::uint32_t a, std::uint32_t b, std::uint32_t* out) {
    if (a > UINT32_MAX - b) return false;
    *out = a + b;
    return true;
}

// Fuzzing builds cap single pixel allocations so that a forged header of a
// few bytes cannot ask for gigabytes; the readers refuse such images there.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr std::uint32_t kMaxPixelAllocation = 64u << 20;
#else
inline constexpr std::uint32_t kMaxPixelAllocation = UINT32_MAX;
#endif

// Large pictures are written once from start to end into fresh memory; on
// Linux, backing them with huge pages saves most of the page faults, which
// otherwise cost about as much as decoding. A hint only: failure is ignored.
inline void AdviseHugePages([[maybe_unused]] void* memory, [[maybe_unused]] std::uint32_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = 2u << 20;
    if (bytes < 4 * kHugePage) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

// Allocates `bytes` of pixel memory (at least one byte) into the record and
// marks it owned. E_OUTOFMEMORY when it cannot be had, E_FAIL above the cap
// of a fuzzing build.
inline HRESULT AllocatePixels(DecodedImage* image, std::uint32_t bytes) {
    if (bytes > kMaxPixelAllocation) return E_FAIL;
    auto* memory = new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes];
    if (memory == nullptr) return E_OUTOFMEMORY;
    AdviseHugePages(memory, bytes);
    image->pixels = memory;
    image->ownsPixels = true;
    return S_OK;
}

// Allocates the 256-entry palette, every byte 255, and marks it owned.
inline HRESULT AllocatePalette(DecodedImage* image) {
    auto* palette = new (std::nothrow) PALETTEENTRY[256];
    if (palette == nullptr) return E_OUTOFMEMORY;
    std::memset(palette, 255, 256 * sizeof(PALETTEENTRY));
    image->palette = palette;
    image->ownsPalette = true;
    return S_OK;
}

inline void StoreU32(std::uint8_t* p, std::uint32_t value) { std::memcpy(p, &value, 4); }
inline void StoreF32(std::uint8_t* p, float value) { std::memcpy(p, &value, 4); }

}  // namespace qv
