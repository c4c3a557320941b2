// The few rules in which the receipt filter's image pipeline differs from the label
// filters', gathered in one place so that each operation asks instead of forking.
#pragma once

#include "imaging/bmp_processing.h"

namespace mx_imaging {

struct VariantRules {
    // Every SetColorLevelsData recomputes its tables (label: at most once per object).
    bool recomputeLevels;
    // Colour channels map through slots 0, 1, 2 (label: everything through slot 0).
    bool perChannelLevels;
    // Light whitens a pixel whose channels are all 251 or more.
    bool lightWhitensNearWhite;
    // AdjustBrightness snaps values 1-25 to black and 251-254 to white first.
    bool adjustSnapsExtremes;
    // CoverBMP2OutputFormat keeps the whole frame and honours the offsets instead of
    // cropping to the printed content.
    bool coverKeepsFrame;
};

constexpr VariantRules kLabelRules{false, false, true, false, false};
constexpr VariantRules kReceiptRules{true, true, false, true, true};

inline const VariantRules& RulesFor(BmpVariant variant) {
    return variant == BmpVariant::Receipt ? kReceiptRules : kLabelRules;
}

}  // namespace mx_imaging
