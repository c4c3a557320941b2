// The page setup steps between the raster stream and the renderer: header logging, the job's
// records on the first page, and the hand-over of a buffered page.
#include <cstdint>
#include <cstdlib>

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
                      LabelRenderer& renderer, const LabelFilterTraits& traits) {
    if (page != 1 || ppd == nullptr || header == nullptr) return;
    LOGD("Begin to initialize configures");
    InitalizeOemCfg(&g_oemCfg, ppd, header, *traits.settings);
    InitDevmode(&g_devMode, header);
    InitOemPDEV(&g_oemPDEV, header);
    LOGD("Initializing configures finish");
    renderer.Attach(&g_oemCfg, &g_devMode, &g_oemPDEV);
    const int result = renderer.StartDocCMD();
    LOGD(traits.startDocLogText, result);
}

bool TransPrintData(unsigned page, LabelRenderer& renderer, bool isLastPage, bool logFlag,
                    const LabelFilterTraits& traits) {
    g_oemPDEV.dwCurPageNum = page;
    LOGD("curPage is %d, bufStart is 0x%x", page, Low32(g_oemPDEV.pBufStart));
    if (g_oemPDEV.pBufStart == nullptr) return true;
    bool result = true;
    if (g_oemPDEV.dwCurPageNum != 0) {
        LOGD("pbufstart != null && dwcurpagenum > 0");
        // The renderer may replace the buffer; whatever it leaves in pBufStart is ours again.
        result = renderer.TransCommand(isLastPage, logFlag);
    } else if (!traits.dropsBufferOfPageZero) {
        return true;
    }
    if (g_oemPDEV.pBufStart != nullptr) {
        LOGD("pbufstart: 0x%x", Low32(g_oemPDEV.pBufStart));
        std::free(g_oemPDEV.pBufStart);
        g_oemPDEV.pBufStart = nullptr;
    }
    return result;
}
