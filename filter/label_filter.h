// What makes one label filter differ from the others: each filter (zpl/, tspl/, epl/) states
// its differences in one LabelFilterDefinition, and its program hands that to RunLabelFilter.
#pragma once

#include <cstdint>
#include <memory>

#include "filter/label_renderer.h"
#include "filter/page_pipeline.h"
#include "log/cancel_flag.h"
#include "pdf/pdf_page.h"
#include "rfid/rfid_step.h"
#include "settings/oem_cfg.h"

class OutputSink;

// Which page number the loop gives with an intermediate hand-over.
enum class HandOverNumber {
    PageJustStarted,  // one more than the page being sent
    PageBeingSent,
};

// What the result of an intermediate page's TransCommand does.
enum class IntermediateResult {
    Ignored,
    FailureEndsJob,  // false ends the job at once: no further page, no final hand-over
};

// When the final hand-over after the loop is made.
enum class FinalHandOver {
    Always,          // it sends only when a page is buffered
    OnlyWithBuffer,  // it is not made at all without a buffered page
};

// What happens to a buffer handed over as page 0.
enum class PageZeroBuffer {
    Kept,
    DroppedUnsent,
};

// Where the page loops of the filters differ.
struct LabelFlowPolicy {
    HandOverNumber intermediateNumber;
    IntermediateResult intermediateResult;
    FinalHandOver finalHandOver;
    PageZeroBuffer pageZeroBuffer;
    const char* afterPageMessage;  // written to standard error after each page, or null
    const char* startDocLogText;   // logs the result of StartDocCMD
};

// Per-page steps a filter has besides its renderer; null where it has none.
struct LabelJobSteps {
    // RFID tag data in the job title.
    RfidStep (*handleRfid)(const char* title, OutputSink& out);
    // Per-label data over the message queue.
    RfidStep (*vxRfidJobTask)(const char* title, int jobId, CancelFlag canceled, OutputSink& out);
    // The page rendered from the job's PDF instead of the raster; a filter with this step
    // also removes the job's temporary PDF at the end.
    bool (*renderPdfPage)(const PdfPageRequest& request, uint8_t* bits, uint32_t width,
                          uint32_t height, uint32_t stride);
};

// MakeLabelRenderer<the filter's renderer class>.
using RendererFactory = std::unique_ptr<LabelRenderer> (*)(RendererLifetime lifetime);

struct LabelFilterDefinition {
    const char* logName;  // log file /tmp/<logName>.log
    const SettingsProfile* settings;
    LabelFlowPolicy flow;
    PagePipelinePolicy pipeline;
    RendererLifetime rendererLifetime;
    RendererFactory makeRenderer;
    LabelJobSteps steps;
};

// The whole job of a label filter; returns the process exit status.
int RunLabelFilter(int argc, char* argv[], const LabelFilterDefinition& definition);
