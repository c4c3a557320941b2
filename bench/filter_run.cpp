#include "bench/filter_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

bool RunFilterTimed(const std::string& filter, const std::string& ppd, const std::string& raster,
                    const std::string& title, const std::string& options, FilterPass& pass) {
    const int input = ::open(raster.c_str(), O_RDONLY | O_CLOEXEC);
    int out[2];
    if (input < 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(input, 0);
        ::dup2(out[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::setenv("PPD", ppd.c_str(), 1);
        ::execl(filter.c_str(), filter.c_str(), "1", "bench", title.c_str(), "1", options.c_str(),
                static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(input);
    ::close(out[1]);
    pass.bytes = 0;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof(buffer))) > 0;) pass.bytes += n;
    ::close(out[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    pass.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    pass.rssKib = usage.ru_maxrss;
    pass.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return pass.exitStatus == 0;
}
