// PDF preprocessing: a page of the job's PDF rendered with poppler's pdftoppm at the raster's
// resolution replaces the page image read from the CUPS raster. pdftoppm writes the page to a
// pipe, so no page image ever lies under a name in /tmp.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "log/cancel_flag.h"

// One page of the job's PDF.
struct PdfPageRequest {
    const char* jobId;     // the job id as given to the filter; only digits are accepted
    const char* pdfPath;   // absolute path of the job's PDF
    unsigned pageNumber;   // 1 for the first page
    unsigned xResolution;  // dots per inch of the page image
    unsigned yResolution;
    CancelFlag canceled = nullptr;  // the job's SIGTERM flag: a cancel kills the tool at once
    // Wall-time limits of the tools; past them the page prints from the raster.
    std::chrono::milliseconds pdfinfoLimit{10000};
    std::chrono::milliseconds pdftoppmLimit{30000};
};

// Renders the page into the page image: `height` rows of `width` blue-green-red pixels,
// `stride` bytes apart. Returns true when it replaced the page's pixels; false leaves the
// page image untouched (and, when a tool ran out of time, says so in a "WARNING: " line).
bool RenderPdfPage(const PdfPageRequest& request, uint8_t* bits, uint32_t width, uint32_t height,
                   uint32_t stride);

// The page count from pdfinfo's output ("Pages:" line), or -1.
long PdfinfoPageCount(const std::string& output);
// True for a job id of 1 to 20 decimal digits.
bool IsJobIdText(const char* jobId);
