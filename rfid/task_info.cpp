#include "rfid/task_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <exception>
#include <thread>
#include <utility>

#include "log/log4z.h"

namespace {

constexpr int kLockSeconds = 5;
constexpr size_t kMaxRead = 255;

std::string Trim(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

// The whole text after the prefix must be a decimal int.
bool ToInt(const std::string& text, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed, 10);
    if (ec != std::errc() || ptr != end || text.empty()) return false;
    value = parsed;
    return true;
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

}  // namespace

FileLock::FileLock(std::string path) : m_strPath(std::move(path)) {
    // Anyone may plant a file in /tmp: never follow a link there, and never read anything
    // but a plain file (a FIFO would block the job).
    m_fd = ::open(m_strPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat info {};
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0) LOGE("FileLock CreateFile Fail");
}

FileLock::~FileLock() {
    if (m_bLocked) unlock();
    if (m_fd != -1) ::close(m_fd);
}

bool FileLock::lockTimeout(int seconds, const char* timeoutLog) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() - start < limit) {
        flock lock = WholeFile(F_WRLCK);
        if (::fcntl(m_fd, F_SETLK, &lock) == 0) {
            m_bLocked = true;
            return true;
        }
        if (errno != EAGAIN && errno != EACCES) LOGE("tryLock failed");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    LOGE("%s", timeoutLog);
    return false;
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
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        if (line.compare(0, kJobId.size(), kJobId) == 0) {
            seenId = true;
            if (!ToInt(line.substr(kJobId.size()), jobId)) LOGE("job_id parse error");
        } else if (line.compare(0, kJobIdx.size(), kJobIdx) == 0) {
            seenIdx = true;
            if (!ToInt(line.substr(kJobIdx.size()), index)) LOGE("job_idx parse error");
        }
    }
    return seenId && seenIdx ? 1 : 0;
}

bool FileLock::readJobInfoTimeout(int& jobId, int& index, int seconds, bool keepLock) {
    if (!lockTimeout(seconds, "read-timeout failed")) return false;
    bool ok = false;
    try {
        if (::lseek(m_fd, 0, SEEK_SET) < 0) LOGE("lseek failed");
        char buffer[kMaxRead];
        ssize_t n;
        do {
            n = ::read(m_fd, buffer, sizeof(buffer));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            // Nothing was read: the buffer holds no job information at all.
            LOGE("read failed");
        } else {
            ok = n == 0 ||
                 parseJobInfo(std::string(buffer, static_cast<size_t>(n)), jobId, index) == 1;
        }
    } catch (const std::exception&) {
        LOGE("Read exception");
        ok = false;
    }
    if (!ok || !keepLock) unlock();
    return ok;
}

int FileLock::writeJobInfoTimeout(int jobId, int index, int seconds) {
    if (!lockTimeout(seconds, "wirte-timeout failed")) return 0;
    try {
        if (::lseek(m_fd, 0, SEEK_SET) < 0) LOGE("lseek failed");
        const std::string text = "JOB_ID = " + std::to_string(jobId) + "\n" +
                                 "JOB_IDX = " + std::to_string(index) + "\n";
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

int TaskInfo(int jobId, int& index, const std::string& path) {
    FileLock file(path);
    int recordedJob = -1;
    int recordedIndex = -1;
    // The lock stays held from the read to the write, so that two filter processes of one
    // job can never both take the same index.
    if (!file.readJobInfoTimeout(recordedJob, recordedIndex, kLockSeconds, true)) return 0;
    if (recordedJob == jobId && recordedIndex == INT_MAX) {
        LOGE("job_idx out of range");
        return 0;
    }
    index = recordedJob == jobId && recordedIndex >= 0 ? recordedIndex + 1 : 0;
    file.writeJobInfoTimeout(jobId, index, kLockSeconds);
    return 1;
}

int TaskInfo(int jobId, int& index) {
    return TaskInfo(jobId, index, std::string(FileLock::FILE_DIR) + FileLock::FILE_NAME);
}
