// Runs a CUPS filter as CUPS would (arguments, $PPD, raster on standard input) several times
// and reports the median wall time, the peak memory and the bytes it wrote.
//
//   filter_bench <passes> <ppd> <raster> <filter> [options]
//
// Prints one line: "ms=<median> rss_kib=<peak> bytes=<output bytes>".
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Pass {
    double ms;
    long rssKib;
    long long bytes;
};

bool RunOnce(const char* ppd, const char* raster, const char* filter, const char* options, Pass& pass) {
    int input = open(raster, O_RDONLY);
    int out[2];
    if (input < 0 || pipe(out) != 0) return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input, 0);
        dup2(out[1], 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(out[0]);
        setenv("PPD", ppd, 1);
        execl(filter, filter, "1", "bench", "label", "1", options, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input);
    close(out[1]);
    pass.bytes = 0;
    char buffer[1 << 16];
    for (ssize_t n; (n = read(out[0], buffer, sizeof(buffer))) > 0;) pass.bytes += n;
    close(out[0]);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    pass.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    pass.rssKib = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: filter_bench <passes> <ppd> <raster> <filter> [options]\n");
        return 2;
    }
    const int passes = std::max(1, std::atoi(argv[1]));
    const char* options = argc > 5 ? argv[5] : "";
    std::vector<Pass> results;
    for (int i = 0; i < passes; ++i) {
        Pass pass{};
        if (!RunOnce(argv[2], argv[3], argv[4], options, pass)) {
            std::fprintf(stderr, "filter_bench: %s failed\n", argv[4]);
            return 1;
        }
        results.push_back(pass);
    }
    std::sort(results.begin(), results.end(), [](const Pass& a, const Pass& b) { return a.ms < b.ms; });
    const Pass& median = results[results.size() / 2];
    long peak = 0;
    for (const Pass& p : results) peak = std::max(peak, p.rssKib);
    std::printf("ms=%.2f rss_kib=%ld bytes=%lld\n", median.ms, peak, median.bytes);
    return 0;
}
