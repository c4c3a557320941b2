// A heap buffer that C-style interfaces may free() or swap for one of their own: the one
// owning type of page images and their work buffers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;
