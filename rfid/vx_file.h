// Per-label RFID data from the label-design application that submitted the job, fetched over
// a System V message queue: the filter sends "GET/<title>/<index>/" (type 123) and copies the
// reply (type 456), the label's printer commands, to its output ahead of the page.
//
// Replies carry nothing that names their request, so filter processes take turns: each holds
// an exclusive fcntl lock on the request lock file from sending its request until it has its
// reply, and drops replies left over from an earlier request that waited in vain.
#pragma once

#include <string>

#include "filter/output_sink.h"
#include "log/cancel_flag.h"
#include "rfid/rfid_step.h"

class CVXFile {
  public:
    static constexpr const char* VX_RFID_FLAG = "RFID";
    static constexpr const char* GET_SIGN = "GET/";
    static constexpr const char* REMOVE_SIGN = "REMOVE/";
    static constexpr const char* MSG_OK = "MSG_OK/";
    static constexpr const char* MSG_ERROR = "MSG_ERRIR/";
    // Queue created by the label-design application.
    static constexpr int MSG_QUEUE_KEY = 0x12345678;
    static constexpr long REQUEST_TYPE = 123;
    static constexpr long REPLY_TYPE = 456;
    static constexpr size_t MAX_MSG_TEXT = 2048;
    // The request lock file, beside the job information file.
    static constexpr const char* REQUEST_LOCK = "/tmp/TASK_QUEUE.lock";
    // Longest wait for the turn of this process's request.
    static constexpr int REQUEST_LOCK_SECONDS = 30;

    explicit CVXFile(std::string title, CancelFlag canceled = nullptr);

    // 1 when the title is "RFID_<label file>".
    int CheckRFIDTask();
    // Opens the existing queue; 1 on success, 0 on failure.
    int InitMsgQueue();
    // Sends "<sign><title>/<index>/" and waits about one second for the reply. Returns 1
    // when a reply other than "MSG_ERRIR/" arrived; otherwise problem() tells why (empty
    // when the wait was canceled).
    int SendAndRecvMsgQueue(std::string& reply, const char* sign);
    // Polls for a reply: `attempts` tries, `intervalMs` apart.
    int RecvMsgWithTimeout(std::string& reply, int attempts, int intervalMs);
    int GetVXRFIDData(std::string& reply, int index);
    // Tells the peer the label file may be dropped; 1 only when it answers "MSG_OK/".
    int RemoveRFIDFile();
    const std::string& problem() const { return m_strProblem; }

  private:
    bool SendRequest(const std::string& text);
    void DropStaleReplies();

    std::string m_strJobName;
    int m_bRfidJob = 0;
    int m_nMsgId = -1;
    int m_nIndex = 0;
    CancelFlag m_pCanceled;
    std::string m_strProblem;
};

// Per-page step of the label filters: fetches the label data of this page of an RFID data
// job and writes it to the output. NotRfidJob for other titles, which touch neither the queue
// nor the job information file.
RfidStep VXRFIDJobStep(const char* title, int jobId, CancelFlag canceled,
                       OutputSink& out = StandardOutput());
