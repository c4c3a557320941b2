#include "tools/labelpreview/printer_language.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

// Command words a TSPL stream may start with.
constexpr std::array<std::string_view, 20> kTsplWords = {
    "SIZE",      "GAP",     "BLINE",     "CLS",    "BITMAP", "PRINT", "DIRECTION",
    "REFERENCE", "DENSITY", "SPEED",     "OFFSET", "SET",    "SHIFT", "CODEPAGE",
    "FEED",      "HOME",    "LIMITFEED", "SOUND",  "BAR",    "BOX"};

std::string_view FirstLine(std::string_view s) {
    return s.substr(0, s.find_first_of("\r\n"));
}

bool IsTsplLine(std::string_view line) {
    const std::string_view word = line.substr(0, line.find(' '));
    return std::find(kTsplWords.begin(), kTsplWords.end(), word) != kTsplWords.end();
}

// One or two letters, then the end of the line or a parameter: "N", "OD", "q816", "GW32,...".
bool IsEplLine(std::string_view line) {
    size_t letters = 0;
    while (letters < line.size() && std::isalpha(static_cast<unsigned char>(line[letters])))
        ++letters;
    if (letters == 0 || letters > 2) return false;
    if (letters == line.size()) return true;
    const char next = line[letters];
    return std::isdigit(static_cast<unsigned char>(next)) || next == ',' || next == '"' ||
           next == '-' || next == '+';
}

// Streams that did not start in a known way may still hold a receipt or a ZPL format further on.
PrinterLanguage Search(std::string_view s) {
    const std::string_view head = s.substr(0, 4096);
    if (head.find("\x1b@") != std::string_view::npos ||
        head.find("\x1dv0") != std::string_view::npos)
        return PrinterLanguage::EscPos;
    if (head.find("^XA") != std::string_view::npos) return PrinterLanguage::Zpl;
    return PrinterLanguage::Unknown;
}

}  // namespace

PrinterLanguage DetectLanguage(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (std::isspace(static_cast<unsigned char>(s[i])) || s[i] == '\0')) ++i;
    if (i == s.size()) return PrinterLanguage::Unknown;
    const unsigned char first = static_cast<unsigned char>(s[i]);
    if (first == 0x1B || first == 0x1D || first == 0x10) return PrinterLanguage::EscPos;
    // 0xFF opens the RFID write frame that the ZPL filter puts ahead of a label.
    if (first == '^' || first == '~' || first == 0xFF) return PrinterLanguage::Zpl;
    const std::string_view line = FirstLine(s.substr(i));
    if (IsTsplLine(line)) return PrinterLanguage::Tspl;
    if (IsEplLine(line)) return PrinterLanguage::Epl;
    return Search(s);
}

std::optional<PrinterLanguage> ParseLanguage(std::string_view name) {
    if (name == "zpl") return PrinterLanguage::Zpl;
    if (name == "tspl") return PrinterLanguage::Tspl;
    if (name == "epl") return PrinterLanguage::Epl;
    if (name == "escpos") return PrinterLanguage::EscPos;
    return std::nullopt;
}

const char* LanguageName(PrinterLanguage language) {
    switch (language) {
        case PrinterLanguage::Zpl:
            return "ZPL II";
        case PrinterLanguage::Tspl:
            return "TSPL";
        case PrinterLanguage::Epl:
            return "EPL2";
        case PrinterLanguage::EscPos:
            return "ESC/POS";
        case PrinterLanguage::Unknown:
            break;
    }
    return "unknown";
}
