// rastomoxzpl as CUPS runs it, on raster jobs written with libcups and PPD fixtures; its ZPL
// is read back with the decoder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/preview/bitmap.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

const std::string kFilter = RASTOMOXZPL;

// The choices a shipped ZPL PPD offers for the options these tests set.
PpdFixture Queue() {
    return PpdFixture()
        .Keyword("OutputDPI", "203")
        .Keyword("MaxOutputWidth", "104")
        .Option("zePrintRate", {{"Default", ""}, {"4", "4"}}, "Default")
        .Option("zeBackfeedRate", {{"Default", ""}, {"2", "2"}}, "Default")
        .Option("zeMediaTracking", {{"Interval", "i"}, {"Mark", "m"}, {"Continuous", "c"}},
                "Interval")
        .NumericOption("FeedModel", {"1", "2", "3"}, "3")
        .NumericOption("CutMethod", {"0", "1", "2", "3"}, "0")
        .NumericOption("Density", {"15", "20", "1000"}, "15")
        .NumericOption("PdfPreprocess", {"0", "1"}, "0")
        .NumericOption("DriverLog", {"0", "1"}, "0");
}

class ZplFilterTest : public ::testing::Test {
  protected:
    FilterResult Run(const std::vector<TestPage>& pages, const std::string& options = "",
                     const PpdFixture& ppd = Queue()) {
        args.ppdPath = ppd.WriteTo(dir.File("queue.ppd"));
        args.options = options;
        WriteRasterFile(dir.File("job.ras"), pages);
        args.rasterFile = dir.File("job.ras");
        return RunFilter(kFilter, args);
    }
    static TestPage Label(uint8_t shade = 0) {
        TestPage page = TestPage::Solid(406, 203, 255, 255, 255);
        for (uint32_t y = 40; y < 160; ++y) {
            for (uint32_t x = 50; x < 350; ++x) {
                if ((x / 4) % 2 == 0) std::fill_n(&page.rgb[(size_t{y} * 406 + x) * 3], 3, shade);
            }
        }
        page.mediaType = "Thermal";
        return page;
    }

    TempDir dir;
    FilterArgs args;
};

TEST_F(ZplFilterTest, SetUpFormatOfGapMediaThermalTransferCutterAndDensity15) {
    FilterResult r = Run({Label()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string setUp =
        "^XA\r\n^SZ2^JMA^MCY^PMN^MNW^LH0,0^LRN^MTT\r\n^PON^MMC\r\n^JZN\r\n~JSN\r\n^JUS~SD15\r\n^"
        "XZ\r\n";
    EXPECT_EQ(r.out.substr(0, setUp.size()), setUp);
    EXPECT_EQ(r.out.find("^XA\r\n^SZ2", setUp.size()), std::string::npos) << "set up once per job";
}

TEST_F(ZplFilterTest, PrinterDensityAndSpeedsFromTheQueue) {
    FilterResult r =
        Run({Label()}, "Density=1000 zePrintRate=4 zeBackfeedRate=2 zeMediaTracking=Continuous");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("^PR4,,2\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("^MNN"), std::string::npos);
    EXPECT_EQ(r.out.find("~SD"), std::string::npos) << "the printer's own darkness is kept";
}

TEST_F(ZplFilterTest, LastPageOfTheJobCarriesTheCut) {
    FilterResult r = Run({Label(), Label(), Label()}, "CutMethod=2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ZplDecodeResult zpl = DecodeZpl(r.out);
    ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
    ASSERT_EQ(zpl.labels.size(), 3u);
    EXPECT_EQ(zpl.labels[0].pauseCut, 0u);
    EXPECT_EQ(zpl.labels[1].pauseCut, 0u);
    EXPECT_EQ(zpl.labels[2].pauseCut, 1u) << "the page sent in the final hand-over is flagged last";
}

TEST_F(ZplFilterTest, PagesAreResampledToTheOutputResolution) {
    // The renderer replaces the page buffer with the resampled one; the job flow frees that one.
    PpdFixture at300 = PpdFixture()
                           .Keyword("OutputDPI", "300")
                           .Keyword("MaxOutputWidth", "104")
                           .NumericOption("PrintMode", {"0", "1"}, "1");
    args.env.push_back("MALLOC_CHECK_=3");
    FilterResult r = Run({Label(), Label()}, "", at300);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.termSignal, 0);
    ZplDecodeResult zpl = DecodeZpl(r.out);
    ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
    ASSERT_EQ(zpl.labels.size(), 2u);
    // 300 columns of bars at 203 dpi become about 443 at 300 dpi.
    ASSERT_FALSE(zpl.labels[0].fields.empty());
    EXPECT_NEAR(zpl.labels[0].fields[0].widthDots, 448, 8);
    EXPECT_NEAR(zpl.labels[0].fields[0].heightDots, 177, 2);
}

// The converted page's buffer is kept from page to page: a job whose pages grow and shrink
// prints each of them as a job of that page alone does.
TEST_F(ZplFilterTest, PagesOfChangingSizesPrintAsTheyDoAlone) {
    const auto checkered = [](uint32_t w, uint32_t h, uint32_t square) {
        TestPage page = TestPage::Solid(w, h, 255, 255, 255);
        for (uint32_t y = 5; y + 5 < h; ++y) {
            for (uint32_t x = 3; x + 3 < w; ++x) {
                if ((x / square + y / square) % 2 == 0)
                    std::fill_n(&page.rgb[(size_t{y} * w + x) * 3], 3, 0);
            }
        }
        page.mediaType = "Thermal";
        return page;
    };
    const auto pixels = [](const GreyBitmap& image) {
        std::vector<uint8_t> all;
        for (uint32_t y = 0; y < image.height(); ++y)
            all.insert(all.end(), image.Row(y), image.Row(y) + image.width());
        return std::make_tuple(image.width(), image.height(), all);
    };
    const std::vector<TestPage> pages = {checkered(120, 60, 3), checkered(406, 203, 5),
                                         checkered(64, 40, 2)};
    FilterResult r = Run(pages);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const ZplDecodeResult job = DecodeZpl(r.out);
    ASSERT_TRUE(job.ok()) << FormatSummary(job);
    ASSERT_EQ(job.labels.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        FilterResult alone = Run({pages[i]});
        ASSERT_EQ(alone.exitCode, 0) << alone.err;
        const ZplDecodeResult one = DecodeZpl(alone.out);
        ASSERT_EQ(one.labels.size(), 1u) << FormatSummary(one);
        EXPECT_GT(one.labels[0].darkDots, 0u);
        EXPECT_TRUE(pixels(job.labels[i].image) == pixels(one.labels[0].image)) << "page " << i;
    }
}

TEST_F(ZplFilterTest, PdfPagesReplaceTheRasterPages) {
    const std::string id = std::to_string(770000 + getpid() % 100000);
    const std::string pdf = "/tmp/MXLT_TEMP_CUPS_" + id + ".pdf";
    FilterArgs make;
    make.argvOverride =
        std::vector<std::string>{"label", "--size", "4x6in", "--pages", "3", "-o", pdf};
    ASSERT_EQ(RunFilter(SAMPLE_PDF, make).exitCode, 0);
    args.jobId = id;
    // The raster pages are blank: whatever prints comes from the PDF, whose pages differ in
    // their page number line.
    TestPage blank = TestPage::Solid(812, 1218, 255, 255, 255);
    FilterResult r = Run({blank, blank, blank}, "PdfPreprocess=1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(access(pdf.c_str(), F_OK), 0) << "the job's PDF is removed at the end of the job";
    ZplDecodeResult zpl = DecodeZpl(r.out);
    ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
    ASSERT_EQ(zpl.labels.size(), 3u);
    std::vector<std::string> images;
    for (const ZplLabel& label : zpl.labels) {
        ASSERT_FALSE(label.image.empty());
        const std::string png = dir.File("page.png");
        ASSERT_TRUE(WritePng(png, label.image));
        FilterArgs zbar;
        zbar.argvOverride = std::vector<std::string>{"-q", png};
        EXPECT_NE(RunFilter("/usr/bin/zbarimg", zbar).out.find("CODE-128:MX0012345678"),
                  std::string::npos);
        images.push_back(ReadFile(png));
    }
    EXPECT_TRUE(images[0] != images[1] && images[1] != images[2])
        << "each label is its own page of the PDF";
}

}  // namespace

namespace {

// Each page is sent on a thread while the next is read. Where no thread can be had (the user's
// process limit reached), the pages go one after the other and the job prints the same.
TEST_F(ZplFilterTest, WithoutASecondThreadTheJobPrintsTheSame) {
    const FilterResult threaded = Run({Label(), Label(0x40), Label()});
    ASSERT_EQ(threaded.exitCode, 0) << threaded.err;
    // As nobody, with one process allowed; only root can switch to nobody, and nobody must be
    // able to reach the filter and the job's files.
    ::chmod(dir.path().c_str(), 0755);
    FilterArgs limited = args;
    // A leak check at exit needs a thread of its own (in the sanitizer build).
    limited.env.push_back("ASAN_OPTIONS=detect_leaks=0");
    auto asNobody = [&](std::vector<std::string> command) {
        std::vector<std::string> argv = {"--reuid=65534",    "--regid=65534", "--clear-groups",
                                         "/usr/bin/prlimit", "--nproc=1",     "--"};
        argv.insert(argv.end(), command.begin(), command.end());
        limited.argvOverride = argv;
        return RunFilter("/usr/bin/setpriv", limited);
    };
    if (::geteuid() != 0 ||
        asNobody({"/usr/bin/test", "-x", kFilter, "-a", "-r", *args.rasterFile}).exitCode != 0)
        GTEST_SKIP() << "the filter cannot be run as nobody here";
    const FilterResult single =
        asNobody({kFilter, args.jobId, args.user, args.title, args.copies, "", *args.rasterFile});
    EXPECT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(single.out, threaded.out);
}

TEST_F(ZplFilterTest, ALostPrinterStreamFailsTheJobWithOneErrorLine) {
    const struct {
        FilterStdout output;
        const char* cause;
    } kCases[] = {{FilterStdout::DevFull, "No space left on device"},
                  {FilterStdout::ReaderGone, "the printer connection was closed"}};
    for (const auto& c : kCases) {
        args.output = c.output;
        FilterResult r = Run({Label(), Label()});
        EXPECT_EQ(r.termSignal, 0) << c.cause;
        EXPECT_EQ(r.exitCode, 1) << c.cause;
        EXPECT_EQ(r.err, std::string("ERROR: Writing to the printer failed: ") + c.cause + ".\n");
    }
    args.output = FilterStdout::Pipe;
    EXPECT_EQ(Run({Label()}).exitCode, 0);
}

}  // namespace
