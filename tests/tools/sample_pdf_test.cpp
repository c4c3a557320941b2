// The sample documents: Code 128 symbols, and labels and receipts whose barcodes read back with
// zbarimg after poppler has rendered them at printer resolutions.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"
#include "tools/sample_pdf/code128.h"
#include "tools/sample_pdf/samples.h"

namespace {

FilterResult RunTool(const std::string& program, const std::vector<std::string>& args) {
    FilterArgs a;
    a.argvOverride = args;
    return RunFilter(program, a);
}

// Renders page 1 at `dpi` in grey and returns what zbarimg reads, one "TYPE:data" per entry.
std::vector<std::string> ReadBarcodes(const TempDir& dir, const std::string& pdf, int dpi) {
    const std::string prefix = dir.File("page" + std::to_string(dpi));
    FilterResult render = RunTool("/usr/bin/pdftoppm", {"-r", std::to_string(dpi), "-gray",
                                                        "-singlefile", "-png", pdf, prefix});
    EXPECT_EQ(render.exitCode, 0) << render.err;
    FilterResult scan = RunTool("/usr/bin/zbarimg", {"--quiet", prefix + ".png"});
    std::vector<std::string> found;
    std::istringstream lines(scan.out);
    for (std::string line; std::getline(lines, line);) found.push_back(line);
    std::sort(found.begin(), found.end());
    return found;
}

// The value of one pdfinfo field, such as "Pages" or "Page size".
std::string PdfInfo(const std::string& pdf, const std::string& field) {
    std::istringstream lines(RunTool("/usr/bin/pdfinfo", {pdf}).out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with(field + ":")) continue;
        const size_t value = line.find_first_not_of(' ', field.size() + 1);
        return value == std::string::npos ? "" : line.substr(value);
    }
    return "";
}

// The page length in points from pdfinfo's "W x H pts".
double PageLength(const std::string& pdf) {
    const std::string size = PdfInfo(pdf, "Page size");
    return std::stod(size.substr(size.find(" x ") + 3));
}

}  // namespace

TEST(Code128Test, SymbolsPickCodeSetsBAndC) {
    using V = std::vector<int>;
    struct Case {
        std::string text;
        V symbols;
    } cases[] = {
        {"123456", {105, 12, 34, 56, 44, 106}},
        {"ABC", {104, 33, 34, 35, 1, 106}},
        {"12", {105, 12, 23, 106}},
        {"1", {104, 17, 18, 106}},
        {"12345", {105, 12, 34, 100, 21, 0, 106}},
        {"A1234B", {104, 33, 17, 18, 19, 20, 34, 0, 106}},
        {"A123456B", {104, 33, 99, 12, 34, 56, 100, 34, 0, 106}},
        {"A1234567", {104, 33, 17, 99, 23, 45, 67, 0, 106}},
        {"MX0012345678", {104, 45, 56, 99, 0, 12, 34, 56, 78, 0, 106}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.text);
        // The check symbol is recomputed here: start plus position-weighted values, modulo 103.
        int check = c.symbols[0];
        for (size_t k = 1; k + 2 < c.symbols.size(); ++k) check += int(k) * c.symbols[k];
        c.symbols[c.symbols.size() - 2] = check % 103;
        EXPECT_EQ(Code128Symbols(c.text), c.symbols);
    }
    EXPECT_EQ(Code128Symbols("123456")->at(4), 44);
    EXPECT_FALSE(Code128Symbols("").has_value());
    EXPECT_FALSE(Code128Symbols("caf\xC3\xA9").has_value());
    EXPECT_FALSE(Code128Symbols("tab\there").has_value());
}

TEST(Code128Test, EverySymbolIsElevenModulesAndTheStopThirteen) {
    for (int value = 0; value < 106; ++value) {
        const std::vector<int> modules = Code128Modules({value});
        ASSERT_EQ(modules.size(), 6u) << value;
        EXPECT_EQ(Code128Width(modules), 11) << value;
    }
    EXPECT_EQ(Code128Modules({106}).size(), 7u);
    EXPECT_EQ(Code128Width(Code128Modules({106})), 13);
    EXPECT_TRUE(Code128Modules({107, -1}).empty());
}

TEST(Code128Test, EveryCharacterAndDigitPairReadsBack) {
    TempDir dir;
    std::string ascii, pairs;
    for (char c = 32; c < 127; ++c) ascii += c;
    for (int i = 0; i < 100; ++i) pairs += std::to_string(i / 10) + std::to_string(i % 10);
    PdfDocument doc;
    for (const std::string& text : {ascii, pairs}) {
        const std::vector<int> modules = Code128Modules(*Code128Symbols(text));
        PdfPage& page = doc.AddPage(Code128Width(modules) + 40, 60);
        DrawCode128(page, modules, 20, 10, 1.0, 40);
    }
    ASSERT_TRUE(doc.Save(dir.File("all.pdf")));
    FilterResult render = RunTool(
        "/usr/bin/pdftoppm", {"-r", "300", "-gray", "-png", dir.File("all.pdf"), dir.File("all")});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(RunTool("/usr/bin/zbarimg", {"--quiet", dir.File("all-1.png")}).out,
              "CODE-128:" + ascii + "\n");
    EXPECT_EQ(RunTool("/usr/bin/zbarimg", {"--quiet", dir.File("all-2.png")}).out,
              "CODE-128:" + pairs + "\n");
}

TEST(SamplePdfTest, LabelBarcodesReadBackAtPrinterResolutions) {
    struct Case {
        std::string size;
        int dpi;
        std::string pageSize;
        std::string code, qr;
    } cases[] = {
        {"4x6in", 203, "288 x 432 pts", "MX0012345678", "MXTRACK:MX0012345678"},
        {"4x6in", 300, "288 x 432 pts", "MX0012345678", "MXTRACK:MX0012345678"},
        {"2x1in", 203, "144 x 72 pts", "12345678", "MX:12345678"},
        {"100x150mm", 203, "283.465 x 425.197 pts", "MX0012345678", "MXTRACK:MX0012345678"},
        {"50x30mm", 300, "141.732 x 85.039 pts", "12345678", "MX:12345678"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size + " at " + std::to_string(c.dpi));
        TempDir dir;
        const std::string pdf = dir.File("label.pdf");
        FilterResult made = RunTool(SAMPLE_PDF, {"label", "--size", c.size, "-o", pdf});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        EXPECT_EQ(PdfInfo(pdf, "Page size"), c.pageSize);
        EXPECT_EQ(ReadBarcodes(dir, pdf, c.dpi),
                  (std::vector<std::string>{"CODE-128:" + c.code, "QR-Code:" + c.qr}));
    }
}

TEST(SamplePdfTest, LabelsTakeTheirOwnValuesAndPages) {
    TempDir dir;
    const std::string pdf = dir.File("label.pdf");
    FilterResult made =
        RunTool(SAMPLE_PDF, {"label", "--size", "3x2in", "--pages", "3", "--code128", "Order 42",
                             "--qr", "hello qr", "-o", pdf});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(PdfInfo(pdf, "Pages"), "3");
    EXPECT_EQ(ReadBarcodes(dir, pdf, 203),
              (std::vector<std::string>{"CODE-128:Order 42", "QR-Code:hello qr"}));
}

TEST(SamplePdfTest, ReceiptsOfBothWidthsReadBackAndGrowWithTheirItems) {
    for (const char* width : {"80", "58"}) {
        SCOPED_TRACE(width);
        TempDir dir;
        const std::string shortPdf = dir.File("short.pdf"), longPdf = dir.File("long.pdf");
        ASSERT_EQ(RunTool(SAMPLE_PDF, {"receipt", "--width", width, "-o", shortPdf}).exitCode, 0);
        ASSERT_EQ(RunTool(SAMPLE_PDF, {"receipt", "--width", width, "--items", "40", "-o", longPdf})
                      .exitCode,
                  0);
        EXPECT_EQ(ReadBarcodes(dir, shortPdf, 203),
                  (std::vector<std::string>{std::string("CODE-128:") + kReceiptCode128,
                                            std::string("QR-Code:") + kReceiptQr}));
        const std::string expectedWidth = std::string(width) == "80" ? "226.772 x " : "164.409 x ";
        EXPECT_TRUE(PdfInfo(shortPdf, "Page size").starts_with(expectedWidth))
            << PdfInfo(shortPdf, "Page size");
        EXPECT_NEAR(PageLength(longPdf) - PageLength(shortPdf), 34 * 8 * 1.3, 0.01)
            << "34 more item lines";
    }
    TempDir dir;
    ASSERT_EQ(
        RunTool(SAMPLE_PDF, {"receipt", "--length-mm", "1000", "-o", dir.File("m.pdf")}).exitCode,
        0);
    EXPECT_NEAR(PageLength(dir.File("m.pdf")), MmToPoints(1000), 0.01);
}

TEST(SamplePdfTest, BadArgumentsAreRefused) {
    TempDir dir;
    EXPECT_EQ(RunTool(SAMPLE_PDF, {}).exitCode, 2);
    EXPECT_EQ(RunTool(SAMPLE_PDF, {"poster", "-o", dir.File("x.pdf")}).exitCode, 2);
    EXPECT_EQ(
        RunTool(SAMPLE_PDF, {"label", "--size", "4x6furlong", "-o", dir.File("x.pdf")}).exitCode,
        2);
    EXPECT_EQ(RunTool(SAMPLE_PDF, {"label", "--pages", "0", "-o", dir.File("x.pdf")}).exitCode, 2);
    EXPECT_EQ(RunTool(SAMPLE_PDF, {"receipt", "--size", "4x6in", "-o", dir.File("x.pdf")}).exitCode,
              2);
    EXPECT_EQ(RunTool(SAMPLE_PDF, {"label"}).exitCode, 2);
    FilterResult bad =
        RunTool(SAMPLE_PDF, {"label", "--code128", "caf\xC3\xA9", "-o", dir.File("x.pdf")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Code 128 cannot encode"), std::string::npos);
}

TEST(SamplePdfTest, PageSizesParse) {
    EXPECT_EQ(ParsePageSize("4x6in"), (std::pair{288.0, 432.0}));
    EXPECT_EQ(ParsePageSize("2x1"), (std::pair{144.0, 72.0}));
    EXPECT_EQ(ParsePageSize("100x150mm"), (std::pair{MmToPoints(100), MmToPoints(150)}));
    EXPECT_EQ(ParsePageSize("144x72pt"), (std::pair{144.0, 72.0}));
    for (const char* bad : {"", "4", "4x", "x6", "4x6cm", "-4x6in", "0x6in", "4x6in ", "4x6inch"}) {
        EXPECT_FALSE(ParsePageSize(bad).has_value()) << bad;
    }
}
