// TSPL commands: each operation formats exactly one command and writes it.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "filter/label_geometry.h"
#include "log/log4z.h"
#include "settings/units.h"
#include "tspl/tspl_render.h"

namespace {

// What a TSPL printer accepts: densities 0 to 15, speeds up to 18 inches per second, label
// sizes up to 300 mm across and 3 m long, and a print count below a billion.
constexpr int kMaxDensity = 15;
constexpr int kMaxSpeed = 18;
constexpr double kMaxLabelWidthMm = 300.0;
constexpr double kMaxLabelLengthMm = 3000.0;
constexpr long kMaxCopies = 999999999;

// A length in tenths of a millimetre as TSPL writes millimetres: whole ones as integers,
// others with one decimal.
void FormatTenths(char* text, size_t size, long tenths) {
    if (tenths % 10 == 0) {
        std::snprintf(text, size, "%ld", tenths / 10);
    } else {
        std::snprintf(text, size, "%0.1f", static_cast<float>(tenths) / 10.0f);
    }
}

int Clamp(long value, long low, long high) {
    return static_cast<int>(std::clamp(value, low, high));
}

}  // namespace

bool CTSPLRenderClass::SendCommand(const void* bytes, uint32_t length, uint8_t /*flag*/,
                                   const wchar_t* /*text*/) {
    if (m_pOemCfg == nullptr || bytes == nullptr || m_pOutput == nullptr) return false;
    return m_pOutput->Write(bytes, length);
}

bool CTSPLRenderClass::SendFormatted(const char* format, ...) {
    char command[260] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(command, sizeof(command), format, args);
    va_end(args);
    LOGD("Command: %s", command);
    return SendCommand(command, static_cast<uint32_t>(std::strlen(command)), 0, nullptr);
}

bool CTSPLRenderClass::OutputCRCMD() {
    return SendFormatted("\r\n");
}

bool CTSPLRenderClass::OutPutCLSCommand() {
    LOGD("Method OutPutCLSCommand in");
    return SendFormatted("CLS\r\n");
}

bool CTSPLRenderClass::OutPutSizeCommand(int width, int height) {
    LOGD("Method OutPutSizeCommand in");
    if (m_pOemCfg == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    const double allowances = cfg.dwStartOffsetValue + cfg.dwEndOffsetValue;
    static const double kFixedLengthsMm[] = {297.0, 210.0, 148.0};
    const long length =
        cfg.dwFixedHeight >= 1 && cfg.dwFixedHeight <= 3
            ? MmToDots(kFixedLengthsMm[cfg.dwFixedHeight - 1] + allowances, cfg.sOutputYDPI)
            : static_cast<long>(height) + MmToDots(allowances, cfg.sOutputYDPI);
    const int w = Clamp(width, 1, MmToDots(kMaxLabelWidthMm, cfg.sOutputXDPI));
    const int h = Clamp(length, 1, MmToDots(kMaxLabelLengthMm, cfg.sOutputYDPI));
    if (m_pOemPdev != nullptr) {
        m_pOemPdev->dwLabelWidth = static_cast<uint32_t>(w);
        m_pOemPdev->dwLabelHeight = static_cast<uint32_t>(h);
    }
    return SendFormatted("SIZE %d dot,%d dot\r\n", w, h);
}

bool CTSPLRenderClass::OutPutSizeCommand() {
    LOGD("Method OutPutSizeCommand in");
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    const int64_t width = LabelWidthDots(cfg, *m_pDevMode, *m_pOemPdev);
    const PageExtent along = PageAlongFeed(cfg, *m_pDevMode, *m_pOemPdev);
    if (width <= 0 || along.dpi <= 0) return false;
    const int64_t length = along.dots * cfg.sOutputYDPI / along.dpi + 1;
    const int w = Clamp(width, 1, MmToDots(kMaxLabelWidthMm, cfg.sOutputXDPI));
    const int h = Clamp(length, 1, MmToDots(kMaxLabelLengthMm, cfg.sOutputYDPI));
    m_pOemPdev->dwLabelWidth = static_cast<uint32_t>(w);
    m_pOemPdev->dwLabelHeight = static_cast<uint32_t>(h);
    return SendFormatted("SIZE %d dot,%d dot\r\n", w, h);
}

bool CTSPLRenderClass::SendLengthPair(const char* command, short first, short second) {
    char a[32];
    char b[32];
    FormatTenths(a, sizeof(a), first);
    FormatTenths(b, sizeof(b), second);
    return SendFormatted("%s %s mm,%s mm\r\n", command, a, b);
}

bool CTSPLRenderClass::OutputGapCmd(short height, short offset) {
    LOGD("Method OutputGapCmd in");
    return SendLengthPair("GAP", height, offset);
}

bool CTSPLRenderClass::OutputBLineCmd(short height, short offset) {
    LOGD("Method OutputBLineCmd in");
    return SendLengthPair("BLINE", height, offset);
}

bool CTSPLRenderClass::OutputPaperTypeCmd(short type) {
    LOGD("Method OutputPaperTypeCmd in");
    if (type == 1) return SendFormatted("SET RIBBON OFF\r\n");
    if (type == 2) return SendFormatted("SET RIBBON ON\r\n");
    return SendFormatted("%s", "");
}

bool CTSPLRenderClass::OutputPeelCmd(short value) {
    LOGD("Method OutputPeelCmd in");
    if (value == 0) return SendFormatted("SET PEEL OFF\r\n");
    if (value == 1) return SendFormatted("SET PEEL ON\r\n");
    return SendFormatted("%s", "");
}

bool CTSPLRenderClass::OutputTearCmd(short value) {
    LOGD("Method OutputTearCmd in");
    if (value == 0) return SendFormatted("SET TEAR OFF\r\n");
    if (value == 1) return SendFormatted("SET TEAR ON\r\n");
    return SendFormatted("%s", "");
}

bool CTSPLRenderClass::OutputCutterCmd(long pieces) {
    LOGD("Method OutputCutterCmd in");
    if (pieces <= 0) return SendFormatted("SET CUTTER OFF\r\n");
    return SendFormatted("SET CUTTER %d\r\n", Clamp(pieces, 1, kMaxCopies));
}

bool CTSPLRenderClass::OutputFeedLenCmd(long tenths) {
    LOGD("Method OutputFeedLenCmd in");
    char mm[32];
    FormatTenths(mm, sizeof(mm), tenths);
    return SendFormatted("OFFSET %s mm\r\n", mm);
}

bool CTSPLRenderClass::OutPutREFERENCECommand(tagPOINT point) {
    LOGD("Method OutPutREFERENCECommand in");
    return SendFormatted("REFERENCE %d,%d\r\n", point.x, point.y);
}

bool CTSPLRenderClass::OutPutDIRECTIONCommand(bool direction, bool mirror) {
    LOGD("Method OutPutDIRECTIONCommand in");
    return SendFormatted("DIRECTION %d,%d\r\n", direction ? 1 : 0, mirror ? 1 : 0);
}

bool CTSPLRenderClass::OutPutDensityCommand(int density) {
    LOGD("Method OutPutDensityCommand in");
    // 1000: the darkness set on the printer stays.
    if (density == 1000) return m_pOemCfg != nullptr;
    return SendFormatted("DENSITY %d\r\n", Clamp(density, 0, kMaxDensity));
}

bool CTSPLRenderClass::OutPutSpeedCommand(int speed) {
    LOGD("Method OutPutSpeedCommand in");
    // 1000, or no speed chosen at all: the printer's own speed stays.
    if (speed == 1000 || speed <= 0) return m_pOemCfg != nullptr;
    return SendFormatted("SPEED %d\r\n", Clamp(speed, 1, kMaxSpeed));
}

tagPOINT BitmapShift(const tagOEMCFG& cfg) {
    // Distances beyond any label stay far beyond it.
    const auto dots = [](double d) { return static_cast<int32_t>(std::clamp(d, -1e9, 1e9)); };
    int32_t x = dots(cfg.sHrzOffset / 10.0 * 1000.0 * cfg.sOutputXDPI / 25400.0 + 0.5);
    int32_t y = dots(
        (cfg.sVtcOffset / 10.0 + cfg.dwEndOffsetValue) * 1000.0 * cfg.sOutputYDPI / 25400.0 + 0.5);
    if (cfg.sHrzDir == 1) x = -x;
    if (cfg.sVtcDir == 1) y = -y;
    return {x, y};
}

bool CTSPLRenderClass::OutPutBITMAPCommand(tagRECT& rect) {
    LOGD("Method OutPutBITMAPCommand in");
    if (m_pOemCfg == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    const int64_t left8 = rect.left > 0 ? rect.left / 8 * 8 : 0;
    const int64_t bytesPerRow = (rect.right - left8 + 8) / 8;
    const int64_t rows = int64_t{rect.bottom} - rect.top + 1;
    const int64_t top = std::max(rect.top, 0);
    const tagPOINT shift = BitmapShift(cfg);
    // Never left of or above the label, nor beyond the largest label.
    const long x =
        std::clamp<int64_t>(left8 + shift.x, 0, MmToDots(kMaxLabelWidthMm, cfg.sOutputXDPI));
    const long y =
        std::clamp<int64_t>(top + shift.y, 0, MmToDots(kMaxLabelLengthMm, cfg.sOutputYDPI));
    return SendFormatted("BITMAP %ld,%ld,%ld,%ld,%d,", x, y, static_cast<long>(bytesPerRow),
                         static_cast<long>(rows), 0);
}

bool CTSPLRenderClass::OutPutCopiesCommand(long copies) {
    LOGD("Method OutPutCopiesCommand in");
    // Collated copies arrive as pages of their own.
    const bool collated = m_pDevMode != nullptr && m_pDevMode->dmCollate == 1;
    return SendFormatted("PRINT 1,%d\r\n", collated ? 1 : Clamp(copies, 1, kMaxCopies));
}

bool CTSPLRenderClass::OutPutOperationMode() {
    LOGD("Method OutPutOperationMode in");
    if (m_pOemCfg == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    if (cfg.dwOperationAfterPrn == 4 && cfg.dwOperationModeAfterPrn == 1) {
        return SendFormatted("SET CUTTER 1\r\n");
    }
    return SendFormatted("SET CUTTER OFF\r\n");
}

bool CTSPLRenderClass::StartDocCMD() {
    LOGD("Method StartDocCMD in");
    if (m_pOemCfg == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    if (!OutPutCLSCommand()) return false;
    bool sensing = true;
    switch (cfg.sLabelType) {
        case 0:
            break;
        case 1:
            sensing = OutputGapCmd(cfg.GAPHeight, cfg.GAPOffset);
            break;
        case 2:
            sensing = OutputBLineCmd(cfg.BLineHeight, cfg.BLineOffset);
            break;
        default:
            sensing = OutputGapCmd(0, 0);
            break;  // continuous media
    }
    if (!sensing) return false;
    if (cfg.sPaperType != 0 && !OutputPaperTypeCmd(static_cast<short>(cfg.sPaperType)))
        return false;
    if (!OutPutDIRECTIONCommand(true, false) || !OutPutREFERENCECommand({0, 0}) ||
        !OutPutDensityCommand(static_cast<int>(cfg.sDensity))) {
        return false;
    }
    if (cfg.sPrintSpeed != 0xFFFF && !OutPutSpeedCommand(cfg.sPrintSpeed)) return false;
    if (!OutputFeedLenCmd(cfg.sFeedLen)) return false;
    // The cutter itself is set before each print.
    static const short kAfterPrint[][3] = {
        // tear, peel, cutter (-1: not sent)
        {0, 0, 0},   // 1: none
        {0, 1, 0},   // 2: peel
        {1, 0, 0},   // 3: tear
        {0, 0, -1},  // 4: cutter
    };
    if (cfg.dwOperationAfterPrn >= 1 && cfg.dwOperationAfterPrn <= 4) {
        const short* mode = kAfterPrint[cfg.dwOperationAfterPrn - 1];
        OutputTearCmd(mode[0]);
        OutputPeelCmd(mode[1]);
        if (mode[2] == 0) OutputCutterCmd(0);
    }
    return true;
}
