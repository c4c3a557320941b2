// Reading the binary PPM (P6) page image that pdftoppm writes.
#pragma once

#include <cstddef>
#include <cstdint>

// Largest page image read back from pdftoppm.
constexpr uint64_t kMaxPpmFileBytes = (uint64_t{1} << 30) + 4096;

// Parses a P6 header as pdftoppm writes it ("P6", width, height, 255, each separated by white
// space), turns the pixels from red-green-blue to blue-green-red in place and returns the
// first pixel. Returns null for anything else: comments, another maximum value, a size of 0,
// or pixel data shorter than width x height x 3 bytes.
uint8_t* PpmBitmapData(uint8_t* buffer, size_t size, uint32_t& width, uint32_t& height);

// Copies a blue-green-red PPM image into a page image whose rows are `stride` bytes apart, row
// by row. What does not fit is cut off; page pixels the image does not cover turn white, so
// the page shows the PDF's page alone.
void CopyPpmToPage(const uint8_t* pixels, uint32_t ppmWidth, uint32_t ppmHeight, uint8_t* bits,
                   uint32_t width, uint32_t height, uint32_t stride);
