// Free thresholding functions carried by the TSPL and EPL filters.
#pragma once

#include <cstdint>

#include "imaging/bitmap_types.h"

// Histogram threshold over a region (columns left..right-1, rows bottom..top-1; null
// means the whole image) of an 8-bit image. Criterion 1-4 picks one method, any other
// value averages them. Returns 0..255, or -1 for an empty region or a null image.
int32_t OptimalThreshold(int32_t nCriterion, const uint8_t* pImage, int32_t nWidth, int32_t nHeight,
                         int32_t nStride, const tagRECT* pRegion);

// Thresholds each pixel against a bilinear map of per-tile thresholds blended with the
// page threshold. Allocates the result (calloc, rows of DibStride(width, 8) bytes) into
// *ppResult and stores its size. Returns false when a threshold cannot be computed.
bool AdaptiveThreshold(const uint8_t* pSrc, int32_t nWidth, int32_t nHeight, int32_t nStride,
                       uint8_t** ppResult, int32_t* pnResultSize, bool bNegative,
                       int32_t nCriterion, int32_t nTileSize, int32_t nOffset, float fGlobalWeight);

// AdaptiveThreshold into the caller's buffer of `nResultSize` bytes, which must hold height rows
// of DibStride(width, 8) bytes; the row padding is made zero, as in an allocated result. The
// buffer may be the source itself when its stride is DibStride(width, 8). False, with the
// buffer untouched, when the buffer is too small or no threshold can be computed.
bool AdaptiveThresholdInto(const uint8_t* pSrc, int32_t nWidth, int32_t nHeight, int32_t nStride,
                           uint8_t* pResult, uint64_t nResultSize, bool bNegative,
                           int32_t nCriterion, int32_t nTileSize, int32_t nOffset,
                           float fGlobalWeight);
