#include "filter/label_filters.h"

#include "pdf/pdf_page.h"
#include "rfid/job_name.h"
#include "rfid/vx_file.h"

LabelFilterTraits ZplJobTraits() {
    return LabelFilterTraits{
        .logName = "mxzpl",
        .settings = &kZplSettings,
        .makeRenderer = nullptr,
        .intermediateNumber = HandOverNumber::PageJustStarted,
        .intermediateFailureEndsJob = false,
        .finalHandOverNeedsBuffer = false,
        .dropsBufferOfPageZero = false,
        .afterPageMessage = nullptr,
        .startDocLogText = "Result of StartDocCMD is %d",
        .removesTempPdf = true,
        .handleRfid = HandleRfid,
        .vxRfidJobTask = VXRFIDJobTask,
        .renderPdfPage = RenderPdfPage,
    };
}

LabelFilterTraits TsplJobTraits() {
    return LabelFilterTraits{
        .logName = "mxtspl",
        .settings = &kTsplSettings,
        .makeRenderer = nullptr,
        .intermediateNumber = HandOverNumber::PageBeingSent,
        .intermediateFailureEndsJob = false,
        .finalHandOverNeedsBuffer = true,
        .dropsBufferOfPageZero = true,
        .afterPageMessage = nullptr,
        .startDocLogText = "Result of StartDocCMD is %d",
        .removesTempPdf = false,
        .handleRfid = nullptr,
        .vxRfidJobTask = VXRFIDJobTask,
        .renderPdfPage = nullptr,
    };
}

LabelFilterTraits EplJobTraits() {
    return LabelFilterTraits{
        .logName = "mxepl",
        .settings = &kEplSettings,
        .makeRenderer = nullptr,
        .intermediateNumber = HandOverNumber::PageBeingSent,
        .intermediateFailureEndsJob = true,
        .finalHandOverNeedsBuffer = true,
        .dropsBufferOfPageZero = false,
        .afterPageMessage = "Finish print operation.",
        .startDocLogText = "The resault of StartDocCMD is %d",
        .removesTempPdf = false,
        .handleRfid = nullptr,
        .vxRfidJobTask = VXRFIDJobTask,
        .renderPdfPage = nullptr,
    };
}
