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

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

CVXFile::CVXFile(std::string title) : m_strJobName(std::move(title)) {}

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
    for (int attempt = 0;; ++attempt) {
        if (::msgsnd(m_nMsgId, &message, text.size(), IPC_NOWAIT) == 0) return true;
        if ((errno != EAGAIN && errno != EINTR) || attempt + 1 >= kAttempts) break;
        SleepMs(kIntervalMs);
    }
    LOGE("msgsnd failed, error: %d", errno);
    return false;
}

int CVXFile::SendAndRecvMsgQueue(std::string& reply, const char* sign) {
    const std::string text =
        std::string(sign) + m_strJobName + "/" + std::to_string(m_nIndex) + "/";
    LOGD("SendMsg: %s", text.c_str());
    if (text.size() > MAX_MSG_TEXT) {
        LOGE("request of %zu bytes is longer than a message (%zu bytes), not sent", text.size(),
             MAX_MSG_TEXT);
        return 0;
    }
    if (!SendRequest(text)) return 0;
    return RecvMsgWithTimeout(reply, kAttempts, kIntervalMs);
}

int CVXFile::RecvMsgWithTimeout(std::string& reply, int attempts, int intervalMs) {
    QueueMessage message;
    ssize_t received = -1;
    for (int left = attempts; left > 0; --left) {
        std::memset(&message, 0, sizeof(message));
        // Without MSG_NOERROR a reply longer than the buffer stays on the queue.
        received = ::msgrcv(m_nMsgId, &message, MAX_MSG_TEXT, REPLY_TYPE, IPC_NOWAIT);
        if (received > 0) break;
        LOGD("msgrcv(%d) failed, error: %d", left, received < 0 ? errno : 0);
        SleepMs(intervalMs);
    }
    if (received <= 0) return 0;
    reply.assign(message.mtext, static_cast<size_t>(received));
    return reply == MSG_ERROR ? 0 : 1;
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

int VXRFIDJobTask(const char* title, int jobId, OutputSink& out) {
    const char* name = title != nullptr ? title : "";
    LOGD("VXRFIDJobTask - %s, %d", name, jobId);
    CVXFile file(name);
    if (!file.CheckRFIDTask()) return 0;
    if (!file.InitMsgQueue()) return 1;
    int index = -1;
    if (!TaskInfo(jobId, index)) return 1;
    std::string reply;
    if (!file.GetVXRFIDData(reply, index)) return 1;
    const bool written = out.Write(reply.data(), reply.size());
    LOGD("RFID write size: %d", written ? static_cast<int>(reply.size()) : 0);
    return written ? 2 : 1;
}
