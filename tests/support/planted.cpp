#include "tests/support/planted.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kNobody = 65534;

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error("cannot plant " + what);
}

}  // namespace

const std::vector<PlantedCase>& PlantedCases() {
    static const std::vector<PlantedCase> cases = {
        {Planted::Fifo, "FIFO", "it is not a regular file"},
        {Planted::SymbolicLink, "symbolic link", "it is a symbolic link"},
        {Planted::Directory, "directory", "it is not a regular file"},
        {Planted::HardLink, "hard link", "it has another hard link"},
        {Planted::OtherUsersFile, "another user's file", "it belongs to another user"},
    };
    return cases;
}

void Plant(Planted kind, const std::string& path, const std::string& victim) {
    switch (kind) {
        case Planted::Fifo:
            return Check(::mkfifo(path.c_str(), 0666) == 0, path);
        case Planted::SymbolicLink:
            return Check(::symlink(victim.c_str(), path.c_str()) == 0, path);
        case Planted::Directory:
            return Check(::mkdir(path.c_str(), 0777) == 0, path);
        case Planted::HardLink:
            return Check(::link(victim.c_str(), path.c_str()) == 0, path);
        case Planted::OtherUsersFile:
            WriteFile(path, "planted");
            return Check(::chown(path.c_str(), kNobody, kNobody) == 0, path);
    }
}

ChildRun RunInChild(const std::function<void()>& job, int seconds) {
    TempDir dir;
    const std::string errFile = dir.File("err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        job();
        _exit(0);
    }
    ChildRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            run.err = ReadFile(errFile);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.finished = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errFile);
    return run;
}
