#include "filter/label_filters.h"

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
        .handleRfid = nullptr,
        .vxRfidJobTask = nullptr,
        .renderPdfPage = nullptr,
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
        .vxRfidJobTask = nullptr,
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
        .vxRfidJobTask = nullptr,
        .renderPdfPage = nullptr,
    };
}
