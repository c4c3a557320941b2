// Error diffusion. Pixels that are exactly black or white produce no error, and label
// pages are mostly made of them, so both methods settle runs of such pixels straight
// from the source bytes and spend per-pixel work only where an error is in play.
#include "imaging/error_diffusion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "imaging/buffer_util.h"
#include "imaging/word_scan.h"

namespace mx_imaging {

namespace {

// First index from x on (below `end`) whose byte is neither 0 nor 255.
uint32_t EndOfExactRun(const uint8_t* row, uint32_t x, uint32_t end) {
    while (x + 8 <= end && BlackOrWhite(LoadWord(row + x))) x += 8;
    while (x < end && (row[x] == 0 || row[x] == 255)) ++x;
    return x;
}

void DecideExact(const uint8_t* __restrict src, uint8_t* __restrict out, size_t n, Tones t) {
    for (size_t k = 0; k < n; ++k) out[k] = src[k] ? t.light : t.dark;
}

// The light byte where mask is all ones, the dark byte where it is zero, without a
// branch that dithered greys would keep mispredicting.
uint8_t Pick(Tones t, int mask) {
    return static_cast<uint8_t>(t.dark ^ ((t.dark ^ t.light) & mask));
}

// Floyd-Steinberg shares of the error of a pixel whose (clamped) value is v:
// 7/16 right, 3/16 below left, 5/16 below, 1/16 below right, truncated toward zero.
struct FsShares {
    int16_t right, belowLeft, below, belowRight;
};

std::array<FsShares, 256> MakeFsShares() {
    std::array<FsShares, 256> t{};
    for (int v = 0; v < 256; ++v) {
        const int e = v <= 128 ? v : v - 255;
        t[v] = {static_cast<int16_t>(7 * e / 16), static_cast<int16_t>(3 * e / 16),
                static_cast<int16_t>(5 * e / 16), static_cast<int16_t>(e / 16)};
    }
    return t;
}

uint8_t AddClamped(uint8_t v, int share) {
    return ClampInt(v + share);
}

}  // namespace

void FloydSteinberg(const Page& page, Tones t) {
    static const std::array<FsShares, 256> kShares = MakeFsShares();
    const uint32_t cols = page.cols;
    if (cols == 0) return;
    constexpr uint32_t kMinRun = 9;  // shorter runs are cheaper pixel by pixel
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* cur = page.src + static_cast<size_t>(y) * page.stride;
        uint8_t* out = page.dst + static_cast<size_t>(y) * page.stride;
        uint8_t* next = y + 1 < page.height ? cur + page.stride : nullptr;
        // The pixel being decided and the next row's pixels around it stay in registers;
        // every add is clamped as it lands, as if stored into the byte at once.
        uint8_t v = cur[0];
        uint8_t belowLeft = 0;
        uint8_t below = next ? next[0] : 0;
        uint32_t x = 0;
        while (x < cols) {
            if ((v == 0 || v == 255) && x + kMinRun <= cols) {
                // A run without error only decides its dots and passes the registers on.
                const uint32_t end = EndOfExactRun(cur, x + 1, cols);
                if (end - x >= kMinRun) {
                    DecideExact(cur + x, out + x, end - x, t);
                    if (next) {
                        if (x > 0) next[x - 1] = belowLeft;
                        next[x] = below;
                        belowLeft = next[end - 1];
                        if (end < cols) below = next[end];
                    }
                    if (end < cols) v = cur[end];
                    x = end;
                    continue;
                }
            }
            const FsShares s = kShares[v];
            out[x] = Pick(t, -static_cast<int>(v > 128));
            const bool hasRight = x + 1 < cols;
            if (next) {
                if (x > 0) next[x - 1] = AddClamped(belowLeft, s.belowLeft);
                belowLeft = AddClamped(below, s.below);
                if (hasRight) below = AddClamped(next[x + 1], s.belowRight);
            }
            if (hasRight) {
                v = AddClamped(cur[x + 1], s.right);
                cur[x + 1] = v;
            }
            ++x;
        }
        if (next) next[cols - 1] = belowLeft;
    }
}

namespace {

// Stucki weights over 42 on a 0..144 scale. Running values stay within -144..288, so
// every error lies in -144..144.
constexpr int kStuckiLevels = 144;
constexpr int kStuckiMid = 72;

// The shares of the error that a working value w leaves, by weight: trunc(e * weight / 42)
// computed in floating point, with e = w or w - 144. Indexed by w, so that the next
// pixel waits on one load rather than on the decision and then the load.
struct StuckiStep {
    int16_t s1, s2, s4, s8;
};

std::array<StuckiStep, 3 * kStuckiLevels + 1> MakeStuckiSteps() {
    std::array<StuckiStep, 3 * kStuckiLevels + 1> steps{};
    for (int w = -kStuckiLevels; w <= 2 * kStuckiLevels; ++w) {
        const int e = w > kStuckiMid ? w - kStuckiLevels : w;
        const auto share = [e](int weight) {
            return static_cast<int16_t>(std::trunc(static_cast<float>(e * weight) / 42.0f));
        };
        steps[w + kStuckiLevels] = {share(1), share(2), share(4), share(8)};
    }
    return steps;
}

std::array<int16_t, 256> MakeStuckiLevels() {
    std::array<int16_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        t[v] = static_cast<int16_t>(std::trunc(v * 144.0f / 255.0f + 0.5f));
    return t;
}

// Adds to each column of a row below the shares of the five columns around it:
// outer, inner, centre, inner, outer (weights 2 4 8 4 2 or 1 2 4 2 1).
void Spread(int16_t* __restrict row, const int16_t* __restrict outer,
            const int16_t* __restrict inner, const int16_t* __restrict centre, size_t n) {
    // Signed columns: the shares come from up to two columns before the first one.
    for (ptrdiff_t p = 0; p < static_cast<ptrdiff_t>(n); ++p) {
        row[p] = static_cast<int16_t>(row[p] + outer[p + 2] + inner[p + 1] + centre[p] +
                                      inner[p - 1] + outer[p - 2]);
    }
}

// Shares diffused into one of the rows below, and the columns they may have reached.
struct OwedRow {
    int16_t* owed;
    uint32_t lo, hi;  // half-open; everything outside is zero
    void Reach(uint32_t from, uint32_t to) {
        if (from >= to) return;
        if (lo >= hi) {
            lo = from;
            hi = to;
        } else {
            lo = std::min(lo, from);
            hi = std::max(hi, to);
        }
    }
    void Clear() {
        if (lo < hi) std::fill(owed + lo, owed + hi, int16_t{0});
        lo = hi = 0;
    }
};

// The current row's error shares by weight, one array each.
struct ShareRows {
    int16_t* s1;
    int16_t* s2;
    int16_t* s4;
    int16_t* s8;
};

struct Span {
    uint32_t from, to;  // half-open; empty when from >= to
};

// Decides columns 0..lastCol of one row and records their shares; returns the span of
// the columns whose shares are not all zero.
Span DecideRow(const uint8_t* __restrict src, uint8_t* __restrict out, const OwedRow& row,
               uint32_t lastCol, const ShareRows& shares, Tones t) {
    static const auto kSteps = MakeStuckiSteps();
    static const std::array<int16_t, 256> kLevel = MakeStuckiLevels();
    // Locals, so that the stores below cannot make the compiler re-read them.
    const int16_t* __restrict owed = row.owed;
    const uint32_t owedFrom = row.lo, owedTo = row.hi;
    int16_t* __restrict s1 = shares.s1;
    int16_t* __restrict s2 = shares.s2;
    int16_t* __restrict s4 = shares.s4;
    int16_t* __restrict s8 = shares.s8;
    int pendingNext = 0;   // shares already owed to column x + 1
    int pendingAfter = 0;  // shares already owed to column x + 2
    Span decided{lastCol + 1, 0};
    for (uint32_t x = 0; x <= lastCol;) {
        const bool clean = x < owedFrom || x >= owedTo;
        if ((pendingNext | pendingAfter) == 0 && clean && (src[x] == 0 || src[x] == 255)) {
            uint32_t end = EndOfExactRun(src, x + 1, lastCol + 1);
            if (x < owedFrom) end = std::min(end, owedFrom);
            DecideExact(src + x, out + x, end - x, t);
            x = end;
            continue;
        }
        const int w = kLevel[src[x]] + owed[x] + pendingNext;
        const StuckiStep step = kSteps[w + kStuckiLevels];
        // Dithered greys flip between dark and light unpredictably: decide by mask.
        out[x] = Pick(t, -static_cast<int>(w > kStuckiMid));
        s1[x] = step.s1;
        s2[x] = step.s2;
        s4[x] = step.s4;
        s8[x] = step.s8;
        pendingNext = pendingAfter + step.s8;
        pendingAfter = step.s4;
        if (step.s8 != 0) {  // the largest share: zero means the error diffuses nothing
            decided.from = std::min(decided.from, x);
            decided.to = x + 1;
        }
        ++x;
    }
    return decided;
}

}  // namespace

void Stucki(const Page& page, Tones t) {
    const uint32_t cols = page.cols;
    if (page.height < 3 || cols < 3 || cols > kMaxDimension) return;
    // Three rolling rows of owed shares and the current row's shares by weight, all with
    // two columns of zero padding on each side: shares aimed left of column 0 land in the
    // padding and are dropped, and columns without an error share nothing.
    const size_t pitch = cols + 4;
    std::vector<int16_t> owed(3 * pitch, 0);
    std::vector<int16_t> shareRows(4 * pitch, 0);
    OwedRow rows[3];
    for (int k = 0; k < 3; ++k) rows[k] = {owed.data() + 2 + k * pitch, 0, 0};
    const ShareRows shares{shareRows.data() + 2, shareRows.data() + 2 + pitch,
                           shareRows.data() + 2 + 2 * pitch, shareRows.data() + 2 + 3 * pitch};
    int16_t* s1 = shares.s1;
    int16_t* s2 = shares.s2;
    int16_t* s4 = shares.s4;
    int16_t* s8 = shares.s8;
    const uint32_t lastCol = cols - 3;
    for (uint32_t y = 0; y + 2 < page.height; ++y) {
        OwedRow& r0 = rows[y % 3];
        OwedRow& r1 = rows[(y + 1) % 3];
        OwedRow& r2 = rows[(y + 2) % 3];
        const uint8_t* src = page.src + static_cast<size_t>(y) * page.stride;
        uint8_t* out = page.dst + static_cast<size_t>(y) * page.stride;
        const Span decided = DecideRow(src, out, r0, lastCol, shares, t);
        const uint32_t errorFrom = decided.from, errorTo = decided.to;
        if (errorFrom < errorTo) {
            // The rows below take their shares in one pass: integer adds do not depend
            // on their order, and no value is clamped.
            const uint32_t from = errorFrom >= 2 ? errorFrom - 2 : 0;
            const uint32_t to = std::min(errorTo + 2, cols);
            Spread(r1.owed + from, s2 + from, s4 + from, s8 + from, to - from);
            Spread(r2.owed + from, s1 + from, s2 + from, s4 + from, to - from);
            r1.Reach(from, to);
            r2.Reach(from, to);
            for (int16_t* share : {s1, s2, s4, s8})
                std::fill(share + errorFrom, share + errorTo, int16_t{0});
        }
        r0.Clear();  // it comes round again as the row two below
    }
}

}  // namespace mx_imaging
