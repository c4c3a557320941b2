// Checks shared by the label filters' end-to-end tests: the sample label PDF, the barcodes
// zbarimg reads on a decoded label, and where its dark dots lie compared with the PDF as
// poppler draws it.
#pragma once

#include <string>

#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/preview/bitmap.h"

struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;
};

// The smallest rectangle holding every dark pixel of a label preview.
Box DarkBox(const GreyBitmap& image);

// The repository's sample shipping label ("4x6in", "2x1in", ...) as a PDF in `dir`.
std::string SampleLabelPdf(const TempDir& dir, const std::string& size, int pages = 1);

// What zbarimg reads on a label preview, one "TYPE:data" per line.
std::string Barcodes(const TempDir& dir, const GreyBitmap& image);

// A raster job of `pages` copies of `page`, each page asking for `copies`, run through `filter`
// with the queue's PPD and the job's options; a failed job fails the calling test.
std::string RunLabelJob(const TempDir& dir, const std::string& filter, const std::string& ppd,
                        int pages, unsigned copies, const std::string& options,
                        const TestPage& page);

// The dark box of page 1 of `pdf` as pdftoppm draws it at `dpi` without anti-aliasing.
Box ReferenceBox(const TempDir& dir, const std::string& pdf, int dpi);
