// Colour utilities of CBmpProcessing: full-range BT.601 YCbCr conversion in fixed point
// and three automatic white balance estimators. No filter calls them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"

using namespace mx_imaging;

namespace {

constexpr int64_t kHalf = 1 << 19;  // rounding term of the 20-bit fixed point

struct Rgb {
    int r, g, b;
};

// Packed pixels carry blue in the low byte, then green and red.
Rgb Unpack(uint32_t px) {
    return {static_cast<int>((px >> 16) & 0xFF), static_cast<int>((px >> 8) & 0xFF),
            static_cast<int>(px & 0xFF)};
}

uint32_t Pack(double r, double g, double b) {
    const auto chan = [](double v) { return static_cast<uint32_t>(ClampToByte(v)); };
    return (chan(r) << 16) | (chan(g) << 8) | chan(b);
}

YCbCrQUAD ToYCbCr(int r, int g, int b) {
    YCbCrQUAD q;
    q.Y = static_cast<int16_t>(((313524 * r + 615514 * g + 119538 * b + kHalf) >> 20) - 127);
    q.Cb = static_cast<int16_t>((-176932 * r - 347354 * g + kHalf * b + kHalf) >> 20);
    q.Cr = static_cast<int16_t>((kHalf * r - 439025 * g - 85261 * b + kHalf) >> 20);
    return q;
}

}  // namespace

void CBmpProcessing::RGB2YCbCr(const tagRGBQUAD* pPixels, int64_t nCount, YCbCrQUAD* pOut,
                               int64_t nOutCount) {
    if (!pPixels || !pOut || nCount <= 0 || nOutCount <= 0) return;
    const int64_t n = std::min(nCount, nOutCount);
    for (int64_t i = 0; i < n; ++i) {
        pOut[i] = ToYCbCr(pPixels[i].rgbRed, pPixels[i].rgbGreen, pPixels[i].rgbBlue);
    }
}

void CBmpProcessing::YCbCr2RGB(const YCbCrQUAD* pIn, int64_t nCount, tagRGBQUAD* pPixels,
                               int64_t nOutCount) {
    if (!pIn || !pPixels || nCount <= 0 || nCount != nOutCount) return;
    for (int64_t i = 0; i < nCount; ++i) {
        const int64_t y = pIn[i].Y + 127;
        const int64_t cb = pIn[i].Cb;
        const int64_t cr = pIn[i].Cr;
        pPixels[i].rgbRed = ClampInt(static_cast<int>(y + ((1470104 * cr + kHalf) >> 20)));
        pPixels[i].rgbGreen =
            ClampInt(static_cast<int>(y + ((-360856 * cb - 748829 * cr + kHalf) >> 20)));
        pPixels[i].rgbBlue = ClampInt(static_cast<int>(y + ((1858077 * cb + kHalf) >> 20)));
    }
}

int32_t CBmpProcessing::AutoWhiteBalanceGrayWorld(const uint32_t* pSrc, int64_t nCount,
                                                  uint32_t* pDst, int64_t nDstCount) {
    if (!pSrc || !pDst || nCount <= 0 || nDstCount <= 0) return 0;
    uint64_t sum[3] = {0, 0, 0};
    for (int64_t i = 0; i < nCount; ++i) {
        const Rgb c = Unpack(pSrc[i]);
        sum[0] += c.b;
        sum[1] += c.g;
        sum[2] += c.r;
    }
    const uint64_t mean[3] = {sum[0] / nCount, sum[1] / nCount, sum[2] / nCount};
    const double grey = (static_cast<double>(mean[0]) + mean[1] + mean[2]) / 3.0;
    // A channel without any weight has nothing to balance; it keeps its values.
    double gain[3];
    for (int k = 0; k < 3; ++k) gain[k] = mean[k] ? grey / mean[k] : 1.0;

    const int64_t n = std::min(nCount, nDstCount);
    for (int64_t i = 0; i < n; ++i) {
        const Rgb c = Unpack(pSrc[i]);
        pDst[i] = Pack(c.r * gain[2], c.g * gain[1], c.b * gain[0]);
    }
    return 1;
}

int32_t CBmpProcessing::AutoWhiteBalancePerfectReflector(const uint32_t* pSrc, int64_t nCount,
                                                         uint32_t* pRef, int64_t nRefCount,
                                                         int32_t nPercentage) {
    if (!pSrc || !pRef || nCount <= 0 || nRefCount <= 0) return 0;
    const int64_t n = std::min(nCount, nRefCount);
    std::array<int64_t, 768> hist{};
    int64_t brightest = 0;
    int bestSum = -1;
    for (int64_t i = 0; i < nRefCount; ++i) {
        const Rgb c = Unpack(pRef[i]);
        const int s = c.r + c.g + c.b;
        ++hist[s];
        if (s > bestSum) {
            bestSum = s;
            brightest = i;
        }
    }
    // The brightest reference position must exist in the source as well.
    const Rgb white = Unpack(pSrc[std::min(brightest, nCount - 1)]);

    const double wanted = static_cast<double>(nPercentage) * nCount / 100.0;
    int threshold = 0;
    int64_t accumulated = 0;
    for (int s = 767; s >= 0; --s) {
        accumulated += hist[s];
        if (accumulated > wanted) {
            threshold = s;
            break;
        }
    }

    double avg[3] = {0, 0, 0};
    int64_t used = 0;
    for (int64_t i = 0; i < n; ++i) {
        const Rgb r = Unpack(pRef[i]);
        if (r.r + r.g + r.b <= threshold) continue;
        const Rgb c = Unpack(pSrc[i]);
        avg[0] += c.r;
        avg[1] += c.g;
        avg[2] += c.b;
        ++used;
    }
    if (used == 0) return 1;  // no bright pixels to learn the white point from
    for (double& a : avg) a /= static_cast<double>(used);

    const auto scale = [](int v, int top, double average) {
        return average > 0.0 ? v * static_cast<double>(top) / average : static_cast<double>(v);
    };
    for (int64_t i = 0; i < n; ++i) {
        const Rgb c = Unpack(pSrc[i]);
        pRef[i] = Pack(scale(c.r, white.r, avg[0]), scale(c.g, white.g, avg[1]),
                       scale(c.b, white.b, avg[2]));
    }
    return 1;
}

namespace {

constexpr int64_t kBlock = 100;

struct BlockStats {
    double meanCb = 0, meanCr = 0, devCb = 0, devCr = 0;
};

BlockStats MeasureBlock(const std::vector<YCbCrQUAD>& ycc, int64_t width, int64_t x0, int64_t y0,
                        int64_t x1, int64_t y1) {
    BlockStats s;
    const double count = static_cast<double>((x1 - x0) * (y1 - y0));
    for (int64_t y = y0; y < y1; ++y) {
        for (int64_t x = x0; x < x1; ++x) {
            s.meanCb += ycc[y * width + x].Cb;
            s.meanCr += ycc[y * width + x].Cr;
        }
    }
    s.meanCb /= count;
    s.meanCr /= count;
    for (int64_t y = y0; y < y1; ++y) {
        for (int64_t x = x0; x < x1; ++x) {
            s.devCb += std::fabs(ycc[y * width + x].Cb - s.meanCb);
            s.devCr += std::fabs(ycc[y * width + x].Cr - s.meanCr);
        }
    }
    s.devCb /= count;
    s.devCr /= count;
    return s;
}

// Near-white test of the block-statistics white point estimator: the chroma must lie
// close to the block's mean, pulled towards the side that the mean already leans to.
bool NearWhite(const YCbCrQUAD& q, const BlockStats& s) {
    const double sb = s.meanCb < 0 ? -1.0 : 1.0;
    const double sr = s.meanCr < 0 ? -1.0 : 1.0;
    return std::fabs(q.Cb - (s.meanCb + s.devCb * sb)) < 1.5 * s.devCb &&
           std::fabs(q.Cr - (1.5 * s.meanCr + s.devCr * sr)) < 1.5 * s.devCr;
}

}  // namespace

int32_t CBmpProcessing::AutoWhiteBalanceNovel(const uint32_t* pSrc, int64_t nCount, int64_t nWidth,
                                              int64_t nHeight, uint32_t* pDst, int64_t nDstCount) {
    if (!pSrc || !pDst || nCount <= 0 || nDstCount <= 0 || nCount != nDstCount) return 0;
    if (nWidth <= 0 || nHeight <= 0 || nCount % nWidth != 0 || nCount / nWidth != nHeight) {
        return 0;
    }

    std::vector<YCbCrQUAD> ycc(static_cast<size_t>(nCount));
    for (int64_t i = 0; i < nCount; ++i) {
        const Rgb c = Unpack(pSrc[i]);
        ycc[i] = ToYCbCr(c.r, c.g, c.b);
    }

    // Candidates from every block whose chroma varies at all (flat blocks say nothing).
    std::vector<int64_t> candidates;
    for (int64_t by = 0; by < nHeight; by += kBlock) {
        for (int64_t bx = 0; bx < nWidth; bx += kBlock) {
            const int64_t x1 = std::min(bx + kBlock, nWidth);
            const int64_t y1 = std::min(by + kBlock, nHeight);
            const BlockStats s = MeasureBlock(ycc, nWidth, bx, by, x1, y1);
            if (s.devCb <= 0.0 || s.devCr <= 0.0) continue;
            for (int64_t y = by; y < y1; ++y) {
                for (int64_t x = bx; x < x1; ++x) {
                    if (NearWhite(ycc[y * nWidth + x], s)) candidates.push_back(y * nWidth + x);
                }
            }
        }
    }

    double gain[3] = {1.0, 1.0, 1.0};  // red, green, blue
    if (!candidates.empty()) {
        // The brightest tenth of the candidates stands for the white point.
        const size_t keep = std::max<size_t>(1, candidates.size() / 10);
        std::partial_sort(candidates.begin(), candidates.begin() + keep, candidates.end(),
                          [&](int64_t a, int64_t b) { return ycc[a].Y > ycc[b].Y; });
        double avg[3] = {0, 0, 0};
        for (size_t k = 0; k < keep; ++k) {
            const Rgb c = Unpack(pSrc[candidates[k]]);
            avg[0] += c.r;
            avg[1] += c.g;
            avg[2] += c.b;
        }
        int maxY = -127;
        for (const YCbCrQUAD& q : ycc) maxY = std::max<int>(maxY, q.Y);
        const double top = maxY + 127.0;
        for (int k = 0; k < 3; ++k) {
            avg[k] /= static_cast<double>(keep);
            if (avg[k] > 0.0) gain[k] = top / avg[k];
        }
    }

    for (int64_t i = 0; i < nCount; ++i) {
        const Rgb c = Unpack(pSrc[i]);
        pDst[i] = Pack(c.r * gain[0], c.g * gain[1], c.b * gain[2]);
    }
    return 1;
}
