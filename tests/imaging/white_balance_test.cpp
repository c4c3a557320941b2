// YCbCr conversion and the automatic white balance estimators.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/bmp_processing.h"

namespace {

uint32_t Pack(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

}  // namespace

TEST(RGB2YCbCr, BlackAndWhiteSitAtTheEndsOfY) {
    const tagRGBQUAD px[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    YCbCrQUAD out[2];
    CBmpProcessing::RGB2YCbCr(px, 2, out, 2);
    EXPECT_EQ(out[0].Y, -127);
    EXPECT_EQ(out[0].Cb, 0);
    EXPECT_EQ(out[0].Cr, 0);
    EXPECT_EQ(out[1].Y, 128);
    EXPECT_EQ(out[1].Cb, 0);
    EXPECT_EQ(out[1].Cr, 0);
}

TEST(RGB2YCbCr, PrimariesCarryTheirChroma) {
    const tagRGBQUAD px[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};  // red, blue
    YCbCrQUAD out[2];
    CBmpProcessing::RGB2YCbCr(px, 2, out, 2);
    EXPECT_EQ(out[0].Cr, 128);
    EXPECT_EQ(out[0].Cb, -43);
    EXPECT_EQ(out[1].Cb, 128);
}

TEST(YCbCr2RGB, RoundTripsWithinOneLevel) {
    std::mt19937 rng(3);
    std::vector<tagRGBQUAD> px(500), back(500);
    for (auto& p : px) p = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    for (auto& b : back) b.rgbReserved = 77;
    std::vector<YCbCrQUAD> ycc(500);
    CBmpProcessing::RGB2YCbCr(px.data(), 500, ycc.data(), 500);
    CBmpProcessing::YCbCr2RGB(ycc.data(), 500, back.data(), 500);
    for (size_t i = 0; i < px.size(); ++i) {
        EXPECT_NEAR(back[i].rgbRed, px[i].rgbRed, 1);
        EXPECT_NEAR(back[i].rgbGreen, px[i].rgbGreen, 1);
        EXPECT_NEAR(back[i].rgbBlue, px[i].rgbBlue, 1);
        EXPECT_EQ(back[i].rgbReserved, 77) << "fourth byte left as it was";
    }
}

TEST(YCbCr2RGB, NeedsEqualPositiveCountsAndClamps) {
    const YCbCrQUAD in[1] = {{120, 200, 200}};
    tagRGBQUAD out[1] = {{1, 2, 3, 4}};
    CBmpProcessing::YCbCr2RGB(in, 1, out, 2);
    EXPECT_EQ(out[0].rgbBlue, 1);
    CBmpProcessing::YCbCr2RGB(in, 1, out, 1);
    EXPECT_EQ(out[0].rgbRed, 255);
    EXPECT_EQ(out[0].rgbBlue, 255);
    const YCbCrQUAD extreme[1] = {{32767, -32768, 32767}};
    CBmpProcessing::YCbCr2RGB(extreme, 1, out, 1);
    EXPECT_EQ(out[0].rgbRed, 255);
}

TEST(AutoWhiteBalanceGrayWorld, BalancesAColourCast) {
    const std::vector<uint32_t> src = {Pack(200, 100, 100), Pack(100, 50, 50)};
    std::vector<uint32_t> dst(2, 0xFFFFFFFF);
    ASSERT_EQ(CBmpProcessing::AutoWhiteBalanceGrayWorld(src.data(), 2, dst.data(), 2), 1);
    // Means 150 / 75 / 75, average 100: gains 2/3, 4/3, 4/3.
    EXPECT_EQ(dst[0], Pack(133, 133, 133));
    EXPECT_EQ(dst[1], Pack(66, 66, 66));
}

TEST(AutoWhiteBalanceGrayWorld, NeutralImageIsUnchangedAndEmptyChannelIsKept) {
    const std::vector<uint32_t> grey = {Pack(90, 90, 90), Pack(30, 30, 30)};
    std::vector<uint32_t> dst(2);
    CBmpProcessing::AutoWhiteBalanceGrayWorld(grey.data(), 2, dst.data(), 2);
    EXPECT_EQ(dst, grey);
    const std::vector<uint32_t> noBlue = {Pack(90, 30, 0), Pack(30, 90, 1)};
    CBmpProcessing::AutoWhiteBalanceGrayWorld(noBlue.data(), 2, dst.data(), 2);
    EXPECT_EQ(dst[1] & 0xFF, 1u) << "blue mean 0: no gain applied";
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalanceGrayWorld(grey.data(), 0, dst.data(), 2), 0);
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalanceGrayWorld(nullptr, 2, dst.data(), 2), 0);
}

TEST(AutoWhiteBalancePerfectReflector, ScalesTheBrightestPixelsToTheReferenceWhite) {
    // With 60 % of 4 pixels the threshold falls to the sum 180: the two pixels above it
    // average (200, 220, 240), and the brightest, (210, 230, 250), is the target white.
    const std::vector<uint32_t> src = {Pack(190, 210, 230), Pack(210, 230, 250), Pack(50, 60, 70),
                                       Pack(10, 10, 10)};
    std::vector<uint32_t> ref = src;
    ASSERT_EQ(CBmpProcessing::AutoWhiteBalancePerfectReflector(src.data(), 4, ref.data(), 4, 60), 1);
    EXPECT_EQ(ref[1], Pack(220, 240, 255));
    EXPECT_EQ(ref[2], Pack(52, 62, 72));
}

TEST(AutoWhiteBalancePerfectReflector, RejectsEmptyInput) {
    std::vector<uint32_t> ref(2);
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalancePerfectReflector(nullptr, 2, ref.data(), 2, 10), 0);
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalancePerfectReflector(ref.data(), 2, ref.data(), -1, 10), 0);
}

TEST(AutoWhiteBalanceNovel, ChecksCountsAndLeavesGreyAlone) {
    std::vector<uint32_t> grey(150 * 120, Pack(120, 120, 120));
    std::vector<uint32_t> dst(grey.size());
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalanceNovel(grey.data(), 18000, 150, 120, dst.data(), 17999), 0);
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalanceNovel(grey.data(), 18000, 100, 120, dst.data(), 18000), 0);
    EXPECT_EQ(CBmpProcessing::AutoWhiteBalanceNovel(grey.data(), 0, 150, 120, dst.data(), 0), 0);
    ASSERT_EQ(CBmpProcessing::AutoWhiteBalanceNovel(grey.data(), 18000, 150, 120, dst.data(), 18000), 1);
    EXPECT_EQ(dst, grey);
}

TEST(AutoWhiteBalanceNovel, PullsABluishWhiteTowardsNeutral) {
    std::mt19937 rng(8);
    std::vector<uint32_t> src(120 * 100);
    for (auto& p : src) {
        const int level = 60 + int(rng() % 160);
        p = Pack(level * 8 / 10, level * 9 / 10, std::min(255, level));  // blue cast
    }
    std::vector<uint32_t> dst(src.size());
    ASSERT_EQ(CBmpProcessing::AutoWhiteBalanceNovel(src.data(), 12000, 120, 100, dst.data(), 12000), 1);
    long redGain = 0, blueGain = 0;
    for (size_t i = 0; i < src.size(); ++i) {
        redGain += int((dst[i] >> 16) & 0xFF) - int((src[i] >> 16) & 0xFF);
        blueGain += int(dst[i] & 0xFF) - int(src[i] & 0xFF);
    }
    EXPECT_GT(redGain, blueGain);
}
