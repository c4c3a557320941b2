#include "imaging/pack_bits.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

}  // namespace

void PackDotRow(const uint8_t* dots, uint32_t count, uint8_t* row, uint32_t rowBytes,
                uint32_t firstBit, bool printedIsOne, bool reversed) {
    const uint64_t rowBits = uint64_t{rowBytes} * 8;
    if (firstBit >= rowBits) return;
    const uint32_t packed = static_cast<uint32_t>(std::min<uint64_t>(count, rowBits - firstBit));
    uint32_t i = 0;
    if (!reversed) {
        // Whole groups of eight dots, spread over at most two bytes of the row.
        const uint32_t shift = firstBit & 7;
        for (; i + 8 <= packed; i += 8) {
            const uint8_t flags = PrintedFlags(dots + i);
            if (flags == 0) continue;
            const uint32_t byte = (firstBit + i) >> 3;
            Place(row, byte, static_cast<uint8_t>(flags >> shift), printedIsOne);
            if (shift != 0)
                Place(row, byte + 1, static_cast<uint8_t>(flags << (8 - shift)), printedIsOne);
        }
    }
    for (uint32_t bit = firstBit + i; i < packed; ++i, ++bit) {
        const uint8_t dot = reversed ? dots[count - 1 - i] : dots[i];
        if (dot != 0xFF)
            Place(row, bit >> 3, static_cast<uint8_t>(0x80u >> (bit & 7)), printedIsOne);
    }
}
