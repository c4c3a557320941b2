// Code 128 barcodes in code sets B (printable ASCII) and C (digit pairs).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

// The symbol values: start, data (with code set changes), check symbol, stop. Runs of digits
// long enough to save space go in code set C. nullopt for empty text or a character outside
// printable ASCII (32-126).
std::optional<std::vector<int>> Code128Symbols(std::string_view text);

// Module widths of the symbols, alternating bar and space, starting and ending with a bar
// (six elements per symbol, seven for the stop). Quiet zones are not included.
std::vector<int> Code128Modules(const std::vector<int>& symbols);

// The total width of the modules, in modules.
int Code128Width(const std::vector<int>& modules);
