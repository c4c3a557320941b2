#include "pdf/ppm_image.h"

#include <algorithm>
#include <cstring>

#include "log/log4z.h"

namespace {

bool IsSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads white space and then a decimal number at `pos`.
bool ReadNumber(const uint8_t* buffer, size_t size, size_t& pos, uint32_t& value) {
    const size_t start = pos;
    while (pos < size && IsSpace(buffer[pos])) ++pos;
    if (pos == start || pos >= size) return false;
    if (buffer[pos] == '#') {
        LOGW("PPM header with comments is not supported");
        return false;
    }
    uint64_t number = 0;
    const size_t digits = pos;
    while (pos < size && buffer[pos] >= '0' && buffer[pos] <= '9') {
        number = number * 10 + (buffer[pos++] - '0');
        if (number > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(number);
    return pos > digits;
}

}  // namespace

uint8_t* PpmBitmapData(uint8_t* buffer, size_t size, uint32_t& width, uint32_t& height) {
    if (buffer == nullptr || size < 2 || buffer[0] != 'P' || buffer[1] != '6') return nullptr;
    size_t pos = 2;
    uint32_t w = 0, h = 0, maxValue = 0;
    if (!ReadNumber(buffer, size, pos, w) || !ReadNumber(buffer, size, pos, h) ||
        !ReadNumber(buffer, size, pos, maxValue) || pos >= size || !IsSpace(buffer[pos])) {
        LOGW("page image header is not a plain P6 header");
        return nullptr;
    }
    ++pos;  // the single white space character before the pixels
    if (maxValue != 255) {
        LOGW("page image has %u levels per colour, only 255 is supported", maxValue);
        return nullptr;
    }
    const uint64_t pixelBytes = uint64_t{w} * h * 3;
    if (pixelBytes == 0 || pixelBytes > size - pos) {
        LOGW("page image of %u x %u pixels holds %zu bytes of pixel data", w, h, size - pos);
        return nullptr;
    }
    uint8_t* pixels = buffer + pos;
    for (uint64_t i = 0; i < pixelBytes; i += 3) std::swap(pixels[i], pixels[i + 2]);
    width = w;
    height = h;
    return pixels;
}

void CopyPpmToPage(const uint8_t* pixels, uint32_t ppmWidth, uint32_t ppmHeight, uint8_t* bits,
                   uint32_t width, uint32_t height, uint32_t stride) {
    const size_t rowBytes = size_t{std::min(ppmWidth, width)} * 3;
    const size_t ppmRowBytes = size_t{ppmWidth} * 3;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bits + size_t{y} * stride;
        if (y < ppmHeight) {
            std::memcpy(row, pixels + y * ppmRowBytes, rowBytes);
            std::memset(row + rowBytes, 0xFF, size_t{width} * 3 - rowBytes);
        } else {
            std::memset(row, 0xFF, size_t{width} * 3);
        }
    }
}
