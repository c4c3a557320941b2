// libFuzzer entry for the whole job flow of the label filters: any byte string as the raster
// input, with a small queue PPD, must end the job (printed, refused with an ERROR line) without
// a memory error, undefined behaviour or a hang. The first byte picks the filter.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "epl/epl_filter.h"
#include "tspl/tspl_filter.h"
#include "zpl/zpl_filter.h"

namespace {

const char kQueue[] =
    "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"FUZZ.PPD\"\n"
    "*Manufacturer: \"Fuzz\"\n*Product: \"(Fuzz)\"\n*ModelName: \"Fuzz\"\n"
    "*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n*PSVersion: \"(3010.000) 0\"\n"
    "*OutputDPI: \"203\"\n*MaxOutputWidth: \"104\"\n"
    "*OpenUI *Mode: PickOne\n*DefaultMode: 4\n*Mode 4: \"4\"\n*CloseUI: *Mode\n"
    "*OpenUI *CutMethod: PickOne\n*DefaultCutMethod: 3\n*CutMethod 3: \"3\"\n*CloseUI: *CutMethod\n"
    "*OpenUI *Interval: PickOne\n*DefaultInterval: 2\n*Interval 2: \"2\"\n*CloseUI: *Interval\n";

// Once per process: the queue's PPD, and the printer stream thrown away.
void SetUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    char path[] = "/tmp/mxfuzz-queue.XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, kQueue, sizeof(kQueue) - 1) < 0) std::abort();
    ::close(fd);
    ::setenv("PPD", path, 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetUpOnce();
    if (size == 0) return 0;
    const LabelFilterDefinition* const filters[] = {&kZplFilter, &kTsplFilter, &kEplFilter};
    const LabelFilterDefinition& filter = *filters[data[0] % 3];
    const int input = ::memfd_create("raster", MFD_CLOEXEC);
    if (input < 0) return 0;
    if (::write(input, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
        ::close(input);
        return 0;
    }
    std::string path = "/proc/self/fd/" + std::to_string(input);
    char* argv[] = {const_cast<char*>("rastomox"),
                    const_cast<char*>("1"),
                    const_cast<char*>("fuzz"),
                    const_cast<char*>("label"),
                    const_cast<char*>("1"),
                    const_cast<char*>(""),
                    path.data(),
                    nullptr};
    RunLabelFilter(7, argv, filter);
    ::close(input);
    return 0;
}
