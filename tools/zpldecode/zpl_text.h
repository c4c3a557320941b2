// Small text helpers of the ZPL decoder: command parameters, numbers, object names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zpltext {

// Printable ASCII as it is, anything else as \xHH; longer text is cut with a note of its size.
std::string Escape(std::string_view text, size_t limit = 120);

// Parameters split at commas into at most `maxParts` parts; the last part keeps the rest.
std::vector<std::string_view> Split(std::string_view params, size_t maxParts);

// A decimal number without sign, surrounding spaces allowed; nullopt when malformed or above max.
std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max);

// An object name with the device ("R:") and extension (".GRF") completed where missing,
// upper-cased as the printer stores it.
std::string NormaliseName(std::string_view name);

// Matches a name against a pattern with "*" (any run) and "?" (one character).
bool GlobMatch(std::string_view pattern, std::string_view name);

}  // namespace zpltext
