// Internal helpers of the imaging library: size limits, clamping and malloc-compatible
// buffers that follow the out-buffer rule of the public operations.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "imaging/malloc_buffer.h"

namespace mx_imaging {

// Buffers handed to callers are released with free(), so they are owned this way.
using ::MallocBuffer;

// Sizes travel as u32 through the interfaces, so no image may be larger than that.
constexpr uint64_t kMaxImageBytes = UINT32_MAX;
// Far beyond any printable page; keeps float coordinates exact and int32 sums safe.
constexpr uint32_t kMaxDimension = 1u << 24;

inline bool DimensionOk(int64_t v) {
    return v >= 0 && v <= kMaxDimension;
}

// Row stride of a bitmap (whole 32-bit words), without the u32 truncation of DibStride.
inline uint64_t RowBytes(uint64_t width, uint64_t bitsPerPixel) {
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

// rows x stride without overflow; any result above kMaxImageBytes means "too large".
inline uint64_t ImageBytes(uint64_t rows, uint64_t stride) {
    if (rows > kMaxDimension || stride > kMaxImageBytes) return kMaxImageBytes + 1;
    return rows * stride;
}

// Maps a value that is meant to be 0..255 onto a byte: below 0 (or NaN) gives 0,
// above 255 gives 255, anything else is truncated.
template <typename Real>
inline uint8_t ClampToByte(Real v) {
    if (!(v >= Real(0))) return 0;
    if (v >= Real(255)) return 255;
    return static_cast<uint8_t>(v);
}

// Float sampling positions far outside any image (or NaN) become a position that is
// simply outside, so that every overflow rule still applies without integer overflow.
inline int32_t SampleIndex(double v) {
    constexpr double kFar = 1 << 30;
    if (!(v > -kFar)) return -(1 << 30);
    if (v >= kFar) return 1 << 30;
    return static_cast<int32_t>(v);
}

inline uint8_t ClampInt(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Runs work() and turns a failed allocation (the only exception the library's code can
// meet) into the operation's failure value: nothing throws out of the library.
template <typename Work, typename Result>
Result OrFailure(Work&& work, Result failure) noexcept {
    try {
        return work();
    } catch (const std::exception&) {
        return failure;
    }
}

inline MallocBuffer AllocateBuffer(uint64_t bytes, bool zeroed) {
    if (bytes > kMaxImageBytes) return MallocBuffer();
    const size_t n = bytes ? static_cast<size_t>(bytes) : 1;  // calloc(0) may return null
    if (!zeroed) return MallocBuffer(static_cast<uint8_t*>(AllocateMapped(n)));
    void* p = std::calloc(n, 1);
    PrefaultPages(p, n);
    return MallocBuffer(static_cast<uint8_t*>(p));
}

// The out-buffer rule shared by the conversions: when *ppOut is null a buffer of the
// needed size is allocated (and handed over by Commit); a caller's buffer must be at
// least as large as needed, as its stored size says.
class OutBuffer {
  public:
    enum class Fill { None, White, Zero };

    OutBuffer(uint8_t** ppOut, uint32_t* pSize, uint64_t needed, Fill fill)
        : ppOut_(ppOut), pSize_(pSize), needed_(needed) {
        if (!ppOut || !pSize || needed > kMaxImageBytes) return;
        if (*ppOut) {
            if (*pSize >= needed) data_ = *ppOut;
            return;
        }
        owned_ = AllocateBuffer(needed, fill == Fill::Zero);
        data_ = owned_.get();
        if (data_ && fill == Fill::White) std::memset(data_, 255, static_cast<size_t>(needed));
    }

    bool ok() const { return data_ != nullptr; }
    uint8_t* data() const { return data_; }
    // True when the caller passed its own buffer (so nothing will be allocated).
    bool callerBuffer() const { return ppOut_ && *ppOut_; }

    // Hands a freshly allocated buffer to the caller together with its size.
    void Commit() {
        if (!owned_) return;
        *ppOut_ = owned_.release();
        *pSize_ = static_cast<uint32_t>(needed_);
    }

  private:
    uint8_t** ppOut_;
    uint32_t* pSize_;
    uint64_t needed_;
    MallocBuffer owned_;
    uint8_t* data_ = nullptr;
};

}  // namespace mx_imaging
