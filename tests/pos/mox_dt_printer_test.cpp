// MoxDTPrinter: fixed and option entries of the command tables, the stream parts, the logo,
// halftone pattern names and the independence of copies. Options come from real PPDs.
#include "pos/mox_dt_printer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pos/receipt_test_support.h"
#include "tests/settings/ppd_test_support.h"
#include "tests/support/stdout_capture.h"

namespace {

using Part = void (MoxDTPrinter::*)(std::vector<uint8_t>&) const;

std::string Text(const MoxDTPrinter& printer, Part part) {
    std::vector<uint8_t> bytes = {0x77};  // each part replaces what the vector held
    (printer.*part)(bytes);
    return Hex(std::string(bytes.begin(), bytes.end()));
}

TEST(MoxDTPrinterTest, FixedEntries) {
    const MoxDTPrinter printer;
    EXPECT_EQ(Text(printer, &MoxDTPrinter::StartDoc), Hex(kStartDoc));
    EXPECT_EQ(Text(printer, &MoxDTPrinter::StartPage), Hex(kCarriageReturns));
    EXPECT_EQ(Text(printer, &MoxDTPrinter::EndPage), Hex(kPrintNoFeed));
    EXPECT_EQ(Text(printer, &MoxDTPrinter::EndDoc), Hex(kInitialise));
    EXPECT_EQ(Text(printer, &MoxDTPrinter::Page), "");
}

TEST(MoxDTPrinterTest, CashboxPulsesTheDrawerAtTheEndOrTheStart) {
    for (const std::string choice : {"0", "1", "2", "3", ""}) {
        SCOPED_TRACE("Cashbox " + choice);
        OpenedPpd ppd(ReceiptPpd({{"Cashbox", choice}}));
        MoxDTPrinter printer;
        printer.SetCashMode(ppd.get());
        EXPECT_EQ(Text(printer, &MoxDTPrinter::StartDoc),
                  Hex(kStartDoc + (choice == "2" ? kDrawerPulse : "")));
        EXPECT_EQ(Text(printer, &MoxDTPrinter::EndDoc),
                  Hex((choice == "1" ? kDrawerPulse : "") + kInitialise));
    }
}

TEST(MoxDTPrinterTest, BlackMarkFeedsAtTheEndOrTheStartOfEachPage) {
    for (const std::string choice : {"0", "1", "2", ""}) {
        SCOPED_TRACE("BlackMark " + choice);
        OpenedPpd ppd(ReceiptPpd({{"BlackMark", choice}}));
        MoxDTPrinter printer;
        printer.SetBlackMarkMode(ppd.get());
        EXPECT_EQ(Text(printer, &MoxDTPrinter::StartPage),
                  Hex(kCarriageReturns + (choice == "2" ? kBlackMarkFeed : "")));
        EXPECT_EQ(Text(printer, &MoxDTPrinter::EndPage),
                  Hex(kPrintNoFeed + (choice == "1" ? kBlackMarkFeed : "")));
    }
}

TEST(MoxDTPrinterTest, FeedingModeChoosesTheFeedOrTheCut) {
    struct Case {
        std::string choice;
        int result;
        std::string endDoc, endPage;
    };
    for (const Case& c :
         {Case{"0", 0, kFeedEnd, ""}, Case{"1", 1, kPartialCut, ""}, Case{"2", 2, "", kPartialCut},
          Case{"7", 7, "", ""}, Case{"-3", -1, "", ""}, Case{"", -1, "", ""}}) {
        SCOPED_TRACE("FeedingMode " + c.choice);
        OpenedPpd ppd(ReceiptPpd({{"FeedingMode", c.choice}}));
        MoxDTPrinter printer;
        EXPECT_EQ(printer.SetFeedMode(ppd.get()), c.result);
        EXPECT_EQ(Text(printer, &MoxDTPrinter::EndDoc), Hex(c.endDoc + kInitialise));
        EXPECT_EQ(Text(printer, &MoxDTPrinter::EndPage), Hex(kPrintNoFeed + c.endPage));
    }
}

TEST(MoxDTPrinterTest, LengthTablesFeedBeforeTheEndOfTheDocument) {
    const std::vector<std::string> feeds = {
        Bytes({0x1B, 0x4A, 0x00}),
        Bytes({0x1B, 0x4A, 0x28}),
        Bytes({0x1B, 0x4A, 0x50}),
        Bytes({0x1B, 0x4A, 0x78}),
        Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x28}),
        Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x50}),
    };
    for (const char* keyword : {"CuttingLength", "FeedingLength"}) {
        for (int choice = 0; choice <= 6; ++choice) {
            SCOPED_TRACE(std::string(keyword) + " " + std::to_string(choice));
            OpenedPpd ppd(ReceiptPpd({{"FeedingMode", "1"}, {keyword, std::to_string(choice)}}));
            MoxDTPrinter printer;
            printer.SetFeedMode(ppd.get());
            if (std::string(keyword) == "CuttingLength") {
                printer.SetCutLength(ppd.get());
            } else {
                printer.SetFeedLength(ppd.get());
            }
            const std::string length = choice < 6 ? feeds[static_cast<size_t>(choice)] : "";
            EXPECT_EQ(Text(printer, &MoxDTPrinter::EndDoc), Hex(length + kPartialCut + kInitialise))
                << "the length entry comes before the cut";
        }
    }
}

TEST(MoxDTPrinterTest, SavingPaperZeroSkipsBlankRows) {
    for (const std::string choice : {"0", "1", ""}) {
        OpenedPpd ppd(ReceiptPpd({{"SavingPaper", choice}}));
        MoxDTPrinter printer;
        printer.SetSavePageMode(ppd.get());
        EXPECT_EQ(printer.SkipsBlankRows(), choice == "0") << "SavingPaper " << choice;
    }
}

TEST(MoxDTPrinterTest, ResolutionSetsTheBandHeight) {
    MoxDTPrinter printer;
    printer.SetResolution(203, 203);
    EXPECT_EQ(printer.Escp().LinesPerRow(), 24);
    EXPECT_EQ(printer.Escp().VerticalUnit(), 203);
    printer.SetResolution(203, 300);
    EXPECT_EQ(printer.Escp().LinesPerRow(), 8);
    EXPECT_EQ(printer.Escp().DpiX(), 203);
    EXPECT_EQ(printer.Escp().DpiY(), 300);
}

TEST(MoxDTPrinterTest, PrintLogoWritesTheStoredLogoCallOnlyForChoiceZero) {
    for (const std::string choice : {"0", "1", ""}) {
        OpenedPpd ppd(ReceiptPpd({{"PrintLogo", choice}}));
        const MoxDTPrinter printer;
        StdoutCapture capture;
        printer.PrintLogo(ppd.get());
        EXPECT_EQ(Hex(capture.Take()), choice == "0" ? Hex(kLogo) : "") << "PrintLogo " << choice;
    }
}

TEST(MoxDTPrinterTest, PatternNamesChooseTheHalftone) {
    // Greys 200, 100 and 50 in the first three columns tell the four patterns apart.
    const std::vector<uint8_t> grey = {200, 100, 50, 255, 255, 255, 255, 255};
    struct Case {
        const char* name;
        uint8_t dots;
    };
    for (const Case& c :
         {Case{"TextMode", 0x60}, Case{"HT_PATSIZE_SUPERCELL_M", 0x40},
          Case{"HT_PATSIZE_6x6_M", 0x20}, Case{"HT_PATSIZE_8x8_M", 0xA0}, Case{nullptr, 0x60}}) {
        MoxDTPrinter printer;
        printer.SetResolution(203, 203);
        ASSERT_TRUE(printer.SetPage(grey.data(), 8, 8, 1, c.name));
        EXPECT_EQ(Text(printer, &MoxDTPrinter::Page), Hex(Band(1, 1, Bytes({c.dots}))))
            << (c.name ? c.name : "null");
    }
    MoxDTPrinter printer;
    EXPECT_FALSE(printer.SetPage(nullptr, 8, 8, 1, "TextMode"));
}

TEST(MoxDTPrinterTest, ACopyKeepsItsOwnGraphicsState) {
    MoxDTPrinter printer;
    printer.SetResolution(203, 203);
    MoxDTPrinter copy = printer;
    const std::vector<uint8_t> black(8 * 50, 0);
    ASSERT_TRUE(copy.SetPage(black.data(), 8, 8, 50, "HT_PATSIZE_SUPERCELL_M"));
    EXPECT_EQ(copy.Escp().LinesPerRow(), 2);
    EXPECT_EQ(printer.Escp().LinesPerRow(), 24);
    EXPECT_TRUE(printer.Escp().PrinterData().empty());
}

TEST(MoxDTPrinterTest, TransCommandRefusesAnImageSmallerThanItsHeader) {
    cups_page_header2_t header{};
    header.cupsWidth = 8;
    header.cupsHeight = 4;
    const std::vector<uint8_t> image(24 * 4 - 1, 0);
    MoxDTPrinter printer;
    printer.SetResolution(203, 203);
    EXPECT_FALSE(
        printer.TransCommand(image.data(), static_cast<uint32_t>(image.size()), 0, 0, header));
    EXPECT_TRUE(printer.Escp().PrinterData().empty());
}

}  // namespace
