// Hostile numbers in the queue's PPD and in page headers never reach the printer as commands
// outside its ranges: every label filter runs on them, and its stream is decoded as a printer
// would read it. Built with the address and undefined-behaviour sanitizers too (scripts/test.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/page_records.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/epldecode/epl_decoder.h"
#include "tools/tspldecode/tspl_decoder.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

// The options of all three filters at once, each set to an extreme.
PpdFixture HostileQueue(const std::string& value) {
    PpdFixture ppd;
    ppd.Keyword("OutputDPI", "203").Keyword("MaxOutputWidth", value);
    for (const char* option : {"Density",          "PrintSpeed",
                               "zePrintRate",      "zeBackfeedRate",
                               "HorizontalOffset", "HorizontalOffsetValue",
                               "VerticalOffset",   "VerticalOffsetValue",
                               "Brightness",       "Contrast",
                               "Levels",           "ColorLevels",
                               "Halftone",         "GAPHeight",
                               "GAPOffset",        "Mode",
                               "FeedModel",        "CutMethod",
                               "Interval",         "Feed",
                               "MaxOutputWidth",   "PrintMode",
                               "SavePaper",        "StartOffsetValue",
                               "EndOffsetValue",   "FixedHeight",
                               "MinLength",        "IntervalBlack",
                               "IntervalWhite",    "IsToDashed",
                               "MediaType",        "PrintMethod",
                               "Rotation",         "AutoRotate"}) {
        ppd.NumericOption(option, {value}, value);
    }
    return ppd;
}

struct Decoded {
    bool sound;
    std::string summary;
};

// Sound: no command the printer would refuse. Dots that an extreme shift moves off the label
// are not printed, which is what such a shift asks for.
bool Sound(const std::vector<std::string>& errors) {
    for (const std::string& error : errors) {
        if (error.find("fall outside the") == std::string::npos) return false;
    }
    return true;
}

Decoded Decode(const std::string& language, const std::string& stream) {
    if (language == "zpl") {
        const ZplDecodeResult zpl = DecodeZpl(stream);
        return {zpl.ok(), FormatSummary(zpl)};
    }
    if (language == "tspl") {
        const TsplJob tspl = DecodeTspl(stream);
        return {Sound(tspl.errors), FormatTsplSummary(tspl)};
    }
    const EplJob epl = DecodeEpl(stream);
    return {Sound(epl.errors), FormatEplSummary(epl)};
}

TEST(HostileValuesTest, NoCommandOutsideThePrintersRanges) {
    const struct {
        const char* language;
        std::string program;
    } kFilters[] = {{"zpl", RASTOMOXZPL}, {"tspl", RASTOMOXTSPL}, {"epl", RASTOMOXEPL}};
    const char* const kValues[] = {"2147483647", "-2147483648", "65535", "65536",
                                   "1000000",    "0",           "-1"};
    const unsigned kCopies[] = {0, 1, 65536, 2147483647};
    TempDir dir;
    for (const auto& filter : kFilters) {
        for (const char* value : kValues) {
            for (const unsigned copies : kCopies) {
                SCOPED_TRACE(std::string(filter.language) + " with " + value + ", copies " +
                             std::to_string(copies));
                TestPage page = BlockPage(64, 48, 8, 8, 16, 16);
                page.numCopies = copies;
                // Two pages of up to 65535 copies each would be more labels than the decoders
                // count; two pages of one copy go through the multi-page rules.
                WriteRasterFile(dir.File("job.ras"), copies > 1
                                                         ? std::vector<TestPage>{page}
                                                         : std::vector<TestPage>{page, page});
                FilterArgs args;
                args.ppdPath = HostileQueue(value).WriteTo(dir.File("queue.ppd"));
                args.rasterFile = dir.File("job.ras");
                const FilterResult r = RunFilter(filter.program, args);
                ASSERT_EQ(r.termSignal, 0) << r.err;
                // A job may be refused, but only with its reason.
                if (r.exitCode != 0) {
                    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
                    continue;
                }
                const Decoded decoded = Decode(filter.language, r.out);
                EXPECT_TRUE(decoded.sound) << decoded.summary;
            }
        }
    }
}

}  // namespace
