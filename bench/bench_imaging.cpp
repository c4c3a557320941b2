// bench_imaging: times each step of the page pipeline on a 4 x 6 inch label at 203 and
// 300 dpi and compares it with a plain memcpy of the same 24-bit page.
//
// The page is drawn procedurally: lines of text-like strokes, a barcode and a grey
// patch on white, 24-bit blue-green-red, rows padded to 4 bytes as the raster arrives.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/bmp_processing.h"
#include "imaging/threshold.h"

namespace {

constexpr int kRuns = 21;

struct Page {
    uint32_t width = 0, height = 0, stride = 0;
    std::vector<uint8_t> bgr;

    void Fill(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t v) {
        x1 = std::min(x1, width);
        y1 = std::min(y1, height);
        for (uint32_t y = y0; y < y1; ++y) {
            std::memset(bgr.data() + static_cast<size_t>(y) * stride + x0 * 3, v, (x1 - x0) * 3);
        }
    }
};

Page DrawLabel(int dpi) {
    Page p;
    p.width = 4 * dpi;
    p.height = 6 * dpi;
    p.stride = DibStride(p.width, 24);
    p.bgr.assign(static_cast<size_t>(p.stride) * p.height, 255);
    std::mt19937 rng(dpi);
    const auto dots = [dpi](double mm) { return static_cast<uint32_t>(mm * dpi / 25.4 + 0.5); };
    const uint32_t margin = dots(4);
    const uint32_t stroke = std::max<uint32_t>(2, dots(0.35));

    // Text: lines of glyph-sized boxes made of vertical and horizontal strokes.
    const uint32_t lineHeight = dots(4.5), glyphH = dots(3), glyphW = dots(2);
    for (uint32_t base = margin; base + lineHeight < p.height / 2; base += lineHeight) {
        const uint32_t lineEnd = margin + (rng() % 2 ? p.width - 2 * margin : p.width / 2);
        for (uint32_t x = margin; x + glyphW < lineEnd; x += glyphW + stroke * 2) {
            if (rng() % 7 == 0) continue;  // word gap
            const unsigned shape = rng();
            if (shape & 1) p.Fill(x, base, x + stroke, base + glyphH, 0);
            if (shape & 2) p.Fill(x + glyphW - stroke, base, x + glyphW, base + glyphH, 0);
            if (shape & 4) p.Fill(x, base, x + glyphW, base + stroke, 0);
            if (shape & 8) p.Fill(x, base + glyphH / 2, x + glyphW, base + glyphH / 2 + stroke, 0);
            if (shape & 16) p.Fill(x, base + glyphH - stroke, x + glyphW, base + glyphH, 0);
        }
    }
    // Barcode: bars and spaces of one to four modules.
    const uint32_t module = std::max<uint32_t>(2, dots(0.25));
    const uint32_t barTop = p.height / 2 + margin, barBottom = barTop + dots(25);
    bool bar = true;
    for (uint32_t x = margin; x < p.width - margin;) {
        const uint32_t w = module * (1 + rng() % 4);
        if (bar) p.Fill(x, barTop, std::min(x + w, p.width - margin), barBottom, 0);
        bar = !bar;
        x += w;
    }
    // Grey patch and a darker frame around the lower part.
    p.Fill(margin, barBottom + margin, p.width / 2, p.height - margin, 128);
    p.Fill(p.width / 2 + margin, barBottom + margin, p.width - margin, barBottom + margin + stroke,
           0);
    p.Fill(p.width / 2 + margin, p.height - margin - stroke, p.width - margin, p.height - margin,
           0);
    return p;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The median time of a step and, measured just before it, the median of a plain memcpy
// of the page with source and destination warm: the baseline a step is compared with.
// Measuring the baseline next to each step keeps both under the same load on a shared
// host.
struct Timing {
    double ms;
    double memcpyMs;
};

class Clock {
  public:
    explicit Clock(const std::vector<uint8_t>& page) : page_(page), copy_(page.size()) {}

    // `prepare` runs untimed before each run of `body`.
    Timing Time(
        const std::function<void()>& body, const std::function<void()>& prepare = [] {}) {
        std::vector<double> copy, step;
        for (int i = 0; i < kRuns; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            std::memcpy(copy_.data(), page_.data(), page_.size());
            copy.push_back(Ms(std::chrono::steady_clock::now() - t0));
        }
        for (int i = 0; i < kRuns; ++i) {
            prepare();
            const auto t0 = std::chrono::steady_clock::now();
            body();
            step.push_back(Ms(std::chrono::steady_clock::now() - t0));
        }
        return {Median(step), Median(copy)};
    }

  private:
    const std::vector<uint8_t>& page_;
    std::vector<uint8_t> copy_;
};

struct Grey {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // stride = width (a multiple of 8)
};

// The whole page as 8-bit grey, the way halftoning receives it.
Grey ToGrey(const Page& page) {
    CBmpProcessing bmp;
    tagBITMAPINFOHEADER hdr{};
    hdr.biWidth = static_cast<int32_t>(page.width);
    hdr.biHeight = static_cast<int32_t>(page.height);
    hdr.biBitCount = 24;
    tagRECT rect{};
    uint8_t* out = nullptr;
    uint32_t size = 0;
    bmp.CoverBMP2OutputFormat(page.bgr.data(), static_cast<uint32_t>(page.bgr.size()), &out, &size,
                              &hdr, &rect, 3, 0, 0, {1.0f, 0, 255, 0, 255}, false, 0, 0, 1 << 20,
                              0);
    Grey g{static_cast<uint32_t>(hdr.biWidth), static_cast<uint32_t>(hdr.biHeight),
           std::vector<uint8_t>(out, out + size)};
    std::free(out);
    return g;
}

struct Row {
    std::string step;
    Timing t;
    double goal;  // in memcpy units; 0 when the step has none
};

void Report(int dpi, const Page& page, const std::vector<Row>& rows) {
    std::printf("\n%d dpi page: %u x %u, 24-bit, %.2f MB\n", dpi, page.width, page.height,
                page.bgr.size() / 1e6);
    std::printf("  %-40s %9s %11s %9s %10s\n", "step", "ms", "memcpy ms", "x memcpy", "goal");
    for (const Row& r : rows) {
        const double ratio = r.t.ms / r.t.memcpyMs;
        char goal[32] = "-";
        if (r.goal > 0)
            std::snprintf(goal, sizeof goal, "%.0f %s", r.goal, ratio <= r.goal ? "ok" : "MISSED");
        std::printf("  %-40s %9.3f %11.3f %9.2f %10s\n", r.step.c_str(), r.t.ms, r.t.memcpyMs,
                    ratio, goal);
    }
}

std::vector<Row> CoverSteps(Clock& clock, const Page& page, int dpi) {
    std::vector<Row> rows;
    const int32_t maxWidth = static_cast<int32_t>(dpi * 300000.0 / 25400 + 0.5);
    for (auto [orientation, name, goal] :
         {std::tuple{3, "CoverBMP2OutputFormat unturned (3)", 8.0},
          std::tuple{0, "CoverBMP2OutputFormat quarter turn (0)", 20.0},
          std::tuple{2, "CoverBMP2OutputFormat quarter turn (2)", 20.0}}) {
        const Timing t = clock.Time([&, orientation = orientation] {
            CBmpProcessing bmp;
            tagBITMAPINFOHEADER hdr{};
            hdr.biWidth = static_cast<int32_t>(page.width);
            hdr.biHeight = static_cast<int32_t>(page.height);
            hdr.biBitCount = 24;
            tagRECT rect{};
            uint8_t* out = nullptr;
            uint32_t size = 0;
            bmp.CoverBMP2OutputFormat(page.bgr.data(), static_cast<uint32_t>(page.bgr.size()), &out,
                                      &size, &hdr, &rect, orientation, 0, 0, {1.0f, 0, 255, 0, 255},
                                      false, 0, 0, maxWidth, 1);
            std::free(out);
        });
        rows.push_back({name, t, goal});
    }
    return rows;
}

Row ScaleStep(Clock& clock, const char* name, const Page& src, uint32_t dstW, uint32_t dstH,
              bool shrink) {
    const uint32_t dstStride = DibStride(dstW, 24);
    std::vector<uint8_t> dst(static_cast<size_t>(dstStride) * dstH);
    const Timing t = clock.Time(
        [&] {
            CBmpProcessing bmp;
            uint8_t* p = dst.data();
            const tagColorCFG cfg{0, 0, 0, 0, 0};
            if (shrink) {
                bmp.InvoicQIShrinkImg2(src.width, src.height, 24, src.stride, src.bgr.data(),
                                       nullptr, dstW, dstH, 24, &p, nullptr,
                                       static_cast<uint32_t>(dst.size()), cfg, cfg, {0, 0, 0, 0});
            } else {
                bmp.InvoicResampleImg2(src.width, src.height, 24, src.stride, src.bgr.data(), dstW,
                                       dstH, 24, &p, static_cast<uint32_t>(dst.size()), cfg, 0,
                                       {0, 0, 0, 0});
            }
        },
        [&] { std::fill(dst.begin(), dst.end(), 0); });
    return {name, t, 0.0};
}

std::vector<Row> HalftoneSteps(Clock& clock, const Grey& grey) {
    std::vector<Row> rows;
    std::vector<uint8_t> src(grey.pixels.size()), dst(grey.pixels.size());
    const auto fresh = [&] {
        src = grey.pixels;
        std::fill(dst.begin(), dst.end(), 255);
    };
    for (auto [method, name, goal] : {std::tuple{1, "Dither 1 (fixed threshold)", 3.0},
                                      std::tuple{2, "Dither 2 (Floyd-Steinberg)", 10.0},
                                      std::tuple{3, "Dither 3 (16 x 16 ordered)", 3.0},
                                      std::tuple{6, "Dither 6 (Stucki)", 10.0}}) {
        const Timing t = clock.Time(
            [&, method = method] {
                CBmpProcessing::Dither(method, src.data(), dst.data(), grey.height, grey.width,
                                       grey.width, 0, false);
            },
            fresh);
        rows.push_back({name, t, goal});
    }
    rows.push_back({"AdThresholdImgLocal",
                    clock.Time(
                        [&] {
                            uint8_t* p = dst.data();
                            CBmpProcessing::AdThresholdImgLocal(
                                grey.width, grey.height, 8, grey.width, src.data(),
                                static_cast<uint32_t>(src.size()), &p, nullptr, false, false);
                        },
                        fresh),
                    3.0});
    rows.push_back({"AdaptiveThreshold",
                    clock.Time(
                        [&] {
                            uint8_t* result = nullptr;
                            int32_t size = 0;
                            AdaptiveThreshold(src.data(), static_cast<int32_t>(grey.width),
                                              static_cast<int32_t>(grey.height),
                                              static_cast<int32_t>(grey.width), &result, &size,
                                              false, 0, 64, 0, 0.5f);
                            std::free(result);
                        },
                        fresh),
                    3.0});
    // What the TSPL and EPL filters run: the dots go into the spent page buffer.
    std::vector<uint8_t> into(uint64_t{DibStride(grey.width, 8)} * grey.height);
    rows.push_back({"AdaptiveThresholdInto (filters)",
                    clock.Time(
                        [&] {
                            AdaptiveThresholdInto(src.data(), static_cast<int32_t>(grey.width),
                                                  static_cast<int32_t>(grey.height),
                                                  static_cast<int32_t>(grey.width), into.data(),
                                                  into.size(), false, 0, 64, 0, 0.5f);
                        },
                        fresh),
                    3.0});
    return rows;
}

}  // namespace

int main() {
    const Page page203 = DrawLabel(203);
    const Page page300 = DrawLabel(300);
    for (const Page* page : {&page203, &page300}) {
        const int dpi = page == &page203 ? 203 : 300;
        Clock clock(page->bgr);
        std::vector<Row> rows = CoverSteps(clock, *page, dpi);
        if (dpi == 203) {
            rows.push_back(ScaleStep(clock, "InvoicResampleImg2 203 -> 300 dpi", page203,
                                     page203.width * 300 / 203, page203.height * 300 / 203, false));
        } else {
            rows.push_back(ScaleStep(clock, "InvoicQIShrinkImg2 300 -> 203 dpi", page300,
                                     page300.width * 203 / 300, page300.height * 203 / 300, true));
        }
        for (const Row& r : HalftoneSteps(clock, ToGrey(*page))) rows.push_back(r);
        Report(dpi, *page, rows);
    }
    std::printf("\nmedians of %d runs; memcpy: the page copied %d times just before each step\n",
                kRuns, kRuns);
    return 0;
}
