// Reading plain main keywords (such as *OutputDPI) straight from the queue's PPD file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Value of the first entry of the PPD named by $PPD whose main keyword equals `keyword`
// (without the asterisk) and that has a value. Empty when the file cannot be read, no such
// entry exists, or a line breaks the PPD grammar before it. The file is read afresh each call.
std::optional<std::string> GetPpdKeywordValue(const char* keyword);

// The same for a given file path.
std::optional<std::string> GetPpdKeywordValueFromFile(const char* path, const char* keyword);

// Grammar strictness of the keyword reader; relaxed unless set (the CUPS default).
void SetPpdKeywordConformance(bool strict);

// Decodes the <hex> runs of a translation text in place; returns the decoded length.
size_t PpdDecode(char* text);
