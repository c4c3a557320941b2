// How each label filter reads its settings: the readers it runs and where it differs.
#include "settings/oem_cfg.h"

namespace {

constexpr OemCfgReader kZplReaders[] = {
    InitMirror,
    InitRotation,
    InitNegativeFilm,
    InitDensity,
    InitHorizontalOffset,
    InitHorizontalOffsetValue,
    InitVerticalOffset,
    InitVerticalOffsetValue,
    InitBrightness,
    InitContrast,
    InitLevels,
    InitHalftone,
    InitGapOffset,
    InitGapHeight,
    InitMode,
    InitFeedModel,
    InitCutMethod,
    InitInterval,
    InitFeed,
    InitOutputDpi,
    GetVerticalDPI,
    InitMaxOutputWidth,
    InitIsSolidToDashed,
    InitSolidMinLength,
    InitIntervalBlack,
    InitIntervalWhite,
    InitPrintMode,
    InitPrintRate,
    InitMediaType,
    InitAutoRotate90,
    InitStartOffsetValue,
    InitFixedHeight,
    InitEndOffsetValue,
    InitPdfPreprocess,
    InitPrintMethod,
    InitSavePaper,
    InitBackFeedSpeed,
    InitApSignal,
    InitStartSignal,
    InitReprint,
    InitRibbonLow,
    InitRTC,
};

// TSPL and EPL run the shared readers; their print speed is a plain choice.
constexpr OemCfgReader kTsplEplReaders[] = {
    InitMirror,
    InitRotation,
    InitNegativeFilm,
    InitDensity,
    InitHorizontalOffset,
    InitHorizontalOffsetValue,
    InitVerticalOffset,
    InitVerticalOffsetValue,
    InitBrightness,
    InitContrast,
    InitLevels,
    InitHalftone,
    InitGapOffset,
    InitGapHeight,
    InitMode,
    InitCutMethod,
    InitInterval,
    InitFeed,
    InitOutputDpi,
    InitMaxOutputWidth,
    InitIsSolidToDashed,
    InitSolidMinLength,
    InitIntervalBlack,
    InitIntervalWhite,
    InitPaperMode,
    InitPrintSpeed,
    InitMediaType,
    InitAutoRotate90,
    InitStartOffsetValue,
    InitFixedHeight,
    InitEndOffsetValue,
    InitPrintMethod,
    InitSavePaper,
};

}  // namespace

const SettingsProfile kZplSettings = {
    .filterName = "rastomoxzpl",
    .readers = kZplReaders,
    .offsetValueScale = OffsetScale::Millimetres,
    .levelsKeyword = "ColorLevels",
    .levelsLogText = "Init nColorLevelsAdj: %d",
    .levelsDefault = 100,
    .density1000KeepsPrinterDensity = true,
    .printMethodFromPageHeader = true,
    .mediaTrackingByMarks = true,
    .maxOutputWidthFromKeyword = true,
    .feedIsCutPosition = false,
    .gapHeightDefault = 30,
    .intervalDefault = 1,
    .halftoneDefault = 1,
    .solidMinLengthDefault = 10,
    .dashIntervalDefault = 1,
    .apSignalDefault = 0xFFFF,
    .savePaperLogText = "Init sSavePaper: %d",
    .fixedHeightLogText = "Init dwFixedHeight: %d",
    .startOffsetLogText = "Init dwStartOffsetValue: %d",
    .endOffsetLogText = "Init dwEndOffsetValue: %d",
};

const SettingsProfile kTsplSettings = {
    .filterName = "rastomoxtspl",
    .readers = kTsplEplReaders,
    .offsetValueScale = OffsetScale::Tenths,
    .levelsKeyword = "Levels",
    .levelsLogText = "Init nLevelsAdj: %d",
    .levelsDefault = 0,
    .density1000KeepsPrinterDensity = false,
    .printMethodFromPageHeader = false,
    .mediaTrackingByMarks = false,
    .maxOutputWidthFromKeyword = false,
    .feedIsCutPosition = false,
    .gapHeightDefault = 0,
    .intervalDefault = 0,
    .halftoneDefault = 0,
    .solidMinLengthDefault = 0,
    .dashIntervalDefault = 0,
    .apSignalDefault = 0,
    .savePaperLogText = "Init sSavePaperMode: %d",
    .fixedHeightLogText = "Init sFixedHeight: %d",
    .startOffsetLogText = "Init sStartOffsetValue: %d",
    .endOffsetLogText = "Init sEndOffsetValue: %d",
};

// EPL reads as TSPL does, except that "Feed" is its cut position and its log texts.
const SettingsProfile kEplSettings = [] {
    SettingsProfile epl = kTsplSettings;
    epl.filterName = "rastomoxepl";
    epl.feedIsCutPosition = true;
    epl.savePaperLogText = "Init sSavePaper: %d";
    epl.startOffsetLogText = "Init dwStartOffsetValue: %d";
    epl.endOffsetLogText = "Init dwEndOffsetValue: %d";
    return epl;
}();
