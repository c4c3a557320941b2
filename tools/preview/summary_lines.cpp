#include "tools/preview/summary_lines.h"

#include <cstdint>
#include <cstdio>

void FindingLines(std::ostream& out, const std::map<std::string, size_t>& unknown,
                  const std::vector<std::string>& warnings,
                  const std::vector<std::string>& errors) {
    for (const auto& [command, count] : unknown) {
        out << "unknown " << command << " count " << count << "\n";
    }
    for (const std::string& w : warnings) out << "warning: " << w << "\n";
    for (const std::string& e : errors) out << "error: " << e << "\n";
    if (errors.empty()) {
        out << "result ok\n";
    } else {
        out << "result errors " << errors.size() << "\n";
    }
}

std::string HexDigits(const std::vector<uint8_t>& bytes) {
    std::string out;
    char pair[4];
    for (const uint8_t b : bytes) {
        std::snprintf(pair, sizeof(pair), "%02x", b);
        out += pair;
    }
    return out;
}
