// The job information file on private paths: parsing, numbering, locking, hostile files.
#include "rfid/task_info.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/rfid/rfid_test_support.h"

namespace {

TaskInfoStatus Take(int jobId, int& index, const std::string& path) {
    std::string reason;
    return TaskInfo(jobId, index, reason, nullptr, path);
}

TEST(ParseJobInfoTest, ReadsBothLinesInAnyOrderWithBlanks) {
    int id = -1, index = -1;
    EXPECT_EQ(FileLock::parseJobInfo("JOB_ID = 17\nJOB_IDX = 4\n", id, index), 1);
    EXPECT_EQ(id, 17);
    EXPECT_EQ(index, 4);
    id = index = -1;
    EXPECT_EQ(FileLock::parseJobInfo("\n \t JOB_IDX = 9 \t\n\n\tJOB_ID = 23   \n", id, index), 1);
    EXPECT_EQ(id, 23);
    EXPECT_EQ(index, 9);
    id = index = -1;
    EXPECT_EQ(FileLock::parseJobInfo("JOB_ID = 5", id, index), 0)
        << "a file with only a JOB_ID line";
    EXPECT_EQ(FileLock::parseJobInfo("JOB_IDX = 5\n", id, index), 0);
    EXPECT_EQ(FileLock::parseJobInfo("", id, index), 0);
    EXPECT_EQ(FileLock::parseJobInfo("JOB_ID=5\nJOB_IDX=6\n", id, index), 0)
        << "the prefix has its blanks";
}

TEST(ParseJobInfoTest, NumbersThatDoNotConvertKeepTheCallersValues) {
    LogCapture log;
    int id = -1, index = -1;
    EXPECT_EQ(FileLock::parseJobInfo("JOB_ID = twelve\nJOB_IDX = 3x\n", id, index), 1);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(FileLock::parseJobInfo("JOB_ID = 99999999999999\nJOB_IDX = -\n", id, index), 1);
    EXPECT_EQ(id, -1) << "out of range";
    EXPECT_TRUE(Has(log.Text(), "job_id parse error") && Has(log.Text(), "job_idx parse error"));
}

class TaskInfoFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.File("TASK_INFO.lock");
};

TEST_F(TaskInfoFileTest, NewFileStartsAtZeroAndRecordsTheJob) {
    int index = -1;
    ASSERT_EQ(Take(42, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ReadFile(path), "JOB_ID = 42\nJOB_IDX = 0\n");
    ASSERT_EQ(Take(42, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(ReadFile(path), "JOB_ID = 42\nJOB_IDX = 1\n");
}

TEST_F(TaskInfoFileTest, EachRecentJobGoesOnAndANewJobStartsAtZero) {
    WriteFile(path, "JOB_ID = 17\nJOB_IDX = 4\n");
    struct Step {
        int job;
        int index;
        std::string file;
    };
    // Jobs printing at the same time take turns without restarting each other's labels.
    const std::vector<Step> steps = {
        {17, 5, "JOB_ID = 17\nJOB_IDX = 5\n"},
        {18, 0, "JOB_ID = 18\nJOB_IDX = 0\nJOB 17 5\n"},
        {17, 6, "JOB_ID = 17\nJOB_IDX = 6\nJOB 18 0\n"},
        {19, 0, "JOB_ID = 19\nJOB_IDX = 0\nJOB 17 6\nJOB 18 0\n"},
        {18, 1, "JOB_ID = 18\nJOB_IDX = 1\nJOB 19 0\nJOB 17 6\n"},
    };
    for (const Step& step : steps) {
        int index = -1;
        ASSERT_EQ(Take(step.job, index, path), TaskInfoStatus::Ok);
        EXPECT_EQ(index, step.index) << step.job;
        EXPECT_EQ(ReadFile(path), step.file);
    }
}

TEST_F(TaskInfoFileTest, OnlyTheLatestJobsAreKept) {
    int index = -1;
    for (int job = 1; job <= static_cast<int>(FileLock::MAX_JOBS) + 1; ++job)
        ASSERT_EQ(Take(job, index, path), TaskInfoStatus::Ok);
    const std::string text = ReadFile(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), int(FileLock::MAX_JOBS) + 1);
    ASSERT_EQ(Take(2, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 1) << "job 2 is still recorded";
    ASSERT_EQ(Take(1, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 0) << "job 1 was the oldest and has gone";
}

TEST_F(TaskInfoFileTest, IndexFirstAndBlankPaddedFilesAreRead) {
    for (const std::string text :
         {"JOB_IDX = 4\nJOB_ID = 17\n", "  JOB_ID = 17\t\n\n\t JOB_IDX = 4  \n",
          "\n\nJOB_IDX = 4\n   \n JOB_ID = 17"}) {
        WriteFile(path, text);
        int index = -1;
        ASSERT_EQ(Take(17, index, path), TaskInfoStatus::Ok) << text;
        EXPECT_EQ(index, 5) << text;
    }
}

TEST_F(TaskInfoFileTest, FileWithOnlyAJobIdLineFailsAndStaysAsItIs) {
    WriteFile(path, "JOB_ID = 17\n");
    int index = -7;
    EXPECT_EQ(Take(17, index, path), TaskInfoStatus::Failed);
    EXPECT_EQ(index, -7);
    EXPECT_EQ(ReadFile(path), "JOB_ID = 17\n");
}

TEST_F(TaskInfoFileTest, UnreadableNumbersCountAsNoJobRecorded) {
    WriteFile(path, "JOB_ID = 17\nJOB_IDX = four\n");
    int index = -1;
    ASSERT_EQ(Take(17, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 0);
    WriteFile(path, "JOB_ID = seventeen\nJOB_IDX = 4\n");
    ASSERT_EQ(Take(17, index, path), TaskInfoStatus::Ok);
    EXPECT_EQ(index, 0);
    WriteFile(path, "JOB_ID = 17\nJOB_IDX = 2147483647\n");
    EXPECT_EQ(Take(17, index, path), TaskInfoStatus::Failed) << "the next index would not fit";
}

TEST_F(TaskInfoFileTest, OnlyTheFirst4096BytesAreRead) {
    // The index line lies beyond the bytes read.
    WriteFile(path, "JOB_ID = 17\n" + std::string(4090, ' ') + "\nJOB_IDX = 4\n");
    int index = -1;
    EXPECT_EQ(Take(17, index, path), TaskInfoStatus::Failed);
}

TEST_F(TaskInfoFileTest, AFailedReadUsesNoBytesAtAll) {
    // /proc/self/mem opens read-write, locks, and fails every read at offset 0.
    LogCapture log;
    FileLock file("/proc/self/mem");
    int id = -1, index = -1;
    std::vector<JobIndex> others;
    EXPECT_EQ(file.readJobInfoTimeout(id, index, others, 5, false), JobInfoRead::Unreadable);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(Has(log.Text(), "read failed")) << log.Text();
}

TEST_F(TaskInfoFileTest, LinksAndNonFilesAreNeverOpened) {
    LogCapture log;
    const std::string target = dir.File("elsewhere");
    WriteFile(target, "JOB_ID = 17\nJOB_IDX = 4\n");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    FileLock link(path);
    int id = -1, index = -1;
    std::vector<JobIndex> others;
    EXPECT_EQ(link.readJobInfoTimeout(id, index, others, 1, false), JobInfoRead::TimedOut);
    EXPECT_EQ(link.writeJobInfoTimeout(3, 3, {}, 1), 0);
    EXPECT_EQ(ReadFile(target), "JOB_ID = 17\nJOB_IDX = 4\n");
    const std::string text = log.Text();
    EXPECT_TRUE(Has(text, "FileLock CreateFile Fail") && Has(text, "tryLock failed") &&
                Has(text, "read-timeout failed") && Has(text, "wirte-timeout failed"))
        << text;

    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FileLock pipe(fifo);
    EXPECT_EQ(pipe.readJobInfoTimeout(id, index, others, 1, false), JobInfoRead::TimedOut)
        << "a FIFO would block the job";
}

TEST_F(TaskInfoFileTest, ALockHeldElsewhereTimesOutAfterAboutFiveSeconds) {
    LogCapture log;
    WriteFile(path, "JOB_ID = 17\nJOB_IDX = 4\n");
    LockHolder holder(path);
    ASSERT_TRUE(holder.locked());
    int index = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Take(17, index, path), TaskInfoStatus::Failed);
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 4.0);
    EXPECT_LT(seconds, 15.0);
    EXPECT_EQ(ReadFile(path), "JOB_ID = 17\nJOB_IDX = 4\n");
    EXPECT_TRUE(Has(log.Text(), "read-timeout failed"));
    EXPECT_FALSE(Has(log.Text(), "tryLock failed")) << "a busy lock is not an error";
}

TEST_F(TaskInfoFileTest, ACancelEndsTheWaitForTheLock) {
    WriteFile(path, "JOB_ID = 17\nJOB_IDX = 4\n");
    LockHolder holder(path);
    ASSERT_TRUE(holder.locked());
    volatile sig_atomic_t canceled = 0;
    std::thread cancel([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        canceled = 1;
    });
    int index = -1;
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TaskInfo(17, index, reason, &canceled, path), TaskInfoStatus::Canceled);
    cancel.join();
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_EQ(ReadFile(path), "JOB_ID = 17\nJOB_IDX = 4\n");
}

// Whether another process could take the whole-file lock right now.
bool ChildCanLock(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDWR);
        flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        _exit(fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(TaskInfoFileTest, TheLockIsHeldOnlyWhileTheFileIsUsed) {
    int index = -1;
    ASSERT_EQ(Take(3, index, path), TaskInfoStatus::Ok);
    EXPECT_TRUE(ChildCanLock(path)) << "released after TaskInfo";
    FileLock file(path);
    ASSERT_EQ(file.lockTimeout(1, "read-timeout failed"), LockWait::Locked);
    EXPECT_FALSE(ChildCanLock(path)) << "held";
    file.unlock();
    EXPECT_TRUE(ChildCanLock(path));
    int id = -1;
    std::vector<JobIndex> others;
    ASSERT_EQ(file.readJobInfoTimeout(id, index, others, 1, true), JobInfoRead::Read);
    EXPECT_FALSE(ChildCanLock(path)) << "kept for the write that follows";
    EXPECT_EQ(file.writeJobInfoTimeout(id, index + 1, {}, 1), 1);
    EXPECT_TRUE(ChildCanLock(path));
    EXPECT_EQ(ReadFile(path), "JOB_ID = 3\nJOB_IDX = 1\n");
}

}  // namespace
