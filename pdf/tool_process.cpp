#include "pdf/tool_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "log/log4z.h"

extern char** environ;

namespace {

// Collects the child's output; everything is read so that the child never blocks on a full
// pipe, but only the first `maxOutput` bytes are kept.
void Drain(int fd, std::string* output, size_t maxOutput) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output->size() < maxOutput)
            output->append(buffer, std::min(static_cast<size_t>(n), maxOutput - output->size()));
    }
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunTool(const std::vector<std::string>& argv, int inputFd, std::string* output,
            size_t maxOutput) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (output != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output != nullptr) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // A copy above 3, so that the dup2 in the child always clears close-on-exec.
    const int passFd = inputFd != -1 ? ::fcntl(inputFd, F_DUPFD_CLOEXEC, 10) : -1;
    if (passFd != -1) posix_spawn_file_actions_adddup2(&actions, passFd, kToolInputFd);

    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (passFd != -1) ::close(passFd);
    if (output != nullptr) ::close(pipeFds[1]);
    if (error != 0) {
        LOGE("cannot run %s, error: %d", args[0], error);
        if (output != nullptr) ::close(pipeFds[0]);
        return -1;
    }
    if (output != nullptr) {
        Drain(pipeFds[0], output, maxOutput);
        ::close(pipeFds[0]);
    }
    return WaitFor(pid);
}
