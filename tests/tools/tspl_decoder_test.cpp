// The TSPL decoder on hand-made streams: every command form, bitmap modes, the cutter's count,
// hostile input, the resolution guess and the tspldecode command.
#include "tools/tspldecode/tspl_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/preview_art.h"

namespace {

// "BITMAP x,y,w,h,mode," and the art packed as the printer reads it: bit 0 prints a dot.
std::string Bitmap(int x, int y, const std::vector<std::string>& art, int mode = 0) {
    const size_t bytesPerRow = (art[0].size() + 7) / 8;
    std::string data;
    for (const std::string& row : art) {
        std::string bytes(bytesPerRow, char(0xFF));
        for (size_t c = 0; c < row.size(); ++c) {
            if (row[c] == '#') bytes[c / 8] = char(uint8_t(bytes[c / 8]) & ~(0x80 >> (c % 8)));
        }
        data += bytes;
    }
    return "BITMAP " + std::to_string(x) + "," + std::to_string(y) + "," +
           std::to_string(bytesPerRow) + "," + std::to_string(art.size()) + "," +
           std::to_string(mode) + "," + data + "\r\n";
}

TsplJob Decode(const std::string& stream, uint32_t dpi = 203) {
    TsplDecodeOptions options;
    options.dpi = dpi;
    return DecodeTspl(stream, options);
}

// '#' for a label followed by a cut, '.' for one without.
std::string Cuts(const TsplJob& job) {
    std::string cuts;
    for (bool cut : job.cutAfter) cuts += cut ? '#' : '.';
    return cuts;
}

bool Has(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& t : texts) {
        if (t.find(part) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST(TsplDecoderTest, EveryCommandFormReachesTheSettings) {
    struct Case {
        std::string command, line;
    } cases[] = {
        {"SIZE 812 dot,1218 dot", "size 812 x 1218 dots, 101.6 x 152.4 mm"},
        {"SIZE 100 mm,150 mm", "size 799 x 1199 dots, 100 x 150 mm"},
        {"SIZE 4,6", "size 812 x 1218 dots, 101.6 x 152.4 mm"},
        {"SIZE 2.5,1", "size 508 x 203 dots, 63.5 x 25.4 mm"},
        {"GAP 3 mm,0 mm", "media gap 3 mm offset 0 mm"},
        {"GAP 2.5 mm,1.5 mm", "media gap 2.5 mm offset 1.5 mm"},
        {"GAP 0.12,0", "media gap 3.05 mm offset 0 mm"},
        {"GAP 0 mm,0 mm", "media continuous"},
        {"BLINE 3 mm,0.5 mm", "media black-line 3 mm offset 0.5 mm"},
        {"DIRECTION 1,0", "direction 1,0"},
        {"DIRECTION 0", "direction 0,0"},
        {"REFERENCE 0,0", "reference 0,0"},
        {"DENSITY 15", "density 15"},
        {"SPEED 1.5", "speed 1.5"},
        {"OFFSET 2 mm", "offset 2 mm"},
        {"OFFSET -1.5 mm", "offset -1.5 mm"},
        {"SET RIBBON ON", "ribbon on"},
        {"SET PEEL OFF", "peel off"},
        {"SET TEAR ON", "tear on"},
        {"SET CUTTER OFF", "cutter off"},
        {"SET CUTTER 3", "cutter every 3"},
        {"SET CUTTER BATCH", "cutter batch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const TsplJob job = Decode(c.command + "\r\n");
        const std::string summary = FormatTsplSummary(job);
        EXPECT_TRUE(job.ok()) << summary;
        EXPECT_NE(summary.find("\n" + c.line + "\n"), std::string::npos) << summary;
    }
}

TEST(TsplDecoderTest, MalformedCommandsAreNamed) {
    struct Case {
        std::string stream, error;
    } cases[] = {
        {"DENSITY 16\r\n", "DENSITY at byte 0 has bad parameters: \"16\""},
        {"SPEED 0\r\n", "SPEED at byte 0 has bad parameters"},
        {"SIZE 4\r\n", "SIZE at byte 0 has bad parameters"},
        {"SIZE 1e3,2\r\n", "SIZE at byte 0 has bad parameters"},
        {"GAP 3 mm\r\n", "GAP at byte 0 has bad parameters"},
        {"DIRECTION 2\r\n", "DIRECTION at byte 0 has bad parameters"},
        {"REFERENCE -1,0\r\n", "REFERENCE at byte 0 has bad parameters"},
        {"SET RIBBON MAYBE\r\n", "SET at byte 0 has bad parameters"},
        {"SET CUTTER 0\r\n", "SET at byte 0 has bad parameters"},
        {"CLS\r\nPRINT 0\r\n", "PRINT at byte 5 has bad parameters"},
        {"PRINT 1,2,3\r\n", "PRINT at byte 0 has bad parameters"},
        {"SET FOO ON\r\n", "unknown command \"SET FOO\" at byte 0"},
        {"TEXT 10,10,\"3\",0,1,1,\"A\"\r\nTEXT 1\r\n", "unknown command \"TEXT\" at byte 0"},
        {"CLS\r\nPRINT 1", "\"PRINT 1\" at byte 5 is not ended by CR LF"},
        {"PRINT 1\r\n", "PRINT at byte 0 before SIZE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        const TsplJob job = Decode(c.stream);
        ASSERT_EQ(job.errors.size(), 1u) << FormatTsplSummary(job);
        EXPECT_NE(job.errors[0].find(c.error), std::string::npos) << job.errors[0];
    }
}

TEST(TsplDecoderTest, BitmapsOverwriteOrAndXorTheImageBuffer) {
    const std::string stream = "SIZE 16 dot,3 dot\r\nCLS\r\n" +
                               Bitmap(0, 0, {"########", "########", "########"}) +
                               Bitmap(4, 1, {"....####", "#......."}, 0) +              // overwrite
                               Bitmap(8, 0, {"#.#.....", "........"}, 1) +              // OR
                               Bitmap(0, 0, {"##......", "........", "###....#"}, 2) +  // XOR
                               "PRINT 1,2\r\n";
    const TsplJob job = Decode(stream);
    ASSERT_TRUE(job.ok()) << FormatTsplSummary(job);
    ASSERT_EQ(job.prints.size(), 1u);
    const TsplPrint& print = job.prints[0];
    EXPECT_EQ(Art(print.image), (std::vector<std::string>{"..#######.#.....", "####....####....",
                                                          "...##..#........"}));
    EXPECT_EQ(print.darkDots, print.image.CountDark());
    EXPECT_EQ(print.copies, 2u);
    EXPECT_EQ(print.bitmaps.size(), 4u);
    EXPECT_EQ(job.Labels(), 2u);

    // CLS empties the buffer: the next print is blank.
    const TsplJob cleared = Decode(stream + "CLS\r\nPRINT 1\r\n");
    ASSERT_EQ(cleared.prints.size(), 2u);
    EXPECT_EQ(cleared.prints[1].darkDots, 0u);
    EXPECT_TRUE(cleared.prints[1].bitmaps.empty());
}

TEST(TsplDecoderTest, TheCutterCountsLabelsFromItsCommand) {
    struct Case {
        std::string commands, cuts;
    } cases[] = {
        {"SET CUTTER OFF;PRINT 1,2;SET CUTTER 1;PRINT 1,1;SET CUTTER OFF;PRINT 1,2", "..#.."},
        {"PRINT 1,3", "..."},
        {"SET CUTTER 2;PRINT 1,5;PRINT 1,1", ".#.#.#"},
        {"SET CUTTER 3;PRINT 2,2", "..#."},
        {"SET CUTTER 2;PRINT 1,1;SET CUTTER 2;PRINT 1,1;PRINT 1,1", "..#"},
        {"SET CUTTER BATCH;PRINT 1,3;PRINT 2,1", "..#.#"},
        {"SET CUTTER OFF;PRINT 1,2;PRINT 1,2;SET CUTTER 3;PRINT 1,3", "......#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commands);
        std::string stream = "SIZE 8 dot,1 dot\r\n", commands = c.commands;
        for (char& ch : commands) ch = ch == ';' ? '\n' : ch;
        const TsplJob job = Decode(stream + commands + "\n");
        EXPECT_TRUE(job.ok()) << FormatTsplSummary(job);
        EXPECT_EQ(Cuts(job), c.cuts);
    }
    const std::string summary =
        FormatTsplSummary(Decode("SIZE 8 dot,1 dot\r\nSET CUTTER 3\r\nPRINT 1,4\r\n"));
    EXPECT_NE(summary.find("labels 1-2: no cut\nlabels 3-3: cut after each\nlabels 4-4: no cut\n"
                           "labels 4 cuts 1\n"),
              std::string::npos)
        << summary;
}

TEST(TsplDecoderTest, HostileStreamsEndWithErrorsNotCrashes) {
    const std::string size = "SIZE 8 dot,2 dot\r\n";
    struct Case {
        std::string name, stream, error;
    } cases[] = {
        {"data past the end", size + "BITMAP 0,0,2,2,0,\xff",
         "announces 4 data bytes, the stream has 1"},
        {"header cut short", "BITMAP 0,0,2", "BITMAP at byte 0 has an incomplete header"},
        {"header not numeric", "BITMAP 0,0,x,2,0,\xff\r\n", "BITMAP at byte 0 has bad parameters"},
        {"unknown mode", "BITMAP 0,0,1,1,3,\xff\r\n", "has bad parameters"},
        {"bitmap off the label", size + Bitmap(8, 0, {"#"}) + "PRINT 1\r\n",
         "print 1 bitmap 1 at byte 18: 1 printed dots fall outside the 8 x 2 label"},
        {"label too large", "SIZE 100000 dot,100000 dot\r\nPRINT 1\r\n", "too large to draw"},
        {"label limit", size + "PRINT 999999999,999999999\r\nPRINT 1\r\n",
         "more than 65536 labels"},
        {"binary junk", std::string("\x00\x01\xff\r\n", 5), "unknown command \"\\x00\\x01\\xff\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TsplJob job = Decode(c.stream);
        EXPECT_TRUE(Has(job.errors, c.error)) << FormatTsplSummary(job);
        EXPECT_EQ(job.errors.size(), 1u) << FormatTsplSummary(job);
    }
    // Only blank dots beyond the edge: the print loses nothing.
    const TsplJob blank = Decode(size + Bitmap(4, 0, {"#.......", "........"}) + "PRINT 1\r\n");
    EXPECT_TRUE(blank.ok()) << FormatTsplSummary(blank);
    EXPECT_TRUE(Has(blank.warnings, "reaches past the label with blank dots"));
    EXPECT_EQ(blank.prints[0].darkDots, 1u);
}

TEST(TsplDecoderTest, TheResolutionIsGuessedFromLengthsInDots) {
    const std::string mm = "SIZE 100 mm,10 mm\r\n";
    EXPECT_EQ(DecodeTspl(mm).dpi, 203u);
    EXPECT_TRUE(DecodeTspl(mm).dpiDetected);
    EXPECT_EQ(DecodeTspl("SIZE 1200 dot,10 dot\r\n").dpi, 300u);
    EXPECT_EQ(DecodeTspl(mm + Bitmap(832, 0, {"#"})).dpi, 300u);
    const TsplJob given = Decode(mm + "PRINT 1\r\n", 300);
    EXPECT_FALSE(given.dpiDetected);
    EXPECT_EQ(given.prints[0].widthDots, 1181u);
    EXPECT_EQ(given.prints[0].heightDots, 118u);
}

TEST(TsplDecoderTest, CommandWritesOnePngPerPrintAndTheSummary) {
    TempDir dir;
    WriteFile(dir.File("job.tspl"), "SIZE 16 dot,2 dot\r\nCLS\r\n" + Bitmap(0, 0, {"#", "#"}) +
                                        "PRINT 1,3\r\n" + Bitmap(8, 1, {"##"}, 1) + "PRINT 1\r\n");
    FilterArgs args;
    args.argvOverride = std::vector<std::string>{"-o", dir.path(), dir.File("job.tspl")};
    const FilterResult r = RunFilter(TSPLDECODE, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(" sets 1 copies 3 labels 1-3 size 16x2 dark 2\n"), std::string::npos)
        << r.out;
    const size_t dark[] = {2, 4};
    for (int k = 1; k <= 2; ++k) {
        const std::optional<GreyBitmap> png =
            ReadPng(dir.File("job-" + std::to_string(k) + ".png"));
        ASSERT_TRUE(png.has_value());
        EXPECT_EQ(png->width(), 16u);
        EXPECT_EQ(png->height(), 2u);
        EXPECT_EQ(png->CountDark(), dark[k - 1]);
    }
    args.argvOverride = std::vector<std::string>{"--no-png", "--prefix", "in", "-"};
    const FilterResult stdinRun = RunFilter(TSPLDECODE, args, "PRINT 1\r\n");
    EXPECT_EQ(stdinRun.exitCode, 1) << stdinRun.out;
    args.argvOverride = std::vector<std::string>{dir.File("absent.tspl")};
    EXPECT_EQ(RunFilter(TSPLDECODE, args).exitCode, 2);
    args.argvOverride = std::vector<std::string>{"--dpi", "0", dir.File("job.tspl")};
    EXPECT_EQ(RunFilter(TSPLDECODE, args).exitCode, 2);
}
