#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log/log4z.h"
#include "log/own_file.h"
#include "tests/support/planted.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class LogManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        manager = ILog4zManager::getInstance();
        manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, dir.path().c_str());
        manager->setLoggerName(LOG4Z_MAIN_LOGGER_ID, "job");
        // The manager outlives each test when they run in one process.
        manager->setLoggerLevel(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_DEBUG);
        manager->setLoggerMonthdir(LOG4Z_MAIN_LOGGER_ID, false);
    }
    void TearDown() override { manager->stop(); }
    std::string LogText() const { return ReadFile(dir.File("job.log")); }

    TempDir dir;
    ILog4zManager* manager = nullptr;
};

TEST_F(LogManagerTest, StartWritesBannerAndLoggerLine) {
    ASSERT_TRUE(manager->start());
    EXPECT_FALSE(manager->start()) << "a running manager cannot be started twice";
    std::vector<std::string> lines = Lines(LogText());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" LOG_ALARM -----------------  log4z thread started!   "
                            "----------------------------"),
              std::string::npos);
    EXPECT_NE(lines[1].find(" LOG_ALARM logger id=0 key=Main name=job path=" + dir.path() +
                            "/ level=1 display=true"),
              std::string::npos);
}

TEST_F(LogManagerTest, LineHasDateThreadLevelMessageAndSource) {
    ASSERT_TRUE(manager->start());
    LOGD("Init sMirror: %d", 1);
    LOGW("careful");
    std::vector<std::string> lines = Lines(LogText());
    ASSERT_EQ(lines.size(), 4u);
    const std::regex line(
        R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[\d{4,}\] LOG_DEBUG Init sMirror: 1 log_test\.cpp:\d+)");
    EXPECT_TRUE(std::regex_match(lines[2], line)) << lines[2];
    EXPECT_NE(lines[3].find(" LOG_WARN careful log_test.cpp:"), std::string::npos) << lines[3];

    const std::string tid =
        "[" + std::string(4 - std::min<size_t>(4, std::to_string(gettid()).size()), '0') +
        std::to_string(gettid()) + "]";
    EXPECT_NE(lines[2].find(tid), std::string::npos)
        << "the caller's kernel thread id, padded to 4 digits";

    // The date is the local time of the record.
    char today[16];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(today, sizeof(today), "%Y-%m-%d", &local);
    EXPECT_EQ(lines[2].substr(0, 10), today);
}

TEST_F(LogManagerTest, SourcePathIsCutToItsLastComponent) {
    ASSERT_TRUE(manager->start());
    for (const char* path : {"/usr/src/filter/page.cpp", "C:\\src\\filter\\page.cpp", "page.cpp"}) {
        LogData* data = manager->makeLogData(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_DEBUG);
        LogAppendf(data, "x");
        EXPECT_TRUE(manager->pushLog(data, path, 77));
    }
    std::vector<std::string> lines = Lines(LogText());
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(lines[i].substr(lines[i].size() - 13), "x page.cpp:77") << lines[i];
    }
}

TEST_F(LogManagerTest, LongMessageIsCutAndStillEndsTheLine) {
    ASSERT_TRUE(manager->start());
    const std::string huge(20000, 'q');
    LOGD("%s", huge.c_str());
    LOGD("after");
    const std::string text = LogText();
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].size() + 2, LOG4Z_LOG_BUF_SIZE - 1)
        << "line, CR LF and the zero fill the 8192 bytes";
    EXPECT_EQ(lines[2].back(), 'q');
    EXPECT_NE(lines[3].find("LOG_DEBUG after"), std::string::npos);
}

TEST_F(LogManagerTest, NothingIsWrittenAfterStop) {
    ASSERT_TRUE(manager->start());
    LOGD("before");
    ASSERT_TRUE(manager->stop());
    EXPECT_FALSE(manager->prePushLog(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_FATAL));
    LOGD("after");
    LogData* data = manager->makeLogData(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_FATAL);
    EXPECT_FALSE(manager->pushLog(data, "x.cpp", 1));
    const std::string text = LogText();
    EXPECT_NE(text.find("before"), std::string::npos);
    EXPECT_EQ(text.find("after"), std::string::npos);
}

TEST_F(LogManagerTest, LevelBelowTheLoggersIsDropped) {
    manager->setLoggerLevel(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_WARN);
    ASSERT_TRUE(manager->start());
    LOGD("debug line");
    LOGE("error line");
    EXPECT_FALSE(manager->prePushLog(LOG4Z_MAIN_LOGGER_ID, LOG_LEVEL_INFO));
    EXPECT_FALSE(manager->prePushLog(7, LOG_LEVEL_FATAL)) << "unknown logger id";
    const std::string text = LogText();
    EXPECT_EQ(text.find("debug line"), std::string::npos);
    EXPECT_NE(text.find("LOG_ERROR error line"), std::string::npos);
}

TEST_F(LogManagerTest, UnopenableFileSwitchesFileOutputOff) {
    // A path below a regular file can never be created, even by root.
    WriteFile(dir.File("plain"), "x");
    manager->setLoggerPath(LOG4Z_MAIN_LOGGER_ID, dir.File("plain/sub").c_str());
    const unsigned long long before = manager->getStatusTotalWriteCount();
    ASSERT_TRUE(manager->start());
    LOGD("lost");
    LOGD("lost again");
    EXPECT_EQ(manager->getStatusTotalWriteCount(), before);
    EXPECT_EQ(ReadFile(dir.File("plain")), "x");
}

TEST_F(LogManagerTest, PlantedSymbolicLinkIsNotFollowed) {
    const std::string target = dir.File("victim");
    WriteFile(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), dir.File("job.log").c_str()), 0);
    ASSERT_TRUE(manager->start());
    LOGD("must not land in the link's target");
    EXPECT_EQ(ReadFile(target), "keep");
}

TEST_F(LogManagerTest, MonthDirectoryHoldsTheFile) {
    manager->setLoggerMonthdir(LOG4Z_MAIN_LOGGER_ID, true);
    ASSERT_TRUE(manager->start());
    LOGD("in a month folder");
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char month[16];
    strftime(month, sizeof(month), "%Y_%m", &local);
    EXPECT_NE(ReadFile(dir.path() + "/" + month + "/job.log").find("in a month folder"),
              std::string::npos);
}

TEST_F(LogManagerTest, RestartAfterStopLogsAgain) {
    ASSERT_TRUE(manager->start());
    ASSERT_TRUE(manager->stop());
    ASSERT_TRUE(manager->start());
    LOGD("second run");
    EXPECT_NE(LogText().find("second run"), std::string::npos);
}

TEST(StartLog4zTest, EachJobStartsAFreshPrivateFileInTmp) {
    const std::string name = "mxtest-" + std::to_string(getpid());
    const std::string path = "/tmp/" + name + ".log";
    WriteFile(path, "an earlier job\r\n");
    chmod(path.c_str(), 0644);
    StartLog4z(name.c_str());
    LOGD("job_id = %d", 12);
    DecideLog4z(true);
    LOGD("after the decision");
    ILog4zManager::getInstance()->stop();
    const std::string text = ReadFile(path);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    unlink(path.c_str());
    EXPECT_EQ(text.find("an earlier job"), std::string::npos);
    EXPECT_LT(text.find("log4z thread started"), text.find("LOG_DEBUG job_id = 12"));
    EXPECT_LT(text.find("LOG_DEBUG job_id = 12"), text.find("after the decision"));
    EXPECT_NE(text.find("after the decision"), std::string::npos);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(OwnFileTest, OnlyAPlainFileOfThisUserIsOpened) {
    TempDir dir;
    const std::string victim = dir.File("victim");
    WriteFile(victim, "keep");
    for (const PlantedCase& c : PlantedCases()) {
        const std::string path = dir.File(c.name);
        Plant(c.kind, path, victim);
        const OwnFile file = OpenOwnFile(path.c_str(), O_WRONLY);
        EXPECT_EQ(file.fd, -1) << c.name;
        EXPECT_EQ(file.problem, c.problem) << c.name;
    }
    EXPECT_EQ(ReadFile(victim), "keep");

    const OwnFile created = OpenOwnFile(dir.File("new").c_str(), O_WRONLY);
    ASSERT_GE(created.fd, 0);
    EXPECT_TRUE(created.created);
    close(created.fd);
    WriteFile(dir.File("old"), "x");
    chmod(dir.File("old").c_str(), 0666);
    const OwnFile old = OpenOwnFile(dir.File("old").c_str(), O_WRONLY);
    ASSERT_GE(old.fd, 0);
    EXPECT_FALSE(old.created);
    close(old.fd);
    for (const char* name : {"new", "old"}) {
        struct stat st {};
        ASSERT_EQ(stat(dir.File(name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
    }
}

TEST_F(LogManagerTest, HeldRecordsAreBounded) {
    manager->holdLoggerOutput(LOG4Z_MAIN_LOGGER_ID);
    ASSERT_TRUE(manager->start());
    const std::string big(4000, 'b');
    for (int i = 0; i < 100; ++i) LOGD("%s", big.c_str());
    manager->releaseLoggerOutput(LOG4Z_MAIN_LOGGER_ID, true);
    const std::string text = LogText();
    EXPECT_LE(text.size(), LOG4Z_HELD_MAX_BYTES + 200);
    EXPECT_NE(text.find("records before the log decision were dropped"), std::string::npos);
}

TEST(StartLog4zTest, AJobStartingMeanwhileKeepsTheOtherJobsLog) {
    const std::string name = "mxtest-both-" + std::to_string(getpid());
    const std::string path = "/tmp/" + name + ".log";
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    char byte = 0;
    std::thread first([&] {
        RunInChild(
            [&] {
                StartLog4z(name.c_str());
                DecideLog4z(true);
                LOGD("first job, page 1");
                (void)!write(ready[1], "r", 1);
                (void)!read(go[0], &byte, 1);
                LOGD("first job, page 2");
            },
            20);
    });
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    RunInChild(
        [&] {
            StartLog4z(name.c_str());
            DecideLog4z(true);
            LOGD("second job");
        },
        20);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    first.join();
    const std::string text = ReadFile(path);
    unlink(path.c_str());
    for (const char* line : {"first job, page 1", "second job", "first job, page 2"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST(LoggerTableTest, CreateAndFindLoggers) {
    ILog4zManager* manager = ILog4zManager::getInstance();
    EXPECT_EQ(manager->findLogger("Main"), LOG4Z_MAIN_LOGGER_ID);
    LoggerId id = manager->createLogger("rfid");
    EXPECT_EQ(id, 1);
    EXPECT_EQ(manager->createLogger("rfid"), id) << "an existing key gives its logger";
    EXPECT_EQ(manager->findLogger("rfid"), id);
    EXPECT_EQ(manager->findLogger("none"), -1);
    for (int i = 2; i < LOG4Z_LOGGER_MAX; ++i)
        manager->createLogger(("k" + std::to_string(i)).c_str());
    EXPECT_EQ(manager->createLogger("one too many"), -1);
}

}  // namespace
