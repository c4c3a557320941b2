// The shipped receipt PPDs as built by ppdc: cupstestppd, the filter line, the 24-bit colour
// model, page sizes exactly as wide as the print head, the custom size range for long
// receipts, and every option the receipt filter reads, through the filter's own readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "filter/page_input.h"
#include "pos/receipt_job.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"
#include "tests/pos/receipt_test_support.h"
#include "tests/support/cupstestppd.h"
#include "tests/support/filter_runner.h"
#include "tests/support/stdout_capture.h"

namespace {

struct Model {
    const char* file;
    unsigned dots;  // print head width
};
const Model kModels[] = {{"mxpos58.ppd", 384}, {"mxpos80.ppd", 576}};

std::string PpdPath(const Model& model) {
    return std::string(MX_PPD_DIR) + "/" + model.file;
}

class ShippedPpd {
  public:
    explicit ShippedPpd(const Model& model, const std::string& options = "")
        : path_(PpdPath(model)) {
        ppd_ = ppdOpenFile(path_.c_str());
        if (ppd_ != nullptr) InitializeSetting(options.c_str(), ppd_);
    }
    ~ShippedPpd() {
        if (ppd_ != nullptr) ppdClose(ppd_);
    }
    ShippedPpd(const ShippedPpd&) = delete;
    ShippedPpd& operator=(const ShippedPpd&) = delete;
    ppd_file_t* get() const { return ppd_; }

  private:
    std::string path_;
    ppd_file_t* ppd_ = nullptr;
};

// The printer as the filter sets it up for a page of this PPD.
struct PrinterSetup {
    MoxDTPrinter printer;
    int xOffset = 0, yOffset = 0;
};
PrinterSetup SetUpPrinter(ppd_file_t* ppd, unsigned width) {
    cups_page_header2_t header{};
    header.HWResolution[0] = header.HWResolution[1] = 203;
    header.cupsWidth = width;
    header.cupsHeight = 100;
    PrinterSetup setup;
    InitPrinterSettings(ppd, header, setup.printer, setup.xOffset, setup.yOffset);
    return setup;
}

std::string Part(const MoxDTPrinter& printer,
                 void (MoxDTPrinter::*part)(std::vector<uint8_t>&) const) {
    std::vector<uint8_t> bytes;
    (printer.*part)(bytes);
    return Hex(std::string(bytes.begin(), bytes.end()));
}

TEST(ReceiptPpdTest, CupstestppdPassesWithOnlyKnownWarnings) {
    // The sizes are named after the paper roll, and the filter is not installed while testing.
    const std::vector<std::string> accepted = {
        "Missing cupsFilter2 file \"/usr/lib/cups/filter/rastertomoxdtpos\"",
        "should be the Adobe standard name", "shares a common prefix with"};
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        const PpdCheck check = CheckPpd(PpdPath(model), accepted);
        EXPECT_TRUE(check.passed) << check.output;
        EXPECT_TRUE(check.unexpectedWarnings.empty()) << check.unexpectedWarnings.front();
    }
}

TEST(ReceiptPpdTest, FilterColourModelAndResolution) {
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        ppd_attr_t* filter = ppdFindAttr(ppd.get(), "cupsFilter2", nullptr);
        ASSERT_NE(filter, nullptr);
        EXPECT_STREQ(filter->value,
                     "application/vnd.cups-raster application/vnd.mox-escpos 50 rastertomoxdtpos");
        EXPECT_EQ(ppdFindAttr(ppd.get(), "cupsFilter", nullptr), nullptr);
        ppd_choice_t* color = ppdFindMarkedChoice(ppd.get(), "ColorModel");
        ASSERT_NE(color, nullptr);
        EXPECT_STREQ(color->choice, "RGB");
        EXPECT_NE(std::strstr(color->code, "/cupsColorSpace 1/cupsColorOrder 0"), nullptr)
            << color->code;
        ppd_choice_t* resolution = ppdFindMarkedChoice(ppd.get(), "Resolution");
        ASSERT_NE(resolution, nullptr);
        EXPECT_STREQ(resolution->choice, "203dpi");
        EXPECT_NE(std::strstr(resolution->code, "/HWResolution[203 203]"), nullptr);
        EXPECT_NE(std::strstr(resolution->code, "/cupsBitsPerColor 8"), nullptr);
    }
}

TEST(ReceiptPpdTest, EverySizeIsAsWideAsThePrintHead) {
    constexpr double kMm = 72 / 25.4;
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        const std::string roll = std::string("Roll") + (model.dots == 576 ? "80" : "58") + "x";
        EXPECT_EQ(std::string(ppdFindMarkedChoice(ppd.get(), "PageSize")->choice), roll + "297mm");
        int named = 0;
        for (int i = 0; i < ppd.get()->num_sizes; ++i) {
            const ppd_size_t& size = ppd.get()->sizes[i];
            if (std::strcmp(size.name, "Custom") == 0) continue;  // the custom range, checked below
            SCOPED_TRACE(size.name);
            // The rasterisers round or truncate the width in dots; both must give the head width.
            EXPECT_EQ(unsigned(std::lround(size.width * 203 / 72)), model.dots);
            EXPECT_EQ(unsigned(size.width * 203 / 72), model.dots);
            EXPECT_EQ(size.left, 0);
            EXPECT_EQ(size.bottom, 0);
            EXPECT_EQ(size.right, size.width);
            EXPECT_EQ(size.top, size.length);
            if (std::string(size.name).rfind(roll, 0) == 0) ++named;
        }
        EXPECT_EQ(named, 5);
        for (double mm : {100.0, 150.0, 200.0, 297.0, 1000.0}) {
            const std::string name = roll + std::to_string(int(mm)) + "mm";
            ppd_size_t* size = ppdPageSize(ppd.get(), name.c_str());
            ASSERT_NE(size, nullptr) << name;
            EXPECT_NEAR(size->length, mm * kMm, 0.01) << name;
        }
        // Long receipts: a custom size of the head's width, 20 mm to 3 m long.
        EXPECT_TRUE(ppd.get()->variable_sizes);
        EXPECT_EQ(unsigned(ppd.get()->custom_min[0] * 203 / 72), model.dots);
        EXPECT_EQ(unsigned(ppd.get()->custom_max[0] * 203 / 72), model.dots);
        EXPECT_NEAR(ppd.get()->custom_min[1], 20 * kMm, 0.01);
        EXPECT_NEAR(ppd.get()->custom_max[1], 3000 * kMm, 0.01);
    }
}

TEST(ReceiptPpdTest, EveryOptionTheFilterReadsHoldsPlainValues) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> options = {
        {"Cashbox", {"0", "1", "2"}},
        {"BlackMark", {"0", "1", "2"}},
        {"SavingPaper", {"0", "1"}},
        {"FeedingMode", {"0", "1", "2"}},
        {"CuttingLength", {"0", "1", "2", "3", "4", "5"}},
        {"FeedingLength", {"0", "1", "2", "3", "4", "5"}},
        {"PrintLogo", {"0", "1"}},
        {"HorizontalOffset", {"0", "1"}},
        {"HorizontalOffsetValue", {"0", "1", "2", "3", "4", "5", "8", "10"}},
        {"DriverLog", {"0", "1"}},
    };
    for (const Model& model : kModels) {
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        for (const auto& [keyword, choices] : options) {
            SCOPED_TRACE(std::string(model.file) + " " + keyword);
            ppd_option_t* option = ppdFindOption(ppd.get(), keyword);
            ASSERT_NE(option, nullptr);
            ASSERT_EQ(option->num_choices, int(choices.size()));
            for (int i = 0; i < option->num_choices; ++i) {
                EXPECT_EQ(option->choices[i].choice, choices[size_t(i)]);
                EXPECT_STREQ(option->choices[i].code, option->choices[i].choice)
                    << "the code is the value";
            }
        }
    }
}

TEST(ReceiptPpdTest, DefaultsCutAfterTheReceiptAndFeedOverBlankLines) {
    for (const Model& model : kModels) {
        SCOPED_TRACE(model.file);
        ShippedPpd ppd(model);
        ASSERT_NE(ppd.get(), nullptr);
        const PrinterSetup setup = SetUpPrinter(ppd.get(), model.dots);
        EXPECT_EQ(Part(setup.printer, &MoxDTPrinter::StartDoc), Hex(kStartDoc));
        EXPECT_EQ(Part(setup.printer, &MoxDTPrinter::StartPage), Hex(kCarriageReturns));
        EXPECT_EQ(Part(setup.printer, &MoxDTPrinter::EndPage), Hex(kPrintNoFeed));
        EXPECT_EQ(Part(setup.printer, &MoxDTPrinter::EndDoc),
                  Hex(Bytes({0x1B, 0x4A, 0x78}) + kPartialCut + kInitialise))
            << "15 mm past the cutter, then a partial cut";
        EXPECT_TRUE(setup.printer.SkipsBlankRows());
        EXPECT_EQ(setup.xOffset, 0);
        EXPECT_EQ(GetOptionChoiceIndex("DriverLog", ppd.get()), 0);
        StdoutCapture capture;
        setup.printer.PrintLogo(ppd.get());
        EXPECT_EQ(capture.Take(), "") << "no logo unless asked for";
    }
}

TEST(ReceiptPpdTest, ChosenOptionsReachThePrinter) {
    ShippedPpd ppd(
        kModels[1],
        "FeedingMode=0 FeedingLength=5 CuttingLength=1 Cashbox=1 BlackMark=2 SavingPaper=1 "
        "HorizontalOffset=1 HorizontalOffsetValue=2 PrintLogo=0 DriverLog=1");
    ASSERT_NE(ppd.get(), nullptr);
    const PrinterSetup setup = SetUpPrinter(ppd.get(), 576);
    EXPECT_EQ(
        Part(setup.printer, &MoxDTPrinter::EndDoc),
        Hex(Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x50}) + kFeedEnd + kDrawerPulse + kInitialise));
    EXPECT_EQ(Part(setup.printer, &MoxDTPrinter::StartPage),
              Hex(kCarriageReturns + kBlackMarkFeed));
    EXPECT_FALSE(setup.printer.SkipsBlankRows());
    EXPECT_EQ(setup.xOffset, -16);
    EXPECT_EQ(GetOptionChoiceIndex("DriverLog", ppd.get()), 1);
    StdoutCapture capture;
    setup.printer.PrintLogo(ppd.get());
    EXPECT_EQ(Hex(capture.Take()), Hex(kLogo));
}

}  // namespace
