#include "zpl/zpl_filter.h"

#include "pdf/pdf_page.h"
#include "rfid/job_name.h"
#include "rfid/vx_file.h"
#include "zpl/zpl_render.h"

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

}  // namespace

const SettingsProfile kZplSettings = {
    .filterName = "rastomoxzpl",
    .readers = kZplReaders,
    .offsetValueScale = OffsetScale::Millimetres,
    .levelsKeyword = "ColorLevels",
    .levelsLogText = "Init nColorLevelsAdj: %d",
    .levelsDefault = 100,
    .density1000 = Density1000::PrinterDensity,
    .printMethod = PrintMethodSource::PageHeaderMediaType,
    .labelType = LabelTypeSource::MediaTrackingChoice,
    .maxOutputWidth = SettingSource::Keyword,
    .feed = FeedMeaning::FeedLength,
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

const LabelFilterDefinition kZplFilter = {
    .logName = "mxzpl",
    .settings = &kZplSettings,
    .flow =
        {
            .intermediateNumber = HandOverNumber::PageJustStarted,
            .intermediateResult = IntermediateResult::Ignored,
            .finalHandOver = FinalHandOver::Always,
            .pageZeroBuffer = PageZeroBuffer::Kept,
            .afterPageMessage = nullptr,
            .startDocLogText = "Result of StartDocCMD is %d",
        },
    .pipeline =
        {
            .beginBitmapPath = "/tmp/ZplBegin.bmp",
            .beginBitmapError = "Out - ZplBegin.bmp Error",
            .outputBitmapPath = "/tmp/ZplOutput.bmp",
            .outputBitmapError = "Out - ZplOutput.bmp Error",
            .bitmapLayout = {.rowLength = BmpRowLength::AsInBuffer, .pixelsPerMetre = 7992},
            .outputBitmap = HalftoneBitmap::AfterEveryMethod,
            .paperModeZero = PaperModeZero::OwnLabelAtRasterResolution,
            .offsets = PageOffsets::ShiftedWhileConverting,
            .printModeOneLimit = ResolutionBasis::Raster,
            .widthLimit = WidthLimit::Always,
            .paperModeZeroWhite = PaperModeZeroWhite::Cropped,
            .unsetHalftoneMethod = 1,
            .halftoneMethod4 = HalftoneMethod4::Dither,
            .negative = NegativePrint::Ignored,
            .solidRunLength = ResolutionBasis::Output,
        },
    .rendererLifetime = RendererLifetime::OnePerJob,
    .makeRenderer = MakeLabelRenderer<CZPLIIRenderClass>,
    .steps = {.handleRfid = HandleRfidStep,
              .vxRfidJobTask = VXRFIDJobStep,
              .renderPdfPage = RenderPdfPage},
};
