// Levels tables, the brightness/contrast table, Light and AdjustBrightness, for both
// the label and the receipt variant.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <vector>

#include "imaging/bmp_processing.h"

namespace {

constexpr COLORLEVELSITEM kNeutral{1.0f, 0, 255, 0, 255};
constexpr COLORLEVELSITEM kGamma2{2.0f, 0, 255, 0, 255};
constexpr COLORLEVELSITEM kGammaHalf{0.5f, 0, 255, 0, 255};

std::vector<uint8_t> Table(const CBmpProcessing& bmp, int slot) {
    return std::vector<uint8_t>(bmp.LevelsTable(slot), bmp.LevelsTable(slot) + 256);
}

std::vector<uint8_t> Identity() {
    std::vector<uint8_t> t(256);
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
    return t;
}

}  // namespace

TEST(LevelsTable, ConstructorStartsNeutral) {
    const CBmpProcessing bmp;
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(Table(bmp, slot), Identity());
        EXPECT_FALSE(bmp.LevelsReady(slot));
        EXPECT_EQ(bmp.LevelsItem(slot).fGamma, 1.0f);
        EXPECT_EQ(bmp.LevelsItem(slot).byInWhite, 255);
    }
}

TEST(LevelsTable, NeutralItemGivesIdentity) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(&kNeutral, 0);
    EXPECT_TRUE(bmp.LevelsReady(0));
    EXPECT_EQ(Table(bmp, 0), Identity());
}

TEST(LevelsTable, GammaTwoMapsMidGreyTo64) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(&kGamma2, 0);
    EXPECT_EQ(bmp.LevelsTable(0)[128], 64);
    EXPECT_EQ(bmp.LevelsTable(0)[0], 0);
    EXPECT_EQ(bmp.LevelsTable(0)[255], 255);
}

TEST(LevelsTable, InputBlackPointAndOutputRange) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM item{1.0f, 50, 255, 30, 200};
    bmp.SetColorLevelsData(&item, 1);
    for (int v = 0; v <= 50; ++v) EXPECT_EQ(bmp.LevelsTable(1)[v], 30) << v;
    EXPECT_EQ(bmp.LevelsTable(1)[255], 200);
    EXPECT_GT(bmp.LevelsTable(1)[51], 30);
}

TEST(LevelsTable, EqualInputPointsBecomeAStep) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM step{1.0f, 100, 100, 0, 255};
    bmp.SetColorLevelsData(&step, 0);
    EXPECT_EQ(bmp.LevelsTable(0)[100], 0);
    EXPECT_EQ(bmp.LevelsTable(0)[101], 255);
    const COLORLEVELSITEM reversed{1.0f, 200, 100, 0, 255};
    CBmpProcessing other;
    other.SetColorLevelsData(&reversed, 0);
    EXPECT_EQ(Table(other, 0), std::vector<uint8_t>(256, 0));
}

TEST(LevelsTable, OddGammasStayInsideTheByteRange) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM negative{-1.0f, 0, 255, 0, 255};
    bmp.SetColorLevelsData(&negative, 0);
    EXPECT_EQ(Table(bmp, 0), std::vector<uint8_t>(256, 255));
    const COLORLEVELSITEM notANumber{std::numeric_limits<float>::quiet_NaN(), 0, 255, 0, 255};
    CBmpProcessing other;
    other.SetColorLevelsData(&notANumber, 0);
    EXPECT_EQ(other.LevelsTable(0)[128], 0);
}

TEST(LevelsTable, LabelTableIsComputedOncePerObject) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(&kGamma2, 0);
    bmp.SetColorLevelsData(&kGammaHalf, 0);
    EXPECT_EQ(bmp.LevelsTable(0)[128], 64) << "first table stays in force";
    EXPECT_EQ(bmp.LevelsItem(0).fGamma, 0.5f) << "the item is still stored";
    bmp.InitColorLevelsTable(0);
    EXPECT_EQ(bmp.LevelsTable(0)[128], 181) << "InitColorLevelsTable ignores the ready flag";
}

TEST(LevelsTable, ReceiptTableIsRecomputedEachTime) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    bmp.SetColorLevelsData(&kGamma2, 0);
    bmp.SetColorLevelsData(&kGammaHalf, 0);
    EXPECT_EQ(bmp.LevelsTable(0)[128], 181);
}

TEST(LevelsTable, SlotThreeFillsTheColourSlots) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(&kGammaHalf, 1);
    bmp.SetColorLevelsData(&kGamma2, 3);
    EXPECT_EQ(bmp.LevelsTable(0)[128], 64);
    EXPECT_EQ(bmp.LevelsTable(1)[128], 181) << "a ready slot keeps its table";
    EXPECT_EQ(bmp.LevelsTable(2)[128], 64);
    EXPECT_EQ(Table(bmp, 3), Identity());
    EXPECT_FALSE(bmp.LevelsReady(3));
}

TEST(LevelsTable, InitResetsItemButKeepsAReadyLabelTable) {
    CBmpProcessing label;
    label.SetColorLevelsData(&kGamma2, 0);
    label.InitColorLevelsData(0);
    EXPECT_EQ(label.LevelsItem(0).fGamma, 1.0f);
    EXPECT_EQ(label.LevelsTable(0)[128], 64);

    CBmpProcessing receipt(BmpVariant::Receipt);
    receipt.SetColorLevelsData(&kGamma2, 3);
    receipt.InitColorLevelsData(3);
    EXPECT_FALSE(receipt.LevelsReady(0));
    EXPECT_EQ(Table(receipt, 2), Identity());
}

TEST(LevelsTable, NullItemAndBadSlotAreIgnored) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(nullptr, 0);
    bmp.SetColorLevelsData(&kGamma2, 4);
    bmp.SetColorLevelsData(&kGamma2, -1);
    bmp.InitColorLevelsTable(9);
    bmp.InitColorLevelsData(-3);
    for (int slot = 0; slot < 4; ++slot) EXPECT_FALSE(bmp.LevelsReady(slot));
}

TEST(GetColorLevelsData, LabelMapsThroughSlotZeroWithNearWhiteRule) {
    CBmpProcessing bmp;
    bmp.SetColorLevelsData(&kGamma2, 0);
    tagRGBQUAD out{};
    EXPECT_EQ(bmp.GetColorLevelsData({128, 128, 128, 7}, &out), 1);
    EXPECT_EQ(out.rgbRed, 64);
    EXPECT_EQ(out.rgbBlue, 64);
    CBmpProcessing neutral;
    neutral.GetColorLevelsData({250, 251, 252, 0}, &out);
    EXPECT_EQ(out.rgbBlue, 255);
    neutral.GetColorLevelsData({249, 255, 255, 0}, &out);
    EXPECT_EQ(out.rgbBlue, 249);
    EXPECT_EQ(neutral.GetColorLevelsData({1, 2, 3, 0}, nullptr), 0);
}

TEST(GetColorLevelsData, ReceiptMapsPerChannelOnlyOnceReady) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    tagRGBQUAD out{};
    EXPECT_EQ(bmp.GetColorLevelsData({128, 128, 128, 0}, &out), 0);
    bmp.SetColorLevelsData(&kGamma2, 0);
    bmp.SetColorLevelsData(&kNeutral, 1);
    bmp.SetColorLevelsData(&kGammaHalf, 2);
    EXPECT_EQ(bmp.GetColorLevelsData({128, 128, 128, 0}, &out), 1);
    EXPECT_EQ(out.rgbRed, 64);
    EXPECT_EQ(out.rgbGreen, 128);
    EXPECT_EQ(out.rgbBlue, 181);
}

TEST(LightTable, ZeroSettingsGiveIdentity) {
    CBmpProcessing bmp;
    bmp.SetLightTable(0, 0);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(bmp.LightTable()[k], k);
}

TEST(LightTable, BrightnessShiftsAndClamps) {
    CBmpProcessing bmp;
    bmp.SetLightTable(20, 0);
    EXPECT_EQ(bmp.LightTable()[100], 120);
    EXPECT_EQ(bmp.LightTable()[240], 255);
    // Brightness is added to every level, so 200 saturates from index 55 up.
    bmp.SetLightTable(200, 0);
    EXPECT_EQ(bmp.LightTable()[0], 200);
    for (int k = 55; k < 256; ++k) EXPECT_EQ(bmp.LightTable()[k], 255);
}

TEST(LightTable, ContrastScalesTheDistanceFromMidGrey) {
    CBmpProcessing bmp;
    bmp.SetLightTable(0, 100);
    EXPECT_EQ(bmp.LightTable()[128], 128);
    EXPECT_EQ(bmp.LightTable()[100], 72);
    EXPECT_EQ(bmp.LightTable()[160], 192);
    EXPECT_EQ(bmp.LightTable()[10], 0);
    bmp.SetLightTable(-50, -50);
    EXPECT_EQ(bmp.LightTable()[0], 14);  // -64 + 78 + 0.5
}

TEST(LightTable, ExtremeSettingsStayInRange) {
    CBmpProcessing bmp;
    bmp.SetLightTable(INT_MAX, INT_MIN);
    for (int k = 0; k < 256; ++k) EXPECT_LE(bmp.LightTable()[k], 255);
    bmp.SetLightTable(INT_MIN, INT_MAX);
    for (int k = 0; k < 256; ++k) EXPECT_LE(bmp.LightTable()[k], 255);
}

TEST(Light, LeavesBlackAndWhiteAloneAndWhitensNearWhite) {
    CBmpProcessing bmp;
    bmp.SetLightTable(-20, 0);
    uint8_t r = 0, g = 0, b = 0;
    EXPECT_EQ(bmp.Light(r, g, b), 1);
    EXPECT_EQ(r + g + b, 0);
    r = g = b = 255;
    bmp.Light(r, g, b);
    EXPECT_EQ(r & g & b, 255);
    r = 252, g = 253, b = 251;
    bmp.Light(r, g, b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 255, 255}));
    r = 100, g = 150, b = 200;
    bmp.Light(r, g, b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{80, 130, 180}));
}

TEST(Light, ReceiptHasNoNearWhiteRule) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    bmp.SetLightTable(-20, 0);
    uint8_t r = 252, g = 253, b = 251;
    bmp.Light(r, g, b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{232, 233, 231}));
}

TEST(AdjustBrightness, BrightnessAloneAddsToEveryNonPurePixel) {
    const CBmpProcessing bmp;
    std::vector<uint8_t> px = {100, 150, 200, 0, 0, 0, 255, 255, 255, 250, 250, 250};
    uint8_t* p = px.data();
    bmp.AdjustBrightness(&p, 12, {7, 77, 177, 0}, 10, 0, 24);
    EXPECT_EQ(px, (std::vector<uint8_t>{110, 160, 210, 0, 0, 0, 255, 255, 255, 255, 255, 255}));
}

TEST(AdjustBrightness, ContrastPivotsOnTheReference) {
    const CBmpProcessing bmp;
    std::vector<uint8_t> px = {150, 50, 100, 0, 255};
    uint8_t* p = px.data();
    bmp.AdjustBrightness(&p, 5, {100, 0, 0, 0}, 0, 100, 8);
    EXPECT_EQ(px, (std::vector<uint8_t>{200, 0, 100, 0, 255}));
}

TEST(AdjustBrightness, OnlyWholeColourPixelsAreTouched) {
    const CBmpProcessing bmp;
    std::vector<uint8_t> px = {100, 100, 100, 100};
    uint8_t* p = px.data();
    bmp.AdjustBrightness(&p, 4, {}, 10, 0, 24);
    EXPECT_EQ(px, (std::vector<uint8_t>{110, 110, 110, 100}));
}

TEST(AdjustBrightness, ReceiptSnapsNearBlackAndNearWhite) {
    const CBmpProcessing receipt(BmpVariant::Receipt);
    const CBmpProcessing label;
    std::vector<uint8_t> grey = {20, 252, 100};
    std::vector<uint8_t> same = grey;
    uint8_t* p = grey.data();
    receipt.AdjustBrightness(&p, 3, {}, -10, 0, 8);
    EXPECT_EQ(grey, (std::vector<uint8_t>{0, 255, 90}));
    p = same.data();
    label.AdjustBrightness(&p, 3, {}, -10, 0, 8);
    EXPECT_EQ(same, (std::vector<uint8_t>{10, 242, 90}));

    std::vector<uint8_t> colour = {10, 20, 5, 251, 252, 253, 10, 20, 30};
    p = colour.data();
    receipt.AdjustBrightness(&p, 9, {}, -5, 0, 24);
    EXPECT_EQ(colour, (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 5, 15, 25}));
}

TEST(AdjustBrightness, IgnoresOtherDepthsAndNullBuffers) {
    const CBmpProcessing bmp;
    std::vector<uint8_t> px = {100, 100};
    uint8_t* p = px.data();
    bmp.AdjustBrightness(&p, 2, {}, 10, 0, 16);
    EXPECT_EQ(px, (std::vector<uint8_t>{100, 100}));
    bmp.AdjustBrightness(nullptr, 2, {}, 10, 0, 8);
    uint8_t* none = nullptr;
    bmp.AdjustBrightness(&none, 2, {}, 10, 0, 8);
}

TEST(AddAveragingCont, AccumulatesWeightedChannels) {
    float r = 1, g = 2, b = 3, a = 4;
    CBmpProcessing::AddAveragingCont({10, 20, 30, 40}, 0.5f, r, g, b, a);
    EXPECT_FLOAT_EQ(r, 16.0f);
    EXPECT_FLOAT_EQ(g, 12.0f);
    EXPECT_FLOAT_EQ(b, 8.0f);
    EXPECT_FLOAT_EQ(a, 4.0f);
}
