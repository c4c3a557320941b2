// Length conversions to printer dots, shared by every renderer.
#pragma once

#include <algorithm>
#include <cstdint>

// A distance in dots, truncated; lengths no label has stay in range rather than overflow.
constexpr int32_t TruncatedDots(double dots) {
    return static_cast<int32_t>(std::clamp(dots, -2147483647.0, 2147483647.0));
}

// dots = truncate(mm x 1000 x dpi / 25400 + 0.5), in double precision.
constexpr int32_t MmToDots(double mm, double dpi) {
    return TruncatedDots(mm * 1000.0 * dpi / 25400.0 + 0.5);
}

// The same for lengths in tenths of a millimetre.
constexpr int32_t TenthsMmToDots(double tenths, double dpi) {
    return TruncatedDots(tenths * 100.0 * dpi / 25400.0 + 0.5);
}
