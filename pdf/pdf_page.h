// PDF preprocessing: a page of the job's PDF rendered with poppler's pdftoppm at the raster's
// resolution replaces the page image read from the CUPS raster.
#pragma once

#include <cstdint>
#include <string>

// One page of the job's PDF.
struct PdfPageRequest {
    const char* jobId;     // the job id as given to the filter; only digits are accepted
    const char* pdfPath;   // absolute path of the job's PDF
    unsigned pageNumber;   // 1 for the first page
    unsigned xResolution;  // dots per inch of the page image
    unsigned yResolution;
};

// Renders the page into the page image: `height` rows of `width` blue-green-red pixels,
// `stride` bytes apart. Returns true when it replaced the page's pixels; false leaves the
// page image untouched.
bool RenderPdfPage(const PdfPageRequest& request, uint8_t* bits, uint32_t width, uint32_t height,
                   uint32_t stride);

// Number of decimal digits of the PDF's page count, or -1 when pdfinfo gives none.
int GetPpmFilePagesBits(const char* pdfPath);
// The page count from pdfinfo's output ("Pages:" line), or -1.
long PdfinfoPageCount(const std::string& output);
// The name under which pdftoppm writes one page: /tmp/MXLT_TEMP_CUPS_<id>-<page>.ppm, the page
// zero-padded to `digits` digits.
std::string PpmFilePath(const char* jobId, int digits, unsigned pageNumber);
// Runs pdftoppm for the page and sets `ppmPath` to the page image it writes (empty when the
// page count is unknown, in which case pdftoppm is not run). Returns true when pdftoppm
// succeeded.
bool PdftoppmCmd(std::string& ppmPath, const PdfPageRequest& request);
// True for a job id of 1 to 20 decimal digits.
bool IsJobIdText(const char* jobId);
