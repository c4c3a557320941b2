#include "settings/oem_cfg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "log/log4z.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"
#include "settings/ppd_keyword.h"

namespace {

bool Ready(const tagOEMCFG* cfg, const ReaderContext& ctx) {
    return cfg != nullptr && ctx.ppd != nullptr && ctx.profile != nullptr;
}

// "choice": the option's code as an integer; -1 (absent) keeps the field's default.
template <typename Field>
void ReadChoice(Field& field, const char* keyword, const ReaderContext& ctx) {
    int value = GetOptionChoiceIndex(keyword, ctx.ppd);
    if (value != -1) field = static_cast<Field>(value);
}

// A number from a PPD code as the field's type holds it: codes beyond its range keep its ends.
template <typename Field>
Field ClampedField(double value) {
    if (!(value == value)) return Field{};  // not a number
    // 64-bit ends are not doubles; 9.2e18 lies just inside them.
    const double low = std::max(static_cast<double>(std::numeric_limits<Field>::min()), -9.2e18);
    const double high = std::min(static_cast<double>(std::numeric_limits<Field>::max()), 9.2e18);
    return static_cast<Field>(std::clamp(value, low, high));
}

// "tenths": the option's code in millimetres, stored in tenths of a millimetre. The small
// nudge keeps codes such as "0.7", which a float holds as 0.6999999, at 7 tenths.
template <typename Field>
void ReadTenths(Field& field, const char* keyword, const ReaderContext& ctx) {
    float value = GetOptionChoiceIndexf(keyword, ctx.ppd);
    if (value == -1.0f) return;
    double tenths = static_cast<double>(value) * 10.0;
    field = ClampedField<Field>(std::trunc(tenths + std::copysign(1e-3, tenths)));
}

// "plain": the option's code truncated toward zero.
template <typename Field>
void ReadPlain(Field& field, const char* keyword, const ReaderContext& ctx) {
    float value = GetOptionChoiceIndexf(keyword, ctx.ppd);
    if (value != -1.0f) field = ClampedField<Field>(std::trunc(value));
}

// "keyword": a plain PPD main keyword read from the file.
uint16_t ReadKeyword(const char* keyword) {
    std::optional<std::string> text = GetPpdKeywordValue(keyword);
    if (!text) return 0;
    return static_cast<uint16_t>(std::strtol(text->c_str(), nullptr, 10));
}

// "choice name": the number in the marked choice's name, -1 for none or "Default".
int32_t ReadChoiceName(const char* keyword, const ReaderContext& ctx) {
    ppd_choice_t* choice = ppdFindMarkedChoice(ctx.ppd, keyword);
    if (choice == nullptr || std::strcmp(choice->choice, "Default") == 0) return -1;
    return static_cast<int32_t>(std::strtol(choice->choice, nullptr, 10));
}

template <typename Field>
void ReadOffsetValue(Field& field, const char* keyword, const ReaderContext& ctx) {
    if (ctx.profile->offsetValueScale == OffsetScale::Millimetres) {
        ReadPlain(field, keyword, ctx);
    } else {
        ReadTenths(field, keyword, ctx);
    }
}

// Levels choice v (100 neutral) to the gamma percentage the tone tables use. Choices run from
// 0 (999, the darkest) to 200 (1, the lightest); beyond them the ends hold.
int32_t LevelsFromChoice(int v) {
    v = std::clamp(v, 0, 200);
    if (v >= 100) return 100 - ((v - 100) * 99) / 100;
    return 100 + ((100 - v) * 899) / 100;
}

}  // namespace

void InitMirror(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sMirror, "Mirror", ctx);
    LOGD("Init sMirror: %d", cfg->sMirror);
}

void InitRotation(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sRotation = 0;
    cfg->sRotate90 = 0;
    switch (static_cast<int16_t>(GetOptionChoiceIndex("Rotation", ctx.ppd))) {
        case 1:
            cfg->sRotation = 1;
            cfg->sRotate90 = 1;
            break;
        case 2:
            cfg->sRotation = 1;
            break;
        case 3:
            cfg->sRotate90 = 1;
            break;
        default:
            break;
    }
    LOGD("Init sRotation: %d, sRotate90: %d", static_cast<int>(cfg->sRotation), cfg->sRotate90);
}

void InitNegativeFilm(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->bNegative, "NegativeFilm", ctx);
    LOGD("Init bNegative: %d", cfg->bNegative);
}

void InitDensity(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sDensity, "Density", ctx);
    // 1000 means "keep the darkness set on the printer".
    if (ctx.profile->density1000 == Density1000::PrinterDensity && cfg->sDensity == 1000)
        cfg->bUsePrinterDensity = 1;
    LOGD("Init sDensity: %d", static_cast<int>(cfg->sDensity));
}

void InitHorizontalOffset(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sHrzDir, "HorizontalOffset", ctx);
    LOGD("Init sHrzDir: %d", static_cast<int>(cfg->sHrzDir));
}

void InitHorizontalOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadOffsetValue(cfg->sHrzOffset, "HorizontalOffsetValue", ctx);
    LOGD("Init sHrzOffset: %d", static_cast<int>(cfg->sHrzOffset));
}

void InitVerticalOffset(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sVtcDir, "VerticalOffset", ctx);
    LOGD("Init sVtcDir: %d", static_cast<int>(cfg->sVtcDir));
}

void InitVerticalOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadOffsetValue(cfg->sVtcOffset, "VerticalOffsetValue", ctx);
    LOGD("Init sVtcOffset: %d", static_cast<int>(cfg->sVtcOffset));
}

void InitBrightness(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->nBrightness, "Brightness", ctx);
    LOGD("Init nBrightness: %d", cfg->nBrightness);
}

void InitContrast(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->nContrast, "Contrast", ctx);
    LOGD("Init nContrast: %d", cfg->nContrast);
}

void InitLevels(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->nColorLevelsAdj = ctx.profile->levelsDefault;
    int value = GetOptionChoiceIndex(ctx.profile->levelsKeyword, ctx.ppd);
    if (value != -1) cfg->nColorLevelsAdj = LevelsFromChoice(value);
    LOGD(ctx.profile->levelsLogText, cfg->nColorLevelsAdj);
}

void InitHalftone(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sHalftoneMethod = ctx.profile->halftoneDefault;
    ReadChoice(cfg->sHalftoneMethod, "Halftone", ctx);
    LOGD("Init sHalftoneMethod: %d", cfg->sHalftoneMethod);
}

void InitPrintMethod(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (cfg == nullptr || ctx.profile == nullptr) return;
    if (ctx.profile->printMethod == PrintMethodSource::PageHeaderMediaType) {
        // The media type of the page header names the print method.
        if (ctx.header == nullptr) return;
        if (std::strcmp(ctx.header->MediaType, "Thermal") == 0) {
            cfg->sPaperType = 2;
        } else if (std::strcmp(ctx.header->MediaType, "Direct") == 0) {
            cfg->sPaperType = 1;
        }
    } else {
        if (ctx.ppd == nullptr) return;
        ReadChoice(cfg->sPaperType, "PrintMethod", ctx);
    }
    LOGD("Init sPaperType: %d", cfg->sPaperType);
}

void InitMediaType(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    if (ctx.profile->labelType == LabelTypeSource::MediaTrackingChoice) {
        static const char* const kTracking[] = {"Interval", "Mark", "Continuous"};
        for (uint16_t i = 0; i < 3; ++i) {
            if (ppdIsMarked(ctx.ppd, "zeMediaTracking", kTracking[i])) {
                cfg->sLabelType = static_cast<uint16_t>(i + 1);
                break;
            }
        }
    } else {
        ReadChoice(cfg->sLabelType, "MediaType", ctx);
    }
    LOGD("Init sLabelType: %d", cfg->sLabelType);
}

void InitGapHeight(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->GAPHeight = ctx.profile->gapHeightDefault;
    ReadTenths(cfg->GAPHeight, "GAPHeight", ctx);
    cfg->BLineHeight = cfg->GAPHeight;
    LOGD("Init GAPHeight: %d", cfg->GAPHeight);
}

void InitGapOffset(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadTenths(cfg->GAPOffset, "GAPOffset", ctx);
    cfg->BLineOffset = cfg->GAPOffset;
    LOGD("Init GAPOffset: %d", cfg->GAPOffset);
}

void InitMode(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->dwOperationAfterPrn, "Mode", ctx);
    LOGD("Init dwOperationAfterPrn: %d", static_cast<int>(cfg->dwOperationAfterPrn));
}

void InitCutMethod(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->dwOperationModeAfterPrn, "CutMethod", ctx);
    LOGD("Init dwOperationModeAfterPrn: %d", static_cast<int>(cfg->dwOperationModeAfterPrn));
}

void InitInterval(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sIntervalValue = ctx.profile->intervalDefault;
    ReadChoice(cfg->sIntervalValue, "Interval", ctx);
    LOGD("Init sIntervalValue: %d", cfg->sIntervalValue);
}

void InitFeed(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    if (ctx.profile->feed == FeedMeaning::CutPosition) {
        ReadChoice(cfg->sCutPosition, "Feed", ctx);
        LOGD("Init sCutPosition: %d", cfg->sCutPosition);
    } else {
        ReadChoice(cfg->sFeedLen, "Feed", ctx);
        LOGD("Init sFeedLen: %d", cfg->sFeedLen);
    }
}

void InitFeedModel(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sFeedModel, "FeedModel", ctx);
    LOGD("Init sFeedModel: %d", cfg->sFeedModel);
}

void InitOutputDpi(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (cfg == nullptr) return;
    (void)ctx;
    cfg->sOutputXDPI = cfg->sOutputYDPI = ReadKeyword("OutputDPI");
    LOGD("Init sOutputXDPI: %d, sOutputYDPI: %d", cfg->sOutputXDPI, cfg->sOutputYDPI);
}

void GetVerticalDPI(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sOutputYDPI, "OutputYDPI", ctx);
    LOGD("GetVerticalDPI: %d", cfg->sOutputYDPI);
}

void InitMaxOutputWidth(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    if (ctx.profile->maxOutputWidth == SettingSource::Keyword) {
        cfg->sMaxOutputWidth = ReadKeyword("MaxOutputWidth");
    } else {
        ReadChoice(cfg->sMaxOutputWidth, "MaxOutputWidth", ctx);
    }
    LOGD("Init sMaxOutputWidth: %d", cfg->sMaxOutputWidth);
}

void InitIsSolidToDashed(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sIsLineImaginary, "IsToDashed", ctx);
    LOGD("Init sIsLineImaginary: %d", cfg->sIsLineImaginary);
}

void InitSolidMinLength(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sMinImaginaryLineLen = ctx.profile->solidMinLengthDefault;
    ReadChoice(cfg->sMinImaginaryLineLen, "MinLength", ctx);
    LOGD("Init sMinImaginaryLineLen: %d", cfg->sMinImaginaryLineLen);
}

void InitIntervalBlack(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sBlackInterval = ctx.profile->dashIntervalDefault;
    ReadChoice(cfg->sBlackInterval, "IntervalBlack", ctx);
    LOGD("Init sBlackInterval: %d", cfg->sBlackInterval);
}

void InitIntervalWhite(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sWhiteInterval = ctx.profile->dashIntervalDefault;
    ReadChoice(cfg->sWhiteInterval, "IntervalWhite", ctx);
    LOGD("Init sWhiteInterval: %d", cfg->sWhiteInterval);
}

void InitPrintMode(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sPaperMode, "PrintMode", ctx);
    LOGD("Init sPaperMode: %d", cfg->sPaperMode);
}

void InitPaperMode(tagOEMCFG* cfg, const ReaderContext& ctx) {
    InitPrintMode(cfg, ctx);
}

void InitPrintRate(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->nPrintSpeed = ReadChoiceName("zePrintRate", ctx);
    LOGD("Init nPrintSpeed: %d", cfg->nPrintSpeed);
}

void InitPrintSpeed(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sPrintSpeed, "PrintSpeed", ctx);
    LOGD("Init sPrintSpeed: %d", cfg->sPrintSpeed);
}

void InitAutoRotate90(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sAutoRotate90, "AutoRotate", ctx);
    LOGD("Init sAutoRotate90: %d", cfg->sAutoRotate90);
}

void InitStartOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->dwStartOffsetValue, "StartOffsetValue", ctx);
    LOGD(ctx.profile->startOffsetLogText, cfg->dwStartOffsetValue);
}

void InitFixedHeight(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->dwFixedHeight, "FixedHeight", ctx);
    LOGD(ctx.profile->fixedHeightLogText, cfg->dwFixedHeight);
}

void InitEndOffsetValue(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->dwEndOffsetValue, "EndOffsetValue", ctx);
    LOGD(ctx.profile->endOffsetLogText, cfg->dwEndOffsetValue);
}

void InitPdfPreprocess(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->PdfPreprocess, "PdfPreprocess", ctx);
    LOGD("Init PdfPreprocess: %d", cfg->PdfPreprocess);
}

void InitSavePaper(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sSavePaper, "SavePaper", ctx);
    LOGD(ctx.profile->savePaperLogText, cfg->sSavePaper);
}

void InitBackFeedSpeed(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->nBackfeedRate = static_cast<int16_t>(ReadChoiceName("zeBackfeedRate", ctx));
    LOGD("Init nBackfeedRate: %d", cfg->nBackfeedRate);
}

void InitApSignal(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->sApSignal = ctx.profile->apSignalDefault;
    ReadChoice(cfg->sApSignal, "ApplicationMode", ctx);
    LOGD("Init sApSignal: %d", static_cast<int16_t>(cfg->sApSignal));
}

void InitStartSignal(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sStartSignal, "StartSignal", ctx);
    LOGD("Init sStartSignal: %d", cfg->sStartSignal);
}

void InitReprint(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sReprint, "Reprint", ctx);
    LOGD("Init sReprint: %d", cfg->sReprint);
}

void InitRibbonLow(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    ReadChoice(cfg->sRibbonLow, "RibbonLow", ctx);
    LOGD("Init sRibbonLow: %d", cfg->sRibbonLow);
}

void InitRTC(tagOEMCFG* cfg, const ReaderContext& ctx) {
    if (!Ready(cfg, ctx)) return;
    cfg->bUseRTC = GetOptionChoiceIndex("RTC", ctx.ppd) == 1 ? 1 : 0;
    LOGD("Init bUseRTC: %s", cfg->bUseRTC ? "yes" : "no");
}

void InitalizeOemCfg(tagOEMCFG* cfg, ppd_file_t* ppd, const cups_page_header2_t* header,
                     const SettingsProfile& profile) {
    if (cfg == nullptr || ppd == nullptr) return;
    std::memset(cfg, 0, sizeof(*cfg));
    const ReaderContext ctx{ppd, header, &profile};
    for (OemCfgReader reader : profile.readers) reader(cfg, ctx);
}
