// InvoicResampleImg2, InvoicQIShrinkImg2 and the free bilinear Resample.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/resample.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;

namespace {

constexpr tagColorCFG kPlain{0, 0, 0, 0, 0};
constexpr tagRECT kNoRect{0, 0, 0, 0};

std::vector<uint8_t> Enlarge(CBmpProcessing& bmp, const Image& src, uint32_t w, uint32_t h,
                             tagColorCFG cfg = kPlain, int32_t* ret = nullptr) {
    const uint32_t bytes = src.bits == 24 ? 3 : 1;
    const uint32_t pitch = DibStride(w, bytes * 8);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * h, 7);
    uint8_t* p = out.data();
    const int32_t r = bmp.InvoicResampleImg2(src.width, src.height, src.bits, src.stride(), src.data.data(),
                                             w, h, src.bits, &p, static_cast<uint32_t>(out.size()), cfg, 0,
                                             kNoRect);
    if (ret) *ret = r;
    return out;
}

std::vector<uint8_t> Enlarge(const Image& src, uint32_t w, uint32_t h) {
    CBmpProcessing bmp;
    return Enlarge(bmp, src, w, h);
}

}  // namespace

TEST(InvoicResampleImg2, ScaleOneReproducesTheImage) {
    Image colour = Blank(5, 3, 24);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 5; ++x) colour.set(x, y, uint8_t(x * 40), uint8_t(y * 50), uint8_t(x + y));
    }
    const std::vector<uint8_t> out = Enlarge(colour, 5, 3);
    for (uint32_t y = 0; y < 3; ++y) {
        EXPECT_TRUE(std::equal(colour.row(y), colour.row(y) + 15, out.data() + y * colour.stride())) << y;
    }
    const Image grey = Grey({"#1234", "56789"});
    EXPECT_EQ(Art(Enlarge(grey, 5, 2).data(), 5, 2, 8), Art(grey));
}

TEST(InvoicResampleImg2, NearWhiteReadsAsWhite) {
    Image src = Blank(2, 1, 8);
    src.row(0)[0] = 251;
    src.row(0)[1] = 250;
    const std::vector<uint8_t> out = Enlarge(src, 2, 1);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 250);
}

TEST(InvoicResampleImg2, EnlargingOnePixelToThreeRepeatsIt) {
    const std::vector<uint8_t> out = Enlarge(Grey({"3"}), 3, 1);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), (std::vector<uint8_t>{75, 75, 75}));
}

TEST(InvoicResampleImg2, PositionsLeftOfZeroReadColumnZero) {
    // Column positions -0.3, 0.1, 0.5, 0.9, 1.3 sample the nearest pixel.
    const std::vector<uint8_t> out = Enlarge(Grey({"18"}), 5, 1);
    EXPECT_EQ(Art(out.data(), 5, 1, 8), (std::vector<std::string>{"11888"}));
}

TEST(InvoicResampleImg2, ShrinkingOneWayAveragesTheBox) {
    const std::vector<uint8_t> out = Enlarge(Grey({"#482"}), 2, 1);  // 0, 100, 200, 50
    EXPECT_EQ(out[0], 50);
    EXPECT_EQ(out[1], 125);
}

TEST(InvoicResampleImg2, AppliesLevelsOnlyForSettingsOtherThan0And100) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM gamma2{2.0f, 0, 255, 0, 255};
    bmp.SetColorLevelsData(&gamma2, 0);
    Image src = Blank(1, 1, 8, 128);
    EXPECT_EQ(Enlarge(bmp, src, 1, 1, {0, 0, 150, 0, 0})[0], 64);
    EXPECT_EQ(Enlarge(bmp, src, 1, 1, {0, 0, 100, 0, 0})[0], 128);
    EXPECT_EQ(Enlarge(bmp, src, 1, 1, {0, 0, 0, 0, 0})[0], 128);
}

TEST(InvoicResampleImg2, AppliesLightWhenBrightnessOrContrastIsSet) {
    CBmpProcessing bmp;
    bmp.SetLightTable(30, 0);
    Image src = Blank(1, 1, 24);
    src.set(0, 0, 10, 20, 30);
    const std::vector<uint8_t> lit = Enlarge(bmp, src, 1, 1, {30, 0, 100, 0, 0});
    EXPECT_EQ((std::vector<uint8_t>{lit[0], lit[1], lit[2]}), (std::vector<uint8_t>{40, 50, 60}));
    const std::vector<uint8_t> plain = Enlarge(bmp, src, 1, 1);
    EXPECT_EQ(plain[0], 10);
}

TEST(InvoicResampleImg2, RejectsBuffersThatCannotHoldTheRows) {
    CBmpProcessing bmp;
    const Image src = Grey({"12", "34"});
    std::vector<uint8_t> out(7, 9);
    uint8_t* p = out.data();
    // 4 x 2 needs a pitch of 4: 7 bytes give 3.
    EXPECT_EQ(bmp.InvoicResampleImg2(2, 2, 8, 4, src.data.data(), 4, 2, 8, &p, 7, kPlain, 0, kNoRect), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(7, 9));
    uint8_t* none = nullptr;
    EXPECT_EQ(bmp.InvoicResampleImg2(2, 2, 8, 4, src.data.data(), 4, 2, 8, &none, 8, kPlain, 0, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicResampleImg2(2, 2, 16, 4, src.data.data(), 4, 2, 8, &p, 8, kPlain, 0, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicResampleImg2(2, 2, 8, 1, src.data.data(), 4, 2, 8, &p, 8, kPlain, 0, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicResampleImg2(2, 2, 8, 4, src.data.data(), 0, 2, 8, &p, 8, kPlain, 0, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicResampleImg2(1u << 30, 2, 8, 4, src.data.data(), 4, 2, 8, &p, 8, kPlain, 0, kNoRect), 0);
}

namespace {

struct Shrunk {
    int32_t ret;
    std::vector<uint8_t> out, out2;
};

Shrunk Shrink(CBmpProcessing& bmp, const Image& src, uint32_t w, uint32_t h, tagRECT keep = kNoRect,
              const Image* second = nullptr, tagColorCFG cfg = kPlain, tagColorCFG cfg2 = kPlain) {
    const uint32_t bytes = src.bits == 24 ? 3 : 1;
    const uint32_t pitch = DibStride(w, bytes * 8);
    Shrunk s;
    s.out.assign(static_cast<size_t>(pitch) * h, 7);
    s.out2.assign(s.out.size(), 7);
    uint8_t* p = s.out.data();
    uint8_t* p2 = s.out2.data();
    s.ret = bmp.InvoicQIShrinkImg2(src.width, src.height, src.bits, src.stride(), src.data.data(),
                                   second ? second->data.data() : nullptr, w, h, src.bits, &p, &p2,
                                   static_cast<uint32_t>(s.out.size()), cfg, cfg2, keep);
    return s;
}

Shrunk Shrink(const Image& src, uint32_t w, uint32_t h, tagRECT keep = kNoRect) {
    CBmpProcessing bmp;
    return Shrink(bmp, src, w, h, keep);
}

Image Sample4x4() {
    Image img = Blank(4, 4, 8);
    const uint8_t v[4][4] = {{10, 20, 30, 200}, {40, 50, 60, 100}, {90, 90, 90, 7}, {30, 30, 30, 9}};
    for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 4; ++x) img.row(y)[x] = v[y][x];
    }
    return img;
}

}  // namespace

TEST(InvoicQIShrinkImg2, HalvingGroupsColumns012And3ButRows01And23) {
    const Shrunk s = Shrink(Sample4x4(), 2, 2);
    ASSERT_EQ(s.ret, 1);
    EXPECT_EQ((std::vector<uint8_t>{s.out[0], s.out[1], s.out[4], s.out[5]}),
              (std::vector<uint8_t>{35, 150, 60, 8}));
}

TEST(InvoicQIShrinkImg2, ColourStaysColour) {
    Image src = Blank(2, 2, 24);
    src.set(0, 0, 10, 20, 30);
    src.set(1, 0, 20, 40, 60);
    src.set(0, 1, 30, 60, 90);
    src.set(1, 1, 40, 80, 120);
    const Shrunk s = Shrink(src, 1, 1);
    EXPECT_EQ((std::vector<uint8_t>{s.out[0], s.out[1], s.out[2]}), (std::vector<uint8_t>{25, 50, 75}));
}

TEST(InvoicQIShrinkImg2, EmptyKeptRectangleChangesNothing) {
    const Shrunk plain = Shrink(Sample4x4(), 2, 2);
    for (const tagRECT& keep : {tagRECT{0, 0, 0, 0}, tagRECT{3, 0, 1, 2}, tagRECT{-4, -4, 0, 0}}) {
        EXPECT_EQ(Shrink(Sample4x4(), 2, 2, keep).out, plain.out);
    }
}

TEST(InvoicQIShrinkImg2, KeptRectangleIsWhiteInTheAverageAndCopiedAtFullSize) {
    const Shrunk s = Shrink(Sample4x4(), 2, 2, {2, 0, 3, 1});
    // Column 0 of the first row averages 10, 20, 255, 40, 50, 255; the kept pixels land
    // from column trunc(2 / 2) = 1 on, and column 2 is outside the destination.
    EXPECT_EQ(s.out[0], 105);
    EXPECT_EQ(s.out[1], 30);
    EXPECT_EQ(s.out[5], 60);
    EXPECT_EQ(s.out[4], 60) << "second destination row averages rows 2-3 as usual";
}

TEST(InvoicQIShrinkImg2, SecondImageIsShrunkWithItsOwnSettings) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM gamma2{2.0f, 0, 255, 0, 255};
    bmp.SetColorLevelsData(&gamma2, 0);
    const Image first = Blank(2, 2, 8, 128);
    const Image second = Blank(2, 2, 8, 128);
    const Shrunk s = Shrink(bmp, first, 1, 1, kNoRect, &second, kPlain, {0, 0, 150, 0, 0});
    EXPECT_EQ(s.out[0], 128);
    EXPECT_EQ(s.out2[0], 64);
}

TEST(InvoicQIShrinkImg2, MissingBuffersFail) {
    CBmpProcessing bmp;
    const Image src = Sample4x4();
    std::vector<uint8_t> out(8, 7);
    uint8_t* p = out.data();
    uint8_t* none = nullptr;
    EXPECT_EQ(bmp.InvoicQIShrinkImg2(4, 4, 8, 4, nullptr, nullptr, 2, 2, 8, &p, nullptr, 8, kPlain, kPlain, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicQIShrinkImg2(4, 4, 8, 4, src.data.data(), nullptr, 2, 2, 8, nullptr, nullptr, 8, kPlain, kPlain, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicQIShrinkImg2(4, 4, 8, 4, src.data.data(), nullptr, 2, 2, 8, &none, nullptr, 8, kPlain, kPlain, kNoRect), 0);
    EXPECT_EQ(bmp.InvoicQIShrinkImg2(4, 4, 8, 4, src.data.data(), nullptr, 2, 2, 8, &p, nullptr, 3, kPlain, kPlain, kNoRect), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(8, 7));
}

TEST(InvoicQIShrinkImg2, GrowingSizesStayInsideTheDestination) {
    CBmpProcessing bmp;
    const Image src = Grey({"12", "34"});
    std::vector<uint8_t> out(8 * 5 + 1, 7);
    uint8_t* p = out.data();
    ASSERT_EQ(bmp.InvoicQIShrinkImg2(2, 2, 8, 4, src.data.data(), nullptr, 5, 5, 8, &p, nullptr, 40, kPlain, kPlain, kNoRect), 1);
    EXPECT_EQ(out[40], 7);
    EXPECT_EQ(out[0], 25);
}

TEST(InvoicQIShrinkImg, EarlierEntryPointShrinksTheSame) {
    CBmpProcessing bmp;
    const Image src = Sample4x4();
    std::vector<uint8_t> out(8, 7);
    uint8_t* p = out.data();
    ASSERT_EQ(bmp.InvoicQIShrinkImg(4, 4, 8, 4, src.data.data(), nullptr, 2, 2, 8, &p, nullptr, 8, kPlain, kPlain, kNoRect), 1);
    EXPECT_EQ(out, Shrink(src, 2, 2).out);
}

TEST(Resample, TwoByTwoToFourByFourInterpolates) {
    const std::vector<uint8_t> src = {0, 100, 0, 0, 200, 50, 0, 0};  // stride 4
    uint8_t* out = nullptr;
    ASSERT_EQ(Resample(src.data(), 2, 2, 4, 4, 4, &out), 1);
    Owned own(out);
    EXPECT_EQ(out[1], 50);            // trunc(p00 + (p10 - p00) * 0.5)
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2 * 4 + 0], 200);   // row 2 starts at source row 1
    EXPECT_EQ(out[1 * 4 + 1], 87);    // left 100, right 75: 87.5
    EXPECT_EQ(out[3 * 4 + 3], 50);
}

TEST(Resample, PitchIsRoundedToFourAndPaddingIsZero) {
    const std::vector<uint8_t> src = {9, 9, 9, 9};
    uint8_t* out = nullptr;
    ASSERT_EQ(Resample(src.data(), 1, 1, 4, 5, 2, &out), 1);
    Owned own(out);
    EXPECT_EQ((std::vector<uint8_t>(out, out + 16)),
              (std::vector<uint8_t>{9, 9, 9, 9, 9, 0, 0, 0, 9, 9, 9, 9, 9, 0, 0, 0}));
}

TEST(Resample, ZeroOrEqualSizesProduceNothing) {
    const std::vector<uint8_t> src(16, 1);
    uint8_t* out = nullptr;
    EXPECT_EQ(Resample(src.data(), 4, 4, 4, 0, 4, &out), 0);
    EXPECT_EQ(Resample(src.data(), 4, 4, 4, 4, 0, &out), 0);
    EXPECT_EQ(Resample(src.data(), 4, 4, 4, 4, 4, &out), 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Resample(nullptr, 4, 4, 4, 8, 8, &out), 0);
    EXPECT_EQ(Resample(src.data(), 4, 4, 2, 8, 8, &out), 0);
    EXPECT_EQ(Resample(src.data(), 4, 4, 4, 1 << 30, 1 << 30, &out), 0);
    EXPECT_EQ(out, nullptr);
}
