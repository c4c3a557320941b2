// CBmpProcessing: the page image pipeline every filter runs, one object per page.
//
// Buffers: operations that produce an image take `uint8_t** ppOut` and `uint32_t* pSize`.
// When *ppOut is null they allocate the result with malloc/calloc (the caller frees it)
// and store its size; otherwise they write into the caller's buffer after checking that
// *pSize is large enough, and fail (0/false) when it is not. Page images are rows
// top-down, DibStride() bytes apart; 24-bit pixels are blue, green, red.
#pragma once

#include <cstdint>

#include "imaging/bitmap_types.h"

struct YCbCrQUAD {
    int16_t Y;
    int16_t Cb;
    int16_t Cr;
};

// The receipt filter carries slightly different tone and conversion rules from the
// label filters; the variant is fixed when the object is made.
enum class BmpVariant { Label, Receipt };

class CBmpProcessing {
  public:
    explicit CBmpProcessing(BmpVariant variant = BmpVariant::Label);
    virtual ~CBmpProcessing() = default;
    CBmpProcessing(const CBmpProcessing&) = default;
    CBmpProcessing& operator=(const CBmpProcessing&) = default;

    BmpVariant Variant() const { return m_Variant; }

    // ---- Output conversion and geometry -------------------------------------------

    // Rotates, tone-maps and converts a page (8 or 24 bpp) to 8-bit grey. The label
    // variant crops to the printed content; the receipt variant keeps the frame.
    // Returns 1 when done (also for an empty result), 0 when the caller's buffer is too
    // small or the input is unusable.
    int32_t CoverBMP2OutputFormat(const uint8_t* pSrc, uint32_t dwSrcSize, uint8_t** ppOut,
                                  uint32_t* pdwOutSize, tagBITMAPINFOHEADER* pHeader,
                                  tagRECT* pRect, int32_t nOrientation, int32_t nXOffset,
                                  int32_t nYOffset, COLORLEVELSITEM levelsItem, bool bMirror,
                                  int32_t nBrightness, int32_t nContrast, int32_t nMaxOutputWidth,
                                  int16_t sSkipWhite);

    // Turns the pixels of `srcRect` (mode 0 anticlockwise, 1 half, 2 clockwise).
    static bool RotateImgData(const uint8_t* pSrc, uint32_t dwSrcSize, tagRECT srcRect,
                              tagBITMAPINFOHEADER* pHeader, int16_t sMode, uint8_t** ppOut,
                              uint32_t* pdwOutSize, tagRECT* pOutRect);

    // Breaks one horizontal black run into dashes of sBlack dots and gaps of sWhite dots.
    static int32_t ResetBlackLineData(uint8_t* pRun, uint32_t dwRunLength, int16_t sBlack,
                                      int16_t sWhite, int16_t sBitsPerPixel);

    static int32_t RemoveBlankEdge(const uint8_t* pSrc, uint32_t dwSrcSize,
                                   const tagBITMAPINFOHEADER* pHeader, uint8_t** ppOut,
                                   uint32_t* pdwOutSize, tagRECT* pRect);

    // Copies rectangle rows of an 8-bit image of `dwSrcWidth` pixels into a destination
    // whose pitch is the rectangle width rounded up to 8 bytes.
    static int32_t Copy8BitImgBitRect(const uint8_t* pSrc, uint32_t dwSrcWidth, uint8_t* pDst,
                                      const tagRECT* pRect);

    static int32_t ConvertTo8BppBMP(const uint8_t* pBitmap, uint32_t dwBitmapSize, uint8_t** ppOut,
                                    uint32_t* pdwOutSize);

    static wchar_t* TakeOffExtName(wchar_t* pszPath, bool bRemoveSeparator);

    // ---- Tone tables ----------------------------------------------------------------

    void InitColorLevelsData(int32_t nSlot);
    void InitColorLevelsTable(int32_t nSlot);
    void SetColorLevelsData(const COLORLEVELSITEM* pItem, int32_t nSlot);
    int32_t GetColorLevelsData(tagRGBQUAD color, tagRGBQUAD* pResult) const;
    void SetLightTable(int32_t nBrightness, int32_t nContrast);
    int32_t Light(uint8_t& red, uint8_t& green, uint8_t& blue, int32_t = 0, int32_t = 0) const;
    void AdjustBrightness(uint8_t** ppBuffer, uint32_t dwLength, tagRGBQUAD reference,
                          int32_t nBrightness, int32_t nContrast, int32_t nBitsPerPixel) const;
    static void AddAveragingCont(const tagRGBQUAD& color, float fWeight, float& red, float& green,
                                 float& blue, float& alpha);

    static void RGB2YCbCr(const tagRGBQUAD* pPixels, int64_t nCount, YCbCrQUAD* pOut,
                          int64_t nOutCount);
    static void YCbCr2RGB(const YCbCrQUAD* pIn, int64_t nCount, tagRGBQUAD* pPixels,
                          int64_t nOutCount);
    static int32_t AutoWhiteBalanceGrayWorld(const uint32_t* pSrc, int64_t nCount, uint32_t* pDst,
                                             int64_t nDstCount);
    static int32_t AutoWhiteBalancePerfectReflector(const uint32_t* pSrc, int64_t nCount,
                                                    uint32_t* pRef, int64_t nRefCount,
                                                    int32_t nPercentage);
    static int32_t AutoWhiteBalanceNovel(const uint32_t* pSrc, int64_t nCount, int64_t nWidth,
                                         int64_t nHeight, uint32_t* pDst, int64_t nDstCount);

    // ---- Halftoning and thresholds ---------------------------------------------------

    // Halftones an 8-bit grey image into `pDst` (same stride): 0 black, 255 white, or
    // swapped when bNegative. Methods 2 and 6 diffuse errors (method 2 into pSrc).
    // Returns 1; 0 only for null buffers.
    static int32_t Dither(int32_t nMethod, uint8_t* pSrc, uint8_t* pDst, uint32_t dwHeight,
                          uint32_t dwWidth, uint32_t dwStride, uint32_t dwSpare, bool bNegative);
    // Whether Dither may put the dots into the source itself (pDst == pSrc): the methods that
    // decide each dot from its own pixel (1, 3, 5 and 7 to 10).
    static bool DithersInPlace(int32_t nMethod);

    // Histogram threshold of a region (columns left..right-1, rows bottom..top-1);
    // the row pitch is dwSize / dwHeight. Returns 0..255 or -1.
    static int32_t OptimalThreshold(const uint8_t* pImage, uint32_t dwSize, uint32_t dwWidth,
                                    uint32_t dwHeight, int64_t nCriterion, const tagRECT* pRegion,
                                    const uint8_t* = nullptr, uint32_t = 0, uint32_t = 0,
                                    uint32_t = 0);

    // Thresholds each 64 x 64 tile halfway between its own and the page's threshold.
    static int32_t AdThresholdImgLocal(uint32_t dwWidth, uint32_t dwHeight, uint32_t dwBitsPerPixel,
                                       uint32_t dwStride, const uint8_t* pSrc, uint32_t dwSrcSize,
                                       uint8_t** ppDst, uint32_t* pdwDstSize, bool bNegative,
                                       bool bSpare);

    // ---- Resampling -------------------------------------------------------------------

    // Enlarges (nearest neighbour) or area-averages a page into *ppDst, whose pitch is
    // dwDstSize / dwDstHeight; 24-bit sources give 24-bit results, others grey bytes.
    int32_t InvoicResampleImg2(uint32_t dwSrcWidth, uint32_t dwSrcHeight, uint32_t dwSrcBpp,
                               uint32_t dwSrcStride, const uint8_t* pSrc, uint32_t dwDstWidth,
                               uint32_t dwDstHeight, uint32_t dwDstBpp, uint8_t** ppDst,
                               uint32_t dwDstSize, tagColorCFG colorCfg, int32_t nSpare,
                               tagRECT spareRect);

    // Shrinks by integer box averaging; an optional second image is shrunk alongside.
    int32_t InvoicQIShrinkImg2(uint32_t dwSrcWidth, uint32_t dwSrcHeight, uint32_t dwSrcBpp,
                               uint32_t dwSrcStride, const uint8_t* pSrc, const uint8_t* pSrc2,
                               uint32_t dwDstWidth, uint32_t dwDstHeight, uint32_t dwDstBpp,
                               uint8_t** ppDst, uint8_t** ppDst2, uint32_t dwDstSize,
                               tagColorCFG colorCfg, tagColorCFG colorCfg2, tagRECT keepRect);
    int32_t InvoicQIShrinkImg(uint32_t dwSrcWidth, uint32_t dwSrcHeight, uint32_t dwSrcBpp,
                              uint32_t dwSrcStride, const uint8_t* pSrc, const uint8_t* pSrc2,
                              uint32_t dwDstWidth, uint32_t dwDstHeight, uint32_t dwDstBpp,
                              uint8_t** ppDst, uint8_t** ppDst2, uint32_t dwDstSize,
                              tagColorCFG colorCfg, tagColorCFG colorCfg2, tagRECT keepRect);

    // Sampling primitives over the image stored by the last resampling call (or by
    // SetSamplingSource). Coordinates put pixel centres at integers.
    void SetSamplingSource(const uint8_t* pBits, uint32_t dwWidth, uint32_t dwHeight,
                           uint32_t dwBitsPerPixel, uint32_t dwStride);
    tagRGBQUAD GetPixelColorWithOverflow(int32_t x, int32_t y, int32_t nOverflowMethod,
                                         const tagRGBQUAD* pBackground = nullptr) const;
    void OverflowCoordinates(int32_t& x, int32_t& y, int32_t nOverflowMethod) const;
    tagRGBQUAD GetPixelColorInterpolated(float x, float y, int32_t nInterpolationMethod,
                                         int32_t nOverflowMethod,
                                         const tagRGBQUAD* pBackground = nullptr) const;
    tagRGBQUAD GetAreaColorInterpolated(float xCentre, float yCentre, float fWidth, float fHeight,
                                        int32_t nInterpolationMethod, int32_t nOverflowMethod,
                                        const tagRGBQUAD* pBackground = nullptr) const;

    // ---- Read access to the tone state ------------------------------------------------

    const COLORLEVELSITEM& LevelsItem(int slot) const { return m_LevelsItem[slot & 3]; }
    const uint8_t* LevelsTable(int slot) const { return m_LevelsTable[slot & 3]; }
    bool LevelsReady(int slot) const { return m_LevelsReady[slot & 3] != 0; }
    const uint16_t* LightTable() const { return m_LightTable; }

  private:
    void ComputeLevelsTable(int slot, const COLORLEVELSITEM& item);
    void ResetSlot(int slot, bool clearReady);
    // Applies Light (when asked) and table slot 0 to a sampled colour, as the scaling
    // operations do on their way to the destination.
    void ToneColour(tagRGBQUAD& c, const tagColorCFG& cfg) const;
    tagRGBQUAD ReadPixel(int32_t x, int32_t y) const;

    COLORLEVELSITEM m_LevelsItem[4];
    uint8_t m_LevelsTable[4][256];
    uint8_t m_LevelsReady[4];
    uint16_t m_LightTable[256];
    tagBITMAPINFOHEADER m_SrcHeader;
    uint32_t m_SrcStride;
    const uint8_t* m_SrcBits;
    BmpVariant m_Variant;
};
