// Test pages handed to a renderer's page device record as the job flow hands them.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/records.h"
#include "tests/support/raster_writer.h"

// A black block of `w` x `h` dots at (x, y) on a white page.
inline TestPage BlockPage(uint32_t pageWidth, uint32_t pageHeight, uint32_t x, uint32_t y,
                          uint32_t w, uint32_t h) {
    TestPage page = TestPage::Solid(pageWidth, pageHeight, 255, 255, 255);
    for (uint32_t row = y; row < y + h; ++row) {
        std::memset(&page.rgb[(size_t{row} * pageWidth + x) * 3], 0, size_t{w} * 3);
    }
    return page;
}

// Puts the page image into the record (malloc'd, as the job's page buffer is), replacing and
// freeing the one it held, and describes it as the first page's geometry; with bits 8, as the
// label grey the job reads where the image steps allow, with the room the job's buffer has for
// its crop (rows rounded up to 8 dots).
inline void HoldTestPage(_OEMPDEV& pdev, const TestPage& page, unsigned bits = 24) {
    const std::vector<uint8_t> image = ExpectedPageImage(page, bits);
    const size_t cropRoom = bits == 8 ? ((size_t{page.width} + 7) & ~size_t{7}) * page.height : 0;
    std::free(pdev.pBufStart);
    pdev.pBufStart = static_cast<uint8_t*>(std::malloc(std::max(image.size(), cropRoom)));
    std::memcpy(pdev.pBufStart, image.data(), image.size());
    pdev.dwBufSize = static_cast<uint32_t>(image.size());
    pdev.bmInfoHeader.biWidth = static_cast<int32_t>(page.width);
    pdev.bmInfoHeader.biHeight = static_cast<int32_t>(page.height);
    pdev.bmInfoHeader.biBitCount = static_cast<uint16_t>(bits);
    pdev.srcGdiInfo.szlPhysSize = {static_cast<int32_t>(page.width),
                                   static_cast<int32_t>(page.height)};
}
