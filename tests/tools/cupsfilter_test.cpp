// The real CUPS filter chain (cupsfilter, pdftopdf, the cups-filters rasterisers) with the
// shipped ZPL, TSPL and EPL PPDs on the sample label PDF. A raster header dump stands in for
// the label filters and reports what the filter would receive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/ppd_api.h"
#include "tests/support/cupsfilter_runner.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kDump = RASTER_HEADER_DUMP;
const std::string kPpd203 = std::string(MX_PPD_DIR) + "/mxzpl203.ppd";
const std::string kPpd300 = std::string(MX_PPD_DIR) + "/mxzpl300.ppd";
// The TSPL and EPL PPDs, with the setting each one's "Feed" fills.
const struct {
    std::string path;
    const char* feedSetting;
} kTsplEplPpds[] = {
    {std::string(MX_PPD_DIR) + "/mxtspl203.ppd", "sFeedLen"},
    {std::string(MX_PPD_DIR) + "/mxtspl300.ppd", "sFeedLen"},
    {std::string(MX_PPD_DIR) + "/mxepl203.ppd", "sCutPosition"},
    {std::string(MX_PPD_DIR) + "/mxepl300.ppd", "sCutPosition"},
};

struct PageHeader {
    unsigned width = 0, height = 0, xdpi = 0, ydpi = 0, bits = 0, colorSpace = 0, copies = 0;
    unsigned long dark = 0;
    std::string mediaType;
};

// The "page ..." lines of the dump (the media type may be empty).
std::vector<PageHeader> Pages(const std::string& out) {
    static const std::regex kPage(
        "page \\d+ width (\\d+) height (\\d+) resolution (\\d+)x(\\d+) bits (\\d+) colorspace "
        "(\\d+) mediatype \"([^\"]*)\" copies (\\d+) dark (\\d+)");
    std::vector<PageHeader> pages;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, kPage)) continue;
        PageHeader p;
        unsigned* fields[] = {&p.width, &p.height, &p.xdpi, &p.ydpi, &p.bits, &p.colorSpace};
        for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = unsigned(std::stoul(m[i + 1]));
        p.mediaType = m[7];
        p.copies = unsigned(std::stoul(m[8]));
        p.dark = std::stoul(m[9]);
        pages.push_back(p);
    }
    return pages;
}

// The text after `name ` on the dump's line that starts so.
std::string Line(const std::string& out, const std::string& name) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(name + " ")) return line.substr(name.size() + 1);
    }
    return "";
}

// The value of `field` on the dump's "settings" line.
std::string Setting(const std::string& out, const std::string& field) {
    std::smatch match;
    if (!std::regex_search(out, match, std::regex("settings .*\\b" + field + " (-?[0-9]+)")))
        return "absent";
    return match[1];
}

class CupsFilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FilterArgs args;
        args.argvOverride = std::vector<std::string>{"label", "-o", label_};
        ASSERT_EQ(RunFilter(SAMPLE_PDF, args).exitCode, 0);
    }

    CupsFilterJob Job(const std::string& ppd) const {
        CupsFilterJob job;
        job.ppd = ppd;
        job.input = label_;
        job.filters = {{"rastomoxzpl", kDump}, {"rastomoxtspl", kDump}, {"rastomoxepl", kDump}};
        return job;
    }

    TempDir dir_;
    const std::string label_ = dir_.File("label.pdf");
};

}  // namespace

TEST_F(CupsFilterTest, FourBySixLabelArrivesAs24BitRgbAtBothResolutions) {
    struct Case {
        std::string ppd;
        unsigned width, height, dpi;
    } cases[] = {{kPpd203, 812, 1218, 203}, {kPpd300, 1200, 1800, 300}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ppd);
        FilterResult r = RunCupsFilter(Job(c.ppd));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::vector<PageHeader> pages = Pages(r.out);
        ASSERT_EQ(pages.size(), 1u) << r.out;
        EXPECT_EQ(pages[0].width, c.width);
        EXPECT_EQ(pages[0].height, c.height);
        EXPECT_EQ(pages[0].xdpi, c.dpi);
        EXPECT_EQ(pages[0].ydpi, c.dpi);
        EXPECT_EQ(pages[0].bits, 24u);
        EXPECT_EQ(pages[0].colorSpace, unsigned(CUPS_CSPACE_RGB));
        EXPECT_EQ(pages[0].mediaType, "Direct");
        EXPECT_EQ(pages[0].copies, 1u);
        // Text, barcode and QR code cover a good part of the label.
        EXPECT_GT(pages[0].dark, c.width * c.height / 20) << pages[0].dark;
        EXPECT_LT(pages[0].dark, c.width * c.height / 2) << pages[0].dark;
        EXPECT_EQ(Setting(r.out, "sOutputXDPI"), std::to_string(c.dpi));
        EXPECT_EQ(Setting(r.out, "sMaxOutputWidth"), "104");
    }
}

TEST_F(CupsFilterTest, MediaTypeAndPlainNumberOptionsReachTheFilter) {
    CupsFilterJob job = Job(kPpd300);
    job.options = {{"MediaType", "Thermal"},    {"Density", "20"},          {"zePrintRate", "6"},
                   {"zeMediaTracking", "Mark"}, {"ApplicationMode", "Off"}, {"GAPHeight", "2.5"},
                   {"ColorLevels", "150"}};
    job.copies = 3;
    FilterResult r = RunCupsFilter(job);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<PageHeader> pages = Pages(r.out);
    ASSERT_EQ(pages.size(), 1u) << r.out;
    EXPECT_EQ(pages[0].mediaType, "Thermal");
    EXPECT_EQ(pages[0].copies, 3u);
    EXPECT_EQ(pages[0].bits, 24u);
    EXPECT_EQ(Setting(r.out, "sPaperType"), "2");
    EXPECT_EQ(Setting(r.out, "sDensity"), "20");
    EXPECT_EQ(Setting(r.out, "nPrintSpeed"), "6");
    EXPECT_EQ(Setting(r.out, "sLabelType"), "2");
    EXPECT_EQ(Setting(r.out, "sApSignal"), "-1");
    EXPECT_EQ(Setting(r.out, "GAPHeight"), "25");
    EXPECT_EQ(Setting(r.out, "nColorLevelsAdj"), "51");
}

TEST_F(CupsFilterTest, EveryChoiceCodeOfThePpdPassesTheRasterisers) {
    // Each option set to its last choice at once: the rasteriser reads every code string.
    std::vector<std::pair<std::string, std::string>> options;
    ppd_file_t* ppd = ppdOpenFile(kPpd203.c_str());
    ASSERT_NE(ppd, nullptr);
    for (int g = 0; g < ppd->num_groups; ++g) {
        for (int o = 0; o < ppd->groups[g].num_options; ++o) {
            const ppd_option_t& option = ppd->groups[g].options[o];
            const std::string keyword = option.keyword;
            if (keyword == "PageSize" || keyword == "PageRegion") continue;
            options.emplace_back(keyword, option.choices[option.num_choices - 1].choice);
        }
    }
    ppdClose(ppd);
    ASSERT_GT(options.size(), 40u);
    CupsFilterJob job = Job(kPpd203);
    job.options = options;
    FilterResult viaCupsfilter = RunCupsFilter(job);
    ASSERT_EQ(viaCupsfilter.exitCode, 0) << viaCupsfilter.err;
    ASSERT_EQ(Pages(viaCupsfilter.out).size(), 1u) << viaCupsfilter.out;
    EXPECT_EQ(Pages(viaCupsfilter.out)[0].bits, 24u);
    EXPECT_EQ(Setting(viaCupsfilter.out, "sDensity"), "30");
    EXPECT_EQ(Setting(viaCupsfilter.out, "sHalftoneMethod"), "10");

    // cupsfilter's chain takes gstoraster; poppler's pdftoraster must accept the codes too.
    std::string optionText;
    for (const auto& [name, value] : options) optionText += name + "=" + value + " ";
    FilterArgs raster;
    raster.ppdPath = kPpd203;
    raster.options = optionText;
    raster.rasterFile = label_;
    FilterResult rendered = RunFilter("/usr/lib/cups/filter/pdftoraster", raster);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    WriteFile(dir_.File("label.ras"), rendered.out);
    FilterArgs dump;
    dump.ppdPath = kPpd203;
    dump.options = optionText;
    dump.rasterFile = dir_.File("label.ras");
    FilterResult pages = RunFilter(kDump, dump);
    ASSERT_EQ(Pages(pages.out).size(), 1u) << pages.out;
    EXPECT_EQ(Pages(pages.out)[0].width, 812u);
    EXPECT_EQ(Pages(pages.out)[0].bits, 24u);
    EXPECT_EQ(Pages(pages.out)[0].mediaType, "Thermal");
}

TEST_F(CupsFilterTest, LabelSizesComeOutAtTheirDotSize) {
    struct Case {
        std::string pageSize;
        std::string sampleSize;
        unsigned width, height;
    } cases[] = {{"w144h72", "2x1in", 406, 203}, {"100x150mm", "100x150mm", 799, 1199}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pageSize);
        FilterArgs args;
        args.argvOverride =
            std::vector<std::string>{"label", "--size", c.sampleSize, "-o", dir_.File("sized.pdf")};
        ASSERT_EQ(RunFilter(SAMPLE_PDF, args).exitCode, 0);
        CupsFilterJob job = Job(kPpd203);
        job.input = dir_.File("sized.pdf");
        job.options = {{"PageSize", c.pageSize}};
        FilterResult r = RunCupsFilter(job);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::vector<PageHeader> pages = Pages(r.out);
        ASSERT_EQ(pages.size(), 1u) << r.out;
        EXPECT_EQ(pages[0].width, c.width);
        EXPECT_EQ(pages[0].height, c.height);
        EXPECT_GT(pages[0].dark, 0u);
    }
}

TEST_F(CupsFilterTest, HarnessListsTheChainAndReportsFailures) {
    CupsFilterJob job = Job(kPpd203);
    job.listFilters = true;
    FilterResult list = RunCupsFilter(job);
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "pdftopdf\ngstoraster\nrastomoxzpl\n");

    CupsFilterJob failing = Job(kPpd203);
    failing.filters = {{"rastomoxzpl", "/bin/false"}};
    EXPECT_NE(RunCupsFilter(failing).exitCode, 0);

    CupsFilterJob bad = Job(kPpd203);
    bad.filters = {{"../rastomoxzpl", kDump}};
    EXPECT_THROW(RunCupsFilter(bad), std::invalid_argument);
}

TEST_F(CupsFilterTest, EveryChoiceOfTheTsplAndEplPpdsPassesTheChain) {
    // Round r sets every option to its r-th choice (the last one where it has fewer), so every
    // choice of every option goes through the rasteriser in some round.
    for (const auto& [path, feedSetting] : kTsplEplPpds) {
        ppd_file_t* ppd = ppdOpenFile(path.c_str());
        ASSERT_NE(ppd, nullptr) << path;
        std::vector<const ppd_option_t*> options;
        int rounds = 0;
        for (int g = 0; g < ppd->num_groups; ++g) {
            for (int o = 0; o < ppd->groups[g].num_options; ++o) {
                const ppd_option_t& option = ppd->groups[g].options[o];
                if (std::string(option.keyword) == "PageRegion") continue;
                options.push_back(&option);
                rounds = std::max(rounds, option.num_choices);
            }
        }
        ASSERT_GT(options.size(), 35u);
        for (int round = 0; round < rounds; ++round) {
            CupsFilterJob job = Job(path);
            for (const ppd_option_t* option : options) {
                const int index = std::min(round, option->num_choices - 1);
                job.options.emplace_back(option->keyword, option->choices[index].choice);
            }
            SCOPED_TRACE(path + " round " + std::to_string(round));
            const FilterResult r = RunCupsFilter(job);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::vector<PageHeader> pages = Pages(r.out);
            ASSERT_EQ(pages.size(), 1u) << r.out;
            EXPECT_EQ(pages[0].bits, 24u);
            EXPECT_EQ(pages[0].colorSpace, unsigned(CUPS_CSPACE_RGB));
            const auto chosen = [&](const char* keyword) {
                const ppd_option_t* option = ppdFindOption(ppd, keyword);
                return std::string(
                    option->choices[std::min(round, option->num_choices - 1)].choice);
            };
            EXPECT_EQ(Setting(r.out, "sDensity"), chosen("Density"));
            EXPECT_EQ(Setting(r.out, "dwOperationAfterPrn"), chosen("Mode"));
            if (std::string(feedSetting) == "sCutPosition") {
                EXPECT_EQ(Setting(r.out, feedSetting), chosen("Feed"));
            }
            EXPECT_EQ(Setting(r.out, "sMaxOutputWidth"), "104");
            // The filter gets every choice as the user gave it.
            const std::string given = " " + Line(r.out, "options") + " ";
            for (const auto& [name, value] : job.options)
                EXPECT_NE(given.find(" " + name + "=" + value + " "), std::string::npos) << name;
        }
        ppdClose(ppd);
    }
}
