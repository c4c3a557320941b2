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

// The job's PDF, opened without following a link. The tools read it through the open
// descriptor, so they see exactly this file whatever happens to the name meanwhile.
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

int Digits(long value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
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

int GetPpmFilePagesBits(const char* pdfPath) {
    if (pdfPath == nullptr) return -1;
    PdfInput pdf(pdfPath);
    if (pdf.fd() < 0) return -1;
    std::string output;
    const int status = RunTool({"pdfinfo", kToolInput}, pdf.fd(), &output);
    const long pages = PdfinfoPageCount(output);
    LOGD("pdfinfo %s, ret: %d, pages: %ld", pdfPath, status, pages);
    return status == 0 && pages > 0 ? Digits(pages) : -1;
}

std::string PpmFilePath(const char* jobId, int digits, unsigned pageNumber) {
    char path[256];
    std::snprintf(path, sizeof(path), "/tmp/MXLT_TEMP_CUPS_%s-%0*u.ppm", jobId, digits, pageNumber);
    return path;
}

bool PdftoppmCmd(std::string& ppmPath, const PdfPageRequest& r) {
    ppmPath.clear();
    if (!IsUsable(r)) return false;
    const int digits = GetPpmFilePagesBits(r.pdfPath);
    // Without the page count the name pdftoppm writes is unknown: its file would be left
    // behind in /tmp, so it is not run at all.
    if (digits == -1) return false;
    char temp[256];
    std::snprintf(temp, sizeof(temp), "/tmp/MXLT_TEMP_CUPS_%s-%%.%dd.ppm", r.jobId, digits);
    LOGD("temp: %s", temp);
    ppmPath = PpmFilePath(r.jobId, digits, r.pageNumber);
    LOGD("tempPPM: %s", ppmPath.c_str());
    // A file or link left under this name would be written through or read back as the page.
    ::unlink(ppmPath.c_str());

    PdfInput pdf(r.pdfPath);
    if (pdf.fd() < 0) return false;
    const std::string page = std::to_string(r.pageNumber);
    const std::vector<std::string> argv = {
        "pdftoppm",  "-q",
        "-aa",       "no",
        "-aaVector", "no",
        "-f",        page,
        "-l",        page,
        "-rx",       std::to_string(r.xResolution),
        "-ry",       std::to_string(r.yResolution),
        kToolInput,  std::string("/tmp/MXLT_TEMP_CUPS_") + r.jobId};
    const int status = RunTool(argv, pdf.fd());
    std::string command;
    for (const std::string& a : argv) command += (command.empty() ? "" : " ") + a;
    LOGD("system cmd: %s (%s), ret: %d", command.c_str(), r.pdfPath, status);
    LOGD("tempPPM: %s", ppmPath.c_str());
    return status == 0;
}

bool RenderPdfPage(const PdfPageRequest& request, uint8_t* bits, uint32_t width, uint32_t height,
                   uint32_t stride) {
    if (bits == nullptr || width == 0 || height == 0 || uint64_t{stride} < uint64_t{width} * 3)
        return false;
    std::string ppmPath;
    const bool rendered = PdftoppmCmd(ppmPath, request);
    if (ppmPath.empty()) return false;
    std::vector<uint8_t> data;
    const bool read = rendered && PpmFileData(ppmPath.c_str(), data);
    ::unlink(ppmPath.c_str());
    if (!read) return false;
    uint32_t ppmWidth = 0;
    uint32_t ppmHeight = 0;
    const uint8_t* pixels = PpmBitmapData(data.data(), data.size(), ppmWidth, ppmHeight);
    if (pixels == nullptr) return false;
    if (ppmWidth != width || ppmHeight != height) {
        LOGW("PDF page %u is %u x %u pixels, the page %u x %u", request.pageNumber, ppmWidth,
             ppmHeight, width, height);
    }
    CopyPpmToPage(pixels, ppmWidth, ppmHeight, bits, width, height, stride);
    return true;
}
