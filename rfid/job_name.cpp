#include "rfid/job_name.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "log/log4z.h"

namespace {

// The frame's length byte counts the command byte and the data.
constexpr size_t kMaxFrameData = 254;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

ParseJobName::ParseJobName(std::string title) : m_strTitle(std::move(title)) {
    Parse();
}

void ParseJobName::Parse() {
    const size_t marker = m_strTitle.find(S_RFID_FLAG);
    if (marker == std::string::npos) return;
    m_strFlag = S_RFID_FLAG;
    const size_t underscore = m_strTitle.find('_', marker + 1);
    if (underscore == std::string::npos) return;
    m_strRfid = m_strTitle.substr(underscore + 1);
    const std::string area = m_strRfid.substr(0, 2);
    m_nArea = area == "01" ? 1 : area == "03" ? 3 : 4;
}

std::string ParseJobName::DataText() const {
    return m_strRfid.size() > 3 ? m_strRfid.substr(3) : std::string();
}

int ParseJobName::DataType() const {
    if (!IsRfid() || m_strRfid.size() < 3) return 3;
    if (m_strRfid[2] == '1') return 1;
    if (m_strRfid[2] == '2') return 2;
    return 3;
}

std::string ParseJobName::DataAscii() const {
    std::string data = DataText();
    if (data.size() % 2 != 0) data.push_back('\0');
    return data;
}

std::vector<uint8_t> ParseJobName::DataHex() const {
    std::string digits = DataText();
    if (digits.empty()) return {};
    // Always 1 to 4 zeros: a length that is already a multiple of four gets four more.
    digits.append(4 - digits.size() % 4, '0');
    std::vector<uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i + 1 < digits.size(); i += 2) bytes.push_back(HexToNum(&digits[i]));
    return bytes;
}

std::vector<uint8_t> ParseJobName::Data() const {
    if (!IsRfid()) return {};
    switch (DataType()) {
        case 1: {
            const std::string text = DataAscii();
            return std::vector<uint8_t>(text.begin(), text.end());
        }
        case 2:
            return DataHex();
        default:
            return {};
    }
}

uint8_t ParseJobName::HexToNum(const char digits[2]) {
    const int high = HexDigit(digits[0]);
    const int low = HexDigit(digits[1]);
    if (low < 0) return 0xFF;
    return static_cast<uint8_t>(((high < 0 ? 0xF : high) << 4) | low);
}

std::vector<uint8_t> ParseJobName::GetRfidCmd() const {
    const std::vector<uint8_t> data = Data();
    std::vector<uint8_t> cmd(4 + data.size());
    cmd[0] = 0xFF;
    cmd[1] = static_cast<uint8_t>((data.size() + 1) % 256);
    cmd[2] = 0xFF;
    cmd[3] = IsRfid() && m_nArea == 1 ? 0x65 : 0x66;
    std::copy(data.begin(), data.end(), cmd.begin() + 4);
    return cmd;
}

RfidStep HandleRfidStep(const char* title, OutputSink& out) {
    const ParseJobName job(title != nullptr ? title : "");
    LOGD("HandleRfid-Start");
    if (!job.IsRfid()) return {};
    LOGD("HandleRfid-IsRfid");
    if (job.DataType() == 3)
        return {RfidOutcome::Failed,
                "The RFID field of the job title has no data type 1 (text) or 2 (hexadecimal)."};
    if (job.DataAscii().empty())
        return {RfidOutcome::Failed, "The RFID field of the job title holds no tag data."};
    const std::vector<uint8_t> cmd = job.GetRfidCmd();
    // A longer frame would carry a wrong length byte and the printer would read the rest of
    // the data as commands.
    if (cmd.size() - 4 > kMaxFrameData) {
        LOGE("HandleRfid-TooLong: %zu data bytes, at most %zu fit in one frame", cmd.size() - 4,
             kMaxFrameData);
        return {RfidOutcome::Failed, "The RFID data in the job title is too long."};
    }
    if (!out.Write(cmd.data(), cmd.size()))
        return {RfidOutcome::Failed, "The RFID frame could not be written to the printer stream."};
    LOGD("HandleRfid-Yes");
    return {RfidOutcome::Written, {}};
}
