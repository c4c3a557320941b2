#include "tools/sample_pdf/pdf_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

// A PDF literal string: printable ASCII with ( ) \ escaped.
std::string Literal(const std::string& text) {
    std::string out = "(";
    for (char c : text) {
        if (c < 32 || c > 126) c = '?';
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

const char* FontResource(PdfFont font) {
    switch (font) {
        case PdfFont::Helvetica:
            return "/F1";
        case PdfFont::HelveticaBold:
            return "/F2";
        case PdfFont::Courier:
            return "/F3";
    }
    return "/F1";
}

}  // namespace

void PdfPage::Rect(double x, double y, double w, double h) {
    content_ +=
        Number(x) + " " + Number(height_ - y - h) + " " + Number(w) + " " + Number(h) + " re f\n";
}

void PdfPage::Text(PdfFont font, double sizePt, double x, double baselineY,
                   const std::string& text) {
    content_ += "BT " + std::string(FontResource(font)) + " " + Number(sizePt) + " Tf " +
                Number(x) + " " + Number(height_ - baselineY) + " Td " + Literal(text) + " Tj ET\n";
}

PdfPage& PdfDocument::AddPage(double widthPt, double heightPt) {
    pages_.emplace_back(widthPt, heightPt);
    return pages_.back();
}

std::string PdfDocument::Bytes() const {
    // Objects: 1 catalog, 2 page tree, 3-5 fonts, then per page its page object and content.
    std::vector<std::string> objects;
    std::string kids;
    for (size_t i = 0; i < pages_.size(); ++i) kids += std::to_string(6 + 2 * i) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " +
                      std::to_string(pages_.size()) + " >>");
    for (const char* base : {"Helvetica", "Helvetica-Bold", "Courier"}) {
        objects.push_back(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + base +
                          " /Encoding /WinAnsiEncoding >>");
    }
    for (size_t i = 0; i < pages_.size(); ++i) {
        const PdfPage& page = pages_[i];
        objects.push_back(
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(page.width()) + " " +
            Number(page.height()) +
            "] /Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R >> >> /Contents " +
            std::to_string(7 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(page.Content().size()) + " >>\nstream\n" +
                          page.Content() + "endstream");
    }
    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    char entry[32];
    for (size_t offset : offsets) {
        std::snprintf(entry, sizeof(entry), "%010zu 00000 n \n", offset);
        out += entry;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

bool PdfDocument::Save(const std::string& path, std::string* error) const {
    const std::string bytes = Bytes();
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += size_t(n);
    }
    const int savedErrno = errno;
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (!ok && error != nullptr) *error = path + ": " + std::strerror(savedErrno);
    return ok;
}
