// Small readable images for the imaging tests: rows written as strings, one character
// per pixel ('#' black 0, '.' white 255, digits 1-9 for greys 25..225 in steps of 25).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap_types.h"

namespace fixtures {

inline uint8_t Shade(char c) {
    if (c == '#') return 0;
    if (c >= '1' && c <= '9') return static_cast<uint8_t>((c - '0') * 25);
    return 255;
}

inline char Glyph(uint8_t v) {
    if (v == 0) return '#';
    if (v == 255) return '.';
    if (v % 25 == 0 && v / 25 <= 9) return static_cast<char>('0' + v / 25);
    return '?';
}

// A DIB-style image: rows top-down, DibStride() bytes apart.
struct Image {
    uint32_t width = 0, height = 0, bits = 8;
    std::vector<uint8_t> data;

    uint32_t stride() const { return DibStride(width, bits); }
    uint8_t* row(uint32_t y) { return data.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* row(uint32_t y) const { return data.data() + static_cast<size_t>(y) * stride(); }
    uint32_t size() const { return static_cast<uint32_t>(data.size()); }

    tagBITMAPINFOHEADER header() const {
        tagBITMAPINFOHEADER h{};
        h.biSize = sizeof h;
        h.biWidth = static_cast<int32_t>(width);
        h.biHeight = static_cast<int32_t>(height);
        h.biPlanes = 1;
        h.biBitCount = static_cast<uint16_t>(bits);
        h.biSizeImage = size();
        return h;
    }

    void set(uint32_t x, uint32_t y, uint8_t b0, uint8_t b1, uint8_t b2) {
        uint8_t* p = row(y) + x * 3;
        p[0] = b0;
        p[1] = b1;
        p[2] = b2;
    }
};

inline Image Blank(uint32_t width, uint32_t height, uint32_t bits, uint8_t fill = 255) {
    Image img;
    img.width = width;
    img.height = height;
    img.bits = bits;
    img.data.assign(static_cast<size_t>(img.stride()) * height, fill);
    return img;
}

// 8-bit grey image from art rows.
inline Image Grey(const std::vector<std::string>& rows) {
    Image img = Blank(static_cast<uint32_t>(rows.empty() ? 0 : rows[0].size()),
                      static_cast<uint32_t>(rows.size()), 8);
    for (uint32_t y = 0; y < img.height; ++y) {
        for (uint32_t x = 0; x < img.width; ++x) img.row(y)[x] = Shade(rows[y][x]);
    }
    return img;
}

// 24-bit image from art rows; every channel carries the shade.
inline Image Colour(const std::vector<std::string>& rows) {
    Image img = Blank(static_cast<uint32_t>(rows.empty() ? 0 : rows[0].size()),
                      static_cast<uint32_t>(rows.size()), 24);
    for (uint32_t y = 0; y < img.height; ++y) {
        for (uint32_t x = 0; x < img.width; ++x) {
            const uint8_t v = Shade(rows[y][x]);
            img.set(x, y, v, v, v);
        }
    }
    return img;
}

// Art rows of an 8-bit buffer.
inline std::vector<std::string> Art(const uint8_t* data, uint32_t width, uint32_t height,
                                    uint32_t stride) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height; ++y) {
        std::string r;
        for (uint32_t x = 0; x < width; ++x) r += Glyph(data[static_cast<size_t>(y) * stride + x]);
        rows.push_back(r);
    }
    return rows;
}

inline std::vector<std::string> Art(const Image& img) {
    return Art(img.data.data(), img.width, img.height, img.stride());
}

// Owns a buffer that an operation allocated with malloc.
struct Freer {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Owned = std::unique_ptr<uint8_t, Freer>;

}  // namespace fixtures
