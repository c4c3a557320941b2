#include "imaging/pack_bits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "imaging/cpu_features.h"

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
// Places whole bytes of flags, the row's first byte in the lowest (x86 is little-endian).
template <typename Bytes>
void MergeBytes(uint8_t* at, Bytes flags, bool printedIsOne) {
    Bytes bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    bytes = printedIsOne ? bytes | flags : bytes & static_cast<Bytes>(~flags);
    std::memcpy(at, &bytes, sizeof bytes);
}

// Sixteen dots at a time: one compare and one mask give a bit per dot. The dots' bytes are first
// turned round within each group of eight, so that the mask holds the first dot of a group in
// its most significant bit, as the row does; rows packed from a byte boundary take the two
// bytes at once. Returns the dots packed.
uint32_t PackSixteens(const uint8_t* dots, uint32_t packed, uint8_t* row, uint32_t firstBit,
                      bool printedIsOne) {
    const __m128i blank = _mm_set1_epi8(static_cast<char>(0xFF));
    const uint32_t shift = firstBit & 7;
    uint32_t i = 0;
    for (; i + 16 <= packed; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dots + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)) == 0xFFFF) continue;  // blank paper
        const __m128i words = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
        const __m128i turned = _mm_or_si128(_mm_slli_epi16(words, 8), _mm_srli_epi16(words, 8));
        const uint16_t printed =
            static_cast<uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(turned, blank)));
        uint8_t* at = row + ((firstBit + i) >> 3);
        if (shift == 0) {
            MergeBytes(at, printed, printedIsOne);
            continue;
        }
        PlaceFlags(at, 0, shift, static_cast<uint8_t>(printed), printedIsOne);
        PlaceFlags(at, 1, shift, static_cast<uint8_t>(printed >> 8), printedIsOne);
    }
    return i;
}

#ifdef MX_X86_DISPATCH
// Thirty-two dots at a time where the CPU has AVX2, for rows packed from a byte boundary: the
// same turn within groups of eight as above, in one byte shuffle.
__attribute__((target("avx2"))) uint32_t PackThirtyTwos(const uint8_t* dots, uint32_t packed,
                                                        uint8_t* row, bool printedIsOne) {
    const __m256i blank = _mm256_set1_epi8(static_cast<char>(0xFF));
    const __m256i turn = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                                          6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    uint32_t i = 0;
    for (; i + 32 <= packed; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dots + i));
        const uint32_t printed = ~static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(v, turn), blank)));
        if (printed == 0) continue;  // blank paper
        MergeBytes(row + i / 8, printed, printedIsOne);
    }
    return i;
}
#endif
#endif

}  // namespace

void PackDotRow(const uint8_t* dots, uint32_t count, uint8_t* row, uint32_t rowBytes,
                uint32_t firstBit, bool printedIsOne, bool reversed) {
    const uint64_t rowBits = uint64_t{rowBytes} * 8;
    if (firstBit >= rowBits) return;
    const uint32_t packed = static_cast<uint32_t>(std::min<uint64_t>(count, rowBits - firstBit));
    uint32_t i = 0;
    if (!reversed) {
#if defined(__SSE2__) && defined(MX_X86_DISPATCH)
        if (CpuHasAvx2() && firstBit % 8 == 0) {
            i = PackThirtyTwos(dots, packed, row + firstBit / 8, printedIsOne);
        }
#endif
#ifdef __SSE2__
        i += PackSixteens(dots + i, packed - i, row, firstBit + i, printedIsOne);
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
