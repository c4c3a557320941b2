#include "settings/oem_cfg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "epl/epl_filter.h"
#include "log/log4z.h"
#include "tests/settings/ppd_test_support.h"
#include "tspl/tspl_filter.h"
#include "zpl/zpl_filter.h"

namespace {

tagOEMCFG Read(const PpdFixture& fixture, const SettingsProfile& profile,
               const std::string& options = "", const char* mediaType = "") {
    OpenedPpd ppd(fixture, options);
    EXPECT_NE(ppd.get(), nullptr);
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof(header));
    std::strcpy(header.MediaType, mediaType);
    tagOEMCFG cfg;
    std::memset(&cfg, 0x5A, sizeof(cfg));  // every field must be set by clearing or a reader
    InitalizeOemCfg(&cfg, ppd.get(), &header, profile);
    return cfg;
}

tagOEMCFG Cleared() {
    tagOEMCFG cfg;
    std::memset(&cfg, 0, sizeof(cfg));
    return cfg;
}

bool SameRecord(const tagOEMCFG& a, const tagOEMCFG& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

const SettingsProfile* const kAllProfiles[] = {&kZplSettings, &kTsplSettings, &kEplSettings};

TEST(OemCfgDefaultsTest, ZplDefaultsOnAPpdWithoutOptions) {
    tagOEMCFG expected = Cleared();
    expected.GAPHeight = expected.BLineHeight = 30;
    expected.nColorLevelsAdj = 100;
    expected.sMinImaginaryLineLen = 10;
    expected.sHalftoneMethod = expected.sIntervalValue = 1;
    expected.sBlackInterval = expected.sWhiteInterval = 1;
    expected.nPrintSpeed = -1;
    expected.nBackfeedRate = -1;
    expected.sApSignal = 0xFFFF;
    EXPECT_TRUE(SameRecord(Read(PpdFixture(), kZplSettings), expected));
}

TEST(OemCfgDefaultsTest, TsplAndEplLeaveEverythingZero) {
    EXPECT_TRUE(SameRecord(Read(PpdFixture(), kTsplSettings), Cleared()));
    EXPECT_TRUE(SameRecord(Read(PpdFixture(), kEplSettings), Cleared()));
}

TEST(OemCfgDefaultsTest, NullRecordOrPpdChangesNothing) {
    tagOEMCFG cfg = Cleared();
    cfg.sDensity = 9;
    InitalizeOemCfg(&cfg, nullptr, nullptr, kZplSettings);
    EXPECT_EQ(cfg.sDensity, 9);
    OpenedPpd ppd(PpdFixture().NumericOption("Density", {"15"}, "15"));
    InitalizeOemCfg(nullptr, ppd.get(), nullptr, kZplSettings);
    const ReaderContext noPpd{nullptr, nullptr, &kZplSettings};
    InitDensity(&cfg, noPpd);
    EXPECT_EQ(cfg.sDensity, 9);
}

TEST(OemCfgReadersTest, PlainChoicesAreStoredForEveryFilter) {
    PpdFixture fixture = PpdFixture()
                             .NumericOption("Mirror", {"0", "1"}, "1")
                             .NumericOption("NegativeFilm", {"0", "1"}, "1")
                             .NumericOption("Density", {"8", "15"}, "8")
                             .NumericOption("Brightness", {"-20", "0"}, "-20")
                             .NumericOption("Contrast", {"0", "30"}, "30")
                             .NumericOption("Halftone", {"1", "6"}, "6")
                             .NumericOption("Mode", {"4"}, "4")
                             .NumericOption("CutMethod", {"3"}, "3")
                             .NumericOption("Interval", {"5"}, "5")
                             .NumericOption("PrintMode", {"1"}, "1")
                             .NumericOption("AutoRotate", {"2"}, "2")
                             .NumericOption("FixedHeight", {"2"}, "2")
                             .NumericOption("StartOffsetValue", {"3"}, "3")
                             .NumericOption("EndOffsetValue", {"4"}, "4")
                             .NumericOption("SavePaper", {"1"}, "1")
                             .NumericOption("IsToDashed", {"1"}, "1")
                             .NumericOption("MinLength", {"25"}, "25")
                             .NumericOption("IntervalBlack", {"3"}, "3")
                             .NumericOption("IntervalWhite", {"2"}, "2");
    for (const SettingsProfile* profile : kAllProfiles) {
        SCOPED_TRACE(profile->filterName);
        tagOEMCFG cfg = Read(fixture, *profile);
        EXPECT_EQ(cfg.sMirror, 1);
        EXPECT_EQ(cfg.bNegative, 1);
        EXPECT_EQ(cfg.sDensity, 8);
        EXPECT_EQ(cfg.nBrightness, -20);
        EXPECT_EQ(cfg.nContrast, 30);
        EXPECT_EQ(cfg.sHalftoneMethod, 6);
        EXPECT_EQ(cfg.dwOperationAfterPrn, 4);
        EXPECT_EQ(cfg.dwOperationModeAfterPrn, 3);
        EXPECT_EQ(cfg.sIntervalValue, 5);
        EXPECT_EQ(cfg.sPaperMode, 1);
        EXPECT_EQ(cfg.sAutoRotate90, 2);
        EXPECT_EQ(cfg.dwFixedHeight, 2);
        EXPECT_EQ(cfg.dwStartOffsetValue, 3);
        EXPECT_EQ(cfg.dwEndOffsetValue, 4);
        EXPECT_EQ(cfg.sSavePaper, 1);
        EXPECT_EQ(cfg.sIsLineImaginary, 1);
        EXPECT_EQ(cfg.sMinImaginaryLineLen, 25);
        EXPECT_EQ(cfg.sBlackInterval, 3);
        EXPECT_EQ(cfg.sWhiteInterval, 2);
    }
}

TEST(OemCfgReadersTest, RotationChoiceMapsToBothFlags) {
    struct {
        const char* value;
        int64_t rotation;
        uint16_t rotate90;
    } cases[] = {{"0", 0, 0}, {"1", 1, 1}, {"2", 1, 0}, {"3", 0, 1}, {"4", 0, 0}, {"65537", 1, 1}};
    for (const auto& c : cases) {
        tagOEMCFG cfg =
            Read(PpdFixture().NumericOption("Rotation", {c.value}, c.value), kTsplSettings);
        EXPECT_EQ(cfg.sRotation, c.rotation) << c.value;
        EXPECT_EQ(cfg.sRotate90, c.rotate90) << c.value << " (compared as a 16-bit number)";
    }
}

TEST(OemCfgReadersTest, LevelsChoiceBecomesGammaPercentage) {
    struct {
        const char* value;
        int32_t levels;
    } cases[] = {{"100", 100}, {"150", 51}, {"200", 1}, {"99", 108}, {"50", 549}, {"0", 999}};
    for (const auto& c : cases) {
        EXPECT_EQ(Read(PpdFixture().NumericOption("ColorLevels", {c.value}, c.value), kZplSettings)
                      .nColorLevelsAdj,
                  c.levels)
            << c.value;
        EXPECT_EQ(Read(PpdFixture().NumericOption("Levels", {c.value}, c.value), kEplSettings)
                      .nColorLevelsAdj,
                  c.levels)
            << c.value;
    }
    // Each filter reads its own keyword.
    EXPECT_EQ(
        Read(PpdFixture().NumericOption("Levels", {"150"}, "150"), kZplSettings).nColorLevelsAdj,
        100);
    EXPECT_EQ(Read(PpdFixture().NumericOption("ColorLevels", {"150"}, "150"), kTsplSettings)
                  .nColorLevelsAdj,
              0);
}

TEST(OemCfgReadersTest, GapLengthsAreReadInTenthsOfAMillimetre) {
    auto gap = [](const char* height, const char* offset, const SettingsProfile& profile) {
        return Read(PpdFixture()
                        .Option("GAPHeight", {{"G", height}}, "G")
                        .Option("GAPOffset", {{"O", offset}}, "O"),
                    profile);
    };
    tagOEMCFG cfg = gap("2.5", "0.7", kZplSettings);
    EXPECT_EQ(cfg.GAPHeight, 25);
    EXPECT_EQ(cfg.BLineHeight, 25);
    EXPECT_EQ(cfg.GAPOffset, 7) << "0.7 mm is seven tenths, not six";
    EXPECT_EQ(cfg.BLineOffset, 7);
    cfg = gap("-1", "3", kZplSettings);
    EXPECT_EQ(cfg.GAPHeight, 30) << "a code of -1 reads as absent";
    EXPECT_EQ(cfg.GAPOffset, 30);
    EXPECT_EQ(gap("-1", "0", kTsplSettings).GAPHeight, 0);
}

TEST(OemCfgReadersTest, OffsetValuesAreMillimetresInZplAndTenthsElsewhere) {
    PpdFixture fixture = PpdFixture()
                             .Option("HorizontalOffsetValue", {{"A", "1.5"}}, "A")
                             .Option("VerticalOffsetValue", {{"B", "-2.25"}}, "B")
                             .NumericOption("HorizontalOffset", {"1"}, "1")
                             .NumericOption("VerticalOffset", {"0"}, "0");
    tagOEMCFG zpl = Read(fixture, kZplSettings);
    EXPECT_EQ(zpl.sHrzOffset, 1);
    EXPECT_EQ(zpl.sVtcOffset, -2);
    EXPECT_EQ(zpl.sHrzDir, 1);
    EXPECT_EQ(zpl.sVtcDir, 0);
    for (const SettingsProfile* profile : {&kTsplSettings, &kEplSettings}) {
        tagOEMCFG cfg = Read(fixture, *profile);
        EXPECT_EQ(cfg.sHrzOffset, 15);
        EXPECT_EQ(cfg.sVtcOffset, -22);
    }
}

TEST(OemCfgReadersTest, SpeedsReadTheChoiceNameNotItsCode) {
    PpdFixture fixture =
        PpdFixture()
            .Option("zePrintRate", {{"Default", "3"}, {"6", "anything"}}, "Default")
            .Option("zeBackfeedRate", {{"Default", "3"}, {"4", "x"}}, "4");
    tagOEMCFG cfg = Read(fixture, kZplSettings);
    EXPECT_EQ(cfg.nPrintSpeed, -1);
    EXPECT_EQ(cfg.nBackfeedRate, 4);
    EXPECT_EQ(Read(fixture, kZplSettings, "zePrintRate=6").nPrintSpeed, 6);
    EXPECT_EQ(Read(PpdFixture().NumericOption("PrintSpeed", {"5"}, "5"), kTsplSettings).sPrintSpeed,
              5);
    EXPECT_EQ(Read(PpdFixture().NumericOption("PrintSpeed", {"5"}, "5"), kZplSettings).sPrintSpeed,
              0);
}

TEST(OemCfgReadersTest, OutputResolutionFromKeywordAndVerticalChoice) {
    PpdFixture fixture =
        PpdFixture().Keyword("OutputDPI", "300").NumericOption("OutputYDPI", {"600"}, "600");
    tagOEMCFG zpl = Read(fixture, kZplSettings);
    EXPECT_EQ(zpl.sOutputXDPI, 300);
    EXPECT_EQ(zpl.sOutputYDPI, 600);
    tagOEMCFG tspl = Read(fixture, kTsplSettings);
    EXPECT_EQ(tspl.sOutputXDPI, 300);
    EXPECT_EQ(tspl.sOutputYDPI, 300);
    EXPECT_EQ(Read(PpdFixture(), kEplSettings).sOutputXDPI, 0) << "no keyword, no resolution";
}

TEST(OemCfgReadersTest, MaxOutputWidthIsAKeywordInZplAndAChoiceElsewhere) {
    PpdFixture fixture =
        PpdFixture().Keyword("MaxOutputWidth", "104").NumericOption("MaxOutputWidth", {"72"}, "72");
    EXPECT_EQ(Read(fixture, kZplSettings).sMaxOutputWidth, 104);
    EXPECT_EQ(Read(fixture, kTsplSettings).sMaxOutputWidth, 72);
}

TEST(OemCfgReadersTest, DensityOfAThousandKeepsThePrintersDarknessInZpl) {
    PpdFixture fixture = PpdFixture().NumericOption("Density", {"15", "1000"}, "1000");
    tagOEMCFG zpl = Read(fixture, kZplSettings);
    EXPECT_EQ(zpl.sDensity, 1000);
    EXPECT_EQ(zpl.bUsePrinterDensity, 1);
    EXPECT_EQ(Read(fixture, kZplSettings, "Density=15").bUsePrinterDensity, 0);
    EXPECT_EQ(Read(fixture, kTsplSettings).bUsePrinterDensity, 0);
}

TEST(OemCfgReadersTest, PrintMethodComesFromThePageHeaderInZpl) {
    PpdFixture fixture = PpdFixture().NumericOption("PrintMethod", {"1", "2"}, "2");
    EXPECT_EQ(Read(fixture, kZplSettings, "", "Thermal").sPaperType, 2);
    EXPECT_EQ(Read(fixture, kZplSettings, "", "Direct").sPaperType, 1);
    EXPECT_EQ(Read(fixture, kZplSettings, "", "Thermal Transfer").sPaperType, 0)
        << "the whole text must match";
    EXPECT_EQ(Read(fixture, kTsplSettings, "", "Direct").sPaperType, 2);
}

TEST(OemCfgReadersTest, MediaTrackingInZplTestsMarkedChoices) {
    PpdFixture fixture =
        PpdFixture()
            .Option("zeMediaTracking", {{"Continuous", "c"}, {"Mark", "m"}, {"Interval", "i"}},
                    "Continuous")
            .NumericOption("MediaType", {"2"}, "2");
    EXPECT_EQ(Read(fixture, kZplSettings).sLabelType, 3);
    EXPECT_EQ(Read(fixture, kZplSettings, "zeMediaTracking=Mark").sLabelType, 2);
    EXPECT_EQ(Read(fixture, kZplSettings, "zeMediaTracking=Interval").sLabelType, 1);
    EXPECT_EQ(Read(fixture, kEplSettings).sLabelType, 2);
    EXPECT_EQ(Read(PpdFixture(), kZplSettings).sLabelType, 0);
}

TEST(OemCfgReadersTest, FeedIsTheCutPositionInEpl) {
    PpdFixture fixture = PpdFixture().NumericOption("Feed", {"90"}, "90");
    tagOEMCFG epl = Read(fixture, kEplSettings);
    EXPECT_EQ(epl.sCutPosition, 90);
    EXPECT_EQ(epl.sFeedLen, 0);
    EXPECT_EQ(Read(fixture, kTsplSettings).sFeedLen, 90);
    EXPECT_EQ(Read(fixture, kZplSettings).sFeedLen, 90);
}

TEST(OemCfgReadersTest, ZplOnlyReaders) {
    PpdFixture fixture = PpdFixture()
                             .NumericOption("FeedModel", {"3"}, "3")
                             .NumericOption("PdfPreprocess", {"1"}, "1")
                             .NumericOption("ApplicationMode", {"2"}, "2")
                             .NumericOption("StartSignal", {"1"}, "1")
                             .NumericOption("Reprint", {"1"}, "1")
                             .NumericOption("RibbonLow", {"1"}, "1")
                             .NumericOption("RTC", {"1", "2"}, "1");
    tagOEMCFG zpl = Read(fixture, kZplSettings);
    EXPECT_EQ(zpl.sFeedModel, 3);
    EXPECT_EQ(zpl.PdfPreprocess, 1);
    EXPECT_EQ(zpl.sApSignal, 2);
    EXPECT_EQ(zpl.sStartSignal, 1);
    EXPECT_EQ(zpl.sReprint, 1);
    EXPECT_EQ(zpl.sRibbonLow, 1);
    EXPECT_EQ(zpl.bUseRTC, 1);
    EXPECT_EQ(Read(fixture, kZplSettings, "RTC=2").bUseRTC, 0);
    EXPECT_TRUE(SameRecord(Read(fixture, kTsplSettings), Cleared()))
        << "TSPL has none of these readers";
}

class OemCfgLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ILog4zManager* manager = ILog4zManager::getInstance();
        manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, logDir.path().c_str());
        manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, "cfg");
        manager->start();
    }
    void TearDown() override { ILog4zManager::getInstance()->stop(); }
    std::string LogFor(const SettingsProfile& profile) {
        Read(PpdFixture().NumericOption("RTC", {"0"}, "0"), profile);
        std::string log = ReadFile(logDir.File("cfg.log"));
        unlink(logDir.File("cfg.log").c_str());
        return log;
    }
    TempDir logDir;
};

TEST_F(OemCfgLogTest, EachReaderLogsItsValueWithTheFiltersText) {
    const std::string zpl = LogFor(kZplSettings);
    for (const char* text :
         {"Init sMirror: 0", "Init sRotation: 0, sRotate90: 0", "Init nColorLevelsAdj: 100",
          "Init GAPHeight: 30", "Init GAPOffset: 0", "Init sOutputXDPI: 0, sOutputYDPI: 0",
          "GetVerticalDPI: 0", "Init PdfPreprocess: 0", "Init bUseRTC: no", "Init sApSignal: -1",
          "Init nPrintSpeed: -1"}) {
        EXPECT_NE(zpl.find(text), std::string::npos) << text;
    }
    const std::string tspl = LogFor(kTsplSettings);
    for (const char* text :
         {"Init nLevelsAdj: 0", "Init sSavePaperMode: 0", "Init sFixedHeight: 0",
          "Init sStartOffsetValue: 0", "Init sEndOffsetValue: 0", "Init sPrintSpeed: 0"}) {
        EXPECT_NE(tspl.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(tspl.find("GetVerticalDPI"), std::string::npos);
    const std::string epl = LogFor(kEplSettings);
    for (const char* text :
         {"Init nLevelsAdj: 0", "Init sCutPosition: 0", "Init sFixedHeight: 0"}) {
        EXPECT_NE(epl.find(text), std::string::npos) << text;
    }
}

}  // namespace
