// rastomoxzpl under the real CUPS filter chain: cupsfilter with the shipped PPDs turns the
// sample label PDF into a raster job, the filter into ZPL; the ZPL is decoded as a printer
// would and its barcodes are read back with zbarimg.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/cupsfilter_runner.h"
#include "tests/support/label_checks.h"
#include "tests/support/temp_dir.h"
#include "tools/preview/bitmap.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

// The first graphic download's data, ":Z64:<Base64>:<crc>": how long its zlib stream is, and
// how long zlib's default level makes the same dots.
struct StreamSizes {
    size_t sent = 0;
    size_t zlib = 0;
};
StreamSizes FirstGraphicSizes(const std::string& zpl) {
    StreamSizes sizes;
    bool found = false;
    ZplDecodeOptions options;
    options.renderImages = false;
    options.onDownload = [&](const ZplDownload& download, const std::vector<uint8_t>& dots) {
        if (std::exchange(found, true) || download.encoding != "Z64" || download.dataChars < 10)
            return;
        std::vector<uint8_t> out(compressBound(dots.size()));
        uLongf size = out.size();
        compress2(out.data(), &size, dots.data(), dots.size(), Z_DEFAULT_COMPRESSION);
        sizes = {(download.dataChars - 10) / 4 * 3, size};
    };
    DecodeZpl(zpl, options);
    return sizes;
}

const std::string kPpdDir = MX_PPD_DIR;

class ZplEndToEndTest : public ::testing::Test {
  protected:
    std::string SamplePdf(const std::string& size, int pages = 1) {
        return SampleLabelPdf(dir, size, pages);
    }
    FilterResult Print(const std::string& ppd, const std::string& pdf,
                       std::vector<std::pair<std::string, std::string>> options = {}) {
        CupsFilterJob job;
        job.ppd = kPpdDir + "/" + ppd;
        job.input = pdf;
        job.filters = {{"rastomoxzpl", RASTOMOXZPL}};
        job.options = std::move(options);
        return RunCupsFilter(job);
    }
    std::string Barcodes(const GreyBitmap& image) { return ::Barcodes(dir, image); }
    Box ReferenceBox(const std::string& pdf, int dpi) { return ::ReferenceBox(dir, pdf, dpi); }

    TempDir dir;
};

TEST_F(ZplEndToEndTest, FourBySixLabelAtBothResolutions) {
    const std::string pdf = SamplePdf("4x6in");
    struct Case {
        const char* ppd;
        int dpi, width, height;
    } cases[] = {{"mxzpl203.ppd", 203, 812, 1218}, {"mxzpl300.ppd", 300, 1200, 1800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ppd);
        FilterResult r = Print(c.ppd, pdf);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ZplDecodeResult zpl = DecodeZpl(r.out);
        ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
        ASSERT_EQ(zpl.labels.size(), 1u) << FormatSummary(zpl);
        const ZplLabel& label = zpl.labels[0];
        EXPECT_EQ(label.printWidth, static_cast<uint32_t>(c.width + 9));
        EXPECT_EQ(label.labelLength, static_cast<uint32_t>(c.height + 9));
        EXPECT_EQ(label.copies, 1u);
        const std::string codes = Barcodes(label.image);
        EXPECT_NE(codes.find("CODE-128:MX0012345678"), std::string::npos) << codes;
        EXPECT_NE(codes.find("QR-Code:MXTRACK:MX0012345678"), std::string::npos) << codes;
        // The printed content sits where the PDF puts it, to within a dot or two.
        const Box printed = DarkBox(label.image);
        const Box reference = ReferenceBox(pdf, c.dpi);
        EXPECT_NEAR(printed.left, reference.left, 2);
        EXPECT_NEAR(printed.top, reference.top, 2);
        EXPECT_NEAR(printed.right, reference.right, 2);
        EXPECT_NEAR(printed.bottom, reference.bottom, 2);
        // The graphic encoder gives up no bytes for its speed: the label's stream is no longer
        // than zlib's default level makes of the same dots.
        const StreamSizes sizes = FirstGraphicSizes(r.out);
        EXPECT_GT(sizes.sent, 0u);
        EXPECT_LE(sizes.sent, sizes.zlib);
    }
}

TEST_F(ZplEndToEndTest, SmallLabelAndSeveralPages) {
    const std::string pdf = SamplePdf("2x1in", 3);
    FilterResult r = Print("mxzpl203.ppd", pdf,
                           {{"PageSize", "w144h72"}, {"MediaType", "Thermal"}, {"Density", "22"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ZplDecodeResult zpl = DecodeZpl(r.out);
    ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
    ASSERT_EQ(zpl.labels.size(), 3u);
    for (const ZplLabel& label : zpl.labels) {
        EXPECT_EQ(label.printWidth, 415u);
        EXPECT_EQ(label.labelLength, 212u);
        const std::string codes = Barcodes(label.image);
        EXPECT_NE(codes.find("CODE-128:12345678"), std::string::npos) << codes;
    }
    const std::string summary = FormatSummary(zpl);
    EXPECT_NE(summary.find("setting ~SD 22"), std::string::npos) << summary;
    EXPECT_NE(summary.find("setting ^MT T"), std::string::npos) << summary;
}

TEST_F(ZplEndToEndTest, CopiesAndContentOnlyLabels) {
    const std::string pdf = SamplePdf("4x6in");
    FilterResult r = Print("mxzpl203.ppd", pdf, {{"PrintMode", "1"}, {"copies", "2"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ZplDecodeResult zpl = DecodeZpl(r.out);
    ASSERT_TRUE(zpl.ok()) << FormatSummary(zpl);
    ASSERT_EQ(zpl.labels.size(), 1u);
    const ZplLabel& label = zpl.labels[0];
    EXPECT_EQ(label.copies, 2u);
    EXPECT_LT(label.printWidth.value_or(0), 821u) << "the label is cut to the content";
    const std::string codes = Barcodes(label.image);
    EXPECT_NE(codes.find("CODE-128:MX0012345678"), std::string::npos) << codes;
}

}  // namespace
