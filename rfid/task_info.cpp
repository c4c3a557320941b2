#include "rfid/task_info.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <exception>
#include <string_view>
#include <thread>
#include <utility>

#include "log/log4z.h"
#include "log/own_file.h"

namespace {

constexpr int kLockSeconds = 5;
// The pair of the latest job comes first and fits the 255 bytes that a reader of a single
// pair looks at; the other jobs' lines follow.
constexpr size_t kMaxRead = 4096;

std::string Trim(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

// The whole text must be a decimal int.
bool ToInt(std::string_view text, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed, 10);
    if (ec != std::errc() || ptr != end || text.empty()) return false;
    value = parsed;
    return true;
}

template <typename Fn>
void ForEachLine(const std::string& text, Fn fn) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty()) fn(line);
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

flock WholeFile(short type) {
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

std::string FileText(int jobId, int index, const std::vector<JobIndex>& others) {
    std::string text =
        "JOB_ID = " + std::to_string(jobId) + "\n" + "JOB_IDX = " + std::to_string(index) + "\n";
    for (const JobIndex& job : others)
        text += "JOB " + std::to_string(job.jobId) + " " + std::to_string(job.index) + "\n";
    return text;
}

}  // namespace

FileLock::FileLock(std::string path) : m_strPath(std::move(path)) {
    OwnFile file = OpenOwnFile(m_strPath.c_str(), O_RDWR);
    m_fd = file.fd;
    m_strProblem = std::move(file.problem);
    if (m_fd < 0) LOGE("FileLock CreateFile Fail: %s: %s", m_strPath.c_str(), m_strProblem.c_str());
}

FileLock::~FileLock() {
    if (m_bLocked) unlock();
    if (m_fd != -1) ::close(m_fd);
}

LockWait FileLock::lockTimeout(int seconds, const char* timeoutLog, CancelFlag canceled,
                               std::chrono::milliseconds poll) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() - start < limit) {
        if (IsCanceled(canceled)) return LockWait::Canceled;
        flock lock = WholeFile(F_WRLCK);
        if (::fcntl(m_fd, F_SETLK, &lock) == 0) {
            m_bLocked = true;
            return LockWait::Locked;
        }
        if (errno != EAGAIN && errno != EACCES) LOGE("tryLock failed");
        std::this_thread::sleep_for(poll);
    }
    LOGE("%s", timeoutLog);
    return LockWait::TimedOut;
}

void FileLock::unlock() {
    flock lock = WholeFile(F_UNLCK);
    if (::fcntl(m_fd, F_SETLK, &lock) != 0) LOGE("unlock failed");
    m_bLocked = false;
}

int FileLock::parseJobInfo(const std::string& text, int& jobId, int& index) {
    static const std::string kJobId = "JOB_ID = ";
    static const std::string kJobIdx = "JOB_IDX = ";
    bool seenId = false;
    bool seenIdx = false;
    ForEachLine(text, [&](const std::string& line) {
        if (line.compare(0, kJobId.size(), kJobId) == 0) {
            seenId = true;
            if (!ToInt(std::string_view(line).substr(kJobId.size()), jobId))
                LOGE("job_id parse error");
        } else if (line.compare(0, kJobIdx.size(), kJobIdx) == 0) {
            seenIdx = true;
            if (!ToInt(std::string_view(line).substr(kJobIdx.size()), index))
                LOGE("job_idx parse error");
        }
    });
    return seenId && seenIdx ? 1 : 0;
}

std::vector<JobIndex> FileLock::parseOtherJobs(const std::string& text) {
    std::vector<JobIndex> jobs;
    ForEachLine(text, [&](const std::string& line) {
        if (line.compare(0, 4, "JOB ") != 0) return;
        const std::string_view rest = std::string_view(line).substr(4);
        const size_t space = rest.find(' ');
        JobIndex job{};
        if (space != std::string_view::npos && ToInt(rest.substr(0, space), job.jobId) &&
            ToInt(rest.substr(space + 1), job.index) && job.index >= 0)
            jobs.push_back(job);
    });
    return jobs;
}

JobInfoRead FileLock::readJobInfoTimeout(int& jobId, int& index, std::vector<JobIndex>& others,
                                         int seconds, bool keepLock, CancelFlag canceled) {
    const LockWait wait = lockTimeout(seconds, "read-timeout failed", canceled);
    if (wait != LockWait::Locked)
        return wait == LockWait::Canceled ? JobInfoRead::Canceled : JobInfoRead::TimedOut;
    bool ok = false;
    try {
        if (::lseek(m_fd, 0, SEEK_SET) < 0) LOGE("lseek failed");
        std::string buffer(kMaxRead, '\0');
        ssize_t n;
        do {
            n = ::read(m_fd, buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            // Nothing was read: the buffer holds no job information at all.
            LOGE("read failed");
        } else {
            buffer.resize(static_cast<size_t>(n));
            ok = n == 0 || parseJobInfo(buffer, jobId, index) == 1;
            others = parseOtherJobs(buffer);
        }
    } catch (const std::exception&) {
        LOGE("Read exception");
        ok = false;
    }
    if (!ok || !keepLock) unlock();
    return ok ? JobInfoRead::Read : JobInfoRead::Unreadable;
}

int FileLock::writeJobInfoTimeout(int jobId, int index, const std::vector<JobIndex>& others,
                                  int seconds) {
    if (lockTimeout(seconds, "wirte-timeout failed") != LockWait::Locked) return 0;
    try {
        if (::lseek(m_fd, 0, SEEK_SET) < 0) LOGE("lseek failed");
        const std::string text = FileText(jobId, index, others);
        if (::ftruncate(m_fd, 0) != 0) LOGE("ftruncate failed");
        if (!WriteAll(m_fd, text)) LOGE("write failed");
        if (::fsync(m_fd) != 0) LOGE("fsync failed");
        LOGD("Successfully wrote");
    } catch (const std::exception&) {
        LOGE("Write exception");
        unlock();
        return 0;
    }
    unlock();
    return 1;
}

namespace {

// The index recorded for `jobId`, or -1.
int RecordedIndex(int jobId, const JobIndex& latest, const std::vector<JobIndex>& others) {
    if (latest.jobId == jobId) return latest.index;
    for (const JobIndex& job : others) {
        if (job.jobId == jobId) return job.index;
    }
    return -1;
}

// The jobs to keep behind this one: the previous latest first, then the others, without
// this job, at most MAX_JOBS - 1 of them.
std::vector<JobIndex> OtherJobs(int jobId, const JobIndex& latest,
                                const std::vector<JobIndex>& others) {
    std::vector<JobIndex> kept;
    if (latest.jobId != jobId && latest.index >= 0) kept.push_back(latest);
    for (const JobIndex& job : others) {
        if (kept.size() + 1 >= FileLock::MAX_JOBS) break;
        const bool seen = std::any_of(kept.begin(), kept.end(),
                                      [&](const JobIndex& k) { return k.jobId == job.jobId; });
        if (job.jobId != jobId && !seen) kept.push_back(job);
    }
    return kept;
}

}  // namespace

TaskInfoStatus TaskInfo(int jobId, int& index, std::string& reason, CancelFlag canceled,
                        const std::string& path) {
    FileLock file(path);
    if (!file.problem().empty()) {
        reason = "The job information file " + path + " cannot be used: " + file.problem() + ".";
        return TaskInfoStatus::Failed;
    }
    JobIndex latest{-1, -1};
    std::vector<JobIndex> others;
    // The lock stays held from the read to the write, so that two filter processes of one
    // job can never both take the same index.
    switch (
        file.readJobInfoTimeout(latest.jobId, latest.index, others, kLockSeconds, true, canceled)) {
        case JobInfoRead::Read:
            break;
        case JobInfoRead::Canceled:
            return TaskInfoStatus::Canceled;
        case JobInfoRead::TimedOut:
            reason = "The job information file " + path + " stayed locked by another process.";
            return TaskInfoStatus::Failed;
        case JobInfoRead::Unreadable:
            reason = "The job information file " + path + " could not be read.";
            return TaskInfoStatus::Failed;
    }
    const int recorded = RecordedIndex(jobId, latest, others);
    if (recorded == INT_MAX) {
        LOGE("job_idx out of range");
        reason = "The label index of the job in " + path + " is out of range.";
        return TaskInfoStatus::Failed;
    }
    index = recorded >= 0 ? recorded + 1 : 0;
    file.writeJobInfoTimeout(jobId, index, OtherJobs(jobId, latest, others), kLockSeconds);
    return TaskInfoStatus::Ok;
}
