#include "tests/support/ppd_fixture.h"

#include "tests/support/temp_dir.h"

namespace {

const char* const kHeader =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"MXTEST.PPD\"\n"
    "*Manufacturer: \"Test\"\n"
    "*Product: \"(Test Label Printer)\"\n"
    "*ModelName: \"Test Label Printer\"\n"
    "*ShortNickName: \"Test Label Printer\"\n"
    "*NickName: \"Test Label Printer\"\n"
    "*PSVersion: \"(3010.000) 0\"\n"
    "*LanguageLevel: \"3\"\n"
    "*ColorDevice: True\n"
    "*DefaultColorSpace: RGB\n"
    "*FileSystem: False\n"
    "*Throughput: \"1\"\n"
    "*LandscapeOrientation: Plus90\n"
    "*TTRasterizer: Type42\n"
    "*OpenUI *PageSize/Media Size: PickOne\n"
    "*DefaultPageSize: w288h432\n"
    "*PageSize w288h432/4x6in: \"<</PageSize[288 432]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageSize\n"
    "*OpenUI *PageRegion/Media Size: PickOne\n"
    "*DefaultPageRegion: w288h432\n"
    "*PageRegion w288h432/4x6in: \"<</PageSize[288 432]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageRegion\n"
    "*DefaultImageableArea: w288h432\n"
    "*ImageableArea w288h432/4x6in: \"0 0 288 432\"\n"
    "*DefaultPaperDimension: w288h432\n"
    "*PaperDimension w288h432/4x6in: \"288 432\"\n";

}  // namespace

PpdFixture& PpdFixture::Keyword(const std::string& name, const std::string& value, bool quoted) {
    parts_.push_back("*" + name + ": " + (quoted ? "\"" + value + "\"" : value) + "\n");
    return *this;
}

PpdFixture& PpdFixture::Option(const std::string& name, const std::vector<PpdChoice>& choices,
                               const std::string& defaultChoice) {
    std::string text = "*OpenUI *" + name + "/" + name + ": PickOne\n";
    text += "*Default" + name + ": " + defaultChoice + "\n";
    for (const PpdChoice& choice : choices) {
        text += "*" + name + " " + choice.name + "/" + choice.name + ": \"" + choice.code + "\"\n";
    }
    text += "*CloseUI: *" + name + "\n";
    parts_.push_back(text);
    return *this;
}

PpdFixture& PpdFixture::NumericOption(const std::string& name,
                                      const std::vector<std::string>& codes,
                                      const std::string& defaultCode) {
    std::vector<PpdChoice> choices;
    for (const std::string& code : codes) choices.push_back({code, code});
    return Option(name, choices, defaultCode);
}

PpdFixture& PpdFixture::Raw(const std::string& text) {
    parts_.push_back(text);
    return *this;
}

std::string PpdFixture::Text() const {
    std::string text = kHeader;
    for (const std::string& part : parts_) text += part;
    return text;
}

std::string PpdFixture::WriteTo(const std::string& path) const {
    WriteFile(path, Text());
    return path;
}
