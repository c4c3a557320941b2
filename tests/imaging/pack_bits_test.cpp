// Packing dot rows: every start bit, both bit senses and both reading directions against the
// plain rule, one bit per dot, on rows long and short enough for every packing path (32, 16, 8
// and single dots).
#include "imaging/pack_bits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> PlainPack(const std::vector<uint8_t>& dots, uint32_t rowBytes,
                               uint32_t firstBit, bool printedIsOne, bool reversed) {
    std::vector<uint8_t> row(rowBytes, printedIsOne ? 0x00 : 0xFF);
    for (uint32_t i = 0; i < dots.size() && firstBit + i < rowBytes * 8; ++i) {
        const uint8_t dot = reversed ? dots[dots.size() - 1 - i] : dots[i];
        if (dot == 0xFF) continue;
        const uint32_t bit = firstBit + i;
        row[bit / 8] = static_cast<uint8_t>(row[bit / 8] ^ (0x80 >> (bit % 8)));
    }
    return row;
}

TEST(PackDotRowTest, MatchesOneBitPerDot) {
    std::mt19937 random(7);
    for (uint32_t count : {0u, 5u, 16u, 37u, 200u, 250u}) {
        std::vector<uint8_t> dots(count);
        // Long blank and printed stretches, and stretches where each dot is blank or printed
        // at random, printed ones of any value.
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t kind = (i / 24) % 3;
            const uint8_t any = random() % 2 ? 0xFF : static_cast<uint8_t>(random() % 255);
            dots[i] = kind == 0 ? 0xFF : kind == 1 ? 0 : any;
        }
        for (uint32_t rowBytes : {count / 8 + 2, count / 16 + 1}) {
            for (uint32_t firstBit = 0; firstBit < 10; ++firstBit) {
                for (int mode = 0; mode < 4; ++mode) {
                    const bool one = mode & 1, reversed = mode & 2;
                    std::vector<uint8_t> row(rowBytes, one ? 0x00 : 0xFF);
                    PackDotRow(dots.data(), count, row.data(), rowBytes, firstBit, one, reversed);
                    ASSERT_EQ(row, PlainPack(dots, rowBytes, firstBit, one, reversed))
                        << count << " dots, " << rowBytes << " bytes, bit " << firstBit << ", mode "
                        << mode;
                }
            }
        }
    }
}

}  // namespace
