// Dither: the ten halftone methods that turn an 8-bit grey page into black and white
// dots. Ordered methods compare a per-value key with a tiled threshold matrix; the two
// error diffusion methods carry their running errors in registers along a row.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/threshold_matrices.h"

using namespace mx_imaging;

namespace {

struct Tones {
    uint8_t dark;
    uint8_t light;
};

struct Page {
    uint8_t* src;
    uint8_t* dst;
    uint32_t height;
    uint32_t cols;  // columns processed: never more than the stride
    uint32_t stride;
};

using KeyTable = std::array<uint8_t, 256>;

template <size_t H, size_t W>
using Screen = std::array<std::array<uint8_t, W>, H>;

// Every ordered method reads "light when key[v] >= screen[y mod H][x mod W]"; the
// per-method rules are folded into the key table and the screen once, at compile time.
template <size_t H, size_t W, typename Fn>
constexpr Screen<H, W> MakeScreen(Fn entry) {
    Screen<H, W> s{};
    for (size_t y = 0; y < H; ++y) {
        for (size_t x = 0; x < W; ++x) s[y][x] = static_cast<uint8_t>(entry(y, x));
    }
    return s;
}

// Methods 3 and 5: 250 and above are always light and 0 always dark, which is the same
// as clamping the matrix entries to 1..250.
constexpr auto kScreen3 = MakeScreen<16, 16>(
    [](size_t y, size_t x) { return std::clamp<int>(kM3[y][x], 1, 250); });
constexpr auto kScreen5 = MakeScreen<40, 40>(
    [](size_t y, size_t x) { return std::clamp<int>(kM5[y][x], 1, 250); });
// "key > entry" becomes "key >= entry + 1".
constexpr auto kScreen7 = MakeScreen<15, 15>([](size_t y, size_t x) { return kM7[y][x] + 1; });
constexpr auto kScreen8 = MakeScreen<4, 4>([](size_t y, size_t x) { return kM8[y][x] + 1; });
// Method 9 shifts the lower half of each 16-row tile by 8 columns.
constexpr auto kScreen9 = MakeScreen<16, 16>(
    [](size_t y, size_t x) { return kM9[y % 8][(x + (y >= 8 ? 8 : 0)) % 16] + 1; });
constexpr auto kScreen10 = MakeScreen<4, 4>([](size_t y, size_t x) { return kM10[y][x] + 1; });

template <typename Fn>
KeyTable MakeKeys(Fn key) {
    KeyTable t{};
    for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(key(v));
    return t;
}

KeyTable IdentityKeys() {
    return MakeKeys([](int v) { return v; });
}

// Method 7 quantises to 16 levels; white must stay light at every matrix entry.
KeyTable Keys7() {
    return MakeKeys([](int v) {
        return v == 255 ? 16 : static_cast<int>(std::trunc(v / 255.0f * 15.0f + 0.5f));
    });
}

KeyTable Keys8() {
    return MakeKeys([](int v) { return (16 * v) / 255; });
}

KeyTable Keys9() {
    return MakeKeys([](int v) { return static_cast<int>(std::trunc(v / 255.0f * 128.0f + 0.5f)); });
}

template <size_t H, size_t W>
void OrderedDither(const Page& page, const KeyTable& key, const Screen<H, W>& screen, Tones t) {
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* s = page.src + static_cast<size_t>(y) * page.stride;
        uint8_t* d = page.dst + static_cast<size_t>(y) * page.stride;
        const auto& row = screen[y % H];
        for (uint32_t x0 = 0; x0 < page.cols; x0 += W) {
            const uint32_t n = std::min<uint32_t>(W, page.cols - x0);
            for (uint32_t k = 0; k < n; ++k) {
                d[x0 + k] = key[s[x0 + k]] >= row[k] ? t.light : t.dark;
            }
        }
    }
}

void FixedThreshold(const Page& page, Tones t) {
    KeyTable out{};
    for (int v = 0; v < 256; ++v) out[v] = v >= 129 ? t.light : t.dark;
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* s = page.src + static_cast<size_t>(y) * page.stride;
        uint8_t* d = page.dst + static_cast<size_t>(y) * page.stride;
        for (uint32_t x = 0; x < page.cols; ++x) d[x] = out[s[x]];
    }
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

uint8_t AddClamped(uint8_t v, int share) { return ClampInt(v + share); }

void FloydSteinberg(const Page& page, Tones t) {
    static const std::array<FsShares, 256> kShares = MakeFsShares();
    const uint32_t cols = page.cols;
    if (cols == 0) return;
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* cur = page.src + static_cast<size_t>(y) * page.stride;
        uint8_t* out = page.dst + static_cast<size_t>(y) * page.stride;
        uint8_t* next = y + 1 < page.height ? cur + page.stride : nullptr;
        // The pixel being decided and the next row's pixels around it stay in registers;
        // every add is clamped as it lands, as if stored into the byte at once.
        uint8_t v = cur[0];
        uint8_t belowLeft = 0;
        uint8_t below = next ? next[0] : 0;
        for (uint32_t x = 0; x < cols; ++x) {
            const FsShares s = kShares[v];
            out[x] = v <= 128 ? t.dark : t.light;
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
        }
        if (next) next[cols - 1] = belowLeft;
    }
}

// Stucki weights over 42 on a 0..144 scale. Running values stay within -144..288, so
// every error lies in -144..144.
constexpr int kStuckiLevels = 144;
constexpr int kStuckiMid = 72;

struct StuckiShares {
    // share[w][e + 144] = trunc(e * w / 42) for the weights 1, 2, 4 and 8.
    std::array<std::array<int16_t, 2 * kStuckiLevels + 1>, 4> byWeight;
    int Share(int weightIndex, int e) const { return byWeight[weightIndex][e + kStuckiLevels]; }
};

StuckiShares MakeStuckiShares() {
    StuckiShares s{};
    const int weights[4] = {1, 2, 4, 8};
    for (int k = 0; k < 4; ++k) {
        for (int e = -kStuckiLevels; e <= kStuckiLevels; ++e) {
            const float share = static_cast<float>(e * weights[k]) / 42.0f;
            s.byWeight[k][e + kStuckiLevels] = static_cast<int16_t>(std::trunc(share));
        }
    }
    return s;
}

void Stucki(const Page& page, Tones t) {
    const uint32_t cols = page.cols;
    if (page.height < 3 || cols < 3 || cols > kMaxDimension) return;
    static const StuckiShares kShares = MakeStuckiShares();
    KeyTable level{};
    for (int v = 0; v < 256; ++v) {
        level[v] = static_cast<uint8_t>(std::trunc(v * 144.0f / 255.0f + 0.5f));
    }
    // Three rolling rows of working values and the current row's error shares, all
    // with two columns of zero padding on each side: shares aimed left of column 0 land
    // in the padding and are dropped, and columns without an error share nothing.
    const size_t pitch = cols + 4;
    std::vector<int16_t> work(3 * pitch, 0);
    std::vector<int16_t> shares(4 * pitch, 0);
    int16_t* r0 = work.data() + 2;
    int16_t* r1 = r0 + pitch;
    int16_t* r2 = r1 + pitch;
    int16_t* s1 = shares.data() + 2;
    int16_t* s2 = s1 + pitch;
    int16_t* s4 = s2 + pitch;
    int16_t* s8 = s4 + pitch;
    auto load = [&](int16_t* dst, uint32_t y) {
        const uint8_t* s = page.src + static_cast<size_t>(y) * page.stride;
        for (uint32_t x = 0; x < cols; ++x) dst[x] = level[s[x]];
    };
    load(r0, 0);
    load(r1, 1);
    const uint32_t lastCol = cols - 3;
    for (uint32_t y = 0; y + 2 < page.height; ++y) {
        load(r2, y + 2);
        uint8_t* out = page.dst + static_cast<size_t>(y) * page.stride;
        int pendingNext = 0;   // shares already owed to column x + 1
        int pendingAfter = 0;  // shares already owed to column x + 2
        for (uint32_t x = 0; x <= lastCol; ++x) {
            const int w = r0[x] + pendingNext;
            const bool light = w > kStuckiMid;
            const int e = light ? w - kStuckiLevels : w;
            out[x] = light ? t.light : t.dark;
            s1[x] = static_cast<int16_t>(kShares.Share(0, e));
            s2[x] = static_cast<int16_t>(kShares.Share(1, e));
            s4[x] = static_cast<int16_t>(kShares.Share(2, e));
            s8[x] = static_cast<int16_t>(kShares.Share(3, e));
            pendingNext = pendingAfter + s8[x];
            pendingAfter = s4[x];
        }
        // The rows below take their shares in one pass: integer adds do not depend on
        // their order, and no value is clamped.
        for (int64_t p = 0; p < static_cast<int64_t>(cols); ++p) {
            r1[p] += static_cast<int16_t>(s2[p + 2] + s4[p + 1] + s8[p] + s4[p - 1] + s2[p - 2]);
            r2[p] += static_cast<int16_t>(s1[p + 2] + s2[p + 1] + s4[p] + s2[p - 1] + s1[p - 2]);
        }
        std::swap(r0, r1);
        std::swap(r1, r2);
    }
}

}  // namespace

int32_t CBmpProcessing::Dither(int32_t nMethod, uint8_t* pSrc, uint8_t* pDst, uint32_t dwHeight,
                               uint32_t dwWidth, uint32_t dwStride, uint32_t, bool bNegative) {
    if (!pSrc || !pDst) return 0;
    const Tones t = bNegative ? Tones{255, 0} : Tones{0, 255};
    const Page page{pSrc, pDst, dwHeight, std::min(dwWidth, dwStride), dwStride};
    switch (nMethod) {
        case 1: FixedThreshold(page, t); break;
        case 2: FloydSteinberg(page, t); break;
        case 3: OrderedDither(page, IdentityKeys(), kScreen3, t); break;
        case 4: {
            const uint64_t size = static_cast<uint64_t>(dwStride) * dwHeight;
            if (size <= kMaxImageBytes) {
                AdThresholdImgLocal(dwWidth, dwHeight, 8, dwStride, pSrc,
                                    static_cast<uint32_t>(size), &pDst, nullptr, bNegative, false);
            }
            break;
        }
        case 5: OrderedDither(page, IdentityKeys(), kScreen5, t); break;
        case 6: Stucki(page, t); break;
        case 7: OrderedDither(page, Keys7(), kScreen7, t); break;
        case 8: OrderedDither(page, Keys8(), kScreen8, t); break;
        case 9: OrderedDither(page, Keys9(), kScreen9, t); break;
        case 10: OrderedDither(page, IdentityKeys(), kScreen10, t); break;
        default: break;  // no halftoning: the caller's white page stands
    }
    return 1;
}
