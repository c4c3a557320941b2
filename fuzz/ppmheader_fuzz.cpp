// libFuzzer entry for the PPM reader: any bytes must either be refused or give a size whose
// pixels lie inside the buffer, without a memory error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pdf/ppm_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> buffer(data, data + size);
    uint32_t width = 0;
    uint32_t height = 0;
    const uint8_t* pixels = PpmBitmapData(buffer.data(), buffer.size(), width, height);
    if (pixels == nullptr) return 0;
    const uint64_t end = uint64_t(pixels - buffer.data()) + uint64_t{width} * height * 3;
    if (end > buffer.size()) std::abort();
    // Place it into a small page as the PDF step does.
    constexpr uint32_t kPage = 8;
    std::vector<uint8_t> page(kPage * kPage * 3);
    CopyPpmToPage(pixels, width, height, page.data(), kPage, kPage, kPage * 3);
    return 0;
}
