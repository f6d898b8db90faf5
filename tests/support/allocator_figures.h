// The bytes this process has allocated, as the C library's allocator counts them, for tests that
// check a memory figure against what a run really holds.
#pragma once

#include <malloc.h>

#include <cstdint>
#include <memory>

namespace orv::test {

inline std::uint64_t allocatedBytes() {
    const struct mallinfo2 m = mallinfo2();
    return std::uint64_t(m.uordblks) + std::uint64_t(m.hblkhd);
}

// Whether the allocator's figures follow this process's allocations (not under a sanitizer's
// allocator, which keeps freed memory aside and reports none).
inline bool allocatorCounts() {
    const std::uint64_t before = allocatedBytes();
    auto block = std::make_unique<std::uint8_t[]>(std::size_t(4) << 20);
    block[0] = 1;
    const bool counts = allocatedBytes() >= before + (std::uint64_t(4) << 20);
    return counts && block[0] == 1;
}

} // namespace orv::test
