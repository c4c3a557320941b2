#include "epl/epl_render.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "epl/epl_emulation.h"
#include "epl/epl_filter.h"
#include "filter/label_geometry.h"
#include "filter/page_pipeline.h"
#include "imaging/pack_bits.h"
#include "log/log4z.h"
#include "settings/units.h"

namespace {

// Fetches what the builder built with the two-call protocol: the length, then the bytes.
template <typename Build>
std::vector<uint8_t> FetchCommands(Build build) {
    int64_t length = 0;
    build(nullptr, 0, &length);
    if (length <= 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (build(bytes.data(), length, &length) != 1) return {};
    bytes.resize(static_cast<size_t>(length));
    return bytes;
}

// The page's dots packed one bit per dot (0 printed), and where the graphic goes.
struct EplGraphic {
    std::vector<uint8_t> bytes;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;  // dots packed per row
    int32_t rows = 0;
};

// Mirrored pages are reflected about the label width "q" sends when the page is its own label;
// a label sized from its content is mirrored in place.
// The dots go into `kept`, the buffer of the page before, whose memory is already mapped.
EplGraphic Pack(const HalftonedPage& page, const tagOEMCFG& cfg, std::vector<uint8_t> kept) {
    EplGraphic g;
    g.bytes = std::move(kept);
    g.bytes.clear();
    int32_t left = std::max(page.rect.left, 0);
    int32_t right = page.rect.right;
    const bool mirror = cfg.sMirror != 0;
    const bool pageIsLabel = cfg.sPaperMode != 1 && cfg.sSavePaper != 1;
    if (mirror && pageIsLabel) {
        const int32_t labelWidth =
            TenthsMmToDots(static_cast<double>(cfg.lLabelWidth), cfg.sOutputXDPI);
        const int32_t reflectedLeft = labelWidth - 1 - right;
        right = labelWidth - 1 - left;
        left = std::max(reflectedLeft, 0);
    }
    if (right < left) return g;
    const int32_t left8 = left / 8 * 8;
    const uint32_t bytesPerRow = static_cast<uint32_t>((right - left8 + 8) / 8);
    g.rows = std::max(page.rect.bottom - std::max(page.rect.top, 0) + 1, 0);
    g.width = static_cast<int32_t>(page.width);
    g.x = left8 > 0 ? left8 : 0;
    g.y = std::max(page.rect.top, 0);
    g.bytes.assign(uint64_t{bytesPerRow} * static_cast<uint32_t>(g.rows), 0xFF);
    const uint32_t rows = std::min(page.height, static_cast<uint32_t>(g.rows));
    for (uint32_t y = 0; y < rows; ++y) {
        PackDotRow(page.image.get() + uint64_t{y} * page.stride, page.width,
                   g.bytes.data() + uint64_t{y} * bytesPerRow, bytesPerRow,
                   static_cast<uint32_t>(left % 8), false, mirror);
    }
    return g;
}

}  // namespace

bool CEPLRender::SendCommand(const void* bytes, uint32_t length, uint8_t /*flag*/,
                             const wchar_t* /*name*/) {
    if (m_pOemCfg == nullptr || bytes == nullptr || m_pOutput == nullptr) return false;
    return m_pOutput->Write(bytes, length);
}

void CEPLRender::LogData2BmpFile(const char* path, const uint8_t* data, uint32_t length, int width,
                                 int height, int bits) {
    LogPageBitmap(kEplFilter.pipeline.bitmapLayout, path, data, length, width, height, bits);
}

int CEPLRender::StartDocCMD() {
    LOGD("Method StartDocCMD in");
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return 0;
    tagOEMCFG& cfg = *m_pOemCfg;
    const int64_t width = LabelWidthDots(cfg, *m_pDevMode, *m_pOemPdev);
    const PageExtent along = PageAlongFeed(cfg, *m_pDevMode, *m_pOemPdev);
    const int64_t length = along.dpi > 0 ? along.dots * cfg.sOutputYDPI / along.dpi : 0;
    // In tenths of a millimetre.
    if (cfg.sOutputXDPI > 0 && cfg.sOutputYDPI > 0) {
        cfg.lLabelWidth =
            static_cast<int64_t>(width / static_cast<double>(cfg.sOutputXDPI) * 254 + 0.5);
        cfg.lLabelLength =
            static_cast<int64_t>((length + 1) / static_cast<double>(cfg.sOutputYDPI) * 254 + 0.5);
    }
    cfg.sBackupPosition = 0;
    CLBPTREmulation builder;
    const std::vector<uint8_t> bytes = FetchCommands([&](uint8_t* out, int64_t size, int64_t* n) {
        return builder.GetStartDocCMD(&cfg, out, size, n);
    });
    if (!bytes.empty()) SendCommand(bytes.data(), static_cast<uint32_t>(bytes.size()), 0, nullptr);
    return 1;
}

int CEPLRender::TransCommand(bool isLastPage, bool logFlag) {
    LOGD("Method TransCommand in");
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return 0;
    tagOEMCFG& cfg = *m_pOemCfg;
    _OEMPDEV& pdev = *m_pOemPdev;
    const KeptPageSize kept(pdev);
    HalftonedPage page;
    const PipelineResult result =
        RunPagePipeline(kEplFilter.pipeline, cfg, *m_pDevMode, pdev, logFlag, page);
    if (result != PipelineResult::Ready) {
        return result == PipelineResult::NoPage ? 0 : 1;
    }
    EplGraphic g = Pack(page, cfg, std::move(m_graphicBytes));
    cfg.dwPageIndex = pdev.dwCurPageNum;
    cfg.sLabelCount = static_cast<uint16_t>(pdev.dwCurPageNum);
    // Copies the builder can count; a page is printed at least once.
    cfg.sCopies = static_cast<int16_t>(std::clamp<int>(pdev.sCurCopies, 1, INT16_MAX));
    CLBPTREmulation builder;
    const std::vector<uint8_t> bytes = FetchCommands([&](uint8_t* out, int64_t size, int64_t* n) {
        return builder.TransferImageData2CMD(&cfg, g.bytes.data(),
                                             static_cast<int64_t>(g.bytes.size()), g.x, g.y,
                                             g.width, g.rows, out, size, n, isLastPage);
    });
    if (!bytes.empty()) SendCommand(bytes.data(), static_cast<uint32_t>(bytes.size()), 0, nullptr);
    m_graphicBytes = std::move(g.bytes);
    return 1;
}
