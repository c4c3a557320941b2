// RotateImgData, ResetBlackLineData, RemoveBlankEdge, Copy8BitImgBitRect,
// ConvertTo8BppBMP and TakeOffExtName.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "imaging/bmp_processing.h"
#include "tests/imaging/image_fixtures.h"

using namespace fixtures;

namespace {

struct Turned {
    bool ok = false;
    tagBITMAPINFOHEADER hdr{};
    tagRECT rect{};
    Owned buf;
    uint32_t size = 0;
};

// The source holds exactly the rectangle's pixels; the page around it is W x H.
Turned Turn(const Image& src, tagRECT rect, int16_t mode, int32_t pageW, int32_t pageH) {
    Turned t;
    t.hdr = src.header();
    t.hdr.biWidth = pageW;
    t.hdr.biHeight = pageH;
    uint8_t* out = nullptr;
    t.ok = CBmpProcessing::RotateImgData(src.data.data(), src.size(), rect, &t.hdr, mode, &out,
                                         &t.size, &t.rect);
    t.buf.reset(out);
    return t;
}

std::vector<std::string> ArtOf(const Turned& t) {
    return Art(t.buf.get(), t.hdr.biWidth, t.hdr.biHeight, DibStride(t.hdr.biWidth, 8));
}

void ExpectRect(const tagRECT& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

}  // namespace

TEST(RotateImgData, AnticlockwiseMovesTopRightToTopLeft) {
    // A 3 x 2 crop at (4, 5)-(6, 6) of a 10 x 20 page.
    const Turned t = Turn(Grey({"123", "456"}), {4, 5, 6, 6}, 0, 10, 20);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(ArtOf(t), (std::vector<std::string>{"36", "25", "14"}));
    EXPECT_EQ(t.hdr.biWidth, 2);
    EXPECT_EQ(t.hdr.biHeight, 3);
    EXPECT_EQ(t.hdr.biSizeImage, 12u);
    EXPECT_EQ(t.size, 12u);
    ExpectRect(t.rect, 5, 10 - 1 - 6 + 5, 6, 8 + 2);
}

TEST(RotateImgData, HalfTurnMovesBottomRightToTopLeft) {
    const Turned t = Turn(Grey({"123", "456"}), {4, 5, 6, 6}, 1, 10, 20);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(ArtOf(t), (std::vector<std::string>{"654", "321"}));
    ExpectRect(t.rect, 4 + 10 - 1 - 6, 5 + 20 - 1 - 6, 7 + 2, 18 + 1);
}

TEST(RotateImgData, ClockwiseMovesBottomLeftToTopLeft) {
    const Turned t = Turn(Grey({"123", "456"}), {4, 5, 6, 6}, 2, 10, 20);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(ArtOf(t), (std::vector<std::string>{"41", "52", "63"}));
    ExpectRect(t.rect, 5 + 20 - 1 - 6, 4, 18 + 1, 6);
}

TEST(RotateImgData, ColourPixelsMoveAsWholes) {
    Image src = Blank(2, 1, 24);
    src.set(0, 0, 1, 2, 3);
    src.set(1, 0, 4, 5, 6);
    const Turned t = Turn(src, {0, 0, 1, 0}, 0, 2, 1);
    ASSERT_TRUE(t.ok);
    const uint8_t* b = t.buf.get();
    const uint32_t stride = DibStride(1, 24);
    EXPECT_EQ((std::vector<uint8_t>{b[0], b[1], b[2], b[stride], b[stride + 1], b[stride + 2]}),
              (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

TEST(RotateImgData, OtherModesChangeNothing) {
    const Turned t = Turn(Grey({"12"}), {0, 0, 1, 0}, 3, 2, 1);
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.buf, nullptr);
    EXPECT_EQ(t.hdr.biWidth, 2);
}

TEST(RotateImgData, OneBitAndNullSourcesFail) {
    Image one = Blank(8, 1, 1);
    EXPECT_FALSE(Turn(one, {0, 0, 7, 0}, 0, 8, 1).ok);
    tagBITMAPINFOHEADER hdr = Grey({"1"}).header();
    uint8_t* out = nullptr;
    uint32_t size = 0;
    tagRECT r{};
    EXPECT_FALSE(CBmpProcessing::RotateImgData(nullptr, 4, {0, 0, 0, 0}, &hdr, 0, &out, &size, &r));
}

TEST(RotateImgData, TooSmallCallerBufferReportsNeededSize) {
    Image src = Grey({"123", "456"});
    tagBITMAPINFOHEADER hdr = src.header();
    std::vector<uint8_t> out(11, 7);
    uint8_t* p = out.data();
    uint32_t size = 11;
    tagRECT r{};
    EXPECT_FALSE(CBmpProcessing::RotateImgData(src.data.data(), src.size(), {0, 0, 2, 1}, &hdr, 0,
                                               &p, &size, &r));
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(out, std::vector<uint8_t>(11, 7));
    EXPECT_EQ(hdr.biWidth, 3) << "header untouched on failure";
}

TEST(RotateImgData, ThirtyTwoBitPixelsGiveAWhiteResult) {
    Image src = Blank(2, 2, 32, 0);
    const Turned t = Turn(src, {0, 0, 1, 1}, 0, 2, 2);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.size, 16u);
    for (uint32_t i = 0; i < t.size; ++i) EXPECT_EQ(t.buf.get()[i], 255);
}

TEST(RotateImgData, RectangleLargerThanSourceIsRejected) {
    Image src = Grey({"12", "34"});
    EXPECT_FALSE(Turn(src, {0, 0, 1, 9}, 0, 2, 10).ok);
    EXPECT_FALSE(Turn(src, {5, 0, 1, 1}, 0, 2, 2).ok) << "right before left";
    EXPECT_FALSE(Turn(src, {0, 0, 0x7FFFFFF0, 1}, 0, 2, 2).ok);
}

namespace {

std::string Dashed(uint32_t length, int16_t black, int16_t white) {
    std::vector<uint8_t> run(length + 2, 0);
    run[0] = run[length + 1] = 99;  // guards just outside the run
    EXPECT_EQ(CBmpProcessing::ResetBlackLineData(run.data() + 1, length, black, white, 8), 1);
    EXPECT_EQ(run[0], 99);
    EXPECT_EQ(run[length + 1], 99);
    return Art(run.data() + 1, length, 1, length)[0];
}

}  // namespace

TEST(ResetBlackLineData, GapsEndAtEveryPeriodInsideTheRun) {
    EXPECT_EQ(Dashed(12, 3, 2), "###..###..##");
    EXPECT_EQ(Dashed(10, 3, 2), "###..#####") << "the period ending at the run's end stays black";
    EXPECT_EQ(Dashed(11, 3, 2), "###..###..#");
}

TEST(ResetBlackLineData, ShortRunsAreUntouched) {
    EXPECT_EQ(Dashed(5, 3, 2), "#####");
    EXPECT_EQ(Dashed(0, 3, 2), "");
}

TEST(ResetBlackLineData, OneBitRunsWhitenBitsFromEachPeriodOn) {
    uint8_t run[3] = {0, 0, 0};
    ASSERT_EQ(CBmpProcessing::ResetBlackLineData(run, 2, 3, 2, 1), 1);
    // Bits 5-6, 10-11 and 15 are set (white), most significant bit first; bit 16 would
    // be past the run, in run[2].
    EXPECT_EQ(run[0], 0b00000110);
    EXPECT_EQ(run[1], 0b00110001);
    EXPECT_EQ(run[2], 0);
}

TEST(ResetBlackLineData, OneBitGapAtTheEndStopsAtTheLastByte) {
    uint8_t run[2] = {0, 0};
    ASSERT_EQ(CBmpProcessing::ResetBlackLineData(run, 1, 3, 4, 1), 1);
    EXPECT_EQ(run[0], 0b00000001);  // bit 7 only: bits 8-10 would be past the run
    EXPECT_EQ(run[1], 0);
}

TEST(ResetBlackLineData, DegenerateLengthsLeaveTheRunAlone) {
    EXPECT_EQ(Dashed(12, 0, 0), "############");
    EXPECT_EQ(Dashed(12, 3, 0), "############");
    EXPECT_EQ(Dashed(12, 5, -5), "############");
    EXPECT_EQ(Dashed(12, 32767, 2), "############") << "16-bit sum wraps negative";
    // A negative black length must not whiten anything before the run's start.
    EXPECT_EQ(Dashed(6, -1, 3), "....##");
}

TEST(ResetBlackLineData, NullRunAndOtherDepths) {
    EXPECT_EQ(CBmpProcessing::ResetBlackLineData(nullptr, 10, 3, 2, 8), 0);
    uint8_t run[4] = {0, 0, 0, 0};
    EXPECT_EQ(CBmpProcessing::ResetBlackLineData(run, 4, 1, 1, 24), 1);
    EXPECT_EQ(run[1], 0);
}

TEST(RemoveBlankEdge, CutsOutTheContentWithEdgesOnMultiplesOfEight) {
    Image src = Blank(24, 20, 8);
    src.row(11)[10] = 0;
    src.row(13)[13] = 100;
    tagBITMAPINFOHEADER hdr = src.header();
    uint8_t* out = nullptr;
    uint32_t size = 0;
    tagRECT r{};
    ASSERT_EQ(CBmpProcessing::RemoveBlankEdge(src.data.data(), src.size(), &hdr, &out, &size, &r), 1);
    Owned own(out);
    ExpectRect(r, 8, 8, 15, 13);
    ASSERT_EQ(size, 6u * 8);
    EXPECT_EQ(out[3 * 8 + 2], 0);
    EXPECT_EQ(out[5 * 8 + 5], 100);
    EXPECT_EQ(out[0], 255);
}

TEST(RemoveBlankEdge, BlankImageKeepsEverything) {
    Image src = Blank(10, 3, 8);
    tagBITMAPINFOHEADER hdr = src.header();
    uint8_t* out = nullptr;
    uint32_t size = 0;
    tagRECT r{};
    ASSERT_EQ(CBmpProcessing::RemoveBlankEdge(src.data.data(), src.size(), &hdr, &out, &size, &r), 1);
    Owned own(out);
    ExpectRect(r, 0, 0, 15, 2);
    EXPECT_EQ(size, 3u * 16);
    // Columns 12-15 lie beyond the source rows and stay as allocated (zero).
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[11], 255);
    EXPECT_EQ(out[12], 0);
}

TEST(RemoveBlankEdge, OneAndTwentyFourBitGiveRectangleAndSizeOnly) {
    Image one = Blank(16, 2, 1, 0xFF);
    one.row(1)[1] = 0xEF;  // bit 3 of byte 1: pixel 11
    tagBITMAPINFOHEADER hdr = one.header();
    uint8_t* out = nullptr;
    uint32_t size = 0;
    tagRECT r{};
    ASSERT_EQ(CBmpProcessing::RemoveBlankEdge(one.data.data(), one.size(), &hdr, &out, &size, &r), 1);
    Owned own(out);
    ExpectRect(r, 8, 0, 15, 1);
    EXPECT_EQ(size, 2u * 4);

    Image colour = Blank(4, 1, 24);
    colour.set(2, 0, 250, 10, 10);  // not every byte below 251: still blank
    hdr = colour.header();
    uint8_t* out2 = nullptr;
    ASSERT_EQ(CBmpProcessing::RemoveBlankEdge(colour.data.data(), colour.size(), &hdr, &out2, &size, &r), 1);
    Owned own2(out2);
    ExpectRect(r, 0, 0, 7, 0);
}

TEST(RemoveBlankEdge, RejectsSmallBuffersAndBadInput) {
    Image src = Grey({"#......."});
    tagBITMAPINFOHEADER hdr = src.header();
    std::vector<uint8_t> out(7);
    uint8_t* p = out.data();
    uint32_t size = 7;
    tagRECT r{};
    EXPECT_EQ(CBmpProcessing::RemoveBlankEdge(src.data.data(), src.size(), &hdr, &p, &size, &r), 0);
    EXPECT_EQ(CBmpProcessing::RemoveBlankEdge(src.data.data(), src.size() - 1, &hdr, &p, &size, &r), 0);
    hdr.biBitCount = 4;
    EXPECT_EQ(CBmpProcessing::RemoveBlankEdge(src.data.data(), src.size(), &hdr, &p, &size, &r), 0);
    EXPECT_EQ(CBmpProcessing::RemoveBlankEdge(nullptr, 8, &hdr, &p, &size, &r), 0);
}

TEST(Copy8BitImgBitRect, CopiesRowsIntoAPitchOfEightBytes) {
    Image src = Grey({"12345678912", "98765432198"});
    std::vector<uint8_t> dst(2 * 8, 0);
    const tagRECT r{1, 0, 5, 1};
    ASSERT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), src.width, dst.data(), &r), 1);
    EXPECT_EQ(Art(dst.data(), 8, 2, 8), (std::vector<std::string>{"23456789", "87654321"}));
}

TEST(Copy8BitImgBitRect, StaysInsideEachSourceRow) {
    Image src = Grey({"1234", "5678"});  // stride 4
    std::vector<uint8_t> dst(2 * 8, 0);
    const tagRECT r{2, 0, 3, 1};
    ASSERT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), src.width, dst.data(), &r), 1);
    EXPECT_EQ(Art(dst.data(), 8, 2, 8), (std::vector<std::string>{"34######", "78######"}));
}

TEST(Copy8BitImgBitRect, EmptyRectangleAndNullArguments) {
    Image src = Grey({"1234"});
    std::vector<uint8_t> dst(8, 0);
    const tagRECT none{0, 1, 3, 0};
    EXPECT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), 4, dst.data(), &none), 1);
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(CBmpProcessing::Copy8BitImgBitRect(nullptr, 4, dst.data(), &none), 0);
    EXPECT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), 4, nullptr, &none), 0);
    EXPECT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), 4, dst.data(), nullptr), 0);
    const tagRECT before{-1, 0, 3, 0};
    EXPECT_EQ(CBmpProcessing::Copy8BitImgBitRect(src.data.data(), 4, dst.data(), &before), 0);
}

namespace {

// Header, palette (dark entry 0, light entry 1) and pixel rows in one buffer.
std::vector<uint8_t> PackedBitmap(uint32_t width, const std::vector<uint8_t>& rows, uint32_t height) {
    tagBITMAPINFOHEADER hdr{};
    hdr.biSize = 40;
    hdr.biWidth = static_cast<int32_t>(width);
    hdr.biHeight = static_cast<int32_t>(height);
    hdr.biBitCount = 1;
    hdr.biSizeImage = static_cast<uint32_t>(rows.size());
    std::vector<uint8_t> buf(40 + 8 + rows.size());
    std::memcpy(buf.data(), &hdr, 40);
    const tagRGBQUAD palette[2] = {{10, 20, 30, 0}, {200, 210, 220, 0}};
    std::memcpy(buf.data() + 40, palette, 8);
    std::copy(rows.begin(), rows.end(), buf.begin() + 48);
    return buf;
}

}  // namespace

TEST(ConvertTo8BppBMP, EachBitBecomesTheRedOfItsPaletteEntry) {
    const std::vector<uint8_t> bmp = PackedBitmap(10, {0b10100000, 0b11000000, 0, 0, 0xFF, 0x00, 0, 0}, 2);
    uint8_t* out = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(CBmpProcessing::ConvertTo8BppBMP(bmp.data(), static_cast<uint32_t>(bmp.size()), &out, &size), 1);
    Owned own(out);
    ASSERT_EQ(size, 20u);
    const std::vector<uint8_t> row0(out, out + 10), row1(out + 10, out + 20);
    EXPECT_EQ(row0, (std::vector<uint8_t>{220, 30, 220, 30, 30, 30, 30, 30, 220, 220}));
    EXPECT_EQ(row1, (std::vector<uint8_t>{220, 220, 220, 220, 220, 220, 220, 220, 30, 30}));
}

TEST(ConvertTo8BppBMP, RejectsTruncatedBitmapsAndSmallBuffers) {
    std::vector<uint8_t> bmp = PackedBitmap(10, {0, 0, 0, 0}, 2);  // 8 pixel bytes needed
    uint8_t* out = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(CBmpProcessing::ConvertTo8BppBMP(bmp.data(), static_cast<uint32_t>(bmp.size()), &out, &size), 0);
    EXPECT_EQ(CBmpProcessing::ConvertTo8BppBMP(bmp.data(), 20, &out, &size), 0);
    bmp = PackedBitmap(10, std::vector<uint8_t>(8, 0), 2);
    std::vector<uint8_t> small(19);
    uint8_t* p = small.data();
    size = 19;
    EXPECT_EQ(CBmpProcessing::ConvertTo8BppBMP(bmp.data(), static_cast<uint32_t>(bmp.size()), &p, &size), 0);
    bmp[14] = 8;  // biBitCount
    EXPECT_EQ(CBmpProcessing::ConvertTo8BppBMP(bmp.data(), static_cast<uint32_t>(bmp.size()), &out, &size), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(TakeOffExtName, DropsTheLastComponent) {
    wchar_t path[] = L"/tmp/dir/file.bmp";
    EXPECT_EQ(CBmpProcessing::TakeOffExtName(path, false), path);
    EXPECT_STREQ(path, L"/tmp/dir/");
    wchar_t path2[] = L"C:\\out\\label.bmp";
    CBmpProcessing::TakeOffExtName(path2, true);
    EXPECT_STREQ(path2, L"C:\\out");
}

TEST(TakeOffExtName, TrailingSeparatorGoesOnlyWithTheFlag) {
    wchar_t kept[] = L"/tmp/";
    CBmpProcessing::TakeOffExtName(kept, false);
    EXPECT_STREQ(kept, L"/tmp/");
    wchar_t dropped[] = L"/tmp/";
    CBmpProcessing::TakeOffExtName(dropped, true);
    EXPECT_STREQ(dropped, L"/tmp");
}

TEST(TakeOffExtName, PathWithoutSeparatorBecomesEmpty) {
    wchar_t name[] = L"file.bmp";
    CBmpProcessing::TakeOffExtName(name, true);
    EXPECT_STREQ(name, L"");
    wchar_t empty[] = L"";
    EXPECT_EQ(CBmpProcessing::TakeOffExtName(empty, true), empty);
    EXPECT_EQ(CBmpProcessing::TakeOffExtName(nullptr, true), nullptr);
}
