// The receipt filter end to end: its output read back by the ESC/POS decoder, first on raster
// pages of the test's own, then behind the real CUPS chain (cupsfilter, pdftopdf, the
// rasteriser) with the shipped PPDs on the sample receipt, whose barcodes zbarimg reads back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/pos/receipt_test_support.h"
#include "tests/support/cupsfilter_runner.h"
#include "tests/support/filter_runner.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/posdecode/pos_decoder.h"

namespace {

const std::string kFilter = RASTERTOMOXDTPOS;
const std::string kPpdDir = MX_PPD_DIR;

FilterResult RunTool(const std::string& program, const std::vector<std::string>& args) {
    FilterArgs a;
    a.argvOverride = args;
    return RunFilter(program, a);
}

// The decoded events as words, each run of page content (bands and the feeds between them)
// as "page", a feed of nothing (ESC J 0) as "print".
std::string Sequence(const PosDecodeResult& r) {
    std::vector<std::string> words;
    bool runHasBand = false;
    size_t runStart = 0;
    auto closeRun = [&] {
        if (runStart < words.size()) {
            words.resize(runStart);
            words.push_back(runHasBand ? "page" : "feed");
        }
        runHasBand = false;
        runStart = words.size();
    };
    for (const PosEvent& e : r.events) {
        const bool content =
            e.kind == PosEventKind::Band || (e.kind == PosEventKind::Feed && e.dots > 0);
        if (content) {
            words.push_back("content");
            runHasBand = runHasBand || e.kind == PosEventKind::Band;
            continue;
        }
        closeRun();
        static const char* const kNames[] = {"init",  "units", "logo",   "band",
                                             "print", "cut",   "drawer", "mark"};
        words.push_back(kNames[int(e.kind)]);
        runStart = words.size();
    }
    closeRun();
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

class ReceiptEndToEndTest : public ::testing::Test {
  protected:
    void TearDown() override { ::unlink("/tmp/mxpos.log"); }

    FilterResult RunFilterOn(const std::vector<TestPage>& pages,
                             const std::map<std::string, std::string>& choices) {
        FilterArgs args;
        args.ppdPath = ReceiptPpd(choices).WriteTo(dir.File("queue.ppd"));
        WriteRasterFile(dir.File("job.ras"), pages);
        args.rasterFile = dir.File("job.ras");
        return RunFilter(kFilter, args);
    }

    // The sample receipt for `paperMm` paper and its page length in points.
    std::string SampleReceipt(int paperMm, double& lengthPt) {
        const std::string pdf = dir.File("receipt" + std::to_string(paperMm) + ".pdf");
        EXPECT_EQ(RunTool(SAMPLE_PDF, {"receipt", "--width", std::to_string(paperMm), "-o", pdf})
                      .exitCode,
                  0);
        std::istringstream info(RunTool("/usr/bin/pdfinfo", {pdf}).out);
        for (std::string line; std::getline(info, line);) {
            if (line.starts_with("Page size:"))
                std::sscanf(line.c_str(), "Page size: %*f x %lf", &lengthPt);
        }
        return pdf;
    }

    CupsFilterJob Job(const std::string& ppd, const std::string& input) const {
        CupsFilterJob job;
        job.ppd = kPpdDir + "/" + ppd;
        job.input = input;
        job.outputType = "printer/receipt";
        job.filters = {{"rastertomoxdtpos", kFilter}};
        return job;
    }

    std::vector<std::string> ReadBarcodes(const GreyBitmap& image) {
        const std::string png = dir.File("decoded.png");
        EXPECT_TRUE(WritePng(png, image));
        std::istringstream lines(RunTool("/usr/bin/zbarimg", {"--quiet", png}).out);
        std::vector<std::string> found;
        for (std::string line; std::getline(lines, line);) found.push_back(line);
        std::sort(found.begin(), found.end());
        return found;
    }

    TempDir dir;
};

TEST_F(ReceiptEndToEndTest, DecodedReceiptShowsThePageDotForDot) {
    // Text-like marks, 40 blank rows, a bar, 30 blank rows.
    std::vector<std::string> art;
    for (int y = 0; y < 24; ++y) {
        std::string row(32, '.');
        for (int x = 0; x < 32; ++x) row[size_t(x)] = (x * 7 + y * 3) % 5 < 2 ? '#' : '.';
        art.push_back(row);
    }
    art.insert(art.end(), 40, std::string(32, '.'));
    art.insert(art.end(), 5, std::string(10, '.') + std::string(22, '#'));
    art.insert(art.end(), 30, std::string(32, '.'));
    const TestPage page = TestPage::FromArt(art);
    for (const std::string saving : {"0", "1"}) {
        SCOPED_TRACE("SavingPaper " + saving);
        FilterResult r = RunFilterOn({page}, {{"SavingPaper", saving}});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const PosDecodeResult decoded = DecodeEscPos(r.out);
        ASSERT_TRUE(decoded.ok()) << FormatPosSummary(decoded);
        ASSERT_EQ(decoded.image.width(), 32u);
        // Skipping blank rows feeds the 40 in the middle and leaves out the 11 after the last band.
        const int64_t pageLength = saving == "0" ? 88 : 99;
        EXPECT_EQ(decoded.lengthDots, pageLength + 120 + 108)
            << "the document ends with ESC J 120 and 108";
        EXPECT_EQ(decoded.Of(PosEventKind::Feed)[0]->dots, saving == "0" ? 40 : 0);
        for (uint32_t y = 0; y < art.size() && y < decoded.image.height(); ++y) {
            for (uint32_t x = 0; x < 32; ++x) {
                ASSERT_EQ(decoded.image.At(x, y) == GreyBitmap::kBlack, art[y][x] == '#')
                    << x << "," << y;
            }
        }
        // End of page (ESC J 0), then the end of the document: FeedingLength 0, the feed,
        // initialise.
        EXPECT_EQ(Sequence(decoded), "init units page print print feed init");
    }
}

TEST_F(ReceiptEndToEndTest, HorizontalOffsetShowsInTheDecodedReceipt) {
    const TestPage page = TestPage::FromArt({std::string(8, '#') + std::string(56, '.')});
    FilterResult r = RunFilterOn({page}, {{"HorizontalOffsetValue", "2.0"}});
    const PosDecodeResult decoded = DecodeEscPos(r.out);
    ASSERT_EQ(decoded.image.width(), 64u);
    for (uint32_t x = 0; x < 64; ++x) {
        EXPECT_EQ(decoded.image.At(x, 0) == GreyBitmap::kBlack, x >= 16 && x < 24) << x;
    }
}

TEST_F(ReceiptEndToEndTest, SampleReceiptsThroughCupsReadBackWithZbar) {
    struct Case {
        int paperMm;
        const char* ppd;
        double widthPt;
        uint32_t dots;
    };
    for (const Case& c :
         {Case{80, "mxpos80.ppd", 204.3, 576}, Case{58, "mxpos58.ppd", 136.2, 384}}) {
        SCOPED_TRACE(c.ppd);
        double lengthPt = 0;
        const std::string pdf = SampleReceipt(c.paperMm, lengthPt);
        ASSERT_GT(lengthPt, 100);
        CupsFilterJob job = Job(c.ppd, pdf);
        // The receipt's printable strip, unscaled, on a custom size as long as the receipt.
        char media[64];
        std::snprintf(media, sizeof(media), "Custom.%gx%.0fpt", c.widthPt, lengthPt);
        job.options = {{"media", media}, {"print-scaling", "none"}};
        FilterResult r = RunCupsFilter(job);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_TRUE(r.out.starts_with(kCarriageReturns + kStartDoc)) << Hex(r.out.substr(0, 16));
        const PosDecodeResult decoded = DecodeEscPos(r.out);
        ASSERT_TRUE(decoded.ok()) << FormatPosSummary(decoded);
        for (const PosEvent* band : decoded.Of(PosEventKind::Band))
            ASSERT_EQ(band->widthDots, c.dots);
        EXPECT_EQ(Sequence(decoded), "init units page print feed cut init")
            << "default: 15 mm feed, then cut";
        EXPECT_EQ(
            ReadBarcodes(decoded.image),
            (std::vector<std::string>{"CODE-128:R20240611", "QR-Code:RECEIPT:R20240611:TOTAL"}));
    }
}

TEST_F(ReceiptEndToEndTest, TwoPageJobThroughCupsKeepsTheDocumentOrder) {
    const std::string pdf = dir.File("two.pdf");
    ASSERT_EQ(
        RunTool(SAMPLE_PDF, {"label", "--size", "72x60mm", "--pages", "2", "-o", pdf}).exitCode, 0);
    CupsFilterJob job = Job("mxpos80.ppd", pdf);
    job.options = {{"media", "Roll80x100mm"},
                   {"PrintLogo", "0"},
                   {"Cashbox", "2"},
                   {"FeedingMode", "2"},
                   {"BlackMark", "1"}};
    FilterResult r = RunCupsFilter(job);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Start of document, drawer pulse and logo once, before the first page's own start.
    EXPECT_TRUE(
        r.out.starts_with(kCarriageReturns + kStartDoc + kDrawerPulse + kLogo + kCarriageReturns))
        << Hex(r.out.substr(0, 40));
    EXPECT_TRUE(r.out.ends_with(kPrintNoFeed + kPartialCut + kBlackMarkFeed +
                                Bytes({0x1B, 0x4A, 0x78}) + kInitialise))
        << "the last page's end, then the cut length and the end of the job";
    const PosDecodeResult decoded = DecodeEscPos(r.out);
    ASSERT_TRUE(decoded.ok()) << FormatPosSummary(decoded);
    EXPECT_EQ(Sequence(decoded),
              "init units drawer logo page print cut mark page print cut mark feed init");
    EXPECT_EQ(decoded.carriageReturns, 2u + 2u * 2u + 2u) << "the page steps' and the pages' own";
}

}  // namespace
