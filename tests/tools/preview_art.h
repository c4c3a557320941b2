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
