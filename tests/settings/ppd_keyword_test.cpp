#include "settings/ppd_keyword.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

class PpdKeywordTest : public ::testing::Test {
  protected:
    void TearDown() override { SetPpdKeywordConformance(false); }
    std::optional<std::string> Read(const std::string& text, const char* keyword) {
        WriteFile(dir.File("k.ppd"), text);
        return GetPpdKeywordValueFromFile(dir.File("k.ppd").c_str(), keyword);
    }
    TempDir dir;
};

const char* const kStart = "*PPD-Adobe: \"4.3\"\n";

TEST_F(PpdKeywordTest, QuotedAndUnquotedValues) {
    const std::string ppd = std::string(kStart) +
                            "*OutputDPI: \"203\"\n"
                            "*MaxOutputWidth:   104   \n"
                            "*Empty: \"\"\n";
    EXPECT_EQ(Read(ppd, "OutputDPI"), "203");
    EXPECT_EQ(Read(ppd, "MaxOutputWidth"), "104");
    EXPECT_EQ(Read(ppd, "Empty"), "");
    EXPECT_EQ(Read(ppd, "outputdpi"), std::nullopt) << "keywords are case-sensitive";
    EXPECT_EQ(Read(ppd, "Missing"), std::nullopt);
}

TEST_F(PpdKeywordTest, FirstEntryWinsAndOnlyMainKeywordsMatch) {
    const std::string ppd = std::string(kStart) +
                            "*Density OutputDPI/Dots: \"600\"\n"
                            "*OutputDPI: \"300\"\n"
                            "*OutputDPI: \"203\"\n";
    EXPECT_EQ(Read(ppd, "OutputDPI"), "300");
}

TEST_F(PpdKeywordTest, EntryWithoutValueIsPassedOver) {
    const std::string ppd = std::string(kStart) + "*OutputDPI\n*OutputDPI: \"203\"\n";
    EXPECT_EQ(Read(ppd, "OutputDPI"), "203");
}

TEST_F(PpdKeywordTest, WorksetLineEndsTheFile) {
    const std::string ppd = std::string(kStart) +
                            "*Before: \"1\"\n"
                            "*%APLWORKSET START\n"
                            "*OutputDPI: \"203\"\n";
    EXPECT_EQ(Read(ppd, "Before"), "1");
    EXPECT_EQ(Read(ppd, "OutputDPI"), std::nullopt);
}

TEST_F(PpdKeywordTest, QuotedValueSpansLinesKeepingNewlines) {
    const std::string ppd =
        std::string(kStart) + "*Code: \"first\r\nsecond\n\nthird\"\n*Next: \"x\"\n";
    EXPECT_EQ(Read(ppd, "Code"), "first\nsecond\n\nthird");
    EXPECT_EQ(Read(ppd, "Next"), "x");
}

TEST_F(PpdKeywordTest, CommentsEndLinesBlankLinesAndControlZAreSkipped) {
    const std::string ppd = std::string(kStart) +
                            "*% a comment: with \"quotes\n"
                            "\n   \n"
                            "*End\n"
                            "*\n"
                            "*Out\x1A"
                            "putDPI: \"203\"\r";
    EXPECT_EQ(Read(ppd, "OutputDPI"), "203");
}

TEST_F(PpdKeywordTest, GrammarErrorsStopTheReading) {
    const std::string longLine = "*Long: \"" + std::string(260, 'x') + "\"\n";
    const std::string longName = "*" + std::string(41, 'K') + ": \"1\"\n";
    for (const std::string& bad : {longLine, longName, std::string("text outside a keyword\n"),
                                   std::string("*Bad/Slash: \"1\"\n")}) {
        EXPECT_EQ(Read(std::string(kStart) + bad + "*OutputDPI: \"203\"\n", "OutputDPI"),
                  std::nullopt)
            << bad.substr(0, 40);
    }
    // The same entries after the wanted one do no harm: reading stops at the match.
    EXPECT_EQ(Read(std::string(kStart) + "*OutputDPI: \"203\"\n" + longLine, "OutputDPI"), "203");
}

TEST_F(PpdKeywordTest, RelaxedAndStrictConformance) {
    const std::string loneStar = std::string(kStart) + "*\n*OutputDPI: \"203\"\n";
    const std::string control = std::string(kStart) +
                                "*Note: \"a\x01"
                                "b\"\n*OutputDPI: \"203\"\n";
    const std::string spaceBeforeColon = std::string(kStart) + "*OutputDPI : \"203\"\n";
    EXPECT_EQ(Read(loneStar, "OutputDPI"), "203");
    EXPECT_EQ(Read(control, "OutputDPI"), "203");
    EXPECT_EQ(Read(spaceBeforeColon, "OutputDPI"), "203");
    SetPpdKeywordConformance(true);
    EXPECT_EQ(Read(loneStar, "OutputDPI"), std::nullopt);
    EXPECT_EQ(Read(control, "OutputDPI"), std::nullopt);
    EXPECT_EQ(Read(spaceBeforeColon, "OutputDPI"), "203");
}

TEST_F(PpdKeywordTest, TranslationTextLimits) {
    const std::string longText =
        std::string(kStart) + "*Opt Choice/" + std::string(90, 't') + ": \"1\"\n";
    EXPECT_EQ(Read(longText, "Opt"), "1");
    SetPpdKeywordConformance(true);
    EXPECT_EQ(Read(longText, "Opt"), std::nullopt)
        << "82 or more decoded bytes break strict conformance";
    // Hex runs are decoded before the length is judged: 100 hex digits are 50 bytes.
    const std::string hexText =
        std::string(kStart) + "*Opt Choice/<" + std::string(100, 'a') + ">: \"2\"\n";
    EXPECT_EQ(Read(hexText, "Opt"), "2");
}

TEST_F(PpdKeywordTest, ReadsThePpdNamedInTheEnvironment) {
    WriteFile(dir.File("env.ppd"), std::string(kStart) + "*OutputDPI: \"300\"\n");
    setenv("PPD", dir.File("env.ppd").c_str(), 1);
    EXPECT_EQ(GetPpdKeywordValue("OutputDPI"), "300");
    EXPECT_EQ(GetPpdKeywordValue(nullptr), std::nullopt);
    setenv("PPD", dir.File("absent.ppd").c_str(), 1);
    EXPECT_EQ(GetPpdKeywordValue("OutputDPI"), std::nullopt);
    unsetenv("PPD");
    EXPECT_EQ(GetPpdKeywordValue("OutputDPI"), std::nullopt);
}

TEST(PpdDecodeTest, HexRunsBecomeBytes) {
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"plain text", "plain text"},
        {"A<48454c4C4f>B", "AHELLOB"},
        {"<414>x", "Ax"},            // a single trailing digit is dropped
        {"<41 42>y", "Ay"},          // the rest of the run up to '>' is skipped
        {"<4142>>>z", "ABz"},        // a run of '>' is consumed
        {"<not hex>", "<not hex>"},  // '<' without a hex digit is plain text
        {"<41", "A"},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        size_t length = PpdDecode(text.data());
        EXPECT_EQ(std::string(text.c_str(), length), c.out) << c.in;
        EXPECT_EQ(length, c.out.size());
    }
}

}  // namespace
