// Length conversions to printer dots, shared by every renderer.
#pragma once

#include <cstdint>

// dots = truncate(mm x 1000 x dpi / 25400 + 0.5), in double precision.
constexpr int32_t MmToDots(double mm, double dpi) {
    return static_cast<int32_t>(mm * 1000.0 * dpi / 25400.0 + 0.5);
}

// The same for lengths in tenths of a millimetre.
constexpr int32_t TenthsMmToDots(double tenths, double dpi) {
    return static_cast<int32_t>(tenths * 100.0 * dpi / 25400.0 + 0.5);
}
