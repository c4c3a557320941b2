// libFuzzer entry for the TSPL decoder: any byte string must decode to a summary without a
// memory error (built with AddressSanitizer and UBSan, see scripts/fuzz.sh).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/tspldecode/tspl_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TsplDecodeOptions options;
    // Each image is dropped after its PRINT, as the command does.
    options.onPrint = [](const TsplPrint&) {};
    const TsplJob job =
        DecodeTspl(std::string_view(reinterpret_cast<const char*>(data), size), options);
    (void)FormatTsplSummary(job);
    return 0;
}
