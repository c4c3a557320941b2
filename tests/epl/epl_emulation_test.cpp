// The EPL2 command builder: command texts, the start of document and its cache, pages and the
// cutter modes read back through the EPL decoder, the two-call protocol and hostile settings.
#include "epl/epl_emulation.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/tools/preview_art.h"
#include "tools/epldecode/epl_decoder.h"

namespace {

const std::vector<std::string> kArt = {"#..#....##......", ".######.........", "...##..........#"};
const std::vector<uint8_t> kBits = PackEplArt(kArt);

std::string Bytes(const CEPLEmulation& builder) {
    int64_t length = 0;
    builder.GetOutputData(nullptr, 0, &length);
    std::string out(size_t(length), '\0');
    EXPECT_EQ(builder.GetOutputData(reinterpret_cast<uint8_t*>(out.data()), length, &length), 1);
    return out;
}

std::string Built(const std::function<void(CEPLEmulation&)>& build) {
    CEPLEmulation builder;
    build(builder);
    return Bytes(builder);
}

// A 203 dpi job on 50 x 30 mm gap labels, direct thermal, tear-off.
tagOEMCFG Settings() {
    tagOEMCFG c;
    std::memset(&c, 0, sizeof(c));
    c.sOutputXDPI = c.sOutputYDPI = 203;
    c.sPrintSpeed = 3;
    c.sDensity = 8;
    c.sPaperType = 1;
    c.sLabelType = 1;
    c.GAPHeight = 30;
    c.dwOperationAfterPrn = 3;
    c.lLabelWidth = 500;
    c.lLabelLength = 300;
    c.sCutPosition = 100;
    c.sIntervalValue = 1;
    return c;
}

// The two calls the renderer makes: the length, then the bytes.
std::string StartDoc(CEPLEmulation& builder, tagOEMCFG& c) {
    int64_t length = -1;
    EXPECT_EQ(builder.GetStartDocCMD(&c, nullptr, 0, &length), 0);
    std::string out(size_t(length), '\0');
    EXPECT_EQ(builder.GetStartDocCMD(&c, reinterpret_cast<uint8_t*>(out.data()), length, &length),
              1);
    return out;
}

std::string Page(tagOEMCFG& c, int x, bool last, const std::vector<uint8_t>& bits = kBits,
                 int width = 16, int rows = 3, int y = 0) {
    CLBPTREmulation builder;
    int64_t length = -1;
    const auto transfer = [&](uint8_t* out) {
        return builder.TransferImageData2CMD(&c, bits.data(), int64_t(bits.size()), x, y, width,
                                             rows, out, length, &length, last);
    };
    if (transfer(nullptr) == 0 && length <= 0) return "";
    std::string out(size_t(length), '\0');
    EXPECT_EQ(transfer(reinterpret_cast<uint8_t*>(out.data())), 1);
    return out;
}

// A job as the renderer sends it: the start of document, then each page with its copies.
std::string Job(tagOEMCFG c, int pages, int copies) {
    CLBPTREmulation start;
    std::string stream = StartDoc(start, c);
    for (int page = 1; page <= pages; ++page) {
        c.dwPageIndex = c.sLabelCount = uint16_t(page);
        c.sCopies = int16_t(copies);
        stream += Page(c, 8, page == pages);
    }
    return stream;
}

std::vector<uint64_t> Cuts(const EplJob& job) {
    std::vector<uint64_t> cuts;
    for (const EplCut& cut : job.cuts) cuts.push_back(cut.afterLabel);
    return cuts;
}

}  // namespace

TEST(EplCommandTest, TextsStayInThePrintersRanges) {
    struct Case {
        std::function<void(CEPLEmulation&)> build;
        std::string text;
    } cases[] = {
        {[](auto& b) { b.SetPrinterSpeed(3), b.SetPrinterDensity(15); }, "S3\r\nD15\r\n"},
        {[](auto& b) { b.SetPrinterSpeed(1000), b.SetPrinterDensity(1000); }, ""},
        {[](auto& b) { b.SetPrinterSpeed(7), b.SetPrinterDensity(-1); }, ""},
        {[](auto& b) { b.SetBackupPositionCMD(0); }, ""},
        {[](auto& b) { b.SetBackupPositionCMD(255); }, "fB255\r\n"},
        {[](auto& b) { b.SetBackupPositionCMD(300); }, "fB255\r\nfB45\r\n"},
        {[](auto& b) { b.SetBackupPositionCMD(600); }, "fB255\r\nfB255\r\nfB90\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(400, 0, 5, true); }, "Q400,0\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(400, 24, 0, false); }, "Q400,24\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(400, 24, 8, false); }, "Q400,24+8\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(400, 24, 0, true); }, "Q400,B24\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(400, 24, 8, true); }, "Q400,B24+8\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(0, 4, -8, false); }, "Q1,16\r\n"},
        {[](auto& b) { b.SetLabelLenghtCMD(INT_MAX, 999, INT_MAX, true); },
         "Q65535,B240+65535\r\n"},
        {[](auto& b) { b.SetLabelWidthCMD(-3), b.PrintCMD(0), b.PrintCMD(70000); },
         "q1\r\nP1\r\nP65535\r\n"},
        {[](auto& b) {
             b.SetCutPositionCMD(69), b.SetCutPositionCMD(70), b.SetCutPositionCMD(131);
         },
         "f70\r\n"},
        {[](auto& b) { b.SetPtrCharSetCMD(8, 18), b.SetPtrCharSetCMD(8, 20); }, "I8,E\r\n"},
        {[](auto& b) { b.DrawLine(-5, 3, 10, 2), b.DrawLine(1, 1, 0, 5); }, "LO0,3,10,2\r\n"},
        {[](auto& b) { b.SetPrinterOptionsCMD(nullptr); }, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Built(c.build), c.text);

    struct Options {
        _HWOPT set;
        std::string text;
    } options[] = {{{0, 0, 0, 0}, "O\r\n"},      {{0, 0, 1, 0}, "OD\r\n"},
                   {{1, 1, 0, 0}, "OC\r\n"},     {{1, 5, 0, 1}, "OC5,P\r\n"},
                   {{1, 0, 1, 1}, "OD,C,P\r\n"}, {{1, 7, 1, 1}, "OD,C7,P\r\n"}};
    for (const Options& o : options)
        EXPECT_EQ(Built([&](auto& b) { b.SetPrinterOptionsCMD(&o.set); }), o.text);
}

TEST(EplCommandTest, GraphicHeaderAnnouncesExactlyTheBytesSent) {
    const std::vector<uint8_t> data(2401, 0xA5);
    for (int64_t length : {2400, 2401}) {
        const std::string gw = Built([&](auto& b) {
            EXPECT_EQ(b.DirectGraphicWriteCMD(5, 7, 0, 100, data.data(), length), 1);
        });
        EXPECT_EQ(gw, "GW5,7,24,100,\r\n" + std::string(2400, '\xA5') + "\r\n");
    }
    CEPLEmulation b;
    EXPECT_EQ(b.DirectGraphicWriteCMD(0, 0, 8, 0, data.data(), 10), 0);
    EXPECT_EQ(b.DirectGraphicWriteCMD(0, 0, 8, 2, nullptr, 10), 0);
    EXPECT_EQ(b.SetCmdBuf(nullptr, 3), 0);
    EXPECT_EQ(b.CmdLen(), 0);
}

TEST(EplStartDocTest, SettingsGiveTheirCommands) {
    const std::string head = "N\r\nI8,E\r\nWN\r\nZB\r\n";
    struct Case {
        std::function<void(tagOEMCFG&)> change;
        std::string text;
    } cases[] = {
        {[](auto&) {}, "S3\r\nD8\r\nOD\r\nJF\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.sPrintSpeed = 1000, c.sDensity = 1000; },
         "OD\r\nJF\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.sPaperType = 2, c.dwOperationAfterPrn = 2; },
         "S3\r\nD8\r\nOP\r\nJF\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.dwOperationAfterPrn = 1; }, "S3\r\nD8\r\nOD\r\nJB\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.dwOperationAfterPrn = 4; }, "S3\r\nD8\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.sBackupPosition = 375; },
         "S3\r\nD8\r\nOD\r\nJF\r\nfB255\r\nfB45\r\nq400\r\nQ240,24\r\n"},
        {[](auto& c) { c.sLabelType = 2, c.GAPOffset = 10; },
         "S3\r\nD8\r\nOD\r\nJF\r\nq400\r\nQ240,B24+8\r\n"},
        {[](auto& c) { c.sLabelType = 3; }, "S3\r\nD8\r\nOD\r\nJF\r\nq400\r\nQ240,0\r\n"},
        {[](auto& c) { c.dwStartOffsetValue = 2, c.dwEndOffsetValue = 3; },
         "S3\r\nD8\r\nOD\r\nJF\r\nq400\r\nQ280,24\r\n"},
        {[](auto& c) { c.sSavePaper = 1; }, "S3\r\nD8\r\nOD\r\nJF\r\n"},
        // Hostile values: widths beyond the widest head, negative lengths, absurd gaps.
        {[](auto& c) {
             c.lLabelWidth = int64_t{1} << 50, c.lLabelLength = -5, c.GAPHeight = 65535;
             c.sDensity = int64_t{1} << 40, c.sPrintSpeed = 9, c.sBackupPosition = INT16_MIN;
         },
         "OD\r\nJF\r\nq844\r\nQ1,240\r\n"},
    };
    for (const Case& c : cases) {
        tagOEMCFG settings = Settings();
        c.change(settings);
        CEPLEmulation builder;
        EXPECT_EQ(StartDoc(builder, settings), head + c.text);
    }
}

TEST(EplStartDocTest, RepeatedCallReusesTheBytesUntilTheSettingsChange) {
    tagOEMCFG c = Settings();
    CEPLEmulation builder;
    const std::string first = StartDoc(builder, c);
    builder.SetCmdBuf("X", 1);  // visible only as long as nothing is rebuilt
    EXPECT_EQ(StartDoc(builder, c), first + "X");
    c.sDensity = 9;
    EXPECT_EQ(StartDoc(builder, c), std::string(first).replace(first.find("D8"), 2, "D9"));

    // A page built in between does not pass for a start of document.
    c.sCopies = 1;
    c.dwPageIndex = 1;
    int64_t length = 0;
    builder.TransferPageData2CMD(&c, kBits.data(), int64_t(kBits.size()), 0, 0, 16, 3, nullptr, 0,
                                 &length, true);
    builder.GetStartDocCMD(&c, nullptr, 0, &length);
    EXPECT_EQ(Bytes(builder).substr(0, 9), "N\r\nI8,E\r\n");
}

TEST(EplPageTest, PlacementSizeAndCopiesReadBack) {
    struct Case {
        std::function<void(tagOEMCFG&)> change;
        int inX;  // the page's left edge
        int64_t x, y;
        uint32_t width, length;
        uint64_t printed;
    } cases[] = {
        {[](auto&) {}, 8, 8, 0, 400, 240, 2},
        {[](auto& c) { c.sHrzOffset = 10; }, 8, 16, 0, 400, 240, 2},
        {[](auto& c) { c.sHrzOffset = 50, c.sHrzDir = 1; }, 8, 0, 0, 400, 240, 2},  // left of 0
        {[](auto& c) { c.dwEndOffsetValue = 2, c.sVtcOffset = 10; }, 8, 8, 24, 400, 256, 2},
        {[](auto& c) { c.dwEndOffsetValue = 2, c.sVtcOffset = 30, c.sVtcDir = 1; }, 8, 8, 0, 400,
         256, 2},  // above the top
        // Label size per page: the graphic's width plus the shift on both sides.
        {[](auto& c) { c.sPaperMode = 1, c.sHrzOffset = 10; }, 0, 8, 0, 32, 3, 2},
        {[](auto& c) { c.sSavePaper = 1, c.dwStartOffsetValue = 1; }, 0, 0, 0, 16, 11, 2},
        {[](auto& c) { c.sPaperMode = 1, c.dwFixedHeight = 1; }, 0, 0, 0, 16, 2374, 2},
        {[](auto& c) { c.sPaperMode = 1, c.dwFixedHeight = 3; }, 0, 0, 0, 16, 1183, 2},
        {[](auto& c) { c.sCopies = 0; }, 8, 0, 0, 0, 0, 0},
        {[](auto& c) { c.sCopies = -4; }, 8, 0, 0, 0, 0, 0},
    };
    for (const Case& k : cases) {
        tagOEMCFG c = Settings();
        c.dwPageIndex = c.sLabelCount = 1;
        c.sCopies = 2;
        k.change(c);
        CEPLEmulation start;
        const EplJob job = DecodeEpl(StartDoc(start, c) + Page(c, k.inX, true));
        EXPECT_EQ(c.sLabelCount, 1 + k.printed) << "the count comes back to the caller";
        EXPECT_EQ(job.printed, k.printed) << FormatEplSummary(job);
        if (k.printed == 0) {
            EXPECT_TRUE(job.labels.empty());
            continue;
        }
        ASSERT_TRUE(job.ok()) << FormatEplSummary(job);
        const EplLabel& label = job.labels.at(0);
        ASSERT_EQ(label.objects.size(), 1u);
        EXPECT_EQ(label.objects[0].x, k.x);
        EXPECT_EQ(label.objects[0].y, k.y);
        EXPECT_EQ(*label.widthDots, k.width);
        EXPECT_EQ(label.media->lengthDots, k.length);
        for (size_t row = 0; row < kArt.size(); ++row)
            EXPECT_EQ(Art(label.image)[size_t(k.y) + row].substr(size_t(k.x), 16), kArt[row]);
    }
}

TEST(EplPageTest, TheGraphicKeepsItsDistanceFromThePageTop) {
    tagOEMCFG c = Settings();
    c.sCopies = 1;
    c.dwEndOffsetValue = 2;  // 16 dots
    const EplJob job = DecodeEpl(Page(c, 8, true, kBits, 16, 3, 40));
    ASSERT_EQ(job.labels.size(), 1u) << FormatEplSummary(job);
    EXPECT_EQ(job.labels[0].objects.at(0).y, 56);
}

TEST(EplPageTest, BlankRunsWorthAHeaderAreLeftOut) {
    const std::string blankRow(40, '.');
    std::vector<std::string> rows(24, blankRow);
    rows[0] = rows[11] = rows[14] = std::string(20, '#') + std::string(20, '.');
    // Four rows with dots in bytes 0 and 8 (seven blank bytes between), or 0 and 2 (one).
    const std::vector<std::string> wide(4, "#......." + std::string(56, '.') + ".......#");
    const std::vector<std::string> narrow(4, "#......." + std::string(8, '.') + ".......#");
    const struct {
        std::vector<std::string> art;
        size_t graphics;
        std::optional<bool> fewerBytesThanTheBits;
    } cases[] = {
        // Ten blank rows cost more than a header and go; the two between rows 11 and 14 stay,
        // and the blank bytes right of the dots go.
        {rows, 2, true},
        {std::vector(3, blankRow), 1, false},  // a graphic without dots is sent whole
        {wide, 2, {}},                         // 28 blank bytes cost more than a header
        {narrow, 1, {}},                       // 4 do not
    };
    for (const auto& k : cases) {
        tagOEMCFG c = Settings();
        c.sCopies = 1;
        const std::vector<uint8_t> bits = PackEplArt(k.art);
        const int width = int(k.art[0].size());
        const std::string stream = Page(c, 0, true, bits, width, int(k.art.size()));
        CEPLEmulation start;
        const EplJob job = DecodeEpl(StartDoc(start, c) + stream);
        ASSERT_EQ(job.labels.size(), 1u) << FormatEplSummary(job);
        const std::vector<std::string> drawn = Art(job.labels[0].image);
        for (size_t row = 0; row < k.art.size(); ++row)
            EXPECT_EQ(drawn.at(row).substr(0, size_t(width)), k.art[row]) << row;
        EXPECT_EQ(job.labels[0].objects.size(), k.graphics);
        if (k.fewerBytesThanTheBits) {
            EXPECT_EQ(stream.size() < bits.size(), *k.fewerBytesThanTheBits);
        }
    }
}

TEST(EplPageTest, EmptyPageWithLabelSizePerPageSendsNothing) {
    tagOEMCFG c = Settings();
    c.sPaperMode = 1;
    c.sCopies = 1;
    EXPECT_EQ(Page(c, 0, true, kBits, 0, 3), "");
    c.sCopies = 0;
    EXPECT_EQ(Page(c, 0, true), "q16\r\nQ3,24\r\n") << "no form without copies";
}

TEST(EplCutterTest, CutsFallWhereTheCutMethodSays) {
    // Three pages of two copies each: physical labels 1 to 6.
    struct Case {
        int64_t method;
        uint16_t interval;
        std::vector<uint64_t> cuts;
    } cases[] = {
        {1, 1, {1, 2, 3, 4, 5, 6}},  // every label
        {2, 1, {6}},                 // the end of the job
        {3, 2, {3, 4, 6}},           // page 2 of every 2, and the last page's copies
        {3, 0, {6}},
        {4, 1, {2, 4, 6}},  // each page's copies
        {7, 1, {}},         // no such method: printed without cutting
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.method);
        tagOEMCFG c = Settings();
        c.dwOperationAfterPrn = 4;
        c.dwOperationModeAfterPrn = k.method;
        c.sIntervalValue = k.interval;
        const EplJob job = DecodeEpl(Job(c, 3, 2));
        ASSERT_TRUE(job.ok()) << FormatEplSummary(job);
        EXPECT_EQ(job.printed, 6u);
        EXPECT_EQ(Cuts(job), k.cuts);
        for (const EplSetting& s : job.settings) {
            if (s.command == "O") {
                EXPECT_EQ(s.params.substr(0, 1), "D") << "direct thermal stays on";
            }
        }
    }
}

TEST(EplCutterTest, HostileCopiesEndAndCutPositionStaysInRange) {
    tagOEMCFG c = Settings();
    c.dwOperationAfterPrn = 4;
    c.dwOperationModeAfterPrn = 3;
    for (int copies : {-5, 0, 32767}) {
        const EplJob job = DecodeEpl(Job(c, 2, copies));
        EXPECT_TRUE(job.ok()) << FormatEplSummary(job);
        EXPECT_EQ(job.printed, copies > 0 ? 2u * copies : 0u);
        EXPECT_LE(job.labels.size(), 2u) << "one graphic per page, whatever the copies";
    }
    for (uint16_t position : {69, 100, 131}) {
        c.sCutPosition = position;
        const bool sent = Job(c, 1, 1).find("f100\r\n") != std::string::npos;
        EXPECT_EQ(sent, position == 100) << position;
    }
}

TEST(EplProtocolTest, TooSmallBufferKeepsThePageUntilItFits) {
    tagOEMCFG c = Settings();
    c.dwPageIndex = 1;
    c.sCopies = 3;
    tagOEMCFG copy = c;
    const std::string whole = Page(copy, 8, true);
    CLBPTREmulation builder;
    std::vector<uint8_t> out(4);
    int64_t length = 0;
    const auto transfer = [&](std::vector<uint8_t>& buffer) {
        return builder.TransferImageData2CMD(&c, kBits.data(), int64_t(kBits.size()), 8, 0, 16, 3,
                                             buffer.data(), int64_t(buffer.size()), &length, true);
    };
    EXPECT_EQ(transfer(out), 0);
    EXPECT_EQ(length, int64_t(whole.size()));
    EXPECT_EQ(c.sLabelCount, 0) << "nothing handed out yet";
    out.resize(size_t(length));
    EXPECT_EQ(transfer(out), 1);
    EXPECT_EQ(std::string(out.begin(), out.end()), whole);
    EXPECT_EQ(c.sLabelCount, 3);
    EXPECT_EQ(builder.CmdLen(), 0);
    EXPECT_EQ(builder.TransferImageData2CMD(nullptr, kBits.data(), 6, 0, 0, 16, 3, nullptr, 0,
                                            &length, true),
              0);
}

TEST(EplProtocolTest, RandomSettingsOnlyGiveCommandsThePrinterTakes) {
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        tagOEMCFG c;
        auto* bytes = reinterpret_cast<uint8_t*>(&c);
        for (size_t k = 0; k < sizeof(c); ++k) bytes[k] = uint8_t(rng());
        c.sPaperMode = uint16_t(rng() % 2);  // other print modes send no label size at all
        c.sSavePaper = 0;
        EplDecodeOptions options;
        options.renderImages = false;
        const EplJob job = DecodeEpl(Job(c, 2, int(int16_t(rng()))), options);
        for (const std::string& e : job.errors)
            EXPECT_NE(e.find("outside the"), std::string::npos) << e;
        for (const EplLabel& label : job.labels) EXPECT_LE(*label.widthDots, 2400u * 416 / 100);
    }
}
