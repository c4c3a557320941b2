// Job control shared by every filter: the SIGTERM cancel flag, reading the next page header,
// and closing the job's input.
#pragma once

#include <cups/raster.h>

#include <csignal>

#include "filter/page_input.h"

// Set by SIGTERM; the page loops test it between pages.
extern volatile sig_atomic_t Canceled;

void CancelJob(int signal);
// Clears `Canceled` and installs CancelJob for SIGTERM.
void InstallCancelHandler();

enum class HeaderRead {
    Page,     // a header was read
    End,      // the input ended
    Refused,  // libcups refused the header; the reason is on standard error and in the log
};

// The start of every job: standard error unbuffered, the job log started, the raster input and
// the PPD opened, SIGTERM handled, the job's options marked and the "DriverLog" switch read
// into `logFlag`. False (with the reason on standard error) when the job cannot start; nothing
// is left open then.
bool StartJob(int argc, char* argv[], const char* logName, RasterInput& input, ppd_file_t** ppd,
              bool& logFlag);

// Reads the header of page `pageNumber`.
HeaderRead ReadNextHeader(const RasterInput& input, unsigned pageNumber,
                          cups_page_header2_t& header);

// Closes the PPD, the raster stream and (unless standard input) the descriptor; reports a job
// without pages; removes `tempPdf` when one is given.
void CloseStreamFile(ppd_file_t* ppd, RasterInput& input, unsigned pages, const char* tempPdf);
