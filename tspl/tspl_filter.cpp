#include "tspl/tspl_filter.h"

#include "rfid/vx_file.h"
#include "tspl/tspl_render.h"

const LabelFilterDefinition kTsplFilter = {
    .logName = "mxtspl",
    .settings = &kTsplSettings,
    .flow =
        {
            .intermediateNumber = HandOverNumber::PageBeingSent,
            .intermediateResult = IntermediateResult::Ignored,
            .finalHandOver = FinalHandOver::OnlyWithBuffer,
            .pageZeroBuffer = PageZeroBuffer::DroppedUnsent,
            .afterPageMessage = nullptr,
            .startDocLogText = "Result of StartDocCMD is %d",
        },
    // The offsets are left to the BITMAP command; halftone method 4 is the adaptive threshold,
    // whose result alone is kept as a debug file.
    .pipeline =
        {
            .beginBitmapPath = "/tmp/TsplBegin.bmp",
            .beginBitmapError = "Out - TsplBegin.bmp Error",
            .outputBitmapPath = "/tmp/TsplOutput.bmp",
            .outputBitmapError = "Out - TsplOutput.bmp Error",
            .bitmapLayout = {.rowLength = BmpRowLength::PaddedToWords, .pixelsPerMetre = 3780},
            .outputBitmap = HalftoneBitmap::AfterAdaptiveThresholdOnly,
            .paperModeZero = PaperModeZero::ScaledToOutput,
            .offsets = PageOffsets::ByPrinterCommands,
            .printModeOneLimit = ResolutionBasis::Output,
            .widthLimit = WidthLimit::Always,
            .paperModeZeroWhite = PaperModeZeroWhite::CroppedWhenSavingPaper,
            .unsetHalftoneMethod = 4,
            .halftoneMethod4 = HalftoneMethod4::AdaptiveThreshold,
            .negative = NegativePrint::Inverted,
            .solidRunLength = ResolutionBasis::Raster,
        },
    .rendererLifetime = RendererLifetime::OnePerJob,
    .makeRenderer = MakeLabelRenderer<CTSPLRenderClass>,
    .steps = {.handleRfid = nullptr, .vxRfidJobTask = VXRFIDJobStep, .renderPdfPage = nullptr},
};
