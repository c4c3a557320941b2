// The page setup steps between the loop and the renderer, in process with a renderer that
// records what it sees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/label_filters.h"
#include "tests/settings/ppd_test_support.h"

namespace {

class FakeRenderer final : public LabelRenderer {
  public:
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev) override {
        attached = cfg == &g_oemCfg && devMode == &g_devMode && pdev == &g_oemPDEV;
    }
    int StartDocCMD() override {
        ++startDocs;
        return 0;
    }
    bool TransCommand(bool isLastPage, bool /*logFlag*/) override {
        pages.push_back(g_oemPDEV.dwCurPageNum);
        lastFlags.push_back(isLastPage);
        seenBuffers.push_back(g_oemPDEV.pBufStart);
        if (swapBuffer) {
            std::free(g_oemPDEV.pBufStart);
            g_oemPDEV.pBufStart = static_cast<uint8_t*>(std::malloc(8));
            swapped = g_oemPDEV.pBufStart;
        }
        return result;
    }

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
    void SetUp() override { std::memset(&g_oemPDEV, 0, sizeof(g_oemPDEV)); }
    void TearDown() override {
        std::free(g_oemPDEV.pBufStart);
        g_oemPDEV.pBufStart = nullptr;
    }
    static void Buffer() { g_oemPDEV.pBufStart = static_cast<uint8_t*>(std::malloc(32)); }

    FakeRenderer renderer;
    LabelFilterTraits zpl = ZplJobTraits();
    LabelFilterTraits tspl = TsplJobTraits();
};

TEST_F(HandOverTest, NothingBufferedSendsNothing) {
    EXPECT_TRUE(TransPrintData(1, renderer, false, false, zpl));
    EXPECT_TRUE(renderer.pages.empty());
    EXPECT_EQ(g_oemPDEV.dwCurPageNum, 1u);
}

TEST_F(HandOverTest, BufferIsSentWithItsNumberAndFlagThenFreed) {
    Buffer();
    void* sent = g_oemPDEV.pBufStart;
    EXPECT_TRUE(TransPrintData(3, renderer, true, false, zpl));
    ASSERT_EQ(renderer.pages.size(), 1u);
    EXPECT_EQ(renderer.pages[0], 3u);
    EXPECT_TRUE(renderer.lastFlags[0]);
    EXPECT_EQ(renderer.seenBuffers[0], sent);
    EXPECT_EQ(g_oemPDEV.pBufStart, nullptr);
}

TEST_F(HandOverTest, BufferSwappedByTheRendererIsTheOneFreed) {
    // The old buffer is the renderer's to free; the new one is freed here, once. A second
    // free of either would abort the test.
    renderer.swapBuffer = true;
    Buffer();
    EXPECT_TRUE(TransPrintData(1, renderer, false, false, zpl));
    EXPECT_NE(renderer.swapped, nullptr);
    EXPECT_EQ(g_oemPDEV.pBufStart, nullptr);
}

TEST_F(HandOverTest, RendererFailureIsReportedAndTheBufferStillFreed) {
    renderer.result = false;
    Buffer();
    EXPECT_FALSE(TransPrintData(2, renderer, false, false, tspl));
    EXPECT_EQ(g_oemPDEV.pBufStart, nullptr);
}

TEST_F(HandOverTest, PageZeroWithABuffer) {
    Buffer();
    EXPECT_TRUE(TransPrintData(0, renderer, false, false, zpl));
    EXPECT_NE(g_oemPDEV.pBufStart, nullptr) << "the ZPL flow keeps it";
    EXPECT_TRUE(TransPrintData(0, renderer, false, false, tspl));
    EXPECT_EQ(g_oemPDEV.pBufStart, nullptr) << "the TSPL flow drops it unsent";
    EXPECT_TRUE(renderer.pages.empty());
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
    EXPECT_EQ(g_oemCfg.sDensity, 12);
    EXPECT_EQ(g_oemCfg.GAPHeight, 30) << "the ZPL readers ran";
    EXPECT_EQ(g_devMode.dmPrintQuality, 300);
    EXPECT_EQ(g_oemPDEV.srcGdiInfo.szlPhysSize.cy, 900);
    EXPECT_EQ(g_oemPDEV.sCurCopies, 2);
}

}  // namespace
