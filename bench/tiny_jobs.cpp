// Writes the raster jobs that measure a filter's start-up: a job without pages and a page of
// one black dot, in 24-bit RGB for our filters and in 1-bit for CUPS's rastertolabel.
//
//   tiny_jobs <directory> <dpi>
//
// Writes empty.ras, dot24.ras and dot1.ras into the directory.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/raster_writer.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tiny_jobs <directory> <dpi>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const uint32_t dpi = static_cast<uint32_t>(std::atoi(argv[2]));
    TestPage colour = TestPage::Solid(1, 1, 0, 0, 0);
    colour.dpiX = colour.dpiY = dpi;
    TestPage mono = colour;
    mono.bitsPerPixel = 1;
    mono.colorSpace = CUPS_CSPACE_K;
    mono.rows = {0x80};  // the dot, black ink
    WriteRasterFile(dir + "/empty.ras", {});
    WriteRasterFile(dir + "/dot24.ras", {colour});
    WriteRasterFile(dir + "/dot1.ras", {mono});
    return 0;
}
