#include "filter/label_job.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "filter/job_messages.h"
#include "log/log4z.h"
#include "settings/ppd_access.h"
#include "settings/ppd_api.h"

void LabelJob::HoldPage(PageImage image) {
    DropPage();
    const PageFormat& format = image.format;
    pdev.pBufStart = image.bits.release();
    pdev.dwBufSize = image.Bytes();
    pdev.bmInfoHeader.biWidth = static_cast<int32_t>(format.width);
    pdev.bmInfoHeader.biHeight = static_cast<int32_t>(format.height);
    // An 8-bit page is the label grey (see ReadPageImage); any other is blue-green-red.
    pdev.bmInfoHeader.biBitCount = image.content == PageContent::LabelGrey8 ? 8 : 24;
    pdev.bmInfoHeader.biSizeImage = image.Bytes();
}

void LabelJob::DropPage() {
    if (pdev.pBufStart == nullptr) return;
    spare_.reset(pdev.pBufStart);
    pdev.pBufStart = nullptr;
}

namespace {

// The job's PDF is named from the job id; ids that are not plain numbers name no file, so
// that no job id can point the filter at a path of its choosing.
std::string TempPdfPath(const char* jobId) {
    if (!IsJobIdText(jobId)) return {};
    return std::string("/tmp/MXLT_TEMP_CUPS_") + jobId + ".pdf";
}

// The thread that sends the page before while the next one is read. It is started with the
// first such page and kept for the job: starting a thread for every label costs about as much as
// converting a small one. Where no thread can be started (the user's process limit), Start
// refuses and the caller sends the page itself.
class SendingThread {
  public:
    SendingThread() = default;
    SendingThread(const SendingThread&) = delete;
    SendingThread& operator=(const SendingThread&) = delete;
    ~SendingThread() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Starts `send` on the thread; false, with nothing started, when there is no thread.
    bool Start(std::function<bool()> send) {
        if (!thread_.joinable() && !Open()) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = std::move(send);
            pending_ = true;
        }
        changed_.notify_all();
        return true;
    }

    // The result of the send started last, once it is done; what it threw is thrown here.
    bool Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
        if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
        return result_;
    }

  private:
    bool Open() {
        if (unavailable_) return false;
        try {
            thread_ = std::thread([this] { Serve(); });
            return true;
        } catch (const std::system_error&) {
            unavailable_ = true;
            return false;
        }
    }

    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return pending_ || quit_; });
            if (!pending_) return;
            const std::function<bool()> send = std::move(task_);
            lock.unlock();
            bool result = false;
            std::exception_ptr thrown;
            try {
                result = send();
            } catch (...) {
                thrown = std::current_exception();
            }
            lock.lock();
            result_ = result;
            thrown_ = thrown;
            pending_ = false;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<bool()> task_;
    bool pending_ = false, quit_ = false, result_ = true, unavailable_ = false;
    std::exception_ptr thrown_;
    std::thread thread_;
};

class PageLoop {
  public:
    PageLoop(LabelJob& job, LabelRenderer& renderer, char* argv[], const std::string& tempPdf)
        : job_(job),
          flow_(job.definition.flow),
          steps_(job.definition.steps),
          renderer_(renderer),
          argv_(argv),
          jobId_(static_cast<int>(std::strtol(argv[1], nullptr, 10))),
          tempPdf_(tempPdf) {}

    // Runs every page; returns the exit status.
    int Run();
    unsigned Pages() const { return page_; }

  private:
    bool RfidLetsPagePrint();
    // EndedByRenderer: the page before failed in a way that ends the job.
    enum class PageRead { Whole, Truncated, Cancelled, NoMemory, EndedByRenderer };
    PageRead GetPrintData(const cups_page_header2_t& header, const PageFormat& format, bool pdfPage,
                          bool grey, PageImage& image);
    PageRead SendPreviousAndRead(const cups_page_header2_t& header, const PageFormat& format);
    // The job's end on standard error: cancelled, or a page whose data ended early.
    int ReportEnd(int status) const;
    unsigned HandOverPageNumber() const {
        return flow_.intermediateNumber == HandOverNumber::PageJustStarted ? page_ : bufferedPage_;
    }

    LabelJob& job_;
    const LabelFlowPolicy& flow_;
    const LabelJobSteps& steps_;
    LabelRenderer& renderer_;
    char** argv_;
    int jobId_;
    const std::string& tempPdf_;
    unsigned page_ = 0;          // headers read
    unsigned bufferedPage_ = 0;  // number of the page in the page buffer
    unsigned truncatedPage_ = 0;
    uint32_t truncatedRows_ = 0;
    uint32_t truncatedHeight_ = 0;
    SendingThread sender_;
};

// A page whose RFID data cannot be had is not printed, and the job ends with the reason: a
// label without its tag data is a lost label.
bool PageLoop::RfidLetsPagePrint() {
    RfidStep step;
    if (steps_.handleRfid != nullptr) step = steps_.handleRfid(argv_[3], job_.output);
    if (step.outcome != RfidOutcome::Failed && steps_.vxRfidJobTask != nullptr) {
        step = steps_.vxRfidJobTask(argv_[3], jobId_, &Canceled, job_.output);
    }
    if (step.outcome == RfidOutcome::Failed) ReportError("%s", step.reason.c_str());
    return step.outcome == RfidOutcome::NotRfidJob || step.outcome == RfidOutcome::Written;
}

// Reads the page into `image`, drawn from the job's PDF where the settings ask for it. A page
// cut short by a cancel is dropped; one cut short by the end of the data still prints, its
// missing rows white.
PageLoop::PageRead PageLoop::GetPrintData(const cups_page_header2_t& header,
                                          const PageFormat& format, bool pdfPage, bool grey,
                                          PageImage& image) {
    if (!ReadPageImage(job_.input.raster, format, image,
                       grey ? PageContent::LabelGrey8 : PageContent::Bgr24))
        return PageRead::NoMemory;
    if (image.rows < format.height && Canceled) return PageRead::Cancelled;
    if (pdfPage) {
        PdfPageRequest request{argv_[1], tempPdf_.c_str(), page_, header.HWResolution[0],
                               header.HWResolution[1]};
        request.canceled = &Canceled;
        if (!steps_.renderPdfPage(request, image.bits.get(), format.width, format.height,
                                  format.stride)) {
            LOGW("page %u: no image from the job's PDF, printing the raster page", page_);
        }
    }
    return image.rows < format.height ? PageRead::Truncated : PageRead::Whole;
}

// Hands the page before to the renderer and reads this one. The two run side by side, the
// renderer on the page in the record and the read in the spare buffer, so that converting and
// sending one label does not wait for the input of the next. Everything the read decides from
// the settings is decided before the renderer may change them. The page read is held in the
// record for the next hand-over.
PageLoop::PageRead PageLoop::SendPreviousAndRead(const cups_page_header2_t& header,
                                                 const PageFormat& format) {
    const bool pdfPage =
        steps_.renderPdfPage != nullptr && job_.cfg.PdfPreprocess == 1 && !tempPdf_.empty();
    // The PDF step draws the page in colour; otherwise the page is read as the grey the image
    // steps would make of it, where they allow.
    const bool grey = !pdfPage && TakesLabelGrey(job_.definition.pipeline, job_.cfg, job_.devMode,
                                                 format.width, format.height, job_.input.logFlag);
    const unsigned handOver = HandOverPageNumber();
    PageImage image;
    image.bits = job_.TakeSpareBuffer();
    // Without a thread the page is sent before this one is read.
    const bool sending = job_.pdev.pBufStart != nullptr && sender_.Start([this, handOver] {
        return TransPrintData(handOver, renderer_, false, job_);
    });
    bool sent = true;
    if (!sending) sent = TransPrintData(handOver, renderer_, false, job_);
    const PageRead read = GetPrintData(header, format, pdfPage, grey, image);
    if (sending) sent = sender_.Finish();
    // A renderer failure that ends the job leaves this page unprinted and unreported.
    if (!sent && flow_.intermediateResult == IntermediateResult::FailureEndsJob)
        return PageRead::EndedByRenderer;
    if (read == PageRead::Truncated) {
        truncatedPage_ = page_;
        truncatedRows_ = image.rows;
        truncatedHeight_ = format.height;
    }
    if (read == PageRead::Whole || read == PageRead::Truncated) job_.HoldPage(std::move(image));
    return read;
}

int PageLoop::ReportEnd(int status) const {
    if (Canceled && !job_.input.raster.endReached) {
        ReportError("The job was cancelled; pages after page %u were not printed.", bufferedPage_);
        return 1;
    }
    if (truncatedPage_ != 0) {
        ReportError("The job's data ended inside page %u (%u of its %u rows arrived).",
                    truncatedPage_, truncatedRows_, truncatedHeight_);
        return 1;
    }
    return status;
}

int PageLoop::Run() {
    int status = 0;
    bool endedByRenderer = false;
    cups_page_header2_t header;
    const RasterInput& input = job_.input.raster;
    ppd_file_t* ppd = job_.input.ppd.get();
    for (;;) {
        const HeaderRead read = ReadNextHeader(input, page_ + 1, header);
        if (read != HeaderRead::Page) {
            if (read == HeaderRead::Refused) status = 1;
            break;
        }
        ++page_;
        if (Canceled) break;
        PageFormat format{};
        std::string error;
        if (!CheckPageHeader(header, page_, format, error)) {
            ReportError("%s", error.c_str());
            status = 1;
            break;
        }
        if (!RfidLetsPagePrint()) {
            DiscardPagePixels(input, format);
            break;
        }
        StartPage(ppd, &header, page_);
        if (page_ == 1) InitPrintSetting(1, ppd, &header, renderer_, job_);
        const PageRead pageRead = SendPreviousAndRead(header, format);
        if (pageRead == PageRead::EndedByRenderer) {
            endedByRenderer = true;
            break;
        }
        if (pageRead == PageRead::NoMemory) {
            ReportError("Not enough memory for page %u.", page_);
            status = 1;
            break;
        }
        if (pageRead == PageRead::Cancelled) break;
        bufferedPage_ = page_;
        if (flow_.afterPageMessage != nullptr && !Canceled) WriteStatus(flow_.afterPageMessage);
        // Once the printer stream is lost no later page can reach the printer.
        if (Canceled || job_.output.Failed()) break;
    }
    const bool buffered = job_.pdev.pBufStart != nullptr;
    if (!endedByRenderer && (buffered || flow_.finalHandOver == FinalHandOver::Always)) {
        TransPrintData(HandOverPageNumber(), renderer_, true, job_);
    }
    return ReportEnd(status);
}

}  // namespace

int RunLabelFilter(int argc, char* argv[], const LabelFilterDefinition& definition) {
    LabelJob job(definition, StandardOutput());
    if (!StartJob(argc, argv, definition.logName, job.input)) return 1;

    const bool removesTempPdf = definition.steps.renderPdfPage != nullptr;
    const std::string tempPdf = removesTempPdf ? TempPdfPath(argv[1]) : std::string();
    LOGD("tempPDF: %s", tempPdf.c_str());
    LOGD("job_id = %d", static_cast<int>(std::strtol(argv[1], nullptr, 10)));
    LOGD("user = %s", argv[2]);
    LOGD("job_title = %s", argv[3]);
    LOGD("num_copies = %d", static_cast<int>(std::strtol(argv[4], nullptr, 10)));
    LOGD("options = %s", argv[5]);
    LOGD("filename = %s", argc == 7 ? argv[6] : "");
    LOGD("pid = %ld", static_cast<long>(::getpid()));

    const std::unique_ptr<LabelRenderer> renderer =
        definition.makeRenderer(definition.rendererLifetime);
    PageLoop loop(job, *renderer, argv, tempPdf);
    int status = loop.Run();
    CloseStreamFile(job.input, tempPdf.empty() ? nullptr : tempPdf.c_str());
    if (loop.Pages() == 0) WriteStatus("No pages were found.");
    if (job.output.Failed()) {
        ReportError("Writing to the printer failed: %s.", job.output.Describe().c_str());
    }
    // Whatever went wrong on the way was reported as an error: the job did not print whole.
    return ErrorReported() ? 1 : status;
}
