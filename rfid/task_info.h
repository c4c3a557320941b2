// The job information file shared by all label filter processes: which job asked last for
// RFID label data and the index of its last label, so that the labels of a job are numbered
// on across pages and filter runs. Guarded by an exclusive fcntl record lock.
#pragma once

#include <string>

class FileLock {
  public:
    // The job information file: "/tmp/TASK_INFO.lock".
    static constexpr const char* FILE_DIR = "/tmp/";
    static constexpr const char* FILE_NAME = "TASK_INFO.lock";

    // Opens (creating with mode 0666) the file read-write, without following a symbolic link.
    explicit FileLock(std::string path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Parses "JOB_ID = <n>" and "JOB_IDX = <n>" lines in any order; returns 1 when both
    // were present. Numbers that do not convert leave the caller's values.
    static int parseJobInfo(const std::string& text, int& jobId, int& index);

    // Takes the whole-file write lock, polling every 100 ms for at most `seconds`.
    bool lockTimeout(int seconds, const char* timeoutLog);
    void unlock();
    bool locked() const { return m_bLocked; }

    // Reads the file under the lock (at most 255 bytes); an empty file leaves -1/-1. Returns
    // false on time-out, on a failed read and when a line is missing. Keeps the lock when
    // `keepLock` is set and the read succeeded.
    bool readJobInfoTimeout(int& jobId, int& index, int seconds, bool keepLock);
    // Rewrites the file under the lock; returns 1 when the lock was obtained.
    int writeJobInfoTimeout(int jobId, int index, int seconds);

  private:
    int m_fd = -1;
    std::string m_strPath;
    bool m_bLocked = false;
};

// Decides the label index of this page of job `jobId`: one more than the recorded index when
// the file describes the same job, else 0, and records it. Returns 1 on success, 0 on failure.
int TaskInfo(int jobId, int& index);
// The same on another file (the filters always use /tmp/TASK_INFO.lock).
int TaskInfo(int jobId, int& index, const std::string& path);
