// Benchmark of the receipt filter on a 1-metre receipt: 576 dots (72 mm on the 80 mm model)
// by 8000 rows at 203 dpi, with text lines, a barcode, a grey logo and blank gaps. Runs the
// filter as CUPS does (arguments, $PPD, raster on standard input) with blank-row skipping on
// ("SavingPaper" 0) and off, and reports the median wall time, the peak memory (wait4) and
// the bytes sent, also as a share of the plain 1-bit raster (576 / 8 x 8000 bytes).
//
//   receipt_bench <rastertomoxdtpos> <receipt PPD> [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/filter_run.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uint32_t kWidth = 576;
constexpr uint32_t kHeight = 8000;

class Canvas {
  public:
    explicit Canvas(TestPage& page) : page_(page) {}
    void Fill(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint8_t grey) {
        for (uint32_t r = y; r < std::min(y + h, kHeight); ++r) {
            for (uint32_t c = x; c < std::min(x + w, kWidth); ++c) {
                uint8_t* p = &page_.rgb[(size_t{r} * kWidth + c) * 3];
                p[0] = p[1] = p[2] = grey;
            }
        }
    }

  private:
    TestPage& page_;
};

// A line of glyph-like marks in font-A cells (12 x 24 dots): strokes of 2 dots, words of
// 3 to 9 letters, `columns` letters long from column `start`.
void TextLine(Canvas& canvas, std::mt19937& random, uint32_t y, uint32_t start, uint32_t columns) {
    uint32_t column = start;
    while (column < start + columns && column < kWidth / 12) {
        const uint32_t word = 3 + random() % 7;
        for (uint32_t i = 0; i < word && column < start + columns && column < kWidth / 12;
             ++i, ++column) {
            const uint32_t x = column * 12 + 1;
            canvas.Fill(x, y + 4, 2, 16, 0);                        // stem
            if (random() % 2) canvas.Fill(x, y + 4, 8, 2, 0);       // top bar
            if (random() % 2) canvas.Fill(x, y + 11, 8, 2, 0);      // middle bar
            if (random() % 2) canvas.Fill(x, y + 18, 8, 2, 0);      // bottom bar
            if (random() % 3) canvas.Fill(x + 7, y + 4, 2, 16, 0);  // second stem
        }
        ++column;  // space
    }
}

// Bars of 2 to 8 dots, like a Code 128 symbol at module 2.
void Barcode(Canvas& canvas, std::mt19937& random, uint32_t y, uint32_t height) {
    uint32_t x = 88;
    bool bar = true;
    while (x < kWidth - 88) {
        const uint32_t w = 2 * (1 + random() % 4);
        if (bar) canvas.Fill(x, y, w, height, 0);
        x += w;
        bar = !bar;
    }
}

TestPage MakeReceipt() {
    TestPage page = TestPage::Solid(kWidth, kHeight, 255, 255, 255);
    Canvas canvas(page);
    std::mt19937 random(20240611);
    // A grey logo: a gradient box that the halftone has to dither.
    for (uint32_t x = 0; x < 288; ++x)
        canvas.Fill(144 + x, 40, 1, 120, static_cast<uint8_t>(x * 255 / 288));
    uint32_t y = 200;
    for (int i = 0; i < 4; ++i, y += 30) TextLine(canvas, random, y, 8, 32);  // shop and address
    y += 90;
    for (int i = 0; i < 150; ++i, y += 30) {  // items and prices
        TextLine(canvas, random, y, 0, 28);
        TextLine(canvas, random, y, 40, 8);
        if (i % 25 == 24) y += 60;  // section gaps
    }
    y += 120;
    for (int i = 0; i < 6; ++i, y += 30) TextLine(canvas, random, y, 20, 28);  // totals
    y += 90;
    Barcode(canvas, random, y, 100);
    y += 160;
    for (int i = 0; i < 3; ++i, y += 30) TextLine(canvas, random, y, 6, 36);  // footer
    return page;  // the rest, about a fifth of the receipt, stays blank paper
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: receipt_bench <rastertomoxdtpos> <receipt PPD> [runs]\n");
        return 2;
    }
    const std::string filter = argv[1];
    const std::string ppd = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    TempDir dir;
    const std::string raster = dir.File("receipt.ras");
    WriteRasterFile(raster, {MakeReceipt()}, true);
    const double plain = kWidth / 8.0 * kHeight;

    std::printf("receipt %u x %u dots at 203 dpi, %d runs each, plain 1-bit raster %.0f bytes\n",
                kWidth, kHeight, runs, plain);
    std::printf(
        "| SavingPaper | median ms | min ms | max ms | peak RSS MiB | bytes sent | share of 1-bit "
        "raster |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const char* choice : {"0", "1"}) {
        std::vector<FilterPass> passes(static_cast<size_t>(runs));
        for (FilterPass& pass : passes) {
            if (!RunFilterTimed(filter, ppd, raster, "receipt",
                                std::string("SavingPaper=") + choice, pass)) {
                std::fprintf(stderr, "the filter failed\n");
                return 1;
            }
        }
        std::vector<double> ms;
        long rss = 0;
        for (const FilterPass& p : passes) {
            ms.push_back(p.ms);
            rss = std::max(rss, p.rssKib);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("| %s (%s) | %.1f | %.1f | %.1f | %.1f | %lld | %.1f %% |\n", choice,
                    choice[0] == '0' ? "blank rows fed" : "every row sent", ms[ms.size() / 2],
                    ms.front(), ms.back(), rss / 1024.0, passes[0].bytes,
                    100.0 * static_cast<double>(passes[0].bytes) / plain);
    }
    return 0;
}
