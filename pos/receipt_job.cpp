#include "pos/receipt_job.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "filter/job_control.h"
#include "filter/job_messages.h"
#include "log/log4z.h"
#include "settings/ppd_access.h"
#include "settings/units.h"

namespace {

// Beyond CheckPageHeader: what a receipt printer's raster command can carry.
bool FitsPrinter(const PageFormat& format, unsigned pageNumber, std::string& error) {
    if (format.width <= kMaxReceiptDots) return true;
    char text[128];
    std::snprintf(text, sizeof(text), "Page %u is too wide for a receipt printer (%u dots).",
                  pageNumber, format.width);
    error = text;
    return false;
}

class ReceiptJob {
  public:
    ReceiptJob(ppd_file_t* ppd, const RasterInput& input, OutputSink& out)
        : ppd_(ppd), input_(input), out_(out) {}

    // Runs every page and ends the document; returns 1 when the job ended on an error.
    int Run();
    unsigned Pages() const { return pages_; }

  private:
    enum class PageResult { Printed, Dropped, Failed };
    PageResult PrintPage(const cups_page_header2_t& header, const PageFormat& format);

    ppd_file_t* ppd_;
    const RasterInput& input_;
    OutputSink& out_;
    MoxDTPrinter printer_;
    std::vector<uint8_t> docStart_, docEnd_;
    std::vector<uint8_t> pageStart_, pageBytes_, pageEnd_;
    unsigned pages_ = 0;
    unsigned truncatedPage_ = 0;
    uint32_t truncatedRows_ = 0;
};

ReceiptJob::PageResult ReceiptJob::PrintPage(const cups_page_header2_t& header,
                                             const PageFormat& format) {
    StartPage(ppd_, header, out_);
    PageImage image;
    if (!GetCupsRasterPrintData(input_, format, image)) {
        ReportError("Not enough memory for page %u.", pages_ + 1);
        return PageResult::Failed;
    }
    // A page cut short by a cancel is not printed; one cut short by the end of the data is,
    // its missing rows white, and the job then fails.
    if (image.rows < format.height) {
        if (Canceled) return PageResult::Dropped;
        truncatedPage_ = pages_ + 1;
        truncatedRows_ = image.rows;
    }
    int xOffset = 0;
    int yOffset = 0;
    InitPrinterSettings(ppd_, header, printer_, xOffset, yOffset);
    if (pages_ == 0) {
        printer_.StartDoc(docStart_);
        out_.Write(docStart_.data(), docStart_.size());
        printer_.PrintLogo(ppd_, out_);
    }
    if (!OutputPrintData(image.bits.get(), format.bufferSize, xOffset, yOffset, printer_, header,
                         pageStart_, pageBytes_, pageEnd_, out_)) {
        ReportError("Page %u could not be converted.", pages_ + 1);
        return PageResult::Failed;
    }
    return PageResult::Printed;
}

int ReceiptJob::Run() {
    int status = 0;
    cups_page_header2_t header;
    while (!Canceled) {
        const HeaderRead read = ReadNextHeader(input_, pages_ + 1, header);
        if (read != HeaderRead::Page) {
            if (read == HeaderRead::Refused) status = 1;
            break;
        }
        if (Canceled) break;
        PageFormat format{};
        std::string error;
        if (!CheckPageHeader(header, pages_ + 1, format, error) ||
            !FitsPrinter(format, pages_ + 1, error)) {
            ReportError("%s", error.c_str());
            status = 1;
            break;
        }
        const PageResult result = PrintPage(header, format);
        if (result == PageResult::Failed) status = 1;
        if (result != PageResult::Printed) break;
        ++pages_;
        if (out_.Failed()) break;
    }
    if (Canceled && !input_.endReached) {
        ReportError("The job was cancelled; pages after page %u were not printed.", pages_);
        status = 1;
    } else if (truncatedPage_ != 0) {
        ReportError("The job's data ended inside page %u (%u of its rows arrived).", truncatedPage_,
                    truncatedRows_);
        status = 1;
    }
    // The job always ends the same way; without a page no option added a feed, cut or
    // drawer pulse, and only the printer's reset is left.
    printer_.EndDoc(docEnd_);
    out_.Write(docEnd_.data(), docEnd_.size());
    return status;
}

}  // namespace

void StartPage(ppd_file_t* /*ppd*/, const cups_page_header2_t& header, OutputSink& out) {
    LOGD("StartPage...");
    LogPageHeader(header);
    static constexpr uint8_t kCarriageReturns[] = {0x0D, 0x0D};
    out.Write(kCarriageReturns, sizeof(kCarriageReturns));
}

bool GetCupsRasterPrintData(const RasterInput& input, const PageFormat& format, PageImage& image) {
    LOGD("reading %u rows of %u bytes into %u bytes", format.height, format.bytesPerLine,
         format.bufferSize);
    return ReadPageImage(input, format, image);
}

int HorizontalOffsetDots(ppd_file_t* ppd, const cups_page_header2_t& header) {
    const char* value = GetOptionChoiceCode("HorizontalOffsetValue", ppd);
    const int direction = GetOptionChoiceIndex("HorizontalOffset", ppd);
    if (value == nullptr || direction < 0) {
        LOGD("HorizontalOffsetValue: %d", 0);
        return 0;
    }
    const double dpi = header.HWResolution[0];
    const double width = header.cupsWidth;
    double mm = std::strtod(value, nullptr);
    if (!(mm >= 0.0) || dpi <= 0.0) mm = 0.0;  // not a distance (negative or NaN)
    // Anything past the page width moves the whole image off the paper; stopping there
    // keeps the conversion to dots in range.
    mm = std::min(mm, 25.4 * (width + 1.0) / dpi);
    const int dots =
        std::min(MmToDots(mm, dpi), static_cast<int32_t>(std::min(width, 2147483647.0)));
    const int signIndex = direction == 0 ? 1 : -1;
    LOGD("HorizontalOffsetValue: %d", dots);
    LOGD("HorizontalOffset: %d", direction == 0 ? 0 : 1);
    LOGD("signIndex: %d", signIndex);
    return signIndex * dots;
}

void InitPrinterSettings(ppd_file_t* ppd, const cups_page_header2_t& header, MoxDTPrinter& printer,
                         int& xOffset, int& yOffset) {
    printer.SetResolution(static_cast<int>(header.HWResolution[0]),
                          static_cast<int>(header.HWResolution[1]));
    printer.SetCashMode(ppd);
    printer.SetBlackMarkMode(ppd);
    printer.SetSavePageMode(ppd);
    const int feedingMode = printer.SetFeedMode(ppd);
    if (feedingMode == 0) {
        printer.SetFeedLength(ppd);
    } else if (feedingMode < 0 || feedingMode == 1 || feedingMode == 2) {
        printer.SetCutLength(ppd);
    }
    xOffset = HorizontalOffsetDots(ppd, header);
    yOffset = 0;
}

bool OutputPrintData(const uint8_t* pixels, uint32_t length, int xOffset, int yOffset,
                     MoxDTPrinter printer, const cups_page_header2_t& header,
                     std::vector<uint8_t>& startPage, std::vector<uint8_t>& page,
                     std::vector<uint8_t>& endPage, OutputSink& out) {
    printer.StartPage(startPage);
    if (!printer.TransCommand(pixels, length, xOffset, yOffset, header)) return false;
    printer.Page(page);
    printer.EndPage(endPage);
    for (const std::vector<uint8_t>* part : {&startPage, &page, &endPage}) {
        out.Write(part->data(), part->size());
    }
    return true;
}

int RunReceiptFilter(int argc, char* argv[]) {
    JobInput input;
    if (!StartJob(argc, argv, "mxpos", input)) return 1;
    LOGD("job_id = %s, user = %s, job_title = %s, options = %s", argv[1], argv[2], argv[3],
         argv[5]);

    OutputSink& out = StandardOutput();
    ReceiptJob job(input.ppd.get(), input.raster, out);
    int status = job.Run();
    const unsigned pages = job.Pages();
    CloseStreamFile(input, nullptr);
    if (pages == 0) {
        LOGD("No pages were found.");
        ReportError("No pages were found.");
        status = 1;
    }
    if (out.Failed()) {
        ReportError("Writing to the printer failed: %s.", out.Describe().c_str());
    }
    // Whatever went wrong on the way was reported as an error: the job did not print whole.
    return ErrorReported() ? 1 : status;
}
