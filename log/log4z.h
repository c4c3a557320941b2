// Process-wide log manager: up to 20 loggers, each line appended synchronously to a file.
#pragma once

#include <cstddef>
#include <cstdint>

using LoggerId = int;

constexpr int LOG4Z_LOGGER_MAX = 20;
constexpr LoggerId LOG4Z_MAIN_LOGGER_ID = 0;
constexpr const char* LOG4Z_MAIN_LOGGER_KEY = "Main";
constexpr size_t LOG4Z_LOG_BUF_SIZE = 8192;
constexpr int LOG4Z_FREE_LIST_MAX = 200;
// Bytes of records a held logger keeps in memory; later ones are counted and dropped.
constexpr size_t LOG4Z_HELD_MAX_BYTES = 256 * 1024;

enum ENUM_LOG_LEVEL {
    LOG_LEVEL_TRACE = 0,
    LOG_LEVEL_DEBUG,
    LOG_LEVEL_INFO,
    LOG_LEVEL_WARN,
    LOG_LEVEL_ERROR,
    LOG_LEVEL_ALARM,
    LOG_LEVEL_FATAL,
};

// One log record: the line is built in `_content` and written by pushLog.
struct LogData {
    LoggerId _id;
    int _level;
    int64_t _time;          // seconds since the epoch
    unsigned int _precise;  // milliseconds
    unsigned int _threadID;
    int _contentLen;
    char _content[LOG4Z_LOG_BUF_SIZE];
};

class ILog4zManager {
  public:
    virtual ~ILog4zManager() = default;
    static ILog4zManager* getInstance();

    virtual LoggerId createLogger(const char* key) = 0;
    virtual bool start() = 0;
    virtual bool stop() = 0;
    virtual LoggerId findLogger(const char* key) = 0;
    virtual bool prePushLog(LoggerId id, int level) = 0;
    virtual bool pushLog(LogData* pLog, const char* file, int line) = 0;
    virtual bool enableLogger(LoggerId id, bool enable) = 0;
    virtual bool setLoggerName(LoggerId id, const char* name) = 0;
    virtual bool setLoggerPath(LoggerId id, const char* path) = 0;
    virtual bool setLoggerLevel(LoggerId id, int level) = 0;
    virtual bool setLoggerFileLine(LoggerId id, bool enable) = 0;
    virtual bool setLoggerDisplay(LoggerId id, bool enable) = 0;
    virtual bool setLoggerOutFile(LoggerId id, bool enable) = 0;
    virtual bool setLoggerLimitsize(LoggerId id, unsigned int limitsize) = 0;
    virtual bool setLoggerMonthdir(LoggerId id, bool enable) = 0;
    virtual bool setLoggerReserveTime(LoggerId id, int64_t seconds) = 0;
    virtual bool isLoggerEnable(LoggerId id) = 0;
    virtual unsigned long long getStatusTotalWriteCount() = 0;
    virtual unsigned long long getStatusTotalWriteBytes() = 0;
    virtual LogData* makeLogData(LoggerId id, int level) = 0;
    virtual void freeLogData(LogData* log) = 0;
    // Until releaseLoggerOutput, the logger keeps its records in memory and does not touch
    // its file. The file it opens on release starts empty unless another process is writing
    // to it at the time.
    virtual bool holdLoggerOutput(LoggerId id) = 0;
    // `keep`: the held records are written to the file and later ones follow directly;
    // otherwise they are dropped (and so are later ones, as the file output is switched off).
    virtual bool releaseLoggerOutput(LoggerId id, bool keep) = 0;
};

// Appends formatted text to a record, never past the end of its buffer.
void LogAppendf(LogData* data, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Configures the main logger for a filter ("/tmp/<name>.log") and starts it. The file is
// neither created nor opened yet: records are held in memory until DecideLog4z.
void StartLog4z(const char* name);
// The job's "DriverLog" decision. On: the held records go to the log file, which starts
// empty unless another job of the filter is writing to it, and logging goes on. Off: they
// are dropped and the manager stops; the file is never touched. A log file that is not a
// plain file of this user is never used: logging goes off with one "DEBUG: " line on
// standard error.
void DecideLog4z(bool logOn);

#define LOG4Z_STATEMENT(level, ...)                                                        \
    do {                                                                                   \
        ILog4zManager* log4zManager_ = ILog4zManager::getInstance();                       \
        if (log4zManager_->prePushLog(LOG4Z_MAIN_LOGGER_ID, level)) {                      \
            LogData* log4zData_ = log4zManager_->makeLogData(LOG4Z_MAIN_LOGGER_ID, level); \
            LogAppendf(log4zData_, __VA_ARGS__);                                           \
            log4zManager_->pushLog(log4zData_, __FILE__, __LINE__);                        \
        }                                                                                  \
    } while (0)

#define LOGD(...) LOG4Z_STATEMENT(LOG_LEVEL_DEBUG, __VA_ARGS__)
#define LOGI(...) LOG4Z_STATEMENT(LOG_LEVEL_INFO, __VA_ARGS__)
#define LOGW(...) LOG4Z_STATEMENT(LOG_LEVEL_WARN, __VA_ARGS__)
#define LOGE(...) LOG4Z_STATEMENT(LOG_LEVEL_ERROR, __VA_ARGS__)
