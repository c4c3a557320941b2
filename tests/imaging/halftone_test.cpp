// Dither: every method's boundary values, the negative flag, the diffusion methods
// against plain transcriptions of their rules, and the threshold matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/threshold_matrices.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;
using mx_imaging::kM10;
using mx_imaging::kM3;
using mx_imaging::kM5;
using mx_imaging::kM7;
using mx_imaging::kM8;
using mx_imaging::kM9;

namespace {

// Runs a method on a copy of `src` into a white destination.
std::vector<uint8_t> Halftone(int method, std::vector<uint8_t> src, uint32_t width, uint32_t height,
                              uint32_t stride, bool negative = false) {
    std::vector<uint8_t> dst(src.size(), 255);
    EXPECT_EQ(
        CBmpProcessing::Dither(method, src.data(), dst.data(), height, width, stride, 0, negative),
        1);
    return dst;
}

std::vector<uint8_t> Uniform(uint8_t v, uint32_t width, uint32_t height) {
    return std::vector<uint8_t>(static_cast<size_t>(width) * height, v);
}

std::vector<uint8_t> Random(uint32_t width, uint32_t height, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> img(static_cast<size_t>(width) * height);
    for (uint8_t& v : img) v = static_cast<uint8_t>(rng() & 0xFF);
    return img;
}

// The rule of each ordered method for value v at column x, row y: true when light.
using Rule = std::function<bool(int v, int x, int y)>;

const std::vector<std::pair<int, Rule>>& OrderedRules() {
    static const std::vector<std::pair<int, Rule>> rules = {
        {1, [](int v, int, int) { return v >= 129; }},
        {3, [](int v, int x, int y) { return v >= 250 || (v != 0 && v >= kM3[y % 16][x % 16]); }},
        {5, [](int v, int x, int y) { return v >= 250 || (v != 0 && v >= kM5[y % 40][x % 40]); }},
        {7,
         [](int v, int x, int y) {
             const int q = static_cast<int>(std::trunc(v / 255.0 * 15 + 0.5));
             return v == 255 || q > kM7[y % 15][x % 15];
         }},
        {8,
         [](int v, int x, int y) {
             const int l = static_cast<int>(std::floor(16.0 * v / 255.0));
             return l == 16 || l > kM8[y % 4][x % 4];
         }},
        {9,
         [](int v, int x, int y) {
             const int q = static_cast<int>(std::trunc(v / 255.0 * 128 + 0.5));
             return q > kM9[y % 8][(x + (y % 16 >= 8 ? 8 : 0)) % 16];
         }},
        {10, [](int v, int x, int y) { return v > kM10[y % 4][x % 4]; }},
    };
    return rules;
}

}  // namespace

TEST(DitherFixedThreshold, Splits128From129) {
    const std::vector<uint8_t> out = Halftone(1, {0, 128, 129, 255}, 4, 1, 4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST(DitherOrdered, EveryMethodFollowsItsRuleOnRandomPixels) {
    const uint32_t w = 83, h = 47;  // not a multiple of any matrix size
    const std::vector<uint8_t> src = Random(w, h, 7);
    for (const auto& [method, rule] : OrderedRules()) {
        const std::vector<uint8_t> out = Halftone(method, src, w, h, w);
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t want = rule(src[y * w + x], x, y) ? 255 : 0;
                ASSERT_EQ(out[y * w + x], want) << "method " << method << " at " << x << "," << y;
            }
        }
    }
}

TEST(DitherOrdered, WhiteAndBlackHoldAtEveryMatrixPosition) {
    const uint32_t side = 240;  // a whole number of tiles of every matrix
    const auto all = [&](uint8_t v) { return Uniform(v, side, side); };
    const auto run = [&](int method, uint8_t v) {
        return Halftone(method, all(v), side, side, side);
    };
    for (int method : {3, 5, 7, 8, 10}) {
        EXPECT_EQ(run(method, 255), all(255)) << method;
        EXPECT_EQ(run(method, 0), all(0)) << method;
    }
    // The dispersed screens hold 250 and above as white; the others quantise 250 to
    // their top level, which is still dark against their largest entries.
    EXPECT_EQ(run(3, 250), all(255));
    EXPECT_EQ(run(5, 250), all(255));
    EXPECT_NE(run(7, 250), all(255));
    EXPECT_NE(run(8, 250), all(255));
    EXPECT_EQ(run(10, 241), all(255));
    EXPECT_NE(run(10, 240), all(255));
}

TEST(DitherOrdered, ClusteredScreenKeepsWhiteDotsWhereTheEntryIs128) {
    // q = 128 for white is not above the entry 128, so white prints there.
    const std::vector<uint8_t> out = Halftone(9, Uniform(255, 16, 16), 16, 16, 16);
    int dots = 0;
    for (uint8_t v : out) dots += v == 0;
    EXPECT_EQ(dots, 2);
    EXPECT_EQ(out[0], 0);           // M9[0][0] = 128
    EXPECT_EQ(out[8 * 16 + 8], 0);  // shifted half tile
}

TEST(DitherNegative, EveryMethodSwapsDarkAndLight) {
    const uint32_t w = 70, h = 40;
    const std::vector<uint8_t> src = Random(w, h, 11);
    for (int method = 1; method <= 10; ++method) {
        const std::vector<uint8_t> pos = Halftone(method, src, w, h, w, false);
        const std::vector<uint8_t> neg = Halftone(method, src, w, h, w, true);
        for (size_t i = 0; i < pos.size(); ++i) {
            // Method 6 leaves its last rows and columns unwritten (white in both runs).
            const bool unwritten = method == 6 && (i / w >= h - 2 || i % w >= w - 2);
            ASSERT_EQ(neg[i], unwritten ? 255 : 255 - pos[i]) << "method " << method << " at " << i;
        }
    }
}

// The methods that decide each dot from its own pixel may write into the source: each row is
// read before it is overwritten, and the dots equal those written elsewhere.
TEST(DitherInPlace, MethodsThatDecideEachDotAloneGiveTheSameDots) {
    const uint32_t w = 83, h = 47;
    const std::vector<uint8_t> src = Random(w, h, 5);
    for (int method = 1; method <= 10; ++method) {
        // The diffusion methods read pixels they have already decided, and method 4 reads
        // whole tiles.
        ASSERT_EQ(CBmpProcessing::DithersInPlace(method),
                  method != 2 && method != 4 && method != 6);
        if (!CBmpProcessing::DithersInPlace(method)) continue;
        for (bool negative : {false, true}) {
            std::vector<uint8_t> own = src;
            ASSERT_EQ(CBmpProcessing::Dither(method, own.data(), own.data(), h, w, w, 0, negative),
                      1);
            EXPECT_EQ(own, Halftone(method, src, w, h, w, negative)) << "method " << method;
        }
    }
}

TEST(DitherNoMethod, UnknownMethodsLeaveTheWhitePage) {
    const std::vector<uint8_t> src = Random(9, 4, 3);
    for (int method : {0, 11, -1, 1000}) {
        EXPECT_EQ(Halftone(method, src, 9, 4, 9), Uniform(255, 9, 4)) << method;
    }
}

TEST(DitherHostile, NullBuffersAndDegenerateSizes) {
    std::vector<uint8_t> buf(16, 100);
    EXPECT_EQ(CBmpProcessing::Dither(1, nullptr, buf.data(), 4, 4, 4, 0, false), 0);
    EXPECT_EQ(CBmpProcessing::Dither(1, buf.data(), nullptr, 4, 4, 4, 0, false), 0);
    for (int method = 1; method <= 10; ++method) {
        std::vector<uint8_t> src(16, 100);
        std::vector<uint8_t> dst(16, 7);
        EXPECT_EQ(CBmpProcessing::Dither(method, src.data(), dst.data(), 0, 4, 4, 0, false), 1);
        EXPECT_EQ(CBmpProcessing::Dither(method, src.data(), dst.data(), 4, 0, 4, 0, false), 1);
        EXPECT_EQ(dst, std::vector<uint8_t>(16, 7)) << method;
    }
}

TEST(DitherHostile, WidthBeyondTheStrideIsCutToTheStride) {
    // Rows of 4 bytes, a width of 1000 claimed: only the stride's columns are written.
    for (int method = 1; method <= 10; ++method) {
        std::vector<uint8_t> src(3 * 4 + 4, 0);
        std::vector<uint8_t> dst(src.size(), 7);
        EXPECT_EQ(CBmpProcessing::Dither(method, src.data(), dst.data(), 3, 1000, 4, 0, false), 1);
        for (size_t i = 12; i < dst.size(); ++i) EXPECT_EQ(dst[i], 7) << method;
    }
}

namespace {

// Floyd-Steinberg as the rule reads, one clamped store at a time.
std::vector<uint8_t> PlainFloydSteinberg(std::vector<uint8_t>& src, int w, int h) {
    std::vector<uint8_t> out(src.size(), 255);
    const auto add = [&](int x, int y, int share) {
        if (x < 0 || x >= w || y >= h) return;
        const int v = src[y * w + x] + share;
        src[y * w + x] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = src[y * w + x];
            const int e = v <= 128 ? v : v - 255;
            out[y * w + x] = v <= 128 ? 0 : 255;
            add(x + 1, y, 7 * e / 16);
            if (y + 1 < h) {
                add(x - 1, y + 1, 3 * e / 16);
                add(x, y + 1, 5 * e / 16);
                add(x + 1, y + 1, e / 16);
            }
        }
    }
    return out;
}

// Stucki as the rule reads, on a private copy in 0..144.
std::vector<uint8_t> PlainStucki(const std::vector<uint8_t>& src, int w, int h) {
    std::vector<uint8_t> out(src.size(), 255);
    std::vector<int> work(src.size());
    for (size_t i = 0; i < src.size(); ++i)
        work[i] = static_cast<int>(std::trunc(src[i] * 144.0f / 255.0f + 0.5f));
    const int weights[3][5] = {{0, 0, 0, 8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}};
    for (int y = 0; y + 2 < h; ++y) {
        for (int x = 0; x + 2 < w; ++x) {
            const int v = work[y * w + x];
            const int e = v > 72 ? v - 144 : v;
            out[y * w + x] = v > 72 ? 255 : 0;
            for (int dy = 0; dy < 3; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) {
                    const int wt = weights[dy][dx + 2];
                    if (wt == 0 || x + dx < 0) continue;
                    work[(y + dy) * w + x + dx] +=
                        static_cast<int>(std::trunc(static_cast<float>(e * wt) / 42.0f));
                }
            }
        }
    }
    return out;
}

}  // namespace

TEST(DitherFloydSteinberg, SmallCaseByHand) {
    std::vector<uint8_t> src = {100, 100, 100, 100};
    std::vector<uint8_t> dst(4, 255);
    CBmpProcessing::Dither(2, src.data(), dst.data(), 2, 2, 2, 0, false);
    EXPECT_EQ(Art(dst.data(), 2, 2, 2), (std::vector<std::string>{"#.", "##"}));
    EXPECT_EQ(src, (std::vector<uint8_t>{100, 143, 110, 119})) << "errors stay in the source";
}

TEST(DitherFloydSteinberg, ErrorsAreClampedAsTheyLand) {
    std::vector<uint8_t> src = {128, 250};
    std::vector<uint8_t> dst(2, 7);
    CBmpProcessing::Dither(2, src.data(), dst.data(), 1, 2, 2, 0, false);
    EXPECT_EQ(dst, (std::vector<uint8_t>{0, 255}));
    EXPECT_EQ(src[1], 255);
}

TEST(DitherFloydSteinberg, MatchesThePlainRuleOnRandomImages) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const int w = 37 + seed, h = 23;
        std::vector<uint8_t> src = Random(w, h, seed);
        std::vector<uint8_t> plainSrc = src;
        const std::vector<uint8_t> want = PlainFloydSteinberg(plainSrc, w, h);
        std::vector<uint8_t> dst(src.size(), 255);
        CBmpProcessing::Dither(2, src.data(), dst.data(), h, w, w, 0, false);
        EXPECT_EQ(dst, want) << seed;
        EXPECT_EQ(src, plainSrc) << seed;
    }
}

namespace {

// A label-like page: long runs of exact black and white (so the run shortcuts engage,
// also at row starts and ends), broken by grey patches and single grey pixels. Some
// grey rows alternate with exact rows, whose runs then cross errors owed from above.
std::vector<uint8_t> LabelLike(uint32_t w, uint32_t h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> img(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool patch = (x > w / 2 && x < w / 2 + 9 && y % 13 < 6) ||
                               (y % 2 == 0 && x > w / 4 && x < w / 4 + 20);
            const bool speck = rng() % 97 == 0;
            uint8_t v = ((x / 11 + y / 5) % 3 == 0) ? 0 : 255;
            if (patch || speck) v = static_cast<uint8_t>(rng() % 256);
            img[y * w + x] = v;
        }
    }
    return img;
}

}  // namespace

TEST(DitherFloydSteinberg, MatchesThePlainRuleOnLabelLikePages) {
    for (unsigned seed : {21u, 22u}) {
        const int w = 123, h = 40;
        std::vector<uint8_t> src = LabelLike(w, h, seed);
        std::vector<uint8_t> plainSrc = src;
        const std::vector<uint8_t> want = PlainFloydSteinberg(plainSrc, w, h);
        std::vector<uint8_t> dst(src.size(), 255);
        CBmpProcessing::Dither(2, src.data(), dst.data(), h, w, w, 0, false);
        EXPECT_EQ(dst, want) << seed;
        EXPECT_EQ(src, plainSrc) << seed;
    }
}

TEST(DitherFloydSteinberg, SingleColumnAndSingleRow) {
    std::vector<uint8_t> column = {100, 100, 100};
    std::vector<uint8_t> plain = column;
    const std::vector<uint8_t> want = PlainFloydSteinberg(plain, 1, 3);
    std::vector<uint8_t> dst(3, 255);
    CBmpProcessing::Dither(2, column.data(), dst.data(), 3, 1, 1, 0, false);
    EXPECT_EQ(dst, want);
    EXPECT_EQ(column, plain);
}

TEST(DitherStucki, MatchesThePlainRuleAndKeepsTheSource) {
    for (unsigned seed : {4u, 5u}) {
        const int w = 41, h = 29 + seed;
        const std::vector<uint8_t> src = Random(w, h, seed);
        std::vector<uint8_t> copy = src;
        std::vector<uint8_t> dst(src.size(), 255);
        CBmpProcessing::Dither(6, copy.data(), dst.data(), h, w, w, 0, false);
        EXPECT_EQ(dst, PlainStucki(src, w, h)) << seed;
        EXPECT_EQ(copy, src);
    }
}

TEST(DitherStucki, MatchesThePlainRuleOnLabelLikePages) {
    for (unsigned seed : {23u, 24u}) {
        const int w = 131, h = 44;
        const std::vector<uint8_t> src = LabelLike(w, h, seed);
        std::vector<uint8_t> copy = src;
        std::vector<uint8_t> dst(src.size(), 255);
        CBmpProcessing::Dither(6, copy.data(), dst.data(), h, w, w, 0, false);
        EXPECT_EQ(dst, PlainStucki(src, w, h)) << seed;
    }
}

TEST(DitherStucki, FewerThanThreeRowsOrColumnsWritesNothing) {
    EXPECT_EQ(Halftone(6, Uniform(0, 10, 2), 10, 2, 10), Uniform(255, 10, 2));
    EXPECT_EQ(Halftone(6, Uniform(0, 2, 10), 2, 10, 2), Uniform(255, 2, 10));
}

TEST(DitherStucki, LastTwoRowsAndColumnsStayUnwritten) {
    const std::vector<uint8_t> out = Halftone(6, Uniform(0, 6, 5), 6, 5, 6);
    EXPECT_EQ(Art(out.data(), 6, 5, 6),
              (std::vector<std::string>{"####..", "####..", "####..", "......", "......"}));
}

TEST(DitherStucki, MidGreyPrintsAboutHalfTheDots) {
    const int side = 64;
    const std::vector<uint8_t> out = Halftone(6, Uniform(128, side, side), side, side, side);
    int dark = 0;
    for (int y = 0; y < side - 2; ++y) {
        for (int x = 0; x < side - 2; ++x) dark += out[y * side + x] == 0;
    }
    EXPECT_NEAR(dark / double((side - 2) * (side - 2)), 0.5, 0.05);
}

TEST(DitherTiledThreshold, MethodFourIsAdThresholdImgLocal) {
    const uint32_t w = 150, h = 90;
    const std::vector<uint8_t> src = Random(w, h, 9);
    std::vector<uint8_t> direct(src.size(), 255);
    uint8_t* p = direct.data();
    ASSERT_EQ(CBmpProcessing::AdThresholdImgLocal(w, h, 8, w, src.data(), w * h, &p, nullptr, false,
                                                  false),
              1);
    EXPECT_EQ(Halftone(4, src, w, h, w), direct);
}

TEST(ThresholdMatrices, M5StartsWithTheReferenceRowsAndHas254Values) {
    const std::vector<int> row0 = {
        1, 154, 250, 72, 132, 30, 186, 228, 93, 108, 7,  162, 253, 63, 139, 36, 192, 234, 99,  103,
        2, 155, 251, 70, 131, 30, 184, 227, 92, 111, 10, 163, 254, 65, 140, 37, 194, 237, 101, 102};
    const std::vector<int> row1 = {
        51, 140, 38, 194, 218, 81, 119, 17, 172, 247, 58, 148, 45, 201, 213, 86, 125, 24, 178, 239,
        52, 143, 40, 196, 221, 79, 118, 17, 170, 247, 59, 150, 47, 204, 215, 88, 127, 25, 180, 237};
    EXPECT_EQ(std::vector<int>(kM5[0], kM5[0] + 40), row0);
    EXPECT_EQ(std::vector<int>(kM5[1], kM5[1] + 40), row1);
    std::set<int> values;
    for (const auto& row : kM5) {
        for (uint8_t v : row) {
            EXPECT_GE(v, 1);
            values.insert(v);
        }
    }
    EXPECT_EQ(values.size(), 254u);
}

TEST(ThresholdMatrices, M5SpreadsEveryGreyLevelEvenly) {
    // Each quarter of the tile takes close to a quarter of the dots of any level.
    for (int level : {32, 64, 128, 192}) {
        int quarter[4] = {0, 0, 0, 0};
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) quarter[(y / 20) * 2 + x / 20] += kM5[y][x] <= level;
        }
        const double expected = 1600.0 * level / 254 / 4;
        for (int q : quarter) EXPECT_NEAR(q, expected, expected * 0.15 + 2) << level;
    }
}

TEST(ThresholdMatrices, M7RowFourteenContinuesTheDiagonal) {
    const std::vector<int> row14 = {1, 6, 5, 0, 13, 14, 3, 12, 8, 9, 15, 7, 11, 10, 4};
    EXPECT_EQ(std::vector<int>(kM7[14], kM7[14] + 15), row14);
    EXPECT_EQ(std::vector<int>(kM7[0], kM7[0] + 14),
              std::vector<int>(row14.begin(), row14.end() - 1));
}
