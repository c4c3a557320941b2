// RFID tag data in the job title: the frames the ZPL filter writes ahead of each page.
#include "rfid/job_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/rfid/rfid_test_support.h"
#include "tests/support/ppd_fixture.h"

namespace {

// The step's answer as the page loop takes it: true while the page goes on printing.
bool HandleRfid(const char* title) {
    const RfidOutcome outcome = HandleRfidStep(title).outcome;
    return outcome == RfidOutcome::NotRfidJob || outcome == RfidOutcome::Written;
}

using Bytes = std::vector<uint8_t>;

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(ParseJobNameTest, FramesOfTheDocumentedTitles) {
    EXPECT_EQ(ParseJobName("wwRFID_011HELLO").GetRfidCmd(),
              (Bytes{0xFF, 0x07, 0xFF, 0x65, 0x48, 0x45, 0x4C, 0x4C, 0x4F, 0x00}));
    EXPECT_EQ(ParseJobName("wwRFID_032ABC").GetRfidCmd(),
              (Bytes{0xFF, 0x03, 0xFF, 0x66, 0xAB, 0xC0}));
    EXPECT_EQ(ParseJobName("wwRFID_012ABCD").GetRfidCmd(),
              (Bytes{0xFF, 0x05, 0xFF, 0x65, 0xAB, 0xCD, 0x00, 0x00}));
}

TEST(ParseJobNameTest, MarkerFieldAreaAndType) {
    const ParseJobName inside("Invoice 7 wwRFID_031AB.pdf");
    EXPECT_TRUE(inside.IsRfid());
    EXPECT_EQ(inside.DataType(), 1);
    EXPECT_EQ(inside.DataAscii(), "AB.pdf");
    EXPECT_EQ(inside.GetRfidCmd()[3], 0x66) << "area 3 writes with 0x66";

    // The field starts after the first "_" behind the marker, not at one before it.
    const ParseJobName later("a_b wwRFIDx_y_012FF");
    EXPECT_EQ(later.DataType(), 3) << "the field is \"y_012FF\"";
    const ParseJobName second("a_b wwRFID-tag_011Z");
    EXPECT_EQ(second.DataAscii(), std::string("Z\0", 2));
    EXPECT_EQ(second.GetRfidCmd(), (Bytes{0xFF, 0x03, 0xFF, 0x65, 'Z', 0x00}));

    EXPECT_EQ(ParseJobName("wwRFID_991AB").GetRfidCmd()[3], 0x66) << "unknown areas are area 4";
    EXPECT_EQ(ParseJobName("wwRFID_019X").DataType(), 3);
    EXPECT_EQ(ParseJobName("wwRFID_01").DataType(), 3);
    EXPECT_EQ(ParseJobName("wwRFID").DataType(), 3);
    EXPECT_TRUE(ParseJobName("wwRFID").IsRfid());
    EXPECT_FALSE(ParseJobName("WWRFID_011AB").IsRfid());
    EXPECT_EQ(ParseJobName("label_011AB").DataType(), 3);
    EXPECT_TRUE(ParseJobName("label_011AB").Data().empty());
    EXPECT_TRUE(ParseJobName("wwRFID_019AB").Data().empty());
    EXPECT_EQ(ParseJobName("label").GetRfidCmd(), (Bytes{0xFF, 0x01, 0xFF, 0x66}))
        << "no marker, no area 1";
}

TEST(ParseJobNameTest, HexadecimalDataIsPaddedToWholeGroupsOfFourDigits) {
    EXPECT_EQ(ParseJobName("wwRFID_032A").DataHex(), (Bytes{0xA0, 0x00}));
    EXPECT_EQ(ParseJobName("wwRFID_032AB").DataHex(), (Bytes{0xAB, 0x00}));
    EXPECT_EQ(ParseJobName("wwRFID_032abcdef12").DataHex(),
              (Bytes{0xAB, 0xCD, 0xEF, 0x12, 0x00, 0x00}));
    EXPECT_EQ(ParseJobName("wwRFID_0320123456789ABCDEF").DataHex(),
              (Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x00, 0x00}));
    EXPECT_TRUE(ParseJobName("wwRFID_032").DataHex().empty());
    EXPECT_EQ(ParseJobName("wwRFID_011ABC").DataAscii(), std::string("ABC\0", 4));
    EXPECT_EQ(ParseJobName("wwRFID_011ABCD").DataAscii(), "ABCD");
}

TEST(ParseJobNameTest, HexToNum) {
    EXPECT_EQ(ParseJobName::HexToNum("AB"), 0xAB);
    EXPECT_EQ(ParseJobName::HexToNum("7f"), 0x7F);
    EXPECT_EQ(ParseJobName::HexToNum("09"), 0x09);
    EXPECT_EQ(ParseJobName::HexToNum("G1"), 0xF1) << "a bad high digit reads as F";
    EXPECT_EQ(ParseJobName::HexToNum("1G"), 0xFF) << "a bad low digit gives FF";
    EXPECT_EQ(ParseJobName::HexToNum("ZZ"), 0xFF);
}

TEST(HandleRfidTest, WritesTheFrameAndLogsTheSteps) {
    LogCapture log;
    bool result = false;
    const std::string out = CaptureStdout([&] { result = HandleRfid("wwRFID_032ABC"); });
    EXPECT_TRUE(result);
    EXPECT_EQ(out, Text({0xFF, 0x03, 0xFF, 0x66, 0xAB, 0xC0}));
    const std::string text = log.Text();
    EXPECT_TRUE(Has(text, "HandleRfid-Start") && Has(text, "HandleRfid-IsRfid") &&
                Has(text, "HandleRfid-Yes"))
        << text;
}

TEST(HandleRfidTest, TitlesWithoutDataEndTheJobAndOthersPrintPlainly) {
    for (const char* bad :
         {"wwRFID_019X", "wwRFID_011", "wwRFID_012", "job wwRFID without field", "wwRFID_0"}) {
        bool result = true;
        EXPECT_EQ(CaptureStdout([&] { result = HandleRfid(bad); }), "") << bad;
        EXPECT_FALSE(result) << bad;
    }
    bool result = false;
    EXPECT_EQ(CaptureStdout([&] { result = HandleRfid("Shipping label"); }), "");
    EXPECT_TRUE(result);
}

TEST(HandleRfidTest, DataTooLongForTheFrameLengthByteEndsTheJob) {
    bool result = false;
    const std::string fits =
        CaptureStdout([&] { result = HandleRfid(("wwRFID_011" + std::string(254, 'x')).c_str()); });
    EXPECT_TRUE(result);
    ASSERT_EQ(fits.size(), 258u);
    EXPECT_EQ(static_cast<uint8_t>(fits[1]), 255);
    EXPECT_EQ(
        CaptureStdout([&] { result = HandleRfid(("wwRFID_011" + std::string(256, 'x')).c_str()); }),
        "");
    EXPECT_FALSE(result);
}

// The ZPL filter's page loop as CUPS runs it.
class RfidTitleFlowTest : public ::testing::Test {
  protected:
    FilterResult Run(const std::string& program, const std::string& title,
                     const std::vector<TestPage>& pages) {
        args.ppdPath = PpdFixture().WriteTo(dir.File("queue.ppd"));
        WriteRasterFile(dir.File("job.ras"), pages);
        args.rasterFile = dir.File("job.ras");
        args.title = title;
        return RunFilter(program, args);
    }
    TempDir dir;
    FilterArgs args;
};

TEST_F(RfidTitleFlowTest, EachPagesFrameGoesOutBeforeThePreviousPage) {
    const std::vector<TestPage> pages = {TestPage::Gradient(9, 3), TestPage::Solid(9, 3, 1, 2, 3),
                                         TestPage::Solid(9, 3, 4, 5, 6)};
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "wwRFID_011HELLO", pages);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string frame = Text({0xFF, 0x07, 0xFF, 0x65, 'H', 'E', 'L', 'L', 'O', 0x00});
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0], "construct");
    // Page 1's frame precedes the start of the document; page k's frame precedes page k-1.
    EXPECT_EQ(lines[1].rfind(frame + "StartDocCMD ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind(frame + "TransCommand page=2 last=0 ", 0), 0u) << lines[2];
    EXPECT_TRUE(Has(lines[2], HashOf(pages[0])));
    EXPECT_EQ(lines[3].rfind(frame + "TransCommand page=3 last=0 ", 0), 0u) << lines[3];
    EXPECT_TRUE(Has(lines[3], HashOf(pages[1])));
    EXPECT_EQ(lines[4].rfind("TransCommand page=3 last=1 ", 0), 0u)
        << "the last page has no frame behind it";
    EXPECT_TRUE(Has(lines[4], HashOf(pages[2])));
    EXPECT_EQ(lines[5], "destroy");
}

TEST_F(RfidTitleFlowTest, InvalidRfidTitlesEndTheJobBeforeItsFirstPage) {
    for (const std::string title : {"wwRFID_019X", "wwRFID_011", "wwRFID no field"}) {
        const FilterResult r =
            Run(RECORDING_ZPL_FLOW, title, {TestPage::Gradient(5, 2), TestPage::Gradient(5, 2)});
        EXPECT_EQ(r.out, "construct\ndestroy\n") << title;
        EXPECT_EQ(r.err.rfind("ERROR: The RFID ", 0), 0u) << title << ": " << r.err;
    }
}

TEST_F(RfidTitleFlowTest, OnlyTheZplFilterReadsTagDataFromTheTitle) {
    for (const std::string program : {RECORDING_TSPL_FLOW, RECORDING_EPL_FLOW}) {
        const FilterResult r = Run(program, "wwRFID_032ABC", {TestPage::Gradient(5, 2)});
        EXPECT_EQ(r.exitCode, 0);
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_GE(lines.size(), 3u) << r.out;
        EXPECT_EQ(lines[1].rfind("StartDocCMD ", 0), 0u) << program;
    }
    const FilterResult plain =
        Run(RECORDING_ZPL_FLOW, "Shipping label", {TestPage::Gradient(5, 2)});
    EXPECT_EQ(Lines(plain.out).at(1).rfind("StartDocCMD ", 0), 0u);
}

}  // namespace
