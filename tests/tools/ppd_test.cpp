// The shipped ZPL II PPDs as built by ppdc: cupstestppd, the filter line, the 24-bit colour
// model, the label sizes, the plain keywords, and every option rastomoxzpl reads, through the
// project's own settings readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "filter/page_input.h"
#include "settings/oem_cfg.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"
#include "settings/ppd_keyword.h"
#include "tests/support/cupstestppd.h"
#include "tests/support/filter_runner.h"
#include "zpl/zpl_filter.h"

namespace {

struct Model {
    const char* file;
    int dpi;
};
const Model kModels[] = {{"mxzpl203.ppd", 203}, {"mxzpl300.ppd", 300}};

std::string PpdPath(const Model& model) {
    return std::string(MX_PPD_DIR) + "/" + model.file;
}

// A shipped PPD opened as the filter opens it, with the job's options marked.
class ShippedPpd {
  public:
    explicit ShippedPpd(const Model& model, const std::string& options = "")
        : path_(PpdPath(model)) {
        setenv("PPD", path_.c_str(), 1);
        ppd_ = ppdOpenFile(path_.c_str());
        if (ppd_ != nullptr) InitializeSetting(options.c_str(), ppd_);
    }
    ~ShippedPpd() {
        if (ppd_ != nullptr) ppdClose(ppd_);
        unsetenv("PPD");
    }
    ShippedPpd(const ShippedPpd&) = delete;
    ShippedPpd& operator=(const ShippedPpd&) = delete;
    ppd_file_t* get() const { return ppd_; }

    tagOEMCFG Settings(const char* mediaType) const {
        cups_page_header2_t header;
        std::memset(&header, 0, sizeof(header));
        std::strcpy(header.MediaType, mediaType);
        tagOEMCFG cfg;
        std::memset(&cfg, 0, sizeof(cfg));
        InitalizeOemCfg(&cfg, ppd_, &header, kZplSettings);
        return cfg;
    }

  private:
    std::string path_;
    ppd_file_t* ppd_ = nullptr;
};

// The options of the ZPL filter's settings readers, plus the log switch.
const char* const kReadOptions[] = {
    "Mirror",           "Rotation",
    "NegativeFilm",     "Density",
    "HorizontalOffset", "HorizontalOffsetValue",
    "VerticalOffset",   "VerticalOffsetValue",
    "Brightness",       "Contrast",
    "ColorLevels",      "Halftone",
    "zeMediaTracking",  "GAPHeight",
    "GAPOffset",        "Mode",
    "FeedModel",        "CutMethod",
    "Interval",         "Feed",
    "IsToDashed",       "MinLength",
    "IntervalBlack",    "IntervalWhite",
    "PrintMode",        "zePrintRate",
    "AutoRotate",       "StartOffsetValue",
    "FixedHeight",      "EndOffsetValue",
    "PdfPreprocess",    "SavePaper",
    "zeBackfeedRate",   "ApplicationMode",
    "StartSignal",      "Reprint",
    "RibbonLow",        "RTC",
    "DriverLog",
};

// True when the whole text is one number (what the readers' strtol/strtod see).
bool PlainNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

TEST(ZplPpdTest, CupstestppdPassesWithOnlyKnownWarnings) {
    // Naming sizes w288h432 and so on, and the option names of the settings readers, are
    // deliberate; the filter is not installed in the system while testing.
    const std::vector<std::string> accepted = {
        "Missing cupsFilter file \"/usr/lib/cups/filter/rastomoxzpl\"",
        "should be the Adobe standard name", "shares a common prefix with"};
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        const PpdCheck check = CheckPpd(PpdPath(model), accepted);
        EXPECT_TRUE(check.passed) << check.output;
        EXPECT_TRUE(check.unexpectedWarnings.empty()) << check.unexpectedWarnings.front();
    }
}

TEST(ZplPpdTest, FilterColourModelAndResolution) {
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        ASSERT_EQ(ppd.get()->num_filters, 1);
        EXPECT_STREQ(ppd.get()->filters[0], "application/vnd.cups-raster 50 rastomoxzpl");
        EXPECT_TRUE(ppd.get()->color_device);
        ppd_choice_t* color = ppdFindMarkedChoice(ppd.get(), "ColorModel");
        ASSERT_NE(color, nullptr);
        EXPECT_STREQ(color->choice, "RGB");
        EXPECT_NE(std::strstr(color->code, "/cupsColorSpace 1/cupsColorOrder 0"), nullptr)
            << color->code;
        ppd_choice_t* resolution = ppdFindMarkedChoice(ppd.get(), "Resolution");
        ASSERT_NE(resolution, nullptr);
        const std::string dpi = std::to_string(model.dpi);
        EXPECT_EQ(std::string(resolution->choice), dpi + "dpi");
        EXPECT_NE(std::strstr(resolution->code, ("/HWResolution[" + dpi + " " + dpi + "]").c_str()),
                  nullptr);
        EXPECT_NE(std::strstr(resolution->code, "/cupsBitsPerColor 8"), nullptr);
    }
}

TEST(ZplPpdTest, LabelSizesHaveNoMargins) {
    constexpr double kMm = 72 / 25.4;
    struct Size {
        const char* name;
        double width, length;  // points
    } sizes[] = {
        {"w288h432", 288, 432},
        {"w288h288", 288, 288},
        {"w288h216", 288, 216},
        {"w288h144", 288, 144},
        {"w216h144", 216, 144},
        {"w144h72", 144, 72},
        {"100x150mm", 100 * kMm, 150 * kMm},
        {"100x100mm", 100 * kMm, 100 * kMm},
        {"60x40mm", 60 * kMm, 40 * kMm},
        {"50x30mm", 50 * kMm, 30 * kMm},
    };
    for (const Model& model : kModels) {
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        EXPECT_STREQ(ppdFindMarkedChoice(ppd.get(), "PageSize")->choice, "w288h432");
        for (const Size& size : sizes) {
            SCOPED_TRACE(std::string(model.file) + " " + size.name);
            ppd_size_t* found = ppdPageSize(ppd.get(), size.name);
            ASSERT_NE(found, nullptr);
            EXPECT_NEAR(found->width, size.width, 0.001);
            EXPECT_NEAR(found->length, size.length, 0.001);
            EXPECT_EQ(found->left, 0);
            EXPECT_EQ(found->bottom, 0);
            EXPECT_EQ(found->right, found->width);
            EXPECT_EQ(found->top, found->length);
            ppd_choice_t* choice = ppdFindChoice(ppdFindOption(ppd.get(), "PageSize"), size.name);
            ASSERT_NE(choice, nullptr);
            char code[96];
            std::snprintf(code, sizeof(code), "<</PageSize[%g %g]/ImagingBBox null>>setpagedevice",
                          found->width, found->length);
            EXPECT_STREQ(choice->code, code) << "the rasteriser's page matches the paper";
        }
    }
}

TEST(ZplPpdTest, PlainKeywordsAndMediaTypes) {
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        EXPECT_EQ(GetPpdKeywordValueFromFile(PpdPath(model).c_str(), "OutputDPI"),
                  std::to_string(model.dpi));
        EXPECT_EQ(GetPpdKeywordValueFromFile(PpdPath(model).c_str(), "MaxOutputWidth"), "104");
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        ppd_option_t* media = ppdFindOption(ppd.get(), "MediaType");
        ASSERT_NE(media, nullptr);
        ASSERT_EQ(media->num_choices, 2);
        EXPECT_STREQ(media->defchoice, "Direct");
        EXPECT_STREQ(ppdFindChoice(media, "Direct")->code,
                     "<</MediaType(Direct)/cupsMediaType 0>>setpagedevice");
        EXPECT_STREQ(ppdFindChoice(media, "Thermal")->code,
                     "<</MediaType(Thermal)/cupsMediaType 1>>setpagedevice");
    }
}

TEST(ZplPpdTest, EveryOptionTheZplFilterReadsHoldsPlainValues) {
    ShippedPpd ppd(kModels[0]);
    ASSERT_NE(ppd.get(), nullptr);
    for (const char* keyword : kReadOptions) {
        SCOPED_TRACE(keyword);
        ppd_option_t* option = ppdFindOption(ppd.get(), keyword);
        ASSERT_NE(option, nullptr);
        EXPECT_GE(option->num_choices, 2);
        const bool byName =
            std::strcmp(keyword, "zePrintRate") == 0 || std::strcmp(keyword, "zeBackfeedRate") == 0;
        for (int i = 0; i < option->num_choices; ++i) {
            const ppd_choice_t& choice = option->choices[i];
            SCOPED_TRACE(choice.choice);
            double code = 0, name = 0;
            if (byName && std::strcmp(choice.choice, "Default") == 0) {
                EXPECT_STREQ(choice.code, "");
                continue;
            }
            ASSERT_TRUE(PlainNumber(choice.code, &code)) << "code \"" << choice.code << "\"";
            if (PlainNumber(choice.choice, &name)) {
                EXPECT_EQ(code, name);
            }
        }
    }
    // Choices the readers recognise by name.
    ppd_option_t* tracking = ppdFindOption(ppd.get(), "zeMediaTracking");
    for (const char* name : {"Interval", "Mark", "Continuous"})
        EXPECT_NE(ppdFindChoice(tracking, name), nullptr);
    EXPECT_STREQ(ppdFindChoice(ppdFindOption(ppd.get(), "ApplicationMode"), "Off")->code, "-1");
    EXPECT_NE(ppdFindChoice(ppdFindOption(ppd.get(), "zePrintRate"), "Default"), nullptr);
    EXPECT_EQ(ppdFindOption(ppd.get(), "OutputYDPI"), nullptr) << "the model's resolution is fixed";
}

TEST(ZplPpdTest, DefaultsGiveTheIntendedSettings) {
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        const tagOEMCFG cfg = ppd.Settings("Direct");
        EXPECT_EQ(cfg.sDensity, 15);
        EXPECT_EQ(cfg.bUsePrinterDensity, 0);
        EXPECT_EQ(cfg.sPaperType, 1);
        EXPECT_EQ(cfg.sLabelType, 1);
        EXPECT_EQ(cfg.GAPHeight, 30);
        EXPECT_EQ(cfg.BLineHeight, 30);
        EXPECT_EQ(cfg.GAPOffset, 0);
        EXPECT_EQ(cfg.nColorLevelsAdj, 100);
        EXPECT_EQ(cfg.sHalftoneMethod, 1);
        EXPECT_EQ(cfg.sPaperMode, 0);
        EXPECT_EQ(cfg.sFeedModel, 2);
        EXPECT_EQ(cfg.dwOperationModeAfterPrn, 1);
        EXPECT_EQ(cfg.sIntervalValue, 1);
        EXPECT_EQ(cfg.nPrintSpeed, -1);
        EXPECT_EQ(cfg.nBackfeedRate, -1);
        EXPECT_EQ(cfg.sApSignal, 0xFFFF);
        EXPECT_EQ(cfg.bUseRTC, 0);
        EXPECT_EQ(cfg.PdfPreprocess, 0);
        EXPECT_EQ(cfg.sMinImaginaryLineLen, 10);
        EXPECT_EQ(cfg.sBlackInterval, 1);
        EXPECT_EQ(cfg.sWhiteInterval, 1);
        EXPECT_EQ(cfg.sOutputXDPI, model.dpi);
        EXPECT_EQ(cfg.sOutputYDPI, model.dpi);
        EXPECT_EQ(cfg.sMaxOutputWidth, 104);
        EXPECT_EQ(cfg.sRotation, 0);
        EXPECT_EQ(cfg.sRotate90, 0);
        EXPECT_EQ(cfg.nBrightness, 0);
        EXPECT_EQ(cfg.nContrast, 0);
        EXPECT_EQ(GetOptionChoiceIndex("DriverLog", ppd.get()), 0)
            << "the debug log is off by default";
    }
}

TEST(ZplPpdTest, ChosenOptionsReachTheSettings) {
    ShippedPpd ppd(
        kModels[1],
        "Density=20 zePrintRate=6 zeBackfeedRate=3 zeMediaTracking=Continuous GAPHeight=2.5 "
        "FeedModel=3 "
        "CutMethod=3 Interval=5 ApplicationMode=2 StartSignal=2 Reprint=1 RibbonLow=1 RTC=1 "
        "ColorLevels=150 Brightness=-25 Rotation=2 HorizontalOffsetValue=3 PrintMode=1 "
        "FixedHeight=1 "
        "Halftone=2 DriverLog=1");
    ASSERT_NE(ppd.get(), nullptr);
    const tagOEMCFG cfg = ppd.Settings("Thermal");
    EXPECT_EQ(cfg.sDensity, 20);
    EXPECT_EQ(cfg.nPrintSpeed, 6);
    EXPECT_EQ(cfg.nBackfeedRate, 3);
    EXPECT_EQ(cfg.sLabelType, 3);
    EXPECT_EQ(cfg.GAPHeight, 25);
    EXPECT_EQ(cfg.sFeedModel, 3);
    EXPECT_EQ(cfg.dwOperationModeAfterPrn, 3);
    EXPECT_EQ(cfg.sIntervalValue, 5);
    EXPECT_EQ(cfg.sApSignal, 2);
    EXPECT_EQ(cfg.sStartSignal, 2);
    EXPECT_EQ(cfg.sReprint, 1);
    EXPECT_EQ(cfg.sRibbonLow, 1);
    EXPECT_EQ(cfg.bUseRTC, 1);
    EXPECT_EQ(cfg.nColorLevelsAdj, 51);
    EXPECT_EQ(cfg.nBrightness, -25);
    EXPECT_EQ(cfg.sRotation, 1);
    EXPECT_EQ(cfg.sRotate90, 0);
    EXPECT_EQ(cfg.sHrzOffset, 3);
    EXPECT_EQ(cfg.sPaperMode, 1);
    EXPECT_EQ(cfg.dwFixedHeight, 1);
    EXPECT_EQ(cfg.sHalftoneMethod, 2);
    EXPECT_EQ(cfg.sPaperType, 2);
    EXPECT_EQ(GetOptionChoiceIndex("DriverLog", ppd.get()), 1);

    ShippedPpd printerDensity(kModels[0], "Density=1000");
    const tagOEMCFG keep = printerDensity.Settings("Direct");
    EXPECT_EQ(keep.sDensity, 1000);
    EXPECT_EQ(keep.bUsePrinterDensity, 1);
}
