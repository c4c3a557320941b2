// The receipt filter as CUPS runs it: a real process, real raster streams and PPDs, and the
// exact ESC/POS bytes it writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tests/pos/receipt_test_support.h"
#include "tests/support/filter_runner.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kFilter = RASTERTOMOXDTPOS;
const char* const kLogFile = "/tmp/mxpos.log";

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every run of the filter starts its log afresh in /tmp; the tests hold that file's lock
// and leave nothing behind.
class ReceiptFlowTest : public ::testing::Test {
  protected:
    void TearDown() override { ::unlink(kLogFile); }

    FilterResult Run(const std::vector<TestPage>& pages,
                     const std::map<std::string, std::string>& choices = {},
                     bool compressed = false) {
        args.ppdPath = ReceiptPpd(choices).WriteTo(dir.File("queue.ppd"));
        WriteRasterFile(dir.File("job.ras"), pages, compressed);
        args.rasterFile = dir.File("job.ras");
        return RunFilter(kFilter, args);
    }
    FilterResult RunStdin(const std::string& bytes,
                          const std::map<std::string, std::string>& choices = {}) {
        args.ppdPath = ReceiptPpd(choices).WriteTo(dir.File("queue.ppd"));
        args.rasterFile.reset();
        return RunFilter(kFilter, args, bytes);
    }

    TempDir dir;
    FilterArgs args;
};

// A page `width` dots wide of black rows ('#') and white rows ('.').
TestPage Stripes(uint32_t width, const std::vector<std::pair<char, uint32_t>>& runs) {
    std::vector<std::string> art;
    for (const auto& [kind, rows] : runs) art.insert(art.end(), rows, std::string(width, kind));
    return TestPage::FromArt(art);
}

std::string BlackBands(unsigned bytesPerRow, const std::vector<unsigned>& heights) {
    std::string bands;
    for (unsigned h : heights) bands += Band(bytesPerRow, h, Rows(bytesPerRow, h, 0xFF));
    return bands;
}

// End of the document with the default options: FeedingLength 0, the feed, initialise.
const std::string kDefaultEndDoc = kPrintNoFeed + kFeedEnd + kInitialise;

TEST_F(ReceiptFlowTest, DefaultJobSendsExactlyTheseBytes) {
    const TestPage page =
        TestPage::FromArt({"#..............#", "................", "########........"});
    FilterResult r = Run({page});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string graphics = Band(2, 3, Bytes({0x80, 0x01, 0x00, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + PageBytes(graphics) + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, TwoPagesAreEachCutIntoTheirOwnBandsAndTheDocumentPartsComeOnce) {
    // Page 1 ends on a band of 2 rows; page 2 must still be cut into bands of 24.
    FilterResult r = Run({Stripes(8, {{'#', 50}}), Stripes(8, {{'#', 48}})}, {{"PrintLogo", "0"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Hex(r.out),
              Hex(kCarriageReturns + kStartDoc + kLogo + PageBytes(BlackBands(1, {24, 24, 2})) +
                  kCarriageReturns + PageBytes(BlackBands(1, {24, 24})) + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, CashboxPulsesTheDrawerOncePerDocument) {
    const std::vector<TestPage> pages = {Stripes(8, {{'.', 4}}), Stripes(8, {{'.', 4}})};
    const std::string twoBlankPages = PageBytes("") + kCarriageReturns + PageBytes("");
    FilterResult atEnd = Run(pages, {{"Cashbox", "1"}, {"SavingPaper", "0"}});
    EXPECT_EQ(Hex(atEnd.out), Hex(kCarriageReturns + kStartDoc + twoBlankPages + kPrintNoFeed +
                                  kFeedEnd + kDrawerPulse + kInitialise));
    FilterResult atStart = Run(pages, {{"Cashbox", "2"}, {"SavingPaper", "0"}});
    EXPECT_EQ(Hex(atStart.out),
              Hex(kCarriageReturns + kStartDoc + kDrawerPulse + twoBlankPages + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, BlackMarkFeedsOnEveryPage) {
    const std::vector<TestPage> pages = {Stripes(8, {{'#', 1}}), Stripes(8, {{'#', 1}})};
    const std::string band = BlackBands(1, {1});
    FilterResult atEnd = Run(pages, {{"BlackMark", "1"}});
    const std::string pageWithMarkAfter = kCarriageReturns + band + kPrintNoFeed + kBlackMarkFeed;
    EXPECT_EQ(Hex(atEnd.out), Hex(kCarriageReturns + kStartDoc + pageWithMarkAfter +
                                  kCarriageReturns + pageWithMarkAfter + kDefaultEndDoc));
    FilterResult atStart = Run(pages, {{"BlackMark", "2"}});
    const std::string pageWithMarkBefore = kCarriageReturns + kBlackMarkFeed + band + kPrintNoFeed;
    EXPECT_EQ(Hex(atStart.out), Hex(kCarriageReturns + kStartDoc + pageWithMarkBefore +
                                    kCarriageReturns + pageWithMarkBefore + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, FeedingModeSelectsItsLengthTable) {
    const std::vector<std::string> lengths = {
        Bytes({0x1B, 0x4A, 0x00}),
        Bytes({0x1B, 0x4A, 0x28}),
        Bytes({0x1B, 0x4A, 0x50}),
        Bytes({0x1B, 0x4A, 0x78}),
        Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x28}),
        Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x50}),
    };
    const std::vector<TestPage> pages = {Stripes(8, {{'.', 2}}), Stripes(8, {{'.', 2}})};
    for (size_t choice = 0; choice < lengths.size(); ++choice) {
        // The other table's option holds a different length, which must not be used.
        const std::string mine = std::to_string(choice), other = std::to_string(5 - choice);
        const std::string& length = lengths[choice];
        struct Case {
            std::string mode, cuttingLength, feedingLength, pageEnd, docEnd;
        };
        for (const Case& c : {Case{"0", other, mine, kPrintNoFeed, length + kFeedEnd},
                              Case{"1", mine, other, kPrintNoFeed, length + kPartialCut},
                              Case{"2", mine, other, kPrintNoFeed + kPartialCut, length},
                              Case{"", mine, other, kPrintNoFeed, length}}) {
            SCOPED_TRACE("FeedingMode '" + c.mode + "' length " + mine);
            FilterResult r = Run(pages, {{"FeedingMode", c.mode},
                                         {"CuttingLength", c.cuttingLength},
                                         {"FeedingLength", c.feedingLength},
                                         {"SavingPaper", "0"}});
            const std::string page = kCarriageReturns + c.pageEnd;
            EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + page + kCarriageReturns +
                                      page + c.docEnd + kInitialise));
        }
    }
}

TEST_F(ReceiptFlowTest, SavingPaperFeedsOverBlankRowsInsteadOfPrintingThem) {
    const TestPage page = Stripes(8, {{'#', 2}, {'.', 30}, {'#', 2}});
    const std::string firstBand = Band(1, 24, Rows(1, 2, 0xFF) + Rows(1, 22, 0));
    FilterResult off = Run({page}, {{"SavingPaper", "1"}});
    EXPECT_EQ(
        Hex(off.out),
        Hex(kCarriageReturns + kStartDoc +
            PageBytes(firstBand + Band(1, 10, Rows(1, 8, 0) + Rows(1, 2, 0xFF))) + kDefaultEndDoc));
    FilterResult on = Run({page}, {{"SavingPaper", "0"}});
    EXPECT_EQ(Hex(on.out),
              Hex(kCarriageReturns + kStartDoc +
                  PageBytes(firstBand + Bytes({0x1B, 0x4A, 0x08}) + BlackBands(1, {2})) +
                  kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, BlankRowsBetweenBandsBecomeFeedsOfTheirLength) {
    const std::vector<std::pair<uint32_t, std::string>> cases = {
        {30, Bytes({0x1B, 0x4A, 0x1E})}, {300, Bytes({0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x2D})}};
    for (const auto& [blank, feed] : cases) {
        FilterResult r =
            Run({Stripes(16, {{'#', 24}, {'.', blank}, {'#', 24}})}, {{"SavingPaper", "0"}});
        EXPECT_EQ(Hex(r.out),
                  Hex(kCarriageReturns + kStartDoc +
                      PageBytes(BlackBands(2, {24}) + feed + BlackBands(2, {24})) + kDefaultEndDoc))
            << blank << " blank rows";
    }
}

TEST_F(ReceiptFlowTest, AllWhitePageSendsNoGraphics) {
    FilterResult r = Run({Stripes(576, {{'.', 100}})}, {{"SavingPaper", "0"}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + PageBytes("") + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, HorizontalOffsetsMoveTheImageAndClipAtThePageEdge) {
    // Dots at columns 0, 20 and 31 of a 32-dot row; 2 mm at 203 dpi is 16 dots.
    std::string row(32, '.');
    row[0] = row[20] = row[31] = '#';
    const TestPage page = TestPage::FromArt({row});
    struct Case {
        std::string direction, value;
        std::string dots;
    };
    for (const Case& c :
         {Case{"0", "2.0", Bytes({0x00, 0x00, 0x80, 0x00})},  // right: 20 and 31 fall off
          Case{"1", "2.0", Bytes({0x08, 0x01, 0x00, 0x00})},  // left: 0 falls off
          Case{"0", "0.0", Bytes({0x80, 0x00, 0x08, 0x01})},
          Case{"0", "", Bytes({0x80, 0x00, 0x08, 0x01})},      // no value: no offset
          Case{"", "2.0", Bytes({0x80, 0x00, 0x08, 0x01})},    // no direction: no offset
          Case{"1", "-2.0", Bytes({0x80, 0x00, 0x08, 0x01})},  // not a distance
          Case{"0", "100", Bytes({0x00, 0x00, 0x00, 0x00})},   // past the edge
          Case{"1", "100", Bytes({0x00, 0x00, 0x00, 0x00})},
          Case{"1", "1e300", Bytes({0x00, 0x00, 0x00, 0x00})}}) {
        SCOPED_TRACE("HorizontalOffset '" + c.direction + "' value '" + c.value + "'");
        FilterResult r =
            Run({page}, {{"HorizontalOffset", c.direction}, {"HorizontalOffsetValue", c.value}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.termSignal, 0);
        EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + PageBytes(Band(4, 1, c.dots)) +
                                  kDefaultEndDoc));
    }
}

TEST_F(ReceiptFlowTest, RowsATruncatedStreamNeverDeliveredPrintWhite) {
    const TestPage page = Stripes(8, {{'#', 30}});
    const RasterStream stream = MakeRasterStream({page});
    // Ten whole rows and half of the eleventh.
    const size_t cut = stream.pageEnds[0] - 20 * page.BytesPerLine() + page.BytesPerLine() / 2;
    FilterResult r = RunStdin(stream.bytes.substr(0, cut));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: The job's data ended inside page 1 (10 of its rows arrived).\n");
    const std::string graphics =
        Band(1, 24, Rows(1, 10, 0xFF) + Rows(1, 14, 0)) + Band(1, 6, Rows(1, 6, 0));
    EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + PageBytes(graphics) + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, HostilePageHeadersEndTheJobWithAnError) {
    TestPage huge;
    huge.width = 100000;
    huge.height = 100000;
    TestPage empty;
    empty.width = 0;
    empty.height = 0;
    TestPage overflow;
    overflow.width = 0x55555556u;
    overflow.height = 3;
    TestPage tooWide;  // fits in memory, not in a GS v 0 row
    tooWide.width = 600000;
    tooWide.height = 1;
    const TestPage good = Stripes(8, {{'#', 1}});
    const std::string goodJob =
        kCarriageReturns + kStartDoc + PageBytes(BlackBands(1, {1})) + kDefaultEndDoc;
    for (TestPage bad : {huge, empty, overflow, tooWide}) {
        SCOPED_TRACE(std::to_string(bad.width) + " x " + std::to_string(bad.height));
        bad.headerOnly = true;
        FilterResult r = Run({good, bad});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.termSignal, 0);
        EXPECT_TRUE(Has(r.err, "ERROR: Page 2 ")) << r.err;
        EXPECT_EQ(Hex(r.out), Hex(goodJob))
            << "the page before is printed and the document finished";

        FilterResult first = Run({bad});
        EXPECT_EQ(first.exitCode, 1);
        EXPECT_TRUE(Has(first.err, "ERROR: Page 1 ")) << first.err;
        EXPECT_EQ(Hex(first.out), Hex(kInitialise))
            << "the job still ends with the printer's reset";
    }
}

TEST_F(ReceiptFlowTest, GreyAndOneBitPagesPrintAsTheirColourEquivalents) {
    TestPage grey;
    grey.width = 8;
    grey.height = 1;
    grey.bitsPerPixel = 8;
    grey.colorSpace = CUPS_CSPACE_W;
    grey.rows = {0, 0, 255, 255, 0, 255, 255, 255};
    TestPage ink;
    ink.width = 10;
    ink.height = 1;
    ink.bitsPerPixel = 1;
    ink.colorSpace = CUPS_CSPACE_K;
    ink.rows = {0b10100000, 0b01000000};
    FilterResult r = Run({grey, ink});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Hex(r.out),
              Hex(kCarriageReturns + kStartDoc + PageBytes(Band(1, 1, Bytes({0xC8}))) +
                  kCarriageReturns + PageBytes(Band(2, 1, Bytes({0xA0, 0x40}))) + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, StandardInputAndCompressedStreamsGiveTheSameBytes) {
    const std::vector<TestPage> pages = {TestPage::Gradient(40, 30),
                                         Stripes(24, {{'#', 3}, {'.', 5}, {'#', 3}})};
    const std::string expected = Run(pages).out;
    ASSERT_GT(expected.size(), 100u);
    EXPECT_EQ(Run(pages, {}, true).out, expected);
    for (bool compressed : {false, true}) {
        FilterResult r = RunStdin(MakeRasterStream(pages, compressed).bytes);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expected) << "compressed=" << compressed;
    }
}

TEST_F(ReceiptFlowTest, SigtermBetweenPagesStopsBeforeTheNextPageAndFinishesTheDocument) {
    const std::vector<TestPage> pages = {Stripes(8, {{'#', 1}}), Stripes(8, {{'#', 2}}),
                                         Stripes(8, {{'#', 3}})};
    const RasterStream stream = MakeRasterStream(pages);
    args.ppdPath = ReceiptPpd().WriteTo(dir.File("queue.ppd"));
    FilterProcess process(kFilter, args);
    process.Write(stream.bytes.substr(0, stream.pageEnds[0]));
    // Each page reaches standard output as soon as it is built.
    const std::string firstPage = PageBytes(BlackBands(1, {1}));
    ASSERT_TRUE(process.WaitForOutput(firstPage, std::chrono::seconds(20)));
    process.Signal(SIGTERM);
    process.Write(stream.bytes.substr(stream.pageEnds[0]));
    FilterResult r = process.Finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: The job was cancelled; pages after page 1 were not printed.\n");
    EXPECT_EQ(Hex(r.out), Hex(kCarriageReturns + kStartDoc + firstPage + kDefaultEndDoc));
}

TEST_F(ReceiptFlowTest, StartUpFailuresAreReportedAndFail) {
    args.argvOverride = std::vector<std::string>{"1", "user", "title", "1"};
    FilterResult r = RunFilter(kFilter, args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: rastertomoxcp job-id user title copies options [file]\n");
    EXPECT_EQ(r.out, "");
    args.argvOverride.reset();

    args.rasterFile = dir.File("absent.ras");
    r = RunFilter(kFilter, args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: Unable to open raster file\n");
    EXPECT_EQ(r.out, "");

    args.ppdPath = dir.File("absent.ppd");
    WriteRasterFile(dir.File("job.ras"), {Stripes(8, {{'#', 1}})});
    args.rasterFile = dir.File("job.ras");
    r = RunFilter(kFilter, args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("ERROR: The PPD file could not be opened. ", 0), 0u) << r.err;
    EXPECT_TRUE(Has(r.err, "absent.ppd: No such file or directory\n")) << r.err;
    EXPECT_EQ(r.out, "");

    r = RunStdin("this is not a raster stream");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("ERROR: cupsRasterOpen failed.", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(ReceiptFlowTest, NoPageEndsWithStatusOneAndOnlyThePrintersReset) {
    FilterResult r = Run({}, {{"Cashbox", "1"}, {"FeedingMode", "1"}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: No pages were found.\n");
    EXPECT_EQ(Hex(r.out), Hex(kInitialise)) << "no feed, cut or drawer pulse without a receipt";
}

TEST_F(ReceiptFlowTest, DriverLogRecordsTheOptionsAndTheOffset) {
    FilterResult r = Run({Stripes(32, {{'#', 1}})}, {{"DriverLog", "1"},
                                                     {"Cashbox", "2"},
                                                     {"HorizontalOffset", "1"},
                                                     {"HorizontalOffsetValue", "2.0"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string log = ReadFile(kLogFile);
    for (const char* line : {"Cashbox: 2", "FeedingMode: 0", "FeedingLength: 0", "SavingPaper: 1",
                             "HorizontalOffsetValue: 16", "HorizontalOffset: 1", "signIndex: -1",
                             "PrintLogo: 1", "StartPage...", "cupsWidth = 32"}) {
        EXPECT_TRUE(Has(log, line)) << line;
    }
}

}  // namespace

namespace {

TEST_F(ReceiptFlowTest, ALostPrinterStreamFailsTheJobWithOneErrorLine) {
    const struct {
        FilterStdout output;
        const char* cause;
    } kCases[] = {{FilterStdout::DevFull, "No space left on device"},
                  {FilterStdout::ReaderGone, "the printer connection was closed"}};
    for (const auto& c : kCases) {
        args.output = c.output;
        FilterResult r = Run({Stripes(8, {{'#', 2}}), Stripes(8, {{'#', 3}})});
        EXPECT_EQ(r.termSignal, 0) << c.cause;
        EXPECT_EQ(r.exitCode, 1) << c.cause;
        EXPECT_EQ(r.err, std::string("ERROR: Writing to the printer failed: ") + c.cause + ".\n");
    }
}

}  // namespace
