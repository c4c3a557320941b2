// rastomoxtspl: everything that makes the TSPL filter differ from the other label filters.
#pragma once

#include "filter/label_filter.h"
#include "settings/oem_cfg.h"

// The settings the TSPL filter reads, in order; its print speed is a plain choice.
inline constexpr OemCfgReader kTsplReaders[] = {
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

// Offsets and media lengths in tenths of a millimetre, every setting from a PPD choice.
inline constexpr SettingsProfile kTsplSettings = {
    .filterName = "rastomoxtspl",
    .readers = kTsplReaders,
    .offsetValueScale = OffsetScale::Tenths,
    .levelsKeyword = "Levels",
    .levelsLogText = "Init nLevelsAdj: %d",
    .levelsDefault = 0,
    .density1000 = Density1000::PlainValue,
    .printMethod = PrintMethodSource::PrintMethodChoice,
    .labelType = LabelTypeSource::MediaTypeChoice,
    .maxOutputWidth = SettingSource::Choice,
    .feed = FeedMeaning::FeedLength,
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

extern const LabelFilterDefinition kTsplFilter;
