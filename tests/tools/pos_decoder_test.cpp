// The ESC/POS decoder on hand-made streams: band and feed placement, motion units, cuts,
// drawer pulses, black marks, logos, hostile input, and the posdecode command.
#include "tools/posdecode/pos_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/pos/receipt_test_support.h"
#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Kinds(const PosDecodeResult& r) {
    static const char* const kNames[] = {"init", "units", "logo",   "band",
                                         "feed", "cut",   "drawer", "mark"};
    std::string kinds;
    for (const PosEvent& e : r.events)
        kinds += std::string(kinds.empty() ? "" : " ") + kNames[int(e.kind)];
    return kinds;
}

const std::string kPosition0 = Bytes({0x1B, 0x24, 0x00, 0x00});

// GS v 0 in mode `mode` without the position command that the filter puts first.
std::string RasterCommand(int mode, unsigned bytesPerRow, unsigned rows, const std::string& dots) {
    return Bytes({0x1D, 0x76, 0x30, mode, int(bytesPerRow & 0xFF), int(bytesPerRow >> 8),
                  int(rows & 0xFF), int(rows >> 8)}) +
           dots;
}

std::string Feed(int units) {
    return Bytes({0x1B, 0x4A, units});
}

TEST(PosDecoderTest, BandsAndFeedsPlaceTheDotsDownThePaper) {
    const std::string stream = kCarriageReturns + kStartDoc + Band(1, 2, Bytes({0x80, 0x01})) +
                               Feed(10) + Band(2, 1, Bytes({0xFF, 0x00})) + kPrintNoFeed +
                               kInitialise;
    const PosDecodeResult r = DecodeEscPos(stream);
    EXPECT_TRUE(r.ok()) << FormatPosSummary(r);
    EXPECT_EQ(Kinds(r), "init units band feed band feed init");
    ASSERT_EQ(r.image.width(), 16u) << "as wide as the widest band";
    ASSERT_EQ(r.image.height(), 13u);
    EXPECT_EQ(r.lengthDots, 13);
    EXPECT_EQ(r.image.At(0, 0), GreyBitmap::kBlack);
    EXPECT_EQ(r.image.At(7, 1), GreyBitmap::kBlack);
    for (uint32_t x = 0; x < 16; ++x) EXPECT_EQ(r.image.At(x, 12), x < 8 ? 0 : 255) << x;
    EXPECT_EQ(r.darkDots, 10u);
    EXPECT_EQ(r.carriageReturns, 2u);
    const std::vector<const PosEvent*> bands = r.Of(PosEventKind::Band);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[1]->y, 12);
    EXPECT_EQ(bands[1]->widthDots, 16u);
    EXPECT_EQ(r.Of(PosEventKind::Feed)[0]->dots, 10);
}

TEST(PosDecoderTest, MotionUnitsScaleFeedsAndPrintPositions) {
    // 1/101 inch units at 203 dpi: ten units are 20 dots, four are 8.
    const std::string stream = Bytes({0x1D, 0x50, 101, 101}) + Feed(10) +
                               Bytes({0x1B, 0x24, 4, 0}) + RasterCommand(0, 1, 1, Bytes({0x80})) +
                               Bytes({0x1D, 0x50, 0, 0}) + Feed(10);
    const PosDecodeResult r = DecodeEscPos(stream);
    EXPECT_TRUE(r.ok());
    const std::vector<const PosEvent*> bands = r.Of(PosEventKind::Band);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0]->x, 8);
    EXPECT_EQ(bands[0]->y, 20);
    EXPECT_EQ(r.lengthDots, 20 + 1 + 10) << "GS P 0 0 restores one unit per dot";
    EXPECT_EQ(r.image.At(8, 20), GreyBitmap::kBlack);
}

TEST(PosDecoderTest, CutsDrawerPulsesBlackMarksAndLogos) {
    const std::string stream = kStartDoc + kDrawerPulse + kLogo + kBlackMarkFeed +
                               Bytes({0x1B, 0x70, 0x31, 10, 20}) + kPartialCut +
                               Bytes({0x1D, 0x56, 0x00}) + Bytes({0x1D, 0x56, 0x41, 30});
    const PosDecodeResult r = DecodeEscPos(stream);
    EXPECT_TRUE(r.ok()) << FormatPosSummary(r);
    EXPECT_EQ(Kinds(r), "init units drawer logo mark drawer cut cut cut");
    const std::vector<const PosEvent*> drawer = r.Of(PosEventKind::DrawerPulse);
    EXPECT_EQ(drawer[0]->pin, 2);
    EXPECT_EQ(drawer[0]->onMs, 102u);
    EXPECT_EQ(drawer[0]->offMs, 0u);
    EXPECT_EQ(drawer[1]->pin, 5);
    const std::vector<const PosEvent*> cuts = r.Of(PosEventKind::Cut);
    EXPECT_TRUE(cuts[0]->partial);
    EXPECT_EQ(cuts[0]->dots, 1);
    EXPECT_FALSE(cuts[1]->partial);
    EXPECT_EQ(cuts[2]->dots, 30);
    EXPECT_EQ(r.lengthDots, 31);
    const PosEvent* logo = r.Of(PosEventKind::Logo)[0];
    EXPECT_EQ(logo->key1, 0);
    EXPECT_EQ(logo->scaleX, 1);
    const std::string summary = FormatPosSummary(r);
    EXPECT_NE(summary.find("event 3: drawer pin 2 on 102 off 0 offset 6 at 0\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("event 4: logo key 00,00 scale 1x1 offset 11 at 0\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("cuts 3 drawer 2 black-marks 1 logos 1 init 1 "), std::string::npos)
        << summary;
    EXPECT_TRUE(summary.ends_with("result ok\n"));
    EXPECT_TRUE(r.image.empty()) << "no band, nothing to draw";
}

TEST(PosDecoderTest, DoubleWidthAndHeightModesMagnify) {
    const PosDecodeResult r = DecodeEscPos(RasterCommand('3', 1, 1, Bytes({0x80})) +
                                           RasterCommand(1, 1, 1, Bytes({0x01})));
    EXPECT_TRUE(r.ok());
    ASSERT_EQ(r.image.width(), 16u);
    EXPECT_EQ(r.lengthDots, 3);
    EXPECT_EQ(r.darkDots, 4u + 2u);
    EXPECT_EQ(r.image.At(1, 1), GreyBitmap::kBlack);
    EXPECT_EQ(r.image.At(15, 2), GreyBitmap::kBlack);
}

TEST(PosDecoderTest, ABandWiderThanThePaperIsClippedWithAWarning) {
    PosDecodeOptions options;
    options.widthDots = 8;
    const PosDecodeResult r = DecodeEscPos(RasterCommand(0, 2, 1, Bytes({0xFF, 0xFF})), options);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.image.width(), 8u);
    EXPECT_EQ(r.darkDots, 8u);
    ASSERT_EQ(r.warnings.size(), 1u);
}

TEST(PosDecoderTest, HostileStreamsEndWithErrorsNotCrashes) {
    struct Case {
        std::string name, stream;
        size_t errors;
    };
    const std::vector<Case> cases = {
        {"band announcing more than it holds and more than can be drawn",
         RasterCommand(0, 0xFFFF, 0xFFFF, Bytes({0xFF, 0xFF, 0xFF})), 2},
        {"band header cut short", Bytes({0x1D, 0x76, 0x30, 0x00, 0x01}), 1},
        {"unknown band mode", RasterCommand(9, 1, 1, Bytes({0x80})), 1},
        {"drawer pulse cut short", Bytes({0x1B, 0x70, 0x00}), 1},
        {"drawer without connector", Bytes({0x1B, 0x70, 0x07, 1, 1}), 1},
        {"unknown cut", Bytes({0x1D, 0x56, 0x07}), 1},
        {"cut feed missing", Bytes({0x1D, 0x56, 0x42}), 1},
        {"graphics function longer than the stream", Bytes({0x1D, 0x28, 0x4C, 0xFF, 0xFF, 0x30}),
         1},
        {"lone ESC", Bytes({0x1B}), 1},
        {"lone GS", Bytes({0x1D}), 1},
        {"unknown commands and text",
         Bytes({0x1B, 0x7E, 0x1D, 0x7E, 0x01, 'h', 'i', 0x10, 0x04, 0x01}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PosDecodeResult r = DecodeEscPos(c.stream);
        EXPECT_EQ(r.errors.size(), c.errors) << FormatPosSummary(r);
        EXPECT_EQ(r.darkDots, r.image.CountDark());
    }
    const PosDecodeResult partial = DecodeEscPos(RasterCommand(0, 1, 5, Bytes({0x80, 0x80})));
    EXPECT_EQ(partial.darkDots, 2u) << "the rows that are present are drawn";
    EXPECT_EQ(partial.lengthDots, 5);

    const PosDecodeResult unknown = DecodeEscPos(Bytes({0x1B, 0x7E, 0x1D, 0x7E, 0x1D, 0x7E, 'x'}));
    EXPECT_EQ(unknown.unknown.at("GS 7E"), 2u);
    EXPECT_EQ(unknown.textBytes, 1u);
}

TEST(PosDecoderTest, AReceiptTooLargeToDrawIsRefused) {
    PosDecodeOptions options;
    options.widthDots = 1u << 20;
    std::string stream = RasterCommand(0, 1, 1, Bytes({0x80}));
    for (int i = 0; i < 600; ++i) stream += Feed(255);
    const PosDecodeResult r = DecodeEscPos(stream, options);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.image.empty());
    EXPECT_EQ(r.lengthDots, 1 + 600 * 255);
}

TEST(PosDecoderTest, RandomAndMutatedStreamsAlwaysGiveAConsistentSummary) {
    std::mt19937 rng(7);
    const std::string valid = kCarriageReturns + kStartDoc + kDrawerPulse + kLogo + kBlackMarkFeed +
                              Band(2, 3, Bytes({1, 2, 3, 4, 5, 6})) + Feed(30) +
                              Band(1, 1, Bytes({0xAA})) + kPrintNoFeed + kPartialCut + kInitialise;
    const std::string syntax = Bytes({0x1B, 0x1D, 0x0A, 0x0D, 0x10, 0x1C, 0x4A, 0x24, 0x70, 0x76,
                                      0x30, 0x56, 0x28, 0x4C, 0x50, 0x40, 0x0C, 0x00, 0xFF});
    for (int round = 0; round < 1000; ++round) {
        std::string s = valid;
        const int edits = std::uniform_int_distribution<int>(1, 8)(rng);
        for (int k = 0; k < edits && !s.empty(); ++k) {
            const size_t at = std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng);
            const char byte = rng() % 2 ? syntax[rng() % syntax.size()] : char(rng());
            switch (rng() % 4) {
                case 0:
                    s[at] = byte;
                    break;
                case 1:
                    s.insert(at, 1, byte);
                    break;
                case 2:
                    s.erase(at, 1 + rng() % 8);
                    break;
                default:
                    s.resize(at);
                    break;
            }
        }
        const PosDecodeResult r = DecodeEscPos(s);
        const std::string summary = FormatPosSummary(r);
        const std::string last =
            r.ok() ? "result ok\n" : "result errors " + std::to_string(r.errors.size()) + "\n";
        ASSERT_TRUE(summary.ends_with(last)) << summary;
        ASSERT_EQ(r.darkDots, r.image.CountDark());
        int64_t y = 0;
        for (const PosEvent& e : r.events) {
            ASSERT_GE(e.y, y) << "the paper only moves forward";
            y = e.y;
        }
        ASSERT_LE(y, r.lengthDots);
    }
}

TEST(PosDecoderTest, CommandWritesThePngAndTheSummary) {
    TempDir dir;
    WriteFile(dir.File("job.bin"), kStartDoc + Band(1, 2, Bytes({0x80, 0x01})) + kInitialise);
    FilterArgs args;
    args.argvOverride = std::vector<std::string>{"-o", dir.path(), dir.File("job.bin")};
    FilterResult r = RunFilter(POSDECODE, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with("result ok\n")) << r.out;
    const std::optional<GreyBitmap> png = ReadPng(dir.File("job.png"));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->width(), 8u);
    EXPECT_EQ(png->height(), 2u);
    EXPECT_EQ(png->CountDark(), 2u);

    WriteFile(dir.File("bad.bin"), Bytes({0x1B, 0x70}));
    args.argvOverride = std::vector<std::string>{"--no-png", dir.File("bad.bin")};
    EXPECT_EQ(RunFilter(POSDECODE, args).exitCode, 1);
    args.argvOverride = std::vector<std::string>{dir.File("absent.bin")};
    EXPECT_EQ(RunFilter(POSDECODE, args).exitCode, 2);
    args.argvOverride = std::vector<std::string>{"--dpi", "0", dir.File("job.bin")};
    EXPECT_EQ(RunFilter(POSDECODE, args).exitCode, 2);
}

}  // namespace
