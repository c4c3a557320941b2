// libFuzzer entry for the ZPL decoder: any byte string must decode to a summary without a
// memory error (built with AddressSanitizer and UBSan, see scripts/fuzz.sh).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/zpldecode/zpl_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ZplDecodeResult result =
        DecodeZpl(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)FormatSummary(result);
    return 0;
}
