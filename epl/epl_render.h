// The EPL2 renderer of rastomoxepl: the start of the document and each page, turned into dots
// by the shared page steps and into EPL2 commands by the command builder, then written out.
// The job flow makes a fresh renderer for the start of the document and for every page.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/output_sink.h"
#include "filter/records.h"
#include "settings/oem_cfg.h"

class CEPLRender {
  public:
    CEPLRender() = default;
    ~CEPLRender() = default;

    void SetOemCfgPointer(tagOEMCFG* cfg) { m_pOemCfg = cfg; }
    void SetDevModePointer(_DEVMODE* devMode) { m_pDevMode = devMode; }
    void SetOemPdevPointer(_OEMPDEV* pdev) { m_pOemPdev = pdev; }
    // Where the commands go; standard output until the job gives its own.
    void SetOutputSink(OutputSink* output) { m_pOutput = output; }

    // The start-of-document block: label width and length from the first page, the options.
    // 0 without settings, else 1.
    int StartDocCMD();
    // Converts and writes one page; 0 only when there is no page image.
    int TransCommand(bool isLastPage, bool logFlag);
    // Writes bytes to the output when settings are attached; false otherwise or on a failed
    // write. The flag and the name are not used.
    bool SendCommand(const void* bytes, uint32_t length, uint8_t flag, const wchar_t* name);
    // Writes a debug bitmap of a page image (only while the job's log is on).
    void LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length, int width,
                         int height, int bits);

  private:
    tagOEMCFG* m_pOemCfg = nullptr;
    _DEVMODE* m_pDevMode = nullptr;
    _OEMPDEV* m_pOemPdev = nullptr;
    OutputSink* m_pOutput = &StandardOutput();
    std::vector<uint8_t> m_graphicBytes;  // the page's packed dots, kept for the next page
};
