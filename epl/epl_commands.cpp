// EPL2 commands: each method formats one command and appends it to the builder's buffer.
// Arguments are kept inside the ranges an EPL2 printer takes, so that hostile settings never
// produce a command the printer would misread.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "epl/epl_emulation.h"
#include "epl/epl_limits.h"

using namespace epl;

const char CEPLEmulation::m_lpCodePageString[20][3] = {
    "0",  "1",  "2",  "3",  "4", "5", "6", "7", "8", "9",
    "10", "11", "12", "13", "A", "B", "C", "D", "E", "F",
};

CEPLEmulation::CEPLEmulation() : m_bStartDocBuilt(false), m_bPageBuilt(false) {
    std::memset(&m_oemCfg, 0, sizeof(m_oemCfg));
}

int CEPLEmulation::SetCmdBuf(const void* data, int64_t length) {
    if (data == nullptr || length < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    try {
        m_pCmdBuf.insert(m_pCmdBuf.end(), bytes, bytes + length);
    } catch (const std::exception&) {  // no memory: nothing is appended
        return 0;
    }
    return 1;
}

int CEPLEmulation::ClearCmdBuf() {
    std::vector<uint8_t>().swap(m_pCmdBuf);
    m_bStartDocBuilt = false;
    m_bPageBuilt = false;
    return 1;
}

int CEPLEmulation::GetOutputData(uint8_t* out, int64_t outSize, int64_t* outLength) const {
    if (outLength != nullptr) *outLength = CmdLen();
    if (out == nullptr || CmdLen() > outSize) return 0;
    if (!m_pCmdBuf.empty()) std::memcpy(out, m_pCmdBuf.data(), m_pCmdBuf.size());
    return 1;
}

int CEPLEmulation::AppendFormatted(const char* format, ...) {
    char command[64] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(command, sizeof(command), format, args);
    va_end(args);
    return SetCmdBuf(command, static_cast<int64_t>(std::strlen(command)));
}

int CEPLEmulation::ClearPrinterImgBufCMD() {
    return AppendFormatted("N\r\n");
}

int CEPLEmulation::SetPtrCharSetCMD(int dataBits, int codePage) {
    if ((dataBits != 7 && dataBits != 8) || codePage < 0 || codePage >= 20) return 0;
    return AppendFormatted("I%d,%s\r\n", dataBits, m_lpCodePageString[codePage]);
}

int CEPLEmulation::SetWindowModeCMD(int on) {
    return AppendFormatted(on != 0 ? "WY\r\n" : "WN\r\n");
}

int CEPLEmulation::SetPrintDirectionCMD(int direction) {
    return AppendFormatted(direction != 0 ? "ZB\r\n" : "ZT\r\n");
}

// 1000 keeps the printer's own speed; so does a value no EPL2 printer knows (refused with 0).
int CEPLEmulation::SetPrinterSpeed(int speed) {
    if (speed == kPrinterSetting) return 1;
    if (speed < kMinSpeed || speed > kMaxSpeed) return 0;
    return AppendFormatted("S%d\r\n", speed);
}

int CEPLEmulation::SetPrinterDensity(int density) {
    if (density == kPrinterSetting) return 1;
    if (density < 0 || density > kMaxDensity) return 0;
    return AppendFormatted("D%d\r\n", density);
}

int CEPLEmulation::SetPrinterOptionsCMD(const _HWOPT* options) {
    if (options == nullptr) return 0;
    std::string text = "O";
    const auto add = [&](const std::string& option) {
        if (text.size() > 1) text += ",";
        text += option;
    };
    if (options->bDirectThermal) add("D");
    if (options->bCutter) {
        const int count = std::min(options->nCutCount, kMaxDots);
        add(count > 1 ? "C" + std::to_string(count) : "C");
    }
    if (options->bPeel) add("P");
    text += "\r\n";
    return SetCmdBuf(text.data(), static_cast<int64_t>(text.size()));
}

int CEPLEmulation::EnableBackupTopCMD(bool enable) {
    return AppendFormatted(enable ? "JF\r\n" : "JB\r\n");
}

// fB takes at most 255 dots; a longer backup is sent in steps of 255.
int CEPLEmulation::SetBackupPositionCMD(int dots) {
    if (dots <= 0) return 1;
    int rest = std::min(dots, kMaxDots);
    int result = 1;
    for (; rest > kMaxBackupStep; rest -= kMaxBackupStep)
        result &= AppendFormatted("fB%d\r\n", kMaxBackupStep);
    return result & AppendFormatted("fB%d\r\n", rest);
}

int CEPLEmulation::SetCutPositionCMD(int value) {
    if (value < kMinCutPosition || value > kMaxCutPosition) return 0;
    return AppendFormatted("f%d\r\n", value);
}

int CEPLEmulation::SetLabelWidthCMD(int dots) {
    return AppendFormatted("q%d\r\n", std::clamp(dots, 1, kMaxDots));
}

// Gap media "Qp,g[+o]", black-line media "Qp,Bg[+o]", continuous media "Qp,0".
int CEPLEmulation::SetLabelLenghtCMD(int length, int gap, int offset, bool blackMark) {
    length = std::clamp(length, 1, kMaxDots);
    gap = gap <= 0 ? 0 : std::clamp(gap, kMinGapDots, kMaxGapDots);
    offset = std::clamp(offset, 0, length);
    if (gap == 0) return AppendFormatted("Q%d,0\r\n", length);
    const char* mark = blackMark ? "B" : "";
    if (offset != 0) return AppendFormatted("Q%d,%s%d+%d\r\n", length, mark, gap, offset);
    return AppendFormatted("Q%d,%s%d\r\n", length, mark, gap);
}

// The header announces exactly the bytes that follow: a remainder of the data that does not
// fill a row would otherwise be read by the printer as commands.
int CEPLEmulation::DirectGraphicWriteCMD(int x, int y, int /*width*/, int rows, const uint8_t* data,
                                         int64_t dataLength) {
    if (data == nullptr || rows <= 0 || rows > kMaxDots || dataLength <= 0) return 0;
    const int64_t bytesPerRow = dataLength / rows;
    if (bytesPerRow == 0 || bytesPerRow > kMaxGraphicBytesPerRow) return 0;
    char header[64] = {};
    std::snprintf(header, sizeof(header), "GW%d,%d,%d,%d,\r\n", std::clamp(x, 0, kMaxDots),
                  std::clamp(y, 0, kMaxDots), static_cast<int>(bytesPerRow), rows);
    const size_t headerLength = std::strlen(header);
    const size_t dataBytes = static_cast<size_t>(bytesPerRow) * static_cast<size_t>(rows);
    std::vector<uint8_t> command;
    try {
        command.reserve(headerLength + dataBytes + 2);
    } catch (const std::exception&) {
        return 0;
    }
    command.insert(command.end(), header, header + headerLength);
    command.insert(command.end(), data, data + dataBytes);
    command.push_back('\r');
    command.push_back('\n');
    return SetCmdBuf(command.data(), static_cast<int64_t>(command.size()));
}

int CEPLEmulation::PrintCMD(int count) {
    return AppendFormatted("P%d\r\n", std::clamp(count, 1, kMaxDots));
}

int CEPLEmulation::DrawLine(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return AppendFormatted("LO%d,%d,%d,%d\r\n", std::clamp(x, 0, kMaxDots),
                           std::clamp(y, 0, kMaxDots), std::min(width, kMaxDots),
                           std::min(height, kMaxDots));
}
