// Writes real CUPS raster streams with libcups from in-memory page images.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

// One page: 24-bit RGB pixels, top row first, unless `rows` gives raw raster rows of
// another format (8-bit grey or 1-bit) that are written as they stand.
struct TestPage {
    uint32_t width = 8;
    uint32_t height = 8;
    uint32_t dpiX = 203;
    uint32_t dpiY = 203;
    std::vector<uint8_t> rgb;  // width x height x 3
    std::string mediaType;
    unsigned numCopies = 1;
    bool collate = false;
    unsigned bitsPerPixel = 24;
    cups_cspace_t colorSpace = CUPS_CSPACE_RGB;
    std::vector<uint8_t> rows;  // raw rows for 8- and 1-bit pages
    bool headerOnly = false;    // write the header and no pixel data (for hostile headers)

    // A page of one colour.
    static TestPage Solid(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b);
    // A page whose every pixel differs: r = x, g = y, b = x + y (mod 256), so that any
    // misplaced row or column shows.
    static TestPage Gradient(uint32_t width, uint32_t height);
    // A page drawn from text rows, '#' black and anything else white.
    static TestPage FromArt(const std::vector<std::string>& art);

    uint32_t BytesPerLine() const;
};

struct RasterStream {
    std::string bytes;
    std::vector<size_t> pageEnds;  // offset just after each page's pixels
};

// The stream libcups writes for the pages (uncompressed, or compressed as the CUPS
// rasterisers write it).
RasterStream MakeRasterStream(const std::vector<TestPage>& pages, bool compressed = false);
void WriteRasterFile(const std::string& path, const std::vector<TestPage>& pages,
                     bool compressed = false);

// The page image the filters hand to their renderer for a 24-bit page: blue, green, red
// rows, each rounded up to a multiple of 4 bytes; with bits 8, the label grey a page read in
// blocks becomes, in rows rounded up the same way.
std::vector<uint8_t> ExpectedPageImage(const TestPage& page, unsigned bits = 24);

// 64-bit FNV-1a of a byte range, as the recording renderer prints it.
uint64_t Fnv1a(const uint8_t* data, size_t size);
