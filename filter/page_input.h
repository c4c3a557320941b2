// Start-up and input steps shared by every filter: arguments, raster stream, PPD, job options,
// page header logging and reading a page's pixel rows.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/page_format.h"
#include "imaging/malloc_buffer.h"

typedef struct ppd_file_s ppd_file_t;

// The raster input: its descriptor (0 for standard input), the raster stream read through it,
// and whether the input's end has been reached. libcups answers "no more pages" both at the
// end of the stream and for a page header it refuses; only the first has reached the end.
// The stream and a descriptor of our own are closed when the input goes.
struct RasterInput {
    int fd = 0;
    cups_raster_t* raster = nullptr;
    bool endReached = false;
    // Read-ahead: libcups asks for uncompressed streams one row at a time.
    std::vector<uint8_t> readAhead = std::vector<uint8_t>(1 << 16);
    size_t readAheadBegin = 0;
    size_t readAheadEnd = 0;
    // Bytes handed to libcups so far. In an uncompressed stream they are the pixel bytes
    // themselves, so they tell how many rows a short read delivered.
    uint64_t delivered = 0;
    bool uncompressed = false;
    // Rows read ahead of their conversion to grey: one block, kept for every page of the job so
    // that no page maps fresh memory for it.
    mutable MallocBuffer rowBlock;

    RasterInput() = default;
    RasterInput(const RasterInput&) = delete;
    RasterInput& operator=(const RasterInput&) = delete;
    ~RasterInput() { Close(); }
    // Closes the raster stream, then the descriptor unless it is standard input.
    void Close();
};

struct PpdCloser {
    void operator()(ppd_file_t* ppd) const;
};
using PpdFile = std::unique_ptr<ppd_file_t, PpdCloser>;

// Opens the raster input (file argument or standard input) and its raster stream; the stream
// is null when the input does not start like a raster stream. Returns 0 on success, 1 on
// failure (the reason is on standard error).
int OpenPageStream(int argc, char* argv[], RasterInput& input);

// Opens the PPD named by $PPD. Returns 0 on success, 1 on failure (the reason is on standard
// error).
int OpenPpdFile(PpdFile& ppd);

// Marks the PPD defaults, then the job's options.
void InitializeSetting(const char* options, ppd_file_t* ppd);

// Logs the page header fields.
void LogPageHeader(const cups_page_header2_t& header);

// What a page image holds: the raster's pixels as 24-bit blue-green-red rows of
// `format.stride` bytes, or, where the label pipeline asks for it and the stream allows, the
// 8-bit grey its conversion makes (LabelGreyFromRgbRows), in rows of DibStride(width, 8).
enum class PageContent { Bgr24, LabelGrey8 };

// Page image, malloc'd so that the renderers may hand back buffers of their own.
struct PageImage {
    MallocBuffer bits;
    PageFormat format{};
    PageContent content = PageContent::Bgr24;
    uint32_t rows = 0;  // rows the stream delivered; fewer than the format's when it ended early

    uint32_t Stride() const;
    uint32_t Bytes() const { return Stride() * format.height; }
    // What the buffer is allocated for: the grey page's buffer later takes the page's dots,
    // whose rows are rounded up to whole bytes of dots.
    uint64_t Capacity() const;
};

// Reads the page's rows into the page image: into `image.bits` when that buffer (an earlier
// page's) is large enough, else into a fresh one. The grey is made only from uncompressed
// 24-bit streams; otherwise the image holds the page's colours. Rows that a truncated stream
// (or a cancelled job) never delivered are white. Returns false only when no buffer could be
// allocated.
bool ReadPageImage(const RasterInput& input, const PageFormat& format, PageImage& image,
                   PageContent wanted = PageContent::Bgr24);

// Reads and drops the page's pixel data so that the stream stays in step.
void DiscardPagePixels(const RasterInput& input, const PageFormat& format);
