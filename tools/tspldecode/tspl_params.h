// Parameter parsing for TSPL commands: plain decimal numbers ("3", "-1.5"), lengths with their
// unit ("3 mm", "812 dot", "0.12" in inches), comma lists and printable excerpts of raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tspldecode/tspl_decoder.h"

namespace tsplparams {

// Largest magnitude a parameter may have; beyond it a printer's own parser overflows.
constexpr double kMaxValue = 1e9;

std::string_view Trim(std::string_view text);
std::string Upper(std::string_view text);
// The comma-separated fields of `text`, each trimmed.
std::vector<std::string_view> Split(std::string_view text);
// A decimal number: optional sign, digits, optional fraction; nothing else.
std::optional<double> Number(std::string_view text);
// A whole number within [low, high].
std::optional<int64_t> Integer(std::string_view text, int64_t low, int64_t high);
// A number followed by "mm" or "dot" (either case, space optional); no unit means inches.
std::optional<TsplLength> Length(std::string_view text);
// Printable form of raw bytes, at most `limit` of them: control bytes as \xNN.
std::string Escape(std::string_view bytes, size_t limit = 32);
// A length in millimetres for the summary ("3", "2.5", "3.05").
std::string Millimetres(const TsplLength& length, uint32_t dpi);

}  // namespace tsplparams
