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
    // Prepares the first `columns` (at most dstWidth) columns of every destination row.
    BilinearRows(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, uint32_t srcStride,
                 uint32_t dstWidth, uint32_t dstHeight, uint32_t columns);

    // Writes the prepared columns of destination row j.
    void Row(uint32_t j, uint8_t* out);

private:
    const uint8_t* src_;
    uint32_t srcWidth_, srcHeight_, srcStride_;
    float rowScale_;
    std::vector<uint32_t> x0_, x1_;
    std::vector<float> dx_;
    std::vector<float> vertical_;  // each source column interpolated down to the row
};

}  // namespace mx_imaging
