// The TSPL page transfer: the page image becomes one BITMAP of the label, printed with the
// copies the job asks for and, with the cutter, the cut after the labels the cut method names.
#include <algorithm>
#include <utility>
#include <vector>

#include "filter/label_geometry.h"
#include "filter/page_pipeline.h"
#include "imaging/pack_bits.h"
#include "log/log4z.h"
#include "settings/units.h"
#include "tspl/tspl_filter.h"
#include "tspl/tspl_render.h"

namespace {

// The page's dots packed one bit per dot (0 printed), with the rectangle BITMAP places.
struct TsplGraphic {
    std::vector<uint8_t> bytes;
    tagRECT rect{};
};

// The label the page prints on: SIZE width and height, where the dots go on it, and the
// image dots (columns, rows) that a shift up or left pushes off the label. Mirrored pages are
// reflected about the label width that SIZE sends.
struct TsplLabel {
    int32_t width = 0;
    int32_t height = 0;
    tagRECT rect{};
    int32_t skippedColumns = 0;
    int32_t skippedRows = 0;
};

TsplLabel PlaceOnLabel(const HalftonedPage& page, const tagOEMCFG& cfg, const _DEVMODE& dm,
                       const _OEMPDEV& pdev) {
    TsplLabel label;
    const int32_t left = std::max(page.rect.left, 0);
    const int32_t top = std::max(page.rect.top, 0);
    const int32_t left8 = left / 8 * 8;
    int32_t widthField = page.rect.right - left8 + 1;
    const int32_t rows = page.rect.bottom - top + 1;
    label.rect = {left, top, page.rect.right, page.rect.bottom};
    if (cfg.sSavePaper == 1 || cfg.sPaperMode == 1) {
        // The label is sized from the page; a page wider than the print width is cut there.
        const PageExtent across = PageAcrossHead(cfg, dm, pdev);
        const int64_t pageWidth =
            across.dpi > 0 ? RoundUpTo8(across.dots * cfg.sOutputXDPI / across.dpi) : 0;
        const int64_t limit = PrintWidthLimitDots(cfg);
        if (limit > 0 && pageWidth > limit) widthField = static_cast<int32_t>(limit);
        label.width = widthField + left8;
        label.height = rows - 1 + 9;
        label.rect.top = 0;
        label.rect.bottom = rows - 1;
    } else {
        label.width = widthField + left8;
        label.height = top + rows;
    }
    if (cfg.sMirror != 0) {
        const int32_t reflectedLeft = label.width - 1 - label.rect.right;
        label.rect.right = label.width - 1 - left;
        label.rect.left = std::max(reflectedLeft, 0);
    }
    // BITMAP cannot start above or left of the label: what a shift puts there is cut off, so
    // that the rest still lands where the shift puts it. Whole bytes of the row go first.
    const tagPOINT shift = BitmapShift(cfg);
    const int32_t width = label.rect.right - label.rect.left + 1;
    label.skippedColumns = std::clamp<int32_t>(
        static_cast<int32_t>(RoundUpTo8(std::max(-shift.x, 0))) - label.rect.left, 0, width);
    label.skippedRows = std::clamp(-(label.rect.top + shift.y), 0, rows);
    label.rect.left += label.skippedColumns;
    label.rect.top += label.skippedRows;
    // A page shifted off the label entirely still sends one blank byte of bitmap.
    label.rect.right = std::max(label.rect.right, label.rect.left);
    label.rect.bottom = std::max(label.rect.bottom, label.rect.top);
    return label;
}

// The dots go into `kept`, the buffer of the page before, whose memory is already mapped.
TsplGraphic Pack(const HalftonedPage& page, const TsplLabel& label, bool mirror,
                 std::vector<uint8_t> kept) {
    TsplGraphic g;
    g.bytes = std::move(kept);
    const tagRECT& rect = label.rect;
    g.rect = rect;
    const int32_t left8 = rect.left / 8 * 8;
    const uint32_t bytesPerRow = static_cast<uint32_t>(std::max((rect.right - left8 + 8) / 8, 1));
    const uint32_t rows = static_cast<uint32_t>(std::max(rect.bottom - rect.top + 1, 1));
    g.bytes.assign(uint64_t{bytesPerRow} * rows, 0xFF);
    // Mirrored rows are read from their right end, so their skipped dots lie at the end.
    const uint32_t skipped = std::min<uint32_t>(label.skippedColumns, page.width);
    const uint32_t firstDot = mirror ? 0 : skipped;
    for (uint32_t y = 0; y < rows && y + label.skippedRows < page.height; ++y) {
        const uint8_t* dots = page.image.get() + uint64_t{y + label.skippedRows} * page.stride;
        PackDotRow(dots + firstDot, page.width - skipped,
                   g.bytes.data() + uint64_t{y} * bytesPerRow, bytesPerRow,
                   static_cast<uint32_t>(rect.left % 8), false, mirror);
    }
    return g;
}

}  // namespace

void CTSPLRenderClass::LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length,
                                       int width, int height, int bits) {
    LogPageBitmap(kTsplFilter.pipeline.bitmapLayout, path, data, length, width, height, bits);
}

void CTSPLRenderClass::PrintLabels(tagRECT& rect, const uint8_t* graphic, uint32_t size,
                                   long copies) {
    OutPutBITMAPCommand(rect);
    SendCommand(graphic, size, 0, nullptr);
    OutputCRCMD();
    OutPutCopiesCommand(copies);
    m_pOemPdev->dwPagePrinted += static_cast<uint32_t>(copies);
}

// The cut rules: K copies of this page, a cut after every I labels counted across the job
// (cut method 3), after the job's last label (2) or after every label (1).
void CTSPLRenderClass::PrintWithCutter(tagRECT& rect, const uint8_t* graphic, uint32_t size,
                                       bool isLastPage) {
    const tagOEMCFG& cfg = *m_pOemCfg;
    uint32_t& printed = m_pOemPdev->dwPagePrinted;
    const long copies = std::max<long>(m_pOemPdev->sCurCopies, 1);
    const long interval = cfg.sIntervalValue;
    const uint32_t page = m_pOemPdev->dwCurPageNum;
    const auto print = [&](long n) { PrintLabels(rect, graphic, size, n); };
    switch (cfg.dwOperationModeAfterPrn) {
        case 1:
            if (page == 1) OutputCutterCmd(1);
            print(copies);
            return;
        case 2:
            if (isLastPage) {
                OutputCutterCmd(copies >= 2 ? copies : 1);
            } else if (page == 1) {
                OutputCutterCmd(0);
            }
            print(copies);
            return;
        case 3:
            break;
        default:
            // No cut rule for this method: the labels are printed without cutting.
            print(copies);
            return;
    }
    if (interval <= 0) {
        OutputCutterCmd(isLastPage ? 1 : 0);
        print(copies);
        return;
    }
    if (copies <= 1) {
        if ((copies + printed) % interval == 0 || isLastPage) {
            if (interval != 1 || page == 1) OutputCutterCmd(1);
        } else if ((page - 1) % interval == 0) {
            OutputCutterCmd(0);
        }
        print(1);
        return;
    }
    const long n = static_cast<long>(printed % interval) + copies;
    for (long done = 0; done < n / interval; ++done) {
        // The label that closes an interval is printed alone with the cutter on.
        const long before = interval - 1 - static_cast<long>(printed % interval);
        if (before > 0) {
            OutputCutterCmd(0);
            print(before);
        }
        OutputCutterCmd(1);
        print(1);
    }
    long rest = n % interval;
    if (rest == 0) return;
    if (isLastPage) --rest;
    if (rest > 0) {
        OutputCutterCmd(0);
        print(rest);
    }
    if (isLastPage) {
        OutputCutterCmd(1);
        print(1);
    }
}

bool CTSPLRenderClass::TransCommand(bool isLastPage, bool logFlag) {
    LOGD("Method TransCommand in");
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return false;
    tagOEMCFG& cfg = *m_pOemCfg;
    _OEMPDEV& pdev = *m_pOemPdev;
    LOGD("page width: %d, height: %d, buffer length: %u", pdev.bmInfoHeader.biWidth,
         pdev.bmInfoHeader.biHeight, pdev.dwBufSize);
    const KeptPageSize kept(pdev);
    HalftonedPage page;
    const PipelineResult result =
        RunPagePipeline(kTsplFilter.pipeline, cfg, *m_pDevMode, pdev, logFlag, page);
    if (result != PipelineResult::Ready) {
        return result != PipelineResult::NoPage;
    }
    const TsplLabel label = PlaceOnLabel(page, cfg, *m_pDevMode, pdev);
    TsplGraphic g = Pack(page, label, cfg.sMirror != 0, std::move(m_graphicBytes));
    tagRECT rect = g.rect;
    const uint32_t size = static_cast<uint32_t>(g.bytes.size());

    OutPutCLSCommand();
    OutPutSizeCommand(label.width, label.height);
    if (cfg.dwOperationAfterPrn == 4) {
        PrintWithCutter(rect, g.bytes.data(), size, isLastPage);
    } else {
        PrintLabels(rect, g.bytes.data(), size, std::max<long>(pdev.sCurCopies, 1));
    }
    m_graphicBytes = std::move(g.bytes);
    return true;
}
