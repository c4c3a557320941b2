// Byte tests eight at a time in a 64-bit word, and paper scans built on them. Page rows
// are mostly runs of paper, black or one colour, so whole words (or 32-byte chunks) are
// classified before anything is done byte by byte.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace mx_imaging {

constexpr uint8_t kPaper = 250;  // raw channels at or above this are paper, not ink
constexpr uint64_t kByteOnes = 0x0101010101010101ull;
constexpr int64_t kNone = -1;

inline uint64_t LoadWord(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Whether all eight bytes are 0 or 255 (each byte's bits all equal).
inline bool BlackOrWhite(uint64_t w) {
    return ((w ^ (w >> 1)) & 0x7F7F7F7F7F7F7F7Full) == 0;
}

// Flags, in each byte's top bit, the bytes of a word that are ink (below kPaper):
// b < 250 exactly when ~b >= 6, and adding 122 to the low seven bits carries into the top
// bit exactly for 6..127 without touching the next byte.
inline uint64_t InkBytes(uint64_t word) {
    const uint64_t x = ~word;
    return (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7A7A7A7A7A7A7A7Aull) | x) & 0x8080808080808080ull;
}

// Byte offset within a word of the lowest / highest flagged byte in memory order.
inline int FirstFlagged(uint64_t m) {
    return (std::endian::native == std::endian::little ? std::countr_zero(m)
                                                       : std::countl_zero(m)) /
           8;
}
inline int LastFlagged(uint64_t m) {
    return 7 - (std::endian::native == std::endian::little ? std::countl_zero(m)
                                                           : std::countr_zero(m)) /
                   8;
}

// Whether a 32-byte chunk is all paper: a minimum over a fixed width, which the
// compiler turns into a few vector instructions.
inline bool PaperChunk(const uint8_t* p) {
    uint8_t lowest = 255;
    for (int k = 0; k < 32; ++k) lowest = std::min(lowest, p[k]);
    return lowest >= kPaper;
}

// Index of the first ink byte in p[0..n), or kNone.
inline int64_t FirstInkByte(const uint8_t* p, int64_t n) {
    int64_t i = 0;
    while (i + 32 <= n && PaperChunk(p + i)) i += 32;
    for (; i + 8 <= n; i += 8) {
        if (const uint64_t m = InkBytes(LoadWord(p + i))) return i + FirstFlagged(m);
    }
    for (; i < n; ++i) {
        if (p[i] < kPaper) return i;
    }
    return kNone;
}

// Index of the last ink byte in p[0..n), or kNone.
inline int64_t LastInkByte(const uint8_t* p, int64_t n) {
    int64_t i = n;
    while (i >= 32 && PaperChunk(p + i - 32)) i -= 32;
    for (; i >= 8; i -= 8) {
        if (const uint64_t m = InkBytes(LoadWord(p + i - 8))) return i - 8 + LastFlagged(m);
    }
    while (i > 0) {
        if (p[--i] < kPaper) return i;
    }
    return kNone;
}

}  // namespace mx_imaging
