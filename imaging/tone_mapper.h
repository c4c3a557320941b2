// The per-pixel tone steps that the scaling operations apply on their way to the
// destination (brightness/contrast, then levels slot 0), with every decision that
// depends only on the settings taken once per call.
#pragma once

#include <cstdint>

#include "imaging/bmp_processing.h"
#include "imaging/variant_rules.h"

namespace mx_imaging {

// The Light rule: pure black and pure white stay, near-white becomes white where the
// variant says so, everything else maps through the brightness/contrast table.
inline void ApplyLightTable(const uint16_t* table, bool whitensNearWhite, uint8_t& red,
                            uint8_t& green, uint8_t& blue) {
    if ((red | green | blue) == 0 || (red & green & blue) == 255) return;
    if (whitensNearWhite && red >= 251 && green >= 251 && blue >= 251) {
        red = green = blue = 255;
        return;
    }
    red = static_cast<uint8_t>(table[red]);
    green = static_cast<uint8_t>(table[green]);
    blue = static_cast<uint8_t>(table[blue]);
}

class ToneMapper {
public:
    ToneMapper(const CBmpProcessing& bmp, const tagColorCFG& cfg)
        : lightTable_(bmp.LightTable()),
          levelsTable_(bmp.LevelsTable(0)),
          useLight_(cfg.nBrightness != 0 || cfg.nContrast != 0),
          useLevels_(cfg.nLevels != 0 && cfg.nLevels != 100),
          whitensNearWhite_(RulesFor(bmp.Variant()).lightWhitensNearWhite) {}

    bool Active() const { return useLight_ || useLevels_; }

    void Apply(uint8_t& red, uint8_t& green, uint8_t& blue) const {
        if (useLight_) ApplyLightTable(lightTable_, whitensNearWhite_, red, green, blue);
        if (useLevels_) {
            red = levelsTable_[red];
            green = levelsTable_[green];
            blue = levelsTable_[blue];
            if (red >= 250 && green >= 250 && blue >= 250) red = green = blue = 255;
        }
    }

private:
    const uint16_t* lightTable_;
    const uint8_t* levelsTable_;
    bool useLight_;
    bool useLevels_;
    bool whitensNearWhite_;
};

// Grey with the integer weights 11/32 red, 16/32 green, 5/32 blue (white stays 255).
inline uint8_t GreyOf(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint8_t>((11 * red + 16 * green + 5 * blue) >> 5);
}

}  // namespace mx_imaging
