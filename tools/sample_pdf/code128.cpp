#include "tools/sample_pdf/code128.h"

#include <array>
#include <numeric>

namespace {

// Bar and space widths of symbol values 0-106 (106 is the stop, with its final bar).
constexpr std::array<const char*, 107> kPatterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

constexpr int kCodeC = 99;
constexpr int kCodeB = 100;
constexpr int kStartB = 104;
constexpr int kStartC = 105;
constexpr int kStop = 106;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t DigitRun(std::string_view text, size_t from) {
    size_t end = from;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return end - from;
}

// Code set C pays off for 4 digits at either end of the text and 6 in the middle.
bool WorthCodeC(std::string_view text, size_t at, size_t run) {
    if (at == 0 && run == text.size() && run >= 2 && run % 2 == 0) return true;
    const bool atEdge = at == 0 || at + run == text.size();
    return run >= (atEdge ? 4u : 6u);
}

}  // namespace

std::optional<std::vector<int>> Code128Symbols(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < 32 || c > 126) return std::nullopt;
    }
    std::vector<int> symbols;
    enum class Set { None, B, C } set = Set::None;
    size_t i = 0;
    while (i < text.size()) {
        size_t run = DigitRun(text, i);
        if (set != Set::C && WorthCodeC(text, i, run)) {
            if (run % 2 == 1 && set == Set::B) {  // the odd digit goes out in code set B
                symbols.push_back(text[i] - 32);
                ++i;
                --run;
            }
            symbols.push_back(set == Set::None ? kStartC : kCodeC);
            set = Set::C;
            for (; run >= 2; run -= 2, i += 2)
                symbols.push_back((text[i] - '0') * 10 + (text[i + 1] - '0'));
            continue;
        }
        if (set != Set::B) symbols.push_back(set == Set::None ? kStartB : kCodeB);
        set = Set::B;
        symbols.push_back(text[i] - 32);
        ++i;
    }
    int check = symbols[0];
    for (size_t k = 1; k < symbols.size(); ++k) check += int(k) * symbols[k];
    symbols.push_back(check % 103);
    symbols.push_back(kStop);
    return symbols;
}

std::vector<int> Code128Modules(const std::vector<int>& symbols) {
    std::vector<int> modules;
    for (int symbol : symbols) {
        if (symbol < 0 || symbol >= int(kPatterns.size())) continue;
        for (const char* w = kPatterns[size_t(symbol)]; *w != '\0'; ++w)
            modules.push_back(*w - '0');
    }
    return modules;
}

int Code128Width(const std::vector<int>& modules) {
    return std::accumulate(modules.begin(), modules.end(), 0);
}
