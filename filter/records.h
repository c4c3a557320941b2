// Device mode and page device records, filled once per job from the first page header.
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "imaging/bitmap_types.h"
#include "imaging/malloc_buffer.h"

struct _DEVMODE {
    int16_t dmOrientation;   // 1 portrait, 2 landscape
    int16_t dmPrintQuality;  // horizontal dpi
    int16_t dmYResolution;   // vertical dpi
    int16_t dmCollate;
};

struct tagPOINTL {
    int32_t x;
    int32_t y;
};

struct tagSIZEL {
    int32_t cx;
    int32_t cy;
};

// Device geometry of the page, in raster dots.
struct GDIINFO {
    uint32_t ulVertRes;
    tagPOINTL ptlPhysOffset;
    tagSIZEL szlPhysSize;
};

struct _OEMPDEV {
    // Current page image (24-bit BGR rows, top row first) or null. Once a renderer has
    // converted it, the buffer may hold that page's halftoned dots instead.
    uint8_t* pBufStart;
    uint32_t dwBufSize;
    tagBITMAPINFOHEADER bmInfoHeader;  // describes the image in pBufStart
    GDIINFO srcGdiInfo;
    uint32_t dwCurPageNum;   // page being handed to the renderer
    uint16_t sCurCopies;     // copies requested for the job
    uint32_t dwPagePrinted;  // labels printed so far in the job
    uint32_t dwLabelWidth;   // output dots, as last sent to the printer
    uint32_t dwLabelHeight;  // output dots, as last sent to the printer
    // The job's buffer for the converted page, kept from page to page so that no page maps
    // fresh memory for it; null where each page's conversion allocates its own.
    MallocBuffer* keptConversion;
};

void InitDevmode(_DEVMODE* devMode, const cups_page_header2_t* header);
void InitOemPDEV(_OEMPDEV* pdev, const cups_page_header2_t* header);
