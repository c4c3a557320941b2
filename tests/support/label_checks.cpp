#include "tests/support/label_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/filter_runner.h"

namespace {

FilterResult RunTool(const std::string& program, std::vector<std::string> arguments) {
    FilterArgs args;
    args.argvOverride = std::move(arguments);
    return RunFilter(program, args);
}

}  // namespace

Box DarkBox(const GreyBitmap& image) {
    Box box;
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (image.At(x, y) >= 128) continue;
            if (box.left < 0 || static_cast<int>(x) < box.left) box.left = static_cast<int>(x);
            if (box.top < 0) box.top = static_cast<int>(y);
            box.right = std::max(box.right, static_cast<int>(x));
            box.bottom = static_cast<int>(y);
        }
    }
    return box;
}

std::string SampleLabelPdf(const TempDir& dir, const std::string& size, int pages) {
    const std::string path = dir.File("label-" + size + "-" + std::to_string(pages) + ".pdf");
    RunTool(SAMPLE_PDF, {"label", "--size", size, "--pages", std::to_string(pages), "-o", path});
    return path;
}

std::string Barcodes(const TempDir& dir, const GreyBitmap& image) {
    const std::string png = dir.File("label.png");
    if (!WritePng(png, image)) return {};
    return RunTool("/usr/bin/zbarimg", {"-q", png}).out;
}

std::string RunLabelJob(const TempDir& dir, const std::string& filter, const std::string& ppd,
                        int pages, unsigned copies, const std::string& options,
                        const TestPage& page) {
    std::vector<TestPage> job(static_cast<size_t>(pages), page);
    for (TestPage& p : job) p.numCopies = copies;
    WriteRasterFile(dir.File("job.ras"), job);
    FilterArgs args;
    args.ppdPath = ppd;
    args.options = options;
    args.rasterFile = dir.File("job.ras");
    const FilterResult r = RunFilter(filter, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

Box ReferenceBox(const TempDir& dir, const std::string& pdf, int dpi) {
    const std::string root = dir.File("reference");
    RunTool("/usr/bin/pdftoppm", {"-r", std::to_string(dpi), "-mono", "-singlefile", pdf, root});
    // A PBM file: "P4\n<w> <h>\n" then rows of packed bits, 1 black.
    const std::string pbm = ReadFile(root + ".pbm");
    unsigned width = 0, height = 0;
    int headerEnd = 0;
    if (std::sscanf(pbm.c_str(), "P4 %u %u%n", &width, &height, &headerEnd) != 2) return {};
    GreyBitmap image(width, height);
    const size_t rowBytes = (width + 7) / 8;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(headerEnd) + 1 + y * rowBytes + x / 8;
            if (at < pbm.size() && (static_cast<uint8_t>(pbm[at]) >> (7 - x % 8) & 1))
                image.Set(x, y, 0);
        }
    }
    return DarkBox(image);
}
