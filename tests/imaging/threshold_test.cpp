// OptimalThreshold (class and free), AdThresholdImgLocal and AdaptiveThreshold.
#include "imaging/threshold.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/resample.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;

namespace {

int ClassThreshold(const std::vector<uint8_t>& img, uint32_t w, uint32_t h, int64_t criterion,
                   const tagRECT* region = nullptr) {
    return CBmpProcessing::OptimalThreshold(img.data(), static_cast<uint32_t>(img.size()), w, h,
                                            criterion, region);
}

int FreeThreshold(const std::vector<uint8_t>& img, int w, int h, int criterion,
                  const tagRECT* region = nullptr) {
    return OptimalThreshold(criterion, img.data(), w, h, w, region);
}

// Values with the given counts, in one row.
std::vector<uint8_t> Values(std::initializer_list<std::pair<int, int>> counts) {
    std::vector<uint8_t> v;
    for (auto [value, count] : counts) v.insert(v.end(), count, static_cast<uint8_t>(value));
    return v;
}

}  // namespace

TEST(OptimalThreshold, UniformRegionGivesValueMinusOne) {
    const std::vector<uint8_t> img(12, 100);
    for (int criterion = 0; criterion <= 4; ++criterion) {
        EXPECT_EQ(ClassThreshold(img, 4, 3, criterion), 99);
        EXPECT_EQ(FreeThreshold(img, 4, 3, criterion), 99);
    }
}

TEST(OptimalThreshold, BlackRegionGivesZero) {
    const std::vector<uint8_t> img(12, 0);
    EXPECT_EQ(ClassThreshold(img, 4, 3, 0), 0);
    EXPECT_EQ(FreeThreshold(img, 4, 3, 0), 0);
}

TEST(OptimalThreshold, WhiteOnlyRegionDiffersBetweenForms) {
    const std::vector<uint8_t> img(12, 255);
    EXPECT_EQ(ClassThreshold(img, 4, 3, 0), 0);
    EXPECT_EQ(FreeThreshold(img, 4, 3, 0), 254);
}

TEST(OptimalThreshold, TwoValuesGiveTheirMidpointUnderEveryCriterion) {
    const std::vector<uint8_t> img = Values({{50, 7}, {200, 5}});
    for (int criterion = 0; criterion <= 4; ++criterion) {
        EXPECT_EQ(ClassThreshold(img, 12, 1, criterion), 125) << criterion;
        EXPECT_EQ(FreeThreshold(img, 12, 1, criterion), 125) << criterion;
    }
}

TEST(OptimalThreshold, CriteriaOnThreeEqualValues) {
    // Variance and entropy tie and keep the first t (10, replaced by the midpoint); the
    // minimum-error criterion finds no t; the moment balance picks 20; their mean is 13.
    const std::vector<uint8_t> img = {10, 20, 30};
    EXPECT_EQ(ClassThreshold(img, 3, 1, 1), 20);
    EXPECT_EQ(ClassThreshold(img, 3, 1, 2), 20);
    EXPECT_EQ(ClassThreshold(img, 3, 1, 3), 20);
    EXPECT_EQ(ClassThreshold(img, 3, 1, 4), 20);
    EXPECT_EQ(ClassThreshold(img, 3, 1, 0), 13);
    EXPECT_EQ(FreeThreshold(img, 3, 1, 0), 13);
    EXPECT_EQ(ClassThreshold(img, 3, 1, 77), 13) << "any other criterion averages";
}

TEST(OptimalThreshold, EveryCriterionSplitsTwoNoisyModes) {
    std::mt19937 rng(5);
    std::normal_distribution<double> dark(60, 8), light(190, 10);
    std::vector<uint8_t> img;
    for (int i = 0; i < 3000; ++i) {
        img.push_back(static_cast<uint8_t>(std::clamp(dark(rng), 0.0, 255.0)));
        img.push_back(static_cast<uint8_t>(std::clamp(light(rng), 0.0, 255.0)));
    }
    for (int criterion = 0; criterion <= 4; ++criterion) {
        const int t = ClassThreshold(img, 100, 60, criterion);
        EXPECT_GT(t, 60) << criterion;  // between the two modes' centres
        EXPECT_LT(t, 190) << criterion;
        EXPECT_EQ(t, FreeThreshold(img, 100, 60, criterion)) << criterion;
    }
}

TEST(OptimalThreshold, RegionRunsFromBottomUpToTopExclusive) {
    const Image img = Grey({"1111", "1111", "8888", "8888"});  // 25 above, 200 below
    const std::vector<uint8_t>& d = img.data;
    const tagRECT upper{0, 2, 4, 0};  // rows 0-1
    const tagRECT lower{0, 4, 4, 2};  // rows 2-3
    EXPECT_EQ(ClassThreshold(d, 4, 4, 0, &upper), 24);
    EXPECT_EQ(ClassThreshold(d, 4, 4, 0, &lower), 199);
    EXPECT_EQ(FreeThreshold(d, 4, 4, 0, &upper), 24);
    const tagRECT everything{-9, 99, 99, -9};  // clipped to the image
    EXPECT_EQ(ClassThreshold(d, 4, 4, 1, &everything), 112);
}

TEST(OptimalThreshold, EmptyRegionOrImageFails) {
    const std::vector<uint8_t> img(16, 9);
    const tagRECT noColumns{2, 4, 2, 0};
    const tagRECT noRows{0, 1, 4, 1};
    const tagRECT outside{10, 40, 20, 30};
    for (const tagRECT* r : {&noColumns, &noRows, &outside}) {
        EXPECT_EQ(ClassThreshold(img, 4, 4, 0, r), -1);
        EXPECT_EQ(FreeThreshold(img, 4, 4, 0, r), -1);
    }
    EXPECT_EQ(CBmpProcessing::OptimalThreshold(nullptr, 16, 4, 4, 0, nullptr), -1);
    EXPECT_EQ(CBmpProcessing::OptimalThreshold(img.data(), 16, 4, 0, 0, nullptr), -1);
    EXPECT_EQ(OptimalThreshold(0, nullptr, 4, 4, 4, nullptr), -1);
    EXPECT_EQ(OptimalThreshold(0, img.data(), -4, 4, 4, nullptr), -1);
}

TEST(OptimalThreshold, ClassFormReadsRowsAtSizeOverHeight) {
    // 3 rows of 5 bytes; width claims 9: only the 5 bytes of each row are read.
    std::vector<uint8_t> img = {40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40};
    EXPECT_EQ(CBmpProcessing::OptimalThreshold(img.data(), 15, 9, 3, 0, nullptr), 39);
}

namespace {

std::vector<uint8_t> Patchwork(uint32_t w, uint32_t h) {
    std::mt19937 rng(17);
    std::vector<uint8_t> img(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const int base = ((x / 37 + y / 23) % 3) * 80 + 20;
            img[y * w + x] = static_cast<uint8_t>(base + rng() % 60);
        }
    }
    return img;
}

// A label page once converted: mostly black and white runs and bars, a grey patch, and
// whole tiles of one value.
std::vector<uint8_t> LabelPage(uint32_t w, uint32_t h) {
    std::vector<uint8_t> img(static_cast<size_t>(w) * h, 255);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t& v = img[y * w + x];
            if (y < h / 3 && (x / 3 + y / 4) % 5 == 0) v = 0;                    // strokes
            if (y > h / 2 && (x * 7 / 5) % 4 < 2) v = 0;                         // bars
            if (x > w / 2 && x < w / 2 + 30 && y > h / 3 && y < h / 2) v = 128;  // patch
            if (x < 64 && y >= 64 && y < 128) v = 0;                             // a black tile
        }
    }
    return img;
}

void ExpectBlendedTiles(const std::vector<uint8_t>& img, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(img.size(), 7);
    uint8_t* p = out.data();
    ASSERT_EQ(CBmpProcessing::AdThresholdImgLocal(w, h, 8, w, img.data(), w * h, &p, nullptr, false,
                                                  false),
              1);
    const int page = ClassThreshold(img, w, h, 0);
    for (uint32_t ty = 0; ty * 64 < h; ++ty) {
        for (uint32_t tx = 0; tx * 64 < w; ++tx) {
            const tagRECT tile{int(tx * 64), int(ty * 64 + 64), int(tx * 64 + 64), int(ty * 64)};
            const int local = ClassThreshold(img, w, h, 0, &tile);
            const int t = static_cast<int>(0.5f * page + 0.5f * local);
            for (uint32_t y = ty * 64; y < std::min(h, ty * 64 + 64); ++y) {
                for (uint32_t x = tx * 64; x < std::min(w, tx * 64 + 64); ++x) {
                    ASSERT_EQ(out[y * w + x], img[y * w + x] > t ? 255 : 0) << x << "," << y;
                }
            }
        }
    }
}

}  // namespace

TEST(AdThresholdImgLocal, BlendsEachTileWithThePage) {
    ExpectBlendedTiles(Patchwork(150, 100), 150, 100);
    ExpectBlendedTiles(LabelPage(203, 170), 203, 170);
}

TEST(AdThresholdImgLocal, ValueEqualToThresholdIsDark) {
    const std::vector<uint8_t> img(64, 100);  // threshold 99 everywhere
    std::vector<uint8_t> out(64, 7);
    uint8_t* p = out.data();
    ASSERT_EQ(
        CBmpProcessing::AdThresholdImgLocal(8, 8, 8, 8, img.data(), 64, &p, nullptr, false, false),
        1);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 255));
    const std::vector<uint8_t> mixed =
        Values({{99, 32}, {100, 32}});  // lo 99, hi 100: threshold 99
    ASSERT_EQ(
        CBmpProcessing::AdThresholdImgLocal(8, 8, 8, 8, mixed.data(), 64, &p, nullptr, true, false),
        1);
    EXPECT_EQ(out[0], 255) << "negative: 99 is dark, printed as 255";
    EXPECT_EQ(out[63], 0);
}

TEST(AdThresholdImgLocal, SizesBeyondTheSourceAreRejected) {
    std::vector<uint8_t> img(64, 100), out(64, 7);
    uint8_t* p = out.data();
    EXPECT_EQ(CBmpProcessing::AdThresholdImgLocal(1u << 30, 8, 8, 1u << 30, img.data(), 64, &p,
                                                  nullptr, false, false),
              0);
    EXPECT_EQ(CBmpProcessing::AdThresholdImgLocal(8, 1u << 30, 8, 8, img.data(), 64, &p, nullptr,
                                                  false, false),
              0);
    // A width beyond the stride is cut to the stride.
    ASSERT_EQ(CBmpProcessing::AdThresholdImgLocal(1000, 8, 8, 8, img.data(), 64, &p, nullptr, false,
                                                  false),
              1);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 255));
}

TEST(AdThresholdImgLocal, FailsWithoutThresholdOrBuffers) {
    std::vector<uint8_t> img(64, 100), out(64, 7);
    uint8_t* p = out.data();
    uint8_t* none = nullptr;
    EXPECT_EQ(
        CBmpProcessing::AdThresholdImgLocal(0, 8, 8, 8, img.data(), 64, &p, nullptr, false, false),
        0);
    EXPECT_EQ(
        CBmpProcessing::AdThresholdImgLocal(8, 0, 8, 8, img.data(), 64, &p, nullptr, false, false),
        0);
    EXPECT_EQ(
        CBmpProcessing::AdThresholdImgLocal(8, 8, 8, 8, img.data(), 63, &p, nullptr, false, false),
        0);
    EXPECT_EQ(
        CBmpProcessing::AdThresholdImgLocal(8, 8, 8, 8, nullptr, 64, &p, nullptr, false, false), 0);
    EXPECT_EQ(CBmpProcessing::AdThresholdImgLocal(8, 8, 8, 8, img.data(), 64, &none, nullptr, false,
                                                  false),
              0);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 7));
}

namespace {

struct Adaptive {
    bool ok = false;
    Owned buf;
    int32_t size = -1;
};

Adaptive RunAdaptive(const std::vector<uint8_t>& img, int w, int h, int stride, int tile,
                     int offset, float weight, bool negative = false) {
    Adaptive a;
    uint8_t* out = nullptr;
    a.ok = AdaptiveThreshold(img.data(), w, h, stride, &out, &a.size, negative, 0, tile, offset,
                             weight);
    a.buf.reset(out);
    return a;
}

}  // namespace

namespace {

// AdaptiveThreshold against the same steps done one by one with the public pieces.
void ExpectResampledTiles(const std::vector<uint8_t>& img, int w, int h, int offset,
                          bool negative = false) {
    const int tile = 64;
    const Adaptive a = RunAdaptive(img, w, h, w, tile, offset, 0.5f, negative);
    ASSERT_TRUE(a.ok);
    const int stride = DibStride(w, 8);
    ASSERT_EQ(a.size, h * stride);

    const int tx = (w + tile - 1) / tile, ty = (h + tile - 1) / tile, mapPitch = (tx + 3) & ~3;
    const int page = OptimalThreshold(0, img.data(), w, h, w, nullptr);
    std::vector<uint8_t> map(mapPitch * ty, 0);
    for (int j = 0; j < ty; ++j) {
        for (int i = 0; i < tx; ++i) {
            const tagRECT r{i * tile, j * tile + tile, i * tile + tile, j * tile};
            const float v =
                OptimalThreshold(0, img.data(), w, h, w, &r) * 0.5f + page * 0.5f + offset;
            map[j * mapPitch + i] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
        }
    }
    uint8_t* big = nullptr;
    ASSERT_EQ(Resample(map.data(), tx, ty, mapPitch, tx * tile, ty * tile, &big), 1);
    Owned ownBig(big);
    const int bigPitch = (tx * tile + 3) & ~3;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t want = (img[y * w + x] < big[y * bigPitch + x]) != negative ? 0 : 255;
            ASSERT_EQ(a.buf.get()[y * stride + x], want) << x << "," << y << " offset " << offset;
        }
    }
}

}  // namespace

TEST(AdaptiveThreshold, MatchesTileThresholdsEnlargedByResample) {
    ExpectResampledTiles(Patchwork(150, 100), 150, 100, 3);
    // Black and white runs take a shortcut; a strongly negative offset brings thresholds
    // of 0, where black stops being dark.
    for (int offset : {0, -120, -200}) ExpectResampledTiles(LabelPage(203, 170), 203, 170, offset);
    // Greys between the ends of a run of thresholds are decided by the exact ones.
    ExpectResampledTiles(Patchwork(150, 100), 150, 100, 0, true);
    ExpectResampledTiles(LabelPage(203, 170), 203, 170, -120, true);
}

// Thresholding a page in its own rows gives the allocated result: rows of black and white left
// as they are only where that is their result, grey rows read before they are overwritten, and
// the padding made zero.
TEST(AdaptiveThreshold, InPlaceMatchesAllocatedResult) {
    struct Case {
        std::vector<uint8_t> img;
        uint32_t w, h;
        int offset;
        bool negative;
    };
    const Case cases[] = {{LabelPage(203, 170), 203, 170, 0, false},
                          {LabelPage(203, 170), 203, 170, -255, false},  // thresholds of 0
                          {LabelPage(203, 170), 203, 170, -120, true},
                          {LabelPage(256, 130), 256, 130, 0, false},
                          {Patchwork(150, 100), 150, 100, 3, false}};
    for (const Case& c : cases) {
        const uint32_t stride = DibStride(c.w, 8);
        std::vector<uint8_t> page(uint64_t{stride} * c.h, 77);
        for (uint32_t y = 0; y < c.h; ++y)
            std::copy_n(&c.img[uint64_t{y} * c.w], c.w, &page[uint64_t{y} * stride]);
        const Adaptive want = RunAdaptive(page, c.w, c.h, stride, 64, c.offset, 0.5f, c.negative);
        ASSERT_TRUE(want.ok);
        ASSERT_TRUE(AdaptiveThresholdInto(page.data(), c.w, c.h, stride, page.data(), page.size(),
                                          c.negative, 0, 64, c.offset, 0.5f));
        EXPECT_TRUE(std::equal(page.begin(), page.end(), want.buf.get()))
            << c.w << " x " << c.h << " offset " << c.offset;
    }
    // Rows of another stride would overlap their results: refused, the page untouched.
    std::vector<uint8_t> page = LabelPage(203, 170);
    const std::vector<uint8_t> before = page;
    EXPECT_FALSE(AdaptiveThresholdInto(page.data(), 203, 170, 203, page.data(), page.size(), false,
                                       0, 64, 0, 0.5f));
    EXPECT_EQ(page, before);
}

TEST(AdaptiveThreshold, ValueEqualToThresholdIsLight) {
    const std::vector<uint8_t> img(12 * 10, 100);                            // page and tiles: 99
    EXPECT_EQ(RunAdaptive(img, 12, 10, 12, 64, 1, 0.5f).buf.get()[0], 255);  // T = 100
    EXPECT_EQ(RunAdaptive(img, 12, 10, 12, 64, 2, 0.5f).buf.get()[0], 0);    // T = 101
    EXPECT_EQ(RunAdaptive(img, 12, 10, 12, 64, 2, 0.5f, true).buf.get()[0], 255);
}

TEST(AdaptiveThreshold, ResultRowsArePaddedAndZeroFilled) {
    const std::vector<uint8_t> img(5 * 3, 100);
    const Adaptive a = RunAdaptive(img, 5, 3, 5, 64, 0, 0.5f);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.size, 3 * 8);
    EXPECT_EQ(Art(a.buf.get(), 8, 3, 8),
              (std::vector<std::string>{".....###", ".....###", ".....###"}));
}

TEST(AdaptiveThreshold, TileAtLeastEightAndWeightClamped) {
    const std::vector<uint8_t> img = Patchwork(40, 30);
    const auto same = [&](int tileA, float weightA, int tileB, float weightB) {
        const Adaptive a = RunAdaptive(img, 40, 30, 40, tileA, 0, weightA);
        const Adaptive b = RunAdaptive(img, 40, 30, 40, tileB, 0, weightB);
        return std::equal(a.buf.get(), a.buf.get() + a.size, b.buf.get());
    };
    EXPECT_TRUE(same(1, 0.5f, 8, 0.5f));
    EXPECT_TRUE(same(-100, 0.5f, 8, 0.5f));
    EXPECT_TRUE(same(8, 7.0f, 8, 1.0f));
    EXPECT_TRUE(same(8, -2.0f, 8, 0.0f));
    EXPECT_TRUE(same(8, std::numeric_limits<float>::quiet_NaN(), 8, 0.0f));
}

TEST(AdaptiveThreshold, FailsBeforeAllocating) {
    const std::vector<uint8_t> img(16, 1);
    uint8_t* out = nullptr;
    int32_t size = -1;
    EXPECT_FALSE(AdaptiveThreshold(nullptr, 4, 4, 4, &out, &size, false, 0, 64, 0, 0.5f));
    EXPECT_FALSE(AdaptiveThreshold(img.data(), 0, 4, 4, &out, &size, false, 0, 64, 0, 0.5f));
    EXPECT_FALSE(AdaptiveThreshold(img.data(), 4, -4, 4, &out, &size, false, 0, 64, 0, 0.5f));
    EXPECT_FALSE(AdaptiveThreshold(img.data(), 8, 2, 4, &out, &size, false, 0, 64, 0, 0.5f));
    EXPECT_FALSE(AdaptiveThreshold(img.data(), 4, 4, 4, nullptr, &size, false, 0, 64, 0, 0.5f));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, -1);
}

TEST(AdaptiveThreshold, HugeTileIsOneTile) {
    const std::vector<uint8_t> img = Patchwork(20, 20);
    const Adaptive a = RunAdaptive(img, 20, 20, 20, 0x7FFFFFFF, 0, 0.5f);
    ASSERT_TRUE(a.ok);
    const int t = OptimalThreshold(0, img.data(), 20, 20, 20, nullptr);
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(a.buf.get()[(i / 20) * 20 + i % 20], img[i] < t ? 0 : 255);
}

TEST(AdaptiveThreshold, LongBlackAndWhiteRowsAreCountedInFull) {
    // Over 4080 black and white pixels in a row of one tile: more than a byte counter holds.
    const int w = 5000, h = 3;
    std::vector<uint8_t> img(w * h, 255);
    std::mt19937 rng(5);
    for (int i = 0; i < 2 * w; ++i) img[i] = rng() % 5 ? 0 : 255;
    for (int i = 2 * w; i < 3 * w; ++i) img[i] = static_cast<uint8_t>(40 + rng() % 200);
    const Adaptive a = RunAdaptive(img, w, h, w, 1 << 20, 0, 0.5f);
    ASSERT_TRUE(a.ok);
    const int t = OptimalThreshold(0, img.data(), w, h, w, nullptr);
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(a.buf.get()[(i / w) * DibStride(w, 8) + i % w], img[i] < t ? 0 : 255) << i;
}

TEST(AdaptiveThreshold, IntoACallersBufferGivesTheAllocatedResult) {
    const std::vector<uint8_t> img = Patchwork(150, 100);
    const Adaptive a = RunAdaptive(img, 150, 100, 150, 64, 0, 0.5f, true);
    ASSERT_TRUE(a.ok);
    // A buffer that held something else: the padding is cleared as in a fresh result.
    std::vector<uint8_t> into(size_t(a.size) + 7, 0x5A);
    EXPECT_TRUE(AdaptiveThresholdInto(img.data(), 150, 100, 150, into.data(), into.size(), true, 0,
                                      64, 0, 0.5f));
    EXPECT_TRUE(std::equal(a.buf.get(), a.buf.get() + a.size, into.begin()));
    // Too small, or no threshold: the buffer is left as it was.
    std::vector<uint8_t> small(size_t(a.size) - 1, 0x5A);
    EXPECT_FALSE(AdaptiveThresholdInto(img.data(), 150, 100, 150, small.data(), small.size(), true,
                                       0, 64, 0, 0.5f));
    EXPECT_FALSE(AdaptiveThresholdInto(img.data(), 150, 100, 100, into.data(), into.size(), true, 0,
                                       64, 0, 0.5f));
    EXPECT_EQ(std::count(small.begin(), small.end(), 0x5A), long(small.size()));
}
