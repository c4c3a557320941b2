// Packing halftoned dots (one byte per dot, 255 blank) into a printer's one-bit rows,
// most significant bit first.
#pragma once

#include <cstdint>

// Packs `count` dots into `row` (`rowBytes` long, already filled with the blank bit value)
// starting at bit `firstBit`. A printed dot sets its bit when `printedIsOne`, else clears it.
// `reversed` reads the dots from the right end. Bits past the row's end are dropped.
void PackDotRow(const uint8_t* dots, uint32_t count, uint8_t* row, uint32_t rowBytes,
                uint32_t firstBit, bool printedIsOne, bool reversed);
