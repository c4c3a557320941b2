#include "filter/label_geometry.h"

#include <algorithm>

#include "settings/units.h"

namespace {

bool Upright(const tagOEMCFG& cfg, const _DEVMODE& dm) {
    return (dm.dmOrientation == 1 && cfg.sRotate90 == 0) ||
           (dm.dmOrientation == 2 && cfg.sRotate90 == 1);
}

PageExtent Width(const _DEVMODE& dm, const _OEMPDEV& pdev) {
    return {pdev.srcGdiInfo.szlPhysSize.cx, dm.dmPrintQuality};
}

PageExtent Height(const _DEVMODE& dm, const _OEMPDEV& pdev) {
    return {pdev.srcGdiInfo.szlPhysSize.cy, dm.dmYResolution};
}

}  // namespace

PageExtent PageAcrossHead(const tagOEMCFG& cfg, const _DEVMODE& dm, const _OEMPDEV& pdev) {
    return Upright(cfg, dm) ? Width(dm, pdev) : Height(dm, pdev);
}

PageExtent PageAlongFeed(const tagOEMCFG& cfg, const _DEVMODE& dm, const _OEMPDEV& pdev) {
    return Upright(cfg, dm) ? Height(dm, pdev) : Width(dm, pdev);
}

int64_t PrintWidthLimitDots(const tagOEMCFG& cfg) {
    if (cfg.sMaxOutputWidth == 0) return 0;
    return RoundUpTo8(MmToDots(cfg.sMaxOutputWidth, cfg.sOutputXDPI));
}

int64_t LabelWidthDots(const tagOEMCFG& cfg, const _DEVMODE& dm, const _OEMPDEV& pdev) {
    const PageExtent across = PageAcrossHead(cfg, dm, pdev);
    if (across.dpi <= 0 || across.dots <= 0) return 0;
    const int64_t width = RoundUpTo8(across.dots * cfg.sOutputXDPI / across.dpi);
    const int64_t limit = PrintWidthLimitDots(cfg);
    return limit > 0 ? std::min(width, limit) : width;
}
