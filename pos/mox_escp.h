// MoxESCP: turns an 8-bit grey page into ESC/POS raster graphics. The page is dithered into
// dots, cut into bands of `m_linesPerRow` rows, each sent as one GS v 0 command; with blank-row
// skipping, runs of blank rows become ESC J paper feeds instead. The bytes stay in the object
// until the caller copies them out. It also converts the bracket notation of the command
// tables ("<1B><4A><00>") into bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Halftone patterns: a fixed threshold or an ordered-dither matrix.
enum class Halfton : int {
    Fixed = 0,      // threshold 195
    Supercell = 1,  // 16 x 16
    Matrix6x6 = 2,
    Matrix8x8 = 3,
};

class MoxESCP {
  public:
    void SetDpiX(int dpi) { m_dpiX = dpi; }
    void SetDpiY(int dpi) { m_dpiY = dpi; }
    void SetLinesPerRow(uint8_t lines) { m_linesPerRow = lines; }
    void SetVerticalUnit(int unitsPerInch) { m_verticalUnit = unitsPerInch; }
    int DpiX() const { return m_dpiX; }
    int DpiY() const { return m_dpiY; }
    uint8_t LinesPerRow() const { return m_linesPerRow; }
    int VerticalUnit() const { return m_verticalUnit; }

    // The graphics commands built for the current page.
    const std::vector<uint8_t>& PrinterData() const { return m_printerData; }
    void ClearPrinterData() { m_printerData.clear(); }

    // Bytes per row of a dot buffer built from grey rows `stride` bytes apart.
    static size_t BitRowBytes(uint32_t stride) { return (size_t{stride} + 7) / 8; }

    // Dithers grey rows (255 white) into `bits`, one row every BitRowBytes(stride) bytes, most
    // significant bit first, a set bit printing black. Returns -1 when there are no pixels,
    // `bits` is empty or either buffer is too small for the page; else 1.
    static int Gray2DotMatrix(std::span<const uint8_t> pixels, uint32_t stride, uint32_t width,
                              uint32_t height, std::span<uint8_t> bits, Halfton pattern);

    // Builds the page's bands, feeding over blank rows; blank rows after the last band give
    // nothing. Returns -1 when there is no dot buffer or it is too small; else 1.
    int DotMatrix2Page(std::span<const uint8_t> bits, uint32_t stride, uint32_t width,
                       uint32_t height);
    // Builds bands for every row; the third argument is not used.
    int DotMatrixPrint(std::span<const uint8_t> bits, uint32_t stride, uint32_t unused,
                       uint32_t height);

    // Appends one band: ESC $ 0 0, then GS v 0 with `bytesPerRow` x m_linesPerRow bytes of
    // `band`. False (nothing appended) when the band is too short or a row is too long for
    // the command.
    bool AddGraphic(std::span<const uint8_t> band, uint32_t bytesPerRow);
    // Appends ESC J feeds over `rows` rows of the page.
    void AddVertical(uint32_t rows);

    // Bracket notation: characters outside brackets are bytes as they stand; inside "<...>"
    // every two characters are one byte in hexadecimal. Replaces the content of `bytes`.
    static void SequenceToByte(std::string_view text, std::vector<uint8_t>& bytes);
    // One byte from two hexadecimal characters; see the definition for stray characters.
    static uint8_t HexToNum(const char* pair);
    // 0..15 for a hexadecimal digit (either case), -1 for anything else.
    static int Char2Num(char c);

  private:
    int m_verticalUnit = 203;
    std::vector<uint8_t> m_printerData;
    int m_dpiX = 203;
    int m_dpiY = 203;
    uint8_t m_linesPerRow = 24;
};
