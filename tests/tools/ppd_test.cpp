// The shipped ZPL II, TSPL and EPL2 PPDs as built by ppdc: cupstestppd, the filter line, the
// 24-bit colour model, the label sizes, the plain keywords, and every option their filters
// read, through the project's own settings readers (and, for EPL, the command builder).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "epl/epl_emulation.h"
#include "epl/epl_filter.h"
#include "filter/page_input.h"
#include "settings/oem_cfg.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"
#include "settings/ppd_keyword.h"
#include "tests/support/cupstestppd.h"
#include "tests/support/filter_runner.h"
#include "tools/epldecode/epl_decoder.h"
#include "tspl/tspl_filter.h"
#include "zpl/zpl_filter.h"

namespace {

struct Model {
    const char* file;
    int dpi;
    const char* filter;
};
constexpr const char* kZplFilter = "application/vnd.cups-raster 50 rastomoxzpl";
constexpr const char* kTsplFilter =
    "application/vnd.cups-raster application/vnd.mox-tspl 50 rastomoxtspl";
constexpr const char* kEplFilter =
    "application/vnd.cups-raster application/vnd.mox-epl 50 rastomoxepl";
const Model kModels[] = {{"mxzpl203.ppd", 203, kZplFilter}, {"mxzpl300.ppd", 300, kZplFilter}};
const Model kTsplModels[] = {{"mxtspl203.ppd", 203, kTsplFilter},
                             {"mxtspl300.ppd", 300, kTsplFilter}};
const Model kEplModels[] = {{"mxepl203.ppd", 203, kEplFilter}, {"mxepl300.ppd", 300, kEplFilter}};
const Model kAllModels[] = {kModels[0],     kModels[1],    kTsplModels[0],
                            kTsplModels[1], kEplModels[0], kEplModels[1]};

// The filter line of a PPD: its "*cupsFilter2" when it has one, else its "*cupsFilter".
std::string FilterLine(ppd_file_t* ppd) {
    if (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsFilter2", nullptr)) return attr->value;
    return ppd->num_filters == 1 ? ppd->filters[0] : "";
}

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

    tagOEMCFG Settings(const char* mediaType, const SettingsProfile& profile = kZplSettings) const {
        cups_page_header2_t header;
        std::memset(&header, 0, sizeof(header));
        std::strcpy(header.MediaType, mediaType);
        tagOEMCFG cfg;
        std::memset(&cfg, 0, sizeof(cfg));
        InitalizeOemCfg(&cfg, ppd_, &header, profile);
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

TEST(LabelPpdTest, FilterColourModelAndResolution) {
    for (const Model& model : kAllModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        EXPECT_EQ(FilterLine(ppd.get()), model.filter);
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

TEST(LabelPpdTest, LabelSizesHaveNoMargins) {
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
    for (const Model& model : kAllModels) {
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

namespace {

// What rastomoxtspl reads from each option of its PPD: the field, the default choice, and the
// value each choice gives (the choice name times `scale`, or as `mapped`).
struct TsplReading {
    const char* option;
    const char* defaultChoice;
    int64_t (*field)(const tagOEMCFG&, ppd_file_t*);
    double scale = 1;
    std::map<std::string, int64_t> mapped = {};

    int64_t Expected(const std::string& choice) const {
        return mapped.empty() ? std::llround(std::strtod(choice.c_str(), nullptr) * scale)
                              : mapped.at(choice);
    }
};

#define FIELD(expr)                                      \
    [](const tagOEMCFG& c, ppd_file_t* ppd) -> int64_t { \
        (void)c, (void)ppd;                              \
        return expr;                                     \
    }

const TsplReading kTsplReadings[] = {
    {"MediaType", "1", FIELD(c.sLabelType)},
    {"PrintMethod", "1", FIELD(c.sPaperType)},
    {"Density", "8", FIELD(c.sDensity)},
    {"PrintSpeed", "1000", FIELD(c.sPrintSpeed)},
    {"Mode", "0", FIELD(c.dwOperationAfterPrn)},
    {"CutMethod", "1", FIELD(c.dwOperationModeAfterPrn)},
    {"Interval", "1", FIELD(c.sIntervalValue)},
    {"Feed", "0", FIELD(c.sFeedLen)},  // choices named in tenths of a millimetre
    // The gap and black-line fields always agree; -1 would show that they do not.
    {"GAPHeight", "3", FIELD(c.GAPHeight == c.BLineHeight ? c.GAPHeight : -1), 10},
    {"GAPOffset", "0", FIELD(c.GAPOffset == c.BLineOffset ? c.GAPOffset : -1), 10},
    {"FixedHeight", "0", FIELD(c.dwFixedHeight)},
    {"StartOffsetValue", "0", FIELD(c.dwStartOffsetValue)},
    {"EndOffsetValue", "0", FIELD(c.dwEndOffsetValue)},
    {"PrintMode", "0", FIELD(c.sPaperMode)},
    {"SavePaper", "0", FIELD(c.sSavePaper)},
    {"Halftone", "4", FIELD(c.sHalftoneMethod)},
    {"Brightness", "0", FIELD(c.nBrightness)},
    {"Contrast", "0", FIELD(c.nContrast)},
    {"Levels",
     "100",
     FIELD(c.nColorLevelsAdj),
     1,
     {{"50", 549},
      {"60", 459},
      {"70", 369},
      {"80", 279},
      {"90", 189},
      {"100", 100},
      {"110", 91},
      {"120", 81},
      {"130", 71},
      {"140", 61},
      {"150", 51}}},
    {"NegativeFilm", "0", FIELD(c.bNegative)},
    {"Mirror", "0", FIELD(c.sMirror)},
    {"Rotation",
     "0",
     FIELD(c.sRotation * 10 + c.sRotate90),
     1,
     {{"0", 0}, {"1", 11}, {"2", 10}, {"3", 1}}},
    {"AutoRotate", "0", FIELD(c.sAutoRotate90)},
    {"IsToDashed", "0", FIELD(c.sIsLineImaginary)},
    {"MinLength", "10", FIELD(c.sMinImaginaryLineLen)},
    {"IntervalBlack", "1", FIELD(c.sBlackInterval)},
    {"IntervalWhite", "1", FIELD(c.sWhiteInterval)},
    {"HorizontalOffset", "0", FIELD(c.sHrzDir)},
    {"HorizontalOffsetValue", "0", FIELD(c.sHrzOffset), 10},
    {"VerticalOffset", "0", FIELD(c.sVtcDir)},
    {"VerticalOffsetValue", "0", FIELD(c.sVtcOffset), 10},
    {"MaxOutputWidth", "104", FIELD(c.sMaxOutputWidth)},
    {"DriverLog", "0", FIELD(GetOptionChoiceIndex("DriverLog", ppd))},
};

#undef FIELD

const TsplReading* FindReading(const std::string& option) {
    for (const TsplReading& r : kTsplReadings) {
        if (option == r.option) return &r;
    }
    return nullptr;
}

}  // namespace

TEST(TsplPpdTest, CupstestppdPassesWithOnlyKnownWarnings) {
    // As for the ZPL PPDs; the file names mxtspl203.ppd and mxtspl300.ppd exceed 8.3.
    const std::vector<std::string> accepted = {
        "Missing cupsFilter2 file \"/usr/lib/cups/filter/rastomoxtspl\"",
        "should be the Adobe standard name", "shares a common prefix with",
        "PCFileName longer than 8.3"};
    for (const Model& model : kTsplModels) {
        SCOPED_TRACE(model.file);
        const PpdCheck check = CheckPpd(PpdPath(model), accepted);
        EXPECT_TRUE(check.passed) << check.output;
        EXPECT_TRUE(check.unexpectedWarnings.empty()) << check.unexpectedWarnings.front();
    }
}

TEST(TsplPpdTest, EveryChoiceOfEveryOptionGivesItsSetting) {
    ShippedPpd shipped(kTsplModels[0]);
    ppd_file_t* ppd = shipped.get();
    ASSERT_NE(ppd, nullptr);
    size_t read = 0;
    for (int g = 0; g < ppd->num_groups; ++g) {
        for (int o = 0; o < ppd->groups[g].num_options; ++o) {
            const ppd_option_t& option = ppd->groups[g].options[o];
            const std::string keyword = option.keyword;
            if (keyword == "PageSize" || keyword == "PageRegion" || keyword == "ColorModel" ||
                keyword == "Resolution")
                continue;
            const TsplReading* reading = FindReading(keyword);
            ASSERT_NE(reading, nullptr) << keyword << " is read by no settings reader";
            ++read;
            for (int i = 0; i < option.num_choices; ++i) {
                const std::string choice = option.choices[i].choice;
                SCOPED_TRACE(keyword + "=" + choice);
                // Marked as the queue's default would be: a job's "Mirror" is taken by CUPS
                // for its own MirrorPrint option and never reaches this one.
                ShippedPpd chosen(kTsplModels[0]);
                ppdMarkOption(chosen.get(), keyword.c_str(), choice.c_str());
                const tagOEMCFG cfg = chosen.Settings("", kTsplSettings);
                EXPECT_EQ(reading->field(cfg, chosen.get()), reading->Expected(choice));
            }
        }
    }
    EXPECT_EQ(read, std::size(kTsplReadings)) << "an option of the table is missing";
}

TEST(TsplPpdTest, DefaultsGiveTheIntendedSettings) {
    for (const Model& model : kTsplModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        const tagOEMCFG cfg = ppd.Settings("", kTsplSettings);
        for (const TsplReading& reading : kTsplReadings) {
            EXPECT_EQ(reading.field(cfg, ppd.get()), reading.Expected(reading.defaultChoice))
                << reading.option;
        }
        EXPECT_EQ(cfg.sOutputXDPI, model.dpi);
        EXPECT_EQ(cfg.sOutputYDPI, model.dpi);
    }
}

// --- EPL2 PPDs ------------------------------------------------------------------------------

namespace {

// Every option the EPL settings readers read, the field it fills, and the value of a choice
// code there: the number itself, its millimetres in tenths, or a mapped value.
struct EplOption {
    const char* keyword;
    std::function<int64_t(const tagOEMCFG&)> field;
    std::function<int64_t(double)> value;
};
int64_t Same(double code) {
    return int64_t(code);
}
int64_t Tenths(double code) {
    return std::llround(code * 10);
}
int64_t Levels(double code) {
    const std::map<int, int64_t> adjusted = {{50, 549}, {60, 459},  {70, 369}, {80, 279},
                                             {90, 189}, {100, 100}, {110, 91}, {120, 81},
                                             {130, 71}, {140, 61},  {150, 51}};
    return adjusted.at(int(code));
}
int64_t Rotation(double code) {
    const std::map<int, int64_t> flags = {{0, 0}, {1, 11}, {2, 10}, {3, 1}};
    return flags.at(int(code));
}
#define EPL_FIELD(name) [](const tagOEMCFG& c) { return int64_t(c.name); }
const EplOption kEplOptions[] = {
    {"MediaType", EPL_FIELD(sLabelType), Same},
    {"PrintMethod", EPL_FIELD(sPaperType), Same},
    {"Density", EPL_FIELD(sDensity), Same},
    {"PrintSpeed", EPL_FIELD(sPrintSpeed), Same},
    {"Mode", EPL_FIELD(dwOperationAfterPrn), Same},
    {"CutMethod", EPL_FIELD(dwOperationModeAfterPrn), Same},
    {"Interval", EPL_FIELD(sIntervalValue), Same},
    {"Feed", EPL_FIELD(sCutPosition), Same},
    {"MaxOutputWidth", EPL_FIELD(sMaxOutputWidth), Same},
    {"PrintMode", EPL_FIELD(sPaperMode), Same},
    {"SavePaper", EPL_FIELD(sSavePaper), Same},
    {"Halftone", EPL_FIELD(sHalftoneMethod), Same},
    {"Brightness", EPL_FIELD(nBrightness), Same},
    {"Contrast", EPL_FIELD(nContrast), Same},
    {"Levels", EPL_FIELD(nColorLevelsAdj), Levels},
    {"NegativeFilm", EPL_FIELD(bNegative), Same},
    {"Mirror", EPL_FIELD(sMirror), Same},
    {"Rotation", [](const tagOEMCFG& c) { return int64_t(c.sRotation * 10 + c.sRotate90); },
     Rotation},
    {"AutoRotate", EPL_FIELD(sAutoRotate90), Same},
    {"IsToDashed", EPL_FIELD(sIsLineImaginary), Same},
    {"MinLength", EPL_FIELD(sMinImaginaryLineLen), Same},
    {"IntervalBlack", EPL_FIELD(sBlackInterval), Same},
    {"IntervalWhite", EPL_FIELD(sWhiteInterval), Same},
    {"HorizontalOffset", EPL_FIELD(sHrzDir), Same},
    {"HorizontalOffsetValue", EPL_FIELD(sHrzOffset), Tenths},
    {"VerticalOffset", EPL_FIELD(sVtcDir), Same},
    {"VerticalOffsetValue", EPL_FIELD(sVtcOffset), Tenths},
    {"StartOffsetValue", EPL_FIELD(dwStartOffsetValue), Same},
    {"EndOffsetValue", EPL_FIELD(dwEndOffsetValue), Same},
    {"FixedHeight", EPL_FIELD(dwFixedHeight), Same},
    {"GAPHeight",
     [](const tagOEMCFG& c) { return c.BLineHeight == c.GAPHeight ? c.GAPHeight : -1; }, Tenths},
    {"GAPOffset", EPL_FIELD(GAPOffset), Tenths},
};
#undef EPL_FIELD

// A 100 x 150 mm page of two copies through the EPL builder, read back by the decoder.
EplJob EplJobFrom(tagOEMCFG cfg) {
    cfg.lLabelWidth = 1000;
    cfg.lLabelLength = 1500;
    CLBPTREmulation start, page;
    int64_t length = 0;
    std::vector<uint8_t> bytes(4096);
    EXPECT_EQ(start.GetStartDocCMD(&cfg, bytes.data(), int64_t(bytes.size()), &length), 1);
    std::string stream(bytes.begin(), bytes.begin() + length);
    cfg.dwPageIndex = 1;
    cfg.sCopies = 2;
    const std::vector<uint8_t> graphic(6, 0x0F);
    EXPECT_EQ(page.TransferImageData2CMD(&cfg, graphic.data(), 6, 0, 0, 16, 3, bytes.data(),
                                         int64_t(bytes.size()), &length, true),
              1);
    return DecodeEpl(stream + std::string(bytes.begin(), bytes.begin() + length));
}

}  // namespace

TEST(EplPpdTest, CupstestppdFilterAndDefaults) {
    const std::vector<std::string> accepted = {
        "Missing cupsFilter2 file \"/usr/lib/cups/filter/rastomoxepl\"",
        "should be the Adobe standard name", "shares a common prefix with"};
    for (const Model& model : kEplModels) {
        SCOPED_TRACE(model.file);
        const PpdCheck check = CheckPpd(PpdPath(model), accepted);
        EXPECT_TRUE(check.passed) << check.output;
        EXPECT_TRUE(check.unexpectedWarnings.empty()) << check.unexpectedWarnings.front();
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        ppd_attr_t* filter = ppdFindAttr(ppd.get(), "cupsFilter2", nullptr);
        ASSERT_NE(filter, nullptr);
        EXPECT_STREQ(filter->value,
                     "application/vnd.cups-raster application/vnd.mox-epl 50 rastomoxepl");
        const tagOEMCFG cfg = ppd.Settings("", kEplSettings);
        EXPECT_EQ(cfg.sOutputXDPI + cfg.sOutputYDPI, 2 * model.dpi);
        EXPECT_EQ(cfg.sMaxOutputWidth, 104);
        EXPECT_EQ(cfg.sDensity + cfg.sPrintSpeed, 2000) << "the printer's own darkness and speed";
        EXPECT_EQ(GetOptionChoiceIndex("DriverLog", ppd.get()), 0);
    }
}

TEST(EplPpdTest, EveryChoiceReachesItsFieldAndPrintsSoundly) {
    for (const Model& model : kEplModels) {
        ShippedPpd whole(model);
        ASSERT_NE(whole.get(), nullptr);
        // Each option of the PPD is read, apart from the page set-up and the log switch.
        const std::vector<std::string> notRead = {"PageSize", "PageRegion", "ColorModel",
                                                  "Resolution", "DriverLog"};
        for (int g = 0; g < whole.get()->num_groups; ++g) {
            for (int o = 0; o < whole.get()->groups[g].num_options; ++o) {
                const std::string keyword = whole.get()->groups[g].options[o].keyword;
                if (std::find(notRead.begin(), notRead.end(), keyword) != notRead.end()) continue;
                EXPECT_TRUE(std::any_of(std::begin(kEplOptions), std::end(kEplOptions),
                                        [&](const EplOption& e) { return keyword == e.keyword; }))
                    << keyword << " is read by no EPL settings reader";
            }
        }
        for (const EplOption& e : kEplOptions) {
            ppd_option_t* option = ppdFindOption(whole.get(), e.keyword);
            ASSERT_NE(option, nullptr) << e.keyword;
            for (int i = 0; i < option->num_choices; ++i) {
                const ppd_choice_t& choice = option->choices[i];
                SCOPED_TRACE(std::string(model.file) + " " + e.keyword + "=" + choice.choice);
                double code = 0;
                ASSERT_TRUE(PlainNumber(choice.code, &code)) << choice.code;
                // Marked as a queue default: CUPS takes a job's "-o mirror" for MirrorPrint.
                ShippedPpd ppd(model);
                ppdMarkOption(ppd.get(), e.keyword, choice.choice);
                const tagOEMCFG cfg = ppd.Settings("", kEplSettings);
                EXPECT_EQ(e.field(cfg), e.value(code));
                const EplJob job = EplJobFrom(cfg);
                EXPECT_TRUE(job.ok()) << FormatEplSummary(job);
                EXPECT_EQ(job.printed, 2u);
            }
        }
    }
}
