// Sampling primitives: overflow rules, point interpolation, area averaging and the
// float geometry they use.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "imaging/bmp_processing.h"
#include "imaging/xrect.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;

namespace {

// A 3 x 2 colour source whose blue byte tells the pixel: 10 * (1 + x + 3 * y).
struct Sampler {
    Image img = Blank(3, 2, 24);
    CBmpProcessing bmp;
    Sampler() {
        for (uint32_t y = 0; y < 2; ++y) {
            for (uint32_t x = 0; x < 3; ++x) img.set(x, y, uint8_t(10 * (1 + x + 3 * y)), 0, 0);
        }
        bmp.SetSamplingSource(img.data.data(), 3, 2, 24, img.stride());
    }
    int Blue(int x, int y, int overflow, const tagRGBQUAD* bg = nullptr) const {
        return bmp.GetPixelColorWithOverflow(x, y, overflow, bg).rgbBlue;
    }
};

}  // namespace

TEST(GetPixelColorWithOverflow, InsideReadsThePixel) {
    const Sampler s;
    EXPECT_EQ(s.Blue(0, 0, 0), 10);
    EXPECT_EQ(s.Blue(2, 1, 0), 60);
}

TEST(GetPixelColorWithOverflow, NearWhiteReadsAsWhite) {
    Image img = Blank(2, 1, 24);
    img.set(0, 0, 251, 252, 253);
    img.set(1, 0, 250, 255, 255);
    CBmpProcessing bmp;
    bmp.SetSamplingSource(img.data.data(), 2, 1, 24, img.stride());
    EXPECT_EQ(bmp.GetPixelColorWithOverflow(0, 0, 0).rgbBlue, 255);
    EXPECT_EQ(bmp.GetPixelColorWithOverflow(1, 0, 0).rgbBlue, 250);
    Image grey = Blank(1, 1, 8, 253);
    bmp.SetSamplingSource(grey.data.data(), 1, 1, 8, 4);
    const tagRGBQUAD c = bmp.GetPixelColorWithOverflow(0, 0, 0);
    EXPECT_EQ(c.rgbRed + c.rgbGreen + c.rgbBlue, 3 * 255);
}

TEST(GetPixelColorWithOverflow, BackgroundMethods) {
    const Sampler s;
    const tagRGBQUAD bg{1, 2, 3, 4};
    for (int method : {0, 1, 7, -3}) {
        EXPECT_EQ(s.Blue(-1, 0, method), 255) << method;
        EXPECT_EQ(s.Blue(3, 0, method, &bg), 1) << method;
    }
    for (int method : {2, 3}) {
        const tagRGBQUAD c = s.bmp.GetPixelColorWithOverflow(0, 5, method, &bg);
        EXPECT_EQ((std::vector<int>{c.rgbBlue, c.rgbGreen, c.rgbRed, c.rgbReserved}),
                  (std::vector<int>{255, 255, 255, 4}));
    }
}

TEST(GetPixelColorWithOverflow, WrapClampAndMirror) {
    const Sampler s;
    EXPECT_EQ(s.Blue(-1, 0, 4), 30);
    EXPECT_EQ(s.Blue(4, 3, 4), 50);
    EXPECT_EQ(s.Blue(-5, 9, 5), 40);
    EXPECT_EQ(s.Blue(100, -100, 5), 30);
    EXPECT_EQ(s.Blue(-1, 0, 6), 20);
    EXPECT_EQ(s.Blue(3, 0, 6), 30);
    EXPECT_EQ(s.Blue(4, -2, 6), 20);
    EXPECT_EQ(s.Blue(std::numeric_limits<int32_t>::min(), 0, 6), 30);  // 2^31 mod 3 = 2
}

TEST(GetPixelColorWithOverflow, NoSourceGivesTheBackground) {
    CBmpProcessing bmp;
    const tagRGBQUAD bg{9, 9, 9, 9};
    for (int method = 0; method <= 7; ++method) {
        EXPECT_EQ(bmp.GetPixelColorWithOverflow(0, 0, method, &bg).rgbBlue, method == 2 || method == 3 ? 255 : 9);
    }
}

TEST(OverflowCoordinates, MovesPositionsInside) {
    const Sampler s;
    int32_t x = -4, y = 7;
    s.bmp.OverflowCoordinates(x, y, 4);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
    x = -4, y = 7;
    s.bmp.OverflowCoordinates(x, y, 5);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 1);
    x = -4, y = 7;
    s.bmp.OverflowCoordinates(x, y, 6);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 0);
    x = -4, y = 7;
    s.bmp.OverflowCoordinates(x, y, 0);
    EXPECT_EQ(x, -4);
}

TEST(GetPixelColorInterpolated, NearestRoundsHalfUp) {
    const Sampler s;
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(0.49f, 0.0f, 1, 5).rgbBlue, 10);
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(0.5f, 0.0f, 1, 5).rgbBlue, 20);
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(-0.7f, 0.0f, 1, 5).rgbBlue, 10);
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(NAN, 0.0f, 1, 5).rgbBlue, 10);
}

TEST(GetPixelColorInterpolated, BilinearWeighsInSteps256) {
    const Sampler s;
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(0.5f, 0.0f, 2, 5).rgbBlue, 15);
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(0.5f, 0.5f, 0, 5).rgbBlue, 30);
    EXPECT_EQ(s.bmp.GetPixelColorInterpolated(1.0f, 0.25f, 99, 5).rgbBlue, 27);
}

TEST(GetPixelColorInterpolated, KernelsReadRawBytesInsideAndOverflowAtEdges) {
    // The box kernel at a pixel centre weighs only that pixel: inside a colour image its
    // raw bytes count; near the edge every tap goes through the overflow reader, which
    // turns near-white into white.
    Image img = Blank(8, 8, 24);
    for (uint32_t y = 0; y < 8; ++y) {
        for (uint32_t x = 0; x < 8; ++x) img.set(x, y, 252, 252, 252);
    }
    CBmpProcessing bmp;
    bmp.SetSamplingSource(img.data.data(), 8, 8, 24, img.stride());
    EXPECT_EQ(bmp.GetPixelColorInterpolated(3.0f, 3.0f, 7, 5).rgbBlue, 252);
    EXPECT_EQ(bmp.GetPixelColorInterpolated(0.0f, 3.0f, 7, 5).rgbBlue, 255);
}

TEST(GetPixelColorInterpolated, SmoothKernelsKeepAFlatImageFlat) {
    Image img = Blank(16, 16, 24);
    for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 16; ++x) img.set(x, y, 100, 100, 100);
    }
    CBmpProcessing bmp;
    bmp.SetSamplingSource(img.data.data(), 16, 16, 24, img.stride());
    for (int method : {3, 5, 6, 15, 16}) {
        for (float pos : {7.0f, 7.3f, 7.5f}) {
            EXPECT_NEAR(bmp.GetPixelColorInterpolated(pos, 8.0f, method, 5).rgbBlue, 100, 1) << method;
        }
    }
    // Kernels whose weights do not sum to one change the level, and the sum is clamped.
    EXPECT_EQ(bmp.GetPixelColorInterpolated(7.0f, 7.0f, 11, 5).rgbBlue, 255);  // weights 0,1,0,1
}

TEST(GetAreaColorInterpolated, AveragesTheBoxWeightedByCoverage) {
    Image img = Grey({"#4", "82"});  // 0, 100 / 200, 50
    CBmpProcessing bmp;
    bmp.SetSamplingSource(img.data.data(), 2, 2, 8, img.stride());
    EXPECT_EQ(bmp.GetAreaColorInterpolated(0.5f, 0.5f, 2.0f, 2.0f, 1, 5).rgbBlue, 87);
    // Box 0..1.5 covers half of pixel 0 (value 0) and all of pixel 1 (100): 100 / 1.5.
    EXPECT_EQ(bmp.GetAreaColorInterpolated(0.75f, 0.0f, 1.5f, 1.0f, 1, 5).rgbBlue, 66);
    // A box no larger than a pixel is a point sample.
    EXPECT_EQ(bmp.GetAreaColorInterpolated(1.0f, 1.0f, 1.0f, 0.5f, 1, 5).rgbBlue, 50);
}

TEST(GetAreaColorInterpolated, AbsurdBoxesFallBackToAPointSample) {
    Image img = Grey({"4"});
    CBmpProcessing bmp;
    bmp.SetSamplingSource(img.data.data(), 1, 1, 8, 4);
    EXPECT_EQ(bmp.GetAreaColorInterpolated(0.0f, 0.0f, 1e30f, 1e30f, 1, 5).rgbBlue, 100);
    EXPECT_EQ(bmp.GetAreaColorInterpolated(0.0f, 0.0f, INFINITY, 2.0f, 1, 5).rgbBlue, 100);
    EXPECT_EQ(bmp.GetAreaColorInterpolated(0.0f, 0.0f, 3.0f, 0.0f, 1, 5).rgbBlue, 100);
}

TEST(CxRect2, MeasuresAndIntersects) {
    const CxRect2 a(0, 0, 4, 2);
    EXPECT_FLOAT_EQ(a.Width(), 4);
    EXPECT_FLOAT_EQ(a.Height(), 2);
    EXPECT_FLOAT_EQ(a.Surface(), 8);
    EXPECT_FLOAT_EQ(a.Center().x, 2);
    EXPECT_FLOAT_EQ(a.Center().y, 1);
    const CxRect2 c = a.CrossSection(CxRect2(3, 1, 9, 9));
    EXPECT_FLOAT_EQ(c.left, 3);
    EXPECT_FLOAT_EQ(c.top, 1);
    EXPECT_FLOAT_EQ(c.right, 4);
    EXPECT_FLOAT_EQ(c.bottom, 2);
    EXPECT_FLOAT_EQ(a.CrossSection(CxRect2(5, 5, 6, 6)).Surface(), 0);
    EXPECT_FLOAT_EQ(a.CrossSection(CxRect2(4, 0, 6, 2)).right, 0) << "touching edges do not overlap";
}

TEST(CxPoint2, Distance) {
    const CxPoint2 p(1, 2);
    EXPECT_FLOAT_EQ(p.Distance(CxPoint2(4, 6)), 5);
    EXPECT_FLOAT_EQ(p.Distance(1, 2), 0);
}
