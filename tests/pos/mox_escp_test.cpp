// MoxESCP: dithering into dots, GS v 0 bands, ESC J feeds and the bracket notation.
#include "pos/mox_escp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pos/receipt_test_support.h"

namespace {

std::string Data(const MoxESCP& escp) {
    const std::vector<uint8_t>& data = escp.PrinterData();
    return std::string(data.begin(), data.end());
}

// A white grey image with one pixel set, dithered; returns whether that pixel printed.
bool Prints(Halfton pattern, uint32_t x, uint32_t y, uint8_t grey) {
    const uint32_t width = 40, height = 40;  // spans two tiles of every matrix
    std::vector<uint8_t> pixels(size_t{width} * height, 255);
    pixels[size_t{y} * width + x] = grey;
    std::vector<uint8_t> bits(MoxESCP::BitRowBytes(width) * height, 0);
    EXPECT_EQ(MoxESCP::Gray2DotMatrix(pixels, width, width, height, bits, pattern), 1);
    int dots = 0;
    for (uint8_t b : bits) dots += __builtin_popcount(b);
    const bool printed = (bits[y * MoxESCP::BitRowBytes(width) + x / 8] >> (7 - x % 8)) & 1;
    EXPECT_EQ(dots, printed ? 1 : 0) << "only the chosen pixel may print";
    return printed;
}

struct Entry {
    uint32_t x, y;
    uint8_t threshold;
};

// A grey value equal to the matrix entry stays white; one below prints.
void ExpectThresholds(Halfton pattern, uint32_t n, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        for (uint32_t tile : {0u, 1u}) {
            const uint32_t x = e.x + tile * n, y = e.y + tile * n;
            SCOPED_TRACE("pattern " + std::to_string(static_cast<int>(pattern)) + " at " +
                         std::to_string(x) + "," + std::to_string(y));
            EXPECT_FALSE(Prints(pattern, x, y, e.threshold));
            EXPECT_TRUE(Prints(pattern, x, y, static_cast<uint8_t>(e.threshold - 1)));
        }
    }
}

TEST(Gray2DotMatrixTest, GreyEqualToTheThresholdStaysWhite) {
    ExpectThresholds(Halfton::Fixed, 1, {{0, 0, 195}, {7, 3, 195}});
    // Row 0 column 0, row 2 column 1, row 9 column 5, row 15 column 15 of the supercell.
    ExpectThresholds(Halfton::Supercell, 16,
                     {{0, 0, 47}, {1, 2, 254}, {5, 9, 1}, {15, 15, 15}, {3, 0, 195}});
    ExpectThresholds(Halfton::Matrix6x6, 6, {{0, 0, 47}, {5, 1, 1}, {5, 4, 229}, {2, 4, 7}});
    ExpectThresholds(Halfton::Matrix8x8, 8, {{0, 0, 248}, {4, 1, 2}, {7, 7, 38}, {0, 5, 6}});
}

TEST(Gray2DotMatrixTest, BlackPrintsAndWhiteStaysPaperWithEveryPattern) {
    for (Halfton pattern :
         {Halfton::Fixed, Halfton::Supercell, Halfton::Matrix6x6, Halfton::Matrix8x8}) {
        for (uint8_t grey : {0, 255}) {
            std::vector<uint8_t> pixels(48 * 48, grey);
            std::vector<uint8_t> bits(6 * 48, 0x5A);
            ASSERT_EQ(MoxESCP::Gray2DotMatrix(pixels, 48, 48, 48, bits, pattern), 1);
            EXPECT_EQ(bits, std::vector<uint8_t>(6 * 48, grey == 0 ? 0xFF : 0x00));
        }
    }
}

TEST(Gray2DotMatrixTest, DarkerGreyPrintsMoreDots) {
    int previous = -1;
    for (int grey = 255; grey >= 0; grey -= 15) {
        std::vector<uint8_t> pixels(32 * 32, static_cast<uint8_t>(grey));
        std::vector<uint8_t> bits(4 * 32, 0);
        MoxESCP::Gray2DotMatrix(pixels, 32, 32, 32, bits, Halfton::Supercell);
        int dots = 0;
        for (uint8_t b : bits) dots += __builtin_popcount(b);
        EXPECT_GT(dots, previous) << "grey " << grey;
        previous = dots;
    }
}

TEST(Gray2DotMatrixTest, RowsStartOnANewByteMostSignificantBitFirst) {
    // Width 10 in rows 12 bytes apart: two bytes of dots per row.
    std::vector<uint8_t> pixels(12 * 2, 255);
    pixels[0] = 0;        // row 0, column 0
    pixels[9] = 0;        // row 0, column 9
    pixels[12 + 8] = 0;   // row 1, column 8
    pixels[12 + 10] = 0;  // row 1, column 10: padding, not part of the page
    std::vector<uint8_t> bits(4, 0);
    ASSERT_EQ(MoxESCP::Gray2DotMatrix(pixels, 12, 10, 2, bits, Halfton::Fixed), 1);
    EXPECT_EQ(bits, (std::vector<uint8_t>{0x80, 0x40, 0x00, 0x80}));
}

TEST(Gray2DotMatrixTest, RefusesMissingOrTooSmallBuffers) {
    std::vector<uint8_t> pixels(16 * 4, 0);
    std::vector<uint8_t> bits(2 * 4, 0);
    EXPECT_EQ(MoxESCP::Gray2DotMatrix({}, 16, 16, 4, bits, Halfton::Fixed), -1);
    EXPECT_EQ(MoxESCP::Gray2DotMatrix(pixels, 16, 16, 4, {}, Halfton::Fixed), -1);
    EXPECT_EQ(MoxESCP::Gray2DotMatrix(pixels, 16, 16, 5, bits, Halfton::Fixed), -1)
        << "one row too many";
    EXPECT_EQ(MoxESCP::Gray2DotMatrix(pixels, 16, 17, 4, bits, Halfton::Fixed), -1)
        << "wider than the stride";
    std::vector<uint8_t> shortBits(2 * 4 - 1, 0);
    EXPECT_EQ(MoxESCP::Gray2DotMatrix(pixels, 16, 16, 4, shortBits, Halfton::Fixed), -1);
}

TEST(BandTest, FiftyRowsGiveBandsOf24And24And2) {
    const std::vector<uint8_t> bits(2 * 50, 0xFF);  // 16 dots wide, every row black
    const std::string expected = Band(2, 24, Rows(2, 24, 0xFF)) + Band(2, 24, Rows(2, 24, 0xFF)) +
                                 Band(2, 2, Rows(2, 2, 0xFF));
    for (bool skipBlank : {false, true}) {
        MoxESCP escp;
        escp.SetLinesPerRow(24);
        const int result = skipBlank ? escp.DotMatrix2Page(bits, 16, 16, 50)
                                     : escp.DotMatrixPrint(bits, 16, 0, 50);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(Hex(Data(escp)), Hex(expected)) << "skipBlank=" << skipBlank;
        EXPECT_EQ(escp.LinesPerRow(), 2) << "the last band lowers the band height of this object";
    }
}

TEST(BandTest, BlankRowsBetweenBandsBecomeFeeds) {
    struct Case {
        uint32_t blank;
        int dpiY;
        std::string feed;
    };
    for (const Case& c :
         {Case{30, 203, Bytes({0x1B, 0x4A, 0x1E})},
          Case{300, 203, Bytes({0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x2D})},
          Case{300, 406, Bytes({0x1B, 0x4A, 0x96})}, Case{254, 203, Bytes({0x1B, 0x4A, 0xFE})},
          Case{255, 203, Bytes({0x1B, 0x4A, 0xFF})}}) {
        const uint32_t height = 24 + c.blank + 24;
        std::vector<uint8_t> bits(height, 0);
        std::fill(bits.begin(), bits.begin() + 24, 0xF0);
        std::fill(bits.end() - 24, bits.end(), 0x0F);
        MoxESCP escp;
        escp.SetDpiY(c.dpiY);
        escp.SetLinesPerRow(24);
        EXPECT_EQ(escp.DotMatrix2Page(bits, 8, 8, height), 1);
        EXPECT_EQ(Hex(Data(escp)),
                  Hex(Band(1, 24, Rows(1, 24, 0xF0)) + c.feed + Band(1, 24, Rows(1, 24, 0x0F))))
            << c.blank << " rows at " << c.dpiY << " dpi";
    }
}

TEST(BandTest, LeadingBlankRowsAreFedAndTrailingOnesDropped) {
    std::vector<uint8_t> bits(10 + 3 + 7, 0);
    std::fill(bits.begin() + 10, bits.begin() + 13, 0x01);
    MoxESCP escp;
    escp.SetLinesPerRow(24);
    escp.DotMatrix2Page(bits, 8, 8, 20);
    // Ten rows fed, then the ten rows left (three with dots, seven blank) as the last band.
    EXPECT_EQ(Hex(Data(escp)),
              Hex(Bytes({0x1B, 0x4A, 0x0A}) + Band(1, 10, Rows(1, 3, 0x01) + Rows(1, 7, 0))));
}

TEST(BandTest, AllWhitePageGivesNoBytesWhenSkippingAndBlankBandsOtherwise) {
    const std::vector<uint8_t> bits(9 * 30, 0);
    MoxESCP skipping;
    skipping.SetLinesPerRow(24);
    EXPECT_EQ(skipping.DotMatrix2Page(bits, 72, 72, 30), 1);
    EXPECT_TRUE(skipping.PrinterData().empty());
    MoxESCP printing;
    printing.SetLinesPerRow(24);
    EXPECT_EQ(printing.DotMatrixPrint(bits, 72, 0, 30), 1);
    EXPECT_EQ(Hex(Data(printing)), Hex(Band(9, 24, Rows(9, 24, 0)) + Band(9, 6, Rows(9, 6, 0))));
}

TEST(BandTest, OnlyThePagesColumnsDecideABlankRow) {
    // Width 8 in rows of two bytes: a stray bit in the second byte does not make a row printable.
    const std::vector<uint8_t> bits = {0x00, 0x01, 0x00, 0x01, 0x80, 0x00};
    MoxESCP escp;
    escp.SetLinesPerRow(24);
    escp.DotMatrix2Page(bits, 16, 8, 3);
    EXPECT_EQ(Hex(Data(escp)), Hex(Bytes({0x1B, 0x4A, 0x02}) + Band(2, 1, Bytes({0x80, 0x00}))));
}

TEST(BandTest, MissingOrShortDotBuffersAreRefused) {
    MoxESCP escp;
    const std::vector<uint8_t> bits(10, 0xFF);
    EXPECT_EQ(escp.DotMatrix2Page({}, 8, 8, 10), -1);
    EXPECT_EQ(escp.DotMatrixPrint({}, 8, 0, 10), -1);
    EXPECT_EQ(escp.DotMatrix2Page(bits, 8, 8, 11), -1);
    EXPECT_EQ(escp.DotMatrixPrint(bits, 16, 0, 10), -1);
    escp.SetLinesPerRow(0);
    EXPECT_EQ(escp.DotMatrixPrint(bits, 8, 0, 10), -1) << "a band height of 0 would never end";
    EXPECT_TRUE(escp.PrinterData().empty());
}

TEST(BandTest, AddGraphicRefusesShortBandsAndOverlongRows) {
    MoxESCP escp;
    escp.SetLinesPerRow(2);
    const std::vector<uint8_t> band(5, 0xAA);
    EXPECT_FALSE(escp.AddGraphic(band, 3));
    EXPECT_TRUE(escp.PrinterData().empty());
    std::vector<uint8_t> wide(2 * 0x10000, 0);
    EXPECT_FALSE(escp.AddGraphic(wide, 0x10000)) << "GS v 0 carries at most 65535 bytes per row";
    EXPECT_TRUE(escp.AddGraphic(band, 2));
    EXPECT_EQ(Hex(Data(escp)), Hex(Band(2, 2, Rows(2, 2, 0xAA))));
}

TEST(SequenceToByteTest, BracketsHoldHexPairsAndOtherTextIsCopied) {
    std::vector<uint8_t> bytes = {9, 9};
    MoxESCP::SequenceToByte("<1B><4A><78>", bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x1B, 0x4A, 0x78}));
    std::vector<uint8_t> lower;
    MoxESCP::SequenceToByte("<1d><0c>", lower);
    std::vector<uint8_t> upper;
    MoxESCP::SequenceToByte("<1D><0C>", upper);
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower, (std::vector<uint8_t>{0x1D, 0x0C}));
    MoxESCP::SequenceToByte("AB<0d0A>C>", bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'A', 'B', 0x0D, 0x0A, 'C', '>'}));
    MoxESCP::SequenceToByte("plain text", bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "plain text");
    MoxESCP::SequenceToByte("", bytes);
    EXPECT_TRUE(bytes.empty());
}

TEST(SequenceToByteTest, LoneDigitsAndOpenBracketsStayInsideTheText) {
    std::vector<uint8_t> bytes;
    MoxESCP::SequenceToByte("<1B4>x", bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x1B, 'x'}));
    MoxESCP::SequenceToByte("<1B", bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x1B}));
    MoxESCP::SequenceToByte("<1B<", bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x1B}));
}

TEST(SequenceToByteTest, HexToNumAndChar2NumOnStrayCharacters) {
    EXPECT_EQ(MoxESCP::HexToNum("4a"), 0x4A);
    EXPECT_EQ(MoxESCP::HexToNum("G1"), 0xF1) << "a stray high digit counts as F";
    EXPECT_EQ(MoxESCP::HexToNum("1G"), 0x0F) << "a stray low digit takes one off";
    EXPECT_EQ(MoxESCP::HexToNum("0Z"), 0xFF);
    EXPECT_EQ(MoxESCP::Char2Num('0'), 0);
    EXPECT_EQ(MoxESCP::Char2Num('9'), 9);
    EXPECT_EQ(MoxESCP::Char2Num('a'), 10);
    EXPECT_EQ(MoxESCP::Char2Num('F'), 15);
    EXPECT_EQ(MoxESCP::Char2Num('g'), -1);
    EXPECT_EQ(MoxESCP::Char2Num('<'), -1);
}

}  // namespace
