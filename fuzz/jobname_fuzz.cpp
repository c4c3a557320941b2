// libFuzzer entry for job titles: any title must parse into its RFID frame, and the frame's
// length byte must count its data, without a memory error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rfid/job_name.h"
#include "rfid/vx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string title(reinterpret_cast<const char*>(data), size);
    const ParseJobName job(title);
    const std::vector<uint8_t> cmd = job.GetRfidCmd();
    if (cmd.size() < 4 || cmd[1] != static_cast<uint8_t>((cmd.size() - 3) % 256)) std::abort();
    (void)job.DataType();
    CVXFile file(title);
    (void)file.CheckRFIDTask();
    return 0;
}
