#include "tests/pdf/pdf_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/filter_runner.h"
#include "tests/support/temp_dir.h"

std::string MakePdf(int pages) {
    std::vector<std::string> objects;
    std::string kids;
    for (int k = 0; k < pages; ++k) kids += std::to_string(3 + 2 * k) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) +
                      " >>");
    for (int k = 0; k < pages; ++k) {
        std::ostringstream content;
        content << "0 g\n";
        for (int i = 0; i <= k; ++i) content << 1 + i * 2.5 << " 1 1.5 16 re f\n";
        content << "1 0 0 rg 30 2 5 5 re f\n0 0 1 rg 30 10 5 5 re f\n";
        const std::string stream = content.str();
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 36 18] /Contents " +
                          std::to_string(4 + 2 * k) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream +
                          "endstream");
    }
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof(entry), "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

RgbImage PopplerPage(const std::string& pdf, unsigned page, unsigned dpi, const std::string& dir) {
    FilterArgs args;
    const std::string p = std::to_string(page);
    const std::string r = std::to_string(dpi);
    args.argvOverride = std::vector<std::string>{
        "-q", "-aa", "no", "-aaVector", "no", "-f",          p,   "-l",
        p,    "-rx", r,    "-ry",       r,    "-singlefile", pdf, dir + "/expected"};
    RunFilter("/usr/bin/pdftoppm", args);
    const std::string ppm = ReadFile(dir + "/expected.ppm");
    std::remove((dir + "/expected.ppm").c_str());
    RgbImage image;
    unsigned width = 0, height = 0;
    int header = 0;
    if (std::sscanf(ppm.c_str(), "P6\n%u %u\n255\n%n", &width, &height, &header) != 2 ||
        header == 0)
        return image;
    if (ppm.size() - header < size_t{width} * height * 3) return image;
    image.width = width;
    image.height = height;
    image.rgb.assign(ppm.begin() + header, ppm.begin() + header + size_t{width} * height * 3);
    return image;
}

std::vector<uint8_t> PageImageOf(const RgbImage& image, uint32_t width, uint32_t height) {
    const size_t stride = ((size_t{width} * 24 + 31) / 32) * 4;
    std::vector<uint8_t> page(stride * height, 0xFF);
    for (uint32_t y = 0; y < height && y < image.height; ++y) {
        for (uint32_t x = 0; x < width && x < image.width; ++x) {
            const uint8_t* in = &image.rgb[(size_t{y} * image.width + x) * 3];
            uint8_t* out = &page[y * stride + x * 3];
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return page;
}

std::vector<std::string> TmpFilesStartingWith(const std::string& prefix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir("/tmp");
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

PathPrefix::PathPrefix(const std::string& dir) {
    const char* path = std::getenv("PATH");
    saved_ = path != nullptr ? path : "/usr/bin:/bin";
    ::setenv("PATH", (dir + ":" + saved_).c_str(), 1);
}

PathPrefix::~PathPrefix() {
    ::setenv("PATH", saved_.c_str(), 1);
}

void WriteFakeTools(const std::string& dir, const std::string& marker) {
    for (const char* tool : {"pdfinfo", "pdftoppm"})
        WriteTool(dir, tool, "echo \"$0 $*\" >> '" + marker + "'\nexit 1\n");
}

void WriteTool(const std::string& dir, const std::string& name, const std::string& body) {
    const std::string path = dir + "/" + name;
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

std::string CaptureStderr(const std::function<void()>& run) {
    TempDir dir;
    const int saved = ::dup(2);
    const int sink = ::open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(sink, 2);
    ::close(sink);
    run();
    ::dup2(saved, 2);
    ::close(saved);
    return ReadFile(dir.File("err"));
}

bool ProcessEnds(int pid) {
    // A killed process takes a moment to go; a zombie has ended.
    for (int i = 0; i < 100; ++i) {
        const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z')
            return true;
        ::usleep(20000);
    }
    return false;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
