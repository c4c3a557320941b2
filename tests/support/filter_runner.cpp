#include "tests/support/filter_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

void MakePipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

std::vector<std::string> Arguments(const std::string& program, const FilterArgs& a) {
    std::vector<std::string> argv{program};
    if (a.argvOverride) {
        argv.insert(argv.end(), a.argvOverride->begin(), a.argvOverride->end());
        return argv;
    }
    argv.insert(argv.end(), {a.jobId, a.user, a.title, a.copies, a.options});
    if (a.rasterFile) argv.push_back(*a.rasterFile);
    return argv;
}

std::vector<std::string> Environment(const FilterArgs& a) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "PPD=", 4) != 0) env.emplace_back(*e);
    }
    if (!a.ppdPath.empty()) env.push_back("PPD=" + a.ppdPath);
    env.insert(env.end(), a.env.begin(), a.env.end());
    return env;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

FilterProcess::FilterProcess(const std::string& program, const FilterArgs& args) {
    std::vector<std::string> argv = Arguments(program, args);
    std::vector<std::string> env = Environment(args);
    std::vector<char*> cargv = CStrings(argv);
    std::vector<char*> cenv = CStrings(env);
    int in[2], out[2], err[2];
    MakePipe(in);
    MakePipe(out);
    MakePipe(err);
    if (args.output == FilterStdout::ReaderGone) ::close(out[0]);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        if (args.output == FilterStdout::DevFull) ::dup2(::open("/dev/full", O_WRONLY), 1);
        ::dup2(err[1], 2);
        // As CUPS starts a filter: a closed pipe would kill it unless it says otherwise.
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = args.output == FilterStdout::Pipe ? out[0] : -1;
    if (args.output == FilterStdout::DevFull) ::close(out[0]);
    err_ = err[0];
    ::signal(SIGPIPE, SIG_IGN);  // a filter that stops reading must not kill the test
}

FilterProcess::~FilterProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) ::close(fd);
    }
}

void FilterProcess::Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size() && in_ >= 0) {
        // Keep draining the output so that a filter blocked on a full pipe can go on.
        pollfd fds[3] = {{in_, POLLOUT, 0}, {out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR) break;
        if (fds[0].revents & (POLLERR | POLLHUP)) break;
        if (fds[0].revents & POLLOUT) {
            ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno != EINTR && errno != EAGAIN) break;
            if (n > 0) done += static_cast<size_t>(n);
        }
        if ((fds[1].revents | fds[2].revents) != 0) Pump(std::chrono::milliseconds(0));
    }
}

void FilterProcess::CloseInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
}

// Reads whatever output is ready within the time-out; false once both outputs are closed.
bool FilterProcess::Pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready < 0) return errno == EINTR;
    std::string* sinks[2] = {&result_.out, &result_.err};
    int* descriptors[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[65536];
        ssize_t n = ::read(fds[i].fd, buffer, sizeof(buffer));
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            ::close(*descriptors[i]);
            *descriptors[i] = -1;
        }
    }
    return out_ >= 0 || err_ >= 0;
}

bool FilterProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result_.out.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Pump(std::min(left, std::chrono::milliseconds(100))))
            return false;
    }
    return true;
}

bool FilterProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Pump(std::chrono::milliseconds(50))) return true;
    }
    return false;
}

void FilterProcess::Signal(int signal) {
    ::kill(pid_, signal);
}

FilterResult FilterProcess::Finish() {
    CloseInput();
    // A filter that hangs is killed after two minutes rather than hanging the test run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (Pump(std::chrono::milliseconds(1000))) {
        if (std::chrono::steady_clock::now() > deadline) ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
    return result_;
}

FilterResult RunFilter(const std::string& program, const FilterArgs& args,
                       const std::string& input) {
    FilterProcess process(program, args);
    process.Write(input);
    return process.Finish();
}
