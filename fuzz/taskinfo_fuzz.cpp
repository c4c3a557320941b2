// libFuzzer entry for the job information file: any file content must be read without a
// memory error, and whatever it held, the file written back must name the job and the index
// just handed out and keep at most the allowed number of jobs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "rfid/task_info.h"

namespace {

const std::string& FilePath() {
    static const std::string path = "/tmp/mxfuzz-taskinfo-" + std::to_string(::getpid());
    static const bool removedAtExit = std::atexit([] { ::unlink(FilePath().c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << text;
    const int jobId = size > 0 ? data[0] % 8 : 0;
    int index = -1;
    std::string reason;
    if (TaskInfo(jobId, index, reason, nullptr, FilePath()) != TaskInfoStatus::Ok) return 0;
    std::stringstream written;
    written << std::ifstream(FilePath(), std::ios::binary).rdbuf();
    int recordedJob = -1;
    int recordedIndex = -1;
    if (FileLock::parseJobInfo(written.str(), recordedJob, recordedIndex) != 1 ||
        recordedJob != jobId || recordedIndex != index || index < 0 ||
        FileLock::parseOtherJobs(written.str()).size() >= FileLock::MAX_JOBS)
        std::abort();
    return 0;
}
