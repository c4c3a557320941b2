// Per-label RFID data from the label-design application that submitted the job, fetched over
// a System V message queue: the filter sends "GET/<title>/<index>/" (type 123) and copies the
// reply (type 456), the label's printer commands, to its output ahead of the page.
#pragma once

#include <string>

#include "filter/output_sink.h"

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

    explicit CVXFile(std::string title);

    // 1 when the title is "RFID_<label file>".
    int CheckRFIDTask();
    // Opens the existing queue; 1 on success, 0 on failure.
    int InitMsgQueue();
    // Sends "<sign><title>/<index>/" and waits about one second for the reply. Returns 1
    // when a reply other than "MSG_ERRIR/" arrived.
    int SendAndRecvMsgQueue(std::string& reply, const char* sign);
    // Polls for a reply: `attempts` tries, `intervalMs` apart.
    int RecvMsgWithTimeout(std::string& reply, int attempts, int intervalMs);
    int GetVXRFIDData(std::string& reply, int index);
    // Tells the peer the label file may be dropped; 1 only when it answers "MSG_OK/".
    int RemoveRFIDFile();

  private:
    bool SendRequest(const std::string& text);

    std::string m_strJobName;
    int m_bRfidJob = 0;
    int m_nMsgId = -1;
    int m_nIndex = 0;
};

// Per-page step of the label filters. Returns 0 (not an RFID data job: print the page),
// 1 (end the job) or 2 (the label's data was written: print the page).
int VXRFIDJobTask(const char* title, int jobId, OutputSink& out = StandardOutput());
