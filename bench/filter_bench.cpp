// Runs CUPS filters on raster jobs as CUPS runs them and reports, per filter and job, the
// median wall time, the peak memory and the bytes written. The jobs take turns pass by pass,
// so that a peer and our filter meet the same load on a shared machine.
//
//   filter_bench <passes> <filter> <ppd> <raster> [<filter> <ppd> <raster> ...]
//
// Prints one line per job, in the order given: "ms=<median> rss_kib=<peak> bytes=<bytes>".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/filter_run.h"

int main(int argc, char* argv[]) {
    if (argc < 5 || (argc - 2) % 3 != 0) {
        std::fprintf(stderr, "usage: filter_bench <passes> <filter> <ppd> <raster> ...\n");
        return 2;
    }
    const int passes = std::max(1, std::atoi(argv[1]));
    const int jobs = (argc - 2) / 3;
    std::vector<std::vector<FilterPass>> results(static_cast<size_t>(jobs));
    for (int i = 0; i < passes; ++i) {
        for (int j = 0; j < jobs; ++j) {
            char** job = argv + 2 + 3 * j;
            FilterPass pass;
            // A failure status still counts (rastertolabel fails a job without pages); a
            // filter that could not start or was killed ends the benchmark.
            RunFilterTimed(job[0], job[1], job[2], "label", "", pass);
            if (pass.exitStatus < 0 || pass.exitStatus == 127) {
                std::fprintf(stderr, "filter_bench: %s on %s failed\n", job[0], job[2]);
                return 1;
            }
            results[static_cast<size_t>(j)].push_back(pass);
        }
    }
    for (std::vector<FilterPass>& runs : results) {
        std::sort(runs.begin(), runs.end(),
                  [](const FilterPass& a, const FilterPass& b) { return a.ms < b.ms; });
        long peak = 0;
        for (const FilterPass& p : runs) peak = std::max(peak, p.rssKib);
        const FilterPass& median = runs[runs.size() / 2];
        std::printf("ms=%.2f rss_kib=%ld bytes=%lld\n", median.ms, peak, median.bytes);
    }
    return 0;
}
