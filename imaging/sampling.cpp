// Sampling primitives of CBmpProcessing over the stored source image: pixel reads with
// an overflow rule for positions outside it, point interpolation and area averaging.
#include <algorithm>
#include <cmath>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/kernels.h"
#include "imaging/xrect.h"

using namespace mx_imaging;

namespace {

constexpr tagRGBQUAD kWhite{255, 255, 255, 0};

enum Overflow { kBackground = 0, kWhiteKeepReserved = 2, kWrap = 4, kClamp = 5, kMirror = 6 };

int64_t Wrap(int64_t v, int64_t n) { return ((v % n) + n) % n; }

int64_t Mirror(int64_t v, int64_t n) {
    if (v < 0) return (-v) % n;
    if (v >= n) return n - (v % n + 1);
    return v;
}

float KernelFor(int method, float d) {
    switch (method) {
        case 3: return KernelBSpline(d);
        case 4: return KernelCubic(d);
        case 5: return KernelGeneralizedCubic(d, -0.5f);
        case 6: return KernelLanczosSinc(d, 6.0f);
        case 7: return KernelBox(d);
        case 8: return KernelHermite(d);
        case 9: return KernelHamming(d);
        case 10: return KernelSinc(d);
        case 11: return KernelBlackman(d);
        case 12: return KernelBessel(d);
        case 13: return KernelGaussian(d);
        case 14: return KernelQuadratic(d);
        case 15: return KernelMitchell(d);
        case 16: return KernelCatrom(d);
        case 17: return KernelHanning(d);
        default: return KernelPower(d, 2.0f);  // method 18
    }
}

bool IsKernelMethod(int method) { return method >= 3 && method <= 18; }

}  // namespace

void CBmpProcessing::SetSamplingSource(const uint8_t* pBits, uint32_t dwWidth, uint32_t dwHeight,
                                       uint32_t dwBitsPerPixel, uint32_t dwStride) {
    m_SrcHeader = tagBITMAPINFOHEADER{};
    m_SrcHeader.biSize = sizeof(tagBITMAPINFOHEADER);
    m_SrcHeader.biWidth = static_cast<int32_t>(std::min(dwWidth, kMaxDimension));
    m_SrcHeader.biHeight = static_cast<int32_t>(std::min(dwHeight, kMaxDimension));
    m_SrcHeader.biPlanes = 1;
    m_SrcHeader.biBitCount = static_cast<uint16_t>(dwBitsPerPixel);
    m_SrcHeader.biSizeImage = static_cast<uint32_t>(
        std::min<uint64_t>(ImageBytes(m_SrcHeader.biHeight, dwStride), kMaxImageBytes));
    m_SrcStride = dwStride;
    // Only 8 and 24-bit pixels can be read; anything else samples as "no source".
    const bool readable = (dwBitsPerPixel == 8 && dwStride >= dwWidth) ||
                          (dwBitsPerPixel == 24 && dwStride >= uint64_t{dwWidth} * 3);
    m_SrcBits = readable ? pBits : nullptr;
}

tagRGBQUAD CBmpProcessing::ReadPixel(int32_t x, int32_t y) const {
    const uint8_t* p = m_SrcBits + static_cast<size_t>(y) * m_SrcStride;
    tagRGBQUAD c;
    if (m_SrcHeader.biBitCount == 24) {
        p += static_cast<size_t>(x) * 3;
        c = {p[0], p[1], p[2], 0};
    } else {
        c = {p[x], p[x], p[x], 0};
    }
    // Near-white reads as white, so that paper noise never turns into dots.
    if (c.rgbBlue >= 251 && c.rgbGreen >= 251 && c.rgbRed >= 251) return kWhite;
    return c;
}

void CBmpProcessing::OverflowCoordinates(int32_t& x, int32_t& y, int32_t nOverflowMethod) const {
    const int64_t w = m_SrcHeader.biWidth;
    const int64_t h = m_SrcHeader.biHeight;
    if (w <= 0 || h <= 0) return;
    switch (nOverflowMethod) {
        case kWrap:
            x = static_cast<int32_t>(Wrap(x, w));
            y = static_cast<int32_t>(Wrap(y, h));
            break;
        case kClamp:
            x = static_cast<int32_t>(std::clamp<int64_t>(x, 0, w - 1));
            y = static_cast<int32_t>(std::clamp<int64_t>(y, 0, h - 1));
            break;
        case kMirror:
            x = static_cast<int32_t>(Mirror(x, w));
            y = static_cast<int32_t>(Mirror(y, h));
            break;
        default: break;
    }
}

tagRGBQUAD CBmpProcessing::GetPixelColorWithOverflow(int32_t x, int32_t y, int32_t nOverflowMethod,
                                                     const tagRGBQUAD* pBackground) const {
    const bool haveSource = m_SrcBits && m_SrcHeader.biWidth > 0 && m_SrcHeader.biHeight > 0;
    if (haveSource && x >= 0 && y >= 0 && x < m_SrcHeader.biWidth && y < m_SrcHeader.biHeight) {
        return ReadPixel(x, y);
    }
    const tagRGBQUAD background = pBackground ? *pBackground : kWhite;
    switch (nOverflowMethod) {
        case kWhiteKeepReserved:
        case kWhiteKeepReserved + 1:
            return {255, 255, 255, background.rgbReserved};
        case kWrap:
        case kClamp:
        case kMirror:
            if (!haveSource) return background;
            OverflowCoordinates(x, y, nOverflowMethod);
            return ReadPixel(x, y);
        default: return background;
    }
}

tagRGBQUAD CBmpProcessing::GetPixelColorInterpolated(float x, float y, int32_t nInterpolationMethod,
                                                     int32_t nOverflowMethod,
                                                     const tagRGBQUAD* pBackground) const {
    const auto read = [&](int32_t px, int32_t py) {
        return GetPixelColorWithOverflow(px, py, nOverflowMethod, pBackground);
    };
    if (!std::isfinite(x) || !std::isfinite(y)) return read(SampleIndex(x), SampleIndex(y));
    if (nInterpolationMethod == 1) {  // nearest neighbour
        return read(SampleIndex(static_cast<double>(x) + 0.5), SampleIndex(static_cast<double>(y) + 0.5));
    }
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int32_t x0 = SampleIndex(fx);
    const int32_t y0 = SampleIndex(fy);

    if (!IsKernelMethod(nInterpolationMethod)) {  // bilinear in 1/256 steps
        const int wx = static_cast<int>((x - fx) * 256.0f);
        const int wy = static_cast<int>((y - fy) * 256.0f);
        const int w11 = (wx * wy) >> 8;
        const int w10 = wx - w11;
        const int w01 = wy - w11;
        const int w00 = 256 - wx - wy + w11;
        const tagRGBQUAD p00 = read(x0, y0), p10 = read(x0 + 1, y0);
        const tagRGBQUAD p01 = read(x0, y0 + 1), p11 = read(x0 + 1, y0 + 1);
        const auto mix = [&](uint8_t tagRGBQUAD::*ch) {
            return static_cast<uint8_t>(
                (w00 * (p00.*ch) + w10 * (p10.*ch) + w01 * (p01.*ch) + w11 * (p11.*ch)) >> 8);
        };
        return {mix(&tagRGBQUAD::rgbBlue), mix(&tagRGBQUAD::rgbGreen), mix(&tagRGBQUAD::rgbRed), 0};
    }

    // Lanczos reaches 6 pixels out, every other kernel 2; weights are separable.
    const int radius = nInterpolationMethod == 6 ? 6 : 2;
    const int taps = 2 * radius;
    float wx[12], wy[12];
    for (int k = 0; k < taps; ++k) {
        const int offset = k - radius + 1;
        wx[k] = KernelFor(nInterpolationMethod, (fx + offset) - x);
        wy[k] = KernelFor(nInterpolationMethod, (fy + offset) - y);
    }
    const int64_t firstX = int64_t{x0} - radius + 1, firstY = int64_t{y0} - radius + 1;
    const bool direct = m_SrcBits && m_SrcHeader.biBitCount == 24 && firstX >= 0 && firstY >= 0 &&
                        firstX + taps <= m_SrcHeader.biWidth && firstY + taps <= m_SrcHeader.biHeight;
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int j = 0; j < taps; ++j) {
        for (int i = 0; i < taps; ++i) {
            const float w = wx[i] * wy[j];
            const int32_t px = static_cast<int32_t>(firstX + i), py = static_cast<int32_t>(firstY + j);
            if (direct) {  // raw bytes: the near-white rule belongs to the overflow reader
                const uint8_t* p = m_SrcBits + static_cast<size_t>(py) * m_SrcStride + size_t(px) * 3;
                sum[0] += w * p[0];
                sum[1] += w * p[1];
                sum[2] += w * p[2];
            } else {
                const tagRGBQUAD c = read(px, py);
                sum[0] += w * c.rgbBlue;
                sum[1] += w * c.rgbGreen;
                sum[2] += w * c.rgbRed;
            }
        }
    }
    return {ClampToByte(sum[0]), ClampToByte(sum[1]), ClampToByte(sum[2]), 0};
}

tagRGBQUAD CBmpProcessing::GetAreaColorInterpolated(float xCentre, float yCentre, float fWidth,
                                                    float fHeight, int32_t nInterpolationMethod,
                                                    int32_t nOverflowMethod,
                                                    const tagRGBQUAD* pBackground) const {
    const auto point = [&] {
        return GetPixelColorInterpolated(xCentre, yCentre, nInterpolationMethod, nOverflowMethod,
                                         pBackground);
    };
    if (fWidth <= 1.0f && fHeight <= 1.0f) return point();
    // A box beyond any image (or not a number) has no pixels to average.
    constexpr float kFar = static_cast<float>(kMaxDimension);
    if (!(std::fabs(xCentre) < kFar && std::fabs(yCentre) < kFar && fWidth < kFar &&
          fHeight < kFar && double(fWidth + 2) * (fHeight + 2) < double(kMaxImageBytes))) {
        return point();
    }
    const CxRect2 box(xCentre - fWidth / 2, yCentre - fHeight / 2, xCentre + fWidth / 2,
                      yCentre + fHeight / 2);
    const float area = box.Surface();
    if (!(area > 0.0f)) return point();

    const int32_t xs = static_cast<int32_t>(box.left + 0.5f), xe = static_cast<int32_t>(box.right + 0.5f);
    const int32_t ys = static_cast<int32_t>(box.top + 0.5f), ye = static_cast<int32_t>(box.bottom + 0.5f);
    const bool bothWide = fWidth > 1.0f && fHeight > 1.0f;
    float red = 0.0f, green = 0.0f, blue = 0.0f, unused = 0.0f;
    for (int32_t y = ys; y <= ye; ++y) {
        for (int32_t x = xs; x <= xe; ++x) {
            const CxRect2 square(x - 0.5f, y - 0.5f, x + 0.5f, y + 0.5f);
            const CxRect2 part = square.CrossSection(box);
            if (bothWide) {
                AddAveragingCont(GetPixelColorWithOverflow(x, y, nOverflowMethod, pBackground),
                                 part.Surface(), red, green, blue, unused);
            } else {
                const CxPoint2 c = part.Center();
                AddAveragingCont(GetPixelColorInterpolated(c.x, c.y, nInterpolationMethod,
                                                           nOverflowMethod, pBackground),
                                 part.Surface(), red, green, blue, unused);
            }
        }
    }
    return {ClampToByte(blue / area), ClampToByte(green / area), ClampToByte(red / area), 0};
}
