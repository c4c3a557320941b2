// MoxDTPrinter: the ESC/POS command sequences of a receipt job in six ordered tables, one
// for each place in the output stream. The constructor fills the fixed entries, the PPD
// options add or replace entries, and the page graphics come from the MoxESCP member.
// Sequences are kept in bracket notation ("<1B><4A><78>") and become bytes only when a part
// of the stream is asked for. The object is copyable: a page works on a copy, so that what
// building one page changes in the graphics state does not reach the next.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "filter/output_sink.h"
#include "pos/mox_escp.h"

typedef struct ppd_file_s ppd_file_t;

class MoxDTPrinter {
  public:
    MoxDTPrinter();
    virtual ~MoxDTPrinter() = default;
    MoxDTPrinter(const MoxDTPrinter&) = default;
    MoxDTPrinter& operator=(const MoxDTPrinter&) = default;

    // Fixed entries of each table (StartJobCmd and EndDocCmd have none).
    virtual void StartJobCmd();
    virtual void StartDocCmd();
    virtual void StartPageCmd();
    virtual void EndPageCmd();
    virtual void EndDocCmd();
    virtual void EndJobCmd();

    // Stream parts: each replaces `bytes` with the bytes of its tables, in key order.
    void StartDoc(std::vector<uint8_t>& bytes) const;  // start of job, start of document
    void StartPage(std::vector<uint8_t>& bytes) const;
    void EndPage(std::vector<uint8_t>& bytes) const;
    void EndDoc(std::vector<uint8_t>& bytes) const;  // end of document, end of job
    void Page(std::vector<uint8_t>& bytes) const;    // the page graphics

    // Option entries, each read from the PPD and logged.
    void SetCashMode(ppd_file_t* ppd);
    void SetBlackMarkMode(ppd_file_t* ppd);
    void SetSavePageMode(ppd_file_t* ppd);
    // Returns the "FeedingMode" choice, -1 when it is missing or negative.
    int SetFeedMode(ppd_file_t* ppd);
    void SetCutLength(ppd_file_t* ppd);
    void SetFeedLength(ppd_file_t* ppd);
    void SetResolution(int dpiX, int dpiY);

    // Writes the call of the printer's stored logo when "PrintLogo" is 0.
    void PrintLogo(ppd_file_t* ppd, OutputSink& out = StandardOutput()) const;

    // Converts a page image (24-bit blue-green-red rows, DibStride apart) to grey, moved by
    // the offsets, and builds its graphics. False when the image does not fit its header.
    bool TransCommand(const uint8_t* pixels, uint32_t length, int xOffset, int yOffset,
                      const cups_page_header2_t& header);
    // Halftones grey rows (`stride` bytes apart, height x stride bytes) and builds the
    // graphics. `pattern` names the halftone ("HT_PATSIZE_SUPERCELL_M" and the like).
    bool SetPage(const uint8_t* grey, uint32_t stride, uint32_t width, uint32_t height,
                 const char* pattern);

    bool SkipsBlankRows() const { return m_bSkipBlankRows; }
    const MoxESCP& Escp() const { return m_escp; }

  private:
    void SetLengthEntry(const char* keyword, ppd_file_t* ppd);

    MoxESCP m_escp;
    std::map<int, std::string> m_mapStartJob;
    std::map<int, std::string> m_mapEndJob;
    std::map<int, std::string> m_mapStartDoc;
    std::map<int, std::string> m_mapEndDoc;
    std::map<int, std::string> m_mapStartPage;
    std::map<int, std::string> m_mapEndPage;
    bool m_bSkipBlankRows = false;
};
