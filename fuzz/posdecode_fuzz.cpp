// libFuzzer entry for the ESC/POS decoder: any byte string must decode, draw and summarise
// without a memory error (built with AddressSanitizer and UBSan, see scripts/fuzz.sh).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/posdecode/pos_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PosDecodeResult result =
        DecodeEscPos(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)FormatPosSummary(result);
    return 0;
}
