#include "epl/epl_filter.h"

#include "epl/epl_render.h"
#include "rfid/vx_file.h"

const LabelFilterDefinition kEplFilter = {
    .logName = "mxepl",
    .settings = &kEplSettings,
    // A page the renderer cannot send ends the job; each page sent is reported to CUPS.
    .flow =
        {
            .intermediateNumber = HandOverNumber::PageBeingSent,
            .intermediateResult = IntermediateResult::FailureEndsJob,
            .finalHandOver = FinalHandOver::OnlyWithBuffer,
            .pageZeroBuffer = PageZeroBuffer::Kept,
            .afterPageMessage = "Finish print operation.",
            .startDocLogText = "The resault of StartDocCMD is %d",
        },
    // The offsets are left to the command builder; a page is scaled to the print width only
    // when its label is sized from the page.
    .pipeline =
        {
            .beginBitmapPath = "/tmp/EplBegin.bmp",
            .beginBitmapError = "Out - EplBegin.bmp Error",
            .outputBitmapPath = "/tmp/EplOutput.bmp",
            .outputBitmapError = "Out - EplOutput.bmp Error",
            .bitmapLayout = {.rowLength = BmpRowLength::PaddedToWords, .pixelsPerMetre = 3780},
            .outputBitmap = HalftoneBitmap::AfterEveryMethod,
            .paperModeZero = PaperModeZero::ScaledToOutput,
            .offsets = PageOffsets::ByPrinterCommands,
            .printModeOneLimit = ResolutionBasis::Output,
            .widthLimit = WidthLimit::OnlyWhenSizingLabel,
            .paperModeZeroWhite = PaperModeZeroWhite::Cropped,
            .unsetHalftoneMethod = 4,
            .halftoneMethod4 = HalftoneMethod4::AdaptiveThreshold,
            .negative = NegativePrint::Inverted,
            .solidRunLength = ResolutionBasis::Raster,
        },
    // A fresh renderer object for the start of the document and for each page.
    .rendererLifetime = RendererLifetime::FreshPerCall,
    .makeRenderer = MakeLabelRenderer<CEPLRender>,
    .steps = {.handleRfid = nullptr, .vxRfidJobTask = VXRFIDJobStep, .renderPdfPage = nullptr},
};
