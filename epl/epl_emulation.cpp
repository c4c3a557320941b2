// The EPL2 start-of-document block and page commands, built from the settings record.
#include "epl/epl_emulation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "epl/epl_limits.h"

using namespace epl;

namespace {

// What another GW costs: "GWx,y,bytes,rows," with CR LF, and the closing CR LF.
constexpr int64_t kGraphicHeaderBytes = 24;

// "Mode" (operation after printing).
constexpr int64_t kModeNoBackup = 1;
constexpr int64_t kModePeel = 2;
constexpr int64_t kModeCutter = 4;
// "CutMethod" with the cutter.
constexpr int64_t kCutEveryLabel = 1;
constexpr int64_t kCutAtJobEnd = 2;
constexpr int64_t kCutEveryInterval = 3;
constexpr int64_t kCutAfterCopies = 4;
// "MediaType" and "PrintMethod".
constexpr uint16_t kGapMedia = 1;
constexpr uint16_t kBlackMarkMedia = 2;
constexpr uint16_t kDirectThermal = 1;

bool PerPageLabelSize(const tagOEMCFG& c) {
    return c.sPaperMode == 1 || c.sSavePaper == 1;
}

// Label width in dots, at least 1 and no wider than the widest head at the resolution.
int LabelWidthDots(int64_t dots, int dpi) {
    return static_cast<int>(std::clamp<int64_t>(dots, 1, std::max(1, WidestHeadDots(dpi))));
}

}  // namespace

// --- the two-call protocol ----------------------------------------------------------------

int CEPLEmulation::HandOutPage(tagOEMCFG* settings, uint8_t* out, int64_t outSize,
                               int64_t* outLength) {
    if (!GetOutputData(out, outSize, outLength)) return 0;
    std::memcpy(settings, &m_oemCfg, sizeof(m_oemCfg));  // carries the label count back
    ClearCmdBuf();
    return 1;
}

int CEPLEmulation::GetStartDocCMD(tagOEMCFG* settings, uint8_t* out, int64_t outSize,
                                  int64_t* outLength) {
    if (settings == nullptr) return 0;
    if (!m_bStartDocBuilt || std::memcmp(settings, &m_oemCfg, sizeof(m_oemCfg)) != 0) {
        ClearCmdBuf();
        std::memcpy(&m_oemCfg, settings, sizeof(m_oemCfg));
        BuildStartDoc();
        m_bStartDocBuilt = true;
    }
    return GetOutputData(out, outSize, outLength);
}

int CEPLEmulation::TransferPageData2CMD(tagOEMCFG* settings, const uint8_t* data,
                                        int64_t dataLength, int x, int y, int width, int rows,
                                        uint8_t* out, int64_t outSize, int64_t* outLength,
                                        bool lastPage) {
    if (settings == nullptr) return 0;
    if (m_bPageBuilt && out != nullptr) return HandOutPage(settings, out, outSize, outLength);
    ClearCmdBuf();
    std::memcpy(&m_oemCfg, settings, sizeof(m_oemCfg));
    if (outLength != nullptr) *outLength = 0;
    if (!BuildPage(data, dataLength, x, y, width, rows, lastPage) || m_pCmdBuf.empty()) {
        ClearCmdBuf();
        return 0;
    }
    m_bPageBuilt = true;
    if (out != nullptr) return HandOutPage(settings, out, outSize, outLength);
    return GetOutputData(nullptr, 0, outLength);
}

int CLBPTREmulation::TransferImageData2CMD(tagOEMCFG* settings, const uint8_t* data,
                                           int64_t dataLength, int x, int y, int width, int rows,
                                           uint8_t* out, int64_t outSize, int64_t* outLength,
                                           bool lastPage) {
    if (settings == nullptr) return 0;
    return TransferPageData2CMD(settings, data, dataLength, x, y, width, rows, out, outSize,
                                outLength, lastPage);
}

// --- start of document ----------------------------------------------------------------------

void CEPLEmulation::BuildStartDoc() {
    const tagOEMCFG& c = m_oemCfg;
    ClearPrinterImgBufCMD();
    SetPtrCharSetCMD(8, 18);
    SetWindowModeCMD(0);
    SetPrintDirectionCMD(1);
    SetPrinterSpeed(c.sPrintSpeed);
    SetPrinterDensity(ToInt(c.sDensity));
    // With the cutter the pages send the options and the backup themselves.
    if (c.dwOperationAfterPrn != kModeCutter) {
        _HWOPT options{};
        options.bDirectThermal = c.sPaperType == kDirectThermal;
        options.bPeel = c.dwOperationAfterPrn == kModePeel;
        SetPrinterOptionsCMD(&options);
        if (c.dwOperationAfterPrn == kModeNoBackup) {
            EnableBackupTopCMD(false);
        } else {
            EnableBackupTopCMD(true);
            SetBackupPositionCMD(ToInt(TenthsDots(c.sBackupPosition, c.sOutputYDPI)));
        }
    }
    if (PerPageLabelSize(c)) return;
    // The label length includes the start and end allowances.
    const int64_t allowance =
        MmDots(int64_t{c.dwStartOffsetValue} + c.dwEndOffsetValue, c.sOutputYDPI);
    SetLabelWidthCMD(LabelWidthDots(TenthsDots(c.lLabelWidth, c.sOutputXDPI), c.sOutputXDPI));
    AppendLabelLength(allowance + TenthsDots(c.lLabelLength, c.sOutputYDPI), c.sOutputYDPI);
}

// "Q" with the gap or black mark of the media; continuous media has neither.
void CEPLEmulation::AppendLabelLength(int64_t lengthDots, int dpi) {
    const tagOEMCFG& c = m_oemCfg;
    int64_t gap = 0, offset = 0;
    if (c.sLabelType == kGapMedia || c.sLabelType == kBlackMarkMedia) {
        gap = TenthsDots(c.GAPHeight, dpi);
        offset = TenthsDots(c.GAPOffset, dpi);
    }
    SetLabelLenghtCMD(ToInt(lengthDots), ToInt(gap), ToInt(offset),
                      c.sLabelType == kBlackMarkMedia);
}

// --- pages ----------------------------------------------------------------------------------

bool CEPLEmulation::BuildPage(const uint8_t* data, int64_t dataLength, int x, int y, int width,
                              int rows, bool lastPage) {
    const tagOEMCFG& c = m_oemCfg;
    int64_t shift = TenthsDots(c.sHrzOffset, c.sOutputXDPI);
    if (c.sHrzDir != 0) shift = -shift;
    const int64_t vertical = TenthsDots(c.sVtcOffset, c.sOutputYDPI);
    const int64_t top =
        MmDots(c.dwEndOffsetValue, c.sOutputYDPI) + (c.sVtcDir != 0 ? -vertical : vertical);
    if (PerPageLabelSize(c)) {
        if (width <= 0 || rows <= 0) return false;  // nothing is sent for an empty page
        AppendPageLabelSize(width, rows);
    }
    const int gx = static_cast<int>(std::clamp<int64_t>(int64_t{x} + shift, 0, kMaxDots));
    // The graphic keeps its own distance from the top of the page, as it keeps its left edge.
    const int gy = static_cast<int>(std::clamp<int64_t>(int64_t{y} + top, 0, kMaxDots));
    // No copies (or a count wrapped below zero): no form is sent.
    const int copies = c.sCopies;
    if (copies <= 0) return true;
    if (c.dwOperationAfterPrn == kModeCutter) {
        AppendCutterPage(gx, gy, width, rows, data, dataLength, copies, lastPage);
    } else {
        AppendForm(gx, gy, width, rows, data, dataLength, copies);
    }
    return true;
}

// Label size for a page printed at its own size; every length here is at the X resolution.
void CEPLEmulation::AppendPageLabelSize(int width, int rows) {
    const tagOEMCFG& c = m_oemCfg;
    const int dpi = c.sOutputXDPI;
    const int64_t start = c.dwStartOffsetValue, end = c.dwEndOffsetValue;
    int64_t length = 0;
    switch (c.dwFixedHeight) {
        case 1:
            length = MmDots(start + 297 + end, dpi);
            break;
        case 2:
            length = MmDots(start + 210 + end, dpi);
            break;
        case 3:
            length = MmDots(start + 148 + end, dpi);
            break;
        default:
            length = rows + MmDots(start + end, dpi);
            break;
    }
    SetLabelWidthCMD(LabelWidthDots(width + 2 * TenthsDots(c.sHrzOffset, dpi), dpi));
    AppendLabelLength(length, dpi);
}

// Clear the image buffer, write the graphic, print the copies.
void CEPLEmulation::AppendForm(int x, int y, int width, int rows, const uint8_t* data,
                               int64_t dataLength, int copies) {
    ClearPrinterImgBufCMD();
    AppendGraphic(x, y, width, rows, data, dataLength);
    PrintCMD(copies);
    m_oemCfg.sLabelCount = static_cast<uint16_t>(m_oemCfg.sLabelCount + copies);
}

// The graphic in bands of the rows that carry dots: the cleared image buffer is blank already,
// so a run of blank rows (all bits set) is left out wherever its bytes would cost more than the
// header of another GW. A graphic without dots is sent whole.
void CEPLEmulation::AppendGraphic(int x, int y, int width, int rows, const uint8_t* data,
                                  int64_t dataLength) {
    const int64_t bytesPerRow = data != nullptr && rows > 0 ? dataLength / rows : 0;
    if (bytesPerRow <= 0) {
        DirectGraphicWriteCMD(x, y, width, rows, data, dataLength);
        return;
    }
    const int minGap = static_cast<int>(kGraphicHeaderBytes / bytesPerRow) + 1;
    const auto blank = [&](int row) {
        const uint8_t* p = data + row * bytesPerRow;
        return std::all_of(p, p + bytesPerRow, [](uint8_t b) { return b == 0xFF; });
    };
    const auto band = [&](int first, int last) {
        AppendBand(x, y + first, width, last - first + 1, data + first * bytesPerRow, bytesPerRow);
    };
    int first = -1, last = -1;
    for (int row = 0; row < rows; ++row) {
        if (blank(row)) continue;
        if (first >= 0 && row - last > minGap) {
            band(first, last);
            first = row;
        }
        if (first < 0) first = row;
        last = row;
    }
    if (first < 0) {
        DirectGraphicWriteCMD(x, y, width, rows, data, dataLength);
        return;
    }
    band(first, last);
}

// A band sends only the byte columns that carry dots, in runs split where the blank columns
// between two of them would cost more than the header of another GW.
void CEPLEmulation::AppendBand(int x, int y, int width, int rows, const uint8_t* data,
                               int64_t bytesPerRow) {
    std::vector<uint8_t> blankColumns(static_cast<size_t>(bytesPerRow), 0xFF);
    for (int row = 0; row < rows; ++row) {
        const uint8_t* p = data + row * bytesPerRow;
        for (int64_t col = 0; col < bytesPerRow; ++col) blankColumns[col] &= p[col];
    }
    std::vector<uint8_t> run;
    const auto send = [&](int64_t begin, int64_t end) {
        if (begin == 0 && end == bytesPerRow) {
            DirectGraphicWriteCMD(x, y, width, rows, data, rows * bytesPerRow);
            return;
        }
        run.resize(static_cast<size_t>(rows * (end - begin)));
        for (int row = 0; row < rows; ++row) {
            std::copy(data + row * bytesPerRow + begin, data + row * bytesPerRow + end,
                      run.begin() + row * (end - begin));
        }
        DirectGraphicWriteCMD(static_cast<int>(x + begin * 8), y, width, rows, run.data(),
                              static_cast<int64_t>(run.size()));
    };
    int64_t begin = -1, end = 0;  // the run being gathered, [begin, end)
    for (int64_t col = 0; col < bytesPerRow; ++col) {
        if (blankColumns[col] == 0xFF) continue;
        if (begin >= 0 && (col - end) * rows > kGraphicHeaderBytes) {
            send(begin, end);
            begin = -1;
        }
        if (begin < 0) begin = col;
        end = col + 1;
    }
    if (begin >= 0) send(begin, end);
}

_HWOPT CEPLEmulation::CutterOptions(bool cutter, int cutCount) const {
    _HWOPT options{};
    options.bCutter = cutter;
    options.nCutCount = cutCount;
    options.bDirectThermal = m_oemCfg.sPaperType == kDirectThermal;
    return options;
}

// The options, top-of-form backup and cut position that start a cutter job.
void CEPLEmulation::AppendCutterStart(const _HWOPT& options) {
    SetPrinterOptionsCMD(&options);
    EnableBackupTopCMD(true);
    // The cut position is the printer's own 70..130 scale, sent as chosen.
    SetCutPositionCMD(m_oemCfg.sCutPosition);
}

// The cutter counts labels from the last "O" command: "OC" cuts after every label, "OC<n>"
// after every n-th, and an "O" without C stops cutting.
void CEPLEmulation::AppendCutterPage(int x, int y, int width, int rows, const uint8_t* data,
                                     int64_t dataLength, int copies, bool lastPage) {
    const tagOEMCFG& c = m_oemCfg;
    const bool firstPage = c.dwPageIndex == 1;
    switch (c.dwOperationModeAfterPrn) {
        case kCutEveryLabel:
            if (firstPage) AppendCutterStart(CutterOptions(true, 1));
            break;
        case kCutAtJobEnd: {
            if (lastPage) {
                EnableBackupTopCMD(true);
                const _HWOPT options = CutterOptions(true, std::max(1, copies));
                SetPrinterOptionsCMD(&options);
                SetCutPositionCMD(c.sCutPosition);
            } else if (firstPage) {
                const _HWOPT options = CutterOptions(false, 0);  // keeps direct thermal
                SetPrinterOptionsCMD(&options);
                SetCutPositionCMD(c.sCutPosition);
            }
            break;
        }
        case kCutEveryInterval: {
            // Pages whose number is a multiple of the interval are cut after every label; the
            // last page is cut after its copies; the others are not cut.
            const bool multiple =
                c.sIntervalValue != 0 ? c.dwPageIndex % c.sIntervalValue == 0 : c.dwPageIndex == 0;
            _HWOPT options = CutterOptions(multiple, multiple ? 1 : 0);
            if (lastPage) options = CutterOptions(true, copies);
            SetPrinterOptionsCMD(&options);
            if (firstPage) {
                EnableBackupTopCMD(true);
                SetCutPositionCMD(c.sCutPosition);
            }
            break;
        }
        case kCutAfterCopies:
            if (firstPage) AppendCutterStart(CutterOptions(true, copies >= 2 ? copies : 1));
            break;
        default:
            break;  // an unknown cut method prints the page without cutting
    }
    AppendForm(x, y, width, rows, data, dataLength, copies);
}
