#include "rfid/vx_file.h"

#include <sys/ipc.h>
#include <sys/msg.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "log/log4z.h"
#include "rfid/task_info.h"

namespace {

struct QueueMessage {
    long mtype;
    char mtext[CVXFile::MAX_MSG_TEXT];
};

constexpr int kAttempts = 10;
constexpr int kIntervalMs = 100;
constexpr auto kTurnPoll = std::chrono::milliseconds(10);

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A reason or log text of at most 255 characters.
std::string Text(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof(text), format, values...);
    return text;
}

}  // namespace

CVXFile::CVXFile(std::string title, CancelFlag canceled)
    : m_strJobName(std::move(title)), m_pCanceled(canceled) {}

int CVXFile::CheckRFIDTask() {
    m_bRfidJob = 0;
    const size_t underscore = m_strJobName.find('_');
    if (underscore == std::string::npos) return 0;
    const std::string head = m_strJobName.substr(0, underscore);
    if (head != VX_RFID_FLAG) {
        LOGD("not a vx rfid job, the name is: %s", head.c_str());
        return 0;
    }
    if (underscore + 1 == m_strJobName.size()) {
        LOGD("no found the vx file name from the job name: %s", m_strJobName.c_str());
        return 0;
    }
    m_bRfidJob = 1;
    return 1;
}

int CVXFile::InitMsgQueue() {
    const int id = ::msgget(MSG_QUEUE_KEY, 0666);
    if (id < 0) {
        LOGE("msgget failed, error num: %d", errno);
        m_strProblem = Text(
            "There is no RFID data queue (key 0x%x, error %d): the label-design application is "
            "not running.",
            MSG_QUEUE_KEY, errno);
        return 0;
    }
    m_nMsgId = id;
    LOGD("message handle value: %d", m_nMsgId);
    return 1;
}

// A full queue (a peer that stopped reading) must not block the job for ever: the send is
// retried for as long as a reply is awaited.
bool CVXFile::SendRequest(const std::string& text) {
    QueueMessage message{};
    message.mtype = REQUEST_TYPE;
    std::memcpy(message.mtext, text.data(), text.size());
    for (int attempt = 0; !IsCanceled(m_pCanceled); ++attempt) {
        if (::msgsnd(m_nMsgId, &message, text.size(), IPC_NOWAIT) == 0) return true;
        if ((errno != EAGAIN && errno != EINTR) || attempt + 1 >= kAttempts) {
            LOGE("msgsnd failed, error: %d", errno);
            m_strProblem = Text("The RFID data request could not be sent (error %d).", errno);
            return false;
        }
        SleepMs(kIntervalMs);
    }
    return false;
}

// Replies on the queue while this process holds the turn answer requests whose senders gave
// up waiting; taken for this request they would print another label's data.
void CVXFile::DropStaleReplies() {
    QueueMessage message;
    int dropped = 0;
    while (::msgrcv(m_nMsgId, &message, MAX_MSG_TEXT, REPLY_TYPE, IPC_NOWAIT | MSG_NOERROR) >= 0)
        ++dropped;
    if (dropped > 0) LOGW("dropped %d late replies of earlier requests", dropped);
}

int CVXFile::SendAndRecvMsgQueue(std::string& reply, const char* sign) {
    m_strProblem.clear();
    const std::string text =
        std::string(sign) + m_strJobName + "/" + std::to_string(m_nIndex) + "/";
    LOGD("SendMsg: %s", text.c_str());
    if (text.size() > MAX_MSG_TEXT) {
        LOGE("request of %zu bytes is longer than a message (%zu bytes), not sent", text.size(),
             MAX_MSG_TEXT);
        m_strProblem =
            Text("The job title is too long for an RFID data request (%zu bytes, at most %zu).",
                 text.size(), MAX_MSG_TEXT);
        return 0;
    }
    FileLock turn(REQUEST_LOCK);
    if (!turn.problem().empty()) {
        m_strProblem = "The RFID request lock file " + std::string(REQUEST_LOCK) +
                       " cannot be used: " + turn.problem() + ".";
        return 0;
    }
    const LockWait wait =
        turn.lockTimeout(REQUEST_LOCK_SECONDS, "request lock timeout", m_pCanceled, kTurnPoll);
    if (wait != LockWait::Locked) {
        if (wait == LockWait::TimedOut)
            m_strProblem = Text("Other jobs kept the RFID data queue busy for %d seconds.",
                                REQUEST_LOCK_SECONDS);
        return 0;
    }
    DropStaleReplies();
    if (!SendRequest(text)) return 0;
    return RecvMsgWithTimeout(reply, kAttempts, kIntervalMs);
}

int CVXFile::RecvMsgWithTimeout(std::string& reply, int attempts, int intervalMs) {
    QueueMessage message;
    ssize_t received = -1;
    for (int left = attempts; left > 0 && !IsCanceled(m_pCanceled); --left) {
        std::memset(&message, 0, sizeof(message));
        // Without MSG_NOERROR a reply longer than the buffer stays on the queue.
        received = ::msgrcv(m_nMsgId, &message, MAX_MSG_TEXT, REPLY_TYPE, IPC_NOWAIT);
        if (received > 0) break;
        LOGD("msgrcv(%d) failed, error: %d", left, received < 0 ? errno : 0);
        SleepMs(intervalMs);
    }
    if (received <= 0) {
        if (!IsCanceled(m_pCanceled))
            m_strProblem = Text(
                "The label-design application did not answer the RFID data request within %d "
                "ms.",
                attempts * intervalMs);
        return 0;
    }
    reply.assign(message.mtext, static_cast<size_t>(received));
    if (reply != MSG_ERROR) return 1;
    m_strProblem =
        Text("The label-design application has no RFID data for label %d of the job.", m_nIndex);
    return 0;
}

int CVXFile::GetVXRFIDData(std::string& reply, int index) {
    m_nIndex = index;
    return SendAndRecvMsgQueue(reply, GET_SIGN);
}

int CVXFile::RemoveRFIDFile() {
    std::string reply;
    SendAndRecvMsgQueue(reply, REMOVE_SIGN);
    return reply == MSG_OK ? 1 : 0;
}

namespace {

RfidStep Failed(std::string reason, CancelFlag canceled) {
    if (IsCanceled(canceled)) return {RfidOutcome::Canceled, {}};
    return {RfidOutcome::Failed, std::move(reason)};
}

}  // namespace

RfidStep VXRFIDJobStep(const char* title, int jobId, CancelFlag canceled, OutputSink& out) {
    const char* name = title != nullptr ? title : "";
    LOGD("VXRFIDJobTask - %s, %d", name, jobId);
    CVXFile file(name, canceled);
    if (!file.CheckRFIDTask()) return {};
    if (!file.InitMsgQueue()) return Failed(file.problem(), canceled);
    int index = -1;
    std::string reason;
    const TaskInfoStatus info = TaskInfo(jobId, index, reason, canceled);
    if (info != TaskInfoStatus::Ok) return Failed(reason, canceled);
    std::string reply;
    if (!file.GetVXRFIDData(reply, index)) return Failed(file.problem(), canceled);
    const bool written = out.Write(reply.data(), reply.size());
    LOGD("RFID write size: %d", written ? static_cast<int>(reply.size()) : 0);
    if (!written || reply.empty())
        return Failed("The RFID label data could not be written to the printer stream.", canceled);
    return {RfidOutcome::Written, {}};
}
