// PDF preprocessing in the ZPL filter's page loop, run as CUPS runs it: the page image handed
// to the renderer is the page rendered from the job's PDF.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/pdf/pdf_test_support.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr unsigned kDpi = 203;

std::string HashOf(const std::vector<uint8_t>& image) {
    char text[32];
    std::snprintf(text, sizeof(text), "hash=%016" PRIx64, Fnv1a(image.data(), image.size()));
    return text;
}

std::vector<std::string> Sends(const std::string& out) {
    std::vector<std::string> sends;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("TransCommand", 0) == 0) sends.push_back(line);
    }
    return sends;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PdfFlowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        ::unlink(tempPdf.c_str());
        for (const std::string& name : TmpFilesStartingWith("MXLT_TEMP_CUPS_" + jobId))
            ::unlink(("/tmp/" + name).c_str());
    }
    FilterResult Run(const PpdFixture& ppd, const std::vector<TestPage>& pages,
                     const std::string& id) {
        FilterArgs args;
        args.jobId = id;
        args.ppdPath = ppd.WriteTo(dir.File("queue.ppd"));
        WriteRasterFile(dir.File("job.ras"), pages);
        args.rasterFile = dir.File("job.ras");
        return RunFilter(RECORDING_ZPL_FLOW, args);
    }
    static PpdFixture Preprocess(const char* value) {
        return PpdFixture().NumericOption("PdfPreprocess", {"0", "1"}, value);
    }
    static std::vector<TestPage> Gradients(int count, uint32_t width, uint32_t height) {
        std::vector<TestPage> pages;
        for (int i = 0; i < count; ++i) {
            TestPage page = TestPage::Gradient(width, height);
            page.rgb[0] = static_cast<uint8_t>(i);  // every raster page differs
            page.dpiX = page.dpiY = kDpi;
            pages.push_back(page);
        }
        return pages;
    }

    TempDir dir;
    const std::string jobId = std::to_string(2000000 + ::getpid());
    const std::string tempPdf = "/tmp/MXLT_TEMP_CUPS_" + jobId + ".pdf";
};

TEST_F(PdfFlowTest, EveryPageComesFromTheJobsPdf) {
    for (int count : {9, 12}) {
        SCOPED_TRACE(count);
        const std::string pdf = MakePdf(count);
        WriteFile(dir.File("copy.pdf"), pdf);
        WriteFile(tempPdf, pdf);
        std::vector<RgbImage> expected;
        for (int page = 1; page <= count; ++page) {
            expected.push_back(
                PopplerPage(dir.File("copy.pdf"), static_cast<unsigned>(page), kDpi, dir.path()));
        }
        ASSERT_GT(expected[0].width, 0u);
        const std::vector<TestPage> raster =
            Gradients(count, expected[0].width, expected[0].height);

        const FilterResult r = Run(Preprocess("1"), raster, jobId);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), static_cast<size_t>(count)) << r.out;
        for (int page = 0; page < count; ++page) {
            const std::string want =
                HashOf(PageImageOf(expected[page], expected[0].width, expected[0].height));
            EXPECT_TRUE(Has(sends[page], want)) << "page " << page + 1 << ": " << sends[page];
            EXPECT_FALSE(Has(sends[page], HashOf(ExpectedPageImage(raster[page]))));
        }
        EXPECT_NE(::access(tempPdf.c_str(), F_OK), 0) << "the job's PDF is removed at the end";
        EXPECT_TRUE(TmpFilesStartingWith("MXLT_TEMP_CUPS_" + jobId).empty())
            << "no page image is left behind";
    }
}

TEST_F(PdfFlowTest, WithoutPreprocessingNoToolRunsAndTheRasterPrints) {
    TempDir tools;
    const std::string marker = dir.File("tool-ran");
    WriteFakeTools(tools.path(), marker);
    PathPrefix fake(tools.path());
    const std::vector<TestPage> raster = Gradients(2, 10, 5);
    for (const PpdFixture& ppd : {Preprocess("0"), PpdFixture()}) {
        WriteFile(tempPdf, MakePdf(2));
        const FilterResult r = Run(ppd, raster, jobId);
        const std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), 2u) << r.out;
        EXPECT_TRUE(Has(sends[0], HashOf(ExpectedPageImage(raster[0]))));
        EXPECT_TRUE(Has(sends[1], HashOf(ExpectedPageImage(raster[1]))));
    }
    EXPECT_NE(::access(marker.c_str(), F_OK), 0) << ReadFile(marker);

    // The same tools are found and run once preprocessing is on; they fail, and the
    // raster pages print instead of empty ones.
    WriteFile(tempPdf, MakePdf(2));
    const FilterResult r = Run(Preprocess("1"), raster, jobId);
    EXPECT_EQ(::access(marker.c_str(), F_OK), 0);
    const std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 2u) << r.out;
    EXPECT_TRUE(Has(sends[0], HashOf(ExpectedPageImage(raster[0]))));
    EXPECT_TRUE(Has(sends[1], HashOf(ExpectedPageImage(raster[1]))));
}

TEST_F(PdfFlowTest, MissingPdfPrintsTheRasterPages) {
    const std::vector<TestPage> raster = Gradients(2, 9, 4);
    const FilterResult r = Run(Preprocess("1"), raster, jobId);
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> sends = Sends(r.out);
    ASSERT_EQ(sends.size(), 2u) << r.out;
    EXPECT_TRUE(Has(sends[1], HashOf(ExpectedPageImage(raster[1]))));
}

TEST_F(PdfFlowTest, JobIdWithShellSyntaxRunsNothing) {
    TempDir tools;
    const std::string marker = dir.File("tool-ran");
    WriteFakeTools(tools.path(), marker);
    PathPrefix fake(tools.path());
    const std::vector<TestPage> raster = Gradients(1, 9, 4);
    for (const std::string& id :
         std::vector<std::string>{jobId + ";touch ran", "$(touch ran)", jobId + "`touch ran`"}) {
        WriteFile("/tmp/MXLT_TEMP_CUPS_" + id + ".pdf", MakePdf(1));
        const FilterResult r = Run(Preprocess("1"), raster, id);
        EXPECT_EQ(r.exitCode, 0) << id;
        const std::vector<std::string> sends = Sends(r.out);
        ASSERT_EQ(sends.size(), 1u) << r.out;
        EXPECT_TRUE(Has(sends[0], HashOf(ExpectedPageImage(raster[0])))) << id;
        ::unlink(("/tmp/MXLT_TEMP_CUPS_" + id + ".pdf").c_str());
    }
    EXPECT_NE(::access(marker.c_str(), F_OK), 0);
    EXPECT_NE(::access("ran", F_OK), 0);
}

}  // namespace
