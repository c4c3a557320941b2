// The job flow of the three label filters: arguments, input, PPD, the page loop with its
// one-page-late hand-over to the renderer (which sends a page on a thread of its own while the
// next page is read), and the end of the job.
#pragma once

#include "filter/job_control.h"
#include "filter/label_filter.h"
#include "filter/label_renderer.h"
#include "filter/output_sink.h"
#include "filter/page_input.h"
#include "filter/records.h"
#include "settings/oem_cfg.h"

// One label job: what it reads, the records built from its first page, the page waiting for
// the renderer, and where its printer stream goes. The page loop makes one and passes it on;
// its input closes and its page buffers are freed when it goes.
struct LabelJob {
    LabelJob(const LabelFilterDefinition& definition, OutputSink& output)
        : definition(definition), output(output) {
        pdev.keptConversion = &converted_;
    }
    ~LabelJob() { DropPage(); }
    LabelJob(const LabelJob&) = delete;
    LabelJob& operator=(const LabelJob&) = delete;

    // Puts a page image into the page device record, which now describes it. The renderer
    // reads it there and may swap it for a malloc'd buffer of its own; whatever buffer the
    // record holds belongs to the job.
    void HoldPage(PageImage image);
    // Takes the page image out of the record. Its buffer is kept for the next page, so that
    // every page of a job is read into memory that is already mapped.
    void DropPage();
    // The kept buffer, for the next page to be read into (null when there is none).
    MallocBuffer TakeSpareBuffer() { return std::move(spare_); }

    const LabelFilterDefinition& definition;
    OutputSink& output;
    JobInput input;
    tagOEMCFG cfg{};
    _DEVMODE devMode{};
    _OEMPDEV pdev{};

  private:
    MallocBuffer spare_;
    MallocBuffer converted_;  // see _OEMPDEV::keptConversion
};

// Page setup steps of the loop.
void StartPage(ppd_file_t* ppd, const cups_page_header2_t* header, unsigned page);
void InitPrintSetting(unsigned page, ppd_file_t* ppd, const cups_page_header2_t* header,
                      LabelRenderer& renderer, LabelJob& job);
// Sends the buffered page, if any, and frees it. Returns the renderer's result (true when
// nothing was sent).
bool TransPrintData(unsigned page, LabelRenderer& renderer, bool isLastPage, LabelJob& job);
