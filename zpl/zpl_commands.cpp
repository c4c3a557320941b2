// ZPL II commands: each operation formats exactly one command and writes it.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "filter/label_geometry.h"
#include "log/log4z.h"
#include "settings/units.h"
#include "zpl/zpl_render.h"

const char CZPLIIRenderClass::pszDiskName[4][3] = {"R:", "E:", "B:", "A:"};

namespace {

// What ZPL II takes: label sizes and field positions up to 32000 dots, counts up to 99999999.
constexpr int kMaxDots = 32000;
constexpr int kMaxCount = 99999999;
// Speeds up to 14 inches per second, darkness 0 to 30.
constexpr int kMaxSpeed = 14;
constexpr int kMaxDarkness = 30;

constexpr const char* kGraphicName = "SSGFX000";
constexpr const char* kGraphicExtension = "GRF";

bool ValidDevice(int device) {
    return device >= 0 && device < 4;
}

}  // namespace

bool CZPLIIRenderClass::SendCommand(const void* bytes, uint32_t length, uint8_t /*flag*/,
                                    const wchar_t* /*text*/) {
    if (m_pOemCfg == nullptr || bytes == nullptr) return false;
    LOGD("Command preview: %.*s", static_cast<int>(std::min<uint32_t>(length, 50)),
         static_cast<const char*>(bytes));
    return m_pOutput != nullptr && m_pOutput->Write(bytes, length);
}

bool CZPLIIRenderClass::SendFormatted(const char* format, ...) {
    char command[256] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(command, sizeof(command), format, args);
    va_end(args);
    return SendCommand(command, static_cast<uint32_t>(std::strlen(command)), 0, nullptr);
}

bool CZPLIIRenderClass::OutputRtcCMD() {
    char now[80] = {};
    time_t seconds = std::time(nullptr);
    struct tm local;
    localtime_r(&seconds, &local);
    std::strftime(now, sizeof(now), "%m,%d,%Y,%H,%M,%S,M", &local);
    return SendFormatted("^XA^ST%s^XZ\r\n", now);
}

bool CZPLIIRenderClass::OutputStartFormatCMD() {
    return SendFormatted("^XA\r\n");
}
bool CZPLIIRenderClass::OutputEndFormatCMD() {
    return SendFormatted("^XZ\r\n");
}

bool CZPLIIRenderClass::OutputZPLModeCMD(int mode) {
    if (mode == 1) return SendFormatted("^SZ1");
    if (mode == 2) return SendFormatted("^SZ2");
    return SendFormatted("%s", "");
}

bool CZPLIIRenderClass::OutputSetResolutionCMD() {
    return SendFormatted("^JMA");
}

bool CZPLIIRenderClass::OutputSpeedMD(int printSpeed, int backfeedSpeed) {
    if (printSpeed < 0 && backfeedSpeed < 0) return SendFormatted("%s", "");
    printSpeed = std::min(printSpeed, kMaxSpeed);
    backfeedSpeed = std::min(backfeedSpeed, kMaxSpeed);
    if (printSpeed < 0) return SendFormatted("^PR,,%d\r\n", backfeedSpeed);
    if (backfeedSpeed < 0) return SendFormatted("^PR%d\r\n", printSpeed);
    return SendFormatted("^PR%d,,%d\r\n", printSpeed, backfeedSpeed);
}

bool CZPLIIRenderClass::OutputClsBmpCMD(bool clear) {
    return SendFormatted(clear ? "^MCY" : "^MCN");
}
bool CZPLIIRenderClass::OutputMirrorImgCMD(bool mirror) {
    return SendFormatted(mirror ? "^PMY" : "^PMN");
}

bool CZPLIIRenderClass::OutputMediaTrackingCMD() {
    if (m_pOemCfg == nullptr) return false;
    switch (m_pOemCfg->sLabelType) {
        case 1:
            return SendFormatted("^MNW");
        case 2:
            return SendFormatted("^MNM");
        case 3:
            return SendFormatted("^MNN");
        default:
            return SendFormatted("%s", "");
    }
}

bool CZPLIIRenderClass::OutputLabelHomeCMD(tagPOINT home) {
    return SendFormatted("^LH%d,%d", home.x, home.y);
}
bool CZPLIIRenderClass::OutputReversePrintCMD(bool reverse) {
    return SendFormatted(reverse ? "^LRY" : "^LRN");
}

bool CZPLIIRenderClass::OutputPaperTypeCmd(short type) {
    if (type == 1) return SendFormatted("^MTD\r\n");
    if (type == 2) return SendFormatted("^MTT\r\n");
    return SendFormatted("%s", "");
}

bool CZPLIIRenderClass::OutputPrnOrientation(int inverted) {
    return SendFormatted(inverted ? "^POI" : "^PON");
}

bool CZPLIIRenderClass::OutputPrintModeCMD() {
    if (m_pOemCfg == nullptr) return false;
    static const char* const kModes[] = {"^MMP\r\n", "^MMT\r\n", "^MMC\r\n",
                                         "^MMA\r\n", "^MMS\r\n", "^MMR\r\n"};
    const uint16_t model = m_pOemCfg->sFeedModel;
    return SendFormatted("%s", model >= 1 && model <= 6 ? kModes[model - 1] : "");
}

bool CZPLIIRenderClass::OutputReprintAfterErrorCMD(bool reprint) {
    return SendFormatted(reprint ? "^JZY\r\n" : "^JZN\r\n");
}

bool CZPLIIRenderClass::OutputBackFeedCMD(int mode, int value) {
    static const char* const kModes[] = {"~JSN\r\n", "~JSA\r\n", "~JSB\r\n", "~JSO\r\n"};
    if (static_cast<unsigned>(mode) < 4) return SendFormatted("%s", kModes[mode]);
    if (mode == 4) return SendFormatted("~JS%d\r\n", value / 10 * 10);
    return SendFormatted("%s", "");
}

bool CZPLIIRenderClass::OutputGPIOCMD() {
    if (m_pOemCfg == nullptr) return false;
    const char* start = m_pOemCfg->sStartSignal == 1   ? "p"
                        : m_pOemCfg->sStartSignal == 2 ? "l"
                                                       : "0";
    return SendFormatted("^JJ,%d,%s,,%s,%s", static_cast<int16_t>(m_pOemCfg->sApSignal), start,
                         m_pOemCfg->sReprint ? "e" : "d", m_pOemCfg->sRibbonLow ? "e" : "d");
}

bool CZPLIIRenderClass::OutputSaveCurrentSettingCMD() {
    return SendFormatted("^JUS");
}
bool CZPLIIRenderClass::OutputABSDensityCMD(int density) {
    return SendFormatted("~SD%d", std::clamp(density, 0, kMaxDarkness));
}
bool CZPLIIRenderClass::OutputCRCMD() {
    return SendFormatted("\r\n");
}
bool CZPLIIRenderClass::OutputLabelWidthCMD(int width) {
    return SendFormatted("^PW%d", std::clamp(width, 2, kMaxDots));
}

bool CZPLIIRenderClass::OutputLabelHeightCMD(int height) {
    if (m_pOemCfg == nullptr) return false;
    static const int kFixedLengthsMm[] = {297, 210, 148};
    const uint16_t fixed = m_pOemCfg->dwFixedHeight;
    if (fixed >= 1 && fixed <= 3) {
        const double mm = kFixedLengthsMm[fixed - 1] + m_pOemCfg->dwStartOffsetValue +
                          m_pOemCfg->dwEndOffsetValue;
        height = MmToDots(mm, m_pOemCfg->sOutputYDPI);
    }
    return SendFormatted("^LL%d", std::clamp(height, 1, kMaxDots));
}

bool CZPLIIRenderClass::OutputFieldOriginCMD(tagPOINT origin) {
    return SendFormatted("^FO%d,%d", std::clamp(origin.x, 0, kMaxDots),
                         std::clamp(origin.y, 0, kMaxDots));
}
bool CZPLIIRenderClass::OutputFieldDefineEndCMD() {
    return SendFormatted("^FS");
}

bool CZPLIIRenderClass::OutputPrintCMD(int quantity, int pauseEvery, int replicates, bool override,
                                       bool) {
    return SendFormatted("^PQ%d,%d,%d,%s", std::clamp(quantity, 1, kMaxCount),
                         std::clamp(pauseEvery, 0, kMaxCount), std::clamp(replicates, 0, kMaxCount),
                         override ? "Y" : "N");
}

bool CZPLIIRenderClass::OutputDownloadGraphicsCMD(const uint8_t* bytes, unsigned length,
                                                  unsigned bytesPerRow, int mode) {
    if (bytes == nullptr) return false;
    char* text = nullptr;
    uint32_t textLength = 0;
    const uint32_t produced = m_encoder.EncodeZB64(bytes, length, static_cast<int16_t>(mode), &text,
                                                   &textLength, bytesPerRow, nullptr, false);
    if (text == nullptr || produced == 0) {
        std::free(text);
        return false;
    }
    const bool sent = SendCommand(text, produced, 0, nullptr);
    std::free(text);
    return sent;
}

bool CZPLIIRenderClass::OutputRecallGraphicCMD(int device, const char* name, const char* extension,
                                               int magnifyX, int magnifyY) {
    if (!ValidDevice(device)) return false;
    return SendFormatted("^XG%s%s.%s,%d,%d", pszDiskName[device], name ? name : kGraphicName,
                         extension ? extension : kGraphicExtension, magnifyX, magnifyY);
}

bool CZPLIIRenderClass::OutputDeleteFileCMD(int device, const char* name, const char* extension) {
    if (!ValidDevice(device)) return false;
    return SendFormatted("^ID%s%s.%s", pszDiskName[device], name ? name : kGraphicName,
                         extension ? extension : kGraphicExtension);
}

bool CZPLIIRenderClass::OutputLabelTopCMD(int value) {
    return value == 500 ? SendFormatted("%s", "") : SendFormatted("^LT%d\r\n", value);
}

bool CZPLIIRenderClass::OutputTearOffsetCMD(int value) {
    if (value == 500) return SendFormatted("%s", "");
    return value < 0 ? SendFormatted("~TA%04d\r\n", value) : SendFormatted("~TA%03d\r\n", value);
}

bool CZPLIIRenderClass::OutputLabelWidthCMD() {
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return false;
    const int64_t width = LabelWidthDots(*m_pOemCfg, *m_pDevMode, *m_pOemPdev);
    if (width <= 0) return false;
    m_pOemPdev->dwLabelWidth = static_cast<uint32_t>(width);
    return SendFormatted("^PW%d", static_cast<int>(std::clamp<int64_t>(width, 2, kMaxDots)));
}

bool CZPLIIRenderClass::OutputLabelHeightCMD() {
    if (m_pOemCfg == nullptr || m_pDevMode == nullptr || m_pOemPdev == nullptr) return false;
    const tagOEMCFG& cfg = *m_pOemCfg;
    const PageExtent along = PageAlongFeed(cfg, *m_pDevMode, *m_pOemPdev);
    if (along.dpi <= 0) return false;
    const int64_t length = ((along.dots * cfg.sOutputYDPI / along.dpi + 8) & ~int64_t{7}) +
                           MmToDots(cfg.dwStartOffsetValue + cfg.dwEndOffsetValue, cfg.sOutputYDPI);
    m_pOemPdev->dwLabelHeight = static_cast<uint32_t>(length);
    return SendFormatted("^LL%d", static_cast<int>(std::clamp<int64_t>(length, 1, kMaxDots)));
}

int CZPLIIRenderClass::StartDocCMD() {
    if (m_pOemCfg == nullptr) return 0;
    const tagOEMCFG& cfg = *m_pOemCfg;
    if (cfg.bUseRTC) OutputRtcCMD();
    OutputStartFormatCMD();
    OutputZPLModeCMD(2);
    OutputSetResolutionCMD();
    OutputSpeedMD(cfg.nPrintSpeed, cfg.nBackfeedRate);
    OutputClsBmpCMD(true);
    OutputMirrorImgCMD(false);
    OutputMediaTrackingCMD();
    OutputLabelHomeCMD({0, 0});
    OutputReversePrintCMD(false);
    OutputPaperTypeCmd(static_cast<short>(cfg.sPaperType));
    OutputPrnOrientation(0);
    OutputPrintModeCMD();
    OutputReprintAfterErrorCMD(false);
    OutputBackFeedCMD(cfg.nBackFeedMode, cfg.nBackFeedValue);
    if (static_cast<int16_t>(cfg.sApSignal) != -1) OutputGPIOCMD();
    OutputSaveCurrentSettingCMD();
    if (cfg.bUsePrinterDensity == 0) {
        OutputABSDensityCMD(static_cast<int>(cfg.sDensity));
        OutputCRCMD();
    }
    OutputEndFormatCMD();
    return 0;
}
