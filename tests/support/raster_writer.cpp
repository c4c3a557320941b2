#include "tests/support/raster_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "imaging/label_grey.h"
#include "tests/support/temp_dir.h"

TestPage TestPage::Solid(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b) {
    TestPage page;
    page.width = width;
    page.height = height;
    page.rgb.resize(size_t{width} * height * 3);
    for (size_t i = 0; i < page.rgb.size(); i += 3) {
        page.rgb[i] = r;
        page.rgb[i + 1] = g;
        page.rgb[i + 2] = b;
    }
    return page;
}

TestPage TestPage::Gradient(uint32_t width, uint32_t height) {
    TestPage page = Solid(width, height, 0, 0, 0);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &page.rgb[(size_t{y} * width + x) * 3];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x + y);
        }
    }
    return page;
}

TestPage TestPage::FromArt(const std::vector<std::string>& art) {
    const uint32_t height = static_cast<uint32_t>(art.size());
    const uint32_t width = height == 0 ? 0 : static_cast<uint32_t>(art[0].size());
    TestPage page = Solid(width, height, 255, 255, 255);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width && x < art[y].size(); ++x) {
            if (art[y][x] == '#') std::memset(&page.rgb[(size_t{y} * width + x) * 3], 0, 3);
        }
    }
    return page;
}

uint32_t TestPage::BytesPerLine() const {
    return static_cast<uint32_t>((uint64_t{width} * bitsPerPixel + 7) / 8);
}

namespace {

cups_page_header2_t HeaderFor(const TestPage& page) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof(h));
    std::snprintf(h.MediaClass, sizeof(h.MediaClass), "PwgRaster");
    std::snprintf(h.MediaType, sizeof(h.MediaType), "%s", page.mediaType.c_str());
    h.HWResolution[0] = page.dpiX;
    h.HWResolution[1] = page.dpiY;
    h.PageSize[0] = page.width * 72 / (page.dpiX ? page.dpiX : 1);
    h.PageSize[1] = page.height * 72 / (page.dpiY ? page.dpiY : 1);
    h.NumCopies = page.numCopies;
    h.Collate = page.collate ? CUPS_TRUE : CUPS_FALSE;
    h.cupsWidth = page.width;
    h.cupsHeight = page.height;
    h.cupsBitsPerPixel = page.bitsPerPixel;
    h.cupsBitsPerColor = page.bitsPerPixel == 24 ? 8 : page.bitsPerPixel;
    h.cupsBytesPerLine = page.BytesPerLine();
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = page.colorSpace;
    h.cupsNumColors = page.bitsPerPixel == 24 ? 3 : 1;
    return h;
}

void WritePage(cups_raster_t* raster, const TestPage& page) {
    cups_page_header2_t header = HeaderFor(page);
    if (!cupsRasterWriteHeader2(raster, &header))
        throw std::runtime_error("cupsRasterWriteHeader2 failed");
    if (page.headerOnly) return;
    const std::vector<uint8_t>& pixels = page.bitsPerPixel == 24 ? page.rgb : page.rows;
    const size_t needed = size_t{header.cupsBytesPerLine} * page.height;
    if (pixels.size() != needed)
        throw std::runtime_error("test page has the wrong number of bytes");
    std::vector<uint8_t> copy(pixels);  // libcups may modify the rows it writes
    if (needed > 0 &&
        cupsRasterWritePixels(raster, copy.data(), static_cast<unsigned>(needed)) != needed) {
        throw std::runtime_error("cupsRasterWritePixels failed");
    }
}

}  // namespace

void WriteRasterFile(const std::string& path, const std::vector<TestPage>& pages, bool compressed) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    cups_raster_t* raster =
        cupsRasterOpen(fd, compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
    for (const TestPage& page : pages) WritePage(raster, page);
    cupsRasterClose(raster);
    ::close(fd);
}

RasterStream MakeRasterStream(const std::vector<TestPage>& pages, bool compressed) {
    TempDir dir;
    RasterStream stream;
    // Writing the pages one by one gives each page's end offset.
    for (size_t n = 1; n <= pages.size(); ++n) {
        std::vector<TestPage> prefix(pages.begin(), pages.begin() + static_cast<long>(n));
        WriteRasterFile(dir.File("p.ras"), prefix, compressed);
        stream.pageEnds.push_back(ReadFile(dir.File("p.ras")).size());
    }
    WriteRasterFile(dir.File("all.ras"), pages, compressed);
    stream.bytes = ReadFile(dir.File("all.ras"));
    return stream;
}

std::vector<uint8_t> ExpectedPageImage(const TestPage& page, unsigned bits) {
    if (bits == 8) {
        const size_t stride = (size_t{page.width} + 3) & ~size_t{3};
        std::vector<uint8_t> grey(stride * page.height, 0xFF);
        LabelGreyFromRgbRows(page.rgb.data(), size_t{page.width} * 3, page.width, page.height,
                             grey.data(), stride);
        return grey;
    }
    const size_t stride = ((size_t{page.width} * 24 + 31) / 32) * 4;
    std::vector<uint8_t> image(stride * page.height, 0xFF);
    for (uint32_t y = 0; y < page.height; ++y) {
        for (uint32_t x = 0; x < page.width; ++x) {
            const uint8_t* in = &page.rgb[(size_t{y} * page.width + x) * 3];
            uint8_t* out = &image[y * stride + x * 3];
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return image;
}

uint64_t Fnv1a(const uint8_t* data, size_t size) {
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}
