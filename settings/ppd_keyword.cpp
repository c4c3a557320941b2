#include "settings/ppd_keyword.h"

#include <cups/file.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kLineGrowth = 1024;
constexpr size_t kMaxLineBuffer = 262144;
constexpr size_t kMaxPhysicalLine = 255;
constexpr size_t kMaxName = 40;
constexpr size_t kMaxTranslation = 255;
constexpr size_t kMaxStrictText = 81;
constexpr const char* kWorksetEnd = "*%APLWORKSET START";

bool g_strict = false;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct FileCloser {
    void operator()(cups_file_t* fp) const { cupsFileClose(fp); }
};
using CupsFile = std::unique_ptr<cups_file_t, FileCloser>;

enum class LineStatus { Line, End, Error };

// Reads one logical line: quoted values may span physical lines (their line ends are kept
// as newlines); blank lines are skipped.
LineStatus ReadLogicalLine(cups_file_t* fp, std::string& line) {
    line.clear();
    size_t capacity = kLineGrowth;
    size_t column = 0;
    bool colonSeen = false;
    bool inQuotes = false;
    int ch;
    while ((ch = cupsFileGetChar(fp)) != EOF) {
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && cupsFilePeekChar(fp) == '\n') cupsFileGetChar(fp);
            column = 0;
            if (inQuotes) {
                line += '\n';
            } else if (line.empty()) {
                continue;
            } else {
                break;
            }
        } else if (ch == 0x1A) {
            continue;
        } else {
            if (ch < ' ' && ch != '\t' && g_strict) return LineStatus::Error;
            if (++column > kMaxPhysicalLine) return LineStatus::Error;
            line += static_cast<char>(ch);
            if (ch == ':' && line.compare(0, 2, "*%") != 0) colonSeen = true;
            if (ch == '"' && colonSeen) inQuotes = !inQuotes;
        }
        if (line.size() >= capacity) {
            capacity += kLineGrowth;
            if (capacity > kMaxLineBuffer) return LineStatus::Error;
        }
    }
    while (!line.empty() && line.back() == '\n') line.pop_back();
    if (line == kWorksetEnd) return LineStatus::End;
    if (ch == EOF && line.empty()) return LineStatus::End;
    return LineStatus::Line;
}

// Reads a name of printable characters other than '/', up to `stop` characters or white space.
bool ReadName(const char*& p, const char* stops, std::string& name) {
    name.clear();
    while (*p != '\0' && !IsSpace(*p) && std::strchr(stops, *p) == nullptr) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 33 || c > 126 || c == '/' || name.size() >= kMaxName) return false;
        name += *p++;
    }
    return true;
}

struct Entry {
    std::string keyword;
    bool hasValue = false;
    std::string value;
};

enum class EntryStatus { Entry, Skip, Error };

EntryStatus ParseEntry(const std::string& line, Entry& entry) {
    if (line.compare(0, 2, "*%") == 0 || line == "*End") return EntryStatus::Skip;
    if (line == "*") return g_strict ? EntryStatus::Error : EntryStatus::Skip;
    if (line[0] != '*') {
        for (char c : line) {
            if (!IsSpace(c)) return EntryStatus::Error;
        }
        return EntryStatus::Skip;
    }
    const char* p = line.c_str() + 1;
    if (!ReadName(p, ":", entry.keyword)) return EntryStatus::Error;
    if (entry.keyword == "End") return EntryStatus::Skip;

    if (IsSpace(*p)) {
        while (IsSpace(*p)) ++p;
        std::string option;
        if (!ReadName(p, "/:", option)) return EntryStatus::Error;
        while (IsSpace(*p)) ++p;
        if (*p == '/') {
            ++p;
            std::string text;
            while (*p != '\0' && *p != '\n' && *p != ':') {
                unsigned char c = static_cast<unsigned char>(*p);
                if ((c < ' ' && c != '\t') || text.size() >= kMaxTranslation)
                    return EntryStatus::Error;
                text += *p++;
            }
            if (PpdDecode(text.data()) > kMaxStrictText && g_strict) return EntryStatus::Error;
        }
    }
    while (IsSpace(*p)) ++p;
    if (*p == ':') {
        ++p;
        while (IsSpace(*p)) ++p;
        std::string value = p;
        while (!value.empty() && IsSpace(value.back())) value.pop_back();
        if (!value.empty() && value.back() == '"') {
            value.pop_back();
            value.erase(0, 1);
        }
        entry.hasValue = true;
        entry.value = std::move(value);
    }
    return EntryStatus::Entry;
}

}  // namespace

void SetPpdKeywordConformance(bool strict) {
    g_strict = strict;
}

size_t PpdDecode(char* text) {
    char* in = text;
    char* out = text;
    while (*in != '\0') {
        if (in[0] == '<' && HexValue(in[1]) >= 0) {
            ++in;
            while (HexValue(in[0]) >= 0 && HexValue(in[1]) >= 0) {
                *out++ = static_cast<char>(HexValue(in[0]) << 4 | HexValue(in[1]));
                in += 2;
            }
            while (*in != '\0' && *in != '>') ++in;
            while (*in == '>') ++in;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
    return static_cast<size_t>(out - text);
}

std::optional<std::string> GetPpdKeywordValueFromFile(const char* path, const char* keyword) {
    if (path == nullptr || keyword == nullptr) return std::nullopt;
    CupsFile fp(cupsFileOpen(path, "r"));
    if (!fp) return std::nullopt;
    std::string line;
    for (;;) {
        LineStatus status = ReadLogicalLine(fp.get(), line);
        if (status != LineStatus::Line) return std::nullopt;
        Entry entry;
        EntryStatus parsed = ParseEntry(line, entry);
        if (parsed == EntryStatus::Error) return std::nullopt;
        if (parsed == EntryStatus::Entry && entry.hasValue && entry.keyword == keyword) {
            return entry.value;
        }
    }
}

std::optional<std::string> GetPpdKeywordValue(const char* keyword) {
    return GetPpdKeywordValueFromFile(std::getenv("PPD"), keyword);
}
