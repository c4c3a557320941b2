#include "log/log4z.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log/own_file.h"

namespace {

const char* const kLevelNames[] = {"LOG_TRACE", "LOG_DEBUG", "LOG_INFO", "LOG_WARN",
                                   "LOG_ERROR", "LOG_ALARM", "LOG_FATAL"};
constexpr int kLevelCount = sizeof(kLevelNames) / sizeof(kLevelNames[0]);
constexpr const char* kThreadStartedBanner =
    "-----------------  log4z thread started!   ----------------------------";

// "00".."99": numbers in the line prefix are written from this table, not by a formatted print.
struct TwoDigitTable {
    char pairs[200];
    constexpr TwoDigitTable() : pairs() {
        for (int i = 0; i < 100; ++i) {
            pairs[2 * i] = static_cast<char>('0' + i / 10);
            pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr TwoDigitTable kTwoDigits;

char* PutTwoDigits(char* out, int value) {
    std::memcpy(out, &kTwoDigits.pairs[2 * value], 2);
    return out + 2;
}

// Writes an unsigned number with at least `minDigits` digits.
char* PutNumber(char* out, unsigned long long value, int minDigits) {
    char digits[24];
    int n = 0;
    while (value > 0 || n < minDigits) {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    while (n > 0) *out++ = digits[--n];
    return out;
}

// Local calendar time of a second; localtime_r runs once per day and thread.
struct tm LocalTimeCached(time_t seconds) {
    thread_local time_t dayStart = -1;
    thread_local struct tm dayTm {};
    if (dayStart < 0 || seconds < dayStart || seconds >= dayStart + 86400) {
        localtime_r(&seconds, &dayTm);
        dayStart = seconds - (dayTm.tm_hour * 3600 + dayTm.tm_min * 60 + dayTm.tm_sec);
    }
    struct tm result = dayTm;
    long inDay = static_cast<long>(seconds - dayStart);
    result.tm_hour = static_cast<int>(inDay / 3600);
    result.tm_min = static_cast<int>(inDay / 60 % 60);
    result.tm_sec = static_cast<int>(inDay % 60);
    return result;
}

int64_t DayNumber(time_t seconds) {
    struct tm t = LocalTimeCached(seconds);
    return static_cast<int64_t>(t.tm_year) * 1000 + t.tm_yday;
}

struct LoggerInfo {
    std::string key;
    std::string name;
    std::string path = "./log/";
    int level = LOG_LEVEL_DEBUG;
    bool display = true;
    bool outfile = true;
    bool monthdir = false;
    unsigned int limitsize = 100;  // megabytes
    bool enable = false;
    bool fileLine = true;
    int64_t reserve = 0;  // seconds; 0 keeps old files

    // Run-time state.
    time_t fileCreateTime = 0;
    int64_t fileCreateDay = -1;
    unsigned long long curWriteLen = 0;
    int fd = -1;
    std::string openPath;                                 // the name `fd` was opened under
    std::vector<std::pair<std::string, time_t>> history;  // files opened earlier
    // Records held until the job's log decision, and how many did not fit.
    bool hold = false;
    bool freshFile = false;  // the next open empties the file when no one else writes to it
    std::vector<std::string> held;
    size_t heldBytes = 0;
    unsigned heldDropped = 0;
};

class LogerManager final : public ILog4zManager {
  public:
    LogerManager();
    ~LogerManager() override;

    LoggerId createLogger(const char* key) override;
    bool start() override;
    bool stop() override;
    LoggerId findLogger(const char* key) override;
    bool prePushLog(LoggerId id, int level) override;
    bool pushLog(LogData* pLog, const char* file, int line) override;
    bool enableLogger(LoggerId id, bool enable) override;
    bool setLoggerName(LoggerId id, const char* name) override;
    bool setLoggerPath(LoggerId id, const char* path) override;
    bool setLoggerLevel(LoggerId id, int level) override;
    bool setLoggerFileLine(LoggerId id, bool enable) override;
    bool setLoggerDisplay(LoggerId id, bool enable) override;
    bool setLoggerOutFile(LoggerId id, bool enable) override;
    bool setLoggerLimitsize(LoggerId id, unsigned int limitsize) override;
    bool setLoggerMonthdir(LoggerId id, bool enable) override;
    bool setLoggerReserveTime(LoggerId id, int64_t seconds) override;
    bool isLoggerEnable(LoggerId id) override;
    unsigned long long getStatusTotalWriteCount() override { return _totalWriteCount; }
    unsigned long long getStatusTotalWriteBytes() override { return _totalWriteBytes; }
    LogData* makeLogData(LoggerId id, int level) override;
    void freeLogData(LogData* log) override;
    bool holdLoggerOutput(LoggerId id) override;
    bool releaseLoggerOutput(LoggerId id, bool keep) override;

  private:
    bool validId(LoggerId id) const { return id >= 0 && id <= _lastId; }
    template <typename Fn>
    bool updateLogger(LoggerId id, Fn fn);
    bool openLogger(LoggerInfo& logger, time_t now);
    void closeLogger(LoggerInfo& logger);
    void removeExpiredFiles(LoggerInfo& logger, time_t now);
    void writeLine(LoggerInfo& logger, const LogData& data);
    void writeText(LoggerInfo& logger, const char* text, size_t len, time_t now);
    void keepHeld(LoggerInfo& logger, const LogData& data);
    void run();

    LoggerInfo _loggers[LOG4Z_LOGGER_MAX];
    LoggerId _lastId = LOG4Z_MAIN_LOGGER_ID;
    std::mutex _logLock;  // logger table and files
    std::mutex _freeLock;
    std::vector<LogData*> _freeLogDatas;
    std::thread _thread;
    std::binary_semaphore _started{0};
    std::mutex _runLock;
    std::condition_variable _wake;
    std::atomic<bool> _runing{false};
    unsigned long long _totalWriteCount = 0;
    unsigned long long _totalWriteBytes = 0;
};

LogerManager::LogerManager() {
    _loggers[LOG4Z_MAIN_LOGGER_ID].key = LOG4Z_MAIN_LOGGER_KEY;
    _loggers[LOG4Z_MAIN_LOGGER_ID].name = LOG4Z_MAIN_LOGGER_KEY;
    _loggers[LOG4Z_MAIN_LOGGER_ID].enable = true;
}

LogerManager::~LogerManager() {
    stop();
    for (LoggerInfo& logger : _loggers) closeLogger(logger);
    for (LogData* data : _freeLogDatas) delete data;
}

LoggerId LogerManager::createLogger(const char* key) {
    if (key == nullptr) return -1;
    std::lock_guard<std::mutex> guard(_logLock);
    for (LoggerId i = 0; i <= _lastId; ++i) {
        if (_loggers[i].key == key) return i;
    }
    if (_lastId + 1 >= LOG4Z_LOGGER_MAX) return -1;
    ++_lastId;
    _loggers[_lastId].key = key;
    _loggers[_lastId].name = key;
    _loggers[_lastId].enable = true;
    return _lastId;
}

LoggerId LogerManager::findLogger(const char* key) {
    if (key == nullptr) return -1;
    std::lock_guard<std::mutex> guard(_logLock);
    for (LoggerId i = 0; i <= _lastId; ++i) {
        if (_loggers[i].key == key) return i;
    }
    return -1;
}

template <typename Fn>
bool LogerManager::updateLogger(LoggerId id, Fn fn) {
    std::lock_guard<std::mutex> guard(_logLock);
    if (!validId(id)) return false;
    fn(_loggers[id]);
    return true;
}

bool LogerManager::enableLogger(LoggerId id, bool enable) {
    return updateLogger(id, [&](LoggerInfo& l) { l.enable = enable; });
}

bool LogerManager::setLoggerName(LoggerId id, const char* name) {
    if (name == nullptr || *name == '\0') return false;
    // A file that could not be opened says nothing about another one.
    return updateLogger(id, [&](LoggerInfo& l) {
        if (l.name != name) closeLogger(l);
        l.name = name;
        l.outfile = true;
    });
}

bool LogerManager::setLoggerPath(LoggerId id, const char* path) {
    if (path == nullptr || *path == '\0') return false;
    std::string p = path;
    if (p.back() != '/' && p.back() != '\\') p += '/';
    return updateLogger(id, [&](LoggerInfo& l) {
        if (l.path != p) closeLogger(l);
        l.path = p;
        l.outfile = true;
    });
}

bool LogerManager::setLoggerLevel(LoggerId id, int level) {
    return updateLogger(id, [&](LoggerInfo& l) { l.level = level; });
}

bool LogerManager::setLoggerFileLine(LoggerId id, bool enable) {
    return updateLogger(id, [&](LoggerInfo& l) { l.fileLine = enable; });
}

bool LogerManager::setLoggerDisplay(LoggerId id, bool enable) {
    return updateLogger(id, [&](LoggerInfo& l) { l.display = enable; });
}

bool LogerManager::setLoggerOutFile(LoggerId id, bool enable) {
    return updateLogger(id, [&](LoggerInfo& l) { l.outfile = enable; });
}

bool LogerManager::setLoggerLimitsize(LoggerId id, unsigned int limitsize) {
    return updateLogger(id, [&](LoggerInfo& l) { l.limitsize = limitsize == 0 ? 1 : limitsize; });
}

bool LogerManager::setLoggerMonthdir(LoggerId id, bool enable) {
    return updateLogger(id, [&](LoggerInfo& l) { l.monthdir = enable; });
}

bool LogerManager::setLoggerReserveTime(LoggerId id, int64_t seconds) {
    return updateLogger(id, [&](LoggerInfo& l) { l.reserve = seconds < 0 ? 0 : seconds; });
}

bool LogerManager::isLoggerEnable(LoggerId id) {
    std::lock_guard<std::mutex> guard(_logLock);
    return validId(id) && _loggers[id].enable;
}

bool LogerManager::start() {
    if (_runing || _thread.joinable()) return false;
    try {
        _thread = std::thread(&LogerManager::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return _started.try_acquire_for(std::chrono::milliseconds(3000));
}

bool LogerManager::stop() {
    if (!_thread.joinable()) return false;
    {
        std::lock_guard<std::mutex> guard(_runLock);
        _runing = false;
    }
    _wake.notify_all();
    _thread.join();
    std::lock_guard<std::mutex> guard(_logLock);
    for (LoggerInfo& logger : _loggers) {
        logger.hold = false;
        logger.held.clear();
        logger.heldBytes = 0;
    }
    return true;
}

bool LogerManager::prePushLog(LoggerId id, int level) {
    if (!_runing || !validId(id)) return false;
    const LoggerInfo& logger = _loggers[id];
    return logger.enable && level >= logger.level;
}

LogData* LogerManager::makeLogData(LoggerId id, int level) {
    LogData* data = nullptr;
    {
        std::lock_guard<std::mutex> guard(_freeLock);
        if (!_freeLogDatas.empty()) {
            data = _freeLogDatas.back();
            _freeLogDatas.pop_back();
        }
    }
    if (data == nullptr) data = new LogData;
    data->_id = id;
    data->_level = level;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    data->_time = now.tv_sec;
    data->_precise = static_cast<unsigned int>(now.tv_nsec / 1000000);
    data->_threadID = static_cast<unsigned int>(syscall(SYS_gettid));

    // "YYYY-MM-DD HH:MM:SS.mmm [tid] LOG_LEVEL "
    struct tm t = LocalTimeCached(static_cast<time_t>(data->_time));
    char* p = data->_content;
    p = PutNumber(p, static_cast<unsigned long long>(t.tm_year + 1900), 4);
    *p++ = '-';
    p = PutTwoDigits(p, t.tm_mon + 1);
    *p++ = '-';
    p = PutTwoDigits(p, t.tm_mday);
    *p++ = ' ';
    p = PutTwoDigits(p, t.tm_hour);
    *p++ = ':';
    p = PutTwoDigits(p, t.tm_min);
    *p++ = ':';
    p = PutTwoDigits(p, t.tm_sec);
    *p++ = '.';
    p = PutNumber(p, data->_precise, 3);
    *p++ = ' ';
    *p++ = '[';
    p = PutNumber(p, data->_threadID, 4);
    *p++ = ']';
    *p++ = ' ';
    const char* levelName = level >= 0 && level < kLevelCount ? kLevelNames[level] : "LOG_UNKNOWN";
    size_t nameLen = std::strlen(levelName);
    std::memcpy(p, levelName, nameLen);
    p += nameLen;
    *p++ = ' ';
    *p = '\0';
    data->_contentLen = static_cast<int>(p - data->_content);
    return data;
}

void LogerManager::freeLogData(LogData* log) {
    if (log == nullptr) return;
    std::lock_guard<std::mutex> guard(_freeLock);
    if (_freeLogDatas.size() < LOG4Z_FREE_LIST_MAX) {
        _freeLogDatas.push_back(log);
    } else {
        delete log;
    }
}

// Appends the source suffix and CR LF, keeping the whole line and its terminator in the buffer.
void FinishLine(LogData* data, const char* file, int line, bool fileLine) {
    constexpr int kLineEndRoom = 3;  // CR, LF, terminating zero
    const int limit = static_cast<int>(LOG4Z_LOG_BUF_SIZE) - kLineEndRoom;
    int len = std::min(data->_contentLen, limit);
    if (fileLine && file != nullptr) {
        const char* base = file;
        for (const char* c = file; *c != '\0'; ++c) {
            if (*c == '/' || *c == '\\') base = c + 1;
        }
        int n = std::snprintf(data->_content + len, static_cast<size_t>(limit - len + 1), " %s:%d",
                              base, line);
        if (n > 0) len = std::min(len + n, limit);
    }
    data->_content[len++] = '\r';
    data->_content[len++] = '\n';
    data->_content[len] = '\0';
    data->_contentLen = len;
}

bool LogerManager::pushLog(LogData* pLog, const char* file, int line) {
    if (pLog == nullptr) return false;
    if (!prePushLog(pLog->_id, pLog->_level)) {
        freeLogData(pLog);
        return false;
    }
    LoggerInfo& logger = _loggers[pLog->_id];
    FinishLine(pLog, file, line, logger.fileLine);
    if (logger.outfile) {
        std::lock_guard<std::mutex> guard(_logLock);
        if (logger.hold) {
            keepHeld(logger, *pLog);
        } else {
            writeLine(logger, *pLog);
        }
    }
    freeLogData(pLog);
    return true;
}

// Caller holds _logLock.
void LogerManager::keepHeld(LoggerInfo& logger, const LogData& data) {
    const size_t len = static_cast<size_t>(data._contentLen);
    if (logger.heldBytes + len > LOG4Z_HELD_MAX_BYTES) {
        ++logger.heldDropped;
        return;
    }
    logger.held.emplace_back(data._content, len);
    logger.heldBytes += len;
}

// Caller holds _logLock.
void LogerManager::writeLine(LoggerInfo& logger, const LogData& data) {
    writeText(logger, data._content, static_cast<size_t>(data._contentLen),
              static_cast<time_t>(data._time));
}

// Caller holds _logLock.
void LogerManager::writeText(LoggerInfo& logger, const char* text, size_t len, time_t now) {
    if (!logger.outfile || !openLogger(logger, now)) return;
    ssize_t written = ::write(logger.fd, text, len);
    if (written > 0) logger.curWriteLen += static_cast<unsigned long long>(written);
    // Every line reaches the disk before the call returns: a crashing filter keeps its log.
    ::fsync(logger.fd);
    ::posix_fadvise(logger.fd, 0, 0, POSIX_FADV_DONTNEED);
    if (written != static_cast<ssize_t>(len)) closeLogger(logger);
    ++_totalWriteCount;
    _totalWriteBytes += len;
}

bool LogerManager::holdLoggerOutput(LoggerId id) {
    return updateLogger(id, [](LoggerInfo& l) {
        l.hold = true;
        l.freshFile = true;
        l.outfile = true;
    });
}

bool LogerManager::releaseLoggerOutput(LoggerId id, bool keep) {
    std::lock_guard<std::mutex> guard(_logLock);
    if (!validId(id)) return false;
    LoggerInfo& logger = _loggers[id];
    logger.hold = false;
    std::vector<std::string> held;
    held.swap(logger.held);
    logger.heldBytes = 0;
    const unsigned dropped = std::exchange(logger.heldDropped, 0u);
    if (!keep) {
        logger.outfile = false;
        return true;
    }
    const time_t now = ::time(nullptr);
    for (const std::string& line : held) writeText(logger, line.data(), line.size(), now);
    if (dropped > 0) {
        char note[128];
        const int n =
            std::snprintf(note, sizeof(note),
                          "log4z: %u records before the log decision were dropped\r\n", dropped);
        writeText(logger, note, static_cast<size_t>(n), now);
    }
    return true;
}

void LogerManager::closeLogger(LoggerInfo& logger) {
    if (logger.fd >= 0) ::close(logger.fd);
    logger.fd = -1;
}

// Caller holds _logLock. Opens the logger's file for appending, only when it is a plain file
// of this user (see OpenOwnFile). The file stays open while its name still leads to it; a log
// removed meanwhile starts anew.
bool LogerManager::openLogger(LoggerInfo& logger, time_t now) {
    const unsigned long long limitBytes = static_cast<unsigned long long>(logger.limitsize) << 20;
    if (logger.fd >= 0 && logger.fileCreateDay == DayNumber(now) &&
        logger.curWriteLen <= limitBytes && StillNamed(logger.fd, logger.openPath)) {
        return true;
    }
    closeLogger(logger);
    logger.fileCreateTime = now;
    logger.fileCreateDay = DayNumber(now);

    std::string dir = logger.path;
    std::replace(dir.begin(), dir.end(), '\\', '/');
    if (dir.empty() || dir.back() != '/') dir += '/';
    if (logger.monthdir) {
        struct tm t = LocalTimeCached(now);
        char month[32];
        std::snprintf(month, sizeof(month), "%04d_%02d/", t.tm_year + 1900, t.tm_mon + 1);
        dir += month;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) ::mkdir(dir.c_str(), 0700);

    std::string path = dir + logger.name + ".log";
    OwnFile file = OpenOwnFile(path.c_str(), O_RDWR | O_APPEND);
    if (file.fd < 0) {
        // CUPS shows debug lines in its own log: the one place left to say why.
        std::fprintf(stderr, "DEBUG: The job log %s is not written: %s.\n", path.c_str(),
                     file.problem.c_str());
        logger.outfile = false;
        return false;
    }
    logger.fd = file.fd;
    logger.openPath = path;
    // Other jobs of the filter may be writing to the same log: only a log no one else holds
    // starts empty.
    ClaimSharedFile(logger.fd, logger.freshFile && !file.created);
    logger.freshFile = false;
    if (logger.history.empty() || logger.history.back().first != path) {
        logger.history.emplace_back(path, now);
    }
    if (logger.reserve > 0) removeExpiredFiles(logger, now);
    struct stat opened {};
    logger.curWriteLen =
        ::fstat(logger.fd, &opened) == 0 ? static_cast<unsigned long long>(opened.st_size) : 0;
    return true;
}

void LogerManager::removeExpiredFiles(LoggerInfo& logger, time_t now) {
    auto expired = [&](const std::pair<std::string, time_t>& entry) {
        return now - entry.second > logger.reserve;
    };
    for (const auto& entry : logger.history) {
        if (expired(entry)) ::unlink(entry.first.c_str());
    }
    std::erase_if(logger.history, expired);
}

void LogerManager::run() {
    {
        std::lock_guard<std::mutex> guard(_runLock);
        _runing = true;
    }
    auto bannerLine = [this](LoggerId id, const char* text) {
        if (!prePushLog(id, LOG_LEVEL_ALARM)) return;
        LogData* data = makeLogData(id, LOG_LEVEL_ALARM);
        LogAppendf(data, "%s", text);
        pushLog(data, __FILE__, __LINE__);
    };
    bannerLine(LOG4Z_MAIN_LOGGER_ID, kThreadStartedBanner);
    for (LoggerId i = 0; i <= _lastId; ++i) {
        if (!_loggers[i].enable) continue;
        char text[1024];
        {
            std::lock_guard<std::mutex> guard(_logLock);
            const LoggerInfo& l = _loggers[i];
            std::snprintf(text, sizeof(text),
                          "logger id=%d key=%s name=%s path=%s level=%d display=%s", i,
                          l.key.c_str(), l.name.c_str(), l.path.c_str(), l.level,
                          l.display ? "true" : "false");
        }
        bannerLine(i, text);
    }
    _started.release();

    // Every record is written by its caller; the thread only idles until it is stopped.
    std::unique_lock<std::mutex> lock(_runLock);
    while (_runing) _wake.wait_for(lock, std::chrono::milliseconds(50));
}

}  // namespace

ILog4zManager* ILog4zManager::getInstance() {
    static LogerManager manager;
    return &manager;
}

void LogAppendf(LogData* data, const char* format, ...) {
    if (data == nullptr) return;
    int room = static_cast<int>(LOG4Z_LOG_BUF_SIZE) - data->_contentLen;
    if (room <= 1) return;
    va_list args;
    va_start(args, format);
    int n =
        std::vsnprintf(data->_content + data->_contentLen, static_cast<size_t>(room), format, args);
    va_end(args);
    if (n > 0) data->_contentLen += std::min(n, room - 1);
}

void StartLog4z(const char* name) {
    ILog4zManager* manager = ILog4zManager::getInstance();
    manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, "/tmp");
    manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, name);
    manager->holdLoggerOutput(LOG4Z_MAIN_LOGGER_ID);
    manager->start();
}

void DecideLog4z(bool logOn) {
    ILog4zManager* manager = ILog4zManager::getInstance();
    manager->releaseLoggerOutput(LOG4Z_MAIN_LOGGER_ID, logOn);
    if (!logOn) manager->stop();
}
