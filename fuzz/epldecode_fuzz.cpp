// libFuzzer entry for the EPL2 decoder: any byte string must decode, draw and summarise
// without a memory error (built with AddressSanitizer and UBSan, see scripts/fuzz.sh).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/epldecode/epl_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A small drawing budget keeps each run fast; the checks run on every label regardless.
    EplDecodeOptions options;
    options.maxRenderedDots = uint64_t{1} << 22;
    const EplJob job =
        DecodeEpl(std::string_view(reinterpret_cast<const char*>(data), size), options);
    (void)FormatEplSummary(job);
    return 0;
}
