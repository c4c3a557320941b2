// Runs a CUPS filter several times on one raster job and reports the median wall time, the
// peak memory and the bytes it wrote.
//
//   filter_bench <passes> <ppd> <raster> <filter> [options]
//
// Prints one line: "ms=<median> rss_kib=<peak> bytes=<output bytes>".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/filter_run.h"

int main(int argc, char* argv[]) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: filter_bench <passes> <ppd> <raster> <filter> [options]\n");
        return 2;
    }
    const int passes = std::max(1, std::atoi(argv[1]));
    std::vector<FilterPass> results;
    for (int i = 0; i < passes; ++i) {
        FilterPass pass;
        if (!RunFilterTimed(argv[4], argv[2], argv[3], "label", argc > 5 ? argv[5] : "", pass)) {
            std::fprintf(stderr, "filter_bench: %s failed\n", argv[4]);
            return 1;
        }
        results.push_back(pass);
    }
    std::sort(results.begin(), results.end(),
              [](const FilterPass& a, const FilterPass& b) { return a.ms < b.ms; });
    long peak = 0;
    for (const FilterPass& p : results) peak = std::max(peak, p.rssKib);
    const FilterPass& median = results[results.size() / 2];
    std::printf("ms=%.2f rss_kib=%ld bytes=%lld\n", median.ms, peak, median.bytes);
    return 0;
}
