#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "tests/support/stdout_capture.h"
#include "zpl/zpl_render.h"

namespace {

class ZplCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&cfg, 0, sizeof(cfg));
        std::memset(&devMode, 0, sizeof(devMode));
        std::memset(&pdev, 0, sizeof(pdev));
        cfg.nPrintSpeed = -1;
        cfg.nBackfeedRate = -1;
        cfg.sApSignal = 0xFFFF;
        cfg.sOutputXDPI = cfg.sOutputYDPI = 203;
        renderer.SetOemCfgPointer(&cfg);
        renderer.SetDevModePointer(&devMode);
        renderer.SetOemPdevPointer(&pdev);
    }

    tagOEMCFG cfg;
    _DEVMODE devMode;
    _OEMPDEV pdev;
    CZPLIIRenderClass renderer;
    StdoutCapture out;
};

TEST_F(ZplCommandsTest, StartDocOfGapMediaThermalTransferCutterAndDensity15) {
    cfg.sLabelType = 1;
    cfg.sPaperType = 2;
    cfg.sFeedModel = 3;
    cfg.sDensity = 15;
    EXPECT_EQ(renderer.StartDocCMD(), 0);
    EXPECT_EQ(out.Take(),
              "^XA\r\n^SZ2^JMA^MCY^PMN^MNW^LH0,0^LRN^MTT\r\n^PON^MMC\r\n^JZN\r\n~JSN\r\n^JUS~"
              "SD15\r\n^XZ\r\n");
}

TEST_F(ZplCommandsTest, StartDocWithSpeedsGpioClockAndPrinterDensity) {
    cfg.nPrintSpeed = 6;
    cfg.nBackfeedRate = 4;
    cfg.sApSignal = 2;
    cfg.sStartSignal = 1;
    cfg.sRibbonLow = 1;
    cfg.bUseRTC = 1;
    cfg.bUsePrinterDensity = 1;
    cfg.sDensity = 1000;
    cfg.sLabelType = 3;
    cfg.sPaperType = 1;
    renderer.StartDocCMD();
    const std::string text = out.Take();
    const std::regex expected(
        R"(\^XA\^ST\d{2},\d{2},\d{4},\d{2},\d{2},\d{2},M\^XZ\r\n)"
        R"(\^XA\r\n\^SZ2\^JMA\^PR6,,4\r\n\^MCY\^PMN\^MNN\^LH0,0\^LRN\^MTD\r\n\^PON\^JZN\r\n~JSN\r\n\^JJ,2,p,,d,e\^JUS\^XZ\r\n)");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(ZplCommandsTest, SpeedForms) {
    renderer.OutputSpeedMD(-1, -1);
    EXPECT_EQ(out.Take(), "");
    renderer.OutputSpeedMD(-1, 4);
    EXPECT_EQ(out.Take(), "^PR,,4\r\n");
    renderer.OutputSpeedMD(6, -1);
    EXPECT_EQ(out.Take(), "^PR6\r\n");
    renderer.OutputSpeedMD(6, 4);
    EXPECT_EQ(out.Take(), "^PR6,,4\r\n");
}

TEST_F(ZplCommandsTest, BackfeedForms) {
    const std::pair<int, const char*> modes[] = {
        {0, "~JSN\r\n"}, {1, "~JSA\r\n"}, {2, "~JSB\r\n"}, {3, "~JSO\r\n"}};
    for (const auto& [mode, text] : modes) {
        renderer.OutputBackFeedCMD(mode, 0);
        EXPECT_EQ(out.Take(), text);
    }
    renderer.OutputBackFeedCMD(4, 57);
    EXPECT_EQ(out.Take(), "~JS50\r\n");
    renderer.OutputBackFeedCMD(4, -57);
    EXPECT_EQ(out.Take(), "~JS-50\r\n");
    renderer.OutputBackFeedCMD(5, 57);
    renderer.OutputBackFeedCMD(-1, 57);
    EXPECT_EQ(out.Take(), "");
}

TEST_F(ZplCommandsTest, GpioSignals) {
    cfg.sApSignal = 2;
    cfg.sStartSignal = 1;
    cfg.sReprint = 0;
    cfg.sRibbonLow = 1;
    renderer.OutputGPIOCMD();
    EXPECT_EQ(out.Take(), "^JJ,2,p,,d,e");
    cfg.sApSignal = 0;
    cfg.sStartSignal = 2;
    cfg.sReprint = 1;
    cfg.sRibbonLow = 0;
    renderer.OutputGPIOCMD();
    EXPECT_EQ(out.Take(), "^JJ,0,l,,e,d");
    cfg.sStartSignal = 7;
    renderer.OutputGPIOCMD();
    EXPECT_EQ(out.Take(), "^JJ,0,0,,e,d");
}

TEST_F(ZplCommandsTest, FixedLabelLengthsIncludeTheAllowances) {
    cfg.dwFixedHeight = 1;
    cfg.dwStartOffsetValue = 2;
    cfg.dwEndOffsetValue = 3;
    renderer.OutputLabelHeightCMD(1234);
    EXPECT_EQ(out.Take(), "^LL2414");
    cfg.dwFixedHeight = 3;
    renderer.OutputLabelHeightCMD(1234);
    EXPECT_EQ(out.Take(), "^LL1223");
    cfg.dwFixedHeight = 4;
    renderer.OutputLabelHeightCMD(1234);
    EXPECT_EQ(out.Take(), "^LL1234");
}

TEST_F(ZplCommandsTest, PrintModesAndMediaTracking) {
    const char* const modes[] = {"",         "^MMP\r\n", "^MMT\r\n", "^MMC\r\n",
                                 "^MMA\r\n", "^MMS\r\n", "^MMR\r\n", ""};
    for (uint16_t model = 0; model < 8; ++model) {
        cfg.sFeedModel = model;
        renderer.OutputPrintModeCMD();
        EXPECT_EQ(out.Take(), modes[model]) << model;
    }
    const char* const tracking[] = {"", "^MNW", "^MNM", "^MNN", ""};
    for (uint16_t type = 0; type < 5; ++type) {
        cfg.sLabelType = type;
        renderer.OutputMediaTrackingCMD();
        EXPECT_EQ(out.Take(), tracking[type]) << type;
    }
}

TEST_F(ZplCommandsTest, GraphicRecallAndDeleteOnTheStorageDevices) {
    renderer.OutputRecallGraphicCMD(0, nullptr, nullptr, 1, 1);
    EXPECT_EQ(out.Take(), "^XGR:SSGFX000.GRF,1,1");
    renderer.OutputDeleteFileCMD(0, nullptr, nullptr);
    EXPECT_EQ(out.Take(), "^IDR:SSGFX000.GRF");
    renderer.OutputRecallGraphicCMD(3, "LOGO", nullptr, 2, 3);
    EXPECT_EQ(out.Take(), "^XGA:LOGO.GRF,2,3");
    renderer.OutputDeleteFileCMD(1, nullptr, "PNG");
    EXPECT_EQ(out.Take(), "^IDE:SSGFX000.PNG");
    EXPECT_FALSE(renderer.OutputRecallGraphicCMD(4, nullptr, nullptr, 1, 1));
    EXPECT_FALSE(renderer.OutputDeleteFileCMD(-1, nullptr, nullptr));
    EXPECT_EQ(out.Take(), "") << "a device outside the table sends nothing";
}

TEST_F(ZplCommandsTest, LabelTopAndTearOffset) {
    renderer.OutputLabelTopCMD(500);
    EXPECT_EQ(out.Take(), "");
    renderer.OutputLabelTopCMD(-12);
    EXPECT_EQ(out.Take(), "^LT-12\r\n");
    renderer.OutputTearOffsetCMD(500);
    EXPECT_EQ(out.Take(), "");
    renderer.OutputTearOffsetCMD(-5);
    EXPECT_EQ(out.Take(), "~TA-005\r\n");
    renderer.OutputTearOffsetCMD(7);
    EXPECT_EQ(out.Take(), "~TA007\r\n");
}

TEST_F(ZplCommandsTest, LabelSizeFromThePageGeometry) {
    devMode.dmOrientation = 1;
    devMode.dmPrintQuality = devMode.dmYResolution = 203;
    pdev.srcGdiInfo.szlPhysSize = {810, 1218};
    cfg.sOutputXDPI = cfg.sOutputYDPI = 300;
    cfg.sMaxOutputWidth = 104;
    cfg.dwStartOffsetValue = 1;
    renderer.OutputLabelWidthCMD();
    EXPECT_EQ(out.Take(), "^PW1200") << "810 dots at 203 dpi are 1197 at 300, rounded up to 8";
    EXPECT_EQ(pdev.dwLabelWidth, 1200u);
    cfg.sMaxOutputWidth = 50;
    renderer.OutputLabelWidthCMD();
    EXPECT_EQ(out.Take(), "^PW592") << "limited to 50 mm (591 dots) rounded up to 8";
    renderer.OutputLabelHeightCMD();
    EXPECT_EQ(out.Take(), "^LL1820") << "1800 + 8 rounded down to 8, plus 1 mm (12 dots)";
    EXPECT_EQ(pdev.dwLabelHeight, 1820u);
}

TEST_F(ZplCommandsTest, PrintQuantity) {
    renderer.OutputPrintCMD(3, 0, 1, true, false);
    EXPECT_EQ(out.Take(), "^PQ3,0,1,Y");
    renderer.OutputPrintCMD(1, 1, 1, false, true);
    EXPECT_EQ(out.Take(), "^PQ1,1,1,N");
}

TEST(ZplDetachedTest, NothingIsSentBeforeTheSettingsAreAttached) {
    StdoutCapture out;
    CZPLIIRenderClass renderer;
    EXPECT_FALSE(renderer.OutputStartFormatCMD());
    EXPECT_EQ(renderer.StartDocCMD(), 0);
    EXPECT_FALSE(renderer.TransCommand(true, false));
    EXPECT_EQ(out.Take(), "");
}

}  // namespace
