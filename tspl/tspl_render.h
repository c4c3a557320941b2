// The TSPL command renderer of rastomoxtspl: one operation per TSPL command, the job's
// set-up commands, and the page transfer that sends each page as one BITMAP and prints it
// with the cutter steered before each PRINT.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/output_sink.h"
#include "filter/records.h"
#include "imaging/bitmap_types.h"
#include "settings/oem_cfg.h"

// Where BITMAP moves the graphic, in dots: the horizontal and vertical offsets (0.1 mm) and the
// end allowance (mm), up or left for a direction of 1.
tagPOINT BitmapShift(const tagOEMCFG& cfg);

class CTSPLRenderClass {
  public:
    void SetOemCfgPointer(tagOEMCFG* cfg) { m_pOemCfg = cfg; }
    void SetDevModePointer(_DEVMODE* devMode) { m_pDevMode = devMode; }
    void SetOemPdevPointer(_OEMPDEV* pdev) { m_pOemPdev = pdev; }
    // Where the commands go; standard output until the job gives its own.
    void SetOutputSink(OutputSink* output) { m_pOutput = output; }

    // Writes bytes to the output; refused (false) until the settings are attached. The flag
    // and the text are not used.
    bool SendCommand(const void* bytes, uint32_t length, uint8_t flag, const wchar_t* text);
    // The job's set-up commands, once per job. False as soon as a command could not be
    // written.
    bool StartDocCMD();
    // Converts the page in the page device record and writes its commands. False only when
    // there is no page image.
    bool TransCommand(bool isLastPage, bool logFlag);

    // Each command operation writes exactly one command (or nothing where its value has no
    // command) and returns false only when the settings are not attached or the write failed.
    bool OutputCRCMD();
    bool OutPutCLSCommand();
    bool OutPutSizeCommand(int width, int height);
    bool OutputGapCmd(short height, short offset);
    bool OutputBLineCmd(short height, short offset);
    bool OutputPaperTypeCmd(short type);
    bool OutputPeelCmd(short value);
    bool OutputTearCmd(short value);
    bool OutputCutterCmd(long pieces);
    bool OutputFeedLenCmd(long tenths);
    bool OutPutREFERENCECommand(tagPOINT point);
    bool OutPutDIRECTIONCommand(bool direction, bool mirror);
    bool OutPutDensityCommand(int density);
    bool OutPutSpeedCommand(int speed);
    bool OutPutBITMAPCommand(tagRECT& rect);
    bool OutPutCopiesCommand(long copies);
    // The label size derived from the first page's geometry, stored in the page device record.
    bool OutPutSizeCommand();
    // The cutter from the cut method when the mode is the cutter, else off.
    bool OutPutOperationMode();

    // Writes a debug bitmap of a page image (only while the job's log is on).
    void LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length, int width,
                         int height, int bits);

  private:
    // Formats one command and sends it up to its end.
    bool SendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool SendLengthPair(const char* command, short first, short second);
    // BITMAP with the graphic, a line end and PRINT 1,n.
    void PrintLabels(tagRECT& rect, const uint8_t* graphic, uint32_t size, long copies);
    void PrintWithCutter(tagRECT& rect, const uint8_t* graphic, uint32_t size, bool isLastPage);

    tagOEMCFG* m_pOemCfg = nullptr;
    _DEVMODE* m_pDevMode = nullptr;
    _OEMPDEV* m_pOemPdev = nullptr;
    OutputSink* m_pOutput = &StandardOutput();
    std::vector<uint8_t> m_graphicBytes;  // the page's packed dots, kept for the next page
};
