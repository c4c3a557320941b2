// A heap buffer that C-style interfaces may free() or swap for one of their own: the one
// owning type of page images and their work buffers.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

// Maps the pages of a freshly allocated page-sized buffer in one call instead of one fault per
// page while it is first written. Smaller buffers, and kernels without MADV_POPULATE_WRITE,
// are left to fault in as before.
inline void PrefaultPages(void* bits, size_t size) {
#ifdef MADV_POPULATE_WRITE
    constexpr size_t kWorthIt = size_t{1} << 18;
    if (bits == nullptr || size < kWorthIt) return;
    const uintptr_t pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(bits) + pageSize - 1) & ~(pageSize - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(bits) + size) & ~(pageSize - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)bits;
    (void)size;
#endif
}
