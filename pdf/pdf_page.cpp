#include "pdf/pdf_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "log/log4z.h"
#include "pdf/ppm_image.h"
#include "pdf/tool_process.h"

namespace {

const std::string kToolInput = "/dev/fd/" + std::to_string(kToolInputFd);
constexpr size_t kMaxPdfinfoOutput = size_t{1} << 20;

// The job's PDF, opened without following a link and only when it is a plain file. The tools
// read it through the open descriptor, so they see exactly this file whatever happens to
// the name meanwhile.
class PdfInput {
  public:
    explicit PdfInput(const char* path) {
        fd_ = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0) LOGW("cannot open the job's PDF %s", path);
    }
    ~PdfInput() {
        if (fd_ >= 0) ::close(fd_);
    }
    PdfInput(const PdfInput&) = delete;
    PdfInput& operator=(const PdfInput&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

bool IsUsable(const PdfPageRequest& r) {
    if (!IsJobIdText(r.jobId)) {
        LOGE("job id is not a number, no page from the PDF");
        return false;
    }
    return r.pdfPath != nullptr && r.pdfPath[0] == '/' && r.pageNumber > 0 && r.xResolution > 0 &&
           r.yResolution > 0;
}

// Logs how a tool ended; a tool out of time is also reported to CUPS.
bool Succeeded(const ToolResult& result, const char* tool, const PdfPageRequest& r) {
    LOGD("%s %s page %u, end: %d, ret: %d", tool, r.pdfPath, r.pageNumber,
         static_cast<int>(result.end), result.status);
    if (result.end == ToolEnd::TimedOut) {
        std::fprintf(stderr, "WARNING: %s ran out of time on page %u; printing the raster page.\n",
                     tool, r.pageNumber);
    }
    return result.succeeded();
}

// The page count of the PDF, or -1.
long PageCount(const PdfPageRequest& r, int pdfFd) {
    ToolRun run{.argv = {"pdfinfo", kToolInput},
                .inputFd = pdfFd,
                .maxOutput = kMaxPdfinfoOutput,
                .timeLimit = r.pdfinfoLimit,
                .canceled = r.canceled};
    const ToolResult result = RunTool(run);
    return Succeeded(result, "pdfinfo", r) ? PdfinfoPageCount(result.output) : -1;
}

// The page as pdftoppm renders it to its standard output (a PPM image), or empty.
std::string RenderedPage(const PdfPageRequest& r, int pdfFd) {
    const std::string page = std::to_string(r.pageNumber);
    ToolRun run{
        .argv = {"pdftoppm", "-q", "-aa", "no", "-aaVector", "no", "-f", page, "-l", page, "-rx",
                 std::to_string(r.xResolution), "-ry", std::to_string(r.yResolution), kToolInput},
        .inputFd = pdfFd,
        .maxOutput = kMaxPpmFileBytes,
        .timeLimit = r.pdftoppmLimit,
        .canceled = r.canceled};
    ToolResult result = RunTool(run);
    return Succeeded(result, "pdftoppm", r) ? std::move(result.output) : std::string();
}

}  // namespace

bool IsJobIdText(const char* jobId) {
    if (jobId == nullptr || *jobId == '\0' || std::strlen(jobId) > 20) return false;
    for (const char* c = jobId; *c != '\0'; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
    }
    return true;
}

long PdfinfoPageCount(const std::string& output) {
    // The last "Pages:" line: a document title printed earlier may hold a line of its own.
    long count = -1;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("Pages:", 0) != 0) continue;
        const char* text = line.c_str() + 6;
        while (*text == ' ' || *text == '\t') ++text;
        char* rest = nullptr;
        errno = 0;
        const long value = std::strtol(text, &rest, 10);
        while (rest != nullptr && (*rest == ' ' || *rest == '\t' || *rest == '\r')) ++rest;
        const bool whole = rest != text && rest != nullptr && *rest == '\0' && errno == 0;
        count = whole && std::isdigit(static_cast<unsigned char>(*text)) ? value : -1;
    }
    return count;
}

bool RenderPdfPage(const PdfPageRequest& request, uint8_t* bits, uint32_t width, uint32_t height,
                   uint32_t stride) {
    if (bits == nullptr || width == 0 || height == 0 || uint64_t{stride} < uint64_t{width} * 3)
        return false;
    if (!IsUsable(request)) return false;
    PdfInput pdf(request.pdfPath);
    if (pdf.fd() < 0) return false;
    const long pages = PageCount(request, pdf.fd());
    if (pages < static_cast<long>(request.pageNumber)) {
        LOGW("the PDF has %ld pages, no page %u", pages, request.pageNumber);
        return false;
    }
    std::string ppm = RenderedPage(request, pdf.fd());
    uint32_t ppmWidth = 0;
    uint32_t ppmHeight = 0;
    const uint8_t* pixels =
        PpmBitmapData(reinterpret_cast<uint8_t*>(ppm.data()), ppm.size(), ppmWidth, ppmHeight);
    if (pixels == nullptr) return false;
    if (ppmWidth != width || ppmHeight != height) {
        LOGW("PDF page %u is %u x %u pixels, the page %u x %u", request.pageNumber, ppmWidth,
             ppmHeight, width, height);
    }
    CopyPpmToPage(pixels, ppmWidth, ppmHeight, bits, width, height, stride);
    return true;
}
