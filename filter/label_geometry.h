// Label sizes that the renderers derive from the first page's geometry and the settings.
#pragma once

#include <cstdint>

#include "filter/records.h"
#include "settings/oem_cfg.h"

// Whole bytes of dots: the value rounded up to a multiple of 8 (non-negative values).
constexpr int64_t RoundUpTo8(int64_t value) {
    return (value + 7) & ~int64_t{7};
}

// An extent of the first page in raster dots, with the resolution it was measured at.
struct PageExtent {
    int64_t dots;
    int64_t dpi;
};
// Across the print head: the page's width, or its height when the settings turn it a quarter.
PageExtent PageAcrossHead(const tagOEMCFG& cfg, const _DEVMODE& devMode, const _OEMPDEV& pdev);
// Along the feed: the other extent.
PageExtent PageAlongFeed(const tagOEMCFG& cfg, const _DEVMODE& devMode, const _OEMPDEV& pdev);

// That extent in output dots (integer arithmetic), rounded up to whole bytes and limited to
// the print width (itself rounded up to whole bytes) when the settings give one. 0 when the
// page has no resolution.
int64_t LabelWidthDots(const tagOEMCFG& cfg, const _DEVMODE& devMode, const _OEMPDEV& pdev);

// The print width in output dots rounded up to whole bytes; 0 when the settings give none.
int64_t PrintWidthLimitDots(const tagOEMCFG& cfg);
