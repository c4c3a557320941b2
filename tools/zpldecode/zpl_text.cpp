#include "tools/zpldecode/zpl_text.h"

#include <cctype>
#include <cstdio>

namespace zpltext {

std::string Escape(std::string_view text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127 && c != '\\' && c != '"') {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        }
    }
    if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::vector<std::string_view> Split(std::string_view params, size_t maxParts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const size_t comma = params.find(',');
        if (comma == std::string_view::npos) break;
        parts.push_back(params.substr(0, comma));
        params.remove_prefix(comma + 1);
    }
    parts.push_back(params);
    return parts;
}

std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
        if (value > max) return std::nullopt;
    }
    return value;
}

std::string NormaliseName(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string out;
    for (char c : name) out += char(std::toupper(static_cast<unsigned char>(c)));
    if (out.size() < 2 || out[1] != ':') out.insert(0, "R:");
    if (out.find('.', 2) == std::string::npos) out += ".GRF";
    return out;
}

bool GlobMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace zpltext
