// The TSPL command operations and the job's set-up commands, byte for byte: these texts are
// what the printer parses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include "tests/support/stdout_capture.h"
#include "tspl/tspl_render.h"

namespace {

class TsplCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cfg.sOutputXDPI = cfg.sOutputYDPI = 203;
        cfg.sPrintSpeed = 0xFFFF;
        renderer.SetOemCfgPointer(&cfg);
        renderer.SetDevModePointer(&devMode);
        renderer.SetOemPdevPointer(&pdev);
    }

    tagOEMCFG cfg{};
    _DEVMODE devMode{};
    _OEMPDEV pdev{};
    CTSPLRenderClass renderer;
    StdoutCapture out;
};

TEST_F(TsplCommandsTest, EachOperationWritesItsCommand) {
    using R = CTSPLRenderClass;
    const struct {
        std::function<bool(R&)> op;
        const char* text;
    } kCases[] = {
        {[](R& r) { return r.OutputGapCmd(30, 0); }, "GAP 3 mm,0 mm\r\n"},
        {[](R& r) { return r.OutputGapCmd(25, 15); }, "GAP 2.5 mm,1.5 mm\r\n"},
        {[](R& r) { return r.OutputGapCmd(30, 15); }, "GAP 3 mm,1.5 mm\r\n"},
        {[](R& r) { return r.OutputGapCmd(25, 0); }, "GAP 2.5 mm,0 mm\r\n"},
        {[](R& r) { return r.OutputBLineCmd(30, 5); }, "BLINE 3 mm,0.5 mm\r\n"},
        {[](R& r) { return r.OutputFeedLenCmd(20); }, "OFFSET 2 mm\r\n"},
        {[](R& r) { return r.OutputFeedLenCmd(-15); }, "OFFSET -1.5 mm\r\n"},
        {[](R& r) { return r.OutputPaperTypeCmd(1); }, "SET RIBBON OFF\r\n"},
        {[](R& r) { return r.OutputPaperTypeCmd(2); }, "SET RIBBON ON\r\n"},
        {[](R& r) { return r.OutputPaperTypeCmd(3); }, ""},
        {[](R& r) { return r.OutputPeelCmd(1); }, "SET PEEL ON\r\n"},
        {[](R& r) { return r.OutputTearCmd(0); }, "SET TEAR OFF\r\n"},
        {[](R& r) { return r.OutputCutterCmd(0); }, "SET CUTTER OFF\r\n"},
        {[](R& r) { return r.OutputCutterCmd(3); }, "SET CUTTER 3\r\n"},
        {[](R& r) {
             return r.OutPutREFERENCECommand({4, 9});
         },
         "REFERENCE 4,9\r\n"},
        {[](R& r) { return r.OutPutDIRECTIONCommand(true, false); }, "DIRECTION 1,0\r\n"},
        {[](R& r) { return r.OutPutDensityCommand(8); }, "DENSITY 8\r\n"},
        {[](R& r) { return r.OutPutDensityCommand(1000); }, ""},
        {[](R& r) { return r.OutPutDensityCommand(INT_MAX); }, "DENSITY 15\r\n"},
        {[](R& r) { return r.OutPutSpeedCommand(4); }, "SPEED 4\r\n"},
        {[](R& r) { return r.OutPutSpeedCommand(1000); }, ""},
        {[](R& r) { return r.OutPutCopiesCommand(5); }, "PRINT 1,5\r\n"},
        {[](R& r) { return r.OutPutCopiesCommand(0); }, "PRINT 1,1\r\n"},
        {[](R& r) { return r.OutPutSizeCommand(800, 1200); }, "SIZE 800 dot,1200 dot\r\n"},
        {[](R& r) { return r.OutPutSizeCommand(-5, 0); }, "SIZE 1 dot,1 dot\r\n"},
        {[](R& r) { return r.OutPutSizeCommand(70000, 10); }, "SIZE 2398 dot,10 dot\r\n"},
        {[](R& r) { return r.OutPutOperationMode(); }, "SET CUTTER OFF\r\n"},
    };
    for (const auto& c : kCases) {
        EXPECT_TRUE(c.op(renderer)) << c.text;
        EXPECT_EQ(out.Take(), c.text);
    }
}

TEST_F(TsplCommandsTest, CopiesOfCollatedJobsComeAsPagesOfTheirOwn) {
    devMode.dmCollate = 1;
    renderer.OutPutCopiesCommand(5);
    EXPECT_EQ(out.Take(), "PRINT 1,1\r\n");
}

TEST_F(TsplCommandsTest, LabelSizeAddsTheAllowancesOrTakesAFixedLength) {
    cfg.dwStartOffsetValue = 2;
    cfg.dwEndOffsetValue = 3;
    renderer.OutPutSizeCommand(800, 1000);
    EXPECT_EQ(out.Take(), "SIZE 800 dot,1040 dot\r\n") << "5 mm are 40 dots at 203 dpi";
    EXPECT_EQ(pdev.dwLabelHeight, 1040u);
    cfg.dwFixedHeight = 3;
    renderer.OutPutSizeCommand(800, 1000);
    EXPECT_EQ(out.Take(), "SIZE 800 dot,1223 dot\r\n") << "148 + 5 mm";

    // From the page: 812 x 1218 dots at 203 dpi, printed at 300 dpi within 104 mm.
    cfg.dwFixedHeight = 0;
    cfg.sOutputXDPI = cfg.sOutputYDPI = 300;
    cfg.sMaxOutputWidth = 104;
    devMode = {1, 203, 203, 0};
    pdev.srcGdiInfo.szlPhysSize = {812, 1218};
    renderer.OutPutSizeCommand();
    EXPECT_EQ(out.Take(), "SIZE 1200 dot,1801 dot\r\n");
}

TEST_F(TsplCommandsTest, BitmapPlacementFollowsTheOffsets) {
    const struct {
        int64_t hrz, vtc, hrzDir, vtcDir;
        uint16_t end;
        tagRECT rect;
        const char* text;
    } kCases[] = {
        {0, 0, 0, 0, 0, {13, 5, 100, 24}, "BITMAP 8,5,12,20,0,"},
        {0, 0, 0, 0, 0, {-3, -2, 15, 7}, "BITMAP 0,0,2,10,0,"},
        {25, 0, 0, 0, 0, {0, 0, 7, 0}, "BITMAP 20,0,1,1,0,"},
        {25, 0, 1, 0, 0, {16, 0, 23, 0}, "BITMAP 0,0,1,1,0,"},
        // Up by the vertical offset; the horizontal placement stays.
        {0, 20, 0, 1, 0, {8, 30, 15, 30}, "BITMAP 8,14,1,1,0,"},
        {0, 20, 0, 0, 1, {8, 30, 15, 30}, "BITMAP 8,54,1,1,0,"},
        {INT64_MAX / 2, 0, 0, 0, 0, {0, 0, 7, 0}, "BITMAP 2398,0,1,1,0,"},  // 300 mm
    };
    for (const auto& c : kCases) {
        cfg.sHrzOffset = c.hrz;
        cfg.sVtcOffset = c.vtc;
        cfg.sHrzDir = c.hrzDir;
        cfg.sVtcDir = c.vtcDir;
        cfg.dwEndOffsetValue = c.end;
        tagRECT rect = c.rect;
        renderer.OutPutBITMAPCommand(rect);
        EXPECT_EQ(out.Take(), c.text);
    }
}

TEST_F(TsplCommandsTest, StartOfTheJob) {
    const struct {
        uint16_t labelType, paperType;
        int64_t afterPrint, density;
        uint16_t speed;
        const char* text;
    } kCases[] = {
        {1, 2, 4, 8, 4,
         "CLS\r\nGAP 3 mm,1.5 mm\r\nSET RIBBON ON\r\nDIRECTION 1,0\r\nREFERENCE 0,0\r\nDENSITY "
         "8\r\nSPEED 4\r\nOFFSET 2 mm\r\nSET TEAR OFF\r\nSET PEEL OFF\r\n"},
        {2, 1, 2, 1000, 1000,
         "CLS\r\nBLINE 4 mm,0.5 mm\r\nSET RIBBON OFF\r\nDIRECTION 1,0\r\nREFERENCE 0,0\r\nOFFSET "
         "2 mm\r\nSET TEAR OFF\r\nSET PEEL ON\r\nSET CUTTER OFF\r\n"},
        // Continuous media still sends a gap of 0; a print method without a command and a
        // mode without commands leave the rest of the set-up in place.
        {3, 7, 9, 3, 0xFFFF,
         "CLS\r\nGAP 0 mm,0 mm\r\nDIRECTION 1,0\r\nREFERENCE 0,0\r\nDENSITY 3\r\nOFFSET 2 "
         "mm\r\n"},
        {0, 0, 3, 0, 2,
         "CLS\r\nDIRECTION 1,0\r\nREFERENCE 0,0\r\nDENSITY 0\r\nSPEED 2\r\nOFFSET 2 mm\r\nSET "
         "TEAR ON\r\nSET PEEL OFF\r\nSET CUTTER OFF\r\n"},
    };
    cfg.GAPHeight = 30;
    cfg.GAPOffset = 15;
    cfg.BLineHeight = 40;
    cfg.BLineOffset = 5;
    cfg.sFeedLen = 20;
    for (const auto& c : kCases) {
        cfg.sLabelType = c.labelType;
        cfg.sPaperType = c.paperType;
        cfg.dwOperationAfterPrn = c.afterPrint;
        cfg.sDensity = c.density;
        cfg.sPrintSpeed = c.speed;
        EXPECT_TRUE(renderer.StartDocCMD());
        EXPECT_EQ(out.Take(), c.text);
    }
}

TEST_F(TsplCommandsTest, NothingIsWrittenWithoutSettingsOrAfterAFailedWrite) {
    CTSPLRenderClass detached;
    EXPECT_FALSE(detached.StartDocCMD());
    EXPECT_FALSE(detached.OutPutCLSCommand());
    EXPECT_FALSE(detached.TransCommand(true, false));
    EXPECT_EQ(out.Take(), "");

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    OutputSink sink(full);
    renderer.SetOutputSink(&sink);
    EXPECT_FALSE(renderer.StartDocCMD()) << "the first command already fails";
    EXPECT_TRUE(sink.Failed());
    ::close(full);
}

}  // namespace
