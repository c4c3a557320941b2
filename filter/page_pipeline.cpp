#include "filter/page_pipeline.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filter/job_messages.h"
#include "filter/page_format.h"
#include "imaging/bmp_processing.h"
#include "imaging/label_grey.h"
#include "imaging/threshold.h"
#include "log/log4z.h"
#include "settings/units.h"

namespace {

// The image being worked on: it may still be the page buffer itself (borrowed) until a step
// makes a new one.
struct WorkingImage {
    uint8_t* bits = nullptr;
    uint32_t size = 0;
    tagBITMAPINFOHEADER header{};
    MallocBuffer owned;

    uint32_t Stride() const {
        return DibStride(static_cast<uint32_t>(header.biWidth), header.biBitCount);
    }
    void Take(uint8_t* newBits, uint32_t newSize) {
        owned.reset(newBits);
        bits = newBits;
        size = newSize;
        header.biSizeImage = newSize;
    }
    // Goes on in a buffer that someone else owns; the image owned so far is freed.
    void Borrow(uint8_t* newBits, uint32_t newSize) {
        owned.reset();
        bits = newBits;
        size = newSize;
        header.biSizeImage = newSize;
    }
};

constexpr tagColorCFG kNoColourChange{0, 0, 0, 0, 0};

uint8_t* AllocateFilled(uint64_t size, uint8_t fill) {
    if (size == 0 || size > kMaxPageBytes) return nullptr;
    // Fresh memory from calloc is zero without a pass over it.
    if (fill == 0) return static_cast<uint8_t*>(std::calloc(size, 1));
    auto* bits = static_cast<uint8_t*>(std::malloc(size));
    if (bits != nullptr) std::memset(bits, fill, size);
    return bits;
}

// Step 1: the output resolution and the scale factors from the raster to it.
void ResolveResolution(const PagePipelinePolicy& policy, tagOEMCFG& cfg, const _DEVMODE& dm,
                       int32_t pageWidth, double& xs, double& ys) {
    if (policy.paperModeZero == PaperModeZero::OwnLabelAtRasterResolution && cfg.sPaperMode == 0) {
        cfg.sOutputXDPI = static_cast<uint16_t>(dm.dmPrintQuality);
        cfg.sOutputYDPI = static_cast<uint16_t>(dm.dmYResolution);
        cfg.sMaxOutputWidth =
            static_cast<uint16_t>(pageWidth / static_cast<double>(dm.dmPrintQuality) * 25.4 + 0.5);
        xs = ys = 1.0;
        return;
    }
    // A PPD without an output resolution prints at the raster's own.
    if (cfg.sOutputXDPI == 0) cfg.sOutputXDPI = static_cast<uint16_t>(dm.dmPrintQuality);
    if (cfg.sOutputYDPI == 0) cfg.sOutputYDPI = static_cast<uint16_t>(dm.dmYResolution);
    xs = static_cast<double>(cfg.sOutputXDPI) / dm.dmPrintQuality;
    ys = static_cast<double>(cfg.sOutputYDPI) / dm.dmYResolution;
}

// The page in the record is the label grey (8 bits) or blue-green-red (24 bits).
uint32_t PageDepth(const _OEMPDEV& pdev) {
    return pdev.bmInfoHeader.biBitCount == 8 ? 8 : 24;
}

// Step 3: brings the page buffer to the output resolution, replacing it in the record.
bool ResamplePage(const tagOEMCFG& cfg, _OEMPDEV& pdev, double xs, double ys) {
    tagBITMAPINFOHEADER& bmp = pdev.bmInfoHeader;
    const uint32_t depth = PageDepth(pdev);
    const uint64_t width = static_cast<uint64_t>(bmp.biWidth * xs);
    const uint64_t height = static_cast<uint64_t>(bmp.biHeight * ys);
    const uint64_t size =
        uint64_t{
            DibStride(static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX / 32)), depth)} *
        height;
    uint8_t* resampled = width > 0 && width < UINT32_MAX / 32 ? AllocateFilled(size, 0) : nullptr;
    if (resampled == nullptr) {
        ReportError("Page %u is too large to print at %u x %u dpi (%llu x %llu dots).",
                    pdev.dwCurPageNum, cfg.sOutputXDPI, cfg.sOutputYDPI,
                    static_cast<unsigned long long>(width),
                    static_cast<unsigned long long>(height));
        return false;
    }
    CBmpProcessing bmpProcessing;
    const uint32_t srcStride = DibStride(static_cast<uint32_t>(bmp.biWidth), depth);
    if (xs >= 1.0 || ys >= 1.0) {
        bmpProcessing.InvoicResampleImg2(
            bmp.biWidth, bmp.biHeight, depth, srcStride, pdev.pBufStart,
            static_cast<uint32_t>(width), static_cast<uint32_t>(height), depth, &resampled,
            static_cast<uint32_t>(size), kNoColourChange, 0, tagRECT{});
    } else {
        bmpProcessing.InvoicQIShrinkImg2(
            bmp.biWidth, bmp.biHeight, depth, srcStride, pdev.pBufStart, nullptr,
            static_cast<uint32_t>(width), static_cast<uint32_t>(height), depth, &resampled, nullptr,
            static_cast<uint32_t>(size), kNoColourChange, kNoColourChange, tagRECT{});
    }
    std::free(pdev.pBufStart);
    pdev.pBufStart = resampled;
    pdev.dwBufSize = static_cast<uint32_t>(size);
    bmp.biWidth = static_cast<int32_t>(width);
    bmp.biHeight = static_cast<int32_t>(height);
    bmp.biSizeImage = static_cast<uint32_t>(size);
    return true;
}

// Step 6: the renderer's shift in dots; a direction other than 0 or 1 shifts nothing.
int32_t Shift(int64_t mm, int64_t direction, uint16_t dpi) {
    if (direction != 0 && direction != 1) return 0;
    const int32_t dots = MmToDots(static_cast<double>(BoundedShiftMm(mm)), dpi);
    return direction == 1 ? -dots : dots;
}

void WriteDebugBitmap(const PagePipelinePolicy& policy, const char* path, const char* error,
                      const uint8_t* data, uint32_t size, int width, int height, int bits) {
    bool failed = false;
    WriteBmpFile(path, data, size, width, height, bits, policy.bitmapLayout, &failed);
    if (failed) LOGE("%s", error);
}

}  // namespace

void LogPageBitmap(const BmpFileLayout& layout, const char* path, const uint8_t* data,
                   uint32_t length, int width, int height, int bits) {
    LOGD("Path: %s, datalen: %u, lWidth: %d, lHeight: %d", path, length, width, height);
    bool failed = false;
    WriteBmpFile(path, data, length, width, height, bits, layout, &failed);
    if (failed) LOGE("writing %s failed", path);
}

namespace {

int32_t ConversionLimit(uint16_t dpi) {
    return static_cast<int32_t>(dpi * 300000.0 / 25400.0 + 0.5);
}

struct Conversion {
    int32_t rotationCode;
    int32_t xShift;
    int32_t yShift;
    COLORLEVELSITEM levels;
    bool mirror;
    int32_t brightness;
    int32_t contrast;

    // Whether the conversion of a pixel depends on nothing but the pixel, as the label grey
    // made while reading assumes.
    bool PixelByPixel() const {
        return rotationCode == 3 && xShift == 0 && yShift == 0 && levels.fGamma == 1.0f &&
               brightness == 0 && contrast == 0;
    }
};

// Step 6: the shifts, the rotation and the tone of the page's conversion.
Conversion ConversionFor(const PagePipelinePolicy& policy, const tagOEMCFG& cfg,
                         const _DEVMODE& dm) {
    Conversion conversion{};
    conversion.rotationCode = RotationCode(dm.dmOrientation, cfg.sRotate90, cfg.sRotation);
    if (policy.offsets == PageOffsets::ShiftedWhileConverting &&
        (cfg.sHrzOffset != 0 || cfg.sVtcOffset != 0)) {
        conversion.xShift = Shift(cfg.sHrzOffset, cfg.sHrzDir, cfg.sOutputXDPI);
        conversion.yShift = Shift(cfg.sVtcOffset, cfg.sVtcDir, cfg.sOutputYDPI);
    }
    // A levels setting of 0 is as neutral as 100.
    const float gamma = cfg.nColorLevelsAdj == 0 ? 1.0f : cfg.nColorLevelsAdj / 100.0f;
    conversion.levels = {gamma, 0, 255, 0, 255};
    conversion.mirror = cfg.sMirror != 0;
    conversion.brightness = cfg.nBrightness;
    conversion.contrast = cfg.nContrast;
    return conversion;
}

// Room for any crop of a label grey page: its rows are rounded up to 8 dots.
uint64_t LabelCropCapacity(const WorkingImage& work) {
    return ((uint64_t{static_cast<uint32_t>(work.header.biWidth)} + 7) & ~uint64_t{7}) *
           static_cast<uint32_t>(work.header.biHeight);
}

// Where the crop of a label grey page goes: the buffer the job keeps for it, or null to
// allocate one.
uint8_t* KeptCropBuffer(MallocBuffer* kept, const WorkingImage& work, uint64_t& capacity) {
    capacity = LabelCropCapacity(work);
    if (kept == nullptr || capacity > UINT32_MAX || !Reserve(*kept, capacity)) return nullptr;
    return kept->get();
}

// Where the crop of a label grey page goes: into the page's own rows where they fit and the
// halftoning works in place too (`ownRows`), else into the job's kept buffer.
struct CropPlace {
    bool ownRows;
    MallocBuffer* kept;  // null: a buffer of its own
};

int32_t CropLabelGreyPage(WorkingImage& work, tagRECT& rect, int32_t limit, int16_t skipWhite,
                          const CropPlace& place, uint8_t*& out, uint32_t& outSize) {
    const size_t room = ::malloc_usable_size(work.bits);
    if (place.ownRows && room >= LabelCropCapacity(work)) {
        out = work.bits;
        outSize = static_cast<uint32_t>(std::min<size_t>(room, UINT32_MAX));
        const int32_t done = CropLabelGrey(work.bits, work.size, &out, &outSize, &work.header,
                                           &rect, limit, skipWhite);
        if (done >= 0) return done;  // -1: the rows cannot move in place
    }
    uint64_t capacity = 0;
    out = KeptCropBuffer(place.kept, work, capacity);
    outSize = out != nullptr ? static_cast<uint32_t>(capacity) : 0;
    return CropLabelGrey(work.bits, work.size, &out, &outSize, &work.header, &rect, limit,
                         skipWhite);
}

// Converts the working image to cropped 8-bit grey. False when nothing printable is left. A
// page read as the label grey is only cropped, unless the conversion would have done more.
bool Convert(CBmpProcessing& bmpProcessing, const Conversion& c, int32_t limit, int16_t skipWhite,
             WorkingImage& work, tagRECT& rect, const CropPlace& place) {
    uint8_t* out = nullptr;
    uint32_t outSize = 0;
    int32_t done = 0;
    if (work.header.biBitCount == 8 && c.PixelByPixel()) {
        done = CropLabelGreyPage(work, rect, limit, skipWhite, place, out, outSize);
    } else {
        done = bmpProcessing.CoverBMP2OutputFormat(
            work.bits, work.size, &out, &outSize, &work.header, &rect, c.rotationCode, c.xShift,
            c.yShift, c.levels, c.mirror, c.brightness, c.contrast, limit, skipWhite);
    }
    const bool inOwnRows = out != nullptr && out == work.bits;
    const bool inKept = place.kept != nullptr && out != nullptr && out == place.kept->get();
    if (!done || out == nullptr || work.header.biWidth <= 0 || work.header.biHeight <= 0) {
        if (!inKept && !inOwnRows) std::free(out);
        return false;
    }
    if (inOwnRows) {
        work.size = work.header.biSizeImage;  // the same buffer, now holding the crop
    } else if (inKept) {
        work.Borrow(out, work.header.biSizeImage);
    } else {
        work.Take(out, outSize);
    }
    return true;
}

// Step 10: a page that does not fit the print width, or a tall page when asked, is turned.
bool TurnsPage(const tagOEMCFG& cfg, uint32_t w, uint32_t h) {
    const double wmm = w / static_cast<double>(cfg.sOutputXDPI) * 25.4 + 0.5;
    const double hmm = h / static_cast<double>(cfg.sOutputXDPI) * 25.4 + 0.5;
    const uint32_t mx = static_cast<uint32_t>(cfg.sOutputXDPI * 5000.0 / 25400.0 + 0.5);
    const uint32_t my = static_cast<uint32_t>(cfg.sOutputYDPI * 5000.0 / 25400.0 + 0.5);
    // Without a maximum width every page fits.
    const bool limited = cfg.sMaxOutputWidth != 0;
    const bool tooWide = limited && wmm - cfg.sMaxOutputWidth > 20.0 && w > h + my;
    const bool tallAndFits =
        (!limited || hmm - cfg.sMaxOutputWidth < 20.0) && w + mx < h && cfg.sAutoRotate90 > 0;
    return tooWide || tallAndFits;
}

void AutoRotate(const tagOEMCFG& cfg, WorkingImage& work, tagRECT& rect, uint32_t& w, uint32_t& h) {
    if (!TurnsPage(cfg, w, h)) return;
    // A page turned only because it is too wide, with no direction chosen, turns anticlockwise.
    const int16_t mode = cfg.sAutoRotate90 > 0 ? static_cast<int16_t>(cfg.sAutoRotate90 - 1) : 0;
    uint8_t* turned = nullptr;
    uint32_t turnedSize = 0;
    tagRECT turnedRect{};
    if (!CBmpProcessing::RotateImgData(work.bits, work.size, rect, &work.header, mode, &turned,
                                       &turnedSize, &turnedRect) ||
        turned == nullptr) {
        std::free(turned);
        return;
    }
    LOGD("databuf2: 0x%x, databuf3: 0x%x",
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(work.bits)),
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(turned)));
    work.Take(turned, turnedSize);
    rect = turnedRect;
    w = static_cast<uint32_t>(rect.right - rect.left + 1);
    h = static_cast<uint32_t>(rect.bottom - rect.top + 1);
}

// Step 11: a page wider than the print width is scaled down to it, keeping its proportions.
// The print width in dots when a page of width w must be scaled down to it, else 0.
uint32_t NarrowedWidth(const tagOEMCFG& cfg, uint32_t w) {
    if (cfg.sMaxOutputWidth == 0) return 0;
    const uint32_t maxDots = static_cast<uint32_t>(MmToDots(cfg.sMaxOutputWidth, cfg.sOutputXDPI));
    return maxDots != 0 && maxDots < w ? maxDots : 0;
}

bool WidthLimited(const PagePipelinePolicy& policy, const tagOEMCFG& cfg) {
    return policy.widthLimit == WidthLimit::Always || cfg.sPaperMode == 1 || cfg.sSavePaper == 1;
}

bool FitWidth(CBmpProcessing& bmpProcessing, const tagOEMCFG& cfg, WorkingImage& work,
              tagRECT& rect, uint32_t& w, uint32_t& h) {
    const uint32_t maxDots = NarrowedWidth(cfg, w);
    if (maxDots == 0) return true;
    const uint32_t newHeight = static_cast<uint32_t>(maxDots * (static_cast<double>(h) / w));
    const uint32_t depth = work.header.biBitCount;
    const uint64_t size = uint64_t{DibStride(maxDots, depth)} * newHeight;
    uint8_t* scaled = AllocateFilled(size, 0xFF);
    if (scaled == nullptr) return false;
    const tagColorCFG colour{static_cast<int16_t>(cfg.nBrightness),
                             static_cast<int16_t>(cfg.nContrast),
                             static_cast<int16_t>(cfg.nColorLevelsAdj), 0, 0};
    if (newHeight < h) {
        bmpProcessing.InvoicQIShrinkImg2(w, h, depth, work.Stride(), work.bits, nullptr, maxDots,
                                         newHeight, depth, &scaled, nullptr,
                                         static_cast<uint32_t>(size), colour, colour, tagRECT{});
    } else {
        bmpProcessing.InvoicResampleImg2(w, h, depth, work.Stride(), work.bits, maxDots, newHeight,
                                         depth, &scaled, static_cast<uint32_t>(size), colour, 0,
                                         tagRECT{});
    }
    work.Take(scaled, static_cast<uint32_t>(size));
    work.header.biWidth = static_cast<int32_t>(maxDots);
    work.header.biHeight = static_cast<int32_t>(newHeight);
    w = maxDots;
    h = newHeight;
    rect = {0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h)};
    return true;
}

// The methods that write every dot of the page; the tiled threshold may stop part way and
// Stucki leaves the last two rows and columns.
bool WritesEveryDot(uint16_t method) {
    return method != 4 && method != 6;
}

// Makes blank what the halftoning will not write: the whole buffer, or only the row padding
// and the rows below the page.
void BlankUnwrittenDots(uint8_t* dots, uint32_t size, uint32_t stride, uint32_t w, uint32_t h,
                        bool everyDot) {
    if (!everyDot || stride == 0) {
        std::memset(dots, 0xFF, size);
        return;
    }
    const uint32_t rows = std::min(h, size / stride);
    if (stride > w) {
        for (uint32_t y = 0; y < rows; ++y)
            std::memset(dots + uint64_t{y} * stride + w, 0xFF, stride - w);
    }
    std::memset(dots + uint64_t{rows} * stride, 0xFF, size - uint64_t{rows} * stride);
}

// The page buffer takes the dots when it is large enough: its image is spent once converted,
// and its memory is already mapped.
bool HoldsDots(uint8_t* pageBuffer, const WorkingImage& work, uint64_t size) {
    return pageBuffer != nullptr && work.bits != pageBuffer &&
           ::malloc_usable_size(pageBuffer) >= size;
}

// Method 4 of the TSPL and EPL filters. False when no threshold can be found; the image then
// goes on as it is.
bool ThresholdAdaptively(WorkingImage& work, uint32_t w, uint32_t h, bool negative,
                         uint8_t* pageBuffer) {
    // The filters' settings: every criterion, tiles of 64 dots, no offset, the page weighed half.
    const int32_t stride = static_cast<int32_t>(work.Stride());
    const int32_t width = static_cast<int32_t>(w);
    const int32_t height = static_cast<int32_t>(h);
    const auto into = [&](uint8_t* dots, uint64_t room) {
        return AdaptiveThresholdInto(work.bits, width, height, stride, dots, room, negative, 0, 64,
                                     0, 0.5f);
    };
    const uint64_t size = uint64_t{DibStride(w, 8)} * h;
    // The grey is spent once thresholded, so its rows take the dots where they fit exactly.
    if (work.Stride() == DibStride(w, 8)) return into(work.bits, work.size);
    if (HoldsDots(pageBuffer, work, size)) {
        if (!into(pageBuffer, size)) return false;
        work.Borrow(pageBuffer, static_cast<uint32_t>(size));
        return true;
    }
    MallocBuffer dots(size <= UINT32_MAX ? static_cast<uint8_t*>(std::malloc(size)) : nullptr);
    if (dots == nullptr || !into(dots.get(), size)) return false;
    work.Take(dots.release(), static_cast<uint32_t>(size));
    return true;
}

uint16_t HalftoneMethod(const PagePipelinePolicy& policy, const tagOEMCFG& cfg) {
    return cfg.sHalftoneMethod >= 1 && cfg.sHalftoneMethod <= 10 ? cfg.sHalftoneMethod
                                                                 : policy.unsetHalftoneMethod;
}

bool AdaptiveMethod(const PagePipelinePolicy& policy, uint16_t method) {
    return policy.halftoneMethod4 == HalftoneMethod4::AdaptiveThreshold && method == 4;
}

// Whether the halftoning can put the dots into the grey image's own rows.
bool HalftonesInPlace(const PagePipelinePolicy& policy, const tagOEMCFG& cfg) {
    const uint16_t method = HalftoneMethod(policy, cfg);
    return AdaptiveMethod(policy, method) || CBmpProcessing::DithersInPlace(method);
}

// Step 13: one byte per dot, 0 printed and 255 blank, written into the grey image's own rows
// where the method allows, else into the page buffer when it can hold them.
void Halftone(const PagePipelinePolicy& policy, const tagOEMCFG& cfg, WorkingImage& work,
              uint32_t w, uint32_t h, bool logFlag, uint8_t* pageBuffer) {
    const bool negative = policy.negative == NegativePrint::Inverted && cfg.bNegative != 0;
    const uint32_t stride = work.Stride();
    const uint16_t method = HalftoneMethod(policy, cfg);
    if (AdaptiveMethod(policy, method)) {
        if (ThresholdAdaptively(work, w, h, negative, pageBuffer)) {
            work.header.biWidth = static_cast<int32_t>(w);
            work.header.biHeight = static_cast<int32_t>(h);
            if (logFlag) {
                WriteDebugBitmap(policy, policy.outputBitmapPath, policy.outputBitmapError,
                                 work.bits, work.size, static_cast<int>(w), static_cast<int>(h), 8);
            }
        }
        return;
    }
    const bool inPlace = CBmpProcessing::DithersInPlace(method);
    const bool borrowed = !inPlace && HoldsDots(pageBuffer, work, work.size);
    uint8_t* dots = inPlace    ? work.bits
                    : borrowed ? pageBuffer
                               : static_cast<uint8_t*>(std::malloc(work.size));
    if (dots == nullptr) return;
    BlankUnwrittenDots(dots, work.size, stride, w, h, WritesEveryDot(method));
    CBmpProcessing::Dither(method, work.bits, dots, h, w, stride, 0, negative);
    if (borrowed) {
        work.Borrow(dots, work.size);
    } else if (!inPlace) {
        work.Take(dots, work.size);
    }
    if (logFlag && policy.outputBitmap == HalftoneBitmap::AfterEveryMethod) {
        WriteDebugBitmap(policy, policy.outputBitmapPath, policy.outputBitmapError, work.bits,
                         work.size, static_cast<int>(w), static_cast<int>(h), 8);
    }
}

// Step 14: long solid runs of each row become dashed lines.
void DashSolidRuns(const tagOEMCFG& cfg, double runDpi, WorkingImage& work, uint32_t w,
                   uint32_t h) {
    const int16_t black = static_cast<int16_t>(MmToDots(cfg.sBlackInterval, cfg.sOutputXDPI));
    const int16_t white = static_cast<int16_t>(MmToDots(cfg.sWhiteInterval, cfg.sOutputXDPI));
    const uint32_t stride = work.Stride();
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = work.bits + uint64_t{y} * stride;
        uint32_t run = 0;
        for (uint32_t x = 0; x <= w; ++x) {
            if (x < w && row[x] == 0) {
                ++run;
                continue;
            }
            if (run > 0 &&
                static_cast<int64_t>(run / runDpi * 25.4 + 0.5) >= cfg.sMinImaginaryLineLen) {
                CBmpProcessing::ResetBlackLineData(row + x - run, run, black, white, 8);
            }
            run = 0;
        }
    }
}

}  // namespace

bool TakesLabelGrey(const PagePipelinePolicy& policy, const tagOEMCFG& jobCfg, const _DEVMODE& dm,
                    uint32_t width, uint32_t height, bool logFlag) {
    if (logFlag || dm.dmPrintQuality <= 0 || dm.dmYResolution <= 0) return false;
    tagOEMCFG cfg = jobCfg;  // the steps adjust the settings they read
    double xs = 1.0;
    double ys = 1.0;
    ResolveResolution(policy, cfg, dm, static_cast<int32_t>(width), xs, ys);
    if (xs != 1.0 || ys != 1.0 || !ConversionFor(policy, cfg, dm).PixelByPixel()) return false;
    // Print mode 0 turns and narrows the page before converting it.
    if (cfg.sPaperMode != 0) return true;
    return !TurnsPage(cfg, width, height) &&
           !(WidthLimited(policy, cfg) && NarrowedWidth(cfg, width));
}

int32_t RotationCode(int16_t orientation, uint16_t rotate90, int64_t rotation) {
    if ((orientation != 1 && orientation != 2) || rotate90 > 1 || (rotation != 0 && rotation != 1))
        return 3;
    // [orientation - 1][sRotate90][sRotation]
    static const int32_t kCodes[2][2][2] = {{{3, 1}, {2, 0}}, {{0, 2}, {3, 1}}};
    return kCodes[orientation - 1][rotate90][rotation];
}

PipelineResult RunPagePipeline(const PagePipelinePolicy& policy, tagOEMCFG& cfg, const _DEVMODE& dm,
                               _OEMPDEV& pdev, bool logFlag, HalftonedPage& page) {
    if (pdev.pBufStart == nullptr) return PipelineResult::NoPage;
    if (dm.dmPrintQuality <= 0 || dm.dmYResolution <= 0) return PipelineResult::Empty;
    double xs = 1.0;
    double ys = 1.0;
    ResolveResolution(policy, cfg, dm, pdev.bmInfoHeader.biWidth, xs, ys);
    if ((xs != 1.0 || ys != 1.0) && !ResamplePage(cfg, pdev, xs, ys)) return PipelineResult::Empty;

    WorkingImage work;
    work.bits = pdev.pBufStart;
    work.size = pdev.dwBufSize;
    work.header.biWidth = pdev.bmInfoHeader.biWidth;
    work.header.biHeight = pdev.bmInfoHeader.biHeight;
    work.header.biBitCount = static_cast<uint16_t>(PageDepth(pdev));
    work.header.biSizeImage = pdev.dwBufSize;
    uint32_t w = static_cast<uint32_t>(work.header.biWidth);
    uint32_t h = static_cast<uint32_t>(work.header.biHeight);
    tagRECT rect{0, 0, static_cast<int32_t>(w) - 1, static_cast<int32_t>(h) - 1};
    LOGD("Page Num=%d,rectTmp.right=%d,rectTmp.bottom=%d", pdev.dwCurPageNum, rect.right,
         rect.bottom);

    Conversion conversion = ConversionFor(policy, cfg, dm);
    const float gamma = conversion.levels.fGamma;

    if (logFlag) {
        WriteDebugBitmap(policy, policy.beginBitmapPath, policy.beginBitmapError, pdev.pBufStart,
                         pdev.dwBufSize, pdev.bmInfoHeader.biWidth, pdev.bmInfoHeader.biHeight,
                         work.header.biBitCount);
    }
    CBmpProcessing bmpProcessing;
    if (gamma != 1.0f) bmpProcessing.SetColorLevelsData(&conversion.levels, 0);
    if (cfg.nBrightness != 0 || cfg.nContrast != 0)
        bmpProcessing.SetLightTable(cfg.nBrightness, cfg.nContrast);

    // Print mode 0 converts after scaling; every other mode converts first. Any mode but 0
    // converts first, so that no page reaches the halftoning still in colour.
    const bool convertFirst = cfg.sPaperMode != 0;
    const CropPlace cropPlace{HalftonesInPlace(policy, cfg), pdev.keptConversion};
    if (convertFirst) {
        const uint16_t limitDpi = policy.printModeOneLimit == ResolutionBasis::Output
                                      ? cfg.sOutputXDPI
                                      : static_cast<uint16_t>(dm.dmPrintQuality);
        if (!Convert(bmpProcessing, conversion, ConversionLimit(limitDpi), 1, work, rect,
                     cropPlace))
            return PipelineResult::Empty;
        w = static_cast<uint32_t>(rect.right - std::max(rect.left, 0) + 1);
        h = static_cast<uint32_t>(rect.bottom - std::max(rect.top, 0) + 1);
    }
    if (rect.right == rect.left || rect.bottom == rect.top) return PipelineResult::Empty;

    AutoRotate(cfg, work, rect, w, h);
    if (WidthLimited(policy, cfg)) {
        if (!FitWidth(bmpProcessing, cfg, work, rect, w, h) || w == 0 || h == 0)
            return PipelineResult::Empty;
    }
    if (!convertFirst) {
        const int16_t skipWhite = policy.paperModeZeroWhite == PaperModeZeroWhite::Cropped
                                      ? 1
                                      : static_cast<int16_t>(cfg.sSavePaper);
        if (!Convert(bmpProcessing, conversion,
                     ConversionLimit(static_cast<uint16_t>(dm.dmPrintQuality)), skipWhite, work,
                     rect, cropPlace)) {
            return PipelineResult::Empty;
        }
        w = static_cast<uint32_t>(rect.right - rect.left + 1);
        h = static_cast<uint32_t>(rect.bottom - rect.top + 1);
    }
    // The dots never extend past the converted image.
    w = std::min(w, static_cast<uint32_t>(work.header.biWidth));
    h = std::min(h, static_cast<uint32_t>(work.header.biHeight));
    if (work.header.biBitCount != 8 || w == 0 || h == 0) return PipelineResult::Empty;

    Halftone(policy, cfg, work, w, h, logFlag, pdev.pBufStart);
    if (cfg.sIsLineImaginary != 0) {
        const double runDpi =
            policy.solidRunLength == ResolutionBasis::Raster ? dm.dmPrintQuality : cfg.sOutputXDPI;
        DashSolidRuns(cfg, runDpi, work, w, h);
    }

    page.stride = work.Stride();
    if (work.owned != nullptr) {
        page.image.Own(std::move(work.owned));
    } else {
        page.image.Borrow(work.bits);
    }
    page.width = w;
    page.height = h;
    page.rect = rect;
    page.rotationCode = conversion.rotationCode;
    page.xShift = conversion.xShift;
    page.yShift = conversion.yShift;
    return PipelineResult::Ready;
}
