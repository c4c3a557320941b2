// Helpers of the RFID tests: the stand-in label-design application as a real process, the
// job information file and the message queue put back as they were, and the log of the
// test process in a private folder.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "log/log4z.h"
#include "rfid/vx_file.h"
#include "tests/support/filter_runner.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

inline const std::string kJobInfoPath = "/tmp/TASK_INFO.lock";

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::string HashOf(const TestPage& page) {
    const std::vector<uint8_t> image = ExpectedPageImage(page);
    char text[32];
    std::snprintf(text, sizeof(text), "hash=%016" PRIx64, Fnv1a(image.data(), image.size()));
    return text;
}

inline bool QueueExists() {
    return ::msgget(CVXFile::MSG_QUEUE_KEY, 0) >= 0;
}

inline void RemoveQueue() {
    const int id = ::msgget(CVXFile::MSG_QUEUE_KEY, 0);
    if (id >= 0) ::msgctl(id, IPC_RMID, nullptr);
}

// Takes /tmp/TASK_INFO.lock out of the way for a test and puts it back afterwards; removes the
// request lock file the test leaves (it would belong to the test's user).
class JobInfoFileGuard {
  public:
    JobInfoFileGuard() {
        struct stat info {};
        if (::lstat(kJobInfoPath.c_str(), &info) == 0) {
            saved_ = ReadFile(kJobInfoPath);
            mode_ = info.st_mode & 07777;
            ::unlink(kJobInfoPath.c_str());
        }
    }
    ~JobInfoFileGuard() {
        ::unlink(CVXFile::REQUEST_LOCK);
        ::unlink(kJobInfoPath.c_str());
        if (saved_) {
            WriteFile(kJobInfoPath, *saved_);
            ::chmod(kJobInfoPath.c_str(), mode_);
        }
    }
    JobInfoFileGuard(const JobInfoFileGuard&) = delete;
    JobInfoFileGuard& operator=(const JobInfoFileGuard&) = delete;

  private:
    std::optional<std::string> saved_;
    mode_t mode_ = 0666;
};

// The stand-in label-design application, answering from `dir` (one file per label index).
class Peer {
  public:
    explicit Peer(const std::string& dir, std::vector<std::string> flags = {}) {
        FilterArgs args;
        flags.insert(flags.begin(), dir);
        args.argvOverride = flags;
        process_ = std::make_unique<FilterProcess>(RFID_PEER, args);
        ready_ = process_->WaitForOutput("ready", std::chrono::seconds(20));
    }
    ~Peer() { Stop(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool ready() const { return ready_; }
    // Ends the peer (which removes the queue) and returns the requests it received.
    std::vector<std::string> Stop() {
        if (process_ != nullptr) {
            process_->Signal(SIGTERM);
            output_ = process_->Finish().out;
            process_.reset();
        }
        std::vector<std::string> requests;
        for (const std::string& line : Lines(output_)) {
            if (line.rfind("request: ", 0) == 0) requests.push_back(line.substr(9));
        }
        return requests;
    }

  private:
    std::unique_ptr<FilterProcess> process_;
    std::string output_;
    bool ready_ = false;
};

// The log of this test process, written to a private folder.
class LogCapture {
  public:
    LogCapture() {
        ILog4zManager* manager = ILog4zManager::getInstance();
        manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, dir_.path().c_str());
        manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, "rfid");
        manager->start();
    }
    ~LogCapture() { ILog4zManager::getInstance()->stop(); }
    std::string Text() const { return ReadFile(dir_.File("rfid.log")); }

  private:
    TempDir dir_;
};

// What the code under test writes to standard output while `run` runs.
template <typename Run>
std::string CaptureStdout(Run run) {
    TempDir dir;
    std::fflush(stdout);
    const int saved = ::dup(1);
    FILE* sink = std::fopen(dir.File("out").c_str(), "wb");
    ::dup2(::fileno(sink), 1);
    run();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::fclose(sink);
    return ReadFile(dir.File("out"));
}

// A process that holds the whole-file lock until it is told to let go.
class LockHolder {
  public:
    explicit LockHolder(const std::string& path) {
        int ready[2], release[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
            flock lock{};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLKW, &lock) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char byte;
            (void)!::read(release[0], &byte, 1);
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = '0';
        locked_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~LockHolder() {
        if (release_ >= 0) ::close(release_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    bool locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
