#include "zpl/graphic_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

// Rows of mixed shapes: blank rows, rows repeating the row above with a few dots changed (bars,
// boxes), sparse rows, solid runs and noise, mixed at random.
std::vector<uint8_t> LabelRows(std::mt19937& random, uint32_t bytesPerRow, uint32_t rows) {
    std::vector<uint8_t> data(uint64_t{bytesPerRow} * rows, 0);
    for (uint32_t y = 0; y < rows; ++y) {
        uint8_t* row = data.data() + uint64_t{y} * bytesPerRow;
        switch (random() % 6) {
            case 0:
                break;
            case 1:
                if (y > 0) std::copy(row - bytesPerRow, row, row);
                if (bytesPerRow > 0 && random() % 2) row[random() % bytesPerRow] ^= 0x10;
                break;
            case 2:
                for (uint32_t x = 0; x < bytesPerRow; ++x)
                    if (random() % 8 == 0) row[x] = static_cast<uint8_t>(random());
                break;
            case 3:
                std::fill(row, row + bytesPerRow / 2, 0xFF);
                break;
            case 4:
                for (uint32_t x = 0; x < bytesPerRow; ++x) row[x] = static_cast<uint8_t>(random());
                break;
            default:
                for (uint32_t x = 0; x < bytesPerRow; ++x) row[x] = x % 7 < 3 ? 0x3C : 0;
        }
    }
    return data;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t size) {
    std::vector<uint8_t> out(size + 1);
    uLongf outSize = out.size();
    if (uncompress(out.data(), &outSize, stream.data(), stream.size()) != Z_OK) return {1, 2, 3};
    out.resize(outSize);
    return out;
}

}  // namespace

// Every shape of input comes back through zlib (which checks the Adler-32 too) from a stream
// within the bound: tiny graphics (fixed codes), labels (dynamic codes), noise (stored blocks),
// graphics over several chunks and blocks, rows wider than the window and data without rows.
TEST(GraphicDeflaterTest, EveryGraphicRoundTripsThroughZlib) {
    std::mt19937 random(15);
    GraphicDeflater deflater;  // kept from graphic to graphic, as in a job
    for (int i = 0; i < 400; ++i) {
        uint32_t bytesPerRow = 1 + random() % (i % 4 == 0 ? 8 : 200);
        uint32_t rows = 1 + random() % (i % 3 == 0 ? 6 : 400);
        if (i % 50 == 7) rows = 3000;            // past one chunk of input
        if (i % 100 == 11) bytesPerRow = 40000;  // the row above is out of reach
        const std::vector<uint8_t> data = LabelRows(random, bytesPerRow, rows);
        const uint32_t givenRow = i % 10 == 3 ? 0 : bytesPerRow;
        std::vector<uint8_t> stream(GraphicDeflater::Bound(data.size()));
        stream.resize(
            deflater.Compress(data.data(), data.size(), givenRow, stream.data(), stream.size()));
        ASSERT_GT(stream.size(), 0u) << "case " << i;
        ASSERT_EQ(Inflate(stream, data.size()), data) << "case " << i;
    }
    const std::vector<uint8_t> blank(1000, 0);
    std::vector<uint8_t> stream(GraphicDeflater::Bound(0));
    stream.resize(deflater.Compress(blank.data(), 0, 0, stream.data(), stream.size()));
    EXPECT_TRUE(Inflate(stream, 0).empty()) << "an empty graphic";
    EXPECT_EQ(deflater.Compress(blank.data(), blank.size(), 10, stream.data(), 8), 0u)
        << "a destination too small for the stream";
}
