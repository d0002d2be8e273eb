// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/largeheap.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>

namespace cardomine::platform {

void prepareLargeHeap(std::size_t bytes)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator keeps its own heap; none of this applies to it.
    (void)bytes;
#else
    constexpr std::size_t MiB = std::size_t(1) << 20;
    constexpr std::uintptr_t LargePage = 2 * MiB;
    // Blocks up to the whole reservation come from the heap itself, the heap grows 64 MiB
    // at a time, and freed memory at its top stays for the rest of the run.
    mallopt(M_MMAP_THRESHOLD, int(bytes + 64 * MiB));
    mallopt(M_TOP_PAD, int(64 * MiB));
    mallopt(M_TRIM_THRESHOLD, int(2 * bytes + 128 * MiB));
    // One block the size of the reservation grows the heap over it; marked for large
    // pages and freed, it is what later allocations are carved from.
    void *block = std::malloc(bytes);
    if (block == nullptr)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + LargePage - 1) & ~(LargePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(LargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE); // a hint only
    std::free(block);
#endif
}

} // namespace cardomine::platform
