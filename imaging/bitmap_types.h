// Plain picture records shared by the page loop, the image pipeline and the renderers.
#pragma once

#include <cstdint>

#pragma pack(push, 2)
// The 40-byte bitmap information header of the BMP format, in its field order.
struct tagBITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;   // pixels
    int32_t biHeight;  // rows, always positive here (rows are stored top-down)
    uint16_t biPlanes;
    uint16_t biBitCount;  // 1, 8 or 24
    uint32_t biCompression;
    uint32_t biSizeImage;  // rows x stride
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(tagBITMAPINFOHEADER) == 40, "bitmap info header is 40 bytes");

// Right and bottom are inclusive: a one-pixel rectangle has left == right.
struct tagRECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct tagRGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

struct tagPOINT {
    int32_t x;
    int32_t y;
};

// Levels curve: gamma with input and output black and white points.
struct COLORLEVELSITEM {
    float fGamma;  // 1.0 is neutral
    uint8_t byInBlack;
    uint8_t byInWhite;
    uint8_t byOutBlack;
    uint8_t byOutWhite;
};

// Colour settings handed to the scaling operations.
struct tagColorCFG {
    int16_t nBrightness;
    int16_t nContrast;
    int16_t nLevels;  // percent, 100 (and 0) are neutral
    int16_t nReserved1;
    int16_t nReserved2;
};

// Row stride of a device-independent bitmap: the row rounded up to whole 32-bit words.
constexpr uint32_t DibStride(uint32_t width, uint32_t bitsPerPixel) {
    return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32) * 4);
}
