#include "pdf/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "log/log4z.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMs = 100;

// Why the wait must end early, if it must.
ToolEnd Interruption(const ToolRun& run, Clock::time_point deadline) {
    if (IsCanceled(run.canceled)) return ToolEnd::Canceled;
    if (Clock::now() >= deadline) return ToolEnd::TimedOut;
    return ToolEnd::Exited;
}

// Collects the child's output until it closes it. Returns Exited when it did, else why not.
ToolEnd Collect(int fd, const ToolRun& run, Clock::time_point deadline, std::string& output) {
    char buffer[65536];
    for (;;) {
        const ToolEnd stop = Interruption(run, deadline);
        if (stop != ToolEnd::Exited) return stop;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, kPollMs) <= 0) continue;  // time-out or a signal: test again
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return ToolEnd::Exited;
        if (output.size() + static_cast<size_t>(n) > run.maxOutput) return ToolEnd::TooMuchOutput;
        output.append(buffer, static_cast<size_t>(n));
    }
}

// Waits for the child to end; kills its process group when it must stop early.
void Reap(pid_t pid, const ToolRun& run, Clock::time_point deadline, ToolResult& result) {
    int status = 0;
    for (;;) {
        if (result.end == ToolEnd::Exited) result.end = Interruption(run, deadline);
        if (result.end != ToolEnd::Exited) {
            // The child is not reaped yet, so its group id still names its group alone.
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            result.end = ToolEnd::Killed;
            return;
        }
        ::usleep(10000);
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else {
        result.end = ToolEnd::Killed;
    }
}

// The child's set-up: its own process group, default signal handling, the descriptors.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    SpawnSetup(int outputFd, int passFd) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (outputFd != -1) {
            posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (passFd != -1) posix_spawn_file_actions_adddup2(&actions, passFd, kToolInputFd);
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGTERM);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ToolResult RunTool(const ToolRun& run) {
    ToolResult result;
    if (run.argv.empty()) return result;
    const Clock::time_point deadline = Clock::now() + run.timeLimit;
    std::vector<char*> args;
    for (const std::string& a : run.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (run.maxOutput > 0 && ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    // A copy above 3, so that the dup2 in the child always clears close-on-exec.
    const int passFd = run.inputFd != -1 ? ::fcntl(run.inputFd, F_DUPFD_CLOEXEC, 10) : -1;
    pid_t pid = -1;
    int error = 0;
    {
        SpawnSetup setup(pipeFds[1], passFd);
        error =
            ::posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
    }
    if (passFd != -1) ::close(passFd);
    if (pipeFds[1] != -1) ::close(pipeFds[1]);
    if (error != 0) {
        LOGE("cannot run %s, error: %d", args[0], error);
        if (pipeFds[0] != -1) ::close(pipeFds[0]);
        return result;
    }
    result.end = ToolEnd::Exited;
    if (pipeFds[0] != -1) {
        result.end = Collect(pipeFds[0], run, deadline, result.output);
        ::close(pipeFds[0]);
    }
    Reap(pid, run, deadline, result);
    if (result.end != ToolEnd::Exited) result.output.clear();
    return result;
}
