// The ZPL II command renderer of rastomoxzpl: one operation per ZPL command, the job's set-up
// format, and the page transfer that downloads, prints and deletes each page's graphic.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/output_sink.h"
#include "filter/records.h"
#include "settings/oem_cfg.h"
#include "zpl/z64_encode.h"

class CZPLIIRenderClass {
  public:
    // ZPL storage device prefixes by device number.
    static const char pszDiskName[4][3];

    void SetOemCfgPointer(tagOEMCFG* cfg) { m_pOemCfg = cfg; }
    void SetDevModePointer(_DEVMODE* devMode) { m_pDevMode = devMode; }
    void SetOemPdevPointer(_OEMPDEV* pdev) { m_pOemPdev = pdev; }
    // Where the commands go; standard output until the job gives its own.
    void SetOutputSink(OutputSink* output) { m_pOutput = output; }

    // Writes bytes to the output; refused (false) until the settings are attached.
    bool SendCommand(const void* bytes, uint32_t length, uint8_t flag, const wchar_t* text);
    // The job's set-up format, once per job. Returns 0.
    int StartDocCMD();
    // Converts the page in the page device record and writes its formats. False only when
    // there is no page image.
    bool TransCommand(bool isLastPage, bool logFlag);

    bool OutputRtcCMD();
    bool OutputStartFormatCMD();
    bool OutputEndFormatCMD();
    bool OutputZPLModeCMD(int mode);
    bool OutputSetResolutionCMD();
    bool OutputSpeedMD(int printSpeed, int backfeedSpeed);
    bool OutputClsBmpCMD(bool clear);
    bool OutputMirrorImgCMD(bool mirror);
    bool OutputMediaTrackingCMD();
    bool OutputLabelHomeCMD(tagPOINT home);
    bool OutputReversePrintCMD(bool reverse);
    bool OutputPaperTypeCmd(short type);
    bool OutputPrnOrientation(int inverted);
    bool OutputPrintModeCMD();
    bool OutputReprintAfterErrorCMD(bool reprint);
    bool OutputBackFeedCMD(int mode, int value);
    bool OutputGPIOCMD();
    bool OutputSaveCurrentSettingCMD();
    bool OutputABSDensityCMD(int density);
    bool OutputCRCMD();
    bool OutputLabelWidthCMD(int width);
    bool OutputLabelHeightCMD(int height);
    bool OutputFieldOriginCMD(tagPOINT origin);
    bool OutputFieldDefineEndCMD();
    bool OutputPrintCMD(int quantity, int pauseEvery, int replicates, bool override, bool unused);
    bool OutputDownloadGraphicsCMD(const uint8_t* bytes, unsigned length, unsigned bytesPerRow,
                                   int mode);
    bool OutputRecallGraphicCMD(int device, const char* name, const char* extension, int magnifyX,
                                int magnifyY);
    bool OutputDeleteFileCMD(int device, const char* name, const char* extension);
    bool OutputLabelTopCMD(int value);
    bool OutputTearOffsetCMD(int value);
    // Label width and length derived from the page geometry and the settings.
    bool OutputLabelWidthCMD();
    bool OutputLabelHeightCMD();

    // Writes a debug bitmap of a page image (only while the job's log is on).
    void LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length, int width,
                         int height, int bits);

  private:
    // Formats one command into a zero-filled 256-byte buffer and sends it up to the first zero.
    bool SendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // One label block: start, field origin, recall, field end, print quantity, end.
    void SendLabelBlock(tagPOINT origin, int quantity, int pauseEvery, int replicates);
    void SendLabels(bool isLastPage, tagPOINT origin);

    tagOEMCFG* m_pOemCfg = nullptr;
    _DEVMODE* m_pDevMode = nullptr;
    _OEMPDEV* m_pOemPdev = nullptr;
    OutputSink* m_pOutput = &StandardOutput();
    CZB64Encode m_encoder;
    std::vector<uint8_t> m_graphicBytes;  // the page's packed dots, kept for the next page
};
