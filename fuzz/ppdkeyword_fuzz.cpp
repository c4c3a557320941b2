// libFuzzer entry for the PPD keyword reader: any file content must be read line by line to a
// value or to "absent" without a memory error. The bytes go into a memory file that the reader
// opens by its /proc path, as it opens the queue's PPD.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/ppd_keyword.h"

namespace {

int MemoryFile() {
    static const int fd = ::memfd_create("ppd", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MemoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    // The first byte picks the conformance and the keyword asked for.
    SetPpdKeywordConformance(size > 0 && (data[0] & 1) != 0);
    static const char* const kKeywords[] = {"OutputDPI", "MaxOutputWidth", "End", "PageSize"};
    (void)GetPpdKeywordValueFromFile(path.c_str(), kKeywords[size > 0 ? (data[0] >> 1) % 4 : 0]);
    std::string text(reinterpret_cast<const char*>(data), size);
    (void)PpdDecode(text.data());
    return 0;
}
