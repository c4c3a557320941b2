#include "filter/job_control.h"

#include <unistd.h>

#include <cstdio>

#include "log/log4z.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"

volatile sig_atomic_t Canceled = 0;

void CancelJob(int /*signal*/) {
    Canceled = 1;
}

void InstallCancelHandler() {
    Canceled = 0;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    action.sa_handler = CancelJob;
    sigaction(SIGTERM, &action, nullptr);
}

bool StartJob(int argc, char* argv[], const char* logName, RasterInput& input, ppd_file_t** ppd,
              bool& logFlag) {
    std::setbuf(stderr, nullptr);
    StartLog4z(logName);
    if (OpenPageStream(argc, argv, input) != 0) return false;
    if (input.raster == nullptr) {
        std::fputs("cupsRasterOpen failed.", stderr);
        if (input.fd != 0) ::close(input.fd);
        return false;
    }
    InstallCancelHandler();
    if (OpenPpdFile(ppd) != 0) {
        cupsRasterClose(input.raster);
        input.raster = nullptr;
        if (input.fd != 0) ::close(input.fd);
        return false;
    }
    InitializeSetting(argv[5], *ppd);
    logFlag = UpdateLogStatus(*ppd);
    return true;
}

HeaderRead ReadNextHeader(const RasterInput& input, unsigned pageNumber,
                          cups_page_header2_t& header) {
    if (cupsRasterReadHeader2(input.raster, &header)) return HeaderRead::Page;
    if (input.endReached) return HeaderRead::End;
    std::fprintf(stderr, "ERROR: Page %u has an invalid page header.\n", pageNumber);
    LOGE("page %u has an invalid page header", pageNumber);
    return HeaderRead::Refused;
}

void CloseStreamFile(ppd_file_t* ppd, RasterInput& input, unsigned pages, const char* tempPdf) {
    ppdClose(ppd);
    cupsRasterClose(input.raster);
    input.raster = nullptr;
    if (input.fd != 0) ::close(input.fd);
    if (pages == 0) std::fputs("No pages were found.", stderr);
    if (tempPdf != nullptr && *tempPdf != '\0') ::unlink(tempPdf);
}
