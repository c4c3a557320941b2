#include "imaging/pack_bits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// One bit per dot for eight dots, the first dot in the most significant bit: set for every
// byte other than 0xFF. Eight dots are tested at once in a 64-bit word.
uint8_t PrintedFlags(const uint8_t* dots) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t v;
        std::memcpy(&v, dots, 8);
        const uint64_t t = ~v;  // printed dots are the non-zero bytes
        if (t == 0) return 0;   // blank paper, the common case
        const uint64_t high =
            (((t & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | t) & 0x8080808080808080ULL;
        // Byte k's flag moves to bit 63 - k of the product; no two partial products overlap.
        return static_cast<uint8_t>(((high >> 7) * 0x8040201008040201ULL) >> 56);
    } else {
        uint8_t flags = 0;
        for (int i = 0; i < 8; ++i) flags = static_cast<uint8_t>(flags << 1 | (dots[i] != 0xFF));
        return flags;
    }
}

void Place(uint8_t* row, uint32_t byte, uint8_t bits, bool printedIsOne) {
    if (printedIsOne) {
        row[byte] |= bits;
    } else {
        row[byte] &= static_cast<uint8_t>(~bits);
    }
}

// Eight dots' flags, the first dot in the most significant bit, placed `shift` bits into the
// row's byte `byte` and the byte after it.
void PlaceFlags(uint8_t* row, uint32_t byte, uint32_t shift, uint8_t flags, bool printedIsOne) {
    if (flags == 0) return;
    Place(row, byte, static_cast<uint8_t>(flags >> shift), printedIsOne);
    if (shift != 0) Place(row, byte + 1, static_cast<uint8_t>(flags << (8 - shift)), printedIsOne);
}

#ifdef __SSE2__
struct BitReversal {
    uint8_t of[256];
    constexpr BitReversal() : of() {
        for (int v = 0; v < 256; ++v) {
            for (int bit = 0; bit < 8; ++bit) {
                if (v & (1 << bit)) of[v] = static_cast<uint8_t>(of[v] | (0x80 >> bit));
            }
        }
    }
};
constexpr BitReversal kReversed;

// Sixteen dots at a time: one compare and one mask give a bit per dot, the first dot in the
// lowest bit, which the table turns round for each byte. Returns the dots packed.
uint32_t PackSixteens(const uint8_t* dots, uint32_t packed, uint8_t* row, uint32_t firstBit,
                      bool printedIsOne) {
    const __m128i blank = _mm_set1_epi8(static_cast<char>(0xFF));
    const uint32_t shift = firstBit & 7;
    uint32_t i = 0;
    for (; i + 16 <= packed; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dots + i));
        const uint32_t printed =
            ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank))) & 0xFFFF;
        if (printed == 0) continue;  // blank paper, the common case
        const uint32_t byte = (firstBit + i) >> 3;
        PlaceFlags(row, byte, shift, kReversed.of[printed & 0xFF], printedIsOne);
        PlaceFlags(row, byte + 1, shift, kReversed.of[printed >> 8], printedIsOne);
    }
    return i;
}
#endif

}  // namespace

void PackDotRow(const uint8_t* dots, uint32_t count, uint8_t* row, uint32_t rowBytes,
                uint32_t firstBit, bool printedIsOne, bool reversed) {
    const uint64_t rowBits = uint64_t{rowBytes} * 8;
    if (firstBit >= rowBits) return;
    const uint32_t packed = static_cast<uint32_t>(std::min<uint64_t>(count, rowBits - firstBit));
    uint32_t i = 0;
    if (!reversed) {
#ifdef __SSE2__
        i = PackSixteens(dots, packed, row, firstBit, printedIsOne);
#endif
        // Whole groups of eight dots, spread over at most two bytes of the row.
        for (; i + 8 <= packed; i += 8) {
            PlaceFlags(row, (firstBit + i) >> 3, firstBit & 7, PrintedFlags(dots + i),
                       printedIsOne);
        }
    }
    for (uint32_t bit = firstBit + i; i < packed; ++i, ++bit) {
        const uint8_t dot = reversed ? dots[count - 1 - i] : dots[i];
        if (dot != 0xFF)
            Place(row, bit >> 3, static_cast<uint8_t>(0x80u >> (bit & 7)), printedIsOne);
    }
}
