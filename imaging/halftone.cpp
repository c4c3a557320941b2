// Dither: the ten halftone methods that turn an 8-bit grey page into black and white
// dots. Ordered methods compare a per-value key with a tiled threshold matrix; the two
// error diffusion methods live in error_diffusion.cpp.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/bmp_processing.h"
#include "imaging/buffer_util.h"
#include "imaging/cpu_features.h"
#include "imaging/error_diffusion.h"
#include "imaging/threshold_matrices.h"

using namespace mx_imaging;

namespace {

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
constexpr auto kScreen3 =
    MakeScreen<16, 16>([](size_t y, size_t x) { return std::clamp<int>(kM3[y][x], 1, 250); });
constexpr auto kScreen5 =
    MakeScreen<40, 40>([](size_t y, size_t x) { return std::clamp<int>(kM5[y][x], 1, 250); });
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

// Light where key >= threshold along a row; written so that it vectorises.
template <bool Keyed>
void ThresholdSpan(const uint8_t* __restrict s, uint8_t* __restrict d,
                   const uint8_t* __restrict threshold, size_t n, const uint8_t* __restrict key,
                   Tones t) {
    for (size_t k = 0; k < n; ++k) {
        const uint8_t v = Keyed ? key[s[k]] : s[k];
        d[k] = v >= threshold[k] ? t.light : t.dark;
    }
}

// Each screen row repeated to a span of at least 256 columns, so that a row of the page
// is thresholded in long runs instead of one matrix width at a time.
template <size_t H, size_t W>
std::vector<uint8_t> RepeatRows(const Screen<H, W>& screen, size_t& span) {
    span = W * ((256 + W - 1) / W);
    std::vector<uint8_t> rows(H * span);
    for (size_t y = 0; y < H; ++y) {
        for (size_t x = 0; x < span; ++x) rows[y * span + x] = screen[y][x % W];
    }
    return rows;
}

// The source rows of a method that decides each dot from its own pixel alone. Where the dots
// go into the source itself, the columns from `from` on are read from a copy, indexed as the
// row is.
class SourceRows {
  public:
    explicit SourceRows(const Page& page)
        : page_(page), copy_(page.src == page.dst ? page.cols : 0) {}
    const uint8_t* Row(uint32_t y, size_t from = 0) {
        const uint8_t* s = page_.src + static_cast<size_t>(y) * page_.stride;
        if (copy_.empty() || from >= copy_.size()) return s;
        std::memcpy(copy_.data() + from, s + from, copy_.size() - from);
        return copy_.data();
    }

  private:
    const Page& page_;
    std::vector<uint8_t> copy_;
};

template <bool Keyed, size_t H, size_t W>
void OrderedDither(const Page& page, const KeyTable& key, const Screen<H, W>& screen, Tones t) {
    size_t span = 0;
    const std::vector<uint8_t> rows = RepeatRows(screen, span);
    SourceRows source(page);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* s = source.Row(y);
        uint8_t* d = page.dst + static_cast<size_t>(y) * page.stride;
        const uint8_t* row = &rows[(y % H) * span];
        for (size_t x = 0; x < page.cols; x += span) {
            ThresholdSpan<Keyed>(s + x, d + x, row, std::min<size_t>(span, page.cols - x),
                                 key.data(), t);
        }
    }
}

constexpr uint8_t kFixedThreshold = 129;

#ifdef MX_X86_DISPATCH
// The fixed threshold thirty-two pixels at a time where the CPU has AVX2; returns the pixels
// done.
__attribute__((target("avx2"))) size_t FixedThresholdAvx2(const uint8_t* s, uint8_t* d, size_t n,
                                                          Tones t) {
    const __m256i level = _mm256_set1_epi8(static_cast<char>(kFixedThreshold));
    const __m256i dark = _mm256_set1_epi8(static_cast<char>(t.dark));
    const __m256i light = _mm256_set1_epi8(static_cast<char>(t.light));
    size_t x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
        const __m256i isLight = _mm256_cmpeq_epi8(_mm256_max_epu8(v, level), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x),
                            _mm256_blendv_epi8(dark, light, isLight));
    }
    return x;
}
#endif

void FixedThreshold(const Page& page, Tones t) {
    const std::vector<uint8_t> threshold(std::min<size_t>(page.cols, 4096), kFixedThreshold);
    SourceRows source(page);
    for (uint32_t y = 0; y < page.height; ++y) {
        uint8_t* d = page.dst + static_cast<size_t>(y) * page.stride;
        size_t x = 0;
#ifdef MX_X86_DISPATCH
        // Each block is read whole before its dots are written: it needs no copy in place.
        if (CpuHasAvx2())
            x = FixedThresholdAvx2(page.src + static_cast<size_t>(y) * page.stride, d, page.cols,
                                   t);
#endif
        const uint8_t* s = source.Row(y, x);
        for (; x < page.cols; x += threshold.size()) {
            ThresholdSpan<false>(s + x, d + x, threshold.data(),
                                 std::min(threshold.size(), page.cols - x), nullptr, t);
        }
    }
}

// Every method but the tiled threshold; other numbers leave the caller's white page.
void RunMethod(int32_t method, const Page& page, Tones t) {
    switch (method) {
        case 1:
            return FixedThreshold(page, t);
        case 2:
            return FloydSteinberg(page, t);
        case 3:
            return OrderedDither<false>(page, {}, kScreen3, t);
        case 5:
            return OrderedDither<false>(page, {}, kScreen5, t);
        case 6:
            return Stucki(page, t);
        case 7:
            return OrderedDither<true>(page, Keys7(), kScreen7, t);
        case 8:
            return OrderedDither<true>(page, Keys8(), kScreen8, t);
        case 9:
            return OrderedDither<true>(page, Keys9(), kScreen9, t);
        case 10:
            return OrderedDither<false>(page, {}, kScreen10, t);
        default:
            return;
    }
}

}  // namespace

bool CBmpProcessing::DithersInPlace(int32_t nMethod) {
    return nMethod == 1 || nMethod == 3 || nMethod == 5 || (nMethod >= 7 && nMethod <= 10);
}

int32_t CBmpProcessing::Dither(int32_t nMethod, uint8_t* pSrc, uint8_t* pDst, uint32_t dwHeight,
                               uint32_t dwWidth, uint32_t dwStride, uint32_t, bool bNegative) {
    if (!pSrc || !pDst) return 0;
    const Tones t = bNegative ? Tones{255, 0} : Tones{0, 255};
    const Page page{pSrc, pDst, dwHeight, std::min(dwWidth, dwStride), dwStride};
    // Allocations that fail end the operation with its failure value.
    return OrFailure(
        [&]() -> int32_t {
            if (nMethod == 4) {  // tiled threshold over the whole buffer
                const uint64_t size = static_cast<uint64_t>(dwStride) * dwHeight;
                if (size <= kMaxImageBytes) {
                    AdThresholdImgLocal(dwWidth, dwHeight, 8, dwStride, pSrc,
                                        static_cast<uint32_t>(size), &pDst, nullptr, bNegative,
                                        false);
                }
            } else {
                RunMethod(nMethod, page, t);
            }
            return 1;
        },
        0);
}
