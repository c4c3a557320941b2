// Preview images as text rows for readable expectations: '#' black, '.' white.
#pragma once

#include <string>
#include <vector>

#include "tools/preview/bitmap.h"

inline std::vector<std::string> Art(const GreyBitmap& image) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < image.height(); ++y) {
        std::string row;
        for (uint32_t x = 0; x < image.width(); ++x) row += image.At(x, y) < 128 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

// Rows of art packed most significant bit first as EPL graphics are: bit 0 for '#' (printed),
// 1 for '.' and for the padding of each row's last byte.
inline std::vector<uint8_t> PackEplArt(const std::vector<std::string>& art) {
    std::vector<uint8_t> bytes;
    for (const std::string& row : art) {
        std::vector<uint8_t> packed((row.size() + 7) / 8, 0xFF);
        for (size_t x = 0; x < row.size(); ++x) {
            if (row[x] == '#') packed[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
        }
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    return bytes;
}
