// Preview images of printer output: an 8-bit grey canvas (0 black, 255 white) that decoders of
// printer streams draw one-bit graphics into, and PNG files written from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class GreyBitmap {
  public:
    static constexpr uint8_t kBlack = 0;
    static constexpr uint8_t kWhite = 255;
    // Largest canvas the previews make (pixels); a decoder refuses bigger labels instead.
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 27;

    GreyBitmap() = default;
    // Throws std::length_error when width x height exceeds kMaxPixels.
    GreyBitmap(uint32_t widthDots, uint32_t heightDots, uint8_t fill = kWhite);

    static bool FitsLimit(uint64_t widthDots, uint64_t heightDots) {
        return widthDots <= kMaxPixels && heightDots <= kMaxPixels &&
               widthDots * heightDots <= kMaxPixels;
    }

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    uint8_t At(uint32_t x, uint32_t y) const { return pixels_[size_t{y} * width_ + x]; }
    void Set(uint32_t x, uint32_t y, uint8_t value) { pixels_[size_t{y} * width_ + x] = value; }
    const uint8_t* Row(uint32_t y) const { return pixels_.data() + size_t{y} * width_; }

    // Fills the part of the rectangle that lies on the canvas; the rest is clipped.
    void FillRect(int64_t x, int64_t y, int64_t w, int64_t h, uint8_t value);
    // Adds rows of `fill` at the bottom (a receipt grows as its bands arrive); false past
    // kMaxPixels.
    bool GrowHeight(uint32_t heightDots, uint8_t fill = kWhite);
    void Rotate180();
    void MirrorX();
    // Pixels darker than mid-grey.
    size_t CountDark() const;

  private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::vector<uint8_t> pixels_;
};

// A packed one-bit graphic: `rows` rows of `bytesPerRow` bytes, most significant bit first.
struct PackedGraphic {
    std::span<const uint8_t> bits;
    uint32_t bytesPerRow = 0;
    uint32_t rows = 0;
};

// Draws the graphic with its top-left corner at (x, y), each dot as a magX x magY block.
// Dots whose bit equals `inkBit` become black; the others leave the canvas as it is. Whatever
// falls off the canvas, or lies beyond the end of `bits`, is skipped.
void DrawPacked(GreyBitmap& canvas, const PackedGraphic& graphic, int64_t x, int64_t y,
                uint32_t magX = 1, uint32_t magY = 1, bool inkBit = true);

// Writes the canvas as a grey PNG (one bit per pixel when it is pure black and white). Refuses
// to follow a symbolic link at `path`. On failure returns false and says why in `error`.
bool WritePng(const std::string& path, const GreyBitmap& image, std::string* error = nullptr);

// Reads any PNG as 8-bit grey; nullopt (and the reason in `error`) when it cannot.
std::optional<GreyBitmap> ReadPng(const std::string& path, std::string* error = nullptr);
