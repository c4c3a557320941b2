// The page setup steps between the loop and the renderer, in process with a renderer that
// records what it sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "epl/epl_filter.h"
#include "filter/label_job.h"
#include "tests/settings/ppd_test_support.h"
#include "zpl/zpl_filter.h"

namespace {

class FakeRenderer final : public LabelRenderer {
  public:
    explicit FakeRenderer(LabelJob& job) : job(job) {}
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev, OutputSink& output) override {
        attached = cfg == &job.cfg && devMode == &job.devMode && pdev == &job.pdev &&
                   &output == &job.output;
    }
    int StartDocCMD() override {
        ++startDocs;
        return 0;
    }
    bool TransCommand(bool isLastPage, bool /*logFlag*/) override {
        pages.push_back(job.pdev.dwCurPageNum);
        lastFlags.push_back(isLastPage);
        seenBuffers.push_back(job.pdev.pBufStart);
        if (swapBuffer) {
            std::free(job.pdev.pBufStart);
            job.pdev.pBufStart = static_cast<uint8_t*>(std::malloc(8));
            swapped = job.pdev.pBufStart;
        }
        return result;
    }

    LabelJob& job;
    bool attached = false;
    int startDocs = 0;
    bool swapBuffer = false;
    bool result = true;
    void* swapped = nullptr;
    std::vector<unsigned> pages;
    std::vector<bool> lastFlags;
    std::vector<void*> seenBuffers;
};

class HandOverTest : public ::testing::Test {
  protected:
    static void Buffer(LabelJob& job) {
        job.pdev.pBufStart = static_cast<uint8_t*>(std::malloc(32));
    }

    OutputSink output{STDOUT_FILENO};
    LabelJob zpl{kZplFilter, output};
    LabelJob tspl{kTsplFilter, output};
    FakeRenderer renderer{zpl};
    FakeRenderer tsplRenderer{tspl};
};

TEST_F(HandOverTest, NothingBufferedSendsNothing) {
    EXPECT_TRUE(TransPrintData(1, renderer, false, zpl));
    EXPECT_TRUE(renderer.pages.empty());
    EXPECT_EQ(zpl.pdev.dwCurPageNum, 1u);
}

TEST_F(HandOverTest, BufferIsSentWithItsNumberAndFlagThenFreed) {
    Buffer(zpl);
    void* sent = zpl.pdev.pBufStart;
    EXPECT_TRUE(TransPrintData(3, renderer, true, zpl));
    ASSERT_EQ(renderer.pages.size(), 1u);
    EXPECT_EQ(renderer.pages[0], 3u);
    EXPECT_TRUE(renderer.lastFlags[0]);
    EXPECT_EQ(renderer.seenBuffers[0], sent);
    EXPECT_EQ(zpl.pdev.pBufStart, nullptr);
}

TEST_F(HandOverTest, BufferSwappedByTheRendererIsTheOneFreed) {
    // The old buffer is the renderer's to free; the new one is freed here, once. A second
    // free of either would abort the test.
    renderer.swapBuffer = true;
    Buffer(zpl);
    EXPECT_TRUE(TransPrintData(1, renderer, false, zpl));
    EXPECT_NE(renderer.swapped, nullptr);
    EXPECT_EQ(zpl.pdev.pBufStart, nullptr);
}

TEST_F(HandOverTest, RendererFailureIsReportedAndTheBufferStillFreed) {
    tsplRenderer.result = false;
    Buffer(tspl);
    EXPECT_FALSE(TransPrintData(2, tsplRenderer, false, tspl));
    EXPECT_EQ(tspl.pdev.pBufStart, nullptr);
}

TEST_F(HandOverTest, PageZeroWithABuffer) {
    Buffer(zpl);
    EXPECT_TRUE(TransPrintData(0, renderer, false, zpl));
    EXPECT_NE(zpl.pdev.pBufStart, nullptr) << "the ZPL flow keeps it";
    Buffer(tspl);
    EXPECT_TRUE(TransPrintData(0, tsplRenderer, false, tspl));
    EXPECT_EQ(tspl.pdev.pBufStart, nullptr) << "the TSPL flow drops it unsent";
    EXPECT_TRUE(renderer.pages.empty() && tsplRenderer.pages.empty());
}

TEST_F(HandOverTest, InitPrintSettingRunsOnceOnPageOne) {
    OpenedPpd ppd(PpdFixture().NumericOption("Density", {"12"}, "12"));
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof(header));
    header.HWResolution[0] = header.HWResolution[1] = 300;
    header.cupsWidth = 600;
    header.cupsHeight = 900;
    header.NumCopies = 2;

    InitPrintSetting(2, ppd.get(), &header, renderer, zpl);
    InitPrintSetting(1, nullptr, &header, renderer, zpl);
    InitPrintSetting(1, ppd.get(), nullptr, renderer, zpl);
    EXPECT_EQ(renderer.startDocs, 0);

    InitPrintSetting(1, ppd.get(), &header, renderer, zpl);
    EXPECT_EQ(renderer.startDocs, 1);
    EXPECT_TRUE(renderer.attached);
    EXPECT_EQ(zpl.cfg.sDensity, 12);
    EXPECT_EQ(zpl.cfg.GAPHeight, 30) << "the ZPL readers ran";
    EXPECT_EQ(zpl.devMode.dmPrintQuality, 300);
    EXPECT_EQ(zpl.pdev.srcGdiInfo.szlPhysSize.cy, 900);
    EXPECT_EQ(zpl.pdev.sCurCopies, 2);
}

}  // namespace
