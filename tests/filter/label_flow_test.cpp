// The label filters' job flow as CUPS runs it: real processes, real raster streams and PPDs,
// with a renderer that prints each call it receives.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kZpl = RECORDING_ZPL_FLOW;
const std::string kTspl = RECORDING_TSPL_FLOW;
const std::string kEpl = RECORDING_EPL_FLOW;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Sends(const std::string& out) {
    std::vector<std::string> sends;
    for (const std::string& line : Lines(out)) {
        if (line.rfind("TransCommand", 0) == 0) sends.push_back(line);
    }
    return sends;
}

std::string HashOf(const std::vector<uint8_t>& image) {
    char text[32];
    std::snprintf(text, sizeof(text), "hash=%016" PRIx64, Fnv1a(image.data(), image.size()));
    return text;
}

std::string HashOf(const TestPage& page) {
    return HashOf(ExpectedPageImage(page));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A hand-over line carries the page in the form its "bits=" names: 8 is the label grey of a
// page read in blocks, 24 blue-green-red.
bool Carries(const std::string& send, const TestPage& page) {
    return Has(send, HashOf(ExpectedPageImage(page, Has(send, " bits=8 ") ? 8 : 24)));
}

class Job {
  public:
    explicit Job(const PpdFixture& ppd = PpdFixture()) {
        args.ppdPath = ppd.WriteTo(dir.File("queue.ppd"));
    }

    FilterResult RunFile(const std::string& program, const std::vector<TestPage>& pages,
                         bool compressed = false) {
        WriteRasterFile(dir.File("job.ras"), pages, compressed);
        args.rasterFile = dir.File("job.ras");
        return RunFilter(program, args);
    }
    FilterResult RunStdin(const std::string& program, const std::string& bytes) {
        args.rasterFile.reset();
        return RunFilter(program, args, bytes);
    }

    TempDir dir;
    FilterArgs args;
};

TEST(LabelFlowTest, OnePageGoesOutInTheFinalHandOverFlaggedLast) {
    const TestPage page = TestPage::Gradient(21, 9);
    for (const std::string& program : {kZpl, kTspl, kEpl}) {
        SCOPED_TRACE(program);
        Job job;
        FilterResult r = job.RunFile(program, {page});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), 1u) << r.out;
        EXPECT_TRUE(
            Has(sends[0], "page=1 last=1 log=0 width=21 height=9 bits=24 size=576 " + HashOf(page)))
            << sends[0];
        EXPECT_TRUE(
            Has(r.out, "StartDocCMD dpi=203,203 orientation=1 collate=0 copies=1 size=21,9"))
            << r.out;
    }
}

TEST(LabelFlowTest, ZplNumbersAnIntermediatePageWithThePageJustStarted) {
    const std::vector<TestPage> pages = {TestPage::Gradient(8, 4), TestPage::Solid(8, 4, 9, 9, 9),
                                         TestPage::Solid(8, 4, 200, 0, 0)};
    Job job;
    FilterResult r = job.RunFile(kZpl, pages);
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 3u) << r.out;
    EXPECT_TRUE(Has(sends[0], "page=2 last=0") && Carries(sends[0], pages[0])) << sends[0];
    EXPECT_TRUE(Has(sends[1], "page=3 last=0") && Carries(sends[1], pages[1])) << sends[1];
    EXPECT_TRUE(Has(sends[2], "page=3 last=1") && Carries(sends[2], pages[2])) << sends[2];
    const std::vector<std::string> lines = Lines(r.out);
    EXPECT_EQ(lines.front(), "construct");
    EXPECT_EQ(lines.back(), "destroy");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "construct"), 1) << "one renderer for the job";
    EXPECT_TRUE(Has(r.out, "gap=30 levels=100")) << "the ZPL settings readers ran";
}

TEST(LabelFlowTest, TsplAndEplNumberThePageBeingSent) {
    const std::vector<TestPage> pages = {TestPage::Gradient(8, 4), TestPage::Solid(8, 4, 9, 9, 9),
                                         TestPage::Solid(8, 4, 200, 0, 0)};
    for (const std::string& program : {kTspl, kEpl}) {
        SCOPED_TRACE(program);
        Job job;
        FilterResult r = job.RunFile(program, pages);
        std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), 3u) << r.out;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(
                Has(sends[i], "page=" + std::to_string(i + 1) + " last=" + (i == 2 ? "1" : "0")))
                << sends[i];
            EXPECT_TRUE(Carries(sends[i], pages[i]));
        }
        EXPECT_TRUE(Has(r.out, "gap=0 levels=0"));
    }
}

TEST(LabelFlowTest, EplMakesAFreshRendererForEveryCallAndReportsEachPage) {
    Job job;
    FilterResult r = job.RunFile(kEpl, {TestPage::Gradient(8, 4), TestPage::Gradient(8, 4)});
    const std::vector<std::string> lines = Lines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "construct"), 3)
        << "start of document and two pages";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "destroy"), 3);
    EXPECT_EQ(r.err, "Finish print operation.Finish print operation.");
}

TEST(LabelFlowTest, EplRendererFailureEndsTheJobAtOnce) {
    Job job;
    job.args.env.push_back("RECORDING_FAIL_PAGE=1");
    FilterResult r = job.RunFile(
        kEpl, {TestPage::Gradient(8, 4), TestPage::Gradient(8, 4), TestPage::Gradient(8, 4)});
    EXPECT_EQ(r.exitCode, 0);
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 1u) << r.out;
    EXPECT_TRUE(Has(sends[0], "page=1 last=0"));
}

TEST(LabelFlowTest, ZplAndTsplGoOnAfterARendererFailure) {
    for (const std::string& program : {kZpl, kTspl}) {
        Job job;
        job.args.env.push_back("RECORDING_FAIL_PAGE=2");
        FilterResult r = job.RunFile(program, {TestPage::Gradient(8, 4), TestPage::Gradient(8, 4),
                                               TestPage::Gradient(8, 4)});
        EXPECT_EQ(Sends(r.out).size(), 3u) << program;
    }
}

TEST(LabelFlowTest, NoPagesIsReportedAtClose) {
    for (const std::string& program : {kZpl, kTspl, kEpl}) {
        Job job;
        FilterResult r = job.RunFile(program, {});
        EXPECT_EQ(r.exitCode, 0) << program;
        EXPECT_EQ(r.err, "No pages were found.") << program;
        EXPECT_TRUE(Sends(r.out).empty());
        EXPECT_FALSE(Has(r.out, "StartDocCMD"));
    }
}

TEST(LabelFlowTest, StandardInputAndCompressedStreamsGiveTheSamePages) {
    const std::vector<TestPage> pages = {TestPage::Gradient(33, 17), TestPage::Gradient(10, 3)};
    Job fromFile;
    const std::vector<std::string> expected = Sends(fromFile.RunFile(kTspl, pages).out);
    ASSERT_EQ(expected.size(), 2u);
    for (bool compressed : {false, true}) {
        Job fromStdin;
        FilterResult r = fromStdin.RunStdin(kTspl, MakeRasterStream(pages, compressed).bytes);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Sends(r.out), expected) << "compressed=" << compressed;
    }
}

TEST(LabelFlowTest, LaterPagesKeepTheirOwnSizeWhileTheRecordsKeepPageOnes) {
    const std::vector<TestPage> pages = {TestPage::Gradient(8, 4), TestPage::Gradient(13, 7),
                                         TestPage::Gradient(5, 2)};
    Job job;
    FilterResult r = job.RunFile(kZpl, pages);
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_TRUE(Has(sends[1], "width=13 height=7 bits=24 size=280 " + HashOf(pages[1])))
        << sends[1];
    EXPECT_TRUE(Has(sends[2], "width=5 height=2 bits=24 size=32 " + HashOf(pages[2]))) << sends[2];
    EXPECT_TRUE(Has(r.out, "size=8,4 ")) << "the device records describe page 1";
}

TEST(LabelFlowTest, RowsATruncatedStreamNeverDeliveredPrintWhite) {
    const TestPage first = TestPage::Gradient(8, 4);
    const TestPage second = TestPage::Gradient(10, 6);
    RasterStream stream = MakeRasterStream({first, second});
    // Keep the first three rows of page 2 and half of its fourth.
    const size_t rowBytes = second.BytesPerLine();
    const size_t cut = stream.pageEnds[1] - 3 * rowBytes + rowBytes / 2;
    std::vector<uint8_t> expected = ExpectedPageImage(second);
    const size_t stride = expected.size() / second.height;
    std::fill(expected.begin() + static_cast<long>(3 * stride), expected.end(), 0xFF);

    Job job;
    FilterResult r = job.RunStdin(kZpl, stream.bytes.substr(0, cut));
    EXPECT_EQ(r.exitCode, 1) << "a job whose data ended early is not printed whole";
    EXPECT_EQ(r.err, "ERROR: The job's data ended inside page 2 (3 of its 6 rows arrived).\n");
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 2u) << r.out;
    EXPECT_TRUE(Has(sends[1], "last=1") && Has(sends[1], HashOf(expected))) << sends[1];
}

TEST(LabelFlowTest, TruncatedPageReadInBlocksKeepsEveryWholeRow) {
    // Rows of 24 bytes need no padding, so the page is read in blocks of many rows at once.
    const TestPage page = TestPage::Gradient(8, 23000);
    RasterStream stream = MakeRasterStream({page});
    const size_t rowBytes = page.BytesPerLine();
    const size_t keptRows = 15000;
    const size_t cut = stream.pageEnds[0] - (page.height - keptRows) * rowBytes + rowBytes / 2;
    // Such rows come as they are, so the job reads them as the label grey.
    std::vector<uint8_t> expected = ExpectedPageImage(page, 8);
    const size_t stride = expected.size() / page.height;
    std::fill(expected.begin() + static_cast<long>(keptRows * stride), expected.end(), 0xFF);

    Job job;
    FilterResult r = job.RunStdin(kTspl, stream.bytes.substr(0, cut));
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 1u) << r.out;
    EXPECT_TRUE(Has(sends[0], HashOf(expected))) << sends[0];

    Job whole;
    sends = Sends(whole.RunStdin(kTspl, stream.bytes).out);
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_TRUE(Carries(sends[0], page)) << "an untruncated page arrives whole";
}

TEST(LabelFlowTest, GreyAndOneBitPagesArriveAsColourPages) {
    TestPage grey;
    grey.width = 3;
    grey.height = 1;
    grey.bitsPerPixel = 8;
    grey.colorSpace = CUPS_CSPACE_W;
    grey.rows = {0, 100, 255};
    TestPage ink;
    ink.width = 9;
    ink.height = 1;
    ink.bitsPerPixel = 1;
    ink.colorSpace = CUPS_CSPACE_K;
    ink.rows = {0b10000000, 0b10000000};
    TestPage greyAsColour = TestPage::Solid(3, 1, 0, 0, 0);
    greyAsColour.rgb = {0, 0, 0, 100, 100, 100, 255, 255, 255};
    TestPage inkAsColour = TestPage::Solid(9, 1, 255, 255, 255);
    std::fill(inkAsColour.rgb.begin(), inkAsColour.rgb.begin() + 3, 0);
    std::fill(inkAsColour.rgb.begin() + 24, inkAsColour.rgb.end(), 0);

    Job job;
    FilterResult r = job.RunFile(kZpl, {grey, ink});
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 2u) << r.out << r.err;
    EXPECT_TRUE(Has(sends[0], "bits=24 size=12 " + HashOf(greyAsColour))) << sends[0];
    EXPECT_TRUE(Has(sends[1], "bits=24 size=28 " + HashOf(inkAsColour))) << sends[1];
}

TEST(LabelFlowTest, DriverLogOnPassesTheLogFlag) {
    Job job(PpdFixture().NumericOption("DriverLog", {"0", "1"}, "1"));
    FilterResult r = job.RunFile(kTspl, {TestPage::Gradient(4, 4)});
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_TRUE(Has(sends[0], "log=1"));
}

TEST(LabelFlowTest, BufferReplacedByTheRendererIsFreedByTheLoop) {
    Job job;
    job.args.env.push_back("RECORDING_SWAP_BUFFER=1");
    job.args.env.push_back("MALLOC_CHECK_=3");
    FilterResult r = job.RunFile(kZpl, {TestPage::Gradient(8, 4), TestPage::Gradient(8, 4)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(Sends(r.out).size(), 2u);
}

TEST(LabelFlowTest, SigtermBetweenPagesSendsThePageReadLastAsTheLast) {
    const std::vector<TestPage> pages = {TestPage::Solid(8, 4, 1, 1, 1),
                                         TestPage::Solid(8, 4, 2, 2, 2),
                                         TestPage::Solid(8, 4, 3, 3, 3)};
    RasterStream stream = MakeRasterStream(pages);
    Job job;
    FilterProcess process(kZpl, job.args);
    process.Write(stream.bytes.substr(0, stream.pageEnds[1]));
    // Page 1 goes to the renderer once the header of page 2 has been read.
    ASSERT_TRUE(process.WaitForOutput("TransCommand page=2", std::chrono::seconds(20)));
    process.Signal(SIGTERM);
    process.Write(stream.bytes.substr(stream.pageEnds[1]));
    FilterResult r = process.Finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "ERROR: The job was cancelled; pages after page 2 were not printed.\n");
    std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 2u) << r.out;
    EXPECT_TRUE(Has(sends[1], "last=1") && Carries(sends[1], pages[1])) << sends[1];
    EXPECT_FALSE(Has(r.out, HashOf(pages[2])) ||
                 Has(r.out, HashOf(ExpectedPageImage(pages[2], 8))));
}

TEST(LabelFlowTest, SigtermWhileTheInputStaysOpenEndsTheJobAtOnce) {
    const std::vector<TestPage> pages = {TestPage::Solid(8, 4, 1, 1, 1),
                                         TestPage::Solid(8, 40, 2, 2, 2)};
    const RasterStream stream = MakeRasterStream(pages);
    // Waiting for the next header, and inside a page whose rows stop coming.
    for (const size_t cut : {stream.pageEnds[0], stream.pageEnds[1] - 100}) {
        Job job;
        FilterProcess process(kTspl, job.args);
        process.Write(stream.bytes.substr(0, cut));
        ASSERT_TRUE(process.WaitForOutput("StartDocCMD", std::chrono::seconds(20)));
        process.Signal(SIGTERM);
        EXPECT_TRUE(process.WaitForExit(std::chrono::seconds(3))) << "the pipe is still open";
        const FilterResult r = process.Finish();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.rfind("ERROR: The job was cancelled", 0), 0u) << r.err;
        const std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), 1u) << "page 1 prints, the page cut short does not";
        EXPECT_TRUE(Carries(sends[0], pages[0]));
    }
}

TEST(LabelFlowTest, StartUpFailuresAreReportedAndFail) {
    for (const std::string& program : {kZpl, kTspl, kEpl}) {
        SCOPED_TRACE(program);
        Job job;
        job.args.argvOverride = std::vector<std::string>{"1", "user", "title", "1"};
        FilterResult r = RunFilter(program, job.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "ERROR: rastertomoxcp job-id user title copies options [file]\n");

        Job missingFile;
        missingFile.args.rasterFile = missingFile.dir.File("absent.ras");
        r = RunFilter(program, missingFile.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "ERROR: Unable to open raster file\n");

        Job missingPpd;
        missingPpd.args.ppdPath = missingPpd.dir.File("absent.ppd");
        r = missingPpd.RunFile(program, {TestPage::Gradient(4, 4)});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "ERROR: The PPD file could not be opened. " + missingPpd.args.ppdPath +
                             ": No such file or directory\n");
        EXPECT_TRUE(Sends(r.out).empty());

        // Unset, not a PPD, or not a regular file: one error line each, no hang.
        const std::string notPpd = missingPpd.dir.File("text.ppd");
        WriteFile(notPpd, "this is not a PPD\n");
        const std::string fifo = missingPpd.dir.File("fifo.ppd");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const struct {
            std::string ppd;
            std::string reason;
        } kBadPpds[] = {{"", "The PPD environment variable is not set.\n"},
                        {notPpd, " on line 1.\n"},
                        {fifo, " is not a regular file.\n"},
                        {"/dev/zero", " is not a regular file.\n"}};
        for (const auto& bad : kBadPpds) {
            missingPpd.args.ppdPath = bad.ppd;
            r = missingPpd.RunFile(program, {TestPage::Gradient(4, 4)});
            EXPECT_EQ(r.exitCode, 1) << bad.ppd;
            EXPECT_EQ(r.err.rfind("ERROR: The PPD file could not be opened. ", 0), 0u) << r.err;
            EXPECT_TRUE(r.err.size() > bad.reason.size() &&
                        r.err.substr(r.err.size() - bad.reason.size()) == bad.reason)
                << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }

        Job garbage;
        r = garbage.RunStdin(program, "this is not a raster stream");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.rfind("ERROR: cupsRasterOpen failed.", 0), 0u) << r.err;
    }
}

TEST(LabelFlowTest, HostilePageHeadersEndTheJobWithAnError) {
    TestPage huge;
    huge.width = 100000;
    huge.height = 100000;
    huge.headerOnly = true;
    TestPage empty;
    empty.width = 0;
    empty.height = 0;
    empty.headerOnly = true;
    TestPage overflow;
    overflow.width = 0x55555556u;
    overflow.height = 3;
    overflow.headerOnly = true;
    for (const TestPage& bad : {huge, empty, overflow}) {
        for (const std::string& program : {kZpl, kTspl, kEpl}) {
            Job job;
            const TestPage good = TestPage::Gradient(8, 4);
            FilterResult r = job.RunFile(program, {good, bad});
            EXPECT_EQ(r.exitCode, 1) << program;
            EXPECT_EQ(r.termSignal, 0);
            EXPECT_TRUE(Has(r.err, "ERROR: Page 2 ")) << r.err;
            std::vector<std::string> sends = Sends(r.out);
            ASSERT_EQ(sends.size(), 1u) << "the good page before is still printed";
            EXPECT_TRUE(Has(sends[0], "last=1") && Carries(sends[0], good));
        }
    }
}

TEST(LabelFlowTest, ZplRemovesTheJobsTemporaryPdfNamedByANumericJobId) {
    const std::string id = std::to_string(880000 + getpid() % 100000);
    const std::string pdf = "/tmp/MXLT_TEMP_CUPS_" + id + ".pdf";
    for (const std::string& program : {kTspl, kZpl}) {
        WriteFile(pdf, "%PDF-1.4");
        Job job;
        job.args.jobId = id;
        job.RunFile(program, {TestPage::Gradient(4, 4)});
        EXPECT_EQ(access(pdf.c_str(), F_OK) == 0, program == kTspl) << program;
    }
    const std::string odd = "/tmp/MXLT_TEMP_CUPS_" + id + "x.pdf";
    WriteFile(odd, "%PDF-1.4");
    Job job;
    job.args.jobId = id + "x";
    job.RunFile(kZpl, {TestPage::Gradient(4, 4)});
    EXPECT_EQ(access(odd.c_str(), F_OK), 0) << "a job id that is not a number names no file";
    unlink(odd.c_str());
}

}  // namespace
