// Receipt PPD fixtures and the ESC/POS byte sequences the receipt tests expect.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "tests/support/ppd_fixture.h"

// The options of a receipt queue with their defaults; a value given in `choices` replaces
// the default, and an empty value leaves the option out of the PPD.
inline PpdFixture ReceiptPpd(const std::map<std::string, std::string>& choices = {}) {
    static const std::vector<std::pair<std::string, std::vector<std::string>>> kOptions = {
        {"Cashbox", {"0", "1", "2"}},
        {"BlackMark", {"0", "1", "2"}},
        {"SavingPaper", {"0", "1"}},
        {"FeedingMode", {"0", "1", "2"}},
        {"CuttingLength", {"0", "1", "2", "3", "4", "5"}},
        {"FeedingLength", {"0", "1", "2", "3", "4", "5"}},
        {"PrintLogo", {"0", "1"}},
        {"HorizontalOffset", {"0", "1"}},
        {"HorizontalOffsetValue", {"0.0", "2.0"}},
        {"DriverLog", {"0", "1"}},
    };
    static const std::map<std::string, std::string> kDefaults = {
        {"Cashbox", "0"},     {"BlackMark", "0"},        {"SavingPaper", "1"},
        {"FeedingMode", "0"}, {"CuttingLength", "0"},    {"FeedingLength", "0"},
        {"PrintLogo", "1"},   {"HorizontalOffset", "0"}, {"HorizontalOffsetValue", "0.0"},
        {"DriverLog", "0"},
    };
    PpdFixture ppd;
    for (const auto& [name, codes] : kOptions) {
        auto chosen = choices.find(name);
        const std::string value = chosen != choices.end() ? chosen->second : kDefaults.at(name);
        if (value.empty()) continue;
        std::vector<std::string> all = codes;
        if (std::find(all.begin(), all.end(), value) == all.end()) all.push_back(value);
        ppd.NumericOption(name, all, value);
    }
    return ppd;
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes.push_back(static_cast<char>(v));
    return bytes;
}

inline const std::string kCarriageReturns = Bytes({0x0D, 0x0D});
inline const std::string kStartDoc = Bytes({0x1B, 0x40, 0x1D, 0x50, 0xCB, 0xCB});
inline const std::string kPrintNoFeed = Bytes({0x1B, 0x4A, 0x00});  // ESC J 0
inline const std::string kInitialise = Bytes({0x1B, 0x40});
inline const std::string kFeedEnd = Bytes({0x1B, 0x4A, 0x78, 0x1B, 0x4A, 0x6C});
inline const std::string kPartialCut = Bytes({0x1D, 0x56, 0x42, 0x01});
inline const std::string kDrawerPulse = Bytes({0x1B, 0x70, 0x00, 0x33, 0x00});
inline const std::string kBlackMarkFeed = Bytes({0x1D, 0x0C});
inline const std::string kLogo =
    Bytes({0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x00, 0x00, 0x01, 0x01});

// ESC $ 0 0, GS v 0 with `bytesPerRow` x `rows` bytes of dots.
inline std::string Band(unsigned bytesPerRow, unsigned rows, const std::string& dots) {
    return Bytes({0x1B, 0x24, 0x00, 0x00, 0x1D, 0x76, 0x30, 0x00,
                  static_cast<int>(bytesPerRow & 0xFF), static_cast<int>(bytesPerRow >> 8),
                  static_cast<int>(rows), 0x00}) +
           dots;
}

// `rows` rows of `bytesPerRow` bytes, all `value`.
inline std::string Rows(unsigned bytesPerRow, unsigned rows, uint8_t value) {
    return std::string(size_t{bytesPerRow} * rows, static_cast<char>(value));
}

// A page's bytes as the receipt filter sends them without options: start of page, graphics,
// end of page.
inline std::string PageBytes(const std::string& graphics) {
    return kCarriageReturns + graphics + kPrintNoFeed;
}

inline std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}
