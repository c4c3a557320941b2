// CoverBMP2OutputFormat: turns a page into the 8-bit grey image that is halftoned,
// rotating, tone-mapping and (for the label filters) cropping it to the printed content.
//
// The work is done in two passes over the source. The first finds the content box from
// the first and last ink pixel of each row (white margins are skipped 32 bytes at a
// time). The second converts only the source pixels that land in the result, straight
// into the output buffer: every orientation is an affine map x = a*i + b*j + c, so a row
// of source pixels becomes a run of output bytes with a fixed step, and quarter turns
// walk the source in bands so that the scattered output rows stay in cache.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/cpu_features.h"
#include "imaging/label_grey.h"
#include "imaging/tone_mapper.h"
#include "imaging/variant_rules.h"
#include "imaging/word_scan.h"

using namespace mx_imaging;

namespace {

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
        case 0:
            return {{1, 0, 0}, {0, -1, w - 1}, true};  // quarter turn anticlockwise
        case 1:
            return {{0, -1, w - 1}, {-1, 0, h - 1}, false};  // half turn
        case 2:
            return {{-1, 0, h - 1}, {0, 1, 0}, true};  // quarter turn clockwise
        default:
            return {{0, 1, 0}, {1, 0, 0}, false};  // as it is
    }
}

struct Span {
    int64_t begin, end;  // half-open
    bool empty() const { return end <= begin; }
};

// The indices k in [0, n) for which step * k + offset (step +1 or -1) lies in [lo, hi).
Span IndexRange(int64_t step, int64_t offset, int64_t lo, int64_t hi, int64_t n) {
    const Span s =
        step > 0 ? Span{lo - offset, hi - offset} : Span{offset - hi + 1, offset - lo + 1};
    return {std::max<int64_t>(s.begin, 0), std::min(s.end, n)};
}

// ---- Content box ------------------------------------------------------------------------

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

// Per source row, the columns from its first to its last ink pixel (all the rest is
// paper); recorded while the box is measured so that the conversion can skip margins.
using InkColumns = std::vector<Span>;
constexpr int64_t kMaxTrackedRows = int64_t{1} << 20;

// The frame positions of the pixels that count: each coordinate is taken in only while
// it lies inside the working frame, and with skipWhite only ink pixels count (and, when
// `ink` is given, each row's ink columns are recorded).
Box FindBox(const Source& src, const FrameMap& map, int64_t frameW, int64_t frameH, bool skipWhite,
            InkColumns* ink) {
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
            if (ink) (*ink)[i] = any ? Span{first, last + 1} : Span{0, 0};
            if (!any && rowInside) {  // ink outside the frame still counts for the row
                any =
                    FirstInk(src, row, {0, visible.empty() ? src.width : visible.begin}) != kNone ||
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

// Grey of a raw pixel without a branch. Each channel's table entry packs its weighted
// mapped value (bits 0-15) and three counters: raw paper (bit 16), raw zero (bit 18)
// and mapped near-white (bit 20). The sum of the three entries then says everything,
// and a 64-entry table turns its counters into "keep the weighted grey" or "force".
struct GreyConverter {
    static constexpr uint32_t kRawPaper = 1u << 16, kRawZero = 1u << 18, kMappedWhite = 1u << 20;

    std::array<uint32_t, 256> byte0{}, byte1{}, byte2{};
    std::array<uint16_t, 64> finish{};  // low byte: mask for the grey, high byte: forced value
    std::array<uint8_t, 256> grey8{};

    uint8_t Grey(uint8_t b0, uint8_t b1, uint8_t b2) const {
        const uint32_t s = byte0[b0] + byte1[b1] + byte2[b2];
        const uint32_t f = finish[s >> 16];
        return static_cast<uint8_t>((((s & 0xFFFF) >> 5) & f) | (f >> 8));
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
        uint32_t e = weight * mapped;
        if (raw >= kPaper) e += GreyConverter::kRawPaper;
        if (raw == 0) e += GreyConverter::kRawZero;
        if (mappedNearWhiteIsWhite && mapped >= kPaper) e += GreyConverter::kMappedWhite;
        return e;
    };
    for (int v = 0; v < 256; ++v) {
        c.byte0[v] = entry(5, map0[v], v);
        c.byte1[v] = entry(16, map1[v], v);
        c.byte2[v] = entry(11, map2[v], v);
    }
    const bool blackIsWhite =
        mappedNearWhiteIsWhite && black.b0 >= kPaper && black.b1 >= kPaper && black.b2 >= kPaper;
    const uint16_t blackGrey = blackIsWhite ? 255 : GreyOf(black.b2, black.b1, black.b0);
    for (uint32_t i = 0; i < c.finish.size(); ++i) {
        const uint32_t counters = i << 16;
        const auto three = [&](uint32_t unit) { return (counters / unit) % 4 == 3; };
        if (three(GreyConverter::kRawPaper)) {
            c.finish[i] = 255 << 8;
        } else if (three(GreyConverter::kRawZero)) {
            c.finish[i] = static_cast<uint16_t>(blackGrey << 8);
        } else if (three(GreyConverter::kMappedWhite)) {
            c.finish[i] = 255 << 8;
        } else {
            c.finish[i] = 0xFF;
        }
    }
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

// Calls run(row, first column, count, source pixels, first output pixel, output step)
// for runs of source pixels in a row that land in the frame rectangle xs x ys.
template <typename Run>
void Traverse(const Source& src, const FrameMap& map, Span xs, Span ys, const Target& t, Run run) {
    const Span rows = map.quarter
                          ? IndexRange(map.x.perRow, map.x.offset, xs.begin, xs.end, src.height)
                          : IndexRange(map.y.perRow, map.y.offset, ys.begin, ys.end, src.height);
    const Span cols = map.quarter
                          ? IndexRange(map.y.perCol, map.y.offset, ys.begin, ys.end, src.width)
                          : IndexRange(map.x.perCol, map.x.offset, xs.begin, xs.end, src.width);
    if (rows.empty() || cols.empty()) return;
    const int64_t di = map.y.perRow * t.stride + map.x.perRow * t.bytes;
    const int64_t dj = map.y.perCol * t.stride + map.x.perCol * t.bytes;
    const int64_t base =
        (map.y.offset - t.originY) * t.stride + (map.x.offset - t.originX) * t.bytes;
    // A quarter turn scatters one source row over many output rows; bands of 32 source
    // rows and 256 columns keep those output lines in the first-level cache.
    const int64_t band = map.quarter ? 32 : rows.end - rows.begin;
    const int64_t chunk = map.quarter ? 256 : cols.end - cols.begin;
    for (int64_t i0 = rows.begin; i0 < rows.end; i0 += band) {
        const int64_t i1 = std::min(i0 + band, rows.end);
        for (int64_t j0 = cols.begin; j0 < cols.end; j0 += chunk) {
            const int64_t n = std::min(j0 + chunk, cols.end) - j0;
            for (int64_t i = i0; i < i1; ++i) {
                run(i, j0, n, src.Row(i) + j0 * src.bytes, t.data + base + i * di + j0 * dj, dj);
            }
        }
    }
}

// Eight pixels at s are all the same when the block equals itself moved by one pixel.
template <int Bytes>
bool UniformBlock(const uint8_t* s) {
    if constexpr (Bytes == 1) {
        return LoadWord(s) == s[0] * kByteOnes;
    } else {
        return LoadWord(s) == LoadWord(s + 3) && LoadWord(s + 8) == LoadWord(s + 11) &&
               LoadWord(s + 13) == LoadWord(s + 16);
    }
}

// Converts a run of pixels: 32 pixels of paper are recognised with vector minimums and
// written as white; otherwise eight at a time, a block of paper or of one colour (a bar,
// a stroke, a patch) is recognised from whole words and converted once, and only mixed
// blocks go through the tables pixel by pixel.
template <int Bytes>
void GreyRun(const GreyConverter& conv, const uint8_t* s, uint8_t* d, int64_t n, int64_t step) {
    // Plain locals: stores through d may alias anything, so nothing is re-read per pixel.
    const uint32_t* t0 = conv.byte0.data();
    const uint32_t* t1 = conv.byte1.data();
    const uint32_t* t2 = conv.byte2.data();
    const uint16_t* finish = conv.finish.data();
    const uint8_t* grey8 = conv.grey8.data();
    const auto grey = [=](const uint8_t* p) -> uint8_t {
        if constexpr (Bytes == 1) {
            return grey8[*p];
        } else {
            const uint32_t sum = t0[p[0]] + t1[p[1]] + t2[p[2]];
            const uint32_t f = finish[sum >> 16];
            return static_cast<uint8_t>((((sum & 0xFFFF) >> 5) & f) | (f >> 8));
        }
    };
    const auto fill = [&](uint8_t v) {
        if (step == 1) {  // unturned: one word
            std::memset(d, v, 8);
            d += 8;
            return;
        }
        for (int k = 0; k < 8; ++k, d += step) *d = v;
    };
    const auto block = [&] {  // eight pixels
        uint64_t ink = InkBytes(LoadWord(s));
        if constexpr (Bytes == 3) ink |= InkBytes(LoadWord(s + 8)) | InkBytes(LoadWord(s + 16));
        if (ink == 0) {
            fill(255);
        } else if (UniformBlock<Bytes>(s)) {
            fill(grey(s));
        } else {
            for (int k = 0; k < 8; ++k, d += step) *d = grey(s + k * Bytes);
        }
        s += 8 * Bytes;
    };
    int64_t j = 0;
    for (; j + 32 <= n; j += 32) {
        // Wide stretches of paper: 32 pixels checked with vector minimums.
        bool paper = PaperChunk(s);
        if constexpr (Bytes == 3) paper = paper && PaperChunk(s + 32) && PaperChunk(s + 64);
        if (!paper) {
            for (int k = 0; k < 4; ++k) block();
        } else if (step == 1) {
            std::memset(d, 255, 32);
            d += 32;
            s += 32 * Bytes;
        } else {
            for (int k = 0; k < 32; ++k, d += step) *d = 255;
            s += 32 * Bytes;
        }
    }
    for (; j + 8 <= n; j += 8) block();
    for (; j < n; ++j, s += Bytes, d += step) *d = grey(s);
}

void FillPaper(uint8_t* d, int64_t n, int64_t step) {
    if (n <= 0) return;
    if (step == 1) {
        std::memset(d, 255, static_cast<size_t>(n));
    } else {
        for (int64_t k = 0; k < n; ++k, d += step) *d = 255;
    }
}

// Converts the frame rectangle xs x ys; where the rows' ink columns are known, the paper
// either side of them is written without being read.
template <int Bytes>
void RenderGreyOf(const Source& src, const FrameMap& map, Span xs, Span ys, const Target& t,
                  const GreyConverter& conv, const InkColumns* ink) {
    Traverse(src, map, xs, ys, t,
             [&](int64_t i, int64_t j0, int64_t n, const uint8_t* s, uint8_t* d, int64_t step) {
                 int64_t from = j0, to = j0 + n;
                 if (ink) {
                     from = std::clamp((*ink)[i].begin, j0, j0 + n);
                     to = std::clamp((*ink)[i].end, from, j0 + n);
                 }
                 FillPaper(d, from - j0, step);
                 GreyRun<Bytes>(conv, s + (from - j0) * Bytes, d + (from - j0) * step, to - from,
                                step);
                 FillPaper(d + (to - j0) * step, j0 + n - to, step);
             });
}

void RenderGrey(const Source& src, const FrameMap& map, Span xs, Span ys, const Target& t,
                const GreyConverter& conv, const InkColumns* ink) {
    if (src.bytes == 1) {
        RenderGreyOf<1>(src, map, xs, ys, t, conv, ink);
    } else {
        RenderGreyOf<3>(src, map, xs, ys, t, conv, ink);
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
    InkColumns ink;  // empty when the rows' ink columns are not known

    const InkColumns* KnownInk() const { return ink.empty() ? nullptr : &ink; }
};

int32_t EmptyResult(tagBITMAPINFOHEADER* header, tagRECT* rect) {
    *rect = tagRECT{0, 0, 0, 0};
    header->biBitCount = 8;
    header->biWidth = 0;
    header->biHeight = 0;
    header->biSizeImage = 0;
    return 1;
}

void Describe(tagBITMAPINFOHEADER* header, int64_t width, int64_t rows, uint64_t size) {
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(rows);
    header->biBitCount = 8;
    header->biSizeImage = static_cast<uint32_t>(size);
}

// The crop's columns start on a multiple of 8 dots and are a multiple of 8 dots wide.
int64_t CropLeft(const Box& box) {
    return box.x.lo & ~int64_t{7};
}

int64_t CropRowBytes(const Box& box) {
    return (box.x.hi - CropLeft(box) + 1 + 7) & ~int64_t{7};
}

// Label filters: crop to the content box, widths rounded to multiples of 8 so that the rows
// carry no padding (stride = width) and pack into whole bytes later. `fill(out, left, top,
// used, rows)` writes the first `used` columns of each row; the columns past the working
// width (the clip, or the rounding) are paper.
template <typename Fill>
int32_t WriteLabelCrop(const Box& box, int64_t frameW, tagBITMAPINFOHEADER* header, tagRECT* rect,
                       uint8_t** ppOut, uint32_t* pOutSize, Fill fill) {
    const int64_t left = CropLeft(box);
    const int64_t width = CropRowBytes(box);
    const int64_t top = box.y.lo, bottom = box.y.hi;
    const int64_t rows = bottom - top + 1;
    const uint64_t size = ImageBytes(rows, width);
    if (size > kMaxImageBytes) return 0;
    *rect = tagRECT{static_cast<int32_t>(left), static_cast<int32_t>(top),
                    static_cast<int32_t>(left + width - 1), static_cast<int32_t>(bottom)};
    Describe(header, width, rows, size);

    OutBuffer out(ppOut, pOutSize, size, OutBuffer::Fill::None);
    if (!out.ok()) return 0;
    const int64_t used = std::min(left + width, frameW) - left;
    fill(out.data(), left, top, used, rows);
    if (used < width) {
        for (int64_t r = 0; r < rows; ++r)
            std::memset(out.data() + r * width + used, 255, width - used);
    }
    out.Commit();
    return 1;
}

int32_t CropToContent(const CoverJob& job, const Box& box, const GreyConverter& conv) {
    return WriteLabelCrop(box, job.frameW, job.header, job.rect, job.ppOut, job.pOutSize,
                          [&](uint8_t* out, int64_t left, int64_t top, int64_t used, int64_t rows) {
                              const int64_t width = job.header->biWidth;
                              RenderGrey(job.src, job.map, {left, left + used}, {top, top + rows},
                                         Target{out, width, 1, left, top}, conv, job.KnownInk());
                          });
}

// Receipt filter with brightness or contrast: they pivot on the page's mean colour, so
// the mapped colours of the whole frame are kept, adjusted, and only then turned into
// grey. False when the colour copy cannot be made.
bool RenderAdjustedGrey(const CoverJob& job, Span xs, Span ys, const Target& t,
                        const CBmpProcessing& bmp, int32_t brightness, int32_t contrast) {
    const uint64_t colourSize = ImageBytes(job.frameH, job.frameW * 3);
    MallocBuffer colour = AllocateBuffer(colourSize, false);
    if (!colour) return false;
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
    const int bytes = job.src.bytes;
    Traverse(job.src, job.map, {0, job.frameW}, {0, job.frameH},
             Target{colour.get(), job.frameW * 3, 3, 0, 0},
             [&](int64_t, int64_t, int64_t n, const uint8_t* s, uint8_t* d, int64_t step) {
                 for (int64_t j = 0; j < n; ++j, s += bytes, d += step) {
                     if (bytes == 1) {
                         put(s[0], s[0], s[0], d);
                     } else {
                         put(s[0], s[1], s[2], d);
                     }
                 }
             });

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
        uint8_t* d = t.data + y * t.stride;
        for (int64_t x = xs.begin; x < xs.end; ++x, p += 3) d[x] = GreyOf(p[2], p[1], p[0]);
    }
    return true;
}

// Receipt filter: the frame keeps its size; from the box's top row down and from its left
// column for the box width (rounded to 4 bytes), the converted pixels are copied in.
int32_t KeepFrame(const CoverJob& job, const Box& box, const GreyConverter& conv,
                  const CBmpProcessing& bmp, int32_t brightness, int32_t contrast) {
    const int64_t stride = (job.frameW + 3) & ~int64_t{3};
    const uint64_t size = ImageBytes(job.frameH, stride);
    if (size > kMaxImageBytes) return 0;
    *job.rect = tagRECT{static_cast<int32_t>(box.x.lo), static_cast<int32_t>(box.y.lo),
                        static_cast<int32_t>(box.x.hi), static_cast<int32_t>(job.frameH - 1)};
    Describe(job.header, job.frameW, job.frameH, size);

    OutBuffer out(job.ppOut, job.pOutSize, size, OutBuffer::Fill::None);
    if (!out.ok()) return 0;
    std::memset(out.data(), 255, static_cast<size_t>(size));
    const int64_t copyWidth = std::min(((box.x.hi - box.x.lo + 4) / 4) * 4, stride);
    const Span xs{box.x.lo, std::min(box.x.lo + copyWidth, job.frameW)};
    const Span ys{box.y.lo, job.frameH};

    const Target target{out.data(), stride, 1, 0, 0};
    if (brightness == 0 && contrast == 0) {
        RenderGrey(job.src, job.map, xs, ys, target, conv, job.KnownInk());
    } else if (!RenderAdjustedGrey(job, xs, ys, target, bmp, brightness, contrast)) {
        return 0;
    }
    out.Commit();
    return 1;
}

}  // namespace

int32_t CBmpProcessing::CoverBMP2OutputFormat(const uint8_t* pSrc, uint32_t dwSrcSize,
                                              uint8_t** ppOut, uint32_t* pdwOutSize,
                                              tagBITMAPINFOHEADER* pHeader, tagRECT* pRect,
                                              int32_t nOrientation, int32_t nXOffset,
                                              int32_t nYOffset, COLORLEVELSITEM levelsItem, bool,
                                              int32_t nBrightness, int32_t nContrast,
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
                 MapFor(nOrientation, w, h),
                 0,
                 0,
                 pHeader,
                 pRect,
                 ppOut,
                 pdwOutSize,
                 {}};
    const int64_t fullWidth = job.map.quarter ? h : w;
    job.frameW = std::min<int64_t>(fullWidth, static_cast<uint32_t>(nMaxOutputWidth));
    job.frameH = job.map.quarter ? w : h;
    if (receipt) {
        // A frame narrower than the page keeps the page's middle.
        job.map.x.offset += nXOffset - (fullWidth - job.frameW) / 2;
        job.map.y.offset += nYOffset;
        SetColorLevelsData(&levelsItem, 3);
    }

    if (sSkipWhite && h <= kMaxTrackedRows) {
        // Only an aid: without the memory, the conversion reads the margins instead.
        OrFailure(
            [&] {
                job.ink.resize(static_cast<size_t>(h));
                return true;
            },
            false);
    }
    const Box box = FindBox(job.src, job.map, job.frameW, job.frameH, sSkipWhite != 0,
                            job.ink.empty() ? nullptr : &job.ink);
    if (box.empty()) return EmptyResult(pHeader, pRect);
    if (receipt) {
        return KeepFrame(job, box, ReceiptConverter(*this), *this, nBrightness, nContrast);
    }
    return CropToContent(job, box, LabelConverter(*this, nBrightness != 0 || nContrast != 0));
}

// ---- Label grey made while the page is read -------------------------------------------------

namespace {

// The label conversion's grey with a neutral tone curve, worked out rather than looked up:
// paper is white, any other pixel its weighted grey (which cannot reach 255).
void NeutralGreyPixels(const uint8_t* rgb, uint8_t* grey, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, rgb += 3) {
        const bool paper = std::min({rgb[0], rgb[1], rgb[2]}) >= kPaper;
        grey[i] = paper ? 255 : GreyOf(rgb[0], rgb[1], rgb[2]);
    }
}

#ifdef MX_X86_DISPATCH
#define MX_SSSE3 __attribute__((target("ssse3")))

// Where the bytes of one channel of sixteen pixels sit in their three vectors: each vector
// supplies one run of them, three apart; -128 yields a zero byte.
constexpr int8_t Z = -128;
alignas(16) constexpr int8_t kGather[3][3][16] = {
    {{0, 3, 6, 9, 12, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, Z, 2, 5, 8, 11, 14, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 1, 4, 7, 10, 13}},
    {{1, 4, 7, 10, 13, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, 0, 3, 6, 9, 12, 15, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 2, 5, 8, 11, 14}},
    {{2, 5, 8, 11, 14, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, 1, 4, 7, 10, 13, Z, Z, Z, Z, Z, Z},
     {Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 0, 3, 6, 9, 12, 15}}};
enum ChannelIndex { kRed, kGreen, kBlue };

inline __m128i GatherMask(ChannelIndex channel, int vector) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kGather[channel][vector]));
}

MX_SSSE3 __m128i Channel(__m128i a, __m128i b, __m128i c, ChannelIndex channel) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, GatherMask(channel, 0)),
                                     _mm_shuffle_epi8(b, GatherMask(channel, 1))),
                        _mm_shuffle_epi8(c, GatherMask(channel, 2)));
}

MX_SSSE3 __m128i Weigh(__m128i r, __m128i g, __m128i b) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(11)),
                                                    _mm_mullo_epi16(g, _mm_set1_epi16(16))),
                                      _mm_mullo_epi16(b, _mm_set1_epi16(5)));
    return _mm_srli_epi16(sum, 5);
}

// Sixteen pixels at a time: one vector per channel, weighed in 16-bit lanes, with paper
// or-ed in as white; sixteen pixels of paper are written white at once.
MX_SSSE3 uint32_t NeutralGreySsse3(const uint8_t* rgb, uint8_t* grey, uint32_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i paperLevel = _mm_set1_epi8(static_cast<char>(kPaper));
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16, rgb += 48, grey += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 32));
        // Most of a label is paper: sixteen pixels of it are seen from their bytes alone.
        const __m128i any = _mm_min_epu8(_mm_min_epu8(a, b), c);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(any, paperLevel), any)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(grey), _mm_set1_epi8(-1));
            continue;
        }
        const __m128i red = Channel(a, b, c, kRed);
        const __m128i green = Channel(a, b, c, kGreen);
        const __m128i blue = Channel(a, b, c, kBlue);
        const __m128i lowest = _mm_min_epu8(_mm_min_epu8(red, green), blue);
        const __m128i paper = _mm_cmpeq_epi8(_mm_max_epu8(lowest, paperLevel), lowest);
        const __m128i lo = Weigh(_mm_unpacklo_epi8(red, zero), _mm_unpacklo_epi8(green, zero),
                                 _mm_unpacklo_epi8(blue, zero));
        const __m128i hi = Weigh(_mm_unpackhi_epi8(red, zero), _mm_unpackhi_epi8(green, zero),
                                 _mm_unpackhi_epi8(blue, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey),
                         _mm_or_si128(_mm_packus_epi16(lo, hi), paper));
    }
    return i;
}
#undef MX_SSSE3

#define MX_AVX2 __attribute__((target("avx2")))

// The SSSE3 steps on thirty-two pixels: each 128-bit lane holds sixteen of them as the three
// vectors above, so that the in-lane byte shuffles gather the same way. The weighted sum
// comes from red and green interleaved (weights 11 and 16) plus blue (weight 5), one
// multiply-add each.
MX_AVX2 __m256i LaneVector(const uint8_t* rgb) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 48)), 1);
}

MX_AVX2 __m256i Gathered(__m256i v, ChannelIndex channel, int vector) {
    return _mm256_shuffle_epi8(v, _mm256_broadcastsi128_si256(GatherMask(channel, vector)));
}

MX_AVX2 __m256i Channel(__m256i a, __m256i b, __m256i c, ChannelIndex channel) {
    return _mm256_or_si256(_mm256_or_si256(Gathered(a, channel, 0), Gathered(b, channel, 1)),
                           Gathered(c, channel, 2));
}

MX_AVX2 __m256i Weigh(__m256i redGreen, __m256i blueNone) {
    const __m256i sum =
        _mm256_add_epi16(_mm256_maddubs_epi16(redGreen, _mm256_set1_epi16(16 << 8 | 11)),
                         _mm256_maddubs_epi16(blueNone, _mm256_set1_epi16(5)));
    return _mm256_srli_epi16(sum, 5);
}

MX_AVX2 uint32_t NeutralGreyAvx2(const uint8_t* rgb, uint8_t* grey, uint32_t n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i paperLevel = _mm256_set1_epi8(static_cast<char>(kPaper));
    uint32_t i = 0;
    for (; i + 32 <= n; i += 32, rgb += 96, grey += 32) {
        const __m256i a = LaneVector(rgb);
        const __m256i b = LaneVector(rgb + 16);
        const __m256i c = LaneVector(rgb + 32);
        const __m256i any = _mm256_min_epu8(_mm256_min_epu8(a, b), c);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(any, paperLevel), any)) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey), _mm256_set1_epi8(-1));
            continue;
        }
        const __m256i red = Channel(a, b, c, kRed);
        const __m256i green = Channel(a, b, c, kGreen);
        const __m256i blue = Channel(a, b, c, kBlue);
        const __m256i lowest = _mm256_min_epu8(_mm256_min_epu8(red, green), blue);
        const __m256i paper = _mm256_cmpeq_epi8(_mm256_max_epu8(lowest, paperLevel), lowest);
        const __m256i lo =
            Weigh(_mm256_unpacklo_epi8(red, green), _mm256_unpacklo_epi8(blue, zero));
        const __m256i hi =
            Weigh(_mm256_unpackhi_epi8(red, green), _mm256_unpackhi_epi8(blue, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey),
                            _mm256_or_si256(_mm256_packus_epi16(lo, hi), paper));
    }
    return i;
}
#undef MX_AVX2
#endif

void NeutralGrey(const uint8_t* rgb, uint8_t* grey, uint32_t n) {
    uint32_t done = 0;
#ifdef MX_X86_DISPATCH
    if (CpuHasAvx2()) done = NeutralGreyAvx2(rgb, grey, n);
    if (CpuHasSsse3()) done += NeutralGreySsse3(rgb + uint64_t{done} * 3, grey + done, n - done);
#endif
    NeutralGreyPixels(rgb + uint64_t{done} * 3, grey + done, n - done);
}

// Ink on the label grey page is anything below white.
constexpr uint64_t kWhiteWord = ~uint64_t{0};

// Whether the 32 bytes from `p` are all white.
bool White32(const uint8_t* p) {
    return (LoadWord(p) & LoadWord(p + 8) & LoadWord(p + 16) & LoadWord(p + 24)) == kWhiteWord;
}

int64_t FirstGreyInk(const uint8_t* row, int64_t begin, int64_t end) {
    int64_t i = begin;
    while (i + 32 <= end && White32(row + i)) i += 32;
    while (i + 8 <= end && LoadWord(row + i) == kWhiteWord) i += 8;
    while (i < end && row[i] == 255) ++i;
    return i < end ? i : kNone;
}

int64_t LastGreyInk(const uint8_t* row, int64_t begin, int64_t end) {
    int64_t i = end;
    while (i - 32 >= begin && White32(row + i - 32)) i -= 32;
    while (i - 8 >= begin && LoadWord(row + i - 8) == kWhiteWord) i -= 8;
    while (i > begin && row[i - 1] == 255) --i;
    return i > begin ? i - 1 : kNone;
}

}  // namespace

void LabelGreyFromRgbRows(const uint8_t* rgb, uint64_t rgbStride, uint32_t width, uint32_t rows,
                          uint8_t* grey, uint64_t greyStride) {
    for (uint32_t y = 0; y < rows; ++y)
        NeutralGrey(rgb + y * rgbStride, grey + y * greyStride, width);
}

int32_t CropLabelGrey(const uint8_t* grey, uint32_t size, uint8_t** ppOut, uint32_t* pdwOutSize,
                      tagBITMAPINFOHEADER* pHeader, tagRECT* pRect, int32_t nMaxOutputWidth,
                      int16_t sSkipWhite) {
    if (!grey || !ppOut || !pdwOutSize || !pHeader || !pRect) return 0;
    const int64_t w = pHeader->biWidth, h = pHeader->biHeight;
    if (pHeader->biBitCount != 8 || !DimensionOk(w) || !DimensionOk(h)) return 0;
    const int64_t stride = static_cast<int64_t>(RowBytes(static_cast<uint64_t>(w), 8));
    if (ImageBytes(h, stride) > size) return 0;
    if (w == 0 || h == 0) return EmptyResult(pHeader, pRect);

    // The content box as the conversion finds it: ink columns inside the frame, and every
    // row with ink anywhere; without skipping white, the whole frame.
    const int64_t frameW = std::min<int64_t>(w, static_cast<uint32_t>(nMaxOutputWidth));
    Box box;
    if (!sSkipWhite) {
        if (frameW > 0) box.x = Range{0, frameW - 1};
        box.y = Range{0, h - 1};
    }
    for (int64_t i = 0; sSkipWhite && i < h; ++i) {
        const uint8_t* row = grey + i * stride;
        const int64_t first = FirstGreyInk(row, 0, frameW);
        if (first != kNone) {
            box.x.Take(first);
            box.x.Take(LastGreyInk(row, first, frameW));
            box.y.Take(i);
        } else if (FirstGreyInk(row, std::max<int64_t>(frameW, 0), w) != kNone) {
            box.y.Take(i);
        }
    }
    if (box.empty()) return EmptyResult(pHeader, pRect);
    // In the page's own rows each row moves to its place without covering a row still to move:
    // rows no wider than the page's move towards the start, first row first; wider rows, which
    // must then start at the page's first row and column, move towards the end, last row first.
    const bool wider = CropRowBytes(box) > stride;
    if (*ppOut == grey && wider && (box.y.lo != 0 || CropLeft(box) != 0)) return -1;
    return WriteLabelCrop(box, frameW, pHeader, pRect, ppOut, pdwOutSize,
                          [&](uint8_t* out, int64_t left, int64_t top, int64_t used, int64_t rows) {
                              const int64_t width = pHeader->biWidth;
                              for (int64_t i = 0; i < rows; ++i) {
                                  const int64_t r = wider ? rows - 1 - i : i;
                                  std::memmove(out + r * width, grey + (top + r) * stride + left,
                                               static_cast<size_t>(used));
                              }
                          });
}
