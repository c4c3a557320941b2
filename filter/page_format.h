// Checking a raster page header before any buffer is sized from it, and bringing the
// accepted pixel formats to the 24-bit blue-green-red rows of the page image.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <cstring>
#include <string>

enum class RasterPixels {
    Rgb24,  // 8-bit red, green, blue, chunky
    Grey8,  // 8-bit, 255 is white
    Ink8,   // 8-bit, 255 is full black ink
    Grey1,  // 1-bit, set bit is white
    Ink1,   // 1-bit, set bit is black
};

struct PageFormat {
    RasterPixels pixels;
    uint32_t width;         // pixels
    uint32_t height;        // rows
    uint32_t bytesPerLine;  // raster row length
    uint32_t stride;        // page image row length: 24-bit rows rounded up to 4 bytes
    uint32_t bufferSize;    // stride x height
};

// What a label or receipt printer can print: resolutions up to 600 dpi, pages up to 300 mm
// wide and 3 m long, and no more than 64 MiB of 24-bit pixels (a 3 m receipt at 203 dpi takes
// 41 MiB). Larger pages are refused, so that no header can drive a filter to gigabytes.
constexpr unsigned kMaxDpi = 600;
constexpr double kMaxPageWidthMm = 300.0;
constexpr double kMaxPageLengthMm = 3000.0;
constexpr uint64_t kMaxInputPageBytes = uint64_t{64} << 20;
// Largest page image the image steps make, when a page is scaled to the output resolution.
constexpr uint64_t kMaxPageBytes = uint64_t{128} << 20;

// The number an enumerated header field holds. A raster stream may carry any number there, and
// reading one outside the enumeration as the enumeration is undefined, so it is read as stored.
template <typename Enum>
unsigned RawField(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof(value));
    return value;
}

// Validates the header. On failure `error` holds a one-line reason for CUPS.
bool CheckPageHeader(const cups_page_header2_t& header, unsigned pageNumber, PageFormat& format,
                     std::string& error);

// Converts one raster row to page image pixels (blue, green, red).
void ConvertRowToBgr(const PageFormat& format, const uint8_t* raster, uint8_t* bgr);

// Turns `count` red-green-blue pixels into blue-green-red in place.
void SwapRedAndBlue(uint8_t* pixels, uint32_t count);
