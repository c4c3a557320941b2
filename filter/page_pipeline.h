// The image steps every label renderer runs on a page before it packs the dots into its
// printer's graphic format: resolution, tone tables, conversion to grey with rotation and
// cropping, automatic quarter turn, scaling to the print width, halftoning and dashing of
// long solid lines. Where the renderers differ is stated in a PagePipelinePolicy.
#pragma once

#include <algorithm>
#include <cstdint>

#include "filter/page_format.h"
#include "filter/records.h"
#include "imaging/bmp_file.h"
#include "imaging/malloc_buffer.h"
#include "settings/oem_cfg.h"

// Which resolution a measure of the page is taken at.
enum class ResolutionBasis { Raster, Output };

// How a page is printed in print mode 0.
enum class PaperModeZero {
    OwnLabelAtRasterResolution,  // unscaled, the page is its own label
    ScaledToOutput,              // like every other mode, at the output resolution
};

// Where the horizontal and vertical print offsets are applied.
enum class PageOffsets {
    ShiftedWhileConverting,  // the page image is moved
    ByPrinterCommands,       // the renderer's commands place the image
};

// When a page is scaled down to the print width.
enum class WidthLimit {
    Always,
    OnlyWhenSizingLabel,  // print mode 1 or paper saving: the renderer sizes the label
};

// What the conversion in print mode 0 does with white around the content.
enum class PaperModeZeroWhite {
    Cropped,
    CroppedWhenSavingPaper,
};

// What halftone method 4 means.
enum class HalftoneMethod4 {
    Dither,             // the dither of that number, like every other method
    AdaptiveThreshold,  // the tiled adaptive threshold
};

// Whether the negative setting inverts the printed dots.
enum class NegativePrint { Ignored, Inverted };

// When the halftoned page is written to its debug file.
enum class HalftoneBitmap { AfterEveryMethod, AfterAdaptiveThresholdOnly };

// Where the renderers differ in the image steps.
struct PagePipelinePolicy {
    const char* beginBitmapPath;   // the page before conversion, while the log is on
    const char* beginBitmapError;  // logged when that file fails
    const char* outputBitmapPath;  // the page after halftoning
    const char* outputBitmapError;
    BmpFileLayout bitmapLayout;
    HalftoneBitmap outputBitmap;
    PaperModeZero paperModeZero;
    PageOffsets offsets;
    // The 300 mm limit of the conversion in print mode 1.
    ResolutionBasis printModeOneLimit;
    WidthLimit widthLimit;
    PaperModeZeroWhite paperModeZeroWhite;
    // The method of settings that name none (0) or one there is not (above 10), which would
    // leave the page blank.
    uint16_t unsetHalftoneMethod;
    HalftoneMethod4 halftoneMethod4;
    NegativePrint negative;
    // A solid run's length in millimetres, for dashing.
    ResolutionBasis solidRunLength;
};

// Where a halftoned page's dots are: a buffer of their own, or the page buffer that the page
// device record still holds, whose image is spent once it has been converted.
class DotBuffer {
  public:
    void Own(MallocBuffer bits) {
        owned_ = std::move(bits);
        bits_ = owned_.get();
    }
    void Borrow(uint8_t* bits) {
        owned_.reset();
        bits_ = bits;
    }
    uint8_t* get() const { return bits_; }
    explicit operator bool() const { return bits_ != nullptr; }

  private:
    MallocBuffer owned_;
    uint8_t* bits_ = nullptr;
};

// A page after the image steps: one byte per dot, 0 printed and 255 blank (swapped for a
// negative print), `width` x `height` dots at `stride` bytes per row. Its dots may lie in the
// page buffer, so they are read before the page is dropped.
struct HalftonedPage {
    DotBuffer image;
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
// (resampling) and changes the page image's size in `pdev.bmInfoHeader`; a KeptPageSize puts
// the size back once the page has been sent.
PipelineResult RunPagePipeline(const PagePipelinePolicy& policy, tagOEMCFG& cfg,
                               const _DEVMODE& devMode, _OEMPDEV& pdev, bool logFlag,
                               HalftonedPage& page);

// Whether a page of width x height may be read as the label grey (PageContent::LabelGrey8):
// the image steps then give exactly what they give the page in colour, because they neither
// resample, turn, shift, narrow nor tone it before it is grey, and no debug bitmap of the page
// in colour is asked for.
bool TakesLabelGrey(const PagePipelinePolicy& policy, const tagOEMCFG& cfg, const _DEVMODE& devMode,
                    uint32_t width, uint32_t height, bool logFlag);

// The renderers' debug bitmap writer: the data as a BMP file in the filter's layout, its
// failure only logged.
void LogPageBitmap(const BmpFileLayout& layout, const char* path, const uint8_t* data,
                   uint32_t length, int width, int height, int bits);

// A shift in millimetres, no longer than the longest page: a shift past every label moves the
// page off it all the same, and the dots it comes to stay far from overflowing.
constexpr int64_t BoundedShiftMm(int64_t mm) {
    return std::clamp<int64_t>(mm, -static_cast<int64_t>(kMaxPageLengthMm),
                               static_cast<int64_t>(kMaxPageLengthMm));
}

// The rotation passed to the conversion for a page orientation and the two rotation settings.
int32_t RotationCode(int16_t orientation, uint16_t rotate90, int64_t rotation);

// Keeps the page image size the record has before the image steps and puts it back when the
// page has been sent, on every path out of the renderer.
class KeptPageSize {
  public:
    explicit KeptPageSize(_OEMPDEV& pdev)
        : pdev_(pdev), width_(pdev.bmInfoHeader.biWidth), height_(pdev.bmInfoHeader.biHeight) {}
    ~KeptPageSize() {
        pdev_.bmInfoHeader.biWidth = width_;
        pdev_.bmInfoHeader.biHeight = height_;
    }
    KeptPageSize(const KeptPageSize&) = delete;
    KeptPageSize& operator=(const KeptPageSize&) = delete;

  private:
    _OEMPDEV& pdev_;
    int32_t width_;
    int32_t height_;
};
