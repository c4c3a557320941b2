// Rendering a page of a real PDF with the real poppler tools, in process.
#include "pdf/pdf_page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/pdf/pdf_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr unsigned kDpi = 203;

class PdfPageTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const std::string& name : TmpFilesStartingWith(prefix))
            ::unlink(("/tmp/" + name).c_str());
    }
    std::string WritePdf(int pages, const std::string& name = "job.pdf") {
        const std::string path = dir.File(name);
        WriteFile(path, MakePdf(pages));
        return path;
    }
    PdfPageRequest Request(const std::string& pdf, unsigned page) const {
        return PdfPageRequest{jobId.c_str(), pdf.c_str(), page, kDpi, kDpi};
    }

    TempDir dir;
    // Unique per test process, so that tests running side by side never meet in /tmp.
    const std::string jobId = std::to_string(1000000 + ::getpid());
    const std::string prefix = "MXLT_TEMP_CUPS_" + jobId;
};

TEST_F(PdfPageTest, PageImageEqualsPopplersRenderingRowByRow) {
    const std::string pdf = WritePdf(12);
    for (unsigned page : {1u, 7u, 12u}) {
        const RgbImage expected = PopplerPage(pdf, page, kDpi, dir.path());
        ASSERT_GT(expected.width, 0u);
        ASSERT_NE(expected.width * 3 % 4, 0u) << "rows that need padding in the page image";
        const uint32_t stride = (expected.width * 3 + 3) / 4 * 4;
        std::vector<uint8_t> bits(size_t{stride} * expected.height, 0x11);
        ASSERT_TRUE(RenderPdfPage(Request(pdf, page), bits.data(), expected.width, expected.height,
                                  stride));
        std::vector<uint8_t> want = PageImageOf(expected, expected.width, expected.height);
        for (uint32_t y = 0; y < expected.height; ++y) {
            for (uint32_t x = expected.width * 3; x < stride; ++x) want[y * stride + x] = 0x11;
        }
        EXPECT_EQ(bits, want) << "page " << page;
        EXPECT_TRUE(TmpFilesStartingWith(prefix).empty()) << "the page image file is removed";
    }
}

TEST_F(PdfPageTest, PageSmallerOrLargerThanTheRenderingGetsWhatFits) {
    const std::string pdf = WritePdf(2);
    const RgbImage expected = PopplerPage(pdf, 2, kDpi, dir.path());
    ASSERT_GT(expected.height, 10u);
    for (const auto& [width, height] :
         {std::pair<uint32_t, uint32_t>{expected.width - 7, expected.height - 5},
          {expected.width + 9, expected.height + 4}}) {
        const uint32_t stride = (width * 3 + 3) / 4 * 4;
        std::vector<uint8_t> bits(size_t{stride} * height, 0xFF);
        ASSERT_TRUE(RenderPdfPage(Request(pdf, 2), bits.data(), width, height, stride));
        EXPECT_EQ(bits, PageImageOf(expected, width, height)) << width << " x " << height;
    }
}

TEST_F(PdfPageTest, NoRenderingLeavesThePageUntouched) {
    const std::string pdf = WritePdf(3);
    std::vector<uint8_t> bits(12 * 4, 0x5A);
    const std::vector<uint8_t> before = bits;
    EXPECT_FALSE(RenderPdfPage(Request(pdf, 4), bits.data(), 4, 4, 12)) << "beyond the last page";
    EXPECT_FALSE(RenderPdfPage(Request(dir.File("absent.pdf"), 1), bits.data(), 4, 4, 12));
    EXPECT_FALSE(RenderPdfPage(Request(pdf, 0), bits.data(), 4, 4, 12));
    EXPECT_FALSE(RenderPdfPage(Request("relative.pdf", 1), bits.data(), 4, 4, 12));
    EXPECT_FALSE(RenderPdfPage(Request(pdf, 1), bits.data(), 4, 4, 11))
        << "stride shorter than a row";
    EXPECT_FALSE(RenderPdfPage(Request(pdf, 1), nullptr, 4, 4, 12));
    EXPECT_EQ(bits, before);
    EXPECT_TRUE(TmpFilesStartingWith(prefix).empty());
}

TEST_F(PdfPageTest, LinkedPdfIsNotRead) {
    const std::string pdf = WritePdf(1);
    const std::string link = dir.File("link.pdf");
    ASSERT_EQ(::symlink(pdf.c_str(), link.c_str()), 0);
    std::vector<uint8_t> bits(12 * 4, 0x5A);
    EXPECT_FALSE(RenderPdfPage(Request(link, 1), bits.data(), 4, 4, 12));
}

TEST_F(PdfPageTest, LinkPlantedWhileTheToolRunsIsNotWrittenThrough) {
    // The attacker's link appears at the name a page image once had, right before the real
    // pdftoppm starts.
    const std::string victim = dir.File("victim");
    WriteFile(victim, "keep me");
    TempDir tools;
    WriteTool(tools.path(), "pdftoppm",
              "for n in 1 01; do ln -sf '" + victim + "' /tmp/" + prefix +
                  "-$n.ppm; done\nexec /usr/bin/pdftoppm \"$@\"\n");
    const std::string pdf = WritePdf(1);
    const RgbImage expected = PopplerPage(pdf, 1, kDpi, dir.path());
    const uint32_t stride = (expected.width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> bits(size_t{stride} * expected.height, 0xFF);
    {
        PathPrefix fake(tools.path());
        EXPECT_TRUE(
            RenderPdfPage(Request(pdf, 1), bits.data(), expected.width, expected.height, stride));
    }
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(bits, PageImageOf(expected, expected.width, expected.height));
}

TEST_F(PdfPageTest, ToolOutOfTimeIsKilledAndThePageKeepsTheRaster) {
    TempDir tools;
    const std::string pidFile = dir.File("pid");
    // The tool's own child must go with it.
    WriteTool(tools.path(), "pdftoppm", "sleep 60 & echo $! > '" + pidFile + "'; wait\n");
    const std::string pdf = WritePdf(1);
    std::vector<uint8_t> bits(12 * 4, 0x5A);
    PdfPageRequest request = Request(pdf, 1);
    request.pdftoppmLimit = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    bool rendered = true;
    const std::string err = CaptureStderr([&] {
        PathPrefix fake(tools.path());
        rendered = RenderPdfPage(request, bits.data(), 4, 4, 12);
    });
    EXPECT_FALSE(rendered);
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_EQ(err, "WARNING: pdftoppm ran out of time on page 1; printing the raster page.\n");
    EXPECT_TRUE(ProcessEnds(std::stoi(ReadFile(pidFile))));
    EXPECT_EQ(bits, std::vector<uint8_t>(12 * 4, 0x5A));
}

TEST_F(PdfPageTest, CancelDuringTheToolEndsThePageWithinASecond) {
    TempDir tools;
    const std::string pidFile = dir.File("pid");
    WriteTool(tools.path(), "pdfinfo", "sleep 60 & echo $! > '" + pidFile + "'; wait\n");
    const std::string pdf = WritePdf(1);
    std::vector<uint8_t> bits(12 * 4, 0x5A);
    volatile sig_atomic_t canceled = 0;
    PdfPageRequest request = Request(pdf, 1);
    request.canceled = &canceled;
    std::thread cancel([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        canceled = 1;
    });
    const auto start = std::chrono::steady_clock::now();
    bool rendered = true;
    const std::string err = CaptureStderr([&] {
        PathPrefix fake(tools.path());
        rendered = RenderPdfPage(request, bits.data(), 4, 4, 12);
    });
    cancel.join();
    EXPECT_FALSE(rendered);
    EXPECT_LT(SecondsSince(start), 1.5);
    EXPECT_EQ(err, "") << "a cancel is no warning";
    EXPECT_TRUE(ProcessEnds(std::stoi(ReadFile(pidFile))));
}

TEST_F(PdfPageTest, JobTextsNeverReachAShell) {
    const std::string marker = dir.File("ran");
    TempDir tools;
    WriteFakeTools(tools.path(), dir.File("tool"));
    const std::string pdf = WritePdf(1);
    std::vector<uint8_t> bits(12 * 4, 0x5A);
    {
        PathPrefix fake(tools.path());
        for (const std::string& id : std::vector<std::string>{
                 "1;touch " + marker, "$(touch " + marker + ")", "1 && touch " + marker}) {
            const PdfPageRequest request{id.c_str(), pdf.c_str(), 1, kDpi, kDpi};
            EXPECT_FALSE(RenderPdfPage(request, bits.data(), 4, 4, 12)) << id;
        }
    }
    EXPECT_NE(::access(dir.File("tool").c_str(), F_OK), 0)
        << "no tool runs for a job id that is not a number";
    EXPECT_NE(::access(marker.c_str(), F_OK), 0);

    // A path full of shell syntax is only ever a file name. A shell would create "ran" in
    // the working directory.
    ASSERT_NE(::access("ran", F_OK), 0);
    const std::string odd = WritePdf(1, "a;touch ran;$(touch ran)`touch ran`|touch ran.pdf");
    const RgbImage expected = PopplerPage(pdf, 1, kDpi, dir.path());
    const uint32_t stride = (expected.width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> page(size_t{stride} * expected.height, 0xFF);
    EXPECT_TRUE(
        RenderPdfPage(Request(odd, 1), page.data(), expected.width, expected.height, stride));
    EXPECT_EQ(page, PageImageOf(expected, expected.width, expected.height));
    EXPECT_NE(::access("ran", F_OK), 0);
}

}  // namespace
