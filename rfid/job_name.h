// RFID tag data carried in the job title: "...wwRFID_<area><type><data>". The ZPL filter writes
// it as an RFID write frame ahead of each page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter/output_sink.h"
#include "rfid/rfid_step.h"

class ParseJobName {
  public:
    static constexpr const char* S_RFID_FLAG = "wwRFID";

    explicit ParseJobName(std::string title);

    bool IsRfid() const { return !m_strFlag.empty(); }
    // 1 ASCII text, 2 hexadecimal digits, 3 invalid or no RFID field.
    int DataType() const;
    // The data text; a NUL byte is appended when its length is odd.
    std::string DataAscii() const;
    // The hexadecimal digits as bytes, padded with "0" up to the next multiple of four digits.
    std::vector<uint8_t> DataHex() const;
    // The tag data of the title's data type; empty when it has none.
    std::vector<uint8_t> Data() const;
    static uint8_t HexToNum(const char digits[2]);
    // The printer's RFID write frame: FF, length, FF, command, data.
    std::vector<uint8_t> GetRfidCmd() const;

  private:
    void Parse();
    std::string DataText() const;

    std::string m_strTitle;
    std::string m_strOther;  // stays empty
    std::string m_strFlag;   // "wwRFID" when the title carries it
    std::string m_strRfid;   // the field after the first "_" that follows the marker
    int m_nArea = 4;         // memory area 1, 3 or 4
};

// Per-page step of the ZPL filter: writes the title's RFID frame to the output. Failed when
// the title carries the RFID marker but no usable tag data (no field, an unknown data type, no
// data, more data than one frame holds).
RfidStep HandleRfidStep(const char* title, OutputSink& out = StandardOutput());
