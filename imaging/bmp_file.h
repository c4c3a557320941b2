// Debug bitmap files: a page image written as a BMP file, only while a job's log is on.
#pragma once

#include <cstdint>

#include "imaging/bitmap_types.h"

// How long a row of a debug file is.
enum class BmpRowLength {
    AsInBuffer,     // the buffer's own row length (its size divided by its rows)
    PaddedToWords,  // the bitmap row length, padded with zeros to whole 32-bit words
};

// How the renderers lay out their debug files.
struct BmpFileLayout {
    BmpRowLength rowLength;
    int32_t pixelsPerMetre;
};

// Writes `data` (`length` bytes, `height` rows) as a BMP file of the given depth. The file is
// created with mode 0600 or emptied, and only ever written when it is a plain file of this
// user (see OpenOwnFile): anything else at the name is left alone, with a "DEBUG: " line on
// standard error. Returns false when the file could not be opened; `writeFailed` is set when
// it was opened but not completely written.
bool WriteBmpFile(const char* path, const uint8_t* data, uint32_t length, int width, int height,
                  int bits, const BmpFileLayout& layout, bool* writeFailed = nullptr);
