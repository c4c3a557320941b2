// The job information file shared by all label filter processes: the index of the last label
// each recent job asked for, so that the labels of a job are numbered on across pages and
// filter runs. Guarded by an exclusive fcntl record lock.
//
// The file starts with the pair of the job that asked last:
//     JOB_ID = 42
//     JOB_IDX = 3
// followed by one "JOB <id> <index>" line for each of the other recent jobs, so that jobs
// printing at the same time do not restart each other's numbering.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "log/cancel_flag.h"

struct JobIndex {
    int jobId;
    int index;  // the last label index handed out
};

enum class LockWait { Locked, TimedOut, Canceled };
enum class JobInfoRead { Read, Unreadable, TimedOut, Canceled };

class FileLock {
  public:
    // The job information file: "/tmp/TASK_INFO.lock".
    static constexpr const char* FILE_DIR = "/tmp/";
    static constexpr const char* FILE_NAME = "TASK_INFO.lock";
    // Jobs recorded at most, the latest included.
    static constexpr size_t MAX_JOBS = 32;

    // Opens the file read-write (created with mode 0600), only when it is a plain file of
    // this user (see OpenOwnFile); otherwise problem() tells why.
    explicit FileLock(std::string path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Parses "JOB_ID = <n>" and "JOB_IDX = <n>" lines in any order; returns 1 when both
    // were present. Numbers that do not convert leave the caller's values.
    static int parseJobInfo(const std::string& text, int& jobId, int& index);
    // The "JOB <id> <index>" lines; malformed ones are left out.
    static std::vector<JobIndex> parseOtherJobs(const std::string& text);

    // Takes the whole-file write lock, polling every `poll` for at most `seconds`.
    LockWait lockTimeout(int seconds, const char* timeoutLog, CancelFlag canceled = nullptr,
                         std::chrono::milliseconds poll = std::chrono::milliseconds(100));
    void unlock();
    bool locked() const { return m_bLocked; }
    const std::string& problem() const { return m_strProblem; }

    // Reads the file under the lock: the latest job into `jobId`/`index` (an empty file
    // leaves -1/-1) and the others into `others`. Fails on time-out, on a failed read and
    // when a line of the pair is missing. Keeps the lock when `keepLock` is set and the read
    // succeeded.
    JobInfoRead readJobInfoTimeout(int& jobId, int& index, std::vector<JobIndex>& others,
                                   int seconds, bool keepLock, CancelFlag canceled = nullptr);
    // Rewrites the file under the lock; returns 1 when the lock was obtained.
    int writeJobInfoTimeout(int jobId, int index, const std::vector<JobIndex>& others, int seconds);

  private:
    int m_fd = -1;
    std::string m_strPath;
    std::string m_strProblem;
    bool m_bLocked = false;
};

enum class TaskInfoStatus { Ok, Failed, Canceled };

// Decides the label index of this page of job `jobId`: one more than the index recorded for
// the job, else 0, and records it. On failure `reason` tells the administrator why.
TaskInfoStatus TaskInfo(int jobId, int& index, std::string& reason, CancelFlag canceled = nullptr,
                        const std::string& path = std::string(FileLock::FILE_DIR) +
                                                  FileLock::FILE_NAME);
