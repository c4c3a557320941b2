// libFuzzer entry for the graphic encoder: any page content, at any row width, must come back
// whole through zlib from a stream within the bound. The first byte picks the row width.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zpl/graphic_deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t bytesPerRow = data[0];
    ++data;
    --size;
    GraphicDeflater deflater;
    std::vector<uint8_t> stream(GraphicDeflater::Bound(size));
    const size_t produced =
        deflater.Compress(data, size, bytesPerRow, stream.data(), stream.size());
    if (produced == 0) std::abort();
    std::vector<uint8_t> back(size + 1);
    uLongf backSize = back.size();
    if (uncompress(back.data(), &backSize, stream.data(), produced) != Z_OK || backSize != size ||
        std::memcmp(back.data(), data, size) != 0)
        std::abort();
    return 0;
}
