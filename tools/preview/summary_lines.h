// Lines every decoder's summary ends with, in the same words.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// "unknown <command> count <n>", "warning: ...", "error: ..." and the "result" line.
void FindingLines(std::ostream& out, const std::map<std::string, size_t>& unknown,
                  const std::vector<std::string>& warnings, const std::vector<std::string>& errors);

// Bytes as lowercase hexadecimal digits, two per byte.
std::string HexDigits(const std::vector<uint8_t>& bytes);
