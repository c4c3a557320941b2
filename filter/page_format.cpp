#include "filter/page_format.h"

#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/bitmap_types.h"

namespace {

bool IsRgbSpace(unsigned space) {
    return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
}

bool IsGreySpace(unsigned space) {
    return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW;
}

bool ClassifyPixels(const cups_page_header2_t& h, RasterPixels& pixels) {
    if (RawField(h.cupsColorOrder) != CUPS_ORDER_CHUNKED) return false;
    const unsigned space = RawField(h.cupsColorSpace);
    if (h.cupsBitsPerPixel == 24 && h.cupsBitsPerColor == 8 && IsRgbSpace(space)) {
        pixels = RasterPixels::Rgb24;
    } else if (h.cupsBitsPerPixel == 8 && h.cupsBitsPerColor == 8 && IsGreySpace(space)) {
        pixels = RasterPixels::Grey8;
    } else if (h.cupsBitsPerPixel == 8 && h.cupsBitsPerColor == 8 && space == CUPS_CSPACE_K) {
        pixels = RasterPixels::Ink8;
    } else if (h.cupsBitsPerPixel == 1 && h.cupsBitsPerColor == 1 && IsGreySpace(space)) {
        pixels = RasterPixels::Grey1;
    } else if (h.cupsBitsPerPixel == 1 && h.cupsBitsPerColor == 1 && space == CUPS_CSPACE_K) {
        pixels = RasterPixels::Ink1;
    } else {
        return false;
    }
    return true;
}

std::string Format(const char* format, unsigned a, unsigned b, unsigned c, unsigned d = 0) {
    char text[256];
    std::snprintf(text, sizeof(text), format, a, b, c, d);
    return text;
}

}  // namespace

bool CheckPageHeader(const cups_page_header2_t& h, unsigned pageNumber, PageFormat& format,
                     std::string& error) {
    if (h.cupsWidth == 0 || h.cupsHeight == 0) {
        error = Format("Page %u has no pixels (%u x %u).", pageNumber, h.cupsWidth, h.cupsHeight);
        return false;
    }
    if (h.HWResolution[0] < 1 || h.HWResolution[0] > kMaxDpi || h.HWResolution[1] < 1 ||
        h.HWResolution[1] > kMaxDpi) {
        error = Format("Page %u has an unusable resolution (%u x %u dpi).", pageNumber,
                       h.HWResolution[0], h.HWResolution[1]);
        return false;
    }
    if (!ClassifyPixels(h, format.pixels)) {
        error = Format(
            "Page %u has an unsupported pixel format (%u bits per pixel, colour space %u, "
            "order %u).",
            pageNumber, h.cupsBitsPerPixel, RawField(h.cupsColorSpace), RawField(h.cupsColorOrder));
        return false;
    }
    const uint64_t rowBits = uint64_t{h.cupsWidth} * h.cupsBitsPerPixel;
    if (h.cupsBytesPerLine < (rowBits + 7) / 8 || h.cupsBytesPerLine > kMaxPageBytes) {
        error =
            Format("Page %u has an inconsistent line length (%u bytes for %u pixels of %u bits).",
                   pageNumber, h.cupsBytesPerLine, h.cupsWidth, h.cupsBitsPerPixel);
        return false;
    }
    const uint64_t stride = DibStride(h.cupsWidth, 24);
    const uint64_t size = stride * h.cupsHeight;
    const double widthMm = h.cupsWidth * 25.4 / h.HWResolution[0];
    const double lengthMm = h.cupsHeight * 25.4 / h.HWResolution[1];
    if (widthMm > kMaxPageWidthMm || lengthMm > kMaxPageLengthMm || size > kMaxInputPageBytes) {
        error = Format(
            "Page %u is too large to print (%u x %u pixels at %u dpi): a label or receipt printer "
            "prints pages up to 300 mm wide and 3 m long.",
            pageNumber, h.cupsWidth, h.cupsHeight, h.HWResolution[0]);
        return false;
    }
    format.width = h.cupsWidth;
    format.height = h.cupsHeight;
    format.bytesPerLine = h.cupsBytesPerLine;
    format.stride = static_cast<uint32_t>(stride);
    format.bufferSize = static_cast<uint32_t>(size);
    return true;
}

namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Sixteen pixels (three 16-byte vectors) at a time: each output vector is its own input
// shuffled, plus the one or two bytes of pixels that straddle the vector boundaries.
__attribute__((target("ssse3"))) uint32_t SwapRedAndBlueSsse3(uint8_t* p, uint32_t count) {
    constexpr char Z = static_cast<char>(0x80);  // a shuffle index that yields 0
    const __m128i maskA = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, Z);
    const __m128i maskAfromB = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 1);
    const __m128i maskB = _mm_setr_epi8(0, Z, 4, 3, 2, 7, 6, 5, 10, 9, 8, 13, 12, 11, Z, 15);
    const __m128i maskBfromA = _mm_setr_epi8(Z, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i maskBfromC = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 0, Z);
    const __m128i maskC = _mm_setr_epi8(Z, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13);
    const __m128i maskCfromB = _mm_setr_epi8(14, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    uint32_t x = 0;
    for (; x + 16 <= count; x += 16, p += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         _mm_or_si128(_mm_shuffle_epi8(a, maskA), _mm_shuffle_epi8(b, maskAfromB)));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(p + 16),
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, maskB), _mm_shuffle_epi8(a, maskBfromA)),
                         _mm_shuffle_epi8(c, maskBfromC)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32),
                         _mm_or_si128(_mm_shuffle_epi8(c, maskC), _mm_shuffle_epi8(b, maskCfromB)));
    }
    return x;
}
#endif

}  // namespace

void SwapRedAndBlue(uint8_t* p, uint32_t count) {
    uint32_t x = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        x = SwapRedAndBlueSsse3(p, count);
        p += uint64_t{x} * 3;
    }
#endif
    for (; x + 4 <= count; x += 4, p += 12) {
        std::swap(p[0], p[2]);
        std::swap(p[3], p[5]);
        std::swap(p[6], p[8]);
        std::swap(p[9], p[11]);
    }
    for (; x < count; ++x, p += 3) std::swap(p[0], p[2]);
}

void ConvertRowToBgr(const PageFormat& format, const uint8_t* in, uint8_t* out) {
    const uint32_t w = format.width;
    switch (format.pixels) {
        case RasterPixels::Rgb24:
            for (uint32_t x = 0; x < w; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            break;
        case RasterPixels::Grey8:
        case RasterPixels::Ink8: {
            const uint8_t flip = format.pixels == RasterPixels::Ink8 ? 0xFF : 0x00;
            for (uint32_t x = 0; x < w; ++x, out += 3) {
                const uint8_t v = in[x] ^ flip;
                out[0] = out[1] = out[2] = v;
            }
            break;
        }
        case RasterPixels::Grey1:
        case RasterPixels::Ink1: {
            const bool setIsWhite = format.pixels == RasterPixels::Grey1;
            for (uint32_t x = 0; x < w; ++x, out += 3) {
                const bool set = (in[x >> 3] >> (7 - (x & 7))) & 1;
                const uint8_t v = set == setIsWhite ? 0xFF : 0x00;
                out[0] = out[1] = out[2] = v;
            }
            break;
        }
    }
}
