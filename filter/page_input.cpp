#include "filter/page_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "log/log4z.h"
#include "settings/ppd_api.h"

namespace {

ssize_t ReadRasterInput(void* context, unsigned char* buffer, size_t length) {
    auto* input = static_cast<RasterInput*>(context);
    ssize_t n;
    do {
        n = ::read(input->fd, buffer, length);
    } while (n < 0 && errno == EINTR);
    if (n == 0) input->endReached = true;
    return n;
}

}  // namespace

int OpenPageStream(int argc, char* argv[], RasterInput& input) {
    if (argv == nullptr) {
        LOGD("open file failed");
        return 1;
    }
    if (argc != 6 && argc != 7) {
        std::fputs("rastertomoxcp job-id user title copies options [file]", stderr);
        return 1;
    }
    if (argc == 7) {
        input.fd = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (input.fd < 0) {
            input.fd = 0;
            std::fputs("ERROR: Unable to open raster file", stderr);
            ::sleep(1);
            return 1;
        }
    } else {
        input.fd = 0;
    }
    input.raster = cupsRasterOpenIO(ReadRasterInput, &input, CUPS_RASTER_READ);
    return 0;
}

int OpenPpdFile(ppd_file_t** ppd) {
    const char* path = std::getenv("PPD");
    *ppd = path != nullptr ? ppdOpenFile(path) : nullptr;
    if (*ppd != nullptr) return 0;
    int line = 0;
    ppd_status_t status = ppdLastError(&line);
    std::fputs("The PPD file could not be opened.", stderr);
    std::fprintf(stderr, "%s on line %d.", ppdErrorString(status), line);
    return 1;
}

void InitializeSetting(const char* options, ppd_file_t* ppd) {
    ppdMarkDefaults(ppd);
    cups_option_t* parsed = nullptr;
    int count = cupsParseOptions(options, 0, &parsed);
    if (count > 0) {
        cupsMarkOptions(ppd, count, parsed);
        cupsFreeOptions(count, parsed);
    }
}

void LogPageHeader(const cups_page_header2_t& h) {
    LOGD("Duplex = %d", h.Duplex);
    LOGD("HWResolution = [ %d %d ]", h.HWResolution[0], h.HWResolution[1]);
    LOGD("ImagingBoundingBox = [ %d %d %d %d ]", h.ImagingBoundingBox[0], h.ImagingBoundingBox[1],
         h.ImagingBoundingBox[2], h.ImagingBoundingBox[3]);
    LOGD("Margins = [ %d %d ]", h.Margins[0], h.Margins[1]);
    LOGD("ManualFeed = %d", h.ManualFeed);
    LOGD("MediaPosition = %d", h.MediaPosition);
    LOGD("NumCopies = %d", h.NumCopies);
    LOGD("Orientation = %d", h.Orientation);
    LOGD("PageSize = [ %d %d ]", h.PageSize[0], h.PageSize[1]);
    LOGD("cupsWidth = %d", h.cupsWidth);
    LOGD("cupsHeight = %d", h.cupsHeight);
    LOGD("cupsMediaType = %d", h.cupsMediaType);
    LOGD("cupsBitsPerColor = %d", h.cupsBitsPerColor);
    LOGD("cupsBitsPerPixel = %d", h.cupsBitsPerPixel);
    LOGD("cupsBytesPerLine = %d", h.cupsBytesPerLine);
    LOGD("cupsColorOrder = %d", h.cupsColorOrder);
    LOGD("cupsColorSpace = %d", h.cupsColorSpace);
    LOGD("cupsCompression = %d", h.cupsCompression);
}

bool ReadPageImage(cups_raster_t* raster, const PageFormat& format, PageImage& image) {
    image.format = format;
    image.bits = static_cast<uint8_t*>(std::malloc(format.bufferSize));
    if (image.bits == nullptr) return false;
    const uint32_t pixelBytes = format.width * 3;
    // Colour rows without padding are read straight into the page and turned around there.
    const bool direct = format.pixels == RasterPixels::Rgb24 && format.bytesPerLine == pixelBytes;
    std::vector<uint8_t> row(direct ? 0 : format.bytesPerLine);
    uint32_t y = 0;
    for (; raster != nullptr && y < format.height; ++y) {
        uint8_t* out = image.bits + uint64_t{y} * format.stride;
        uint8_t* in = direct ? out : row.data();
        if (cupsRasterReadPixels(raster, in, format.bytesPerLine) != format.bytesPerLine) {
            LOGD("page data ends at row %u of %u", y, format.height);
            break;
        }
        if (direct) {
            SwapRedAndBlue(out, format.width);
        } else {
            ConvertRowToBgr(format, in, out);
        }
        std::memset(out + pixelBytes, 0xFF, format.stride - pixelBytes);
    }
    // Rows the stream never delivered are white paper.
    std::memset(image.bits + uint64_t{y} * format.stride, 0xFF, uint64_t{format.height - y} * format.stride);
    return true;
}

void DiscardPagePixels(cups_raster_t* raster, const PageFormat& format) {
    if (raster == nullptr) return;
    std::vector<uint8_t> row(format.bytesPerLine);
    for (uint32_t y = 0; y < format.height; ++y) {
        if (cupsRasterReadPixels(raster, row.data(), format.bytesPerLine) == 0) break;
    }
}
