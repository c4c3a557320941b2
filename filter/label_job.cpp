#include "filter/label_job.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/log4z.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"

tagOEMCFG g_oemCfg;
_DEVMODE g_devMode;
_OEMPDEV g_oemPDEV;

namespace {

// The job's PDF is named from the job id; ids that are not plain numbers name no file, so
// that no job id can point the filter at a path of its choosing.
std::string TempPdfPath(const char* jobId) {
    if (!IsJobIdText(jobId)) return {};
    return std::string("/tmp/MXLT_TEMP_CUPS_") + jobId + ".pdf";
}

class PageLoop {
  public:
    PageLoop(const LabelFilterTraits& traits, LabelRenderer& renderer, ppd_file_t* ppd,
             const RasterInput& input, char* argv[], bool logFlag, const std::string& tempPdf)
        : traits_(traits),
          renderer_(renderer),
          ppd_(ppd),
          input_(input),
          raster_(input.raster),
          argv_(argv),
          jobId_(static_cast<int>(std::strtol(argv[1], nullptr, 10))),
          logFlag_(logFlag),
          tempPdf_(tempPdf) {}

    // Runs every page; returns the exit status.
    int Run();
    unsigned Pages() const { return page_; }

  private:
    bool RfidLetsPagePrint();
    bool GetPrintData(const cups_page_header2_t& header, const PageFormat& format);
    unsigned HandOverPageNumber() const {
        return traits_.intermediateNumber == HandOverNumber::PageJustStarted ? page_
                                                                             : bufferedPage_;
    }

    const LabelFilterTraits& traits_;
    LabelRenderer& renderer_;
    ppd_file_t* ppd_;
    const RasterInput& input_;
    cups_raster_t* raster_;
    char** argv_;
    int jobId_;
    bool logFlag_;
    const std::string& tempPdf_;
    unsigned page_ = 0;          // headers read
    unsigned bufferedPage_ = 0;  // number of the page in the page buffer
};

bool PageLoop::RfidLetsPagePrint() {
    if (traits_.handleRfid != nullptr && !traits_.handleRfid(argv_[3])) return false;
    if (traits_.vxRfidJobTask != nullptr && traits_.vxRfidJobTask(argv_[3], jobId_) == 1)
        return false;
    return true;
}

// Reads the page into a fresh buffer and hands it to the page device record, which now
// describes this page's own image.
bool PageLoop::GetPrintData(const cups_page_header2_t& header, const PageFormat& format) {
    PageImage image;
    if (!ReadPageImage(input_, format, image)) return false;
    if (traits_.renderPdfPage != nullptr && g_oemCfg.PdfPreprocess == 1 && !tempPdf_.empty()) {
        const PdfPageRequest request{argv_[1], tempPdf_.c_str(), page_, header.HWResolution[0],
                                     header.HWResolution[1]};
        if (!traits_.renderPdfPage(request, image.bits, format.width, format.height,
                                   format.stride)) {
            LOGW("page %u: no image from the job's PDF, printing the raster page", page_);
        }
    }
    g_oemPDEV.pBufStart = image.bits;
    g_oemPDEV.dwBufSize = format.bufferSize;
    g_oemPDEV.bmInfoHeader.biWidth = static_cast<int32_t>(format.width);
    g_oemPDEV.bmInfoHeader.biHeight = static_cast<int32_t>(format.height);
    g_oemPDEV.bmInfoHeader.biBitCount = 24;
    g_oemPDEV.bmInfoHeader.biSizeImage = format.bufferSize;
    return true;
}

int PageLoop::Run() {
    int status = 0;
    bool endedByRenderer = false;
    cups_page_header2_t header;
    for (;;) {
        const HeaderRead read = ReadNextHeader(input_, page_ + 1, header);
        if (read != HeaderRead::Page) {
            if (read == HeaderRead::Refused) status = 1;
            break;
        }
        ++page_;
        if (Canceled) break;
        PageFormat format{};
        std::string error;
        if (!CheckPageHeader(header, page_, format, error)) {
            std::fputs(error.c_str(), stderr);
            LOGE("%s", error.c_str());
            status = 1;
            break;
        }
        if (!RfidLetsPagePrint()) {
            DiscardPagePixels(input_, format);
            break;
        }
        StartPage(ppd_, &header, page_);
        if (page_ == 1) InitPrintSetting(1, ppd_, &header, renderer_, traits_);
        if (!TransPrintData(HandOverPageNumber(), renderer_, false, logFlag_, traits_) &&
            traits_.intermediateFailureEndsJob) {
            endedByRenderer = true;
            break;
        }
        if (!GetPrintData(header, format)) {
            std::fprintf(stderr, "ERROR: Not enough memory for page %u.\n", page_);
            status = 1;
            break;
        }
        bufferedPage_ = page_;
        if (traits_.afterPageMessage != nullptr && !Canceled)
            std::fputs(traits_.afterPageMessage, stderr);
        if (Canceled) break;
    }
    if (!endedByRenderer && (g_oemPDEV.pBufStart != nullptr || !traits_.finalHandOverNeedsBuffer)) {
        TransPrintData(HandOverPageNumber(), renderer_, true, logFlag_, traits_);
    }
    return status;
}

}  // namespace

int RunLabelFilter(int argc, char* argv[], const LabelFilterTraits& traits) {
    RasterInput input;
    ppd_file_t* ppd = nullptr;
    bool logFlag = false;
    if (!StartJob(argc, argv, traits.logName, input, &ppd, logFlag)) return 1;

    const std::string tempPdf = traits.removesTempPdf ? TempPdfPath(argv[1]) : std::string();
    LOGD("tempPDF: %s", tempPdf.c_str());
    LOGD("job_id = %d", static_cast<int>(std::strtol(argv[1], nullptr, 10)));
    LOGD("user = %s", argv[2]);
    LOGD("job_title = %s", argv[3]);
    LOGD("num_copies = %d", static_cast<int>(std::strtol(argv[4], nullptr, 10)));
    LOGD("options = %s", argv[5]);
    LOGD("filename = %s", argc == 7 ? argv[6] : "");
    LOGD("pid = %ld", static_cast<long>(::getpid()));

    std::unique_ptr<LabelRenderer> renderer = traits.makeRenderer();
    PageLoop loop(traits, *renderer, ppd, input, argv, logFlag, tempPdf);
    const int status = loop.Run();
    CloseStreamFile(ppd, input, loop.Pages(), tempPdf.empty() ? nullptr : tempPdf.c_str());
    return status;
}
