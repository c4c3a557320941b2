// CoverBMP2OutputFormat: turns a page into the 8-bit grey image that is halftoned,
// rotating, tone-mapping and (for the label filters) cropping it to the printed content.
//
// The work is done in two passes over the source. The first finds the content box from
// the first and last ink pixel of each row (white margins are skipped a word at a time).
// The second converts only the source pixels that land in the result, straight into the
// output buffer: every orientation is an affine map x = a*i + b*j + c, so a row of source
// pixels becomes a run of output bytes with a fixed step, and quarter turns walk the
// source in bands so that the scattered output rows stay in cache.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/tone_mapper.h"
#include "imaging/variant_rules.h"

using namespace mx_imaging;

namespace {

constexpr uint8_t kPaper = 250;  // raw channels at or above this are paper, not ink

// ---- Source and frame geometry -------------------------------------------------------

struct Source {
    const uint8_t* bits;
    int64_t width, height, stride;
    int bytes;  // per pixel: 1 or 3
    const uint8_t* Row(int64_t i) const { return bits + i * stride; }
};

// One frame coordinate as a function of source row i and column j.
struct Axis {
    int64_t perRow, perCol, offset;
    int64_t At(int64_t i, int64_t j) const { return perRow * i + perCol * j + offset; }
};

struct FrameMap {
    Axis x, y;
    bool quarter;  // x follows the source row and y the source column
    const Axis& RowAxis() const { return quarter ? x : y; }
    const Axis& ColAxis() const { return quarter ? y : x; }
};

FrameMap MapFor(int32_t orientation, int64_t w, int64_t h) {
    switch (orientation) {
        case 0: return {{1, 0, 0}, {0, -1, w - 1}, true};        // quarter turn anticlockwise
        case 1: return {{0, -1, w - 1}, {-1, 0, h - 1}, false};  // half turn
        case 2: return {{-1, 0, h - 1}, {0, 1, 0}, true};        // quarter turn clockwise
        default: return {{0, 1, 0}, {1, 0, 0}, false};           // as it is
    }
}

struct Span {
    int64_t begin, end;  // half-open
    bool empty() const { return end <= begin; }
};

// The indices k in [0, n) for which step * k + offset (step +1 or -1) lies in [lo, hi).
Span IndexRange(int64_t step, int64_t offset, int64_t lo, int64_t hi, int64_t n) {
    const Span s = step > 0 ? Span{lo - offset, hi - offset} : Span{offset - hi + 1, offset - lo + 1};
    return {std::max<int64_t>(s.begin, 0), std::min(s.end, n)};
}

// ---- Content box ------------------------------------------------------------------------

// Flags, in each byte's top bit, the bytes of a word that are ink (below kPaper):
// b < 250 exactly when ~b >= 6, and adding 122 to the low seven bits carries into the top
// bit exactly for 6..127 without touching the next byte.
uint64_t InkBytes(uint64_t word) {
    const uint64_t x = ~word;
    return (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7A7A7A7A7A7A7A7Aull) | x) & 0x8080808080808080ull;
}

uint64_t LoadWord(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Byte offset within a word of the lowest / highest flagged byte in memory order.
int FirstFlagged(uint64_t m) {
    return (std::endian::native == std::endian::little ? std::countr_zero(m) : std::countl_zero(m)) / 8;
}
int LastFlagged(uint64_t m) {
    return 7 - (std::endian::native == std::endian::little ? std::countl_zero(m) : std::countr_zero(m)) / 8;
}

constexpr int64_t kNone = -1;

// Index of the first ink byte in p[0..n), or kNone.
int64_t FirstInkByte(const uint8_t* p, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        if (const uint64_t m = InkBytes(LoadWord(p + i))) return i + FirstFlagged(m);
    }
    for (; i < n; ++i) {
        if (p[i] < kPaper) return i;
    }
    return kNone;
}

int64_t LastInkByte(const uint8_t* p, int64_t n) {
    int64_t i = n;
    for (; i >= 8; i -= 8) {
        if (const uint64_t m = InkBytes(LoadWord(p + i - 8))) return i - 8 + LastFlagged(m);
    }
    while (i > 0) {
        if (p[--i] < kPaper) return i;
    }
    return kNone;
}

// A pixel is ink when any of its bytes is, so pixel indices follow from byte indices.
int64_t FirstInk(const Source& s, const uint8_t* row, Span cols) {
    const int64_t b = FirstInkByte(row + cols.begin * s.bytes, (cols.end - cols.begin) * s.bytes);
    return b == kNone ? kNone : cols.begin + b / s.bytes;
}

int64_t LastInk(const Source& s, const uint8_t* row, Span cols) {
    const int64_t b = LastInkByte(row + cols.begin * s.bytes, (cols.end - cols.begin) * s.bytes);
    return b == kNone ? kNone : cols.begin + b / s.bytes;
}

struct Range {
    int64_t lo = std::numeric_limits<int64_t>::max();
    int64_t hi = -1;
    void Take(int64_t v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    bool empty() const { return hi < 0; }
};

struct Box {
    Range x, y;
    bool empty() const { return x.empty() || y.empty(); }
};

// The frame positions of the pixels that count: each coordinate is taken in only while
// it lies inside the working frame, and with skipWhite only ink pixels count.
Box FindBox(const Source& src, const FrameMap& map, int64_t frameW, int64_t frameH, bool skipWhite) {
    const Axis& rowAxis = map.RowAxis();
    const Axis& colAxis = map.ColAxis();
    const int64_t rowLimit = map.quarter ? frameW : frameH;
    const int64_t colLimit = map.quarter ? frameH : frameW;
    const Span visible = IndexRange(colAxis.perCol, colAxis.offset, 0, colLimit, src.width);
    Range rowRange, colRange;
    for (int64_t i = 0; i < src.height; ++i) {
        const int64_t rc = rowAxis.At(i, 0);
        const bool rowInside = rc >= 0 && rc < rowLimit;
        int64_t first = visible.empty() ? kNone : visible.begin;
        int64_t last = visible.end - 1;
        bool any = src.width > 0;
        if (skipWhite) {
            const uint8_t* row = src.Row(i);
            first = visible.empty() ? kNone : FirstInk(src, row, visible);
            if (first != kNone) last = LastInk(src, row, {first, visible.end});
            any = first != kNone;
            if (!any && rowInside) {  // ink outside the frame still counts for the row
                any = FirstInk(src, row, {0, visible.empty() ? src.width : visible.begin}) != kNone ||
                      (!visible.empty() && FirstInk(src, row, {visible.end, src.width}) != kNone);
            }
        }
        if (any && rowInside) rowRange.Take(rc);
        if (first != kNone) {
            colRange.Take(colAxis.At(0, first));
            colRange.Take(colAxis.At(0, last));
        }
    }
    return map.quarter ? Box{rowRange, colRange} : Box{colRange, rowRange};
}

// ---- Pixel conversion ---------------------------------------------------------------------

// Grey of a raw pixel in one table pass. Each table entry packs the channel's weighted
// mapped value (bits 0-15), whether the mapped value is near white (bit 16) and whether
// the raw value is paper (bit 20), so that three lookups and an add decide everything.
struct GreyConverter {
    std::array<uint32_t, 256> byte0{}, byte1{}, byte2{};
    std::array<uint8_t, 256> grey8{};
    uint8_t black = 0;  // pure black bypasses brightness/contrast

    uint8_t Grey(uint8_t b0, uint8_t b1, uint8_t b2) const {
        const uint32_t s = byte0[b0] + byte1[b1] + byte2[b2];
        const bool white = (s >> 20) == 3 || ((s >> 16) & 0xF) == 3;
        const uint8_t g = white ? 255 : static_cast<uint8_t>((s & 0xFFFF) >> 5);
        return (b0 | b1 | b2) ? g : black;
    }
};

using ByteMap = std::array<uint8_t, 256>;

struct Rgb3 {
    uint8_t b0, b1, b2;
};

// map0..map2 are the tone curves of bytes 0..2 (blue, green, red); `black` is what pure
// black maps to, since Light leaves it alone.
GreyConverter MakeConverter(const ByteMap& map0, const ByteMap& map1, const ByteMap& map2,
                            Rgb3 black, bool mappedNearWhiteIsWhite) {
    GreyConverter c;
    const auto entry = [&](uint32_t weight, uint8_t mapped, int raw) {
        const uint32_t nearWhite = mappedNearWhiteIsWhite && mapped >= kPaper ? 1u : 0u;
        return weight * mapped | nearWhite << 16 | uint32_t{raw >= kPaper} << 20;
    };
    for (int v = 0; v < 256; ++v) {
        c.byte0[v] = entry(5, map0[v], v);
        c.byte1[v] = entry(16, map1[v], v);
        c.byte2[v] = entry(11, map2[v], v);
    }
    const bool blackIsWhite = mappedNearWhiteIsWhite && black.b0 >= kPaper && black.b1 >= kPaper &&
                              black.b2 >= kPaper;
    c.black = blackIsWhite ? 255 : GreyOf(black.b2, black.b1, black.b0);
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<uint8_t>(v);
        c.grey8[v] = c.Grey(b, b, b);
    }
    return c;
}

ByteMap Curve(const uint8_t* levels, const uint16_t* light = nullptr) {
    ByteMap m{};
    for (int v = 0; v < 256; ++v) m[v] = light ? levels[light[v]] : levels[v];
    return m;
}

// Label rule: Light (when brightness or contrast is set), then levels slot 0 on every
// channel, and a result that is near white on all three channels is white.
GreyConverter LabelConverter(const CBmpProcessing& bmp, bool useLight) {
    const uint8_t* levels = bmp.LevelsTable(0);
    const ByteMap toned = Curve(levels, useLight ? bmp.LightTable() : nullptr);
    return MakeConverter(toned, toned, toned, {levels[0], levels[0], levels[0]}, true);
}

// Receipt rule: red through slot 0, green through slot 1, blue through slot 2.
GreyConverter ReceiptConverter(const CBmpProcessing& bmp) {
    const ByteMap red = Curve(bmp.LevelsTable(0));
    const ByteMap green = Curve(bmp.LevelsTable(1));
    const ByteMap blue = Curve(bmp.LevelsTable(2));
    return MakeConverter(blue, green, red, {blue[0], green[0], red[0]}, false);
}

// ---- Traversal -----------------------------------------------------------------------------

// Where frame position (x, y) lives in an output buffer.
struct Target {
    uint8_t* data;
    int64_t stride;
    int64_t bytes;  // per pixel
    int64_t originX, originY;
};

// Calls put(source pixel, output pixel) for every source pixel that lands in the frame
// rectangle [xa, xb) x [ya, yb).
template <typename Put>
void Render(const Source& src, const FrameMap& map, Span xs, Span ys, const Target& t, Put put) {
    const Span rows = map.quarter ? IndexRange(map.x.perRow, map.x.offset, xs.begin, xs.end, src.height)
                                  : IndexRange(map.y.perRow, map.y.offset, ys.begin, ys.end, src.height);
    const Span cols = map.quarter ? IndexRange(map.y.perCol, map.y.offset, ys.begin, ys.end, src.width)
                                  : IndexRange(map.x.perCol, map.x.offset, xs.begin, xs.end, src.width);
    if (rows.empty() || cols.empty()) return;
    const int64_t di = map.y.perRow * t.stride + map.x.perRow * t.bytes;
    const int64_t dj = map.y.perCol * t.stride + map.x.perCol * t.bytes;
    const int64_t base = (map.y.offset - t.originY) * t.stride + (map.x.offset - t.originX) * t.bytes;
    // A quarter turn scatters one source row over many output rows; bands of 32 source
    // rows and 256 columns keep those output lines in the first-level cache.
    const int64_t band = map.quarter ? 32 : rows.end - rows.begin;
    const int64_t chunk = map.quarter ? 256 : cols.end - cols.begin;
    for (int64_t i0 = rows.begin; i0 < rows.end; i0 += band) {
        const int64_t i1 = std::min(i0 + band, rows.end);
        for (int64_t j0 = cols.begin; j0 < cols.end; j0 += chunk) {
            const int64_t j1 = std::min(j0 + chunk, cols.end);
            for (int64_t i = i0; i < i1; ++i) {
                const uint8_t* s = src.Row(i) + j0 * src.bytes;
                uint8_t* d = t.data + base + i * di + j0 * dj;
                for (int64_t j = j0; j < j1; ++j, s += src.bytes, d += dj) put(s, d);
            }
        }
    }
}

void RenderGrey(const Source& src, const FrameMap& map, Span xs, Span ys, const Target& t,
                const GreyConverter& conv) {
    if (src.bytes == 1) {
        Render(src, map, xs, ys, t, [&](const uint8_t* s, uint8_t* d) { *d = conv.grey8[*s]; });
    } else {
        Render(src, map, xs, ys, t,
               [&](const uint8_t* s, uint8_t* d) { *d = conv.Grey(s[0], s[1], s[2]); });
    }
}

// ---- Results -------------------------------------------------------------------------------

struct CoverJob {
    Source src;
    FrameMap map;
    int64_t frameW, frameH;  // working width (after the clip) and height
    tagBITMAPINFOHEADER* header;
    tagRECT* rect;
    uint8_t** ppOut;
    uint32_t* pOutSize;
};

int32_t EmptyResult(tagBITMAPINFOHEADER* header, tagRECT* rect) {
    *rect = tagRECT{0, 0, 0, 0};
    header->biBitCount = 8;
    header->biWidth = 0;
    header->biHeight = 0;
    header->biSizeImage = 0;
    return 1;
}

void Describe(const CoverJob& job, int64_t width, int64_t rows, uint64_t size) {
    job.header->biWidth = static_cast<int32_t>(width);
    job.header->biHeight = static_cast<int32_t>(rows);
    job.header->biBitCount = 8;
    job.header->biSizeImage = static_cast<uint32_t>(size);
}

// Label filters: crop to the content box, widths rounded to multiples of 8 so that the
// rows carry no padding (stride = width) and pack into whole bytes later.
int32_t CropToContent(const CoverJob& job, const Box& box, const GreyConverter& conv) {
    const int64_t left = box.x.lo & ~int64_t{7};
    const int64_t width = (box.x.hi - left + 1 + 7) & ~int64_t{7};
    const int64_t top = box.y.lo, bottom = box.y.hi;
    const int64_t rows = bottom - top + 1;
    const uint64_t size = ImageBytes(rows, width);
    if (size > kMaxImageBytes) return 0;
    *job.rect = tagRECT{static_cast<int32_t>(left), static_cast<int32_t>(top),
                        static_cast<int32_t>(left + width - 1), static_cast<int32_t>(bottom)};
    Describe(job, width, rows, size);

    OutBuffer out(job.ppOut, job.pOutSize, size, OutBuffer::Fill::None);
    if (!out.ok()) return 0;
    // Columns past the working width (the clip, or the rounding) are paper.
    const int64_t used = std::min(left + width, job.frameW) - left;
    RenderGrey(job.src, job.map, {left, left + used}, {top, bottom + 1},
               Target{out.data(), width, 1, left, top}, conv);
    for (int64_t r = 0; r < rows; ++r) std::memset(out.data() + r * width + used, 255, width - used);
    out.Commit();
    return 1;
}

// Receipt filter: the frame keeps its size; from the box's top row down and from its left
// column for the box width (rounded to 4 bytes), the converted pixels are copied in.
int32_t KeepFrame(const CoverJob& job, const Box& box, const GreyConverter& conv,
                  CBmpProcessing& bmp, int32_t brightness, int32_t contrast) {
    const int64_t stride = (job.frameW + 3) & ~int64_t{3};
    const uint64_t size = ImageBytes(job.frameH, stride);
    if (size > kMaxImageBytes) return 0;
    *job.rect = tagRECT{static_cast<int32_t>(box.x.lo), static_cast<int32_t>(box.y.lo),
                        static_cast<int32_t>(box.x.hi), static_cast<int32_t>(job.frameH - 1)};
    Describe(job, job.frameW, job.frameH, size);

    OutBuffer out(job.ppOut, job.pOutSize, size, OutBuffer::Fill::None);
    if (!out.ok()) return 0;
    std::memset(out.data(), 255, static_cast<size_t>(size));
    const int64_t copyWidth = std::min(((box.x.hi - box.x.lo + 4) / 4) * 4, stride);
    const Span xs{box.x.lo, std::min(box.x.lo + copyWidth, job.frameW)};
    const Span ys{box.y.lo, job.frameH};

    if (brightness == 0 && contrast == 0) {
        RenderGrey(job.src, job.map, xs, ys, Target{out.data(), stride, 1, 0, 0}, conv);
        out.Commit();
        return 1;
    }

    // Brightness and contrast pivot on the page's mean colour, so the mapped colours of
    // the whole frame are kept, adjusted, and only then turned into grey.
    const uint64_t colourSize = ImageBytes(job.frameH, job.frameW * 3);
    MallocBuffer colour = AllocateBuffer(colourSize, false);
    if (!colour) return 0;
    std::memset(colour.get(), 255, static_cast<size_t>(colourSize));
    const uint8_t* red = bmp.LevelsTable(0);
    const uint8_t* green = bmp.LevelsTable(1);
    const uint8_t* blue = bmp.LevelsTable(2);
    const auto put = [&](uint8_t b0, uint8_t b1, uint8_t b2, uint8_t* d) {
        const bool paper = b0 >= kPaper && b1 >= kPaper && b2 >= kPaper;
        d[0] = paper ? 255 : blue[b0];
        d[1] = paper ? 255 : green[b1];
        d[2] = paper ? 255 : red[b2];
    };
    const Target whole{colour.get(), job.frameW * 3, 3, 0, 0};
    if (job.src.bytes == 1) {
        Render(job.src, job.map, {0, job.frameW}, {0, job.frameH}, whole,
               [&](const uint8_t* s, uint8_t* d) { put(s[0], s[0], s[0], d); });
    } else {
        Render(job.src, job.map, {0, job.frameW}, {0, job.frameH}, whole,
               [&](const uint8_t* s, uint8_t* d) { put(s[0], s[1], s[2], d); });
    }

    uint64_t sums[3] = {0, 0, 0};
    const uint8_t* c = colour.get();
    for (uint64_t k = 0; k < colourSize; k += 3) {
        sums[0] += c[k];
        sums[1] += c[k + 1];
        sums[2] += c[k + 2];
    }
    // Each channel's sum over three times the pixel count sets the pivot.
    const uint64_t divisor = 3 * static_cast<uint64_t>(job.frameW * job.frameH);
    const tagRGBQUAD reference{static_cast<uint8_t>(sums[0] / divisor),
                               static_cast<uint8_t>(sums[1] / divisor),
                               static_cast<uint8_t>(sums[2] / divisor), 0};
    uint8_t* adjusted = colour.get();
    bmp.AdjustBrightness(&adjusted, static_cast<uint32_t>(colourSize), reference, brightness,
                         contrast, 24);
    for (int64_t y = ys.begin; y < ys.end; ++y) {
        const uint8_t* p = colour.get() + (y * job.frameW + xs.begin) * 3;
        uint8_t* d = out.data() + y * stride;
        for (int64_t x = xs.begin; x < xs.end; ++x, p += 3) d[x] = GreyOf(p[2], p[1], p[0]);
    }
    out.Commit();
    return 1;
}

}  // namespace

int32_t CBmpProcessing::CoverBMP2OutputFormat(const uint8_t* pSrc, uint32_t dwSrcSize,
                                              uint8_t** ppOut, uint32_t* pdwOutSize,
                                              tagBITMAPINFOHEADER* pHeader, tagRECT* pRect,
                                              int32_t nOrientation, int32_t nXOffset,
                                              int32_t nYOffset, COLORLEVELSITEM levelsItem,
                                              bool, int32_t nBrightness, int32_t nContrast,
                                              int32_t nMaxOutputWidth, int16_t sSkipWhite) {
    if (!pSrc || !ppOut || !pdwOutSize || !pHeader || !pRect) return 0;
    const int bits = pHeader->biBitCount;
    const int64_t w = pHeader->biWidth, h = pHeader->biHeight;
    if ((bits != 8 && bits != 24) || !DimensionOk(w) || !DimensionOk(h)) return 0;
    const uint64_t stride = RowBytes(static_cast<uint64_t>(w), bits);
    if (ImageBytes(h, stride) > dwSrcSize) return 0;
    if (w == 0 || h == 0) return EmptyResult(pHeader, pRect);

    const bool receipt = RulesFor(m_Variant).coverKeepsFrame;
    CoverJob job{{pSrc, w, h, static_cast<int64_t>(stride), bits / 8},
                 MapFor(nOrientation, w, h), 0, 0, pHeader, pRect, ppOut, pdwOutSize};
    const int64_t fullWidth = job.map.quarter ? h : w;
    job.frameW = std::min<int64_t>(fullWidth, static_cast<uint32_t>(nMaxOutputWidth));
    job.frameH = job.map.quarter ? w : h;
    if (receipt) {
        // A frame narrower than the page keeps the page's middle.
        job.map.x.offset += nXOffset - (fullWidth - job.frameW) / 2;
        job.map.y.offset += nYOffset;
        SetColorLevelsData(&levelsItem, 3);
    }

    const Box box = FindBox(job.src, job.map, job.frameW, job.frameH, sSkipWhite != 0);
    if (box.empty()) return EmptyResult(pHeader, pRect);
    if (receipt) {
        return KeepFrame(job, box, ReceiptConverter(*this), *this, nBrightness, nContrast);
    }
    return CropToContent(job, box, LabelConverter(*this, nBrightness != 0 || nContrast != 0));
}
