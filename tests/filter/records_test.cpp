#include "filter/records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

cups_page_header2_t Header() {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof(h));
    h.HWResolution[0] = 203;
    h.HWResolution[1] = 300;
    h.Collate = CUPS_TRUE;
    h.cupsWidth = 812;
    h.cupsHeight = 1218;
    h.cupsBitsPerPixel = 24;
    h.NumCopies = 3;
    return h;
}

TEST(InitDevmodeTest, CopiesResolutionAndCollation) {
    _DEVMODE dm;
    std::memset(&dm, 0x7F, sizeof(dm));
    cups_page_header2_t h = Header();
    InitDevmode(&dm, &h);
    EXPECT_EQ(dm.dmOrientation, 1);
    EXPECT_EQ(dm.dmPrintQuality, 203);
    EXPECT_EQ(dm.dmYResolution, 300);
    EXPECT_EQ(dm.dmCollate, 1);
}

TEST(InitDevmodeTest, ResolutionIsTruncatedTo16Bits) {
    _DEVMODE dm{};
    cups_page_header2_t h = Header();
    h.HWResolution[0] = 40000;
    h.HWResolution[1] = 65536 + 600;
    InitDevmode(&dm, &h);
    EXPECT_EQ(dm.dmPrintQuality, static_cast<int16_t>(40000 - 65536));
    EXPECT_EQ(dm.dmYResolution, 600);
}

TEST(InitOemPdevTest, FillsGeometryAndCountersOnly) {
    _OEMPDEV pdev;
    std::memset(&pdev, 0, sizeof(pdev));
    uint8_t dummy = 0;
    pdev.pBufStart = &dummy;
    pdev.dwPagePrinted = 9;
    pdev.dwCurPageNum = 4;
    pdev.dwLabelWidth = 123;  // not one of the fields filled from the header
    pdev.bmInfoHeader.biXPelsPerMeter = 77;
    pdev.srcGdiInfo.ptlPhysOffset = {5, 6};
    cups_page_header2_t h = Header();
    InitOemPDEV(&pdev, &h);
    EXPECT_EQ(pdev.pBufStart, nullptr);
    EXPECT_EQ(pdev.bmInfoHeader.biWidth, 812);
    EXPECT_EQ(pdev.bmInfoHeader.biHeight, 1218);
    EXPECT_EQ(pdev.bmInfoHeader.biBitCount, 24);
    EXPECT_EQ(pdev.srcGdiInfo.szlPhysSize.cx, 812);
    EXPECT_EQ(pdev.srcGdiInfo.szlPhysSize.cy, 1218);
    EXPECT_EQ(pdev.srcGdiInfo.ulVertRes, 1218u);
    EXPECT_EQ(pdev.srcGdiInfo.ptlPhysOffset.x, 0);
    EXPECT_EQ(pdev.srcGdiInfo.ptlPhysOffset.y, 0);
    EXPECT_EQ(pdev.sCurCopies, 3);
    EXPECT_EQ(pdev.dwPagePrinted, 0u);
    EXPECT_EQ(pdev.dwCurPageNum, 0u);
    EXPECT_EQ(pdev.dwLabelWidth, 123u);
    EXPECT_EQ(pdev.bmInfoHeader.biXPelsPerMeter, 77);
}

TEST(RecordsTest, NullPointersTouchNothing) {
    _DEVMODE dm{2, 3, 4, 5};
    _OEMPDEV pdev{};
    pdev.sCurCopies = 8;
    InitDevmode(&dm, nullptr);
    InitOemPDEV(&pdev, nullptr);
    cups_page_header2_t h = Header();
    InitDevmode(nullptr, &h);
    InitOemPDEV(nullptr, &h);
    EXPECT_EQ(dm.dmOrientation, 2);
    EXPECT_EQ(dm.dmCollate, 5);
    EXPECT_EQ(pdev.sCurCopies, 8);
}

}  // namespace
