// CoverBMP2OutputFormat: rotation, grey conversion, content crop, clipping and the
// receipt filter's frame-keeping variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/bmp_processing.h"
#include "imaging/label_grey.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;

namespace {

constexpr COLORLEVELSITEM kNeutral{1.0f, 0, 255, 0, 255};
constexpr int kNoClip = 1 << 20;

struct Cover {
    int32_t ret = -1;
    tagBITMAPINFOHEADER hdr{};
    tagRECT rect{-1, -1, -1, -1};
    Owned buf;
    uint32_t size = 1234;

    uint32_t stride() const { return DibStride(hdr.biWidth, 8); }
    std::vector<std::string> art() const {
        return Art(buf.get(), hdr.biWidth, hdr.biHeight, stride());
    }
};

struct Args {
    int32_t orientation = 3;
    int32_t maxWidth = kNoClip;
    int16_t skipWhite = 1;
    int32_t brightness = 0;
    int32_t contrast = 0;
    int32_t xOffset = 0;
    int32_t yOffset = 0;
    COLORLEVELSITEM levels = kNeutral;
};

Cover Convert(CBmpProcessing& bmp, const Image& src, const Args& a) {
    Cover c;
    c.hdr = src.header();
    uint8_t* out = nullptr;
    c.ret = bmp.CoverBMP2OutputFormat(src.data.data(), src.size(), &out, &c.size, &c.hdr, &c.rect,
                                      a.orientation, a.xOffset, a.yOffset, a.levels, false,
                                      a.brightness, a.contrast, a.maxWidth, a.skipWhite);
    c.buf.reset(out);
    return c;
}

Cover Convert(const Image& src, const Args& a) {
    CBmpProcessing bmp;
    return Convert(bmp, src, a);
}

void ExpectRect(const tagRECT& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

const std::vector<std::string> kSixShades = {"123", "456"};

}  // namespace

TEST(CoverOrientation, UnturnedKeepsLayoutAndPadsToEightColumns) {
    for (int orientation : {3, 4, -1}) {
        const Cover c = Convert(Colour(kSixShades), {.orientation = orientation, .skipWhite = 0});
        ASSERT_EQ(c.ret, 1);
        EXPECT_EQ(c.art(), (std::vector<std::string>{"123.....", "456....."})) << orientation;
    }
}

TEST(CoverOrientation, QuarterTurnAnticlockwisePutsTopRightFirst) {
    const Cover c = Convert(Colour(kSixShades), {.orientation = 0, .skipWhite = 0});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"36......", "25......", "14......"}));
}

TEST(CoverOrientation, HalfTurnPutsBottomRightFirst) {
    const Cover c = Convert(Colour(kSixShades), {.orientation = 1, .skipWhite = 0});
    EXPECT_EQ(c.art(), (std::vector<std::string>{"654.....", "321....."}));
}

TEST(CoverOrientation, QuarterTurnClockwisePutsBottomLeftFirst) {
    const Cover c = Convert(Colour(kSixShades), {.orientation = 2, .skipWhite = 0});
    EXPECT_EQ(c.art(), (std::vector<std::string>{"41......", "52......", "63......"}));
}

TEST(CoverOrientation, GreySourceTurnsLikeColour) {
    const Cover c = Convert(Grey(kSixShades), {.orientation = 0, .skipWhite = 0});
    EXPECT_EQ(c.art(), (std::vector<std::string>{"36......", "25......", "14......"}));
}

TEST(CoverOrientation, QuarterTurnsOfLargePageMatchPixelByPixel) {
    // Larger than the traversal bands, with ink that differs in every position.
    Image src = Blank(300, 70, 24);
    for (uint32_t y = 0; y < src.height; ++y) {
        for (uint32_t x = 0; x < src.width; ++x) {
            const uint8_t v = static_cast<uint8_t>((x * 7 + y * 13) % 240);
            src.set(x, y, v, v, v);
        }
    }
    for (int orientation : {0, 2}) {
        const Cover c = Convert(src, {.orientation = orientation, .skipWhite = 0});
        ASSERT_EQ(+c.hdr.biWidth, 72);
        ASSERT_EQ(+c.hdr.biHeight, 300);
        for (uint32_t i = 0; i < src.height; ++i) {
            for (uint32_t j = 0; j < src.width; ++j) {
                const uint32_t x = orientation == 0 ? i : src.height - 1 - i;
                const uint32_t y = orientation == 0 ? src.width - 1 - j : j;
                ASSERT_EQ(c.buf.get()[y * 72 + x], src.row(i)[j * 3])
                    << orientation << " " << i << "," << j;
            }
        }
    }
}

TEST(CoverTone, BlocksConvertExactlyLikeSinglePixels) {
    // Runs of paper and of one colour long enough for whole blocks; in every other block
    // one odd pixel, at each position 0-7 in turn; wide paper (near-white noise) on even
    // rows; and a tail shorter than a block.
    const uint32_t w = 109, h = 8;
    Image src = Blank(w, h, 24);
    const uint8_t colours[][3] = {{0, 0, 0}, {10, 100, 200}, {252, 250, 255}, {249, 251, 251}};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* c = colours[(x / 16 + y) % 4];
            if (x >= 40 && x < 100 && y % 2 == 0) {
                src.set(x, y, uint8_t(250 + x % 6), 255, uint8_t(250 + y));
            } else if (x % 8 == y && x % 16 < 8) {
                src.set(x, y, uint8_t(x * 2), uint8_t(y * 30), 33);
            } else {
                src.set(x, y, c[0], c[1], c[2]);
            }
        }
    }
    CBmpProcessing bmp;
    bmp.SetLightTable(-15, 30);
    for (int orientation : {3, 0, 1, 2}) {
        const Cover c =
            Convert(bmp, src, {.orientation = orientation, .skipWhite = 0, .brightness = -15});
        ASSERT_EQ(c.ret, 1);
        for (uint32_t i = 0; i < h; ++i) {
            for (uint32_t j = 0; j < w; ++j) {
                Image one = Blank(1, 1, 24);
                const uint8_t* p = src.row(i) + j * 3;
                one.set(0, 0, p[0], p[1], p[2]);
                const uint8_t want =
                    Convert(bmp, one, {.skipWhite = 0, .brightness = -15}).buf.get()[0];
                const uint32_t x = orientation == 0   ? i
                                   : orientation == 1 ? w - 1 - j
                                   : orientation == 2 ? h - 1 - i
                                                      : j;
                const uint32_t y = orientation == 0   ? w - 1 - j
                                   : orientation == 1 ? h - 1 - i
                                   : orientation == 2 ? j
                                                      : i;
                ASSERT_EQ(c.buf.get()[y * c.stride() + x], want)
                    << orientation << " " << i << "," << j;
            }
        }
    }
}

TEST(CoverCrop, CroppedResultIsTheMatchingPartOfTheWholeFrame) {
    // Paper margins of different widths (near-white noise included), rows of paper only,
    // and ink in between, in every orientation: the crop must equal the same stretch of
    // the uncropped frame.
    const uint32_t w = 150, h = 40;
    Image src = Blank(w, h, 24);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool ink = y % 7 != 3 && x > 20 + y && x < 60 + 2 * y && (x + y) % 5 != 0;
            if (ink) {
                src.set(x, y, uint8_t(x), uint8_t(y * 5), 90);
            } else {
                src.set(x, y, uint8_t(250 + (x + y) % 6), 255, 251);
            }
        }
    }
    for (int orientation : {3, 0, 1, 2}) {
        const Cover whole = Convert(src, {.orientation = orientation, .skipWhite = 0});
        const Cover crop = Convert(src, {.orientation = orientation});
        ASSERT_EQ(crop.ret, 1);
        const int frameW = orientation == 0 || orientation == 2 ? int(h) : int(w);
        for (int y = 0; y < crop.hdr.biHeight; ++y) {
            for (int x = 0; x < crop.hdr.biWidth; ++x) {
                const int fx = crop.rect.left + x, fy = crop.rect.top + y;
                const uint8_t want = fx < frameW ? whole.buf.get()[fy * whole.stride() + fx] : 255;
                ASSERT_EQ(crop.buf.get()[y * crop.stride() + x], want)
                    << orientation << " at " << x << "," << y;
            }
        }
    }
}

TEST(CoverCrop, SinglePixelAtColumn13GivesLeft8Width8) {
    Image src = Blank(20, 3, 24);
    src.set(13, 1, 0, 0, 0);
    const Cover c = Convert(src, {});
    ASSERT_EQ(c.ret, 1);
    ExpectRect(c.rect, 8, 1, 15, 1);
    EXPECT_EQ(+c.hdr.biWidth, 8);
    EXPECT_EQ(+c.hdr.biHeight, 1);
    EXPECT_EQ(+c.hdr.biBitCount, 8);
    EXPECT_EQ(+c.hdr.biSizeImage, 8u);
    EXPECT_EQ(c.size, 8u);
    EXPECT_EQ(c.art(), (std::vector<std::string>{".....#.."}));
}

TEST(CoverCrop, ContentBoxSpansAllInkPixels) {
    const Cover c =
        Convert(Colour({"..........", "...#......", "..........", ".......#..", ".........."}), {});
    ExpectRect(c.rect, 0, 1, 7, 3);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"...#....", "........", ".......#"}));
}

TEST(CoverCrop, WithoutSkipWhiteTheWholeFrameIsKept) {
    const Cover c = Convert(Colour({"..........", "...#......"}), {.skipWhite = 0});
    ASSERT_EQ(c.ret, 1);
    ExpectRect(c.rect, 0, 0, 15, 1);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"................", "...#............"}));
}

TEST(CoverCrop, AllWhitePageWithSkipWhiteIsEmptyAndAllocatesNothing) {
    const Cover c = Convert(Colour({"....", "...."}), {});
    EXPECT_EQ(c.ret, 1);
    ExpectRect(c.rect, 0, 0, 0, 0);
    EXPECT_EQ(+c.hdr.biWidth, 0);
    EXPECT_EQ(+c.hdr.biHeight, 0);
    EXPECT_EQ(+c.hdr.biSizeImage, 0u);
    EXPECT_EQ(+c.hdr.biBitCount, 8);
    EXPECT_EQ(c.buf, nullptr);
    EXPECT_EQ(c.size, 1234u);
}

TEST(CoverCrop, ZeroSizedSourceIsAnEmptyPage) {
    CBmpProcessing bmp;
    const uint8_t pixel[4] = {0, 0, 0, 0};
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}}) {
        tagBITMAPINFOHEADER hdr{};
        hdr.biWidth = w;
        hdr.biHeight = h;
        hdr.biBitCount = 24;
        tagRECT rect{1, 1, 1, 1};
        uint8_t* out = nullptr;
        uint32_t size = 0;
        EXPECT_EQ(bmp.CoverBMP2OutputFormat(pixel, 4, &out, &size, &hdr, &rect, 3, 0, 0, kNeutral,
                                            false, 0, 0, kNoClip, 0),
                  1);
        EXPECT_EQ(+hdr.biWidth, 0);
        EXPECT_EQ(+hdr.biHeight, 0);
        EXPECT_EQ(rect.right, 0);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(CoverClip, FrameIsClippedAtMaxOutputWidth) {
    Image src = Colour({"......#.............", "....................", "...............#...."});
    const Cover c = Convert(src, {.maxWidth = 12});
    ASSERT_EQ(c.ret, 1);
    // The pixel at column 15 is dropped; the box never reaches past the clip, although the
    // clipped pixel's row still counts for the rows kept.
    ExpectRect(c.rect, 0, 0, 7, 2);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"......#.", "........", "........"}));
}

TEST(CoverClip, RoundedWidthBeyondTheClipIsWhite) {
    const Cover c = Convert(Colour({"############"}), {.maxWidth = 10});
    ExpectRect(c.rect, 0, 0, 15, 0);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"##########......"}));
}

TEST(CoverClip, InkOnlyBeyondTheClipLeavesNothing) {
    const Cover c = Convert(Colour({"..........#"}), {.maxWidth = 8});
    EXPECT_EQ(c.ret, 1);
    EXPECT_EQ(+c.hdr.biWidth, 0);
    EXPECT_EQ(c.buf, nullptr);
}

TEST(CoverClip, ZeroMaxWidthLeavesNothingAndNegativeMeansNoClip) {
    EXPECT_EQ(+Convert(Colour({"#"}), {.maxWidth = 0}).hdr.biWidth, 0);
    const Cover c = Convert(Colour({"..........#"}), {.maxWidth = -1});
    ExpectRect(c.rect, 8, 0, 15, 0);
}

TEST(CoverBuffer, CallerBufferOneByteShortFailsWithHeaderDescribingResult) {
    Image src = Colour({"#.........", ".........#"});
    CBmpProcessing bmp;
    tagBITMAPINFOHEADER hdr = src.header();
    tagRECT rect{};
    std::vector<uint8_t> out(31, 7);  // 2 rows x 16 bytes needed
    uint8_t* p = out.data();
    uint32_t size = 31;
    EXPECT_EQ(bmp.CoverBMP2OutputFormat(src.data.data(), src.size(), &p, &size, &hdr, &rect, 3, 0,
                                        0, kNeutral, false, 0, 0, kNoClip, 1),
              0);
    EXPECT_EQ(+hdr.biWidth, 16);
    EXPECT_EQ(+hdr.biHeight, 2);
    EXPECT_EQ(+hdr.biSizeImage, 32u);
    EXPECT_EQ(out, std::vector<uint8_t>(31, 7));

    std::vector<uint8_t> exact(32, 7);
    p = exact.data();
    size = 32;
    hdr = src.header();
    ASSERT_EQ(bmp.CoverBMP2OutputFormat(src.data.data(), src.size(), &p, &size, &hdr, &rect, 3, 0,
                                        0, kNeutral, false, 0, 0, kNoClip, 1),
              1);
    EXPECT_EQ(p, exact.data());
    EXPECT_EQ(Art(exact.data(), 16, 2, 16),
              (std::vector<std::string>{"#...............", ".........#......"}));
}

TEST(CoverTone, NearWhiteRawPixelIsPaper) {
    Image src = Blank(2, 1, 24);
    src.set(0, 0, 250, 250, 250);
    src.set(1, 0, 249, 255, 255);
    const Cover c = Convert(src, {.skipWhite = 0});
    EXPECT_EQ(c.buf.get()[0], 255);
    EXPECT_EQ(c.buf.get()[1], (11 * 255 + 16 * 255 + 5 * 249) / 32);  // 254
    // With skipping, only the second pixel is content.
    const Cover skipped = Convert(src, {});
    ExpectRect(skipped.rect, 0, 0, 7, 0);
    Image onlyPaper = Blank(2, 1, 24);
    onlyPaper.set(0, 0, 250, 250, 250);
    EXPECT_EQ(+Convert(onlyPaper, {}).hdr.biWidth, 0);
}

TEST(CoverTone, GreyWeightsAreElevenSixteenFiveOverRedGreenBlue) {
    Image src = Blank(1, 1, 24);
    src.set(0, 0, 10, 100, 200);  // blue, green, red
    const Cover c = Convert(src, {});
    EXPECT_EQ(c.buf.get()[0], (11 * 200 + 16 * 100 + 5 * 10) / 32);
}

TEST(CoverTone, LevelsSlotZeroAppliesToEveryChannel) {
    CBmpProcessing bmp;
    const COLORLEVELSITEM gamma2{2.0f, 0, 255, 0, 255};
    bmp.SetColorLevelsData(&gamma2, 0);
    Image src = Blank(1, 1, 24);
    src.set(0, 0, 128, 128, 128);
    EXPECT_EQ(Convert(bmp, src, {}).buf.get()[0], 64);
}

TEST(CoverTone, LevelsItemArgumentIsIgnoredByLabelVariant) {
    Image src = Blank(1, 1, 24);
    src.set(0, 0, 128, 128, 128);
    EXPECT_EQ(Convert(src, {.levels = {3.0f, 0, 255, 0, 255}}).buf.get()[0], 128);
}

TEST(CoverTone, LightAppliesOnlyWhenBrightnessOrContrastIsSet) {
    CBmpProcessing bmp;
    bmp.SetLightTable(20, 0);
    Image src = Blank(2, 1, 24);
    src.set(0, 0, 100, 100, 100);
    src.set(1, 0, 0, 0, 0);
    const Cover lit = Convert(bmp, src, {.brightness = 20});
    EXPECT_EQ(lit.buf.get()[0], 120);
    EXPECT_EQ(lit.buf.get()[1], 0) << "pure black is left alone by Light";
    EXPECT_EQ(Convert(bmp, src, {}).buf.get()[0], 100);
}

TEST(CoverTone, MappedNearWhiteBecomesWhite) {
    CBmpProcessing bmp;
    bmp.SetLightTable(10, 0);
    Image src = Blank(2, 1, 24);
    src.set(0, 0, 240, 240, 240);  // lit to 250: white
    src.set(1, 0, 239, 239, 239);  // lit to 249: stays grey
    const Cover c = Convert(bmp, src, {.brightness = 10});
    EXPECT_EQ(c.buf.get()[0], 255);
    EXPECT_EQ(c.buf.get()[1], 249);
}

TEST(CoverHostile, RejectsUnusableInput) {
    CBmpProcessing bmp;
    Image src = Colour({"#."});
    tagBITMAPINFOHEADER hdr = src.header();
    tagRECT rect{};
    uint8_t* out = nullptr;
    uint32_t size = 0;
    const auto call = [&](const uint8_t* s, uint32_t n, tagBITMAPINFOHEADER* h) {
        return bmp.CoverBMP2OutputFormat(s, n, &out, &size, h, &rect, 3, 0, 0, kNeutral, false, 0,
                                         0, kNoClip, 1);
    };
    EXPECT_EQ(call(nullptr, src.size(), &hdr), 0);
    EXPECT_EQ(call(src.data.data(), src.size(), nullptr), 0);
    EXPECT_EQ(call(src.data.data(), src.size() - 1, &hdr), 0) << "source shorter than its header";
    hdr.biBitCount = 16;
    EXPECT_EQ(call(src.data.data(), src.size(), &hdr), 0);
    hdr = src.header();
    hdr.biWidth = -2;
    EXPECT_EQ(call(src.data.data(), src.size(), &hdr), 0);
    hdr = src.header();
    hdr.biWidth = 1 << 30;  // absurd: claims far more than the buffer holds
    hdr.biHeight = 1 << 30;
    EXPECT_EQ(call(src.data.data(), src.size(), &hdr), 0);
    hdr = src.header();
    hdr.biWidth = 0x7FFFFFFF;
    hdr.biHeight = 1;
    EXPECT_EQ(call(src.data.data(), 0xFFFFFFFFu, &hdr), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(CoverReceipt, KeepsTheFrameAndAppliesGammaPerChannel) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    Image src = Blank(6, 2, 24);
    src.set(1, 0, 128, 128, 128);
    const Cover c = Convert(bmp, src, {.skipWhite = 0, .levels = {3.0f, 0, 255, 0, 255}});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(+c.hdr.biWidth, 6);
    EXPECT_EQ(+c.hdr.biHeight, 2);
    EXPECT_EQ(+c.hdr.biSizeImage, 16u);  // stride 8
    EXPECT_EQ(c.buf.get()[1], 32);       // (128/255)^3 * 255 rounds to 32
    EXPECT_EQ(c.buf.get()[0], 255);
    EXPECT_TRUE(bmp.LevelsReady(0) && bmp.LevelsReady(1) && bmp.LevelsReady(2));
}

TEST(CoverReceipt, GreySourcesAndQuarterTurnsWork) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    const Cover c = Convert(bmp, Grey({"123", "456"}), {.orientation = 0, .skipWhite = 0});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(+c.hdr.biWidth, 2);
    EXPECT_EQ(+c.hdr.biHeight, 3);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"36", "25", "14"}));
}

TEST(CoverReceipt, OffsetsMoveTheImageInsideTheFrame) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    const Cover c = Convert(bmp, Colour({"#...", "...#", "#..."}),
                            {.skipWhite = 0, .xOffset = 2, .yOffset = 1});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(+c.hdr.biWidth, 4);
    EXPECT_EQ(+c.hdr.biHeight, 3);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"....", "..#.", "...."}));
    ExpectRect(c.rect, 2, 1, 3, 2);
}

TEST(CoverReceipt, NarrowFrameKeepsTheMiddleOfThePage) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    const Cover c = Convert(bmp, Colour({"#.1234.#"}), {.maxWidth = 4, .skipWhite = 0});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(c.art(), (std::vector<std::string>{"1234"}));
}

TEST(CoverReceipt, NoLabelNearWhiteRuleAfterTheCurves) {
    // Gamma 0.5 lifts 249 to 252: white for the label filters, grey 252 for receipts.
    const COLORLEVELSITEM lift{0.5f, 0, 255, 0, 255};
    Image src = Blank(1, 1, 24);
    src.set(0, 0, 249, 249, 249);
    CBmpProcessing label;
    label.SetColorLevelsData(&lift, 0);
    EXPECT_EQ(Convert(label, src, {}).buf.get()[0], 255);
    CBmpProcessing receipt(BmpVariant::Receipt);
    EXPECT_EQ(Convert(receipt, src, {.levels = lift}).buf.get()[0], 252);
}

TEST(CoverReceipt, BrightnessShiftsTheAdjustedColours) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    const Cover c = Convert(bmp, Colour({"44", "44"}), {.skipWhite = 0, .brightness = 10});
    ASSERT_EQ(c.ret, 1);
    EXPECT_EQ(c.buf.get()[0], 110);
    EXPECT_EQ(c.buf.get()[c.stride() + 1], 110);
}

TEST(CoverReceipt, CallerBufferTooSmallFails) {
    CBmpProcessing bmp(BmpVariant::Receipt);
    Image src = Colour({"#####"});
    tagBITMAPINFOHEADER hdr = src.header();
    tagRECT rect{};
    std::vector<uint8_t> out(7);  // stride 8 needed
    uint8_t* p = out.data();
    uint32_t size = 7;
    EXPECT_EQ(bmp.CoverBMP2OutputFormat(src.data.data(), src.size(), &p, &size, &hdr, &rect, 3, 0,
                                        0, kNeutral, false, 0, 0, 5, 0),
              0);
    EXPECT_EQ(+hdr.biSizeImage, 8u);
}

// The label grey made while reading, then cropped, must be exactly what the conversion makes
// of the page in colour, unturned, unshifted and with a neutral tone: faint pixels just below
// paper in one channel, pure black, ink beyond the clip, blank pages, odd widths. Widths of
// 53 dots pass through every stretch of the read: 32 dots, 16 dots and single dots.
TEST(CoverLabelGrey, CropOfTheGreyReadEqualsTheConversion) {
    const auto noisy = [] {
        Image src = Blank(53, 23, 24);
        for (uint32_t y = 0; y < src.height; ++y) {
            for (uint32_t x = 0; x < src.width; ++x) {
                if (y % 7 != 3 && x > 5 + y && x < 12 + 2 * y && (x + y) % 5 != 0) {
                    src.set(x, y, uint8_t(x * 7), uint8_t(y * 11), 90);
                } else {
                    src.set(x, y, uint8_t(250 + (x + y) % 6), 255, uint8_t(249 + y % 3));
                }
            }
        }
        return src;
    };
    const auto faintAt = [](uint32_t x, uint32_t y) {
        Image src = Blank(53, 5, 24);
        src.set(x, y, 255, 249, 255);
        src.set(x + 1, y, 0, 0, 0);
        return src;
    };
    // Ink in the first and last columns of 50: rows of 56 are wider than the page's 52. Cropped
    // below the first row they cannot move in place; from the first row they can.
    Image edges = Blank(50, 4, 24);
    edges.set(0, 1, 0, 0, 0);
    edges.set(49, 2, 0, 0, 0);
    Image corner = edges;
    corner.set(3, 0, 0, 0, 0);
    const std::vector<Image> pages = {
        noisy(),          faintAt(2, 0),       faintAt(26, 4), faintAt(40, 2), faintAt(50, 1),
        Blank(16, 3, 24), Blank(40, 2, 24, 0), edges,          corner};
    for (size_t p = 0; p < pages.size(); ++p) {
        const Image& src = pages[p];
        std::vector<uint8_t> rgb(size_t{src.width} * 3 * src.height);
        for (uint32_t y = 0; y < src.height; ++y) {
            for (uint32_t x = 0; x < src.width * 3; x += 3) {
                const uint8_t* bgr = src.row(y) + x;
                uint8_t* out = &rgb[y * src.width * 3 + x];
                std::reverse_copy(bgr, bgr + 3, out);
            }
        }
        Image grey = Blank(src.width, src.height, 8, 0);
        LabelGreyFromRgbRows(rgb.data(), src.width * 3, src.width, src.height, grey.data.data(),
                             grey.stride());
        for (int16_t skipWhite : {0, 1}) {
            for (int32_t maxWidth : {kNoClip, 20, 0, -1}) {
                SCOPED_TRACE(::testing::Message() << "page " << p << " skipWhite " << skipWhite
                                                  << " maxWidth " << maxWidth);
                const Cover want = Convert(src, {.maxWidth = maxWidth, .skipWhite = skipWhite});
                Cover got;
                got.hdr = grey.header();
                uint8_t* out = nullptr;
                got.ret = CropLabelGrey(grey.data.data(), grey.size(), &out, &got.size, &got.hdr,
                                        &got.rect, maxWidth, skipWhite);
                got.buf.reset(out);
                ASSERT_EQ(got.ret, want.ret);
                ExpectRect(got.rect, want.rect.left, want.rect.top, want.rect.right,
                           want.rect.bottom);
                ASSERT_EQ(got.hdr.biWidth, want.hdr.biWidth);
                ASSERT_EQ(got.hdr.biHeight, want.hdr.biHeight);
                ASSERT_EQ(got.hdr.biSizeImage, want.hdr.biSizeImage);
                ASSERT_EQ(got.buf == nullptr, want.buf == nullptr);
                if (want.buf != nullptr) {
                    EXPECT_EQ(0, std::memcmp(got.buf.get(), want.buf.get(), want.hdr.biSizeImage));
                }
                // In the page's own rows, with room for rows rounded up to 8 dots: the same
                // crop, or -1 with the page untouched where its rows would be wider and start
                // below the first row.
                std::vector<uint8_t> own(((src.width + 7) & ~7u) * src.height, 77);
                std::copy(grey.data.begin(), grey.data.end(), own.begin());
                const std::vector<uint8_t> before = own;
                Cover inPlace;
                inPlace.hdr = grey.header();
                uint8_t* ownOut = own.data();
                inPlace.size = static_cast<uint32_t>(own.size());
                inPlace.ret = CropLabelGrey(own.data(), grey.size(), &ownOut, &inPlace.size,
                                            &inPlace.hdr, &inPlace.rect, maxWidth, skipWhite);
                ASSERT_EQ(ownOut, own.data());
                if (inPlace.ret == -1) {
                    EXPECT_GT(want.hdr.biWidth, static_cast<int32_t>(grey.stride()));
                    EXPECT_NE(want.rect.top, 0);
                    EXPECT_EQ(own, before);
                    continue;
                }
                ASSERT_EQ(inPlace.ret, want.ret);
                ASSERT_EQ(inPlace.hdr.biSizeImage, want.hdr.biSizeImage);
                if (want.buf != nullptr) {
                    EXPECT_EQ(0, std::memcmp(own.data(), want.buf.get(), want.hdr.biSizeImage));
                }
            }
        }
    }
}
