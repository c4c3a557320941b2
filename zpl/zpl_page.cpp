// The ZPL page transfer: the page image becomes a Z64 graphic downloaded to the printer's
// memory, printed as many times as the copies ask with the cutter rules, then deleted.
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "filter/page_pipeline.h"
#include "imaging/pack_bits.h"
#include "log/log4z.h"
#include "settings/units.h"
#include "zpl/zpl_filter.h"
#include "zpl/zpl_render.h"

namespace {

// The page's dots packed one bit per dot (1 printed), with where they came from.
struct ZplGraphic {
    std::vector<uint8_t> bytes;
    uint32_t bytesPerRow = 0;
    uint32_t rows = 0;
    int32_t widthField = 0;  // dots from the byte-aligned left edge to the right edge
    int32_t left = 0;        // first dot column
    int32_t top = 0;
};

// Mirrored pages are reflected about the label width sent with ^PW when the page is its own
// label; a label cut to its content is mirrored in place. Mirrored rows start at bit 0, so
// that the field origin at the reflected left edge puts every dot inside the label.
// The dots go into `kept`, the buffer of the page before, whose memory is already mapped.
ZplGraphic Pack(const HalftonedPage& page, bool mirror, int32_t labelWidth, bool pageIsLabel,
                std::vector<uint8_t> kept) {
    ZplGraphic g;
    g.bytes = std::move(kept);
    int32_t left = std::max(page.rect.left, 0);
    int32_t right = page.rect.right;
    if (mirror && pageIsLabel) {
        const int32_t reflectedLeft = labelWidth - 1 - right;
        right = labelWidth - 1 - left;
        left = std::max(reflectedLeft, 0);
    }
    const int32_t left8 = left / 8 * 8;
    g.left = left;
    g.top = std::max(page.rect.top, 0);
    g.bytesPerRow = static_cast<uint32_t>((right - left8 + 8) / 8);
    g.rows = static_cast<uint32_t>(page.rect.bottom - g.top + 1);
    g.widthField = right - left8 + 1;
    g.bytes.assign(uint64_t{g.bytesPerRow} * g.rows, 0);
    const uint32_t rows = std::min(page.height, g.rows);
    for (uint32_t y = 0; y < rows; ++y) {
        PackDotRow(page.image.get() + uint64_t{y} * page.stride, page.width,
                   g.bytes.data() + uint64_t{y} * g.bytesPerRow, g.bytesPerRow,
                   mirror ? 0 : static_cast<uint32_t>(left % 8), true, mirror);
    }
    return g;
}

}  // namespace

void CZPLIIRenderClass::LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length,
                                        int width, int height, int bits) {
    LogPageBitmap(kZplFilter.pipeline.bitmapLayout, path, data, length, width, height, bits);
}

void CZPLIIRenderClass::SendLabelBlock(tagPOINT origin, int quantity, int pauseEvery,
                                       int replicates) {
    OutputStartFormatCMD();
    OutputFieldOriginCMD(origin);
    OutputCRCMD();
    OutputRecallGraphicCMD(0, nullptr, nullptr, 1, 1);
    OutputFieldDefineEndCMD();
    OutputCRCMD();
    OutputPrintCMD(quantity, pauseEvery, replicates, true, false);
    OutputEndFormatCMD();
}

// The label blocks of a page: its copies, with the cutter handled by the cut method.
void CZPLIIRenderClass::SendLabels(bool isLastPage, tagPOINT origin) {
    tagOEMCFG& cfg = *m_pOemCfg;
    const int16_t copies = cfg.sCopies;
    const int16_t interval = static_cast<int16_t>(cfg.sIntervalValue);
    uint32_t& printed = m_pOemPdev->dwPagePrinted;
    if (cfg.sFeedModel != 3) cfg.dwOperationModeAfterPrn = 0;
    switch (cfg.dwOperationModeAfterPrn) {
        case 1:
            SendLabelBlock(origin, copies, 1, 1);
            printed += copies;
            return;
        case 2:
            if (copies > 1) {
                SendLabelBlock(origin, copies, copies, 1);
            } else {
                SendLabelBlock(origin, 1, isLastPage ? 1 : 0, 1);
                printed += 1;
            }
            return;
        case 3:
            break;
        default:
            // Without a cutter, and for a cut method the printer has no rule for, the labels
            // are printed without cutting rather than not at all.
            SendLabelBlock(origin, copies, 0, copies);
            printed += copies;
            return;
    }
    // Cut method 3: a cut after every `interval` labels, counted across the whole job.
    if (interval <= 1) {
        SendLabelBlock(origin, copies, interval, 1);
        printed += copies;
        return;
    }
    if (copies <= 1) {
        printed += 1;
        SendLabelBlock(origin, 1, isLastPage || printed % interval == 0 ? 1 : 0, 1);
        return;
    }
    int n = copies;
    if (printed % interval != 0) {
        const int open = interval - static_cast<int>(printed % interval);
        n = copies - open;
        if (n <= 0) {
            SendLabelBlock(origin, copies, n == 0 || isLastPage ? copies : 0, 1);
            printed += copies;
            return;
        }
        SendLabelBlock(origin, open, open, 1);
        printed += open;
    }
    if (n / interval > 0) {
        SendLabelBlock(origin, n / interval * interval, interval, 1);
        printed += n / interval * interval;
    }
    const int rest = n % interval;
    if (rest > 0) {
        SendLabelBlock(origin, rest, isLastPage ? rest : 0, 1);
        printed += rest;
    }
}

bool CZPLIIRenderClass::TransCommand(bool isLastPage, bool logFlag) {
    LOGD("Method TransCommand in");
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return false;
    tagOEMCFG& cfg = *m_pOemCfg;
    _OEMPDEV& pdev = *m_pOemPdev;
    const KeptPageSize kept(pdev);
    HalftonedPage page;
    const PipelineResult result =
        RunPagePipeline(kZplFilter.pipeline, cfg, *m_pDevMode, pdev, logFlag, page);
    if (result != PipelineResult::Ready) {
        return result != PipelineResult::NoPage;
    }

    // Placement and label size.
    const bool pageIsLabel = cfg.sPaperMode == 0 && cfg.sSavePaper == 0;
    const int32_t pageLabelWidth = pdev.bmInfoHeader.biWidth + 9;
    ZplGraphic g =
        Pack(page, cfg.sMirror != 0, pageLabelWidth, pageIsLabel, std::move(m_graphicBytes));
    const int32_t xShift = std::max(page.xShift, 0);
    const int32_t yShift = std::max(page.yShift, 0);
    const int32_t margins =
        MmToDots(cfg.dwStartOffsetValue + cfg.dwEndOffsetValue, cfg.sOutputYDPI);
    const int32_t shiftedMargins =
        MmToDots(static_cast<double>(BoundedShiftMm(cfg.sVtcOffset) + cfg.dwStartOffsetValue +
                                     cfg.dwEndOffsetValue),
                 cfg.sOutputYDPI);
    tagPOINT origin{};
    int32_t labelWidth;
    int32_t labelLength;
    if (pageIsLabel) {
        origin = {g.left + xShift, g.top + yShift};
        labelWidth = pageLabelWidth;
        labelLength = pdev.bmInfoHeader.biHeight + 9 + margins;
        LOGD("rectTmp.left: %d", g.left);
        LOGD("rectTmp.top: %d", g.top);
    } else {
        const int32_t keep = cfg.sPaperMode == 0 ? 1 - static_cast<int32_t>(cfg.sSavePaper) : 0;
        origin = cfg.sPaperMode == 0 ? tagPOINT{keep * g.left + xShift, keep * g.top + yShift}
                                     : tagPOINT{page.xShift >= 0 ? 2 * page.xShift : 0, yShift};
        labelWidth = g.widthField + 9 + std::abs(2 * page.xShift);
        labelLength = static_cast<int32_t>(g.rows) + 9 + shiftedMargins;
        if (cfg.sPaperMode == 0) {
            LOGD("rectTmp.left: %d", g.left);
            LOGD("rectTmp.top: %d", g.top);
        }
    }
    origin.y += MmToDots(cfg.dwEndOffsetValue, cfg.sOutputYDPI);

    OutputStartFormatCMD();
    OutputLabelWidthCMD(labelWidth);
    OutputCRCMD();
    OutputLabelHeightCMD(labelLength);
    OutputCRCMD();
    OutputEndFormatCMD();
    pdev.dwLabelWidth = static_cast<uint32_t>(labelWidth);
    pdev.dwLabelHeight = static_cast<uint32_t>(labelLength);
    OutputDownloadGraphicsCMD(g.bytes.data(), static_cast<unsigned>(g.bytes.size()), g.bytesPerRow,
                              0);
    // Copies the settings record holds; a page is printed at least once.
    cfg.sCopies = static_cast<int16_t>(std::clamp<int>(pdev.sCurCopies, 1, INT16_MAX));
    SendLabels(isLastPage, origin);
    OutputStartFormatCMD();
    OutputDeleteFileCMD(0, nullptr, nullptr);
    OutputEndFormatCMD();

    LOGD("lpDataBuf: 0x%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(g.bytes.data())));
    LOGD("lpDataBuf2: 0x%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(page.image.get())));
    m_graphicBytes = std::move(g.bytes);
    return true;
}
