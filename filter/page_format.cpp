#include "filter/page_format.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "imaging/bitmap_types.h"

namespace {

// Beyond any printer's resolution; keeps every later dpi computation in range.
constexpr unsigned kMaxDpi = 9600;

bool IsRgbSpace(unsigned space) {
    return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
}

bool IsGreySpace(unsigned space) { return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW; }

bool ClassifyPixels(const cups_page_header2_t& h, RasterPixels& pixels) {
    if (h.cupsColorOrder != CUPS_ORDER_CHUNKED) return false;
    const unsigned space = h.cupsColorSpace;
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
        error = Format("ERROR: Page %u has no pixels (%u x %u).\n", pageNumber, h.cupsWidth, h.cupsHeight);
        return false;
    }
    if (h.HWResolution[0] < 1 || h.HWResolution[0] > kMaxDpi || h.HWResolution[1] < 1 || h.HWResolution[1] > kMaxDpi) {
        error = Format("ERROR: Page %u has an unusable resolution (%u x %u dpi).\n", pageNumber, h.HWResolution[0],
                       h.HWResolution[1]);
        return false;
    }
    if (!ClassifyPixels(h, format.pixels)) {
        error = Format("ERROR: Page %u has an unsupported pixel format (%u bits per pixel, colour space %u, order %u).\n",
                       pageNumber, h.cupsBitsPerPixel, h.cupsColorSpace, h.cupsColorOrder);
        return false;
    }
    const uint64_t rowBits = uint64_t{h.cupsWidth} * h.cupsBitsPerPixel;
    if (h.cupsBytesPerLine < (rowBits + 7) / 8 || h.cupsBytesPerLine > kMaxPageBytes) {
        error = Format("ERROR: Page %u has an inconsistent line length (%u bytes for %u pixels of %u bits).\n",
                       pageNumber, h.cupsBytesPerLine, h.cupsWidth, h.cupsBitsPerPixel);
        return false;
    }
    const uint64_t stride = DibStride(h.cupsWidth, 24);
    const uint64_t size = stride * h.cupsHeight;
    if (stride > UINT32_MAX || size > kMaxPageBytes) {
        error = Format("ERROR: Page %u is too large to print (%u x %u pixels).\n", pageNumber, h.cupsWidth,
                       h.cupsHeight);
        return false;
    }
    format.width = h.cupsWidth;
    format.height = h.cupsHeight;
    format.bytesPerLine = h.cupsBytesPerLine;
    format.stride = static_cast<uint32_t>(stride);
    format.bufferSize = static_cast<uint32_t>(size);
    return true;
}

void SwapRedAndBlue(uint8_t* p, uint32_t count) {
    uint32_t x = 0;
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
