// rastomoxzpl under the real CUPS filter chain: cupsfilter with the shipped PPDs turns the
// sample label PDF into a raster job, the filter into ZPL; the ZPL is decoded as a printer
// would and its barcodes are read back with zbarimg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/cupsfilter_runner.h"
#include "tests/support/temp_dir.h"
#include "tools/preview/bitmap.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

const std::string kPpdDir = MX_PPD_DIR;

struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;
};

// The smallest rectangle holding every dark pixel of a label preview.
Box DarkBox(const GreyBitmap& image) {
    Box box;
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (image.At(x, y) >= 128) continue;
            if (box.left < 0 || static_cast<int>(x) < box.left) box.left = static_cast<int>(x);
            if (box.top < 0) box.top = static_cast<int>(y);
            box.right = std::max(box.right, static_cast<int>(x));
            box.bottom = static_cast<int>(y);
        }
    }
    return box;
}

class ZplEndToEndTest : public ::testing::Test {
  protected:
    std::string SamplePdf(const std::string& size, int pages = 1) {
        const std::string path = dir.File("label-" + size + ".pdf");
        FilterArgs args;
        args.argvOverride = std::vector<std::string>{
            "label", "--size", size, "--pages", std::to_string(pages), "-o", path};
        EXPECT_EQ(RunFilter(SAMPLE_PDF, args).exitCode, 0);
        return path;
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
    // What zbarimg reads on a label preview, one "TYPE:data" per line.
    std::string Barcodes(const GreyBitmap& image) {
        const std::string png = dir.File("label.png");
        EXPECT_TRUE(WritePng(png, image));
        FilterArgs args;
        args.argvOverride = std::vector<std::string>{"-q", png};
        return RunFilter("/usr/bin/zbarimg", args).out;
    }
    // The page as pdftoppm draws it at the printer's resolution, for comparing placement.
    Box ReferenceBox(const std::string& pdf, int dpi) {
        const std::string root = dir.File("reference");
        FilterArgs args;
        args.argvOverride =
            std::vector<std::string>{"-r", std::to_string(dpi), "-mono", "-singlefile", pdf, root};
        EXPECT_EQ(RunFilter("/usr/bin/pdftoppm", args).exitCode, 0);
        // A PBM file: "P4\n<w> <h>\n" then rows of packed bits, 1 black.
        const std::string pbm = ReadFile(root + ".pbm");
        unsigned width = 0, height = 0;
        int headerEnd = 0;
        EXPECT_EQ(std::sscanf(pbm.c_str(), "P4 %u %u%n", &width, &height, &headerEnd), 2);
        GreyBitmap image(width, height);
        const size_t rowBytes = (width + 7) / 8;
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const size_t at = static_cast<size_t>(headerEnd) + 1 + y * rowBytes + x / 8;
                if (at < pbm.size() && (static_cast<uint8_t>(pbm[at]) >> (7 - x % 8) & 1))
                    image.Set(x, y, 0);
            }
        }
        return DarkBox(image);
    }

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
        // A Z64 download is far smaller than the page's dots.
        EXPECT_LT(r.out.size(), static_cast<size_t>(c.width * c.height / 8 / 4));
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
