// The printer language of a stream of our filters, told from its first commands: ZPL II formats
// start with "^" or "~" (or an RFID write frame), ESC/POS with ESC or GS, TSPL with a command
// word ("SIZE 101.6 mm,152.4 mm", "CLS"), EPL2 with a one- or two-letter command ("N", "q816").
#pragma once

#include <optional>
#include <string_view>

enum class PrinterLanguage { Unknown, Zpl, Tspl, Epl, EscPos };

PrinterLanguage DetectLanguage(std::string_view stream);

// "zpl", "tspl", "epl" or "escpos"; nullopt for any other name.
std::optional<PrinterLanguage> ParseLanguage(std::string_view name);

// "ZPL II", "TSPL", "EPL2", "ESC/POS", "unknown".
const char* LanguageName(PrinterLanguage language);
