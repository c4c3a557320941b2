#include "tools/preview/bitmap.h"

#include <algorithm>
#include <stdexcept>

GreyBitmap::GreyBitmap(uint32_t widthDots, uint32_t heightDots, uint8_t fill) {
    if (!FitsLimit(widthDots, heightDots)) throw std::length_error("preview image too large");
    width_ = widthDots;
    height_ = heightDots;
    pixels_.assign(size_t{widthDots} * heightDots, fill);
}

void GreyBitmap::FillRect(int64_t x, int64_t y, int64_t w, int64_t h, uint8_t value) {
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(x + std::max<int64_t>(w, 0), width_);
    const int64_t bottom = std::min<int64_t>(y + std::max<int64_t>(h, 0), height_);
    for (int64_t row = top; row < bottom; ++row) {
        uint8_t* line = pixels_.data() + size_t(row) * width_;
        std::fill(line + left, line + std::max(left, right), value);
    }
}

bool GreyBitmap::GrowHeight(uint32_t heightDots, uint8_t fill) {
    if (heightDots <= height_) return true;
    if (!FitsLimit(width_, heightDots)) return false;
    pixels_.resize(size_t{width_} * heightDots, fill);
    height_ = heightDots;
    return true;
}

void GreyBitmap::Rotate180() {
    std::reverse(pixels_.begin(), pixels_.end());
}

void GreyBitmap::MirrorX() {
    for (uint32_t y = 0; y < height_; ++y) {
        auto row = pixels_.begin() + ptrdiff_t(size_t{y} * width_);
        std::reverse(row, row + width_);
    }
}

size_t GreyBitmap::CountDark() const {
    return size_t(std::count_if(pixels_.begin(), pixels_.end(), [](uint8_t v) { return v < 128; }));
}

void DrawPacked(GreyBitmap& canvas, const PackedGraphic& graphic, int64_t x, int64_t y,
                uint32_t magX, uint32_t magY, bool inkBit) {
    // Bounded so that positions stay far from overflowing 64 bits.
    constexpr uint32_t kMaxMagnification = 1u << 16;
    magX = std::clamp<uint32_t>(magX, 1, kMaxMagnification);
    magY = std::clamp<uint32_t>(magY, 1, kMaxMagnification);
    const size_t available = graphic.bits.size();
    for (uint64_t row = 0; row < graphic.rows; ++row) {
        const int64_t top = y + int64_t(row * magY);
        if (top >= int64_t(canvas.height())) break;
        const uint64_t rowStart = row * graphic.bytesPerRow;
        if (rowStart >= available) break;
        if (top + int64_t(magY) <= 0) continue;
        const uint64_t rowBytes = std::min<uint64_t>(graphic.bytesPerRow, available - rowStart);
        for (uint64_t col = 0; col < rowBytes * 8; ++col) {
            const int64_t left = x + int64_t(col * magX);
            if (left >= int64_t(canvas.width())) break;
            const uint8_t byte = graphic.bits[rowStart + col / 8];
            const bool bit = (byte >> (7 - col % 8)) & 1;
            if (bit == inkBit) canvas.FillRect(left, top, magX, magY, GreyBitmap::kBlack);
        }
    }
}
