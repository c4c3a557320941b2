// rastomoxepl as CUPS runs it, with the shipped PPDs: the sample label through the real CUPS
// filter chain, and raster jobs of its own; the EPL2 stream is decoded as a printer would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cupsfilter_runner.h"
#include "tests/support/label_checks.h"
#include "tests/support/page_records.h"
#include "tools/epldecode/epl_decoder.h"

namespace {

const std::string kFilter = RASTOMOXEPL;
const std::string kPpdDir = MX_PPD_DIR;

std::vector<uint64_t> CutLabels(const EplJob& job) {
    std::vector<uint64_t> cuts;
    for (const EplCut& cut : job.cuts) cuts.push_back(cut.afterLabel);
    return cuts;
}

class EplFilterTest : public ::testing::Test {
  protected:
    // A raster job of `pages` small labels, `copies` each, on the shipped 203 dpi queue.
    EplJob Run(int pages, unsigned copies, const std::string& options,
               const TestPage& page = BlockPage(64, 48, 16, 8, 24, 12)) {
        return DecodeEpl(
            RunLabelJob(dir, kFilter, kPpdDir + "/mxepl203.ppd", pages, copies, options, page));
    }

    TempDir dir;
};

TEST_F(EplFilterTest, EachCutterModeLabelByLabel) {
    const struct {
        const char* options;
        int pages;
        unsigned copies;
        std::vector<uint64_t> cuts;
    } kCases[] = {
        {"Mode=4 CutMethod=1", 2, 2, {1, 2, 3, 4}},
        {"Mode=4 CutMethod=2", 3, 1, {3}},
        {"Mode=4 CutMethod=2", 2, 2, {4}},
        {"Mode=4 CutMethod=3 Interval=2", 3, 1, {2, 3}},
        {"Mode=4 CutMethod=4", 2, 2, {2, 4}},
        {"Mode=3", 2, 2, {}},
        // A page asking for no copies still prints once.
        {"Mode=3", 1, 0, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.options) + ", " + std::to_string(c.pages) + " pages of " +
                     std::to_string(c.copies));
        const EplJob job = Run(c.pages, c.copies, c.options);
        EXPECT_TRUE(job.ok()) << FormatEplSummary(job);
        EXPECT_EQ(job.printed, uint64_t(c.pages) * std::max(c.copies, 1u));
        EXPECT_EQ(CutLabels(job), c.cuts) << FormatEplSummary(job);
    }
}

TEST_F(EplFilterTest, MirroredNegativeAndShiftedPages) {
    const EplJob plain = Run(1, 1, "Halftone=1");
    ASSERT_EQ(plain.labels.size(), 1u) << FormatEplSummary(plain);
    const GreyBitmap& image = plain.labels[0].image;
    const Box block = DarkBox(image);
    EXPECT_EQ(block.left, 16);
    EXPECT_EQ(block.top, 8);

    // Mirrored about the label width that "q" sends.
    const EplJob mirrored = Run(1, 1, "Halftone=1 Mirror=1");
    ASSERT_EQ(mirrored.labels.size(), 1u);
    const Box flipped = DarkBox(mirrored.labels[0].image);
    EXPECT_EQ(flipped.right, int(image.width()) - 1 - block.left);
    EXPECT_EQ(flipped.left, int(image.width()) - 1 - block.right);
    EXPECT_EQ(flipped.top, block.top);

    // The negative of the content the page carries.
    const EplJob negative = Run(1, 1, "Halftone=1 NegativeFilm=1");
    ASSERT_EQ(negative.labels.size(), 1u);
    EXPECT_EQ(negative.labels[0].darkDots, 0u) << "the page is cropped to its black block";

    const struct {
        const char* options;
        int left, top;
    } kShifts[] = {
        {"VerticalOffset=0 VerticalOffsetValue=2", 16, 24},
        {"HorizontalOffset=0 HorizontalOffsetValue=1", 24, 8},
    };
    for (const auto& s : kShifts) {
        const EplJob shifted = Run(1, 1, std::string("Halftone=1 ") + s.options);
        ASSERT_EQ(shifted.labels.size(), 1u) << s.options;
        const Box moved = DarkBox(shifted.labels[0].image);
        EXPECT_EQ(moved.left, s.left) << s.options;
        EXPECT_EQ(moved.top, s.top) << s.options;
    }
}

TEST(EplEndToEndTest, FourBySixLabelAtBothResolutions) {
    TempDir dir;
    const std::string pdf = SampleLabelPdf(dir, "4x6in");
    const struct {
        const char* ppd;
        int dpi;
        uint32_t width, length;
    } kCases[] = {{"mxepl203.ppd", 203, 816, 1219}, {"mxepl300.ppd", 300, 1200, 1801}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.ppd);
        CupsFilterJob job;
        job.ppd = kPpdDir + "/" + c.ppd;
        job.input = pdf;
        job.filters = {{"rastomoxepl", kFilter}};
        const FilterResult r = RunCupsFilter(job);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const EplJob epl = DecodeEpl(r.out);
        ASSERT_TRUE(epl.ok()) << FormatEplSummary(epl);
        ASSERT_EQ(epl.labels.size(), 1u);
        const EplLabel& label = epl.labels[0];
        EXPECT_EQ(label.widthDots, c.width);
        ASSERT_TRUE(label.media.has_value());
        EXPECT_EQ(label.media->lengthDots, c.length);
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

}  // namespace
