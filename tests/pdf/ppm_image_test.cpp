// Reading pdftoppm's page image back and placing it into the page image.
#include "pdf/ppm_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pdf/pdf_page.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Buffer(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(PpmBitmapDataTest, ReadsPdftoppmsHeaderAndTurnsPixelsToBgr) {
    Bytes file = Buffer(std::string("P6\n2 1\n255\n") + "\x01\x02\x03\x04\x05\x06");
    uint32_t width = 0, height = 0;
    const uint8_t* pixels = PpmBitmapData(file.data(), file.size(), width, height);
    ASSERT_EQ(pixels, file.data() + 11) << "the pixels start right after the third newline";
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 1u);
    EXPECT_EQ(Bytes(pixels, pixels + 6), (Bytes{3, 2, 1, 6, 5, 4}));

    // Other white space between the fields, as the format allows; a pixel byte that looks
    // like white space stays a pixel.
    Bytes spaced = Buffer(std::string("P6 1\t1\r\n255 ") + "\n\x20\x09");
    pixels = PpmBitmapData(spaced.data(), spaced.size(), width, height);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(Bytes(pixels, pixels + 3), (Bytes{0x09, 0x20, '\n'}));
}

TEST(PpmBitmapDataTest, RefusesEverythingElseCleanly) {
    const std::vector<std::string> bad = {
        "",                                   // nothing
        "P3\n1 1\n255\n0 0 0",                // text PPM
        "P6\n# made by hand\n1 1\n255\nabc",  // comments
        "P6\n1 1\n65535\nabcdef",             // two bytes per sample
        "P6\n1 1\n15\nabc",                   // other maximum value
        "P6\n2 2\n255\nabcdefghi",            // pixel data cut short
        "P6\n0 5\n255\n",                     // no pixels
        "P6\n1 1\n255",                       // no separator before the pixels
        "P6\n99999999999 1\n255\nabc",        // width beyond 32 bits
        "P6\n4294967295 4294967295\n255\nabc",
        "P6\n1\n",
    };
    for (const std::string& text : bad) {
        Bytes file = Buffer(text);
        uint32_t width = 7, height = 7;
        EXPECT_EQ(PpmBitmapData(file.data(), file.size(), width, height), nullptr) << text;
        EXPECT_EQ(width, 7u);
    }
    uint32_t width = 0, height = 0;
    EXPECT_EQ(PpmBitmapData(nullptr, 10, width, height), nullptr);
}

TEST(CopyPpmToPageTest, RowsLandOnThePageStride) {
    // 3 x 2 pixels: 9 bytes per row against a 12-byte stride.
    const Bytes ppm = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    Bytes page(24, 0xAA);
    CopyPpmToPage(ppm.data(), 3, 2, page.data(), 3, 2, 12);
    EXPECT_EQ(page, (Bytes{1,  2,  3,  4,  5,  6,  7,  8,  9,  0xAA, 0xAA, 0xAA,
                           10, 11, 12, 13, 14, 15, 16, 17, 18, 0xAA, 0xAA, 0xAA}));
}

TEST(CopyPpmToPageTest, LargerImagesAreCutAndSmallerOnesLeaveWhite) {
    const Bytes ppm = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};  // 3 x 2
    Bytes small(8, 0xAA);  // 2 x 1 page, stride 8
    CopyPpmToPage(ppm.data(), 3, 2, small.data(), 2, 1, 8);
    EXPECT_EQ(small, (Bytes{1, 2, 3, 4, 5, 6, 0xAA, 0xAA}));

    Bytes large(3 * 16, 0xAA);  // 5 x 3 page, stride 16
    CopyPpmToPage(ppm.data(), 3, 2, large.data(), 5, 3, 16);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 5; ++x) {
            for (uint32_t c = 0; c < 3; ++c) {
                const uint8_t expected = (y < 2 && x < 3) ? ppm[y * 9 + x * 3 + c] : 0xFF;
                EXPECT_EQ(large[y * 16 + x * 3 + c], expected) << x << "," << y;
            }
        }
        EXPECT_EQ(large[y * 16 + 15], 0xAA) << "row padding is not the page's";
    }
}

TEST(PdfNamesTest, OnlyDigitJobIdsAreAccepted) {
    EXPECT_TRUE(IsJobIdText("42"));
    EXPECT_TRUE(IsJobIdText("00000000000000000001"));
    for (const char* bad : {"", "4 2", "42;id", "$(id)", "`id`", "-1", "+1", "1e3", "../1",
                            "123456789012345678901"}) {
        EXPECT_FALSE(IsJobIdText(bad)) << bad;
    }
    EXPECT_FALSE(IsJobIdText(nullptr));
}

TEST(PdfinfoPageCountTest, ReadsThePagesLineWhereverItIs) {
    EXPECT_EQ(PdfinfoPageCount("Title:          x\nPages:          12\nEncrypted:      no\n"), 12);
    EXPECT_EQ(PdfinfoPageCount("Pages: 9"), 9);
    EXPECT_EQ(PdfinfoPageCount("Pages:\t1000\r\n"), 1000);
    // A document title cannot fake the count: the real line comes last.
    EXPECT_EQ(PdfinfoPageCount("Title:          a\nPages: 999\nPages:          3\n"), 3);
    EXPECT_EQ(PdfinfoPageCount("Title: x\nEncrypted: no\n"), -1);
    EXPECT_EQ(PdfinfoPageCount("Pages:          many\n"), -1);
    EXPECT_EQ(PdfinfoPageCount("Pages:          12 extra\n"), -1);
    EXPECT_EQ(PdfinfoPageCount("Pages:          -4\n"), -1);
    EXPECT_EQ(PdfinfoPageCount("Page size:      36 x 18 pts\n"), -1);
    EXPECT_EQ(PdfinfoPageCount(""), -1);
}

}  // namespace
