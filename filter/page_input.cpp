#include "filter/page_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/job_control.h"
#include "filter/job_messages.h"
#include "imaging/label_grey.h"
#include "log/log4z.h"
#include "settings/ppd_api.h"

namespace {

// Reads what the input has, waiting at most a quarter of a second at a time so that a
// cancelled job stops reading even from a pipe that stays open.
ssize_t ReadInput(RasterInput& input, void* buffer, size_t length) {
    for (;;) {
        if (Canceled) return -1;
        pollfd ready{input.fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 250);
        if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
        const ssize_t n = ::read(input.fd, buffer, length);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n == 0) input.endReached = true;
        return n;
    }
}

// Serves libcups from the read-ahead buffer, refilled with one read at a time; requests at
// least as large as the buffer are read straight into the caller's.
ssize_t ReadRasterInput(void* context, unsigned char* buffer, size_t length) {
    auto& input = *static_cast<RasterInput*>(context);
    if (input.readAheadBegin == input.readAheadEnd) {
        if (length >= input.readAhead.size()) return ReadInput(input, buffer, length);
        const ssize_t n = ReadInput(input, input.readAhead.data(), input.readAhead.size());
        if (n <= 0) return n;
        input.readAheadBegin = 0;
        input.readAheadEnd = static_cast<size_t>(n);
    }
    const size_t count = std::min(length, input.readAheadEnd - input.readAheadBegin);
    std::memcpy(buffer, input.readAhead.data() + input.readAheadBegin, count);
    input.readAheadBegin += count;
    return static_cast<ssize_t>(count);
}

ssize_t CountDelivered(void* context, unsigned char* buffer, size_t length) {
    auto& input = *static_cast<RasterInput*>(context);
    const ssize_t n = ReadRasterInput(context, buffer, length);
    if (n > 0) input.delivered += static_cast<uint64_t>(n);
    return n;
}

// Version 1 and 3 streams carry their pixels as they are; version 2 compresses them.
bool UncompressedSync(const uint8_t* sync) {
    static const char* const kPlain[] = {"RaSt", "tSaR", "RaS3", "3SaR"};
    for (const char* plain : kPlain) {
        if (std::memcmp(sync, plain, 4) == 0) return true;
    }
    return false;
}

}  // namespace

void RasterInput::Close() {
    if (raster != nullptr) cupsRasterClose(raster);
    raster = nullptr;
    if (fd > 0) ::close(fd);
    fd = 0;
}

void PpdCloser::operator()(ppd_file_t* ppd) const {
    ppdClose(ppd);
}

int OpenPageStream(int argc, char* argv[], RasterInput& input) {
    if (argv == nullptr) {
        LOGD("open file failed");
        return 1;
    }
    if (argc != 6 && argc != 7) {
        ReportError("rastertomoxcp job-id user title copies options [file]");
        return 1;
    }
    if (argc == 7) {
        input.fd = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (input.fd < 0) {
            input.fd = 0;
            ReportError("Unable to open raster file");
            ::sleep(1);
            return 1;
        }
    } else {
        input.fd = 0;
    }
    input.raster = cupsRasterOpenIO(CountDelivered, &input, CUPS_RASTER_READ);
    // The sync word is the first read-ahead; a sync word that came in pieces counts as
    // compressed.
    input.uncompressed =
        input.readAheadEnd >= 4 && input.delivered == 4 && UncompressedSync(input.readAhead.data());
    return 0;
}

namespace {

// Opens the PPD without waiting on a FIFO or reading a device forever: only a regular file
// is read.
ppd_file_t* OpenRegularPpd(const char* path, std::string& why) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::string(path) + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = std::string(path) + " is not a regular file.";
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    cups_file_t* file = cupsFileOpenFd(fd, "r");
    if (file == nullptr) {
        ::close(fd);
        why = std::string(path) + " cannot be read.";
        return nullptr;
    }
    ppd_file_t* ppd = ppdOpen2(file);
    cupsFileClose(file);
    if (ppd == nullptr) {
        int line = 0;
        const ppd_status_t status = ppdLastError(&line);
        char text[256];
        std::snprintf(text, sizeof(text), "%s on line %d.", ppdErrorString(status), line);
        why = text;
    }
    return ppd;
}

}  // namespace

int OpenPpdFile(PpdFile& ppd) {
    const char* path = std::getenv("PPD");
    std::string why = "The PPD environment variable is not set.";
    if (path != nullptr && *path != '\0') ppd.reset(OpenRegularPpd(path, why));
    if (ppd != nullptr) return 0;
    ReportError("The PPD file could not be opened. %s", why.c_str());
    return 1;
}

void InitializeSetting(const char* options, ppd_file_t* ppd) {
    ppdMarkDefaults(ppd);
    cups_option_t* parsed = nullptr;
    int count = cupsParseOptions(options, 0, &parsed);
    if (count > 0) {
        cupsMarkOptions(ppd, count, parsed);
        // libcups takes "mirror" for its standard MirrorPrint option; the queue's own "Mirror"
        // option gets the job's choice too.
        if (const char* mirror = cupsGetOption("Mirror", count, parsed)) {
            ppdMarkOption(ppd, "Mirror", mirror);
        }
        cupsFreeOptions(count, parsed);
    }
}

void LogPageHeader(const cups_page_header2_t& h) {
    LOGD("Duplex = %u", RawField(h.Duplex));
    LOGD("HWResolution = [ %d %d ]", h.HWResolution[0], h.HWResolution[1]);
    LOGD("ImagingBoundingBox = [ %d %d %d %d ]", h.ImagingBoundingBox[0], h.ImagingBoundingBox[1],
         h.ImagingBoundingBox[2], h.ImagingBoundingBox[3]);
    LOGD("Margins = [ %d %d ]", h.Margins[0], h.Margins[1]);
    LOGD("ManualFeed = %u", RawField(h.ManualFeed));
    LOGD("MediaPosition = %d", h.MediaPosition);
    LOGD("NumCopies = %d", h.NumCopies);
    LOGD("Orientation = %u", RawField(h.Orientation));
    LOGD("PageSize = [ %d %d ]", h.PageSize[0], h.PageSize[1]);
    LOGD("cupsWidth = %d", h.cupsWidth);
    LOGD("cupsHeight = %d", h.cupsHeight);
    LOGD("cupsMediaType = %d", h.cupsMediaType);
    LOGD("cupsBitsPerColor = %d", h.cupsBitsPerColor);
    LOGD("cupsBitsPerPixel = %d", h.cupsBitsPerPixel);
    LOGD("cupsBytesPerLine = %d", h.cupsBytesPerLine);
    LOGD("cupsColorOrder = %u", RawField(h.cupsColorOrder));
    LOGD("cupsColorSpace = %u", RawField(h.cupsColorSpace));
    LOGD("cupsCompression = %d", h.cupsCompression);
}

namespace {

// Blocks are read straight from the stream; a quarter of a megabyte keeps one in cache.
uint32_t RowsPerBlock(const PageFormat& format) {
    constexpr uint64_t kBlockBytes = uint64_t{1} << 18;
    return static_cast<uint32_t>(std::max<uint64_t>(1, kBlockBytes / format.bytesPerLine));
}

// Reads colour rows without padding in blocks of rows, each into `Block(y, rows)`, and hands
// each block that arrived to `Arrived(block, y, rows)`. In an uncompressed stream a short read
// still tells how many whole rows arrived. Returns the rows read.
template <typename Block, typename Arrived>
uint32_t ReadRowBlocks(const RasterInput& input, const PageFormat& format, Block block,
                       Arrived arrived) {
    const uint32_t blockRows = RowsPerBlock(format);
    uint32_t y = 0;
    while (y < format.height) {
        const uint32_t rows = std::min(blockRows, format.height - y);
        uint8_t* bits = block(y, rows);
        const uint64_t before = input.delivered;
        const unsigned bytes = rows * format.bytesPerLine;
        if (cupsRasterReadPixels(input.raster, bits, bytes) != bytes) {
            const uint32_t got = std::min(
                rows, static_cast<uint32_t>((input.delivered - before) / format.bytesPerLine));
            arrived(bits, y, got);
            return y + got;
        }
        arrived(bits, y, rows);
        y += rows;
    }
    return y;
}

// Colour rows straight into the page, red and blue swapped while the block is in cache.
uint32_t ReadRowsDirect(const RasterInput& input, const PageFormat& format, uint8_t* bits) {
    return ReadRowBlocks(
        input, format, [&](uint32_t y, uint32_t) { return bits + uint64_t{y} * format.stride; },
        [&](uint8_t* block, uint32_t, uint32_t rows) {
            SwapRedAndBlue(block, rows * format.width);
        });
}

// Colour rows into one block at a time, each turned into the label grey while in cache.
uint32_t ReadRowsAsGrey(const RasterInput& input, const PageFormat& format, uint8_t* block,
                        uint8_t* grey, uint32_t greyStride) {
    return ReadRowBlocks(
        input, format, [&](uint32_t, uint32_t) { return block; },
        [&](uint8_t* rgb, uint32_t y, uint32_t rows) {
            LabelGreyFromRgbRows(rgb, format.bytesPerLine, format.width, rows,
                                 grey + uint64_t{y} * greyStride, greyStride);
        });
}

// Any other rows, one at a time.
uint32_t ReadRowsOneByOne(const RasterInput& input, const PageFormat& format, uint8_t* bits) {
    const uint32_t pixelBytes = format.width * 3;
    std::vector<uint8_t> row(format.bytesPerLine);
    uint32_t y = 0;
    for (; y < format.height; ++y) {
        uint8_t* out = bits + uint64_t{y} * format.stride;
        if (cupsRasterReadPixels(input.raster, row.data(), format.bytesPerLine) !=
            format.bytesPerLine)
            break;
        ConvertRowToBgr(format, row.data(), out);
        std::memset(out + pixelBytes, 0xFF, format.stride - pixelBytes);
    }
    return y;
}

}  // namespace

uint32_t PageImage::Stride() const {
    return content == PageContent::LabelGrey8 ? DibStride(format.width, 8) : format.stride;
}

uint64_t PageImage::Capacity() const {
    if (content != PageContent::LabelGrey8) return Bytes();
    return std::max<uint64_t>(Bytes(),
                              ((uint64_t{format.width} + 7) & ~uint64_t{7}) * format.height);
}

bool ReadPageImage(const RasterInput& input, const PageFormat& format, PageImage& image,
                   PageContent wanted) {
    image.format = format;
    // Only rows that come as they are, in blocks, are worth turning grey on the way in.
    const bool direct =
        input.raster != nullptr && input.uncompressed && format.pixels == RasterPixels::Rgb24 &&
        format.bytesPerLine == format.width * 3 && format.stride == format.bytesPerLine;
    image.content = direct ? wanted : PageContent::Bgr24;
    if (!Reserve(image.bits, image.Capacity())) return false;
    uint32_t rows = 0;
    if (image.content == PageContent::LabelGrey8) {
        MallocBuffer& block = input.rowBlock;
        if (!Reserve(block, uint64_t{RowsPerBlock(format)} * format.bytesPerLine)) return false;
        rows = ReadRowsAsGrey(input, format, block.get(), image.bits.get(), image.Stride());
    } else if (direct) {
        rows = ReadRowsDirect(input, format, image.bits.get());
    } else if (input.raster != nullptr) {
        rows = ReadRowsOneByOne(input, format, image.bits.get());
    }
    image.rows = rows;
    if (rows < format.height) LOGD("page data ends at row %u of %u", rows, format.height);
    // Rows the stream never delivered are white paper.
    std::memset(image.bits.get() + uint64_t{rows} * image.Stride(), 0xFF,
                uint64_t{format.height - rows} * image.Stride());
    return true;
}

void DiscardPagePixels(const RasterInput& input, const PageFormat& format) {
    if (input.raster == nullptr) return;
    std::vector<uint8_t> row(format.bytesPerLine);
    for (uint32_t y = 0; y < format.height; ++y) {
        if (cupsRasterReadPixels(input.raster, row.data(), format.bytesPerLine) == 0) break;
    }
}
