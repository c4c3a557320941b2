// The same small pages through the page steps of each label filter's definition, checking
// every behaviour in which the definitions differ.
#include "filter/page_pipeline.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "epl/epl_filter.h"
#include "tests/support/page_records.h"
#include "tests/support/temp_dir.h"
#include "tspl/tspl_filter.h"
#include "zpl/zpl_filter.h"

namespace {

const LabelFilterDefinition* const kFilters[] = {&kZplFilter, &kTsplFilter, &kEplFilter};

struct Outcome {
    // The page buffer first: the dots may lie in it, so it goes after them.
    MallocBuffer pageBuffer;
    PipelineResult result = PipelineResult::NoPage;
    HalftonedPage page;
    tagOEMCFG cfg{};

    double BlackShare() const {
        uint64_t black = 0;
        for (uint32_t y = 0; y < page.height; ++y) {
            const uint8_t* row = page.image.get() + uint64_t{y} * page.stride;
            for (uint32_t x = 0; x < page.width; ++x) black += row[x] == 0;
        }
        return page.width * page.height == 0
                   ? 0.0
                   : static_cast<double>(black) / page.width / page.height;
    }
    uint64_t Hash() const {
        return page.image ? Fnv1a(page.image.get(), uint64_t{page.stride} * page.height) : 0;
    }
};

// Runs `page` (at `rasterDpi`) through the definition's page steps with an output resolution
// of `outputDpi`, print mode 1 unless `tweak` says otherwise.
Outcome Through(const PagePipelinePolicy& policy, const TestPage& page, uint16_t rasterDpi,
                uint16_t outputDpi, const std::function<void(tagOEMCFG&)>& tweak,
                bool logFlag = false, unsigned bits = 24) {
    Outcome out;
    tagOEMCFG& cfg = out.cfg;
    cfg.sOutputXDPI = cfg.sOutputYDPI = outputDpi;
    cfg.sPaperMode = 1;
    cfg.sHalftoneMethod = 1;
    tweak(cfg);
    const _DEVMODE devMode{1, static_cast<int16_t>(rasterDpi), static_cast<int16_t>(rasterDpi), 0};
    _OEMPDEV pdev{};
    HoldTestPage(pdev, page, bits);
    out.result = RunPagePipeline(policy, cfg, devMode, pdev, logFlag, out.page);
    out.pageBuffer.reset(pdev.pBufStart);
    return out;
}

struct Difference {
    const char* behaviour;
    TestPage page;
    uint16_t rasterDpi;
    uint16_t outputDpi;
    std::function<void(tagOEMCFG&)> tweak;
    std::function<double(const Outcome&)> observe;
    double expected[3];  // ZPL, TSPL, EPL
};

TEST(PagePipelineDefinitionsTest, EachDefinitionChoosesItsOwnBehaviour) {
    const TestPage block = BlockPage(64, 32, 24, 8, 8, 8);
    const Difference kDifferences[] = {
        {"print mode 0 keeps the raster's resolution (ZPL) or scales to the output's",
         block,
         203,
         300,
         [](tagOEMCFG& c) { c.sPaperMode = 0; },
         [](const Outcome& o) { return o.cfg.sOutputXDPI; },
         {203, 300, 300}},
        {"offsets move the image while converting (ZPL) or are left to the commands",
         block,
         203,
         203,
         [](tagOEMCFG& c) {
             c.sHrzOffset = 2;
             c.sVtcOffset = 2;
         },
         [](const Outcome& o) { return o.page.xShift; },
         {16, 0, 0}},
        {"the 300 mm limit of print mode 1 at the raster's (ZPL) or the output's resolution",
         TestPage::Solid(1500, 2, 0, 0, 0),
         100,
         300,
         [](tagOEMCFG&) {},
         // 300 mm is 1181 dots at 100 dpi (rounded up to 1184 for whole bytes), 3543 at 300.
         [](const Outcome& o) { return o.page.width > 2000 ? 1 : 0; },
         {0, 1, 1}},
        {"the print width limit always (ZPL's print mode 0 resets it to the page width) or "
         "only when the label is sized from the page (EPL)",
         TestPage::Solid(160, 40, 0, 0, 0),
         203,
         203,
         [](tagOEMCFG& c) {
             c.sPaperMode = 0;
             c.sMaxOutputWidth = 5;
         },
         [](const Outcome& o) { return o.page.width; },
         {160, 40, 160}},
        {"white around the content of a print mode 0 page cropped, or kept without paper saving "
         "(TSPL)",
         block,
         203,
         203,
         [](tagOEMCFG& c) { c.sPaperMode = 0; },
         [](const Outcome& o) { return o.page.width; },
         {8, 64, 8}},
        {"negative prints inverted (TSPL, EPL) or as they are (ZPL)",
         block,
         203,
         203,
         [](tagOEMCFG& c) {
             c.sPaperMode = 0;
             c.sSavePaper = 1;
             c.bNegative = 1;
         },
         [](const Outcome& o) { return o.BlackShare(); },
         {1.0, 0.0, 0.0}},
        {"solid runs measured at the output's (ZPL) or the raster's resolution",
         TestPage::Solid(200, 4, 0, 0, 0),
         100,
         300,
         [](tagOEMCFG& c) {
             c.sIsLineImaginary = 1;
             c.sMinImaginaryLineLen = 100;
             c.sBlackInterval = 1;
             c.sWhiteInterval = 1;
         },
         [](const Outcome& o) { return o.BlackShare() == 1.0 ? 1 : 0; },
         {1, 0, 0}},
    };
    for (const Difference& d : kDifferences) {
        for (int i = 0; i < 3; ++i) {
            const Outcome o =
                Through(kFilters[i]->pipeline, d.page, d.rasterDpi, d.outputDpi, d.tweak);
            ASSERT_EQ(o.result, PipelineResult::Ready) << d.behaviour << ", filter " << i;
            EXPECT_DOUBLE_EQ(d.observe(o), d.expected[i]) << d.behaviour << ", filter " << i;
        }
    }

    // Halftone method 4: ZPL's dither of that number, the adaptive threshold in TSPL and EPL.
    std::uint64_t hashes[3];
    for (int i = 0; i < 3; ++i) {
        hashes[i] =
            Through(kFilters[i]->pipeline, TestPage::Gradient(64, 64), 203, 203, [](tagOEMCFG& c) {
                c.sHalftoneMethod = 4;
            }).Hash();
    }
    EXPECT_NE(hashes[0], hashes[1]);
    EXPECT_EQ(hashes[1], hashes[2]);
}

TEST(PagePipelineDefinitionsTest, HalftonedPageDebugFileAfterEveryMethodOrOnlyAfterMethod4) {
    TempDir dir;
    const struct {
        uint16_t method;
        bool written[3];  // ZPL, TSPL, EPL
    } kCases[] = {{1, {true, false, true}}, {4, {true, true, true}}};
    for (const auto& c : kCases) {
        for (int i = 0; i < 3; ++i) {
            PagePipelinePolicy policy = kFilters[i]->pipeline;
            const std::string path = dir.File("halftoned-" + std::to_string(i) + ".bmp");
            ::unlink(path.c_str());
            policy.beginBitmapPath = "";
            policy.outputBitmapPath = path.c_str();
            Through(
                policy, TestPage::Gradient(16, 16), 203, 203,
                [&](tagOEMCFG& cfg) { cfg.sHalftoneMethod = c.method; }, true);
            EXPECT_EQ(::access(path.c_str(), F_OK) == 0, c.written[i])
                << "method " << c.method << ", filter " << i;
        }
    }
}

}  // namespace

// A page read as the label grey must come out of the steps exactly as the page in colour,
// wherever TakesLabelGrey lets the job read it so; settings that tone, turn, shift, scale or
// narrow the colour page keep it in colour.
TEST(PagePipelineDefinitionsTest, LabelGreyPagesComeOutAsTheirColourPages) {
    TestPage faint = TestPage::Gradient(61, 40);
    for (uint32_t y = 5; y < 30; ++y) faint.rgb[(y * 61 + 7) * 3 + 1] = 249;  // faint green only
    // Crops with rows of 64 dots, wider than the page's 60: from the first row they move within
    // the page, last row first; below a row of paper they go into a buffer of their own.
    const TestPage wide = TestPage::Gradient(60, 12);
    TestPage paperFirst = wide;
    std::fill_n(paperFirst.rgb.begin(), 60 * 3, uint8_t{255});
    struct Row {
        const char* settings;
        uint16_t outputDpi;
        std::function<void(tagOEMCFG&)> tweak;
        bool grey;
    };
    const Row rows[] = {
        {"print mode 1", 203, [](tagOEMCFG&) {}, true},
        {"print mode 0", 203, [](tagOEMCFG& c) { c.sPaperMode = 0; }, true},
        {"save paper", 203, [](tagOEMCFG& c) { c.sSavePaper = 1; }, true},
        {"dither, negative, mirror, dashes", 203,
         [](tagOEMCFG& c) {
             c.sHalftoneMethod = 3;
             c.bNegative = 1;
             c.sMirror = 1;
             c.sIsLineImaginary = 1;
         },
         true},
        {"adaptive threshold", 203, [](tagOEMCFG& c) { c.sHalftoneMethod = 4; }, true},
        {"narrower print width", 203, [](tagOEMCFG& c) { c.sMaxOutputWidth = 5; }, true},
        {"levels", 203, [](tagOEMCFG& c) { c.nColorLevelsAdj = 120; }, false},
        {"brightness", 203, [](tagOEMCFG& c) { c.nBrightness = 10; }, false},
        {"rotation", 203, [](tagOEMCFG& c) { c.sRotation = 1; }, false},
        {"other output resolution", 300, [](tagOEMCFG&) {}, false},
    };
    for (const TestPage& page : {faint, wide, paperFirst})
        for (const LabelFilterDefinition* filter : kFilters) {
            for (const Row& row : rows) {
                SCOPED_TRACE(std::string(filter->logName) + ": " + row.settings + ", " +
                             std::to_string(page.width) + " dots");
                tagOEMCFG cfg{};
                cfg.sOutputXDPI = cfg.sOutputYDPI = row.outputDpi;
                cfg.sPaperMode = 1;
                cfg.sHalftoneMethod = 1;
                row.tweak(cfg);
                const _DEVMODE devMode{1, 203, 203, 0};
                const bool grey =
                    TakesLabelGrey(filter->pipeline, cfg, devMode, page.width, page.height, false);
                EXPECT_EQ(grey, row.grey);
                EXPECT_FALSE(
                    TakesLabelGrey(filter->pipeline, cfg, devMode, page.width, page.height, true))
                    << "the debug bitmap of the page in colour";
                if (!grey) continue;
                const Outcome colour =
                    Through(filter->pipeline, page, 203, row.outputDpi, row.tweak);
                const Outcome fromGrey =
                    Through(filter->pipeline, page, 203, row.outputDpi, row.tweak, false, 8);
                ASSERT_EQ(colour.result, PipelineResult::Ready);
                ASSERT_EQ(fromGrey.result, colour.result);
                EXPECT_EQ(fromGrey.page.width, colour.page.width);
                EXPECT_EQ(fromGrey.page.height, colour.page.height);
                EXPECT_EQ(fromGrey.page.rect.left, colour.page.rect.left);
                EXPECT_EQ(fromGrey.page.rect.top, colour.page.rect.top);
                EXPECT_EQ(fromGrey.Hash(), colour.Hash());
            }
        }
    // Print mode 0 narrows the colour page before converting it (a ZPL page is its own label).
    tagOEMCFG narrowed{};
    narrowed.sOutputXDPI = narrowed.sOutputYDPI = 203;
    narrowed.sMaxOutputWidth = 5;
    EXPECT_FALSE(TakesLabelGrey(kTsplFilter.pipeline, narrowed, {1, 203, 203, 0}, faint.width,
                                faint.height, false));
}
