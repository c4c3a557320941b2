// The receipt filter's job flow: arguments, input and PPD as every filter opens them, then
// per page the page's pixels, the options read into the printer, and the page's bytes.
//
// Output order: 0D 0D, start of document, logo (when chosen); for each page start-of-page
// bytes, graphics, end-of-page bytes, every later page preceded by 0D 0D; the end of the
// document and of the job last.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <vector>

#include "filter/output_sink.h"
#include "filter/page_input.h"
#include "pos/mox_dt_printer.h"

// Widest page a GS v 0 band can carry (65535 bytes per row).
constexpr uint32_t kMaxReceiptDots = 0xFFFF * 8;

// Logs the page header and writes two carriage returns.
void StartPage(ppd_file_t* ppd, const cups_page_header2_t& header, OutputSink& out);

// Reads one page's pixels into a new page image (24-bit blue-green-red rows, DibStride
// bytes apart, whatever the raster's depth); rows a truncated stream never delivered are
// white. False when no buffer could be allocated.
bool GetCupsRasterPrintData(const RasterInput& input, const PageFormat& format, PageImage& image);

// The horizontal image offset in dots from "HorizontalOffsetValue" (mm) and
// "HorizontalOffset" (0 moves right, other values left); 0 when either is missing or the
// value is not a distance, and never more than the page width.
int HorizontalOffsetDots(ppd_file_t* ppd, const cups_page_header2_t& header);

// Reads the page's options into the printer and gives the image offsets in dots.
void InitPrinterSettings(ppd_file_t* ppd, const cups_page_header2_t& header, MoxDTPrinter& printer,
                         int& xOffset, int& yOffset);

// Builds one page on the printer copy it is given and writes its start-of-page bytes,
// graphics and end-of-page bytes to the output. False (nothing written) when the page could
// not be converted.
bool OutputPrintData(const uint8_t* pixels, uint32_t length, int xOffset, int yOffset,
                     MoxDTPrinter printer, const cups_page_header2_t& header,
                     std::vector<uint8_t>& startPage, std::vector<uint8_t>& page,
                     std::vector<uint8_t>& endPage, OutputSink& out);

// The whole job; returns the exit status: 0 when pages were printed, 1 when there was no
// page, and 1 for a failure (reported on standard error).
int RunReceiptFilter(int argc, char* argv[]);
