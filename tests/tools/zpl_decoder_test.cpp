// The ZPL decoder on streams built by hand: graphics in every encoding, placement, copies,
// settings, RFID frames and the faults it must name.
#include "tools/zpldecode/zpl_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/preview_art.h"
#include "tests/tools/zpl_builder.h"
#include "tools/zpldecode/graphic_data.h"

using namespace zpltest;

namespace {

const std::vector<std::string> kArrow = {
    "...##...........", "..####..........", ".######.........",
    "...##...#.#.#.#.", "...##..........#",
};

// `art` drawn at (x, y) on a white label of the given size, each dot mx by my.
std::vector<std::string> Expected(const std::vector<std::string>& art, int width, int height, int x,
                                  int y, int mx = 1, int my = 1) {
    std::vector<std::string> rows(size_t(height), std::string(size_t(width), '.'));
    for (size_t r = 0; r < art.size(); ++r) {
        for (size_t c = 0; c < art[r].size(); ++c) {
            if (art[r][c] != '#') continue;
            for (int dy = 0; dy < my; ++dy) {
                for (int dx = 0; dx < mx; ++dx) {
                    const long px = x + long(c) * mx + dx, py = y + long(r) * my + dy;
                    if (px < width && py < height) rows[size_t(py)][size_t(px)] = '#';
                }
            }
        }
    }
    return rows;
}

std::string Page(int width, int length, const std::string& graphicField, int x, int y,
                 int copies = 1) {
    return SizeFormat(width, length) +
           Download("R:SSGFX000.GRF", PackArt(kArrow, 2), 2, graphicField) +
           LabelBlock(x, y, copies, 0, copies) + DeleteFormat();
}

bool HasError(const ZplDecodeResult& r, const std::string& part) {
    for (const std::string& e : r.errors) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST(ZplGraphicTest, CrcOfTheCheckStringIs31c3) {
    EXPECT_EQ(Z64Crc("123456789"), 0x31c3);
    EXPECT_EQ(Crc16Xmodem("123456789"), 0x31c3);  // the test's own CRC agrees
    EXPECT_EQ(Z64Crc("12345 6789"), 0x31c3) << "spaces are not part of the CRC";
}

TEST(ZplGraphicTest, KnownZ64ExampleDecodesToItsBytes) {
    // Three rows of two bytes (F00F, 8142, 3C00) compressed by zlib, with its CRC.
    GraphicData g = DecodeGraphicData(":Z64:eNr7wN/oZMMAAAkzAf8=:1488", 6, 2);
    EXPECT_EQ(g.error, "");
    EXPECT_EQ(g.encoding, "Z64");
    EXPECT_EQ(g.crc, "ok");
    EXPECT_EQ(g.bytes, (std::vector<uint8_t>{0xF0, 0x0F, 0x81, 0x42, 0x3C, 0x00}));
    EXPECT_EQ(DecodeGraphicData(":Z64:eNr7wN/oZMMAAAkzAf8=:1489", 6, 2).crc, "bad");
    ZplDecodeResult r = DecodeZpl(
        "~DGR:K.GRF,6,2,:Z64:eNr7wN/oZMMAAAkzAf8=:1488\r\n^XA^PW16^LL3^FO0,0^XGR:K.GRF^FS^XZ");
    ASSERT_EQ(r.labels.size(), 1u) << FormatSummary(r);
    EXPECT_EQ(
        Art(r.labels[0].image),
        (std::vector<std::string>{"####........####", "#......#.#....#.", "..####.........."}));
}

TEST(ZplGraphicTest, Z64FaultsAreNamed) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    const std::string text = Base64(Compress(bytes));
    struct Case {
        std::string field;
        uint64_t total;
        std::string error;
    } cases[] = {
        {":Z64:" + text + ":" + Hex4(uint16_t(Crc16Xmodem(text) ^ 1)), bytes.size(),
         "CRC mismatch"},
        {":Z64:" + text, bytes.size(), "no CRC"},
        {":Z64:" + text + ":12", bytes.size(), "four hex digits"},
        {":Z64:" + text + ":" + Hex4(Crc16Xmodem(text)), bytes.size() + 2,
         "holds 10 bytes, the byte count says 12"},
        {":Z64:" + text + ":" + Hex4(Crc16Xmodem(text)), bytes.size() - 1,
         "more than the byte count of 9"},
        {":Z64:QUJD:" + Hex4(Crc16Xmodem("QUJD")), 3, "not a complete zlib stream"},
        {":Z64:QU*D:" + Hex4(Crc16Xmodem("QU*D")), 3, "invalid Base64 character '*'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        GraphicData g = DecodeGraphicData(c.field, c.total, 2);
        EXPECT_NE(g.error.find(c.error), std::string::npos) << g.error;
        EXPECT_TRUE(g.bytes.empty());
    }
    // Upper-case CRC digits are as good as lower-case ones.
    char upper[8];
    std::snprintf(upper, sizeof(upper), "%04X", Crc16Xmodem(text));
    EXPECT_EQ(DecodeGraphicData(":Z64:" + text + ":" + upper, bytes.size(), 2).bytes, bytes);
}

TEST(ZplGraphicTest, B64AndPlainHexDecode) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    const std::string text = Base64(bytes);
    GraphicData b64 =
        DecodeGraphicData(":B64:" + text + ":" + Hex4(Crc16Xmodem(text)), bytes.size(), 2);
    EXPECT_EQ(b64.error, "");
    EXPECT_EQ(b64.bytes, bytes);
    GraphicData hex = DecodeGraphicData(HexField(bytes), bytes.size(), 2);
    EXPECT_EQ(hex.error, "");
    EXPECT_EQ(hex.encoding, "hex");
    EXPECT_EQ(hex.bytes, bytes);
    EXPECT_EQ(DecodeGraphicData("18\r\n3c7e", 3, 3).bytes,
              (std::vector<uint8_t>{0x18, 0x3C, 0x7E}));
}

TEST(ZplGraphicTest, HexRunLengthLettersExpand) {
    struct Case {
        std::string text;
        uint64_t total;
        uint32_t perRow;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"IF0", 2, 2, {0xFF, 0xF0}},                     // I = 3 repeats
        {"gF", 10, 10, std::vector<uint8_t>(10, 0xFF)},  // g = 20 repeats
        {"hJ0", 22, 22, std::vector<uint8_t>(22, 0)},    // h + J = 40 + 4 repeats
        {"F,", 3, 3, {0xF0, 0, 0}},                      // "," fills the row with 0
        {"0!", 3, 3, {0x0F, 0xFF, 0xFF}},                // "!" fills the row with F
        {",A1,:",
         6,
         2,
         {0, 0, 0xA1, 0, 0xA1, 0}},  // an empty row, "A1" ended by ",", ":" repeats it
        {"8100:", 4, 2, {0x81, 0x00, 0x81, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GraphicData g = DecodeGraphicData(c.text, c.total, c.perRow);
        EXPECT_EQ(g.error, "");
        EXPECT_EQ(g.bytes, c.bytes);
    }
    EXPECT_NE(DecodeGraphicData("FFF", 1, 1).error.find("more than the byte count"),
              std::string::npos);
    EXPECT_NE(
        DecodeGraphicData("zzzzzzzzzzzzzzzzzzzzF", 1, 1).error.find("more than the byte count"),
        std::string::npos);
    EXPECT_NE(DecodeGraphicData("F", 1, 1).error.find("holds 0 bytes"), std::string::npos);
    EXPECT_NE(DecodeGraphicData("FZ", 1, 1).error.find("invalid character 'Z'"), std::string::npos);
    EXPECT_NE(DecodeGraphicData("F:", 2, 2).error.find("middle of a hex data row"),
              std::string::npos);
    EXPECT_NE(DecodeGraphicData("FFG", 1, 1).error.find("ends with a repeat count"),
              std::string::npos);
    EXPECT_NE(DecodeGraphicData("", kMaxGraphicBytes + 1, 1).error.find("larger than"),
              std::string::npos);
}

TEST(ZplDecoderTest, PageOfTheFilterDecodesToItsLabel) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    ZplDecodeResult r = DecodeZpl(StartDocExample() + Page(25, 9, Z64Field(bytes), 5, 2));
    ASSERT_TRUE(r.ok()) << FormatSummary(r);
    EXPECT_EQ(r.formats, 4u);
    ASSERT_EQ(r.labels.size(), 1u);
    const ZplLabel& label = r.labels[0];
    EXPECT_EQ(label.printWidth, 25u);
    EXPECT_EQ(label.labelLength, 9u);
    ASSERT_EQ(label.fields.size(), 1u);
    EXPECT_EQ(label.fields[0].graphic, "R:SSGFX000.GRF");
    EXPECT_EQ(label.fields[0].x, 5);
    EXPECT_EQ(label.fields[0].y, 2);
    EXPECT_EQ(label.fields[0].widthDots, 16u);
    EXPECT_EQ(label.fields[0].heightDots, 5u);
    EXPECT_EQ(Art(label.image), Expected(kArrow, 25, 9, 5, 2));
    EXPECT_EQ(label.darkDots, 21u);
    ASSERT_EQ(r.downloads.size(), 1u);
    EXPECT_EQ(r.downloads[0].encoding, "Z64");
    EXPECT_TRUE(r.downloads[0].stored);
    ASSERT_EQ(r.deletes.size(), 1u);
    EXPECT_EQ(r.deletes[0].removed, 1u);
}

TEST(ZplDecoderTest, SummaryListsEachFactOnItsLine) {
    ZplDecodeResult r =
        DecodeZpl(StartDocExample() + Page(25, 9, HexField(PackArt(kArrow, 2)), 5, 2, 3));
    const std::string expected =
        "formats 4\n"
        "labels 1 copies 3\n"
        "setting ^SZ 2\nsetting ^JM A\nsetting ^MC Y\nsetting ^PM N\nsetting ^MN W\nsetting ^LH "
        "0,0\n"
        "setting ^LR N\nsetting ^MT T\nsetting ^PO N\nsetting ^MM C\nsetting ^JZ N\nsetting ~JS N\n"
        "setting ^JU S\nsetting ~SD 15\nsetting ^PW 25\nsetting ^LL 9\n"
        "download R:SSGFX000.GRF: bytes 10 per-row 2 rows 5 encoding hex crc none stored yes\n"
        "label 1: width 25 length 9 graphic R:SSGFX000.GRF at 5,2 size 16x5 copies 3 pause/cut 0 "
        "replicates 3 "
        "override Y dark 21\n"
        "label 1 field 1: graphic R:SSGFX000.GRF at 5,2 size 16x5 mag 1,1\n"
        "delete R:SSGFX000.GRF removed 1\n"
        "result ok\n";
    EXPECT_EQ(FormatSummary(r), expected);
}

TEST(ZplDecoderTest, LabelHomeAndMagnificationPlaceTheGraphic) {
    const std::string stream =
        SizeFormat(60, 20) +
        Download("E:ICON", PackArt(kArrow, 2), 2, Z64Field(PackArt(kArrow, 2))) +
        "^XA^LH4,1^FO10,3^XGE:ICON.GRF,2,3^FS^XZ";
    ZplDecodeResult r = DecodeZpl(stream);
    ASSERT_TRUE(r.ok()) << FormatSummary(r);
    ASSERT_EQ(r.labels.size(), 1u);
    const ZplField& f = r.labels[0].fields[0];
    EXPECT_EQ(f.graphic, "E:ICON.GRF");
    EXPECT_EQ(f.x, 14);
    EXPECT_EQ(f.y, 4);
    EXPECT_EQ(f.widthDots, 32u);
    EXPECT_EQ(f.heightDots, 15u);
    EXPECT_EQ(Art(r.labels[0].image), Expected(kArrow, 60, 20, 14, 4, 2, 3));
}

TEST(ZplDecoderTest, CopiesAndSeveralLabelsAreCounted) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    const std::string stream = SizeFormat(20, 8) +
                               Download("R:SSGFX000.GRF", bytes, 2, Z64Field(bytes)) +
                               LabelBlock(0, 0, 3, 0, 1) + LabelBlock(0, 0, 1, 1, 1) +
                               LabelBlock(0, 0, 6, 4, 1) + DeleteFormat();
    ZplDecodeResult r = DecodeZpl(stream);
    ASSERT_TRUE(r.ok()) << FormatSummary(r);
    ASSERT_EQ(r.labels.size(), 3u);
    EXPECT_EQ(r.labels[0].copies, 3u);
    EXPECT_EQ(r.labels[1].pauseCut, 1u);
    EXPECT_EQ(r.labels[2].copies, 6u);
    EXPECT_EQ(r.labels[2].pauseCut, 4u);
    EXPECT_EQ(r.labels[2].overridePause, 'Y');
    EXPECT_EQ(r.TotalCopies(), 10u);
    EXPECT_EQ(r.labels[2].number, 3);
    EXPECT_NE(FormatSummary(r).find("labels 3 copies 10\n"), std::string::npos);
}

TEST(ZplDecoderTest, PqDefaultsAndBadValues) {
    ZplDecodeResult r =
        DecodeZpl("^XA^FO0,0^GB4,4,1^FS^XZ^XA^FO0,0^GB4,4,1^FS^PQ2,,,^XZ^XA^GB1,1^FS^PQx,0,0,Q^XZ");
    ASSERT_EQ(r.labels.size(), 3u);
    EXPECT_EQ(r.labels[0].copies, 1u);
    EXPECT_EQ(r.labels[0].overridePause, 'N');
    EXPECT_EQ(r.labels[1].copies, 2u);
    EXPECT_TRUE(HasError(r, "^PQ at byte"));
    EXPECT_TRUE(HasError(r, "override must be Y or N"));
}

TEST(ZplDecoderTest, RfidFramesBetweenFormatsAreSkippedAndRecorded) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    const std::string frame1 = std::string("\xFF\x07\xFF\x65HELLO\0", 10);
    const std::string frame2 = "\xFF\x03\xFF\x66\xAB\xC0";
    const std::string stream = frame1 + SizeFormat(20, 8) +
                               Download("R:SSGFX000.GRF", bytes, 2, Z64Field(bytes)) + frame2 +
                               LabelBlock(0, 0, 1, 0, 1) + DeleteFormat();
    ZplDecodeResult r = DecodeZpl(stream);
    ASSERT_TRUE(r.ok()) << FormatSummary(r);
    ASSERT_EQ(r.rfid.size(), 2u);
    EXPECT_EQ(r.rfid[0].offset, 0u);
    EXPECT_EQ(r.rfid[0].command, 0x65);
    EXPECT_EQ(r.rfid[0].data, (std::vector<uint8_t>{'H', 'E', 'L', 'L', 'O', 0}));
    EXPECT_EQ(r.rfid[1].command, 0x66);
    EXPECT_EQ(r.rfid[1].data, (std::vector<uint8_t>{0xAB, 0xC0}));
    EXPECT_EQ(r.labels.size(), 1u);
    EXPECT_NE(FormatSummary(r).find("rfid 1: offset 0 command 65 length 6 data 48454c4c4f00\n"),
              std::string::npos);
}

TEST(ZplDecoderTest, FaultyRfidFramesAreReported) {
    ZplDecodeResult cut = DecodeZpl(std::string("\xFF\x09\xFF\x66\x01\x02", 6));
    ASSERT_EQ(cut.rfid.size(), 1u);
    EXPECT_EQ(cut.rfid[0].data.size(), 2u);
    EXPECT_TRUE(HasError(cut, "needs 8 data bytes, the stream has 2"));

    ZplDecodeResult wrapped =
        DecodeZpl(std::string("\xFF\x00\xFF\x65", 4) + std::string(255, 'x') + "^XA^XZ");
    ASSERT_EQ(wrapped.rfid.size(), 1u);
    EXPECT_EQ(wrapped.rfid[0].data.size(), 255u);
    EXPECT_TRUE(HasError(wrapped, "length byte 0"));
    EXPECT_EQ(wrapped.formats, 1u);

    ZplDecodeResult notFrame = DecodeZpl(std::string("\xFF\x02\x00\x65", 4));
    EXPECT_TRUE(notFrame.rfid.empty());
    EXPECT_TRUE(HasError(notFrame, "unexpected bytes at byte 0"));
}

TEST(ZplDecoderTest, BadGraphicIsRefusedAndItsRecallReported) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    const std::string text = Base64(Compress(bytes));
    const std::string badCrc = ":Z64:" + text + ":" + Hex4(uint16_t(Crc16Xmodem(text) + 1));
    ZplDecodeResult r = DecodeZpl(Page(25, 9, badCrc, 0, 0));
    EXPECT_FALSE(r.ok());
    ASSERT_EQ(r.downloads.size(), 1u);
    EXPECT_FALSE(r.downloads[0].stored);
    EXPECT_EQ(r.downloads[0].crc, "bad");
    EXPECT_TRUE(HasError(r, "~DG R:SSGFX000.GRF at byte"));
    EXPECT_TRUE(HasError(r, "CRC mismatch"));
    EXPECT_TRUE(HasError(r, "graphic R:SSGFX000.GRF is not stored"));
    ASSERT_EQ(r.labels.size(), 1u);
    EXPECT_FALSE(r.labels[0].fields[0].found);
    EXPECT_EQ(r.labels[0].darkDots, 0u);
    EXPECT_NE(FormatSummary(r).find(" missing\n"), std::string::npos);
    EXPECT_NE(FormatSummary(r).find("\nresult errors 2\n"), std::string::npos);
}

TEST(ZplDecoderTest, ByteCountMismatchIsAnError) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    ZplDecodeResult r = DecodeZpl("~DGR:A.GRF,12,2," + Z64Field(bytes) + "\r\n");
    EXPECT_TRUE(
        HasError(r, "~DG R:A.GRF at byte 0: Z64 data holds 10 bytes, the byte count says 12"));
    ZplDecodeResult bad = DecodeZpl("~DGR:A.GRF,10,0," + Z64Field(bytes) + "~DGR:B.GRF,ten,2,00");
    EXPECT_TRUE(HasError(bad, "~DG R:A.GRF at byte 0: needs"));
    EXPECT_TRUE(HasError(bad, "~DG R:B.GRF"));
    ZplDecodeResult rows = DecodeZpl("~DGR:C.GRF,3,2,000000");
    EXPECT_TRUE(rows.ok());
    EXPECT_EQ(rows.warnings.size(), 1u);
}

TEST(ZplDecoderTest, DeleteWithWildcardsAndRecallAfterDelete) {
    const std::string stream =
        "~DGR:ONE.GRF,1,1,FF~DGR:TWO.GRF,1,1,FF~DGE:ONE.GRF,1,1,FF" +
        std::string("^XA^IDR:*.GRF^XZ^XA^FO0,0^XGR:ONE.GRF^FS^XGE:ONE.GRF^FS^XZ");
    ZplDecodeResult r = DecodeZpl(stream);
    ASSERT_EQ(r.deletes.size(), 1u);
    EXPECT_EQ(r.deletes[0].pattern, "R:*.GRF");
    EXPECT_EQ(r.deletes[0].removed, 2u);
    ASSERT_EQ(r.labels.size(), 1u);
    ASSERT_EQ(r.labels[0].fields.size(), 2u);
    EXPECT_FALSE(r.labels[0].fields[0].found);
    EXPECT_TRUE(r.labels[0].fields[1].found);
    EXPECT_TRUE(HasError(r, "graphic R:ONE.GRF is not stored"));
}

TEST(ZplDecoderTest, InlineGraphicFieldsInHexAndBinary) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    std::string binary(bytes.begin(), bytes.end());
    binary[1] = '^';  // binary data may hold command prefixes
    const std::string stream = "^XA^PW20^LL12^FO1,1^GFA,10,10,2," + HexField(bytes) + "^FS^XZ" +
                               "^XA^FO0,0^GFB,10,10,2," + binary + "^FS^XZ";
    ZplDecodeResult r = DecodeZpl(stream);
    ASSERT_TRUE(r.ok()) << FormatSummary(r);
    ASSERT_EQ(r.labels.size(), 2u);
    EXPECT_EQ(r.labels[0].fields[0].graphic, "^GF");
    EXPECT_EQ(Art(r.labels[0].image), Expected(kArrow, 20, 12, 1, 1));
    std::vector<std::string> caretArt = kArrow;
    for (int bit = 0; bit < 8; ++bit)
        caretArt[0][size_t(8 + bit)] = (uint8_t('^') >> (7 - bit)) & 1 ? '#' : '.';
    EXPECT_EQ(Art(r.labels[1].image), Expected(caretArt, 20, 12, 0, 0));
    EXPECT_TRUE(r.unknown.empty());

    ZplDecodeResult cut = DecodeZpl("^XA^FO0,0^GFB,10,10,2,\x01\x02^XZ");
    EXPECT_TRUE(HasError(cut, "binary data is cut short"));
    ZplDecodeResult few = DecodeZpl("^XA^GFA,10^XZ");
    EXPECT_TRUE(HasError(few, "fewer than five parameters"));
}

TEST(ZplDecoderTest, OrientationMirrorAndBoxes) {
    ZplDecodeResult r = DecodeZpl(
        "^XA^PW4^LL3^FO0,0^GB2,1,1^FS^XZ^XA^POI^FO0,0^GB2,1,1^FS^XZ^XA^PON^PMY^FO0,0^GB2,1,1^FS^"
        "XZ");
    ASSERT_EQ(r.labels.size(), 3u);
    EXPECT_EQ(Art(r.labels[0].image), (std::vector<std::string>{"##..", "....", "...."}));
    EXPECT_EQ(Art(r.labels[1].image), (std::vector<std::string>{"....", "....", "..##"}));
    EXPECT_EQ(Art(r.labels[2].image), (std::vector<std::string>{"..##", "....", "...."}));
    ZplDecodeResult box = DecodeZpl("^XA^PW5^LL4^FO0,0^GB5,4,4^FS^FO1,1^GB3,2,2,W^FS^XZ");
    EXPECT_EQ(Art(box.labels[0].image),
              (std::vector<std::string>{"#####", "#...#", "#...#", "#####"}));
}

TEST(ZplDecoderTest, UnknownCommandsAndTextFieldsAreListedNotFatal) {
    ZplDecodeResult r =
        DecodeZpl("^XA^CF0,30^FO10,20^A0N,30,30^FDHello^FS^FO0,0^BCN,50^FD123^FS^XZ~HS");
    EXPECT_TRUE(r.ok()) << FormatSummary(r);
    EXPECT_EQ(r.unknown.at("^CF"), 1u);
    EXPECT_EQ(r.unknown.at("^A0"), 1u);
    EXPECT_EQ(r.unknown.at("^BC"), 1u);
    EXPECT_EQ(r.unknown.at("~HS"), 1u);
    ASSERT_EQ(r.labels.size(), 1u);
    ASSERT_EQ(r.labels[0].fields.size(), 2u);
    EXPECT_EQ(r.labels[0].fields[0].kind, ZplField::Kind::Text);
    EXPECT_EQ(r.labels[0].fields[0].text, "Hello");
    EXPECT_EQ(r.labels[0].fields[0].x, 10);
    const std::string summary = FormatSummary(r);
    EXPECT_NE(summary.find("label 1 field 1: text at 10,20 \"Hello\"\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("unknown ^A0 count 1\n"), std::string::npos);
    EXPECT_NE(summary.find("label 1: width unset length unset graphic none"), std::string::npos);
}

TEST(ZplDecoderTest, StructuralFaultsAreNamedWithTheirOffsets) {
    struct Case {
        std::string stream;
        std::string error;
    } cases[] = {
        {"^XZ", "^XZ without ^XA at byte 0"},
        {"^XA^FO0,0^GB1,1^FS", "format started at byte 0 is not closed by ^XZ"},
        {"^XA^XA^XZ", "^XA at byte 3 inside the format started at byte 0"},
        {"^MNW^XA^XZ", "^MN outside a format at byte 0"},
        {"^XA^XZhello^XA^XZ", "unexpected bytes at byte 6: \"hello\""},
        {"^XA^XZ^X", "truncated command at byte 6"},
        {"^XA^PW-5^LLabc^FOx,1^XZ", "^PW at byte 3: bad value \"-5\""},
        {"^XA^FO0,0^XGR:A.GRF,0,11^FS^XZ", "magnification must be 1 to 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        ZplDecodeResult r = DecodeZpl(c.stream);
        EXPECT_TRUE(HasError(r, c.error)) << FormatSummary(r);
    }
    ZplDecodeResult open = DecodeZpl("^XA^FO0,0^GB1,1^FS");
    EXPECT_TRUE(open.labels.empty()) << "an unfinished format prints nothing";
    ZplDecodeResult unclosed = DecodeZpl("^XA^FO0,0^GB1,1^XZ");
    EXPECT_EQ(unclosed.labels.size(), 1u);
    EXPECT_EQ(unclosed.warnings.size(), 1u);
}

TEST(ZplDecoderTest, OversizedLabelsAreNotDrawnAndFieldsOffTheLabelWarned) {
    ZplDecodeResult huge = DecodeZpl("^XA^PW65535^LL65535^FO0,0^GB10,10,10^FS^XZ");
    ASSERT_EQ(huge.labels.size(), 1u);
    EXPECT_TRUE(huge.labels[0].image.empty());
    EXPECT_NE(huge.warnings.at(0).find("not drawn"), std::string::npos);
    ZplDecodeResult off = DecodeZpl("^XA^PW10^LL10^FO8,8^GB5,5,5^FS^XZ");
    ASSERT_EQ(off.labels.size(), 1u);
    EXPECT_EQ(off.labels[0].darkDots, 4u);
    EXPECT_NE(off.warnings.at(0).find("label 1 field 1 reaches beyond the label"),
              std::string::npos);
    ZplDecodeResult big = DecodeZpl("~DGR:X.GRF,99999999999,100,:Z64:AAAA:0000");
    EXPECT_TRUE(HasError(big, "larger than the decoder takes"));
    ZplDecodeResult wide = DecodeZpl("~DGR:W.GRF,1,4000000000,FF^XA^FO0,0^XGR:W.GRF,10,1^FS^XZ");
    ASSERT_EQ(wide.labels.size(), 1u);
    EXPECT_EQ(wide.labels[0].fields[0].widthDots, UINT32_MAX) << "the width saturates";
    EXPECT_TRUE(wide.labels[0].image.empty());
}

TEST(ZplDecoderTest, LabelSinkSeesEachLabelAndImagesAreReleased) {
    const std::vector<uint8_t> bytes = PackArt(kArrow, 2);
    std::vector<uint64_t> dark;
    ZplDecodeOptions options;
    options.onLabel = [&](const ZplLabel& label) { dark.push_back(label.image.CountDark()); };
    ZplDecodeResult r =
        DecodeZpl(Page(25, 9, Z64Field(bytes), 0, 0) + Page(25, 9, Z64Field(bytes), 3, 3), options);
    EXPECT_EQ(dark, (std::vector<uint64_t>{21, 21}));
    ASSERT_EQ(r.labels.size(), 2u);
    EXPECT_TRUE(r.labels[1].image.empty());
    EXPECT_EQ(r.labels[1].darkDots, 21u);
}
