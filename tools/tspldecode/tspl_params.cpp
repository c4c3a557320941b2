#include "tools/tspldecode/tspl_params.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tsplparams {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t comma = text.find(',');
        fields.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

std::optional<double> Number(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take exponents, "inf" and "nan", which no printer reads.
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
    if (!plain || std::count(text.begin(), text.end(), '.') > 1 || text == ".") return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > kMaxValue)
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<int64_t> Integer(std::string_view text, int64_t low, int64_t high) {
    const std::optional<double> value = Number(text);
    if (!value || *value != std::trunc(*value) || *value < double(low) || *value > double(high))
        return std::nullopt;
    return int64_t(*value);
}

std::optional<TsplLength> Length(std::string_view text) {
    text = Trim(text);
    TsplLength length;
    const std::string upper = Upper(text);
    size_t unitLength = 0;
    if (upper.ends_with("MM")) {
        length.unit = TsplUnit::Millimetre;
        unitLength = 2;
    } else if (upper.ends_with("DOT")) {
        length.unit = TsplUnit::Dot;
        unitLength = 3;
    }
    const std::optional<double> value = Number(text.substr(0, text.size() - unitLength));
    if (!value) return std::nullopt;
    length.value = *value;
    return length;
}

std::string Escape(std::string_view bytes, size_t limit) {
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        }
    }
    if (bytes.size() > limit) out += "...";
    return out;
}

std::string Millimetres(const TsplLength& length, uint32_t dpi) {
    double mm = length.value;
    if (length.unit == TsplUnit::Inch) mm *= 25.4;
    if (length.unit == TsplUnit::Dot) mm = dpi ? mm * 25.4 / dpi : 0;
    char text[48];
    std::snprintf(text, sizeof(text), "%.2f", mm);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

}  // namespace tsplparams
