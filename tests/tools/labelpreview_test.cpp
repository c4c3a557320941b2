// labelpreview: the printer language told from the stream, receipts ending at their cuts with
// the cut marked, ZPL copies, cuts and RFID frames, and the command on a stream of each
// language printed through the CUPS filter chain, its barcodes read back.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/cupsfilter_runner.h"
#include "tests/support/label_checks.h"
#include "tools/labelpreview/label_preview.h"

namespace {

const std::string kPpdDir = MX_PPD_DIR;

TEST(LabelPreviewTest, TellsThePrinterLanguage) {
    const struct {
        std::string stream;
        PrinterLanguage language;
    } kCases[] = {
        {"^XA^PW812^XZ", PrinterLanguage::Zpl},
        {"\r\n~SD15\r\n", PrinterLanguage::Zpl},
        {"\xFF\x03\xFF\x65\x01\x02^XA^XZ", PrinterLanguage::Zpl},
        {"\r\r\x1B@\x1DP\xCB\xCB", PrinterLanguage::EscPos},
        {"\x1BJ\x10", PrinterLanguage::EscPos},
        {"Thank you\n\x1B@", PrinterLanguage::EscPos},
        {"; set-up\r\n^XA^XZ", PrinterLanguage::Zpl},
        {"CLS\r\nGAP 3 mm,0 mm\r\n", PrinterLanguage::Tspl},
        {"SIZE 101.6 mm,152.4 mm\r\n", PrinterLanguage::Tspl},
        {"\r\nN\r\nq816\r\n", PrinterLanguage::Epl},
        {"Q1219,24\r\n", PrinterLanguage::Epl},
        {"GW32,41,94,2,\r\n\xFF\xFF", PrinterLanguage::Epl},
        {"Hello, printer", PrinterLanguage::Unknown},
        {"", PrinterLanguage::Unknown},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(DetectLanguage(c.stream), c.language) << c.stream;
        const PreviewJob job = PreviewStream(c.stream);
        EXPECT_EQ(job.language, c.language) << c.stream;
        if (c.language == PrinterLanguage::Unknown) {
            EXPECT_FALSE(job.ok());
        }
    }
}

// ESC/POS: a band of 16 x 4 dots whose top two rows are black.
const std::string kBand =
    std::string("\x1Dv0\x00\x02\x00\x04\x00", 8) + std::string(4, '\xFF') + std::string(4, '\x00');
const std::string kPartialCut("\x1DV\x42\x00", 4);

TEST(LabelPreviewTest, ReceiptsEndAtTheirCutsWhichAreMarked) {
    std::map<int, GreyBitmap> images;
    PreviewOptions options;
    options.onImage = [&](const PreviewLabel& l, const GreyBitmap& image) {
        images[l.number] = image;
    };
    const PreviewJob job =
        PreviewStream("\x1B@" + kBand + kPartialCut + kBand + "\x1BJ\x0A", options);
    ASSERT_EQ(job.labels.size(), 2u) << FormatPreviewSummary(job);
    EXPECT_TRUE(job.labels[0].cutAfter && job.labels[0].partialCut);
    EXPECT_EQ(job.labels[0].lengthDots, 4u);
    EXPECT_FALSE(job.labels[1].cutAfter);
    EXPECT_EQ(job.labels[1].lengthDots, 14u);
    // The cut is dashed along the bottom edge of the paper, over white only.
    EXPECT_EQ(images[1].At(0, 3), 128);
    EXPECT_EQ(images[1].At(6, 3), GreyBitmap::kWhite);
    EXPECT_EQ(images[1].At(0, 0), GreyBitmap::kBlack);
    EXPECT_EQ(images[2].At(0, 3), GreyBitmap::kWhite);

    // Blank paper fed after the last cut is not a receipt of its own.
    const PreviewJob fed = PreviewStream("\x1B@" + kBand + kPartialCut + "\x1BJ\x14");
    EXPECT_EQ(fed.labels.size(), 1u);
    EXPECT_EQ(fed.feedAfterCutDots, 20u);
}

TEST(LabelPreviewTest, ZplCopiesCutsAndRfidFrames) {
    const struct {
        const char* mode;
        const char* quantity;
        uint64_t cuts;
        bool cutAfter;
    } kCases[] = {
        {"^MMC", "^PQ4,2,0,Y", 2, true},
        {"^MMC", "^PQ3,2,0,Y", 1, false},
        {"^MMC", "^PQ3,0,0,Y", 0, false},
        {"^MMT", "^PQ4,2,0,Y", 0, false},
    };
    for (const auto& c : kCases) {
        const std::string stream = std::string("\xFF\x05\xFF\x65\x01\x02\x03\x04^XA") + c.mode +
                                   "^XZ^XA^PW100^LL50^FO0,0^GB50,20,20^FS" + c.quantity + "^XZ";
        PreviewOptions options;
        options.readBarcodes = true;
        const PreviewJob job = PreviewStream(stream, options);
        const std::string summary = FormatPreviewSummary(job);
        SCOPED_TRACE(summary);
        EXPECT_NE(summary.find("label 1 barcodes none\n"), std::string::npos);
        ASSERT_EQ(job.labels.size(), 1u);
        EXPECT_EQ(job.labels[0].copies, c.quantity[3] - '0');
        EXPECT_EQ(job.labels[0].cuts, c.cuts);
        EXPECT_EQ(job.labels[0].cutAfter, c.cutAfter);
        EXPECT_EQ(job.labels[0].widthDots, 100u);
        EXPECT_EQ(job.labels[0].lengthDots, 50u);
        ASSERT_EQ(job.rfid.size(), 1u);
        EXPECT_EQ(job.rfid[0].data, (std::vector<uint8_t>{1, 2, 3, 4}));
    }
}

TEST(LabelPreviewTest, CommandOnAStreamOfEachLanguage) {
    TempDir dir;
    const std::string label = SampleLabelPdf(dir, "4x6in");
    const std::string receipt = dir.File("receipt.pdf");
    FilterArgs sample;
    sample.argvOverride = std::vector<std::string>{"receipt", "-o", receipt};
    ASSERT_EQ(RunFilter(SAMPLE_PDF, sample).exitCode, 0);
    const struct {
        const char* ppd;
        const char* filter;
        const char* program;
        const char* language;
        const char* code;
    } kCases[] = {
        {"mxzpl203.ppd", "rastomoxzpl", RASTOMOXZPL, "ZPL II", "CODE-128:MX0012345678"},
        {"mxtspl203.ppd", "rastomoxtspl", RASTOMOXTSPL, "TSPL", "CODE-128:MX0012345678"},
        {"mxepl203.ppd", "rastomoxepl", RASTOMOXEPL, "EPL2", "CODE-128:MX0012345678"},
        {"mxpos80.ppd", "rastertomoxdtpos", RASTERTOMOXDTPOS, "ESC/POS", "CODE-128:R20240611"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.ppd);
        CupsFilterJob job;
        job.ppd = kPpdDir + "/" + c.ppd;
        job.input = std::string(c.language) == "ESC/POS" ? receipt : label;
        job.filters = {{c.filter, c.program}};
        const FilterResult stream = RunCupsFilter(job);
        ASSERT_EQ(stream.exitCode, 0) << stream.err;
        FilterArgs args;
        args.argvOverride =
            std::vector<std::string>{"--barcodes", "-o", dir.path(), "--prefix", "job", "-"};
        const FilterResult r = RunFilter(LABELPREVIEW, args, stream.out);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("language " + std::string(c.language) + " detected\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(std::string(" barcode ") + c.code + "\n"), std::string::npos) << r.out;
        const std::optional<GreyBitmap> png = ReadPng(dir.File("job-1.png"));
        ASSERT_TRUE(png.has_value());
        const std::string size =
            std::to_string(png->width()) + " x " + std::to_string(png->height()) + " dots";
        EXPECT_NE(r.out.find(": " + size), std::string::npos) << size << "\n" << r.out;
    }
}

}  // namespace
