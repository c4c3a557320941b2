// The error diffusion methods of Dither (2: Floyd-Steinberg, 6: Stucki), shared with
// the method dispatch in halftone.cpp.
#pragma once

#include <cstdint>

namespace mx_imaging {

// The two output bytes: dark is 0 and light 255, or the other way round for a negative.
struct Tones {
    uint8_t dark;
    uint8_t light;
};

struct Page {
    uint8_t* src;
    uint8_t* dst;
    uint32_t height;
    uint32_t cols;  // columns processed: never more than the stride
    uint32_t stride;
};

// Works in place: the diffused errors are left in the source.
void FloydSteinberg(const Page& page, Tones t);
// Works on a private copy; the last two rows and columns are not written.
void Stucki(const Page& page, Tones t);

}  // namespace mx_imaging
