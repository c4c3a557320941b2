// Histogram thresholds: the class and free OptimalThreshold, the 64 x 64 tiled
// AdThresholdImgLocal and the bilinear-map AdaptiveThreshold.
#include "imaging/threshold.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/resample.h"
#include "imaging/word_scan.h"

using namespace mx_imaging;

namespace {

using Histogram = std::array<uint32_t, 256>;

// The free function reads a region holding only white as threshold 254, the class
// method as 0.
enum class Form { Class, Free };

struct Best {
    double value = -std::numeric_limits<double>::infinity();
    int t = -1;
    void Offer(double v, int candidate) {
        if (v > value) {  // the first t with the largest value wins
            value = v;
            t = candidate;
        }
    }
};

double XLogX(double x) {
    return x > 0.0 ? x * std::log(x) : 0.0;
}

// Bit v of word v / 64 is set where value v is present.
using ValueSet = std::array<uint64_t, 4>;

#if defined(__x86_64__)
// Sixteen counts at a time, each narrowed to one byte of a mask.
ValueSet PresentValues(const Histogram& h) {
    const __m128i zero = _mm_setzero_si128();
    const auto absent = [&](int v) {
        return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h.data() + v)),
                               zero);
    };
    ValueSet set{};
    for (int v = 0; v < 256; v += 16) {
        const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(absent(v), absent(v + 4)),
                                              _mm_packs_epi32(absent(v + 8), absent(v + 12)));
        const uint64_t present = ~static_cast<uint32_t>(_mm_movemask_epi8(bytes)) & 0xFFFFu;
        set[v / 64] |= present << (v % 64);
    }
    return set;
}
#else
ValueSet PresentValues(const Histogram& h) {
    ValueSet set{};
    for (int w = 0; w < 4; ++w) {
        uint64_t bits = 0;  // kept in a register
        for (int k = 0; k < 64; ++k) bits |= uint64_t{h[w * 64 + k] != 0} << k;
        set[w] = bits;
    }
    return set;
}
#endif

// The smallest present value other than white, or -1.
int LowestBelowWhite(const ValueSet& set) {
    for (int w = 0; w < 4; ++w) {
        const uint64_t bits = w < 3 ? set[w] : set[w] & ~(uint64_t{1} << 63);
        if (bits) return w * 64 + std::countr_zero(bits);
    }
    return -1;
}

// The largest present value above 0, or 0.
int HighestAboveZero(const ValueSet& set) {
    for (int w = 3; w >= 0; --w) {
        const uint64_t bits = w ? set[w] : set[w] & ~uint64_t{1};
        if (bits) return w * 64 + 63 - std::countl_zero(bits);
    }
    return 0;
}

// Calls f with each present value, in increasing order.
template <typename F>
void ForEachPresent(const ValueSet& set, F f) {
    for (int w = 0; w < 4; ++w) {
        for (uint64_t bits = set[w]; bits; bits &= bits - 1) f(w * 64 + std::countr_zero(bits));
    }
}

// Picks the threshold of a histogram by four criteria over every split t into classes
// lo..t and t+1..hi. A split only changes where a value is present, so the other t
// repeat the previous values and can never win. `set` holds the values present in h.
int ThresholdFromHistogram(const Histogram& h, const ValueSet& set, int64_t criterion, Form form) {
    int lo = LowestBelowWhite(set);
    if (lo < 0) {
        if (form == Form::Class) return 0;
        lo = 255;
    }
    const int hi = HighestAboveZero(set);
    if (hi < lo) return -1;
    if (hi == lo) return hi ? hi - 1 : 0;

    // Only the values present matter; tiles of a label page hold a handful of them. Past the
    // checks above, every present value lies in lo..hi.
    std::array<uint8_t, 256> present;
    std::array<double, 256> terms;  // h ln h of each present value
    int count = 0;
    int64_t n = 0, s1 = 0, s2 = 0;
    double entropyTerms = 0.0;  // sum of h ln h over lo..hi
    ForEachPresent(set, [&](int i) {
        present[count] = static_cast<uint8_t>(i);
        n += h[i];
        s1 += int64_t{h[i]} * i;
        s2 += int64_t{h[i]} * i * i;
        terms[count] = XLogX(h[i]);
        entropyTerms += terms[count++];
    });

    Best variance, minError, entropy, moment;
    int64_t w1 = 0, m1 = 0, q1 = 0;
    double entropy1 = 0.0;
    for (int k = 0; k + 1 < count; ++k) {  // t = hi leaves class 2 empty
        const int t = present[k];
        w1 += h[t];
        m1 += int64_t{h[t]} * t;
        q1 += int64_t{h[t]} * t * t;
        entropy1 += terms[k];
        const int64_t w2 = n - w1;
        const double dw1 = static_cast<double>(w1), dw2 = static_cast<double>(w2);
        const double mean1 = m1 / dw1, mean2 = (s1 - m1) / dw2;
        const double var1 = q1 / dw1 - mean1 * mean1;
        const double var2 = (s2 - q1) / dw2 - mean2 * mean2;

        variance.Offer(-(dw1 * var1 + dw2 * var2), t);
        if (var1 > 0.0 && var2 > 0.0) {
            minError.Offer(
                dw1 * std::log(dw1 / std::sqrt(var1)) + dw2 * std::log(dw2 / std::sqrt(var2)), t);
        }
        // -sum (h/w) ln(h/w) over a class equals ln w - (sum h ln h) / w.
        entropy.Offer(
            std::log(dw1) - entropy1 / dw1 + std::log(dw2) - (entropyTerms - entropy1) / dw2, t);
        // Second moments about t of both classes, exact in integers.
        const int64_t below = t * t * w1 - 2 * t * m1 + q1;
        const int64_t all = t * t * n - 2 * t * s1 + s2;
        const int64_t above = all - below;
        moment.Offer(all ? -std::fabs(static_cast<double>(below - above)) / all : 0.0, t);
    }

    int result;
    switch (criterion) {
        case 1:
            result = variance.t;
            break;
        case 2:
            result = minError.t;
            break;
        case 3:
            result = entropy.t;
            break;
        case 4:
            result = moment.t;
            break;
        default: {
            int sum = 0, count = 0;
            for (const Best* b : {&variance, &minError, &entropy, &moment}) {
                if (b->t >= 0) {
                    sum += b->t;
                    ++count;
                }
            }
            result = count ? sum / count : (lo + hi) / 2;
        }
    }
    return result <= lo || result >= hi ? (lo + hi) / 2 : result;
}

struct Span {
    int64_t begin, end;  // half-open
    bool empty() const { return end <= begin; }
};

Span Clip(int64_t begin, int64_t end, int64_t limit) {
    return {std::max<int64_t>(begin, 0), std::min<int64_t>(end, limit)};
}

void AddToHistogram(Histogram& h, const uint8_t* image, size_t pitch, Span cols, Span rows) {
    for (int64_t y = rows.begin; y < rows.end; ++y) {
        const uint8_t* p = image + static_cast<size_t>(y) * pitch;
        for (int64_t x = cols.begin; x < cols.end; ++x) ++h[p[x]];
    }
}

int RegionThreshold(const uint8_t* image, size_t pitch, int64_t width, int64_t height,
                    const tagRECT* region, int64_t criterion, Form form) {
    // The region's top field holds the larger row number.
    const Span cols = region ? Clip(region->left, region->right, width) : Span{0, width};
    const Span rows = region ? Clip(region->bottom, region->top, height) : Span{0, height};
    if (cols.empty() || rows.empty()) return -1;
    Histogram h{};
    AddToHistogram(h, image, pitch, cols, rows);
    return ThresholdFromHistogram(h, PresentValues(h), criterion, form);
}

bool IsBlackOrWhite(uint8_t v) {
    return v == 0 || v == 255;
}

// Counts a row segment into a histogram; true when it holds only black and white. Pages are
// mostly runs of one value (paper, bars, patches) and, once converted, mostly black and white:
// a segment of one value is recognised with a branch-free pass and counted at once, and so are
// words of eight equal bytes or of black and white bytes only (each byte's bits all equal).
bool CountRowWords(Histogram& h, const uint8_t* p, uint32_t n) {
    const uint64_t first = p[0] * kByteOnes;
    uint64_t diff = 0;
    uint32_t x = 0;
    for (; x + 8 <= n; x += 8) diff |= LoadWord(p + x) ^ first;
    for (; x < n; ++x) diff |= p[x] ^ p[0];
    if (diff == 0) {
        h[p[0]] += n;
        return IsBlackOrWhite(p[0]);
    }
    uint32_t binary = 0, white = 0;  // kept in registers, not counted byte by byte
    bool onlyBinary = true;
    for (x = 0; x + 8 <= n; x += 8) {
        const uint64_t w = LoadWord(p + x);
        if (BlackOrWhite(w)) {
            binary += 8;
            white += static_cast<uint32_t>((((w >> 7) & kByteOnes) * kByteOnes) >> 56);
            continue;
        }
        onlyBinary = false;
        if (w == p[x] * kByteOnes) {
            h[p[x]] += 8;
        } else {
            for (uint32_t k = 0; k < 8; ++k) ++h[p[x + k]];
        }
    }
    h[255] += white;
    h[0] += binary - white;
    for (; x < n; ++x) {
        ++h[p[x]];
        onlyBinary = onlyBinary && IsBlackOrWhite(p[x]);
    }
    return onlyBinary;
}

#if defined(__x86_64__)
// The bytes of a vector summed.
uint32_t LaneSum(__m128i v) {
    const __m128i halves = _mm_sad_epu8(v, _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(halves) +
                                 _mm_cvtsi128_si32(_mm_srli_si128(halves, 8)));
}

// CountRowWords' counting sixteen bytes at a time: black and white are counted in the lanes of
// two vectors, which are summed before a lane can overflow. Returns the bytes counted; clears
// `onlyBinary` when one of them is neither black nor white.
uint32_t CountRowSse2(Histogram& h, const uint8_t* p, uint32_t n, bool& onlyBinary) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
    const auto load = [p](uint32_t x) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
    };
    uint32_t x = 0;
    // Rows of a tile are mostly paper: a leading run of it is counted alone.
    while (n - x >= 16 && _mm_movemask_epi8(_mm_cmpeq_epi8(load(x), ones)) == 0xFFFF) x += 16;
    h[255] += x;
    while (n - x >= 16) {
        const uint32_t stop = x + std::min<uint32_t>((n - x) / 16, 255) * 16;
        __m128i white = zero, black = zero;
        for (; x < stop; x += 16) {
            const __m128i v = load(x);
            const __m128i isWhite = _mm_cmpeq_epi8(v, ones), isBlack = _mm_cmpeq_epi8(v, zero);
            if (_mm_movemask_epi8(_mm_or_si128(isWhite, isBlack)) == 0xFFFF) {
                white = _mm_sub_epi8(white, isWhite);
                black = _mm_sub_epi8(black, isBlack);
                continue;
            }
            onlyBinary = false;
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(p[x])))) ==
                0xFFFF) {
                h[p[x]] += 16;
            } else {
                for (uint32_t k = 0; k < 16; ++k) ++h[p[x + k]];
            }
        }
        h[255] += LaneSum(white);
        h[0] += LaneSum(black);
    }
    return x;
}
#endif

// Counts a row segment; true when it holds only black and white.
bool CountRow(Histogram& h, const uint8_t* p, uint32_t n) {
    uint32_t done = 0;
    bool onlyBinary = true;
#if defined(__x86_64__)
    done = CountRowSse2(h, p, n, onlyBinary);
#endif
    if (done < n) onlyBinary = CountRowWords(h, p + done, n - done) && onlyBinary;
    return onlyBinary;
}

// Thresholds of a grid of square tiles, plus the whole page's histogram, gathered in
// one pass over the rows. Returns false when a tile or the page has no threshold.
struct TileThresholds {
    uint32_t tilesX = 0, tilesY = 0;
    std::vector<int> local;  // row-major, one per tile
    int global = -1;
    std::vector<bool> binaryRows;  // per row: only black and white
};

bool MeasureTiles(const uint8_t* image, size_t pitch, uint32_t cols, uint32_t rows, uint32_t tile,
                  int64_t criterion, Form form, TileThresholds& out) {
    if (cols == 0 || rows == 0) return false;
    out.tilesX = static_cast<uint32_t>((uint64_t{cols} + tile - 1) / tile);
    out.tilesY = static_cast<uint32_t>((uint64_t{rows} + tile - 1) / tile);
    out.local.assign(static_cast<size_t>(out.tilesX) * out.tilesY, -1);
    Histogram page{};
    std::vector<Histogram> band(out.tilesX);  // zero at the start of each band
    out.binaryRows.assign(rows, false);
    for (uint32_t ty = 0; ty < out.tilesY; ++ty) {
        const Span rowSpan{int64_t{ty} * tile, std::min<int64_t>(int64_t{ty + 1} * tile, rows)};
        for (int64_t y = rowSpan.begin; y < rowSpan.end; ++y) {
            const uint8_t* p = image + static_cast<size_t>(y) * pitch;
            bool binary = true;
            for (uint32_t tx = 0; tx < out.tilesX; ++tx) {
                const uint32_t x0 = tx * tile;
                binary = CountRow(band[tx], p + x0, std::min<uint32_t>(tile, cols - x0)) && binary;
            }
            out.binaryRows[static_cast<size_t>(y)] = binary;
        }
        for (uint32_t tx = 0; tx < out.tilesX; ++tx) {
            Histogram& h = band[tx];
            const ValueSet set = PresentValues(h);
            const int t = ThresholdFromHistogram(h, set, criterion, form);
            if (t < 0) return false;
            out.local[static_cast<size_t>(ty) * out.tilesX + tx] = t;
            // A tile holds few values: only those are moved to the page, leaving the tile zero.
            ForEachPresent(set, [&](int v) {
                page[v] += h[v];
                h[v] = 0;
            });
        }
    }
    out.global = ThresholdFromHistogram(page, PresentValues(page), criterion, form);
    return out.global >= 0;
}

constexpr uint32_t kLocalTile = 64;

// Light where the pixel is above the threshold; written so that it vectorises.
void ThresholdAbove(const uint8_t* __restrict s, uint8_t* __restrict d, uint32_t n, uint8_t t,
                    uint8_t dark, uint8_t light) {
    for (uint32_t x = 0; x < n; ++x) d[x] = s[x] > t ? light : dark;
}

bool BlackAndWhite(const uint8_t* p, uint32_t n) {
    uint32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        if (!BlackOrWhite(LoadWord(p + x))) return false;
    }
    for (; x < n; ++x) {
        if (p[x] != 0 && p[x] != 255) return false;
    }
    return true;
}

void DecideBlackAndWhite(const uint8_t* __restrict s, uint8_t* __restrict d, uint32_t n,
                         uint8_t dark, uint8_t light) {
    for (uint32_t x = 0; x < n; ++x) d[x] = s[x] ? light : dark;
}

void DarkBelow(const uint8_t* __restrict s, const uint8_t* __restrict t, uint8_t* __restrict d,
               uint32_t n, uint8_t dark, uint8_t light) {
    for (uint32_t x = 0; x < n; ++x) d[x] = s[x] < t[x] ? dark : light;
}
}  // namespace

int32_t CBmpProcessing::OptimalThreshold(const uint8_t* pImage, uint32_t dwSize, uint32_t dwWidth,
                                         uint32_t dwHeight, int64_t nCriterion,
                                         const tagRECT* pRegion, const uint8_t*, uint32_t, uint32_t,
                                         uint32_t) {
    if (!pImage || dwHeight == 0) return -1;
    const size_t pitch = dwSize / dwHeight;
    const int64_t width = std::min<int64_t>(dwWidth, pitch);  // never read past a row
    return RegionThreshold(pImage, pitch, width, dwHeight, pRegion, nCriterion, Form::Class);
}

int32_t OptimalThreshold(int32_t nCriterion, const uint8_t* pImage, int32_t nWidth, int32_t nHeight,
                         int32_t nStride, const tagRECT* pRegion) {
    if (!pImage || nWidth < 0 || nHeight < 0 || nStride < 0) return -1;
    const int64_t width = std::min(nWidth, nStride);
    return RegionThreshold(pImage, static_cast<size_t>(nStride), width, nHeight, pRegion,
                           nCriterion, Form::Free);
}

int32_t CBmpProcessing::AdThresholdImgLocal(uint32_t dwWidth, uint32_t dwHeight, uint32_t,
                                            uint32_t dwStride, const uint8_t* pSrc,
                                            uint32_t dwSrcSize, uint8_t** ppDst, uint32_t*,
                                            bool bNegative, bool) {
    // Allocations that fail end the operation with its failure value.
    return OrFailure(
        [&]() -> int32_t {
            if (!pSrc || !ppDst || !*ppDst || dwHeight == 0) return 0;
            if (uint64_t{dwStride} * dwHeight > dwSrcSize) return 0;
            // Thresholds read rows at the pitch that the size implies; the pass below uses the
            // stride. Both agree for every caller (size = stride x height).
            const size_t pitch = dwSrcSize / dwHeight;
            const uint32_t cols =
                static_cast<uint32_t>(std::min<uint64_t>({dwWidth, pitch, dwStride}));
            TileThresholds tiles;
            if (!MeasureTiles(pSrc, pitch, cols, dwHeight, kLocalTile, 0, Form::Class, tiles))
                return 0;

            std::vector<uint8_t> blended(tiles.local.size());
            for (size_t i = 0; i < blended.size(); ++i) {
                blended[i] = ClampToByte(0.5f * tiles.global + 0.5f * tiles.local[i]);
            }
            const uint8_t dark = bNegative ? 255 : 0;
            const uint8_t light = bNegative ? 0 : 255;
            uint8_t* dst = *ppDst;
            for (uint32_t y = 0; y < dwHeight; ++y) {
                const uint8_t* s = pSrc + static_cast<size_t>(y) * dwStride;
                uint8_t* d = dst + static_cast<size_t>(y) * dwStride;
                const uint8_t* rowThresholds =
                    &blended[static_cast<size_t>(y / kLocalTile) * tiles.tilesX];
                for (uint32_t x0 = 0; x0 < cols; x0 += kLocalTile) {
                    ThresholdAbove(s + x0, d + x0, std::min(kLocalTile, cols - x0),
                                   rowThresholds[x0 / kLocalTile], dark, light);
                }
            }
            return 1;
        },
        0);
}

namespace {

// The adaptive threshold's map: per-tile thresholds blended with the page's, and the size of
// the tiles it is enlarged by.
struct ThresholdMap {
    std::vector<uint8_t> values;
    uint32_t tilesX = 0, tilesY = 0, pitch = 0, tile = 0;
    uint8_t lowest = 255;          // the smallest value; the enlarged map never goes below it
    std::vector<bool> binaryRows;  // the source's rows of only black and white
};

// Steps 1 to 4 of the adaptive threshold: false when an argument is unusable or a tile or the
// page has no threshold.
bool MeasureThresholdMap(const uint8_t* pSrc, int32_t nWidth, int32_t nHeight, int32_t nStride,
                         int32_t nCriterion, int32_t nTileSize, int32_t nOffset,
                         float fGlobalWeight, ThresholdMap& map) {
    if (!pSrc || nWidth <= 0 || nHeight <= 0 || nStride < nWidth || !DimensionOk(nWidth) ||
        !DimensionOk(nHeight)) {
        return false;
    }
    map.tile = static_cast<uint32_t>(std::max(nTileSize, 8));
    const float weight = fGlobalWeight >= 0.0f ? std::min(fGlobalWeight, 1.0f) : 0.0f;
    TileThresholds tiles;
    if (!MeasureTiles(pSrc, static_cast<size_t>(nStride), static_cast<uint32_t>(nWidth),
                      static_cast<uint32_t>(nHeight), map.tile, nCriterion, Form::Free, tiles)) {
        return false;
    }
    map.tilesX = tiles.tilesX;
    map.tilesY = tiles.tilesY;
    map.pitch = (tiles.tilesX + 3) & ~3u;
    map.values.assign(static_cast<size_t>(map.pitch) * tiles.tilesY, 0);
    for (uint32_t ty = 0; ty < tiles.tilesY; ++ty) {
        for (uint32_t tx = 0; tx < tiles.tilesX; ++tx) {
            const float v =
                tiles.local[static_cast<size_t>(ty) * tiles.tilesX + tx] * (1.0f - weight) +
                tiles.global * weight + static_cast<float>(nOffset);
            const uint8_t value = ClampToByte(v);
            map.values[static_cast<size_t>(ty) * map.pitch + tx] = value;
            map.lowest = std::min(map.lowest, value);
        }
    }
    map.binaryRows = std::move(tiles.binaryRows);
    return true;
}

// One row's segment against its thresholds, which run monotonically between the segment's two
// ends. `thresholds` is the row's scratch, indexed by column.
struct SegmentJob {
    const BilinearRows& enlarged;
    const BilinearRows::Segment& seg;
    const uint8_t* s;  // the row, indexed by column
    uint8_t* d;
    uint8_t* thresholds;
    uint8_t lowest, highest;
};

// White is never below a threshold and black is below any positive one.
void ThresholdSegmentScalar(const SegmentJob& job, uint8_t dark, uint8_t light) {
    const uint32_t begin = job.seg.begin, n = job.seg.end - begin;
    if (job.lowest > 0 && BlackAndWhite(job.s + begin, n)) {
        DecideBlackAndWhite(job.s + begin, job.d + begin, n, dark, light);
    } else {
        job.enlarged.Fill(job.seg, job.thresholds + begin);
        DarkBelow(job.s + begin, job.thresholds + begin, job.d + begin, n, dark, light);
    }
}

#if defined(__x86_64__)
// Light where each pixel is at or above its threshold, sixteen pixels at a time, the last
// block overlapping the one before. The block at x reads its thresholds from
// t + x * thresholdStep: a step of 0 reads one block of equal thresholds every time. Returns, as a
// mask, the pixels at or above `lowest` that are not light.
__m128i LightAtLeast(const uint8_t* s, const uint8_t* t, uint8_t* d, uint32_t n, __m128i flip,
                     __m128i lowest, uint32_t thresholdStep) {
    __m128i between = _mm_setzero_si128();
    for (uint32_t x = 0; x < n; x += 16) {
        const uint32_t at = std::min(x, n - 16);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
        const __m128i t16 =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at * thresholdStep));
        const __m128i light = _mm_cmpeq_epi8(_mm_max_epu8(v, t16), v);
        between = _mm_or_si128(between,
                               _mm_andnot_si128(light, _mm_cmpeq_epi8(_mm_max_epu8(v, lowest), v)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + at), _mm_xor_si128(light, flip));
    }
    return between;
}

// At or above the largest threshold is light, below the smallest dark; only a segment with a
// pixel in between is done again against its exact thresholds. False for a segment shorter
// than a block.
bool ThresholdSegmentSse2(const SegmentJob& job, bool negative) {
    const uint32_t begin = job.seg.begin, n = job.seg.end - begin;
    if (n < 16) return false;
    const __m128i flip = _mm_set1_epi8(negative ? -1 : 0);
    const __m128i lowest = _mm_set1_epi8(static_cast<char>(job.lowest));
    alignas(16) uint8_t highest[16];
    std::memset(highest, job.highest, sizeof highest);
    const __m128i between = LightAtLeast(job.s + begin, highest, job.d + begin, n, flip, lowest, 0);
    if (_mm_movemask_epi8(between) != 0) {
        job.enlarged.Fill(job.seg, job.thresholds + begin);
        LightAtLeast(job.s + begin, job.thresholds + begin, job.d + begin, n, flip, lowest, 1);
    }
    return true;
}

// White is never below a threshold: a segment of paper is light without its thresholds. False,
// with nothing written, for a segment shorter than a block or holding ink.
bool PaperSegmentSse2(const uint8_t* s, uint8_t* d, uint32_t n, uint8_t light) {
    if (n < 16) return false;
    const __m128i white = _mm_set1_epi8(-1);
    __m128i all = white;
    for (uint32_t x = 0; x < n; x += 16) {
        all = _mm_and_si128(
            all, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + std::min(x, n - 16))));
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, white)) != 0xFFFF) return false;
    const __m128i out = _mm_set1_epi8(static_cast<char>(light));
    for (uint32_t x = 0; x < n; x += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + std::min(x, n - 16)), out);
    return true;
}
#endif

// Steps 5 and 6: every pixel against the enlarged map, into rows of `resultStride` bytes whose
// padding the caller has made zero. The result may be the source itself (equal strides): each
// row is then read from a copy.
void ApplyThresholdMap(const ThresholdMap& map, const uint8_t* pSrc, uint32_t width,
                       uint32_t height, size_t stride, bool bNegative, uint8_t* result,
                       uint64_t resultStride) {
    // The map enlarged to tiles x tile pixels, produced row by row as it is needed.
    BilinearRows enlarged(map.values.data(), map.tilesX, map.tilesY, map.pitch,
                          static_cast<uint32_t>(uint64_t{map.tilesX} * map.tile),
                          static_cast<uint32_t>(uint64_t{map.tilesY} * map.tile), width);
    std::vector<uint8_t> thresholds(width);
    const bool inPlace = result == pSrc;
    std::vector<uint8_t> source(inPlace ? width : 0);
    // Black is below every threshold above 0 and white at or above any: such a row is its own
    // result, which in place is already there.
    const bool keepsBinaryRows = inPlace && !bNegative && map.lowest > 0;
    const uint8_t dark = bNegative ? 255 : 0;
    const uint8_t light = bNegative ? 0 : 255;
    for (uint32_t y = 0; y < height; ++y) {
        if (keepsBinaryRows && map.binaryRows[y]) continue;
        const uint8_t* s = pSrc + static_cast<size_t>(y) * stride;
        uint8_t* d = result + y * resultStride;
        if (inPlace) s = static_cast<const uint8_t*>(std::memcpy(source.data(), s, width));
        bool started = false;  // the row's thresholds are made at its first segment needing them
        for (const BilinearRows::Segment& seg : enlarged.Segments()) {
#if defined(__x86_64__)
            if (PaperSegmentSse2(s + seg.begin, d + seg.begin, seg.end - seg.begin, light))
                continue;
#endif
            if (!started) enlarged.StartRow(y);
            started = true;
            const uint8_t first = enlarged.At(seg, seg.begin);
            const uint8_t last = enlarged.At(seg, seg.end - 1);
            const SegmentJob job{enlarged,
                                 seg,
                                 s,
                                 d,
                                 thresholds.data(),
                                 std::min(first, last),
                                 std::max(first, last)};
#if defined(__x86_64__)
            if (ThresholdSegmentSse2(job, bNegative)) continue;
#endif
            ThresholdSegmentScalar(job, dark, light);
        }
    }
}

}  // namespace

bool AdaptiveThreshold(const uint8_t* pSrc, int32_t nWidth, int32_t nHeight, int32_t nStride,
                       uint8_t** ppResult, int32_t* pnResultSize, bool bNegative,
                       int32_t nCriterion, int32_t nTileSize, int32_t nOffset,
                       float fGlobalWeight) {
    // Allocations that fail end the operation with its failure value.
    return OrFailure(
        [&]() -> bool {
            if (!ppResult || !pnResultSize) return false;
            ThresholdMap map;
            if (!MeasureThresholdMap(pSrc, nWidth, nHeight, nStride, nCriterion, nTileSize, nOffset,
                                     fGlobalWeight, map)) {
                return false;
            }
            const uint32_t width = static_cast<uint32_t>(nWidth);
            const uint32_t height = static_cast<uint32_t>(nHeight);
            const uint64_t stride = DibStride(width, 8);
            const uint64_t size = ImageBytes(height, stride);
            if (size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
            MallocBuffer result = AllocateBuffer(size, true);
            if (!result) return false;
            ApplyThresholdMap(map, pSrc, width, height, static_cast<size_t>(nStride), bNegative,
                              result.get(), stride);
            *pnResultSize = static_cast<int32_t>(size);
            *ppResult = result.release();
            return true;
        },
        false);
}

bool AdaptiveThresholdInto(const uint8_t* pSrc, int32_t nWidth, int32_t nHeight, int32_t nStride,
                           uint8_t* pResult, uint64_t nResultSize, bool bNegative,
                           int32_t nCriterion, int32_t nTileSize, int32_t nOffset,
                           float fGlobalWeight) {
    return OrFailure(
        [&]() -> bool {
            if (!pResult || nWidth <= 0 || nHeight <= 0) return false;
            const uint32_t width = static_cast<uint32_t>(nWidth);
            const uint32_t height = static_cast<uint32_t>(nHeight);
            const uint64_t stride = DibStride(width, 8);
            if (ImageBytes(height, stride) > nResultSize) return false;
            if (pResult == pSrc && static_cast<uint64_t>(nStride) != stride) return false;
            ThresholdMap map;
            if (!MeasureThresholdMap(pSrc, nWidth, nHeight, nStride, nCriterion, nTileSize, nOffset,
                                     fGlobalWeight, map)) {
                return false;
            }
            if (stride > width) {
                for (uint32_t y = 0; y < height; ++y)
                    std::memset(pResult + y * stride + width, 0, stride - width);
            }
            ApplyThresholdMap(map, pSrc, width, height, static_cast<size_t>(nStride), bNegative,
                              pResult, stride);
            return true;
        },
        false);
}
