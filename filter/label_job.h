// The job flow of the three label filters: arguments, input, PPD, the page loop with its
// one-page-late hand-over to the renderer, and the end of the job.
#pragma once

#include <memory>

#include "filter/job_control.h"
#include "filter/label_renderer.h"
#include "filter/page_input.h"
#include "filter/records.h"
#include "pdf/pdf_page.h"
#include "settings/oem_cfg.h"

// The job's records, owned by the page loop and read by the renderer.
extern tagOEMCFG g_oemCfg;
extern _DEVMODE g_devMode;
extern _OEMPDEV g_oemPDEV;

// Which page number the loop gives with an intermediate hand-over.
enum class HandOverNumber {
    PageJustStarted,  // one more than the page being sent
    PageBeingSent,
};

// Where the job flows of the label filters differ.
struct LabelFilterTraits {
    const char* logName;  // log file /tmp/<logName>.log
    const SettingsProfile* settings;
    std::unique_ptr<LabelRenderer> (*makeRenderer)();
    HandOverNumber intermediateNumber;
    bool intermediateFailureEndsJob;  // a false TransCommand ends the job at once
    bool finalHandOverNeedsBuffer;    // the final hand-over is skipped when nothing is buffered
    bool dropsBufferOfPageZero;       // a buffer handed over as page 0 is freed unsent
    const char* afterPageMessage;     // written to standard error after each page, or null
    const char* startDocLogText;      // logs the result of StartDocCMD
    bool removesTempPdf;              // the job's PDF in /tmp is removed at the end
    // Per-page RFID steps; null where the filter has none.
    bool (*handleRfid)(const char* title);               // false: stop the job
    int (*vxRfidJobTask)(const char* title, int jobId);  // 1: stop the job
    // PDF preprocessing of a page (see RenderPdfPage); null where the filter has none.
    bool (*renderPdfPage)(const PdfPageRequest& request, uint8_t* bits, uint32_t width,
                          uint32_t height, uint32_t stride);
};

// Page setup steps of the loop.
void StartPage(ppd_file_t* ppd, const cups_page_header2_t* header, unsigned page);
void InitPrintSetting(unsigned page, ppd_file_t* ppd, const cups_page_header2_t* header,
                      LabelRenderer& renderer, const LabelFilterTraits& traits);
// Sends the buffered page, if any, and frees it. Returns the renderer's result (true when
// nothing was sent).
bool TransPrintData(unsigned page, LabelRenderer& renderer, bool isLastPage, bool logFlag,
                    const LabelFilterTraits& traits);

// The whole job; returns the process exit status.
int RunLabelFilter(int argc, char* argv[], const LabelFilterTraits& traits);
