// rastomoxtspl as CUPS runs it, with the shipped PPDs: the sample label through the real CUPS
// filter chain, and raster jobs of its own; the TSPL stream is decoded as a printer would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cupsfilter_runner.h"
#include "tests/support/label_checks.h"
#include "tests/support/page_records.h"
#include "tools/tspldecode/tspl_decoder.h"

namespace {

const std::string kFilter = RASTOMOXTSPL;
const std::string kPpdDir = MX_PPD_DIR;

// The labels (numbered from 1) that a cut follows.
std::vector<uint64_t> CutLabels(const TsplJob& job) {
    std::vector<uint64_t> cuts;
    for (size_t i = 0; i < job.cutAfter.size(); ++i) {
        if (job.cutAfter[i]) cuts.push_back(i + 1);
    }
    return cuts;
}

class TsplFilterTest : public ::testing::Test {
  protected:
    // A raster job of `pages` small labels, `copies` each, on the shipped 203 dpi queue.
    TsplJob Run(int pages, unsigned copies, const std::string& options,
                const TestPage& page = BlockPage(64, 32, 16, 8, 24, 12)) {
        TsplDecodeOptions decode;
        decode.dpi = 203;
        return DecodeTspl(
            RunLabelJob(dir, kFilter, kPpdDir + "/mxtspl203.ppd", pages, copies, options, page),
            decode);
    }

    TempDir dir;
};

TEST_F(TsplFilterTest, CutRulesLabelByLabel) {
    const struct {
        const char* options;
        int pages;
        unsigned copies;
        std::vector<uint64_t> cuts;
    } kCases[] = {
        {"Mode=4 CutMethod=1", 2, 2, {1, 2, 3, 4}},
        {"Mode=4 CutMethod=2", 3, 1, {3}},
        {"Mode=4 CutMethod=2", 2, 3, {6}},
        // Every 3 labels, five copies a page: the label closing an interval prints alone with
        // the cutter on, and the job's last label is cut off too.
        {"Mode=4 CutMethod=3 Interval=3", 2, 5, {3, 6, 9, 10}},
        {"Mode=4 CutMethod=3 Interval=4", 3, 2, {4, 6}},
        {"Mode=4 CutMethod=3 Interval=2", 4, 1, {2, 4}},
        {"Mode=4 CutMethod=3 Interval=1", 3, 1, {1, 2, 3}},
        {"Mode=3", 2, 2, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.options) + ", " + std::to_string(c.pages) + " pages of " +
                     std::to_string(c.copies));
        const TsplJob job = Run(c.pages, c.copies, c.options);
        EXPECT_TRUE(job.ok()) << FormatTsplSummary(job);
        EXPECT_EQ(job.Labels(), uint64_t(c.pages) * c.copies);
        EXPECT_EQ(CutLabels(job), c.cuts) << FormatTsplSummary(job);
    }
}

TEST_F(TsplFilterTest, MirroredNegativeAndShiftedPages) {
    const TsplJob plain = Run(1, 1, "Halftone=1");
    ASSERT_EQ(plain.prints.size(), 1u);
    const GreyBitmap& image = plain.prints[0].image;
    const Box block = DarkBox(image);
    EXPECT_EQ(block.left, 16);
    EXPECT_EQ(block.top, 8);
    EXPECT_EQ(image.width(), 64u);

    // Mirrored about the label width that SIZE sends.
    const TsplJob mirrored = Run(1, 1, "Halftone=1 Mirror=1");
    ASSERT_EQ(mirrored.prints.size(), 1u);
    const GreyBitmap& flipped = mirrored.prints[0].image;
    ASSERT_EQ(flipped.width(), image.width());
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            ASSERT_EQ(flipped.At(image.width() - 1 - x, y), image.At(x, y)) << x << "," << y;
        }
    }

    const TsplJob negative = Run(1, 1, "Halftone=1 NegativeFilm=1");
    ASSERT_EQ(negative.prints.size(), 1u);
    EXPECT_EQ(negative.prints[0].darkDots, 64u * 32 - 24 * 12);

    // 2 mm (16 dots) down, or up and right, or up past the top, where it is cut off.
    const struct {
        const char* options;
        int left, top;
    } kShifts[] = {
        {"VerticalOffset=0 VerticalOffsetValue=2", 16, 24},
        {"VerticalOffset=1 VerticalOffsetValue=1 HorizontalOffset=0 HorizontalOffsetValue=1", 24,
         0},
        {"VerticalOffset=1 VerticalOffsetValue=2", 16, 0},
    };
    for (const auto& s : kShifts) {
        const TsplJob shifted =
            Run(1, 1, std::string("Halftone=1 ") + s.options, BlockPage(64, 48, 16, 8, 24, 12));
        ASSERT_EQ(shifted.prints.size(), 1u) << s.options;
        const Box moved = DarkBox(shifted.prints[0].image);
        EXPECT_EQ(moved.left, s.left) << s.options;
        EXPECT_EQ(moved.top, s.top) << s.options;
        EXPECT_TRUE(shifted.ok()) << FormatTsplSummary(shifted);
    }
}

class TsplEndToEndTest : public ::testing::Test {
  protected:
    FilterResult Print(const std::string& ppd, const std::string& pdf,
                       std::vector<std::pair<std::string, std::string>> options = {}) {
        CupsFilterJob job;
        job.ppd = kPpdDir + "/" + ppd;
        job.input = pdf;
        job.filters = {{"rastomoxtspl", kFilter}};
        job.options = std::move(options);
        return RunCupsFilter(job);
    }

    TempDir dir;
};

TEST_F(TsplEndToEndTest, FourBySixLabelAtBothResolutions) {
    const std::string pdf = SampleLabelPdf(dir, "4x6in");
    const struct {
        const char* ppd;
        int dpi, width, height;
    } kCases[] = {{"mxtspl203.ppd", 203, 816, 1218}, {"mxtspl300.ppd", 300, 1200, 1800}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.ppd);
        const FilterResult r = Print(c.ppd, pdf);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        TsplDecodeOptions options;
        options.dpi = static_cast<uint32_t>(c.dpi);
        const TsplJob job = DecodeTspl(r.out, options);
        ASSERT_TRUE(job.ok()) << FormatTsplSummary(job);
        ASSERT_EQ(job.prints.size(), 1u);
        const TsplPrint& label = job.prints[0];
        EXPECT_EQ(label.widthDots, uint32_t(c.width));
        EXPECT_EQ(label.heightDots, uint32_t(c.height));
        EXPECT_EQ(job.Labels(), 1u);
        const std::string codes = Barcodes(dir, label.image);
        EXPECT_NE(codes.find("CODE-128:MX0012345678"), std::string::npos) << codes;
        EXPECT_NE(codes.find("QR-Code:MXTRACK:MX0012345678"), std::string::npos) << codes;
        const Box printed = DarkBox(label.image);
        const Box reference = ReferenceBox(dir, pdf, c.dpi);
        EXPECT_NEAR(printed.left, reference.left, 2);
        EXPECT_NEAR(printed.top, reference.top, 2);
        EXPECT_NEAR(printed.right, reference.right, 2);
        EXPECT_NEAR(printed.bottom, reference.bottom, 2);
    }
}

TEST_F(TsplEndToEndTest, CutIntervalSpanningPages) {
    // Three pages of two copies with a cut after every fourth label: cuts after labels 4 and 6.
    const std::string pdf = SampleLabelPdf(dir, "2x1in", 3);
    const FilterResult r = Print("mxtspl203.ppd", pdf,
                                 {{"PageSize", "w144h72"},
                                  {"Mode", "4"},
                                  {"CutMethod", "3"},
                                  {"Interval", "4"},
                                  {"copies", "2"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const TsplJob job = DecodeTspl(r.out);
    ASSERT_TRUE(job.ok()) << FormatTsplSummary(job);
    EXPECT_EQ(CutLabels(job), (std::vector<uint64_t>{4, 6})) << FormatTsplSummary(job);
    for (const TsplPrint& print : job.prints) {
        const std::string codes = Barcodes(dir, print.image);
        EXPECT_NE(codes.find("CODE-128:12345678"), std::string::npos) << codes;
    }
}

}  // namespace
