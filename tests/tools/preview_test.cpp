// Preview images: drawing packed graphics, canvas operations, PNG files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/preview_art.h"
#include "tests/tools/zpl_builder.h"
#include "tools/preview/bitmap.h"

namespace {

GreyBitmap Gradient(uint32_t width, uint32_t height) {
    GreyBitmap image(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) image.Set(x, y, uint8_t((x * 37 + y * 11) % 256));
    }
    return image;
}

}  // namespace

TEST(PreviewBitmapTest, PackedGraphicIsDrawnMagnifiedAndClipped) {
    const std::vector<uint8_t> bits = zpltest::PackArt({"#..#", ".##."}, 1);
    GreyBitmap image(6, 4);
    DrawPacked(image, {bits, 1, 2}, -1, 1, 2, 1);
    EXPECT_EQ(Art(image), (std::vector<std::string>{"......", "#....#", ".####.", "......"}));

    GreyBitmap inverse(4, 2);
    DrawPacked(inverse, {bits, 1, 2}, 0, 0, 1, 1, false);  // clear bits are the ink here
    EXPECT_EQ(Art(inverse), (std::vector<std::string>{".##.", "#..#"}));

    GreyBitmap cut(8, 3);
    DrawPacked(cut, {std::span(bits).first(1), 1, 3}, 0, 0);  // rows beyond the data are skipped
    EXPECT_EQ(Art(cut), (std::vector<std::string>{"#..#....", "........", "........"}));

    GreyBitmap far(4, 4);
    DrawPacked(far, {bits, 1, 2}, 100, -100, 1000000, 1000000);
    EXPECT_EQ(far.CountDark(), 0u);
}

TEST(PreviewBitmapTest, CanvasOperations) {
    GreyBitmap image(4, 2);
    image.FillRect(-2, -2, 4, 3, GreyBitmap::kBlack);
    image.FillRect(3, 1, 100, 100, 100);
    EXPECT_EQ(Art(image), (std::vector<std::string>{"##..", "...#"}));
    EXPECT_EQ(image.CountDark(), 3u);
    image.Rotate180();
    EXPECT_EQ(Art(image), (std::vector<std::string>{"#...", "..##"}));
    image.MirrorX();
    EXPECT_EQ(Art(image), (std::vector<std::string>{"...#", "##.."}));
    ASSERT_TRUE(image.GrowHeight(3));
    EXPECT_EQ(Art(image), (std::vector<std::string>{"...#", "##..", "...."}));
    EXPECT_FALSE(image.GrowHeight(uint32_t(GreyBitmap::kMaxPixels)));
    EXPECT_EQ(image.height(), 3u);
    EXPECT_THROW(GreyBitmap(1u << 16, 1u << 16), std::length_error);
}

TEST(PreviewPngTest, BlackAndWhiteAndGreyImagesRoundTrip) {
    TempDir dir;
    GreyBitmap bwCanvas(13, 5);
    bwCanvas.FillRect(2, 1, 7, 3, GreyBitmap::kBlack);
    const GreyBitmap& bw = bwCanvas;
    const GreyBitmap grey = Gradient(31, 7);
    ASSERT_TRUE(WritePng(dir.File("bw.png"), bw));
    ASSERT_TRUE(WritePng(dir.File("grey.png"), grey));
    // Byte 24 of a PNG file is the IHDR bit depth.
    EXPECT_EQ(ReadFile(dir.File("bw.png")).at(24), 1);
    EXPECT_EQ(ReadFile(dir.File("grey.png")).at(24), 8);
    for (const auto& [name, image] : {std::pair{"bw.png", &bw}, std::pair{"grey.png", &grey}}) {
        SCOPED_TRACE(name);
        std::optional<GreyBitmap> back = ReadPng(dir.File(name));
        ASSERT_TRUE(back.has_value());
        ASSERT_EQ(back->width(), image->width());
        ASSERT_EQ(back->height(), image->height());
        for (uint32_t y = 0; y < image->height(); ++y) {
            for (uint32_t x = 0; x < image->width(); ++x)
                ASSERT_EQ(back->At(x, y), image->At(x, y)) << x << "," << y;
        }
    }
}

TEST(PreviewPngTest, RefusesSymlinksEmptyImagesAndNonPngFiles) {
    TempDir dir;
    WriteFile(dir.File("victim"), "keep me");
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("link.png").c_str()), 0);
    std::string error;
    EXPECT_FALSE(WritePng(dir.File("link.png"), GreyBitmap(2, 2), &error));
    EXPECT_NE(error.find("link.png"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("victim")), "keep me");
    EXPECT_FALSE(WritePng(dir.File("empty.png"), GreyBitmap(), &error));
    EXPECT_FALSE(ReadPng(dir.File("victim"), &error).has_value());
    EXPECT_NE(error.find("not a readable PNG"), std::string::npos);
    EXPECT_FALSE(ReadPng(dir.File("missing.png"), &error).has_value());
}

TEST(ZpldecodeCommandTest, WritesOnePngPerLabelAndTheSummary) {
    TempDir dir;
    const std::vector<uint8_t> bytes = zpltest::PackArt({"####", "#..#"}, 1);
    const std::string job =
        zpltest::SizeFormat(12, 6) +
        zpltest::Download("R:SSGFX000.GRF", bytes, 1, zpltest::Z64Field(bytes)) +
        zpltest::LabelBlock(1, 2, 1, 0, 1) + zpltest::LabelBlock(3, 0, 2, 0, 2) +
        zpltest::DeleteFormat();
    WriteFile(dir.File("job.zpl"), job);
    FilterArgs args;
    args.argvOverride = std::vector<std::string>{"-o", dir.path(), dir.File("job.zpl")};
    FilterResult r = RunFilter(ZPLDECODE, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(
        r.out.find("label 2: width 12 length 6 graphic R:SSGFX000.GRF at 3,0 size 8x2 copies 2"),
        std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with("result ok\n"));
    for (const char* name : {"job-1.png", "job-2.png"}) {
        std::optional<GreyBitmap> png = ReadPng(dir.File(name));
        ASSERT_TRUE(png.has_value()) << name;
        EXPECT_EQ(png->width(), 12u);
        EXPECT_EQ(png->height(), 6u);
        EXPECT_EQ(png->CountDark(), 6u);
    }
    EXPECT_EQ(ReadPng(dir.File("job-1.png"))->At(1, 2), GreyBitmap::kBlack);

    args.argvOverride = std::vector<std::string>{"--no-png", "-"};
    FilterResult bad = RunFilter(ZPLDECODE, args, "^XA^FO0,0^XGR:NONE.GRF^FS^XZ");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.out.find("error: ^XG at byte 9: graphic R:NONE.GRF is not stored"),
              std::string::npos)
        << bad.out;

    args.argvOverride = std::vector<std::string>{dir.File("missing.zpl")};
    EXPECT_EQ(RunFilter(ZPLDECODE, args).exitCode, 2);
    args.argvOverride = std::vector<std::string>{"--bogus"};
    EXPECT_EQ(RunFilter(ZPLDECODE, args).exitCode, 2);
}
