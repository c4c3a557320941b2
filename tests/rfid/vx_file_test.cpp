// The message-queue exchange and the real job information file, in process, with the
// stand-in label-design application answering.
#include "rfid/vx_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rfid/task_info.h"
#include "tests/rfid/rfid_test_support.h"
#include "tests/support/planted.h"

namespace {

// The step's answer as a number: 0 not an RFID data job, 1 the job ends, 2 the data went out.
int VXRFIDJobTask(const char* title, int jobId) {
    switch (VXRFIDJobStep(title, jobId, nullptr).outcome) {
        case RfidOutcome::NotRfidJob:
            return 0;
        case RfidOutcome::Written:
            return 2;
        default:
            return 1;
    }
}

class VxFileTest : public ::testing::Test {
  protected:
    void TearDown() override { RemoveQueue(); }
    size_t QueuedMessages() {
        msqid_ds info{};
        const int id = ::msgget(CVXFile::MSG_QUEUE_KEY, 0);
        return id >= 0 && ::msgctl(id, IPC_STAT, &info) == 0 ? info.msg_qnum : 0;
    }

    JobInfoFileGuard jobInfo;
    TempDir labels;
    LogCapture log;
};

TEST_F(VxFileTest, TitleRuleNamesRfidDataJobs) {
    EXPECT_EQ(CVXFile("RFID_shelf.lbl").CheckRFIDTask(), 1);
    EXPECT_EQ(CVXFile("RFID_a_b").CheckRFIDTask(), 1);
    EXPECT_EQ(CVXFile("RFID_").CheckRFIDTask(), 0);
    EXPECT_EQ(CVXFile("rfid_shelf.lbl").CheckRFIDTask(), 0);
    EXPECT_EQ(CVXFile("RFIDX_shelf").CheckRFIDTask(), 0);
    EXPECT_EQ(CVXFile("RFID").CheckRFIDTask(), 0);
    EXPECT_EQ(CVXFile("my RFID_shelf").CheckRFIDTask(), 0);
    const std::string text = log.Text();
    EXPECT_TRUE(Has(text, "no found the vx file name from the job name: RFID_")) << text;
    EXPECT_TRUE(Has(text, "not a vx rfid job, the name is: rfid")) << text;
    EXPECT_TRUE(Has(text, "not a vx rfid job, the name is: my RFID")) << text;
}

TEST_F(VxFileTest, OtherTitlesNeedNeitherQueueNorJobFile) {
    ASSERT_FALSE(QueueExists());
    EXPECT_EQ(CaptureStdout([] { EXPECT_EQ(VXRFIDJobTask("RFID_", 42), 0); }), "");
    EXPECT_EQ(VXRFIDJobTask("Shipping label", 42), 0);
    EXPECT_NE(::access(kJobInfoPath.c_str(), F_OK), 0);
    EXPECT_TRUE(Has(log.Text(), "VXRFIDJobTask - Shipping label, 42"));
}

TEST_F(VxFileTest, MissingQueueEndsTheJobBeforeTheJobFileIsTouched) {
    ASSERT_FALSE(QueueExists());
    EXPECT_EQ(CaptureStdout([] { EXPECT_EQ(VXRFIDJobTask("RFID_shelf.lbl", 42), 1); }), "");
    EXPECT_NE(::access(kJobInfoPath.c_str(), F_OK), 0);
    EXPECT_TRUE(Has(log.Text(), "msgget failed, error num: 2")) << log.Text();
}

TEST_F(VxFileTest, FirstPageOfAJobAsksForLabelZeroAndWritesTheReply) {
    WriteFile(labels.File("0"), "^XA^RFW,H^FD0001^FS^XZ");
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    const mode_t oldMask = ::umask(0);
    int result = 0;
    const std::string out = CaptureStdout([&] { result = VXRFIDJobTask("RFID_shelf.lbl", 42); });
    ::umask(oldMask);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, "^XA^RFW,H^FD0001^FS^XZ");
    EXPECT_EQ(peer.Stop(), std::vector<std::string>{"GET/RFID_shelf.lbl/0/"});
    EXPECT_EQ(ReadFile(kJobInfoPath), "JOB_ID = 42\nJOB_IDX = 0\n");
    struct stat info {};
    ASSERT_EQ(::lstat(kJobInfoPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string text = log.Text();
    EXPECT_TRUE(Has(text, "SendMsg: GET/RFID_shelf.lbl/0/") && Has(text, "RFID write size: 22") &&
                Has(text, "message handle value: "))
        << text;
}

TEST_F(VxFileTest, RemoveRequestIsAcknowledgedAndErrorsAreNotData) {
    WriteFile(labels.File("3"), "label three");
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    CVXFile file("RFID_shelf.lbl");
    ASSERT_EQ(file.InitMsgQueue(), 1);
    std::string reply;
    EXPECT_EQ(file.GetVXRFIDData(reply, 3), 1);
    EXPECT_EQ(reply, "label three");
    EXPECT_EQ(file.RemoveRFIDFile(), 1);
    EXPECT_EQ(file.GetVXRFIDData(reply, 4), 0) << "no data for label 4";
    EXPECT_EQ(reply, "MSG_ERRIR/");
    EXPECT_EQ(file.RecvMsgWithTimeout(reply, 0, 100), 0);
    EXPECT_EQ(peer.Stop(),
              (std::vector<std::string>{"GET/RFID_shelf.lbl/3/", "REMOVE/RFID_shelf.lbl/3/",
                                        "GET/RFID_shelf.lbl/4/"}));
}

TEST_F(VxFileTest, RequestsOverTheMessageLimitAreNeverSent) {
    const std::string longest(2048 - 4 - 3, 'x');  // "GET/" + title + "/7/" is 2048 bytes
    WriteFile(labels.File("7"), "ok");
    Peer peer(labels.path());
    ASSERT_TRUE(peer.ready());
    CVXFile fits(longest);
    ASSERT_EQ(fits.InitMsgQueue(), 1);
    std::string reply;
    EXPECT_EQ(fits.GetVXRFIDData(reply, 7), 1);
    EXPECT_EQ(reply, "ok");
    CVXFile tooLong(longest + "y");
    ASSERT_EQ(tooLong.InitMsgQueue(), 1);
    reply.clear();
    EXPECT_EQ(tooLong.GetVXRFIDData(reply, 7), 0);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(peer.Stop().size(), 1u) << "only the request that fits reached the queue";
}

TEST_F(VxFileTest, FullQueueFailsTheRequestInsteadOfBlocking) {
    const int id = ::msgget(CVXFile::MSG_QUEUE_KEY, IPC_CREAT | 0666);
    ASSERT_GE(id, 0);
    struct {
        long mtype;
        char mtext[1024];
    } filler{999, {}};
    while (::msgsnd(id, &filler, sizeof(filler.mtext), IPC_NOWAIT) == 0) {
    }
    CVXFile file("RFID_shelf.lbl");
    ASSERT_EQ(file.InitMsgQueue(), 1);
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(file.GetVXRFIDData(reply, 0), 0);
    EXPECT_LT(SecondsSince(start), 15.0);
    EXPECT_TRUE(Has(log.Text(), "msgsnd failed, error: 11")) << log.Text();
}

TEST_F(VxFileTest, JobFileIsNeverOpenedThroughALink) {
    TempDir elsewhere;
    const std::string target = elsewhere.File("target");
    WriteFile(target, "JOB_ID = 42\nJOB_IDX = 4\n");
    ASSERT_EQ(::symlink(target.c_str(), kJobInfoPath.c_str()), 0);
    int index = -1;
    std::string reason;
    EXPECT_EQ(TaskInfo(42, index, reason), TaskInfoStatus::Failed);
    EXPECT_TRUE(Has(reason, "symbolic link")) << reason;
    EXPECT_EQ(ReadFile(target), "JOB_ID = 42\nJOB_IDX = 4\n");
    EXPECT_TRUE(Has(log.Text(), "FileLock CreateFile Fail"));
}

}  // namespace

namespace {

class VxStepTest : public VxFileTest {
  protected:
    // Runs the page step of job 42; returns its result and checks it wrote only on success.
    RfidStep Step(const std::string& title, CancelFlag canceled = nullptr) {
        RfidStep step;
        const std::string out =
            CaptureStdout([&] { step = VXRFIDJobStep(title.c_str(), 42, canceled); });
        if (step.outcome != RfidOutcome::Written) {
            EXPECT_EQ(out, "") << title;
        }
        return step;
    }
};

TEST_F(VxStepTest, EachLostLabelFailsWithItsReason) {
    struct Case {
        const char* name;
        std::vector<std::string> peerFlags;  // no peer when it holds "none"
        std::function<void()> plant;
        std::string title;
        std::string reason;
    };
    const std::string victim = labels.File("victim");
    const std::vector<Case> cases = {
        {"no queue", {"none"}, [] {}, "RFID_a.lbl", "There is no RFID data queue"},
        {"silent peer", {"--silent"}, [] {}, "RFID_a.lbl", "did not answer the RFID data"},
        {"no data", {}, [] {}, "RFID_a.lbl", "has no RFID data for label 0 of the job"},
        {"job file",
         {},
         [&] { Plant(Planted::SymbolicLink, kJobInfoPath, victim); },
         "RFID_a.lbl",
         "The job information file /tmp/TASK_INFO.lock cannot be used: it is a "
         "symbolic link."},
        {"request lock",
         {},
         [&] { Plant(Planted::Fifo, CVXFile::REQUEST_LOCK, victim); },
         "RFID_a.lbl",
         "The RFID request lock file /tmp/TASK_QUEUE.lock cannot be used: it is "
         "not a regular file."},
        {"long title", {}, [] {}, "RFID_" + std::string(2100, 'x'), "The job title is too long"},
    };
    WriteFile(victim, "keep");
    for (const Case& c : cases) {
        ::unlink(kJobInfoPath.c_str());
        ::unlink(CVXFile::REQUEST_LOCK);
        std::unique_ptr<Peer> peer;
        if (c.peerFlags != std::vector<std::string>{"none"}) {
            peer = std::make_unique<Peer>(labels.path(), c.peerFlags);
            ASSERT_TRUE(peer->ready());
        }
        c.plant();
        const RfidStep step = Step(c.title);
        EXPECT_EQ(step.outcome, RfidOutcome::Failed) << c.name;
        EXPECT_TRUE(Has(step.reason, c.reason)) << c.name << ": " << step.reason;
        peer.reset();
        RemoveQueue();
    }
    EXPECT_EQ(ReadFile(victim), "keep");
    EXPECT_EQ(Step("Shipping label").outcome, RfidOutcome::NotRfidJob);
}

TEST_F(VxStepTest, LateReplyOfAnEarlierRequestIsNotTakenForThisOne) {
    WriteFile(labels.File("0"), "label zero");
    Peer peer(labels.path(), {"--delay-ms", "100"});
    ASSERT_TRUE(peer.ready());
    // What a peer answers after its asker gave up waiting.
    struct {
        long mtype;
        char mtext[16];
    } late{CVXFile::REPLY_TYPE, "another job's"};
    ASSERT_EQ(::msgsnd(::msgget(CVXFile::MSG_QUEUE_KEY, 0), &late, 13, 0), 0);
    RfidStep step;
    const std::string out = CaptureStdout([&] { step = VXRFIDJobStep("RFID_a.lbl", 42, nullptr); });
    EXPECT_EQ(step.outcome, RfidOutcome::Written);
    EXPECT_EQ(out, "label zero");
}

TEST_F(VxStepTest, CancelEndsTheWaitForTheReplyAndForTheTurn) {
    for (const bool turnTaken : {false, true}) {
        Peer peer(labels.path(), {"--silent"});
        ASSERT_TRUE(peer.ready());
        // Another filter process holds the turn for its own request.
        std::unique_ptr<LockHolder> holder;
        if (turnTaken) {
            holder = std::make_unique<LockHolder>(CVXFile::REQUEST_LOCK);
            ASSERT_TRUE(holder->locked());
        }
        volatile sig_atomic_t canceled = 0;
        std::thread cancel([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            canceled = 1;
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Step("RFID_a.lbl", &canceled).outcome, RfidOutcome::Canceled) << turnTaken;
        EXPECT_LT(SecondsSince(start), 0.8) << turnTaken;
        cancel.join();
    }
}

}  // namespace
