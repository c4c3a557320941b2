// The label filters' short way to grey. With a neutral tone curve and the page neither turned
// nor shifted, the conversion to grey does not depend on the rest of the page, so it can run
// while the page is read, a block of rows at a time while they are still in cache; the crop to
// the printed content then works on the grey page alone.
#pragma once

#include <cstdint>

#include "imaging/bitmap_types.h"

// Converts rows of red-green-blue pixels to the grey that CoverBMP2OutputFormat makes of a
// label page with a neutral tone curve: paper (every channel at or above the paper level) is
// 255 and every other pixel is below 255, so the grey alone still tells ink from paper.
void LabelGreyFromRgbRows(const uint8_t* rgb, uint64_t rgbStride, uint32_t width, uint32_t rows,
                          uint8_t* grey, uint64_t greyStride);

// CoverBMP2OutputFormat's label crop, unturned and unshifted with a neutral tone curve, of an
// 8-bit page made by LabelGreyFromRgbRows: the same result, header, rectangle, return values
// and out-buffer rule. The out buffer may be the page itself (*ppOut == grey, *pdwOutSize its
// capacity); where the crop's rows would be wider than the page's and not start at its first
// row and column, that returns -1 with nothing written.
int32_t CropLabelGrey(const uint8_t* grey, uint32_t size, uint8_t** ppOut, uint32_t* pdwOutSize,
                      tagBITMAPINFOHEADER* pHeader, tagRECT* pRect, int32_t nMaxOutputWidth,
                      int16_t sSkipWhite);
