#include "filter/job_control.h"

#include <unistd.h>

#include <cstdio>

#include "filter/job_messages.h"
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

bool StartJob(int argc, char* argv[], const char* logName, JobInput& job) {
    std::setbuf(stderr, nullptr);
    // A printer connection that goes away must fail the write, not kill the filter unseen.
    std::signal(SIGPIPE, SIG_IGN);
    if (OpenPageStream(argc, argv, job.raster) != 0) return false;
    if (job.raster.raster == nullptr) {
        ReportError("cupsRasterOpen failed. The job's input is not a CUPS raster stream.");
        return false;
    }
    InstallCancelHandler();
    if (OpenPpdFile(job.ppd) != 0) return false;
    InitializeSetting(argv[5], job.ppd.get());
    // The job log costs a thread and a synced write per line, so it starts only once the PPD
    // and the job's options have switched it on; what fails before that goes to CUPS alone.
    if (GetOptionChoiceIndex("DriverLog", job.ppd.get()) > 0) StartLog4z(logName);
    job.logFlag = UpdateLogStatus(job.ppd.get());
    return true;
}

HeaderRead ReadNextHeader(const RasterInput& input, unsigned pageNumber,
                          cups_page_header2_t& header) {
    if (cupsRasterReadHeader2(input.raster, &header)) return HeaderRead::Page;
    if (input.endReached || Canceled) return HeaderRead::End;
    ReportError("Page %u has an invalid page header.", pageNumber);
    return HeaderRead::Refused;
}

void CloseStreamFile(JobInput& job, const char* tempPdf) {
    job.ppd.reset();
    job.raster.Close();
    if (tempPdf != nullptr && *tempPdf != '\0') ::unlink(tempPdf);
}
