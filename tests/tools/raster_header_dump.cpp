// Stands in for a raster filter under cupsfilter: reads the CUPS raster that the CUPS
// rasterisers produce and prints, per page, the header fields the label filters depend on
// and the number of dark pixels, one "page ..." line each; then the job's options and, from
// the queue's PPD ($PPD) with those options marked, its filter's settings for page 1.
// Filter arguments as CUPS gives them.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "epl/epl_filter.h"
#include "filter/page_input.h"
#include "settings/oem_cfg.h"
#include "settings/ppd_api.h"
#include "tspl/tspl_filter.h"
#include "zpl/zpl_filter.h"

namespace {

// A pixel is dark when its grey value lies below the middle of its range.
bool IsDark(const unsigned char* pixel, const cups_page_header2_t& h) {
    if (h.cupsBitsPerPixel == 24 && h.cupsColorSpace == CUPS_CSPACE_RGB) {
        return (pixel[0] + pixel[1] + pixel[2]) < 3 * 128;
    }
    if (h.cupsBitsPerPixel == 8) {
        return h.cupsColorSpace == CUPS_CSPACE_K ? pixel[0] >= 128 : pixel[0] < 128;
    }
    return false;
}

unsigned long CountDarkPixels(cups_raster_t* raster, const cups_page_header2_t& h) {
    std::vector<unsigned char> row(h.cupsBytesPerLine);
    const unsigned bytesPerPixel = h.cupsBitsPerPixel / 8;
    unsigned long dark = 0;
    for (unsigned y = 0; y < h.cupsHeight; ++y) {
        if (cupsRasterReadPixels(raster, row.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine)
            break;
        if (bytesPerPixel == 0) continue;
        for (unsigned x = 0; x < h.cupsWidth && (x + 1) * bytesPerPixel <= row.size(); ++x) {
            if (IsDark(&row[x * bytesPerPixel], h)) ++dark;
        }
    }
    return dark;
}

// The label filter the PPD names ("*cupsFilter" or "*cupsFilter2"), which reads the
// settings its own way.
const SettingsProfile& ProfileOf(ppd_file_t* ppd) {
    std::vector<std::string> filters(ppd->filters, ppd->filters + ppd->num_filters);
    for (ppd_attr_t* a = ppdFindAttr(ppd, "cupsFilter2", nullptr); a != nullptr;
         a = ppdFindNextAttr(ppd, "cupsFilter2", nullptr)) {
        if (a->value != nullptr) filters.emplace_back(a->value);
    }
    for (const std::string& filter : filters) {
        if (filter.ends_with(" rastomoxtspl")) return kTsplSettings;
        if (filter.ends_with(" rastomoxepl")) return kEplSettings;
    }
    return kZplSettings;
}

// The settings the queue's filter would read for this job.
void PrintSettings(const char* options, const cups_page_header2_t& first) {
    const char* path = std::getenv("PPD");
    ppd_file_t* ppd = path != nullptr ? ppdOpenFile(path) : nullptr;
    if (ppd == nullptr) return;
    InitializeSetting(options, ppd);
    tagOEMCFG cfg;
    std::memset(&cfg, 0, sizeof(cfg));
    InitalizeOemCfg(&cfg, ppd, &first, ProfileOf(ppd));
    std::printf(
        "settings sDensity %d bUsePrinterDensity %d sPaperType %d sLabelType %d nPrintSpeed %d "
        "nBackfeedRate %d sFeedModel %d sApSignal %d sOutputXDPI %d sMaxOutputWidth %d GAPHeight "
        "%d nColorLevelsAdj %d sHalftoneMethod %d sPrintSpeed %d sFeedLen %d dwOperationAfterPrn "
        "%d dwOperationModeAfterPrn %d sCutPosition %d sHrzOffset %d\n",
        int(cfg.sDensity), cfg.bUsePrinterDensity, cfg.sPaperType, cfg.sLabelType, cfg.nPrintSpeed,
        cfg.nBackfeedRate, cfg.sFeedModel, int16_t(cfg.sApSignal), cfg.sOutputXDPI,
        cfg.sMaxOutputWidth, cfg.GAPHeight, cfg.nColorLevelsAdj, cfg.sHalftoneMethod,
        cfg.sPrintSpeed, cfg.sFeedLen, int(cfg.dwOperationAfterPrn),
        int(cfg.dwOperationModeAfterPrn), cfg.sCutPosition, int(cfg.sHrzOffset));
    ppdClose(ppd);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: raster_header_dump job-id user title copies options [file]\n", stderr);
        return 1;
    }
    int fd = 0;
    if (argc == 7 && (fd = open(argv[6], O_RDONLY)) < 0) {
        std::perror("ERROR: open");
        return 1;
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h, first;
    unsigned page = 0;
    while (raster != nullptr && cupsRasterReadHeader2(raster, &h)) {
        if (++page == 1) first = h;
        const unsigned long dark = CountDarkPixels(raster, h);
        std::printf(
            "page %u width %u height %u resolution %ux%u bits %u colorspace %u mediatype \"%s\" "
            "copies %u dark %lu\n",
            page, h.cupsWidth, h.cupsHeight, h.HWResolution[0], h.HWResolution[1],
            h.cupsBitsPerPixel, static_cast<unsigned>(h.cupsColorSpace), h.MediaType, h.NumCopies,
            dark);
    }
    std::printf("pages %u\n", page);
    std::printf("options %s\n", argv[5]);
    if (page > 0) PrintSettings(argv[5], first);
    if (raster != nullptr) cupsRasterClose(raster);
    if (fd != 0) close(fd);
    return page > 0 ? 0 : 1;
}
