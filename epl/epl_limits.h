// What an EPL2 printer accepts, and the bounds the builder keeps settings values within.
#pragma once

#include <algorithm>
#include <cstdint>

#include "settings/units.h"

namespace epl {

// "Printer setting": no speed or density command, the printer keeps its own.
constexpr int kPrinterSetting = 1000;
constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 6;
constexpr int kMaxDensity = 15;

// Lengths, positions, label counts and copies: EPL2 takes at most 65535.
constexpr int kMaxDots = 65535;
// Gap or black-line height of "Q": 16 to 240 dots (0: continuous media).
constexpr int kMinGapDots = 16;
constexpr int kMaxGapDots = 240;
// "fB" backs up at most 255 dots at a time.
constexpr int kMaxBackupStep = 255;
// "f" cut position, 100 is the printer's nominal position.
constexpr int kMinCutPosition = 70;
constexpr int kMaxCutPosition = 130;
// Graphic rows wider than 65535 dots fit no label.
constexpr int64_t kMaxGraphicBytesPerRow = 8192;

// Settings may hold any value: lengths are taken up to 10 m and resolutions up to 2400 dpi,
// so that no conversion to dots overflows.
constexpr int64_t kMaxTenthsMm = 100000;
constexpr int64_t kMaxMm = 10000;
constexpr int kMaxDpi = 2400;

// The widest EPL2 print heads are 4.16 in: 832 dots at 200 dpi, 1248 at 300 dpi.
constexpr int WidestHeadDots(int dpi) {
    return std::clamp(dpi, 0, kMaxDpi) * 416 / 100;
}

constexpr int64_t TenthsDots(int64_t tenths, int dpi) {
    return TenthsMmToDots(static_cast<double>(std::clamp(tenths, -kMaxTenthsMm, kMaxTenthsMm)),
                          std::clamp(dpi, 0, kMaxDpi));
}

constexpr int64_t MmDots(int64_t mm, int dpi) {
    return MmToDots(static_cast<double>(std::clamp(mm, -kMaxMm, kMaxMm)),
                    std::clamp(dpi, 0, kMaxDpi));
}

// A value for an int argument of a command method; the method clamps it to its own range.
constexpr int ToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, -kMaxDots - 1, kMaxDots + 1));
}

}  // namespace epl
