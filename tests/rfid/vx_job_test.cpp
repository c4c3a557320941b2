// RFID data jobs as CUPS runs them: filter processes of one or more jobs, the stand-in
// label-design application, and the job information file shared by all of them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tests/rfid/rfid_test_support.h"
#include "tests/support/ppd_fixture.h"

namespace {

const std::string kTitle = "RFID_shelf.lbl";

std::string Label(int index) {
    return "^RFW,H^FD000" + std::to_string(index) + "^FS\n";
}

class VxJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ppd = PpdFixture().WriteTo(labels.File("queue.ppd"));
        for (int i = 0; i < 6; ++i) WriteFile(labels.File(std::to_string(i)), Label(i));
    }
    void TearDown() override { RemoveQueue(); }

    FilterArgs Args(const std::string& jobId, const std::vector<TestPage>& pages,
                    const std::string& title = kTitle) {
        const std::string raster = jobs.File("job" + std::to_string(rasters++) + ".ras");
        WriteRasterFile(raster, pages);
        FilterArgs args;
        args.jobId = jobId;
        args.title = title;
        args.ppdPath = ppd;
        args.rasterFile = raster;
        return args;
    }
    FilterResult Run(const std::string& program, const std::string& jobId,
                     const std::vector<TestPage>& pages, const std::string& title = kTitle) {
        return RunFilter(program, Args(jobId, pages, title));
    }
    static std::vector<TestPage> Pages(int count) {
        std::vector<TestPage> pages;
        for (int i = 0; i < count; ++i)
            pages.push_back(TestPage::Solid(7, 3, static_cast<uint8_t>(i * 40), 9, 9));
        return pages;
    }

    JobInfoFileGuard jobInfo;
    TempDir labels;
    TempDir jobs;
    std::string ppd;
    int rasters = 0;
};

TEST_F(VxJobTest, EachPagesLabelDataGoesOutBeforeThePreviousPage) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const std::vector<TestPage> pages = Pages(3);
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "42", pages);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 9u) << r.out;
    EXPECT_EQ(lines[0], "construct");
    EXPECT_EQ(lines[1] + "\n", Label(0));
    EXPECT_EQ(lines[2].rfind("StartDocCMD ", 0), 0u);
    EXPECT_EQ(lines[3] + "\n", Label(1));
    EXPECT_TRUE(lines[4].rfind("TransCommand page=2 last=0 ", 0) == 0 &&
                Has(lines[4], HashOf(pages[0])))
        << lines[4];
    EXPECT_EQ(lines[5] + "\n", Label(2));
    EXPECT_TRUE(lines[6].rfind("TransCommand page=3 last=0 ", 0) == 0 &&
                Has(lines[6], HashOf(pages[1])))
        << lines[6];
    EXPECT_TRUE(lines[7].rfind("TransCommand page=3 last=1 ", 0) == 0 &&
                Has(lines[7], HashOf(pages[2])))
        << lines[7];
    EXPECT_EQ(lines[8], "destroy");
    EXPECT_EQ(peer.Stop(),
              (std::vector<std::string>{"GET/RFID_shelf.lbl/0/", "GET/RFID_shelf.lbl/1/",
                                        "GET/RFID_shelf.lbl/2/"}));
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 42\nJOB_IDX = 2\n");
}

TEST_F(VxJobTest, TsplAndEplFetchLabelDataToo) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    // The TSPL filter constructs its renderer before the first page, the EPL filter for each call.
    const FilterResult tspl = Run(RECORDING_TSPL_FLOW, "7", Pages(1));
    std::vector<std::string> lines = Lines(tspl.out);
    ASSERT_GE(lines.size(), 3u) << tspl.out;
    EXPECT_EQ(lines[0], "construct");
    EXPECT_EQ(lines[1] + "\n", Label(0));
    EXPECT_EQ(lines[2].rfind("StartDocCMD ", 0), 0u);
    const FilterResult epl = Run(RECORDING_EPL_FLOW, "7", Pages(1));
    lines = Lines(epl.out);
    ASSERT_GE(lines.size(), 3u) << epl.out;
    EXPECT_EQ(lines[0] + "\n", Label(1));
    EXPECT_EQ(lines[1], "construct");
    EXPECT_EQ(lines[2].rfind("StartDocCMD ", 0), 0u);
    EXPECT_EQ(peer.Stop(),
              (std::vector<std::string>{"GET/RFID_shelf.lbl/0/", "GET/RFID_shelf.lbl/1/"}));
}

TEST_F(VxJobTest, FilterRunsOfOneJobNumberOnAndANewJobStartsAtZero) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    Run(RECORDING_TSPL_FLOW, "31", Pages(2));
    Run(RECORDING_ZPL_FLOW, "31", Pages(1));
    Run(RECORDING_EPL_FLOW, "32", Pages(1));
    Run(RECORDING_TSPL_FLOW, "31", Pages(1));
    const std::vector<std::string> expected = {"GET/RFID_shelf.lbl/0/", "GET/RFID_shelf.lbl/1/",
                                               "GET/RFID_shelf.lbl/2/", "GET/RFID_shelf.lbl/0/",
                                               "GET/RFID_shelf.lbl/3/"};
    EXPECT_EQ(peer.Stop(), expected) << "job 32 in between does not restart job 31";
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 31\nJOB_IDX = 3\nJOB 32 0\n");
}

TEST_F(VxJobTest, IndexGoesOnFromTheRecordedOneWhateverTheLineLayout) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    WriteFile(kJobInfoPath, "\n  JOB_IDX = 4\t\n\t JOB_ID = 17  \n\n");
    const FilterResult same = Run(RECORDING_TSPL_FLOW, "17", Pages(1));
    EXPECT_EQ(Lines(same.out).at(1) + "\n", Label(5));
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 17\nJOB_IDX = 5\n");
    Run(RECORDING_TSPL_FLOW, "18", Pages(1));
    EXPECT_EQ(peer.Stop(),
              (std::vector<std::string>{"GET/RFID_shelf.lbl/5/", "GET/RFID_shelf.lbl/0/"}));
}

TEST_F(VxJobTest, JobFileWithOnlyAJobIdLineEndsTheJob) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    WriteFile(kJobInfoPath, "JOB_ID = 17\n");
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "17", Pages(2));
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << "a lost label fails the job: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "construct\ndestroy\n");
    EXPECT_TRUE(peer.Stop().empty());
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 17\n");
}

TEST_F(VxJobTest, ConcurrentFilterRunsOfOneJobNeverShareALabel) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    std::vector<std::unique_ptr<FilterProcess>> running;
    for (int i = 0; i < 3; ++i)
        running.push_back(
            std::make_unique<FilterProcess>(RECORDING_TSPL_FLOW, Args("55", Pages(2))));
    for (auto& process : running) EXPECT_EQ(process->Finish().exitCode, 0);
    std::vector<std::string> requests = peer.Stop();
    std::sort(requests.begin(), requests.end());
    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i) expected.push_back("GET/RFID_shelf.lbl/" + std::to_string(i) + "/");
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 55\nJOB_IDX = 5\n");
}

TEST_F(VxJobTest, ErrorReplyEndsTheJobAndThePageBeforePrintsLast) {
    ::unlink(labels.File("1").c_str());
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const std::vector<TestPage> pages = Pages(3);
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "42", pages);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << "a lost label fails the job: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[1] + "\n", Label(0));
    EXPECT_TRUE(lines[3].rfind("TransCommand page=2 last=1 ", 0) == 0 &&
                Has(lines[3], HashOf(pages[0])))
        << lines[3];
    EXPECT_EQ(lines[4], "destroy");
    EXPECT_FALSE(Has(r.out, "MSG_ERRIR/"));
    EXPECT_EQ(peer.Stop().size(), 2u) << "page 3 was never started";
}

TEST_F(VxJobTest, ReplyThatOnlyBeginsWithTheErrorTextIsLabelData) {
    WriteFile(labels.File("0"), "MSG_ERRIR/^FDstill data^FS\n");
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const FilterResult r = Run(RECORDING_TSPL_FLOW, "42", Pages(1));
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[1], "MSG_ERRIR/^FDstill data^FS");
    EXPECT_EQ(lines[3].rfind("TransCommand page=1 last=1 ", 0), 0u);
}

TEST_F(VxJobTest, SilentPeerEndsTheJobAfterAboutOneSecond) {
    Peer peer(labels.path(), {"--silent"});
    ASSERT_TRUE(peer.ready());
    const auto start = std::chrono::steady_clock::now();
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "42", Pages(2));
    const double seconds = SecondsSince(start);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << "a lost label fails the job: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "construct\ndestroy\n");
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 15.0);
    EXPECT_EQ(peer.Stop(), std::vector<std::string>{"GET/RFID_shelf.lbl/0/"});
}

TEST_F(VxJobTest, LateReplyWithinTheWaitIsStillUsed) {
    Peer peer(labels.path(), {"--delay-ms", "300"});
    ASSERT_TRUE(peer.ready());
    const FilterResult r = Run(RECORDING_TSPL_FLOW, "42", Pages(1));
    EXPECT_EQ(Lines(r.out).at(1) + "\n", Label(0)) << r.out;
}

TEST_F(VxJobTest, PeerStopsAfterItsLastRequest) {
    Peer peer(labels.path(), {"--max-requests", "1"});
    ASSERT_TRUE(peer.ready());
    EXPECT_EQ(Lines(Run(RECORDING_TSPL_FLOW, "42", Pages(1)).out).at(1) + "\n", Label(0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (QueueExists() && std::chrono::steady_clock::now() < deadline) usleep(20000);
    EXPECT_FALSE(QueueExists()) << "the peer removed its queue on the way out";
    EXPECT_EQ(Run(RECORDING_TSPL_FLOW, "42", Pages(1)).out, "construct\ndestroy\n");
}

TEST_F(VxJobTest, NoQueueEndsTheJobAtOnce) {
    ASSERT_FALSE(QueueExists());
    const FilterResult r = Run(RECORDING_ZPL_FLOW, "42", Pages(2));
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << "a lost label fails the job: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "construct\ndestroy\n");
    EXPECT_NE(::access(kJobInfoPath.c_str(), F_OK), 0) << "the job file is not touched";
}

TEST_F(VxJobTest, JobFileLockedElsewhereEndsTheJobAfterAboutFiveSeconds) {
    WriteFile(kJobInfoPath, "JOB_ID = 42\nJOB_IDX = 4\n");
    int ready[2], release[2];
    // Close-on-exec: the peer and the filter must not keep the holder's pipes open.
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(release, O_CLOEXEC), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(release[1]);
        const int fd = ::open(kJobInfoPath.c_str(), O_RDWR);
        flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        char byte;
        (void)!::read(release[0], &byte, 1);
        _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char ok = '0';
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const auto start = std::chrono::steady_clock::now();
    const FilterResult r = Run(RECORDING_TSPL_FLOW, "42", Pages(1));
    const double seconds = SecondsSince(start);
    ::close(release[1]);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    EXPECT_EQ(r.out, "construct\ndestroy\n");
    EXPECT_GE(seconds, 4.0);
    EXPECT_LT(seconds, 15.0);
    EXPECT_TRUE(peer.Stop().empty());
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 42\nJOB_IDX = 4\n");
}

TEST_F(VxJobTest, TitleTooLongForOneMessageEndsTheJob) {
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const FilterResult r =
        Run(RECORDING_TSPL_FLOW, "42", Pages(1), kTitle + std::string(2100, 'x'));
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << "a lost label fails the job: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.termSignal, 0);
    EXPECT_EQ(r.out, "construct\ndestroy\n");
    EXPECT_TRUE(peer.Stop().empty());
}

}  // namespace
