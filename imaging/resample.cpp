// Scaling of page images: InvoicResampleImg2 (nearest neighbour or area sampling),
// InvoicQIShrinkImg2 (integer box averaging) and the free bilinear Resample.
#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/tone_mapper.h"

using namespace mx_imaging;

// ---- Bilinear map enlargement ------------------------------------------------------------

BilinearRows::BilinearRows(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight,
                           uint32_t srcStride, uint32_t dstWidth, uint32_t dstHeight,
                           uint32_t columns)
    : src_(src),
      srcWidth_(srcWidth),
      srcHeight_(srcHeight),
      srcStride_(srcStride),
      rowScale_(static_cast<float>(srcHeight) / static_cast<float>(dstHeight)),
      x0_(columns),
      x1_(columns),
      dx_(columns),
      vertical_(srcWidth) {
    const float colScale = static_cast<float>(srcWidth) / static_cast<float>(dstWidth);
    for (uint32_t i = 0; i < columns; ++i) {
        const float fx = static_cast<float>(i) * colScale;
        const float whole = std::trunc(fx);
        x0_[i] = std::min(static_cast<uint32_t>(whole), srcWidth - 1);
        x1_[i] = std::min(x0_[i] + 1, srcWidth - 1);
        dx_[i] = fx - whole;
    }
}

void BilinearRows::Row(uint32_t j, uint8_t* out) {
    const float fy = static_cast<float>(j) * rowScale_;
    const float whole = std::trunc(fy);
    const uint32_t y0 = std::min(static_cast<uint32_t>(whole), srcHeight_ - 1);
    const uint32_t y1 = std::min(y0 + 1, srcHeight_ - 1);
    const float dy = fy - whole;
    const uint8_t* r0 = src_ + static_cast<size_t>(y0) * srcStride_;
    const uint8_t* r1 = src_ + static_cast<size_t>(y1) * srcStride_;
    // Every source column interpolated down to the row; left and right below are two
    // of these values.
    for (uint32_t c = 0; c < srcWidth_; ++c) {
        const float top = r0[c];
        vertical_[c] = top + (static_cast<float>(r1[c]) - top) * dy;
    }
    for (size_t i = 0; i < x0_.size(); ++i) {
        const float left = vertical_[x0_[i]];
        const float right = vertical_[x1_[i]];
        out[i] = ClampToByte(left + (right - left) * dx_[i]);
    }
}

int32_t Resample(const uint8_t* pSrc, int32_t nSrcWidth, int32_t nSrcHeight, int32_t nSrcStride,
                 int32_t nDstWidth, int32_t nDstHeight, uint8_t** ppResult) {
    if (nDstWidth <= 0 || nDstHeight <= 0) return 0;
    if (nSrcWidth == nDstWidth && nSrcHeight == nDstHeight) return 1;
    if (!pSrc || !ppResult || nSrcWidth <= 0 || nSrcHeight <= 0 || nSrcStride < nSrcWidth ||
        !DimensionOk(nSrcWidth) || !DimensionOk(nSrcHeight) || !DimensionOk(nDstWidth) ||
        !DimensionOk(nDstHeight)) {
        return 0;
    }
    const uint64_t pitch = (static_cast<uint64_t>(nDstWidth) + 3) & ~uint64_t{3};
    MallocBuffer result = AllocateBuffer(ImageBytes(nDstHeight, pitch), true);
    if (!result) return 0;
    const auto dstWidth = static_cast<uint32_t>(nDstWidth);
    BilinearRows rows(pSrc, static_cast<uint32_t>(nSrcWidth), static_cast<uint32_t>(nSrcHeight),
                      static_cast<uint32_t>(nSrcStride), dstWidth,
                      static_cast<uint32_t>(nDstHeight), dstWidth);
    for (int32_t j = 0; j < nDstHeight; ++j) rows.Row(static_cast<uint32_t>(j), result.get() + j * pitch);
    *ppResult = result.release();
    return 1;
}

// ---- Page scaling ------------------------------------------------------------------------

namespace {

// Validated geometry of a scaling call: where pixels come from and go to.
struct ScaleJob {
    uint32_t srcWidth, srcHeight, srcBytes, srcStride;
    const uint8_t* src;
    uint32_t dstWidth, dstHeight, dstBytes;
    size_t dstPitch;

    const uint8_t* SrcPixel(uint32_t x, uint32_t y) const {
        return src + static_cast<size_t>(y) * srcStride + static_cast<size_t>(x) * srcBytes;
    }
};

bool MakeScaleJob(uint32_t srcWidth, uint32_t srcHeight, uint32_t srcBpp, uint32_t srcStride,
                  const uint8_t* src, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstBytes,
                  uint32_t dstSize, ScaleJob& job) {
    if (!src || (srcBpp != 8 && srcBpp != 24)) return false;
    if (srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0) return false;
    if (!DimensionOk(srcWidth) || !DimensionOk(srcHeight) || !DimensionOk(dstWidth) ||
        !DimensionOk(dstHeight)) {
        return false;
    }
    const uint32_t srcBytes = srcBpp / 8;
    if (srcStride < uint64_t{srcWidth} * srcBytes) return false;
    const size_t pitch = dstSize / dstHeight;
    if (pitch < uint64_t{dstWidth} * dstBytes) return false;  // rows would overrun the buffer
    job = {srcWidth, srcHeight, srcBytes, srcStride, src, dstWidth, dstHeight, dstBytes, pitch};
    return true;
}

void Store(uint8_t* dst, uint32_t dstBytes, tagRGBQUAD c) {
    if (dstBytes == 3) {
        dst[0] = c.rgbBlue;
        dst[1] = c.rgbGreen;
        dst[2] = c.rgbRed;
    } else {
        *dst = GreyOf(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
}

void StoreToned(uint8_t* dst, uint32_t dstBytes, tagRGBQUAD c, const ToneMapper& tone) {
    if (tone.Active()) tone.Apply(c.rgbRed, c.rgbGreen, c.rgbBlue);
    Store(dst, dstBytes, c);
}

// Nearest neighbour with clamped edges, the same positions as
// GetPixelColorInterpolated(x, y, 1, 5) computes, looked up once per row and column.
std::vector<uint32_t> NearestIndices(uint32_t count, float scale, uint32_t limit) {
    std::vector<uint32_t> index(count);
    for (uint32_t i = 0; i < count; ++i) {
        const float pos = (static_cast<float>(i) + 0.5f) * scale - 0.5f;
        const int32_t n = SampleIndex(static_cast<double>(pos) + 0.5);
        index[i] = static_cast<uint32_t>(std::clamp<int64_t>(n, 0, int64_t{limit} - 1));
    }
    return index;
}

void ResampleNearest(const ScaleJob& job, uint8_t* dst, float sx, float sy, const ToneMapper& tone) {
    const std::vector<uint32_t> cols = NearestIndices(job.dstWidth, sx, job.srcWidth);
    const std::vector<uint32_t> rows = NearestIndices(job.dstHeight, sy, job.srcHeight);
    for (uint32_t j = 0; j < job.dstHeight; ++j) {
        uint8_t* out = dst + j * job.dstPitch;
        const uint8_t* row = job.SrcPixel(0, rows[j]);
        for (uint32_t i = 0; i < job.dstWidth; ++i, out += job.dstBytes) {
            const uint8_t* p = row + static_cast<size_t>(cols[i]) * job.srcBytes;
            tagRGBQUAD c = job.srcBytes == 3 ? tagRGBQUAD{p[0], p[1], p[2], 0}
                                             : tagRGBQUAD{p[0], p[0], p[0], 0};
            if (c.rgbBlue >= 251 && c.rgbGreen >= 251 && c.rgbRed >= 251) {
                c = {255, 255, 255, 0};
            }
            StoreToned(out, job.dstBytes, c, tone);
        }
    }
}

}  // namespace

int32_t CBmpProcessing::InvoicResampleImg2(uint32_t dwSrcWidth, uint32_t dwSrcHeight,
                                           uint32_t dwSrcBpp, uint32_t dwSrcStride,
                                           const uint8_t* pSrc, uint32_t dwDstWidth,
                                           uint32_t dwDstHeight, uint32_t, uint8_t** ppDst,
                                           uint32_t dwDstSize, tagColorCFG colorCfg, int32_t,
                                           tagRECT) {
    if (!ppDst || !*ppDst) return 0;
    ScaleJob job;
    const uint32_t dstBytes = dwSrcBpp == 24 ? 3 : 1;
    if (!MakeScaleJob(dwSrcWidth, dwSrcHeight, dwSrcBpp, dwSrcStride, pSrc, dwDstWidth,
                      dwDstHeight, dstBytes, dwDstSize, job)) {
        return 0;
    }
    SetSamplingSource(pSrc, dwSrcWidth, dwSrcHeight, dwSrcBpp, dwSrcStride);
    const float sx = static_cast<float>(dwSrcWidth) / static_cast<float>(dwDstWidth);
    const float sy = static_cast<float>(dwSrcHeight) / static_cast<float>(dwDstHeight);
    const ToneMapper tone(*this, colorCfg);
    if (sx <= 1.0f && sy <= 1.0f) {
        ResampleNearest(job, *ppDst, sx, sy, tone);
        return 1;
    }
    // Shrinking in at least one direction: average the source box behind each pixel.
    for (uint32_t j = 0; j < job.dstHeight; ++j) {
        uint8_t* out = *ppDst + j * job.dstPitch;
        const float y = (static_cast<float>(j) + 0.5f) * sy - 0.5f;
        for (uint32_t i = 0; i < job.dstWidth; ++i, out += dstBytes) {
            const float x = (static_cast<float>(i) + 0.5f) * sx - 0.5f;
            StoreToned(out, dstBytes, GetAreaColorInterpolated(x, y, sx, sy, 1, 5), tone);
        }
    }
    return 1;
}

namespace {

struct ColumnSums {
    uint64_t blue = 0, green = 0, red = 0, count = 0;
};

// One image being shrunk: its source, destination and running column sums.
struct ShrinkLane {
    const uint8_t* src;
    uint8_t* dst;
    ToneMapper tone;
    std::vector<ColumnSums> sums;
};

bool InsideKeep(const tagRECT& keep, bool active, uint32_t x, uint32_t y) {
    return active && int64_t{x} >= keep.left && int64_t{x} <= keep.right &&
           int64_t{y} >= keep.top && int64_t{y} <= keep.bottom;
}

void AccumulateRow(const ScaleJob& job, ShrinkLane& lane, const std::vector<uint32_t>& columnOf,
                   uint32_t y, const tagRECT& keep, bool keepActive) {
    const uint8_t* p = lane.src + static_cast<size_t>(y) * job.srcStride;
    for (uint32_t x = 0; x < job.srcWidth; ++x, p += job.srcBytes) {
        ColumnSums& s = lane.sums[columnOf[x]];
        if (InsideKeep(keep, keepActive, x, y)) {  // kept pixels are copied later
            s.blue += 255;
            s.green += 255;
            s.red += 255;
        } else if (job.srcBytes == 3) {
            s.blue += p[0];
            s.green += p[1];
            s.red += p[2];
        } else {
            s.blue += p[0];
            s.green += p[0];
            s.red += p[0];
        }
        ++s.count;
    }
}

void EmitRow(const ScaleJob& job, ShrinkLane& lane, uint32_t row) {
    uint8_t* out = lane.dst + row * job.dstPitch;
    tagRGBQUAD colour{255, 255, 255, 0};
    for (ColumnSums& s : lane.sums) {
        if (s.count) {  // a column without pixels repeats the previous colour
            colour = {static_cast<uint8_t>(s.blue / s.count), static_cast<uint8_t>(s.green / s.count),
                      static_cast<uint8_t>(s.red / s.count), 0};
        }
        StoreToned(out, job.dstBytes, colour, lane.tone);
        out += job.dstBytes;
        s = ColumnSums{};
    }
}

// Copies the kept rectangle's pixels at full size, from its scaled position on.
void CopyKept(const ScaleJob& job, const ShrinkLane& lane, const tagRECT& keep) {
    const int64_t left = std::max<int64_t>(keep.left, 0);
    const int64_t top = std::max<int64_t>(keep.top, 0);
    const int64_t right = std::min<int64_t>(keep.right, job.srcWidth - 1);
    const int64_t bottom = std::min<int64_t>(keep.bottom, job.srcHeight - 1);
    const float xScale = static_cast<float>(job.srcWidth) / static_cast<float>(job.dstWidth);
    const float yScale = static_cast<float>(job.srcHeight) / static_cast<float>(job.dstHeight);
    const int64_t col0 = SampleIndex(keep.left / xScale);
    const int64_t row0 = SampleIndex(keep.top / yScale);
    for (int64_t y = top; y <= bottom; ++y) {
        const int64_t dy = row0 + (y - keep.top);
        if (dy < 0 || dy >= job.dstHeight) continue;
        for (int64_t x = left; x <= right; ++x) {
            const int64_t dx = col0 + (x - keep.left);
            if (dx < 0 || dx >= job.dstWidth) continue;
            const uint8_t* p = job.SrcPixel(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
            const tagRGBQUAD c = job.srcBytes == 3 ? tagRGBQUAD{p[0], p[1], p[2], 0}
                                                   : tagRGBQUAD{p[0], p[0], p[0], 0};
            StoreToned(lane.dst + dy * job.dstPitch + dx * job.dstBytes, job.dstBytes, c, lane.tone);
        }
    }
}

}  // namespace

int32_t CBmpProcessing::InvoicQIShrinkImg2(uint32_t dwSrcWidth, uint32_t dwSrcHeight,
                                           uint32_t dwSrcBpp, uint32_t dwSrcStride,
                                           const uint8_t* pSrc, const uint8_t* pSrc2,
                                           uint32_t dwDstWidth, uint32_t dwDstHeight,
                                           uint32_t dwDstBpp, uint8_t** ppDst, uint8_t** ppDst2,
                                           uint32_t dwDstSize, tagColorCFG colorCfg,
                                           tagColorCFG colorCfg2, tagRECT keepRect) {
    if (!pSrc || !ppDst || !*ppDst) return 0;
    ScaleJob job;
    if (!MakeScaleJob(dwSrcWidth, dwSrcHeight, dwSrcBpp, dwSrcStride, pSrc, dwDstWidth,
                      dwDstHeight, dwDstBpp == 24 ? 3 : 1, dwDstSize, job)) {
        return 0;
    }
    std::vector<ShrinkLane> lanes;
    lanes.push_back({pSrc, *ppDst, ToneMapper(*this, colorCfg), {}});
    if (pSrc2 && ppDst2 && *ppDst2) lanes.push_back({pSrc2, *ppDst2, ToneMapper(*this, colorCfg2), {}});
    for (ShrinkLane& lane : lanes) lane.sums.assign(job.dstWidth, ColumnSums{});

    // Column rule: after adding a pixel, move on once the accumulator exceeds the source
    // width. It is the same for every row, so it is worked out once.
    std::vector<uint32_t> columnOf(job.srcWidth);
    uint64_t columnAcc = 0;
    uint32_t column = 0;
    for (uint32_t x = 0; x < job.srcWidth; ++x) {
        columnAcc += job.dstWidth;
        columnOf[x] = std::min(column, job.dstWidth - 1);
        if (columnAcc > job.srcWidth) {
            ++column;
            columnAcc -= job.srcWidth;
        }
    }

    const bool keepActive = keepRect.right > keepRect.left && keepRect.bottom > keepRect.top &&
                            keepRect.right > 0 && keepRect.bottom > 0;
    // Row rule: emit a destination row once the accumulator reaches the source height.
    uint64_t rowAcc = 0;
    uint32_t dstRow = 0;
    for (uint32_t y = 0; y < job.srcHeight && dstRow < job.dstHeight; ++y) {
        for (ShrinkLane& lane : lanes) AccumulateRow(job, lane, columnOf, y, keepRect, keepActive);
        rowAcc += job.dstHeight;
        if (rowAcc >= job.srcHeight) {
            rowAcc -= job.srcHeight;
            for (ShrinkLane& lane : lanes) EmitRow(job, lane, dstRow);
            ++dstRow;
        }
    }
    if (keepActive) {
        for (const ShrinkLane& lane : lanes) CopyKept(job, lane, keepRect);
    }
    return 1;
}

// The first interface of the shrink, kept for callers written against it.
int32_t CBmpProcessing::InvoicQIShrinkImg(uint32_t dwSrcWidth, uint32_t dwSrcHeight,
                                          uint32_t dwSrcBpp, uint32_t dwSrcStride,
                                          const uint8_t* pSrc, const uint8_t* pSrc2,
                                          uint32_t dwDstWidth, uint32_t dwDstHeight,
                                          uint32_t dwDstBpp, uint8_t** ppDst, uint8_t** ppDst2,
                                          uint32_t dwDstSize, tagColorCFG colorCfg,
                                          tagColorCFG colorCfg2, tagRECT keepRect) {
    return InvoicQIShrinkImg2(dwSrcWidth, dwSrcHeight, dwSrcBpp, dwSrcStride, pSrc, pSrc2,
                              dwDstWidth, dwDstHeight, dwDstBpp, ppDst, ppDst2, dwDstSize,
                              colorCfg, colorCfg2, keepRect);
}
