// The ZPL decoder on random and mutated streams: it must end every one with a summary and
// keep its results consistent. (Run under a sanitizer build or the fuzz/ target for memory
// errors; here the fixed seeds keep the cases the same on every run.)
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/tools/zpl_builder.h"
#include "tools/zpldecode/zpl_decoder.h"

using namespace zpltest;

namespace {

// Bytes that ZPL gives meaning to turn up more often than the rest.
char RandomByte(std::mt19937& rng) {
    static const std::string kSyntax = "^~,:!.XAZFOGSPQWLHDRIE0123456789GgzYy\r\n \xFF\x65\x66";
    std::uniform_int_distribution<int> pick(0, 3);
    if (pick(rng) == 0) return char(std::uniform_int_distribution<int>(0, 255)(rng));
    return kSyntax[std::uniform_int_distribution<size_t>(0, kSyntax.size() - 1)(rng)];
}

std::string ValidJob() {
    const std::vector<std::string> art = {"#..#..##", ".####...", "##..##..", "........"};
    const std::vector<uint8_t> bytes = PackArt(art, 1);
    return std::string("\xFF\x03\xFF\x66\xAB\xC0", 6) + StartDocExample() + SizeFormat(20, 10) +
           Download("R:SSGFX000.GRF", bytes, 1, Z64Field(bytes)) + LabelBlock(2, 3, 2, 1, 1) +
           DeleteFormat() +
           "~DGR:H.GRF,4,1,HF:,!^XA^FO1,1^XGR:H.GRF,2,2^FS^GB5,5,2^FS^GFA,4,4,1,F0F0F0F0^FS^FDx^FS^"
           "XZ";
}

std::string Mutate(std::string s, std::mt19937& rng) {
    const int edits = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int i = 0; i < edits && !s.empty(); ++i) {
        const size_t at = std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng);
        switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
            case 0:
                s[at] = RandomByte(rng);
                break;
            case 1:
                s.insert(at, 1, RandomByte(rng));
                break;
            case 2:
                s.erase(at, std::uniform_int_distribution<size_t>(1, 16)(rng));
                break;
            case 3:
                s.resize(at);
                break;
            default:
                s.insert(at, s.substr(at, std::uniform_int_distribution<size_t>(1, 40)(rng)));
                break;
        }
    }
    return s;
}

void CheckConsistent(const std::string& stream) {
    const ZplDecodeResult r = DecodeZpl(stream);
    const std::string summary = FormatSummary(r);
    const std::string last =
        r.ok() ? "result ok\n" : "result errors " + std::to_string(r.errors.size()) + "\n";
    ASSERT_TRUE(summary.ends_with(last)) << summary;
    for (const ZplLabel& label : r.labels) {
        if (label.image.empty()) continue;
        if (label.printWidth) {
            ASSERT_EQ(label.image.width(), *label.printWidth);
        }
        if (label.labelLength) {
            ASSERT_EQ(label.image.height(), *label.labelLength);
        }
        ASSERT_EQ(label.darkDots, label.image.CountDark());
    }
    for (const ZplDownload& d : r.downloads) {
        if (d.stored) {
            ASSERT_TRUE(d.crc == "ok" || d.crc == "none");
        }
    }
}

}  // namespace

TEST(ZplFuzzTest, ValidJobDecodesCleanly) {
    const ZplDecodeResult r = DecodeZpl(ValidJob());
    EXPECT_TRUE(r.ok()) << FormatSummary(r);
    EXPECT_EQ(r.labels.size(), 2u);
    EXPECT_EQ(r.rfid.size(), 1u);
}

TEST(ZplFuzzTest, RandomStreamsEndWithASummary) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 3000; ++i) {
        std::string s(std::uniform_int_distribution<size_t>(0, 300)(rng), '\0');
        for (char& c : s) c = RandomByte(rng);
        SCOPED_TRACE(i);
        CheckConsistent(s);
    }
}

TEST(ZplFuzzTest, MutatedJobsEndWithASummary) {
    std::mt19937 rng(7);
    const std::string job = ValidJob();
    for (int i = 0; i < 3000; ++i) {
        SCOPED_TRACE(i);
        CheckConsistent(Mutate(job, rng));
    }
}
