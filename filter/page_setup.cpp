// The page setup steps between the raster stream and the renderer: header logging, the job's
// records on the first page, and the hand-over of a buffered page.
#include <cstdint>

#include "filter/label_job.h"
#include "log/log4z.h"

namespace {

unsigned int Low32(const void* p) {
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

void StartPage(ppd_file_t* /*ppd*/, const cups_page_header2_t* header, unsigned page) {
    if (header == nullptr) return;
    LOGD("******************************Start Page %d ******************************", page);
    LogPageHeader(*header);
}

void InitPrintSetting(unsigned page, ppd_file_t* ppd, const cups_page_header2_t* header,
                      LabelRenderer& renderer, LabelJob& job) {
    if (page != 1 || ppd == nullptr || header == nullptr) return;
    LOGD("Begin to initialize configures");
    InitalizeOemCfg(&job.cfg, ppd, header, *job.definition.settings);
    InitDevmode(&job.devMode, header);
    InitOemPDEV(&job.pdev, header);
    // A queue without an output resolution prints at the raster's own.
    if (job.cfg.sOutputXDPI == 0)
        job.cfg.sOutputXDPI = static_cast<uint16_t>(job.devMode.dmPrintQuality);
    if (job.cfg.sOutputYDPI == 0)
        job.cfg.sOutputYDPI = static_cast<uint16_t>(job.devMode.dmYResolution);
    LOGD("Initializing configures finish");
    renderer.Attach(&job.cfg, &job.devMode, &job.pdev, job.output);
    const int result = renderer.StartDocCMD();
    LOGD(job.definition.flow.startDocLogText, result);
}

bool TransPrintData(unsigned page, LabelRenderer& renderer, bool isLastPage, LabelJob& job) {
    _OEMPDEV& pdev = job.pdev;
    pdev.dwCurPageNum = page;
    LOGD("curPage is %d, bufStart is 0x%x", page, Low32(pdev.pBufStart));
    if (pdev.pBufStart == nullptr) return true;
    bool result = true;
    if (pdev.dwCurPageNum != 0) {
        LOGD("pbufstart != null && dwcurpagenum > 0");
        // The renderer may replace the buffer; whatever it leaves in pBufStart is ours again.
        result = renderer.TransCommand(isLastPage, job.input.logFlag);
    } else if (job.definition.flow.pageZeroBuffer == PageZeroBuffer::Kept) {
        return true;
    }
    if (pdev.pBufStart != nullptr) LOGD("pbufstart: 0x%x", Low32(pdev.pBufStart));
    job.DropPage();
    return result;
}
