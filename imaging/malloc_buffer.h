// A heap buffer that C-style interfaces may free() or swap for one of their own: the one
// owning type of page images and their work buffers.
#pragma once

#include <malloc.h>
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

// A fresh buffer of at least `size` bytes that free() releases, its pages mapped at once. The
// whole 2 MiB stretches of one of about a page image or more are laid on huge pages where the
// kernel offers them: each small page costs a fault and its accounting, which on a job's first
// label outweighs the work done on the page. A tail of three quarters of a huge page or more is
// rounded up to a whole one; a shorter tail stays on small pages, which costs less than
// clearing the rest of a huge page.
inline void* AllocateMapped(size_t size) {
    constexpr size_t kHuge = size_t{2} << 20;
    if (size > SIZE_MAX - kHuge) return nullptr;
    const size_t tail = size % kHuge;
    const size_t laid = tail >= kHuge / 4 * 3 ? size - tail + kHuge : size;
    if (laid < kHuge) {
        void* bits = std::malloc(size ? size : 1);  // malloc(0) may return null
        PrefaultPages(bits, size);
        return bits;
    }
    void* bits = nullptr;
    if (::posix_memalign(&bits, kHuge, laid) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
    ::madvise(bits, laid - laid % kHuge, MADV_HUGEPAGE);  // only advice: small pages do as well
#endif
    PrefaultPages(bits, laid);
    return bits;
}

// Keeps `buffer` when it holds `size` bytes; otherwise replaces it, the old one freed first so
// that no two are held at once. False when no buffer could be had.
inline bool Reserve(MallocBuffer& buffer, uint64_t size) {
    if (buffer != nullptr && ::malloc_usable_size(buffer.get()) >= size) return true;
    buffer.reset();
    buffer.reset(static_cast<uint8_t*>(AllocateMapped(size)));
    return buffer != nullptr;
}
