// Geometry helpers of CBmpProcessing: quarter and half turns of a cropped image, dashing
// of solid black runs, blank-edge removal, rectangle copies, 1-bit expansion and path
// trimming.
#include <algorithm>
#include <cstring>
#include <cwchar>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"

using namespace mx_imaging;

namespace {

enum TurnMode : int16_t { kAnticlockwise = 0, kHalfTurn = 1, kClockwise = 2 };

}  // namespace

bool CBmpProcessing::RotateImgData(const uint8_t* pSrc, uint32_t dwSrcSize, tagRECT srcRect,
                                   tagBITMAPINFOHEADER* pHeader, int16_t sMode, uint8_t** ppOut,
                                   uint32_t* pdwOutSize, tagRECT* pOutRect) {
    if (!pSrc || !pHeader || pHeader->biBitCount == 1) return false;
    if (sMode != kAnticlockwise && sMode != kHalfTurn && sMode != kClockwise) return true;
    if (!ppOut || !pdwOutSize || !pOutRect) return false;

    const int64_t rw = int64_t{srcRect.right} - srcRect.left + 1;
    const int64_t rh = int64_t{srcRect.bottom} - srcRect.top + 1;
    if (rw <= 0 || rh <= 0 || !DimensionOk(rw) || !DimensionOk(rh)) return false;
    const uint32_t depth = pHeader->biBitCount;
    const uint64_t srcStride = RowBytes(static_cast<uint32_t>(rw), depth);
    if (ImageBytes(rh, srcStride) > dwSrcSize) return false;

    const bool quarter = sMode != kHalfTurn;
    const int64_t cols = quarter ? rh : rw;
    const int64_t rows = quarter ? rw : rh;
    const uint64_t stride = RowBytes(static_cast<uint32_t>(cols), depth);
    const uint64_t needed = ImageBytes(rows, stride);
    if (needed > kMaxImageBytes) return false;
    if (*ppOut && *pdwOutSize < needed) {
        *pdwOutSize = static_cast<uint32_t>(needed);
        return false;
    }
    OutBuffer out(ppOut, pdwOutSize, needed, OutBuffer::Fill::None);
    if (!out.ok()) return false;
    std::memset(out.data(), 255, static_cast<size_t>(needed));

    // Only whole-byte pixels are moved; other depths leave the result white.
    const int bytes = depth == 8 ? 1 : depth == 24 ? 3 : 0;
    if (bytes) {
        const int64_t ss = static_cast<int64_t>(srcStride);
        for (int64_t r = 0; r < rows; ++r) {
            // Source of result (r, 0) and the step to the source of (r, c + 1).
            const uint8_t* p;
            int64_t step;
            switch (sMode) {
                case kAnticlockwise: p = pSrc + (rw - 1 - r) * bytes; step = ss; break;
                case kHalfTurn: p = pSrc + (rh - 1 - r) * ss + (rw - 1) * bytes; step = -bytes; break;
                default: p = pSrc + (rh - 1) * ss + r * bytes; step = -ss; break;
            }
            uint8_t* d = out.data() + r * stride;
            for (int64_t c = 0; c < cols; ++c, p += step, d += bytes) std::memcpy(d, p, bytes);
        }
    }

    const int32_t w = pHeader->biWidth, h = pHeader->biHeight;
    const tagRECT& s = srcRect;
    tagRECT& o = *pOutRect;
    switch (sMode) {
        case kAnticlockwise:
            o.left = s.top;
            o.top = w - 1 - s.right + s.top;
            o.right = s.bottom;
            o.bottom = o.top + static_cast<int32_t>(rw) - 1;
            break;
        case kHalfTurn:
            o.left = s.left + w - 1 - s.right;
            o.top = s.top + h - 1 - s.bottom;
            o.right = o.left + static_cast<int32_t>(rw) - 1;
            o.bottom = o.top + static_cast<int32_t>(rh) - 1;
            break;
        default:
            o.left = s.top + h - 1 - s.bottom;
            o.top = s.left;
            o.right = o.left + static_cast<int32_t>(rh) - 1;
            o.bottom = s.right;
            break;
    }
    pHeader->biWidth = static_cast<int32_t>(cols);
    pHeader->biHeight = static_cast<int32_t>(rows);
    pHeader->biSizeImage = static_cast<uint32_t>(needed);
    out.Commit();
    return true;
}

int32_t CBmpProcessing::ResetBlackLineData(uint8_t* pRun, uint32_t dwRunLength, int16_t sBlack,
                                           int16_t sWhite, int16_t sBitsPerPixel) {
    if (!pRun) return 0;
    const int16_t period = static_cast<int16_t>(sBlack + sWhite);
    // A period or gap of zero (or less) has nothing to break the run with.
    if (period <= 0 || sWhite <= 0) return 1;
    if (sBitsPerPixel == 8) {
        // Gaps end at each multiple of the period; the last one only inside the run.
        for (uint64_t p = period; p < dwRunLength; p += period) {
            const uint64_t from = p > uint64_t(sWhite) ? p - sWhite : 0;
            std::memset(pRun + from, 255, static_cast<size_t>(p - from));
        }
    } else if (sBitsPerPixel == 1) {
        const uint64_t bits = uint64_t{dwRunLength} * 8;
        for (uint64_t p = period; p < bits; p += period) {
            const uint64_t end = std::min<uint64_t>(p + sWhite, bits);
            for (uint64_t b = p; b < end; ++b) pRun[b / 8] |= static_cast<uint8_t>(0x80 >> (b % 8));
        }
    }
    return 1;
}

namespace {

// Whether a pixel carries ink, for RemoveBlankEdge.
bool Printed(const uint8_t* row, uint32_t x, uint32_t depth) {
    switch (depth) {
        case 1: return ((row[x / 8] >> (7 - x % 8)) & 1) == 0;
        case 8: return row[x] < 251;
        default: {
            const uint8_t* p = row + static_cast<size_t>(x) * 3;
            return p[0] < 251 && p[1] < 251 && p[2] < 251;
        }
    }
}

}  // namespace

int32_t CBmpProcessing::RemoveBlankEdge(const uint8_t* pSrc, uint32_t dwSrcSize,
                                        const tagBITMAPINFOHEADER* pHeader, uint8_t** ppOut,
                                        uint32_t* pdwOutSize, tagRECT* pRect) {
    if (!pSrc || !pHeader || !ppOut || !pdwOutSize || !pRect) return 0;
    const uint32_t depth = pHeader->biBitCount;
    if (depth != 1 && depth != 8 && depth != 24) return 0;
    const int64_t w = pHeader->biWidth, h = pHeader->biHeight;
    if (w <= 0 || h <= 0 || !DimensionOk(w) || !DimensionOk(h)) return 0;
    const uint64_t srcStride = RowBytes(static_cast<uint32_t>(w), depth);
    if (ImageBytes(h, srcStride) > dwSrcSize) return 0;

    int64_t minX = w, maxX = -1, minY = h, maxY = -1;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* row = pSrc + y * srcStride;
        for (int64_t x = 0; x < w; ++x) {
            if (!Printed(row, static_cast<uint32_t>(x), depth)) continue;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    const bool blank = maxX < 0;
    tagRECT r;
    r.left = blank ? 0 : static_cast<int32_t>(minX & ~int64_t{7});
    r.top = blank ? 0 : static_cast<int32_t>(minY & ~int64_t{7});
    r.right = static_cast<int32_t>(blank ? w - 1 : maxX);
    r.bottom = static_cast<int32_t>(blank ? h - 1 : maxY);
    const int64_t width = (int64_t{r.right} - r.left + 1 + 7) & ~int64_t{7};
    r.right = static_cast<int32_t>(r.left + width - 1);
    const int64_t rows = int64_t{r.bottom} - r.top + 1;
    const uint64_t size = ImageBytes(rows, RowBytes(static_cast<uint32_t>(width), depth));
    *pRect = r;

    OutBuffer out(ppOut, pdwOutSize, size, OutBuffer::Fill::Zero);
    if (!out.ok()) return 0;
    if (depth == 8) Copy8BitImgBitRect(pSrc, static_cast<uint32_t>(w), out.data(), &r);
    out.Commit();
    return 1;
}

int32_t CBmpProcessing::Copy8BitImgBitRect(const uint8_t* pSrc, uint32_t dwSrcWidth, uint8_t* pDst,
                                           const tagRECT* pRect) {
    if (!pSrc || !pDst || !pRect) return 0;
    if (pRect->left < 0 || pRect->top < 0) return 0;  // would read before the image
    const int64_t pitch = (int64_t{pRect->right} - pRect->left + 1 + 7) & ~int64_t{7};
    if (pitch <= 0) return 1;
    const int64_t srcStride = RowBytes(dwSrcWidth, 8);
    // Each row stays inside its own source row, however wide the rectangle is.
    const int64_t bytes = std::clamp<int64_t>(srcStride - pRect->left, 0, pitch);
    for (int64_t y = pRect->top; y <= pRect->bottom; ++y) {
        std::memcpy(pDst + (y - pRect->top) * pitch, pSrc + y * srcStride + pRect->left,
                    static_cast<size_t>(bytes));
    }
    return 1;
}

int32_t CBmpProcessing::ConvertTo8BppBMP(const uint8_t* pBitmap, uint32_t dwBitmapSize,
                                         uint8_t** ppOut, uint32_t* pdwOutSize) {
    constexpr uint32_t kHeader = sizeof(tagBITMAPINFOHEADER);
    constexpr uint32_t kPalette = 2 * sizeof(tagRGBQUAD);
    if (!pBitmap || !ppOut || !pdwOutSize || dwBitmapSize < kHeader + kPalette) return 0;
    tagBITMAPINFOHEADER hdr;
    std::memcpy(&hdr, pBitmap, kHeader);
    if (hdr.biBitCount != 1 || hdr.biWidth <= 0 || hdr.biHeight <= 0) return 0;
    if (!DimensionOk(hdr.biWidth) || !DimensionOk(hdr.biHeight)) return 0;
    const uint64_t stride = RowBytes(static_cast<uint32_t>(hdr.biWidth), 1);
    if (hdr.biSizeImage > dwBitmapSize - kHeader - kPalette ||
        ImageBytes(hdr.biHeight, stride) > hdr.biSizeImage) {
        return 0;
    }
    tagRGBQUAD palette[2];
    std::memcpy(palette, pBitmap + kHeader, kPalette);
    const uint8_t* bits = pBitmap + dwBitmapSize - hdr.biSizeImage;

    const uint64_t size = ImageBytes(hdr.biHeight, static_cast<uint64_t>(hdr.biWidth));
    OutBuffer out(ppOut, pdwOutSize, size, OutBuffer::Fill::White);
    if (!out.ok()) return 0;
    const uint8_t shade[2] = {palette[0].rgbRed, palette[1].rgbRed};
    for (int64_t y = 0; y < hdr.biHeight; ++y) {
        const uint8_t* row = bits + y * stride;
        uint8_t* d = out.data() + y * hdr.biWidth;
        for (int64_t x = 0; x < hdr.biWidth; ++x) d[x] = shade[(row[x / 8] >> (7 - x % 8)) & 1];
    }
    out.Commit();
    return 1;
}

wchar_t* CBmpProcessing::TakeOffExtName(wchar_t* pszPath, bool bRemoveSeparator) {
    if (!pszPath) return nullptr;
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    size_t n = std::wcslen(pszPath);
    if (n == 0) return pszPath;
    if (separator(pszPath[n - 1])) {
        if (bRemoveSeparator) pszPath[n - 1] = L'\0';
        return pszPath;
    }
    while (n > 0 && !separator(pszPath[n - 1])) pszPath[--n] = L'\0';
    if (n > 0 && bRemoveSeparator) pszPath[n - 1] = L'\0';
    return pszPath;
}
