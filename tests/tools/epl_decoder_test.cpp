// The EPL2 decoder on streams written by hand: media forms, the cutter model, drawing, the
// faults it must name, mutated streams, and the epldecode command.
#include "tools/epldecode/epl_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/preview_art.h"

namespace {

std::string Graphic(int x, int y, const std::vector<std::string>& art) {
    const std::vector<uint8_t> bits = PackEplArt(art);
    return "GW" + std::to_string(x) + "," + std::to_string(y) + "," +
           std::to_string(bits.size() / art.size()) + "," + std::to_string(art.size()) + ",\r\n" +
           std::string(bits.begin(), bits.end()) + "\r\n";
}

const std::string kLabel = "q16\r\nQ4,24\r\nN\r\n" + Graphic(2, 1, {"#.#.", ".##."});

bool HasError(const EplJob& job, const std::string& part) {
    for (const std::string& e : job.errors) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST(EplDecoderTest, MediaForms) {
    struct Case {
        std::string q;
        EplMedia::Kind kind;
        uint32_t gap, offset;
    } cases[] = {{"Q400,24", EplMedia::Kind::Gap, 24, 0},
                 {"Q400,24+8", EplMedia::Kind::Gap, 24, 8},
                 {"Q400,B24", EplMedia::Kind::BlackLine, 24, 0},
                 {"Q400,B24+8", EplMedia::Kind::BlackLine, 24, 8},
                 {"Q400,0", EplMedia::Kind::Continuous, 0, 0}};
    for (const Case& c : cases) {
        const EplJob job = DecodeEpl("q8\r\n" + c.q + "\r\nP1\r\n");
        ASSERT_TRUE(job.ok()) << FormatEplSummary(job);
        const EplMedia& media = *job.labels.at(0).media;
        EXPECT_EQ(media.kind, c.kind) << c.q;
        EXPECT_EQ(media.lengthDots, 400u);
        EXPECT_EQ(media.gapDots, c.gap);
        EXPECT_EQ(media.offsetDots, c.offset);
    }
}

TEST(EplDecoderTest, CutterCountsLabelsFromItsOptionCommand) {
    struct Case {
        std::string stream;
        std::vector<uint64_t> cuts;
        uint64_t uncut;
    } cases[] = {
        {"OC\r\nP2\r\nP1\r\n", {1, 2, 3}, 0},         {"OD,C2,P\r\nP3\r\nP3\r\n", {2, 4, 6}, 0},
        {"OC2\r\nP1\r\nOC2\r\nP1\r\nP1\r\n", {3}, 0}, {"OC3\r\nP2\r\nO\r\nP5\r\n", {}, 7},
        {"OD\r\nP1\r\nOC4\r\nP9\r\n", {5, 9}, 1},
    };
    for (const Case& c : cases) {
        const EplJob job = DecodeEpl(kLabel + c.stream);
        ASSERT_TRUE(job.ok()) << FormatEplSummary(job);
        std::vector<uint64_t> cuts;
        for (const EplCut& cut : job.cuts) cuts.push_back(cut.afterLabel);
        EXPECT_EQ(cuts, c.cuts) << c.stream;
        EXPECT_EQ(job.cutCount, c.cuts.size());
        EXPECT_EQ(job.Uncut(), c.uncut);
    }
}

TEST(EplDecoderTest, DrawsGraphicsAndBoxesIntoTheImageBuffer) {
    const EplJob job = DecodeEpl(kLabel + "LO12,0,3,2\r\nP2\r\nN\r\nLO0,3,1,1\r\nP1\r\n");
    ASSERT_TRUE(job.ok()) << FormatEplSummary(job);
    ASSERT_EQ(job.labels.size(), 2u);
    EXPECT_EQ(Art(job.labels[0].image),
              (std::vector<std::string>{"............###.", "..#.#.......###.", "...##...........",
                                        "................"}));
    EXPECT_EQ(job.labels[0].copies, 2u);
    EXPECT_EQ(job.labels[1].firstLabel, 3u);
    EXPECT_EQ(job.labels[1].darkDots, 1u) << "N cleared the image buffer";
    EXPECT_EQ(job.printed, 3u);
}

TEST(EplDecoderTest, FaultsAreNamed) {
    struct Case {
        std::string stream;
        std::string error;
    } cases[] = {
        {"q8\r\nQ4,24\r\nGW0,0,1,4,\r\nab", "announces 4 bytes of graphic data, the stream has 2"},
        {"GW0,0,1,1\r\n", "is not \"GWx,y,bytes,rows,\""},
        {"q8\r\nQ4,24\r\n" + Graphic(7, 0, {"##"}) + "P1\r\n", "prints 1 dots outside"},
        {"q8\r\nQ4,24\r\nLO0,3,2,2\r\nP1\r\n", "prints 2 dots outside"},
        {"Q4,24\r\nP1\r\n", "before q"},
        {"q8\r\nP1\r\n", "before Q"},
        {"A10,10,0,3,1,1,N,\"x\"\r\n", "unknown command \"A\""},
        {"D16\r\nS9\r\nfB256\r\nf60\r\nOX\r\nI9,E\r\nP0\r\nQ400,B8\r\nq0\r\n", "\"0\""},
    };
    for (const Case& c : cases) {
        const EplJob job = DecodeEpl(c.stream);
        EXPECT_TRUE(HasError(job, c.error)) << FormatEplSummary(job);
    }
    EXPECT_EQ(DecodeEpl("D16\r\nS9\r\nfB256\r\nf60\r\nOX\r\nI9,E\r\nP0\r\nQ400,B8\r\nq0\r\n")
                  .errors.size(),
              9u);
    // A graphic whose blank padding overhangs the label prints nothing outside it.
    EXPECT_TRUE(DecodeEpl("q6\r\nQ1,24\r\n" + Graphic(0, 0, {"######"}) + "P1\r\n").ok());
}

TEST(EplDecoderTest, MutatedStreamsEndWithAConsistentSummary) {
    const std::string valid =
        "N\r\nI8,E\r\nWN\r\nZB\r\nS3\r\nD8\r\nOD,C2\r\nJF\r\nfB45\r\nf100\r\n" + kLabel +
        "LO1,1,2,2\r\nP3\r\nQ6,B16+2\r\nP1\r\n";
    std::mt19937 rng(11);
    const std::string syntax = "NGWLOPQqOCDSIfBJ0123456789,+\r\n";
    for (int i = 0; i < 3000; ++i) {
        std::string s = valid;
        for (int edit = 0; edit < 4; ++edit) {
            const size_t at = rng() % s.size();
            const char byte = rng() % 3 ? syntax[rng() % syntax.size()] : char(rng());
            if (rng() % 2) {
                s[at] = byte;
            } else {
                s.resize(at);  // truncated
                if (s.empty()) s = valid;
            }
        }
        const EplJob job = DecodeEpl(s);
        const std::string summary = FormatEplSummary(job);
        ASSERT_TRUE(summary.ends_with(
            job.ok() ? "result ok\n" : "errors " + std::to_string(job.errors.size()) + "\n"))
            << summary;
        uint64_t printed = 0;
        for (const EplLabel& label : job.labels) {
            ASSERT_EQ(label.firstLabel, printed + 1);
            printed += label.copies;
            if (label.image.empty()) continue;
            ASSERT_EQ(label.image.width(), *label.widthDots);
            ASSERT_EQ(label.image.height(), label.media->lengthDots);
            ASSERT_EQ(label.darkDots, label.image.CountDark());
        }
        ASSERT_EQ(job.printed, printed);
        ASSERT_LE(job.lastCutAfter, job.printed);
    }
}

TEST(EplDecodeCommandTest, ExitStatusPngAndStandardInput) {
    TempDir dir;
    WriteFile(dir.File("job.epl"), kLabel + "P2\r\n");
    FilterArgs args;
    args.argvOverride = std::vector<std::string>{"-o", dir.path(), dir.File("job.epl")};
    FilterResult r = RunFilter(EPLDECODE, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("labels 1 printed 2 cuts 0 uncut 2\n")) << r.out;
    const std::optional<GreyBitmap> png = ReadPng(dir.File("job-1.png"));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(Art(*png), (std::vector<std::string>{"................", "..#.#...........",
                                                   "...##...........", "................"}));

    args.argvOverride = std::vector<std::string>{"--prefix", "in", "-o", dir.path(), "-"};
    r = RunFilter(EPLDECODE, args, "P1\r\n");
    EXPECT_EQ(r.exitCode, 1) << "P before q and Q";
    args.argvOverride = std::vector<std::string>{dir.File("absent.epl")};
    EXPECT_EQ(RunFilter(EPLDECODE, args).exitCode, 2);
    args.argvOverride = std::vector<std::string>{"--bad", dir.File("job.epl")};
    EXPECT_EQ(RunFilter(EPLDECODE, args).exitCode, 2);
}
