// The ZPL page transfer in process: real records, a real page image, the commands read back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/page_records.h"
#include "tests/support/raster_writer.h"
#include "tests/support/stdout_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/zpl/base64_decode.h"
#include "zpl/zpl_render.h"

namespace {

// What one page's ZPL says, read back from the text.
struct SentPage {
    int labelWidth = -1;
    int labelLength = -1;
    int bytesPerRow = 0;
    int rows = 0;
    std::vector<uint8_t> graphic;  // 1 bit per dot, 1 printed
    std::vector<std::pair<int, int>> origins;
    std::vector<std::string> quantities;  // "q,p,r"
    bool deleted = false;

    bool Dot(int x, int y) const {
        return x >= 0 && y >= 0 && x < bytesPerRow * 8 && y < rows &&
               (graphic[static_cast<size_t>(y * bytesPerRow + x / 8)] >> (7 - x % 8) & 1);
    }
    int DotCount() const {
        int n = 0;
        for (uint8_t b : graphic) n += __builtin_popcount(b);
        return n;
    }
};

SentPage Read(const std::string& zpl) {
    SentPage page;
    std::smatch m;
    if (std::regex_search(zpl, m, std::regex(R"(\^XA\r\n\^PW(\d+)\r\n\^LL(\d+)\r\n\^XZ\r\n)"))) {
        page.labelWidth = std::stoi(m[1]);
        page.labelLength = std::stoi(m[2]);
    }
    if (std::regex_search(
            zpl, m,
            std::regex(
                R"(~DGR:SSGFX000\.GRF,(\d+),(\d+),:Z64:([A-Za-z0-9+/=]+):[0-9a-f]{4}\r\n)"))) {
        const size_t total = std::stoul(m[1]);
        page.bytesPerRow = std::stoi(m[2]);
        page.rows = static_cast<int>(total / static_cast<size_t>(page.bytesPerRow));
        std::vector<uint8_t> compressed = DecodeBase64(m[3]);
        page.graphic.resize(total);
        uLongf size = total;
        EXPECT_EQ(uncompress(page.graphic.data(), &size, compressed.data(), compressed.size()),
                  Z_OK);
        EXPECT_EQ(size, total);
    }
    const std::regex block(
        R"(\^XA\r\n\^FO(-?\d+),(-?\d+)\r\n\^XGR:SSGFX000\.GRF,1,1\^FS\r\n\^PQ(-?\d+,-?\d+,-?\d+),Y\^XZ\r\n)");
    for (auto it = std::sregex_iterator(zpl.begin(), zpl.end(), block);
         it != std::sregex_iterator(); ++it) {
        page.origins.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[2]));
        page.quantities.push_back((*it)[3]);
    }
    page.deleted = zpl.find("^XA\r\n^IDR:SSGFX000.GRF^XZ\r\n") != std::string::npos;
    return page;
}

class ZplPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&cfg, 0, sizeof(cfg));
        std::memset(&devMode, 0, sizeof(devMode));
        std::memset(&pdev, 0, sizeof(pdev));
        // What the ZPL readers leave for a PPD with default choices.
        cfg.GAPHeight = cfg.BLineHeight = 30;
        cfg.nColorLevelsAdj = 100;
        cfg.sMinImaginaryLineLen = 10;
        cfg.sHalftoneMethod = cfg.sIntervalValue = 1;
        cfg.sBlackInterval = cfg.sWhiteInterval = 1;
        cfg.nPrintSpeed = cfg.nBackfeedRate = -1;
        cfg.sApSignal = 0xFFFF;
        cfg.sOutputXDPI = cfg.sOutputYDPI = 203;
        cfg.sMaxOutputWidth = 104;
        devMode.dmOrientation = 1;
        devMode.dmPrintQuality = devMode.dmYResolution = 203;
        pdev.sCurCopies = 1;
        renderer.SetOemCfgPointer(&cfg);
        renderer.SetDevModePointer(&devMode);
        renderer.SetOemPdevPointer(&pdev);
    }
    void TearDown() override { std::free(pdev.pBufStart); }

    // Hands a page to the record as the job flow does.
    void Give(const TestPage& page) { HoldTestPage(pdev, page); }
    std::string Send(const TestPage& page, bool last = true) {
        Give(page);
        EXPECT_TRUE(renderer.TransCommand(last, false));
        return out.Take();
    }

    tagOEMCFG cfg;
    _DEVMODE devMode;
    _OEMPDEV pdev;
    CZPLIIRenderClass renderer;
    StdoutCapture out;
};

TEST_F(ZplPageTest, PaperModeZeroPrintsThePageAsItsOwnLabel) {
    SentPage sent = Read(Send(BlockPage(40, 24, 8, 4, 16, 8)));
    EXPECT_EQ(sent.labelWidth, 49) << "page width plus 9";
    EXPECT_EQ(sent.labelLength, 33) << "page height plus 9";
    ASSERT_EQ(sent.origins.size(), 1u);
    EXPECT_EQ(sent.origins[0], std::make_pair(8, 4)) << "placed at its own left and top edge";
    EXPECT_EQ(sent.rows, 8);
    EXPECT_EQ(sent.DotCount(), 16 * 8);
    EXPECT_TRUE(sent.Dot(0, 0) && sent.Dot(15, 7) && !sent.Dot(16, 0));
    EXPECT_EQ(sent.quantities, std::vector<std::string>{"1,0,1"});
    EXPECT_TRUE(sent.deleted);
    EXPECT_EQ(cfg.sOutputXDPI, 203);
    EXPECT_EQ(cfg.sMaxOutputWidth, 5) << "the page's own width in millimetres";
}

TEST_F(ZplPageTest, EveryDotOfTheContentReachesTheGraphic) {
    // A single row of content and a content edge that is not a multiple of 8.
    TestPage page = TestPage::FromArt({
        "................................",
        "...#.......................#....",
        "...##########################...",
        "..............#.................",
    });
    SentPage sent = Read(Send(page));
    EXPECT_EQ(sent.DotCount(), 1 + 1 + 26 + 1);
    EXPECT_EQ(sent.origins[0], std::make_pair(0, 1)) << "the crop starts at a multiple of 8";
    EXPECT_TRUE(sent.Dot(3, 0) && sent.Dot(27, 0) && sent.Dot(14, 2));
    EXPECT_EQ(sent.rows, 3) << "the last row of the content is printed too";
}

TEST_F(ZplPageTest, PaperModeOneSizesTheLabelToTheContent) {
    cfg.sPaperMode = 1;
    SentPage sent = Read(Send(BlockPage(64, 40, 20, 10, 10, 5)));
    ASSERT_EQ(sent.origins.size(), 1u);
    EXPECT_EQ(sent.origins[0], std::make_pair(0, 0));
    EXPECT_EQ(sent.bytesPerRow, 2) << "columns 16 to 31 after the crop to multiples of 8";
    EXPECT_EQ(sent.labelWidth, 16 + 9);
    EXPECT_EQ(sent.labelLength, 5 + 9);
    EXPECT_EQ(sent.DotCount(), 50);
}

TEST_F(ZplPageTest, ShiftsMoveTheFieldOriginAndAllowancesTheLength) {
    cfg.sHrzOffset = 2;  // mm
    cfg.sVtcOffset = 1;
    cfg.dwStartOffsetValue = 1;
    cfg.dwEndOffsetValue = 2;
    SentPage sent = Read(Send(BlockPage(40, 24, 8, 4, 16, 8)));
    // 2 mm and 1 mm at 203 dpi are 16 and 8 dots; the 2 mm end allowance adds 16 to Y.
    EXPECT_EQ(sent.origins[0], std::make_pair(8 + 16, 4 + 8 + 16));
    EXPECT_EQ(sent.labelLength, 24 + 9 + 24) << "3 mm of allowances";
    cfg.sHrzDir = 1;  // shifting left is not possible past the label edge
    sent = Read(Send(BlockPage(40, 24, 8, 4, 16, 8)));
    EXPECT_EQ(sent.origins[0].first, 8);
}

TEST_F(ZplPageTest, BlankPagesSendNothing) {
    for (uint16_t mode : {0, 1}) {
        cfg.sPaperMode = mode;
        EXPECT_EQ(Send(TestPage::Solid(32, 16, 255, 255, 255)), "") << "mode " << mode;
        EXPECT_EQ(Send(TestPage::Solid(32, 16, 251, 252, 253)), "") << "near-white is white";
    }
}

TEST_F(ZplPageTest, CopiesOfThePage) {
    pdev.sCurCopies = 4;
    SentPage sent = Read(Send(BlockPage(16, 8, 0, 0, 8, 8)));
    EXPECT_EQ(sent.quantities, std::vector<std::string>{"4,0,4"});
    EXPECT_EQ(cfg.sCopies, 4);
    EXPECT_EQ(pdev.dwPagePrinted, 4u);
}

struct CutCase {
    const char* name;
    uint16_t feedModel;
    int64_t method;
    uint16_t interval;
    uint32_t printedBefore;
    std::vector<uint16_t> copies;                // per page
    std::vector<std::vector<std::string>> sent;  // label blocks per page
    uint32_t printedAfter;
};

TEST_F(ZplPageTest, CutRules) {
    const CutCase cases[] = {
        {"interval 4, two pages of 3", 3, 3, 4, 0, {3, 3}, {{"3,0,1"}, {"1,1,1", "2,2,1"}}, 6},
        {"interval 5, first page of 3", 3, 3, 5, 0, {3, 1}, {{"3,0,1"}, {"1,1,1"}}, 4},
        {"single copies, cut at the end",
         3,
         2,
         1,
         0,
         {1, 1, 1},
         {{"1,0,1"}, {"1,0,1"}, {"1,1,1"}},
         3},
        {"copies cut together", 3, 2, 1, 0, {3}, {{"3,3,1"}}, 0},
        {"cut every label", 3, 1, 1, 0, {2}, {{"2,1,1"}}, 2},
        {"interval 1", 3, 3, 1, 0, {2}, {{"2,1,1"}}, 2},
        {"interval 3, single copies",
         3,
         3,
         3,
         0,
         {1, 1, 1, 1},
         {{"1,0,1"}, {"1,0,1"}, {"1,1,1"}, {"1,1,1"}},
         4},
        {"open interval completed first", 3, 3, 4, 1, {5, 1}, {{"3,3,1", "2,0,1"}, {"1,1,1"}}, 7},
        {"copies exactly close the interval", 3, 3, 4, 2, {2}, {{"2,2,1"}}, 4},
        {"copies inside the open interval", 3, 3, 4, 1, {2, 2}, {{"2,0,1"}, {"1,1,1", "1,1,1"}}, 5},
        {"no cutter", 1, 3, 4, 0, {2}, {{"2,0,2"}}, 2},
        {"cutter, method 0", 3, 0, 4, 0, {2}, {{"2,0,2"}}, 2},
        {"cutter, unknown method prints uncut", 3, 5, 4, 0, {2}, {{"2,0,2"}}, 2},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        cfg.sFeedModel = c.feedModel;
        cfg.dwOperationModeAfterPrn = c.method;
        cfg.sIntervalValue = c.interval;
        pdev.dwPagePrinted = c.printedBefore;
        for (size_t i = 0; i < c.copies.size(); ++i) {
            pdev.sCurCopies = c.copies[i];
            EXPECT_EQ(Read(Send(BlockPage(16, 8, 0, 0, 8, 8), i + 1 == c.copies.size())).quantities,
                      c.sent[i])
                << "page " << i + 1;
        }
        EXPECT_EQ(pdev.dwPagePrinted, c.printedAfter);
        if (c.feedModel != 3) {
            EXPECT_EQ(cfg.dwOperationModeAfterPrn, 0);
        }
    }
}

TEST_F(ZplPageTest, TooWideLandscapePagesAreTurned) {
    cfg.sPaperMode = 1;
    cfg.sMaxOutputWidth = 50;  // 400 dots
    // 568 dots are 71.1 mm: more than 20 mm too wide, and clearly wider than tall.
    SentPage turned = Read(Send(BlockPage(600, 100, 0, 0, 568, 60)));
    EXPECT_EQ(turned.rows, 568) << "turned a quarter even though no automatic turn was chosen";
    EXPECT_EQ(turned.bytesPerRow, 8);
    // 552 dots are 69.1 mm: less than 20 mm too wide, so it is scaled down to 400 dots.
    SentPage scaled = Read(Send(BlockPage(600, 100, 0, 0, 552, 60)));
    EXPECT_EQ(scaled.bytesPerRow, 51) << "400 dots and the extra column of the scaled rectangle";
    EXPECT_EQ(scaled.rows, 44) << "60 rows scaled by 400/552, plus the rectangle's extra row";
}

TEST_F(ZplPageTest, TallPagesAreTurnedOnlyWhenAsked) {
    cfg.sPaperMode = 1;
    cfg.sMaxOutputWidth = 50;
    const TestPage tall =
        BlockPage(100, 400, 0, 0, 64, 300);  // 300 rows are 38 mm, within the width
    SentPage upright = Read(Send(tall));
    EXPECT_EQ(upright.rows, 300);
    cfg.sAutoRotate90 = 1;
    SentPage turned = Read(Send(tall));
    EXPECT_EQ(turned.rows, 64);
    EXPECT_EQ(turned.bytesPerRow, 38) << "300 dots";
}

TEST_F(ZplPageTest, MirroredPageKeepsEveryDot) {
    cfg.sMirror = 1;
    SentPage sent = Read(Send(BlockPage(40, 8, 0, 0, 8, 8)));
    EXPECT_EQ(sent.DotCount(), 64);
    ASSERT_EQ(sent.origins.size(), 1u);
    // Reflected inside the 49-dot label: columns 0-7 land on columns 41-48.
    EXPECT_EQ(sent.origins[0].first, 41);
    EXPECT_TRUE(sent.Dot(0, 0) && sent.Dot(7, 7));
}

TEST_F(ZplPageTest, HigherOutputResolutionResamplesAndRestoresTheRecord) {
    cfg.sPaperMode = 1;
    cfg.sOutputXDPI = cfg.sOutputYDPI = 406;
    Give(BlockPage(32, 16, 8, 4, 8, 8));
    uint8_t* before = pdev.pBufStart;
    EXPECT_TRUE(renderer.TransCommand(true, false));
    SentPage sent = Read(out.Take());
    EXPECT_NE(pdev.pBufStart, before) << "the page buffer was replaced by the resampled one";
    EXPECT_EQ(pdev.dwBufSize, DibStride(64, 24) * 32u);
    EXPECT_EQ(pdev.bmInfoHeader.biWidth, 32) << "the page size is restored";
    EXPECT_EQ(pdev.bmInfoHeader.biHeight, 16);
    EXPECT_EQ(sent.DotCount(), 16 * 16);
}

TEST_F(ZplPageTest, MissingOutputResolutionAndWidthMeanTheRastersOwn) {
    cfg.sPaperMode = 1;
    cfg.sOutputXDPI = cfg.sOutputYDPI = 0;
    cfg.sMaxOutputWidth = 0;
    cfg.nColorLevelsAdj = 0;
    SentPage sent = Read(Send(BlockPage(800, 40, 0, 0, 800, 40)));
    EXPECT_EQ(sent.bytesPerRow, 100) << "not turned or scaled: no width limit";
    EXPECT_EQ(sent.DotCount(), 800 * 40) << "levels 0 is neutral: black stays black";
}

TEST_F(ZplPageTest, SolidLinesBecomeDashes) {
    cfg.sIsLineImaginary = 1;
    cfg.sMinImaginaryLineLen = 10;  // mm
    cfg.sBlackInterval = 1;         // 8 dots
    cfg.sWhiteInterval = 1;
    SentPage sent = Read(Send(BlockPage(200, 2, 0, 0, 160, 1)));  // 20 mm line
    EXPECT_TRUE(sent.Dot(0, 0) && sent.Dot(7, 0));
    EXPECT_FALSE(sent.Dot(8, 0) || sent.Dot(15, 0));
    EXPECT_TRUE(sent.Dot(16, 0));
    SentPage shortLine = Read(Send(BlockPage(200, 2, 0, 0, 64, 1)));  // 8 mm: stays solid
    EXPECT_EQ(shortLine.DotCount(), 64);
}

TEST_F(ZplPageTest, NoPageImageIsAFailure) {
    std::free(pdev.pBufStart);
    pdev.pBufStart = nullptr;
    EXPECT_FALSE(renderer.TransCommand(true, false));
    EXPECT_EQ(out.Take(), "");
}

// The debug bitmaps have fixed names in /tmp; their tests hold a CTest resource lock.
TEST_F(ZplPageTest, DebugBitmapsOnlyWhileTheLogIsOn) {
    unlink("/tmp/ZplBegin.bmp");
    unlink("/tmp/ZplOutput.bmp");
    Give(BlockPage(40, 24, 8, 4, 16, 8));
    renderer.TransCommand(true, false);
    EXPECT_NE(access("/tmp/ZplBegin.bmp", F_OK), 0);
    Give(BlockPage(40, 24, 8, 4, 16, 8));
    renderer.TransCommand(true, true);
    const std::string begin = ReadFile("/tmp/ZplBegin.bmp");
    const std::string output = ReadFile("/tmp/ZplOutput.bmp");
    ASSERT_GE(begin.size(), 54u);
    EXPECT_EQ(begin.substr(0, 2), "BM");
    EXPECT_EQ(begin.size(), 54u + DibStride(40, 24) * 24) << "24-bit page";
    EXPECT_EQ(output.size(), 1078u + 16 * 8) << "8-bit halftoned dots with a grey palette";
    unlink("/tmp/ZplBegin.bmp");
    unlink("/tmp/ZplOutput.bmp");
}

TEST_F(ZplPageTest, DebugBitmapIsNotWrittenThroughAPlantedLink) {
    TempDir dir;
    const std::string victim = dir.File("victim");
    WriteFile(victim, "keep");
    unlink("/tmp/ZplOutput.bmp");
    ASSERT_EQ(symlink(victim.c_str(), "/tmp/ZplOutput.bmp"), 0);
    Give(BlockPage(40, 24, 8, 4, 16, 8));
    renderer.TransCommand(true, true);
    EXPECT_EQ(ReadFile(victim), "keep");
    struct stat st {};
    EXPECT_EQ(lstat("/tmp/ZplOutput.bmp", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "what another user planted is left alone";
    unlink("/tmp/ZplOutput.bmp");
    unlink("/tmp/ZplBegin.bmp");
}

}  // namespace
