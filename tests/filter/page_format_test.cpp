#include "filter/page_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

cups_page_header2_t Header(unsigned width, unsigned height, unsigned bits = 24,
                           cups_cspace_t space = CUPS_CSPACE_RGB) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof(h));
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerPixel = bits;
    h.cupsBitsPerColor = bits == 24 ? 8 : bits;
    h.cupsBytesPerLine = (width * bits + 7) / 8;
    h.cupsColorSpace = space;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.HWResolution[0] = h.HWResolution[1] = 203;
    return h;
}

TEST(CheckPageHeaderTest, AcceptsRgbAndComputesTheStride) {
    PageFormat format{};
    std::string error;
    ASSERT_TRUE(CheckPageHeader(Header(5, 3), 1, format, error));
    EXPECT_EQ(format.pixels, RasterPixels::Rgb24);
    EXPECT_EQ(format.stride, 16u) << "15 bytes of pixels rounded up to 4";
    EXPECT_EQ(format.bufferSize, 48u);
}

TEST(CheckPageHeaderTest, RefusesEmptyOversizedAndInconsistentPages) {
    PageFormat format{};
    std::string error;
    EXPECT_FALSE(CheckPageHeader(Header(0, 10), 2, format, error));
    EXPECT_EQ(error.rfind("Page 2 ", 0), 0u) << error;
    EXPECT_FALSE(CheckPageHeader(Header(10, 0), 1, format, error));

    // 0x55555556 pixels of 3 bytes overflow 32-bit arithmetic; the check must not.
    cups_page_header2_t overflow = Header(0x55555556u, 1);
    EXPECT_FALSE(CheckPageHeader(overflow, 1, format, error));
    EXPECT_FALSE(CheckPageHeader(Header(20000, 20000), 1, format, error)) << "1.2 GB page";
    EXPECT_NE(error.find("too large"), std::string::npos) << error;

    cups_page_header2_t shortLine = Header(100, 10);
    shortLine.cupsBytesPerLine = 299;
    EXPECT_FALSE(CheckPageHeader(shortLine, 1, format, error));
    EXPECT_NE(error.find("line length"), std::string::npos) << error;
}

TEST(CheckPageHeaderTest, PagesUpTo300MmWide3MLongAnd64MiB) {
    const struct {
        unsigned width, height, dpi;
        bool accepted;
    } kCases[] = {
        {2362, 100, 203, true},    // 295.5 mm
        {2400, 100, 203, false},   // 300.3 mm
        {576, 23900, 203, true},   // a 2.99 m receipt on 80 mm paper
        {576, 24000, 203, false},  // 3.003 m
        {2400, 9000, 600, true},   // 4 x 15 in at 600 dpi: 61.8 MiB
        {2400, 9400, 600, false},  // 64.5 MiB
        {4800, 7200, 600, false},  // 203 mm x 305 mm but 98.9 MiB
    };
    for (const auto& c : kCases) {
        cups_page_header2_t h = Header(c.width, c.height);
        h.HWResolution[0] = h.HWResolution[1] = c.dpi;
        PageFormat format{};
        std::string error;
        EXPECT_EQ(CheckPageHeader(h, 3, format, error), c.accepted)
            << c.width << " x " << c.height << " at " << c.dpi;
        if (!c.accepted) {
            EXPECT_EQ(error.rfind("Page 3 is too large to print", 0), 0u) << error;
        }
    }
}

TEST(CheckPageHeaderTest, RefusesResolutionsNoPrinterHas) {
    PageFormat format{};
    std::string error;
    for (unsigned dpi : {0u, 601u, 9601u, 70000u}) {
        cups_page_header2_t h = Header(10, 10);
        h.HWResolution[1] = dpi;
        EXPECT_FALSE(CheckPageHeader(h, 1, format, error)) << dpi;
        EXPECT_NE(error.find("resolution"), std::string::npos) << error;
    }
}

TEST(CheckPageHeaderTest, RefusesPixelFormatsItCannotRead) {
    PageFormat format{};
    std::string error;
    EXPECT_FALSE(CheckPageHeader(Header(10, 10, 32, CUPS_CSPACE_CMYK), 1, format, error));
    EXPECT_FALSE(CheckPageHeader(Header(10, 10, 16, CUPS_CSPACE_W), 1, format, error));
    EXPECT_FALSE(CheckPageHeader(Header(10, 10, 24, CUPS_CSPACE_CMY), 1, format, error));
    cups_page_header2_t banded = Header(10, 10);
    banded.cupsColorOrder = CUPS_ORDER_BANDED;
    EXPECT_FALSE(CheckPageHeader(banded, 1, format, error));
    EXPECT_NE(error.find("unsupported pixel format"), std::string::npos) << error;
}

struct ConversionCase {
    unsigned bits;
    cups_cspace_t space;
    std::vector<uint8_t> row;
    std::vector<uint8_t> grey;  // expected value of each of the three bytes per pixel
};

TEST(ConvertRowTest, EveryAcceptedFormatBecomesBgr) {
    const ConversionCase cases[] = {
        {8, CUPS_CSPACE_W, {0, 128, 255}, {0, 128, 255}},
        {8, CUPS_CSPACE_SW, {7}, {7}},
        {8, CUPS_CSPACE_K, {0, 128, 255}, {255, 127, 0}},
        {1, CUPS_CSPACE_W, {0b10100000}, {255, 0, 255}},
        {1, CUPS_CSPACE_K, {0b10100000}, {0, 255, 0}},
    };
    for (const ConversionCase& c : cases) {
        const unsigned width = static_cast<unsigned>(c.grey.size());
        PageFormat format{};
        std::string error;
        ASSERT_TRUE(CheckPageHeader(Header(width, 1, c.bits, c.space), 1, format, error)) << error;
        std::vector<uint8_t> out(format.stride, 0xEE);
        ConvertRowToBgr(format, c.row.data(), out.data());
        for (unsigned x = 0; x < width; ++x) {
            for (unsigned k = 0; k < 3; ++k)
                EXPECT_EQ(out[x * 3 + k], c.grey[x]) << c.bits << "-bit pixel " << x;
        }
        EXPECT_EQ(out[width * 3], 0xEE) << "nothing written past the row's pixels";
    }
}

TEST(ConvertRowTest, RgbBytesAreSwappedToBlueGreenRed) {
    PageFormat format{};
    std::string error;
    ASSERT_TRUE(CheckPageHeader(Header(2, 1), 1, format, error));
    const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
    uint8_t bgr[8] = {};
    ConvertRowToBgr(format, rgb, bgr);
    const uint8_t expected[] = {3, 2, 1, 6, 5, 4, 0, 0};
    EXPECT_EQ(0, std::memcmp(bgr, expected, sizeof(expected)));
}

}  // namespace

namespace {

TEST(SwapRedAndBlueTest, EveryLengthMatchesThePlainSwap) {
    std::vector<uint8_t> pixels(3 * 100 + 16);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 11);
    for (uint32_t count = 0; count <= 100; ++count) {
        std::vector<uint8_t> swapped = pixels;
        SwapRedAndBlue(swapped.data(), count);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const size_t pixel = i / 3;
            const size_t expected = pixel < count ? pixel * 3 + (2 - i % 3) : i;
            ASSERT_EQ(swapped[i], pixels[expected]) << count << " pixels, byte " << i;
        }
    }
}

}  // namespace
