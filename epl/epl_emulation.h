// The EPL2 command builder: turns the printer settings record and a finished one-bit page into
// the text of an EPL2 command stream. Each command method appends one command to the builder's
// buffer; the caller fetches the bytes with the two-call protocol (first call without an out
// buffer to learn the length, second call with a buffer of that length) and writes them to
// the printer itself. The builder never writes to the output.
#pragma once

#include <cstdint>
#include <vector>

#include "settings/oem_cfg.h"

// Hardware options of the EPL "O" command.
struct _HWOPT {
    uint8_t bCutter;         // option "C"
    int32_t nCutCount;       // labels between cuts; above 1 written after the "C"
    uint8_t bDirectThermal;  // option "D"
    uint8_t bPeel;           // option "P": label dispenser
};

class CEPLEmulation {
  public:
    // EPL code page identifiers by index, for the "I" command.
    static const char m_lpCodePageString[20][3];

    CEPLEmulation();
    virtual ~CEPLEmulation() = default;
    CEPLEmulation(const CEPLEmulation&) = delete;
    CEPLEmulation& operator=(const CEPLEmulation&) = delete;

    // Appends the bytes; 0 and nothing appended for null data, a negative length or no memory.
    int SetCmdBuf(const void* data, int64_t length);
    int ClearCmdBuf();
    // Copies the buffered bytes when `out` holds them (1); otherwise stores the needed length
    // and returns 0. The buffer stays.
    int GetOutputData(uint8_t* out, int64_t outSize, int64_t* outLength) const;

    int ClearPrinterImgBufCMD();
    int SetPtrCharSetCMD(int dataBits, int codePage);
    int SetWindowModeCMD(int on);
    int SetPrintDirectionCMD(int direction);
    int SetPrinterSpeed(int speed);
    int SetPrinterDensity(int density);
    int SetPrinterOptionsCMD(const _HWOPT* options);
    int EnableBackupTopCMD(bool enable);
    int SetBackupPositionCMD(int dots);
    int SetCutPositionCMD(int value);
    int SetLabelWidthCMD(int dots);
    int SetLabelLenghtCMD(int length, int gap, int offset, bool blackMark);
    int DirectGraphicWriteCMD(int x, int y, int width, int rows, const uint8_t* data,
                              int64_t dataLength);
    int PrintCMD(int count);
    int DrawLine(int x, int y, int width, int height);

    // The start-of-document block. A repeated call with settings equal byte for byte to those
    // of the last build hands out the same bytes without building them again.
    int GetStartDocCMD(tagOEMCFG* settings, uint8_t* out, int64_t outSize, int64_t* outLength);
    // One page: label size (per-page size modes), the graphic at (x, y) moved by the offsets,
    // print and cutter commands.
    // Handing the bytes out also copies the page counters back into `settings`.
    int TransferPageData2CMD(tagOEMCFG* settings, const uint8_t* data, int64_t dataLength, int x,
                             int y, int width, int rows, uint8_t* out, int64_t outSize,
                             int64_t* outLength, bool lastPage);

    int64_t CmdLen() const { return static_cast<int64_t>(m_pCmdBuf.size()); }

  private:
    int AppendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int HandOutPage(tagOEMCFG* settings, uint8_t* out, int64_t outSize, int64_t* outLength);
    void BuildStartDoc();
    bool BuildPage(const uint8_t* data, int64_t dataLength, int x, int y, int width, int rows,
                   bool lastPage);
    void AppendPageLabelSize(int width, int rows);
    void AppendLabelLength(int64_t lengthDots, int dpi);
    void AppendForm(int x, int y, int width, int rows, const uint8_t* data, int64_t dataLength,
                    int copies);
    void AppendGraphic(int x, int y, int width, int rows, const uint8_t* data, int64_t dataLength);
    void AppendBand(int x, int y, int width, int rows, const uint8_t* data, int64_t bytesPerRow);
    void AppendCutterPage(int x, int y, int width, int rows, const uint8_t* data,
                          int64_t dataLength, int copies, bool lastPage);
    void AppendCutterStart(const _HWOPT& options);
    _HWOPT CutterOptions(bool cutter, int cutCount) const;

    std::vector<uint8_t> m_pCmdBuf;  // command bytes built so far
    bool m_bStartDocBuilt;           // the buffer holds the start of document built from m_oemCfg
    bool m_bPageBuilt;               // the buffer holds a page not yet handed out
    tagOEMCFG m_oemCfg;              // the settings the buffered commands were built from
};

// The builder the EPL renderer uses: refuses a page without settings.
class CLBPTREmulation : public CEPLEmulation {
  public:
    int TransferImageData2CMD(tagOEMCFG* settings, const uint8_t* data, int64_t dataLength, int x,
                              int y, int width, int rows, uint8_t* out, int64_t outSize,
                              int64_t* outLength, bool lastPage);
};
