// The image steps every label renderer runs on a page before it packs the dots into its
// printer's graphic format: resolution, tone tables, conversion to grey with rotation and
// cropping, automatic quarter turn, scaling to the print width, halftoning and dashing of
// long solid lines. Where the renderers differ is stated in a PagePipelinePolicy.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "filter/records.h"
#include "imaging/bmp_file.h"
#include "settings/oem_cfg.h"

struct PagePipelinePolicy {
    const char* beginBitmapPath;   // the page before conversion, while the log is on
    const char* beginBitmapError;  // logged when that file fails
    const char* outputBitmapPath;  // the page after halftoning
    const char* outputBitmapError;
    BmpFileLayout bitmapLayout;
    // In print mode 0 the page is printed at the raster's own resolution, as its own label.
    bool paperModeZeroAtRasterResolution;
    // The renderer's horizontal and vertical shift is applied while converting.
    bool shiftWhileConverting;
    // The 300 mm conversion limit of the first conversion is taken at the output resolution
    // (else at the raster's).
    bool firstLimitAtOutputDpi;
    // Pages are scaled to the print width only when the renderer sizes the label itself
    // (print mode 1 or paper saving).
    bool widthLimitOnlyWhenSizingLabel;
    // The second conversion skips white by the paper saving setting (else always).
    bool secondConversionSkipsWhiteBySavePaper;
    // Halftone method 4 is the tiled adaptive threshold, and the negative setting inverts.
    bool adaptiveThresholdForMethod4;
    bool negativeHonoured;
    // Solid runs are measured in millimetres at the raster's resolution (else the output's).
    bool dashRunsAtRasterDpi;
};

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

// A page after the image steps: one byte per dot, 0 printed and 255 blank (swapped for a
// negative print), `width` x `height` dots at `stride` bytes per row.
struct HalftonedPage {
    MallocBuffer image;
    uint32_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    tagRECT rect{};  // where the dots lie in the converted frame
    int32_t rotationCode = 3;
    int32_t xShift = 0;  // dots
    int32_t yShift = 0;
};

enum class PipelineResult {
    NoPage,  // no page image in the record
    Empty,   // nothing to print on the page
    Ready,
};

// Runs the page in `pdev.pBufStart` through the image steps. It may replace the page buffer
// (resampling) and changes the page image's size in `pdev.bmInfoHeader`; RestorePageSize puts
// the size back once the page has been sent.
PipelineResult RunPagePipeline(const PagePipelinePolicy& policy, tagOEMCFG& cfg,
                               const _DEVMODE& devMode, _OEMPDEV& pdev, bool logFlag,
                               HalftonedPage& page);

// The rotation passed to the conversion for a page orientation and the two rotation settings.
int32_t RotationCode(int16_t orientation, uint16_t rotate90, int64_t rotation);

// Page image size in the record before the pipeline ran, to be restored after the page.
struct KeptPageSize {
    int32_t width;
    int32_t height;
};
KeptPageSize KeepPageSize(const _OEMPDEV& pdev);
void RestorePageSize(_OEMPDEV& pdev, KeptPageSize kept);
