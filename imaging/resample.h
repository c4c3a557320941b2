// Free bilinear resampling of 8-bit maps (used to enlarge threshold maps).
#pragma once

#include <cstdint>
#include <vector>

// Resizes an 8-bit image bilinearly into a new calloc'd buffer (*ppResult) whose rows
// are dstWidth rounded up to 4 bytes. Returns 0 when a size is 0 or unusable; returns 1
// without producing a result when the sizes are equal.
int32_t Resample(const uint8_t* pSrc, int32_t nSrcWidth, int32_t nSrcHeight, int32_t nSrcStride,
                 int32_t nDstWidth, int32_t nDstHeight, uint8_t** ppResult);

namespace mx_imaging {

// The bilinear enlargement of Resample, one destination row at a time, so that a caller
// can threshold against the map without storing it. Single precision throughout.
class BilinearRows {
  public:
    // Destination columns [begin, end) that read the same two source columns.
    struct Segment {
        uint32_t begin, end, x0, x1;
    };

    // Prepares the first `columns` (at most dstWidth) columns of every destination row.
    BilinearRows(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint32_t srcStride,
                 uint32_t dstWidth, uint32_t dstHeight, uint32_t columns);

    const std::vector<Segment>& Segments() const { return segments_; }

    // Interpolates every source column down to destination row j; At and Fill then
    // give that row's values.
    void StartRow(uint32_t j);
    // left + (right - left) * dx between the segment's two columns. The result lies
    // between two bytes (up to rounding), so converting it truncates into 0..255.
    uint8_t At(const Segment& s, uint32_t column) const {
        const float left = vertical_[s.x0];
        const float diff = vertical_[s.x1] - left;
        return static_cast<uint8_t>(static_cast<int>(left + diff * dx_[column]));
    }
    // Values of columns s.begin..s.end-1, written from out on.
    void Fill(const Segment& s, uint8_t* out) const;

    // Writes the prepared columns of destination row j.
    void Row(uint32_t j, uint8_t* out);

  private:
    const uint8_t* src_;
    uint32_t srcWidth_, srcHeight_, srcStride_;
    float rowScale_;
    std::vector<Segment> segments_;
    std::vector<float> dx_;
    std::vector<float> vertical_;  // each source column interpolated down to the row
};

}  // namespace mx_imaging
