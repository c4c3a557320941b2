// The job's printer settings record, read once per job from the queue's PPD.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <span>

typedef struct ppd_file_s ppd_file_t;

struct tagOEMCFG {
    int64_t sHrzDir;     // direction of the horizontal print offset
    int64_t sVtcDir;     // direction of the vertical print offset
    int64_t sHrzOffset;  // horizontal print offset (ZPL mm, others 0.1 mm)
    int64_t sVtcOffset;  // vertical print offset (ZPL mm, others 0.1 mm)
    int64_t sDensity;
    int64_t sRotation;  // rotation flag 1 of 2
    uint16_t sMirror;
    int32_t bNegative;
    int64_t dwOperationAfterPrn;      // the "Mode" option
    int64_t dwOperationModeAfterPrn;  // cutting method
    int32_t nBrightness;
    int32_t nContrast;
    uint16_t sPaperType;  // 1 direct thermal, 2 thermal transfer, 0 not set
    uint16_t sLabelType;  // 1 gap, 2 black mark, 3 continuous, 0 not set
    uint16_t GAPHeight;   // 0.1 mm
    uint16_t GAPOffset;   // 0.1 mm
    uint16_t BLineHeight;
    uint16_t BLineOffset;
    uint16_t sIntervalValue;
    uint16_t sFeedLen;
    uint16_t sHalftoneMethod;
    uint16_t sRotate90;  // rotation flag 2 of 2
    uint16_t sIsLineImaginary;
    uint16_t sMinImaginaryLineLen;  // mm
    uint16_t sBlackInterval;        // mm
    uint16_t sWhiteInterval;        // mm
    uint16_t sFeedModel;
    int32_t nColorLevelsAdj;   // percent, 100 is neutral
    uint16_t sMaxOutputWidth;  // mm
    uint16_t sOutputXDPI;
    uint16_t sOutputYDPI;
    uint16_t dwStartOffsetValue;  // mm
    uint16_t dwEndOffsetValue;    // mm
    uint8_t bUsePrinterDensity;
    uint16_t sPaperMode;
    int32_t nPrintSpeed;  // -1: the printer's own speed
    uint16_t sPrintSpeed;
    uint16_t sAutoRotate90;
    uint16_t sSavePaper;
    uint16_t PdfPreprocess;
    uint16_t dwFixedHeight;
    int16_t nBackfeedRate;  // -1: the printer's own speed
    uint16_t sApSignal;     // 0xFFFF (-1): not set
    uint16_t sStartSignal;
    uint16_t sReprint;
    uint16_t sRibbonLow;
    uint8_t bUseRTC;
    uint16_t sCutPosition;
    // Filled by the renderers while printing, not by a reader.
    int16_t sCopies;
    int32_t nBackFeedMode;
    int32_t nBackFeedValue;
    int64_t lLabelWidth;   // 0.1 mm
    int64_t lLabelLength;  // 0.1 mm
    int16_t sBackupPosition;
    uint32_t dwPageIndex;
    uint16_t sLabelCount;
};

// Where the three label filters read their settings differently.
struct SettingsProfile;

// What a reader reads from: the PPD with the job's options marked, the first page header,
// and the filter's profile.
struct ReaderContext {
    ppd_file_t* ppd;
    const cups_page_header2_t* header;
    const SettingsProfile* profile;
};

using OemCfgReader = void (*)(tagOEMCFG* cfg, const ReaderContext& ctx);

// Units of the offset values.
enum class OffsetScale { Millimetres, Tenths };

// What a density of 1000 means.
enum class Density1000 {
    PrinterDensity,  // keep the darkness set on the printer
    PlainValue,
};

// Where the print method (direct or thermal transfer) comes from.
enum class PrintMethodSource {
    PageHeaderMediaType,  // "Thermal" or "Direct" in the page header's media type
    PrintMethodChoice,    // the "PrintMethod" option
};

// Where the media type (gap, mark, continuous) comes from.
enum class LabelTypeSource {
    MediaTrackingChoice,  // which "zeMediaTracking" choice is marked
    MediaTypeChoice,      // the "MediaType" option's value
};

// Where a setting comes from: a plain PPD keyword or an option's choice.
enum class SettingSource { Keyword, Choice };

// What the "Feed" option sets.
enum class FeedMeaning { FeedLength, CutPosition };

struct SettingsProfile {
    const char* filterName;
    std::span<const OemCfgReader> readers;  // which readers run, in order
    OffsetScale offsetValueScale;
    const char* levelsKeyword;
    const char* levelsLogText;
    int32_t levelsDefault;
    Density1000 density1000;
    PrintMethodSource printMethod;
    LabelTypeSource labelType;
    SettingSource maxOutputWidth;
    FeedMeaning feed;
    uint16_t gapHeightDefault;
    uint16_t intervalDefault;
    uint16_t halftoneDefault;
    uint16_t solidMinLengthDefault;
    uint16_t dashIntervalDefault;  // black and white dash lengths
    uint16_t apSignalDefault;
    const char* savePaperLogText;
    const char* fixedHeightLogText;
    const char* startOffsetLogText;
    const char* endOffsetLogText;
};

// Clears the record and runs the profile's readers. Does nothing without a record or PPD.
void InitalizeOemCfg(tagOEMCFG* cfg, ppd_file_t* ppd, const cups_page_header2_t* header,
                     const SettingsProfile& profile);

void InitMirror(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitRotation(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitNegativeFilm(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitDensity(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitHorizontalOffset(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitHorizontalOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitVerticalOffset(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitVerticalOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitBrightness(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitContrast(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitLevels(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitHalftone(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPrintMethod(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitMediaType(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitGapHeight(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitGapOffset(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitMode(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitCutMethod(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitInterval(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitFeed(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitFeedModel(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitOutputDpi(tagOEMCFG* cfg, const ReaderContext& ctx);
void GetVerticalDPI(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitMaxOutputWidth(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitIsSolidToDashed(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitSolidMinLength(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitIntervalBlack(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitIntervalWhite(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPrintMode(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPaperMode(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPrintRate(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPrintSpeed(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitAutoRotate90(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitStartOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitFixedHeight(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitEndOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitPdfPreprocess(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitSavePaper(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitBackFeedSpeed(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitApSignal(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitStartSignal(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitReprint(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitRibbonLow(tagOEMCFG* cfg, const ReaderContext& ctx);
void InitRTC(tagOEMCFG* cfg, const ReaderContext& ctx);
