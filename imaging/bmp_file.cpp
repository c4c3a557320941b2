#include "imaging/bmp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "log/own_file.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t DataOffset(int bits) {
    if (bits == 1) return 62;
    if (bits == 8) return 1078;
    return 54;
}

void PutPalette(std::vector<uint8_t>& out, int bits) {
    if (bits == 1) {
        Put32(out, 0x00000000);
        Put32(out, 0x00FFFFFF);
    } else if (bits == 8) {
        for (uint32_t i = 0; i < 256; ++i) Put32(out, 0xFF000000u | i << 16 | i << 8 | i);
    }
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteBmpFile(const char* path, const uint8_t* data, uint32_t length, int width, int height,
                  int bits, const BmpFileLayout& layout, bool* writeFailed) {
    if (writeFailed != nullptr) *writeFailed = false;
    if (path == nullptr || data == nullptr || width <= 0 || height <= 0 || bits <= 0) return false;
    const uint32_t sourceRow = length / static_cast<uint32_t>(height);
    const uint32_t fileRow =
        layout.rowLength == BmpRowLength::PaddedToWords
            ? DibStride(static_cast<uint32_t>(width), static_cast<uint32_t>(bits))
            : sourceRow;
    const uint64_t imageSize = uint64_t{fileRow} * static_cast<uint32_t>(height);
    if (imageSize > UINT32_MAX - 1078) return false;

    // The file is emptied, not removed: a job printing at the same time may be writing it.
    const OwnFile file = OpenOwnFile(path, O_WRONLY);
    if (file.fd < 0) {
        std::fprintf(stderr, "DEBUG: The debug bitmap %s is not written: %s.\n", path,
                     file.problem.c_str());
        return false;
    }
    const int fd = file.fd;
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        if (writeFailed != nullptr) *writeFailed = true;
        return true;
    }

    std::vector<uint8_t> head;
    head.push_back('B');
    head.push_back('M');
    Put32(head, static_cast<uint32_t>(imageSize) + DataOffset(bits));
    Put16(head, 0);
    Put16(head, 0);
    Put32(head, DataOffset(bits));
    Put32(head, 40);
    Put32(head, static_cast<uint32_t>(width));
    Put32(head,
          static_cast<uint32_t>(height));  // positive: the first buffer row is the file's first row
    Put16(head, 1);
    Put16(head, static_cast<uint16_t>(bits));
    Put32(head, 0);
    Put32(head, static_cast<uint32_t>(imageSize));
    Put32(head, static_cast<uint32_t>(layout.pixelsPerMetre));
    Put32(head, static_cast<uint32_t>(layout.pixelsPerMetre));
    Put32(head, 0);  // colours used: the full palette
    Put32(head, 0);  // important colours: all
    PutPalette(head, bits);

    bool ok = WriteAll(fd, head.data(), head.size());
    std::vector<uint8_t> row(fileRow, 0);
    for (int y = 0; ok && y < height; ++y) {
        std::memcpy(row.data(), data + uint64_t{sourceRow} * static_cast<uint32_t>(y),
                    std::min(sourceRow, fileRow));
        ok = WriteAll(fd, row.data(), row.size());
    }
    ::close(fd);
    if (writeFailed != nullptr) *writeFailed = !ok;
    return true;
}
