// Job control shared by every filter: the SIGTERM cancel flag, the job's input (raster stream,
// PPD, log switch), reading the next page header, and the end of the job's input.
#pragma once

#include <cups/raster.h>

#include <csignal>

#include "filter/page_input.h"

// Set by SIGTERM; the page loops test it between pages.
extern volatile sig_atomic_t Canceled;

void CancelJob(int signal);
// Clears `Canceled` and installs CancelJob for SIGTERM.
void InstallCancelHandler();

// What a job reads: the raster input, the queue's PPD with the job's options marked, and
// whether its debug log is on. Both the stream and the PPD close when the job input goes.
struct JobInput {
    RasterInput raster;
    PpdFile ppd;
    bool logFlag = false;
};

enum class HeaderRead {
    Page,     // a header was read
    End,      // the input ended
    Refused,  // libcups refused the header; the reason is on standard error and in the log
};

// The start of every job: standard error unbuffered, the raster input and the PPD opened,
// SIGTERM handled and a closed pipe reported as a write error, the job's options marked, and
// the job log started when "DriverLog" is on. False (with one ERROR line on standard error)
// when the job cannot start.
bool StartJob(int argc, char* argv[], const char* logName, JobInput& job);

// Reads the header of page `pageNumber`.
HeaderRead ReadNextHeader(const RasterInput& input, unsigned pageNumber,
                          cups_page_header2_t& header);

// Closes the PPD, the raster stream and (unless standard input) the descriptor; removes
// `tempPdf` when one is given.
void CloseStreamFile(JobInput& job, const char* tempPdf);
