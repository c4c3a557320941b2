#include "filter/records.h"

#include <algorithm>
#include <cstring>

#include "filter/page_format.h"
#include "log/log4z.h"

void InitDevmode(_DEVMODE* devMode, const cups_page_header2_t* header) {
    if (devMode == nullptr || header == nullptr) return;
    std::memset(devMode, 0, sizeof(*devMode));
    devMode->dmPrintQuality = static_cast<int16_t>(header->HWResolution[0]);
    devMode->dmYResolution = static_cast<int16_t>(header->HWResolution[1]);
    devMode->dmOrientation = 1;
    devMode->dmCollate = static_cast<int16_t>(RawField(header->Collate));
    LOGD("Init dmPrintQuality: %d, dmYResolution: %d", devMode->dmPrintQuality,
         devMode->dmYResolution);
    LOGD("Init dmOrientation: %d", devMode->dmOrientation);
    LOGD("Init dmCollate: %d", devMode->dmCollate);
}

void InitOemPDEV(_OEMPDEV* pdev, const cups_page_header2_t* header) {
    if (pdev == nullptr || header == nullptr) return;
    pdev->pBufStart = nullptr;
    pdev->bmInfoHeader.biBitCount = static_cast<uint16_t>(header->cupsBitsPerPixel);
    pdev->bmInfoHeader.biWidth = pdev->srcGdiInfo.szlPhysSize.cx =
        static_cast<int32_t>(header->cupsWidth);
    pdev->bmInfoHeader.biHeight = pdev->srcGdiInfo.szlPhysSize.cy =
        static_cast<int32_t>(header->cupsHeight);
    pdev->srcGdiInfo.ulVertRes = header->cupsHeight;
    // More copies than the record holds are as many as it holds, not a wrapped-around few.
    pdev->sCurCopies = static_cast<uint16_t>(std::min<unsigned>(header->NumCopies, UINT16_MAX));
    pdev->dwPagePrinted = 0;
    pdev->dwCurPageNum = 0;
    pdev->srcGdiInfo.ptlPhysOffset = {0, 0};
    LOGD("Init bmInfoHeader.biWidth: %d", pdev->bmInfoHeader.biWidth);
    LOGD("Init bmInfoHeader.biHeight: %d", pdev->bmInfoHeader.biHeight);
    LOGD("Init bmInfoHeader.biBitCount: %d", pdev->bmInfoHeader.biBitCount);
    LOGD("Init sCurCopies: %d", pdev->sCurCopies);
    LOGD("Init dwPagePrinted: %u", pdev->dwPagePrinted);
    LOGD("Init dwCurPageNum: %u", pdev->dwCurPageNum);
    LOGD("Init srcGdiInfo.szlPhysSize.cx: %d", pdev->srcGdiInfo.szlPhysSize.cx);
    LOGD("Init srcGdiInfo.szlPhysSize.cy: %d", pdev->srcGdiInfo.szlPhysSize.cy);
    LOGD("Init srcGdiInfo.ptlPhysOffset.x: %d", pdev->srcGdiInfo.ptlPhysOffset.x);
    LOGD("Init srcGdiInfo.ptlPhysOffset.y: %d", pdev->srcGdiInfo.ptlPhysOffset.y);
    LOGD("Init srcGdiInfo.ulVertRes: %u", pdev->srcGdiInfo.ulVertRes);
}
