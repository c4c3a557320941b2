#include "pos/mox_escp.h"

#include <algorithm>

#include "pos/threshold_tables.h"

namespace {

struct Matrix {
    const uint8_t* entries;  // n x n, row-major
    uint32_t n;
};

Matrix MatrixFor(Halfton pattern) {
    switch (pattern) {
        case Halfton::Supercell:
            return {&mx_pos::kSupercell[0][0], 16};
        case Halfton::Matrix6x6:
            return {&mx_pos::kMatrix6x6[0][0], 6};
        case Halfton::Matrix8x8:
            return {&mx_pos::kMatrix8x8[0][0], 8};
        case Halfton::Fixed:
            break;
    }
    return {&mx_pos::kFixedThreshold, 1};
}

// Packs one grey row into dots against one matrix row, repeated across the width.
void DitherRow(const uint8_t* grey, uint32_t width, const uint8_t* thresholds, uint32_t n,
               uint8_t* out) {
    uint32_t column = 0;  // position within the matrix row
    for (uint32_t x = 0; x < width; x += 8) {
        const uint32_t end = std::min(width, x + 8);
        uint8_t byte = 0;
        for (uint32_t i = x; i < end; ++i) {
            byte |= static_cast<uint8_t>(grey[i] < thresholds[column]) << (7 - (i - x));
            if (++column == n) column = 0;
        }
        out[x / 8] = byte;
    }
}

bool IsBlank(const uint8_t* row, size_t bytes) {
    return std::all_of(row, row + bytes, [](uint8_t b) { return b == 0; });
}

// GS v 0 carries the bytes per row in two bytes.
constexpr size_t kMaxBytesPerRow = 0xFFFF;

}  // namespace

int MoxESCP::Gray2DotMatrix(std::span<const uint8_t> pixels, uint32_t stride, uint32_t width,
                            uint32_t height, std::span<uint8_t> bits, Halfton pattern) {
    if (pixels.data() == nullptr || bits.empty() || width > stride) return -1;
    if (height == 0) return 1;
    const size_t rowBytes = BitRowBytes(stride);
    if (pixels.size() < size_t{stride} * (height - 1) + width || bits.size() < rowBytes * height)
        return -1;
    const Matrix m = MatrixFor(pattern);
    for (uint32_t y = 0; y < height; ++y) {
        DitherRow(pixels.data() + size_t{y} * stride, width, m.entries + (y % m.n) * m.n, m.n,
                  bits.data() + y * rowBytes);
    }
    return 1;
}

int MoxESCP::DotMatrix2Page(std::span<const uint8_t> bits, uint32_t stride, uint32_t width,
                            uint32_t height) {
    const size_t k = BitRowBytes(stride);
    if (bits.data() == nullptr || bits.size() < k * height || k > kMaxBytesPerRow ||
        m_linesPerRow == 0) {
        return -1;
    }
    m_printerData.clear();
    // The bytes that cover the page's columns decide whether a row is blank.
    const size_t used = std::min<size_t>((size_t{width} + 7) / 8, k);
    uint32_t pending = 0;  // blank rows not yet fed
    for (uint32_t r = 0; r < height;) {
        if (IsBlank(bits.data() + r * k, used)) {
            ++pending;
            ++r;
            continue;
        }
        AddVertical(pending);
        pending = 0;
        const uint32_t left = height - r;
        if (left < m_linesPerRow) {
            m_linesPerRow = static_cast<uint8_t>(left);
            AddGraphic(bits.subspan(r * k, k * left), static_cast<uint32_t>(k));
            break;
        }
        AddGraphic(bits.subspan(r * k, k * m_linesPerRow), static_cast<uint32_t>(k));
        r += m_linesPerRow;
    }
    return 1;
}

int MoxESCP::DotMatrixPrint(std::span<const uint8_t> bits, uint32_t stride, uint32_t /*unused*/,
                            uint32_t height) {
    const size_t k = BitRowBytes(stride);
    if (bits.data() == nullptr || bits.size() < k * height || k > kMaxBytesPerRow ||
        m_linesPerRow == 0) {
        return -1;
    }
    m_printerData.clear();
    if (k == 0) return 1;
    for (uint32_t b = 0; b < height; b += m_linesPerRow) {
        const uint32_t left = height - b;
        if (left < m_linesPerRow) {
            m_linesPerRow = static_cast<uint8_t>(left);
            AddGraphic(bits.subspan(b * k, k * left), static_cast<uint32_t>(k));
            break;
        }
        AddGraphic(bits.subspan(b * k, k * m_linesPerRow), static_cast<uint32_t>(k));
    }
    return 1;
}

bool MoxESCP::AddGraphic(std::span<const uint8_t> band, uint32_t bytesPerRow) {
    const size_t size = size_t{bytesPerRow} * m_linesPerRow;
    if (bytesPerRow > kMaxBytesPerRow || band.size() < size) return false;
    const uint8_t command[] = {0x1B,
                               0x24,
                               0x00,
                               0x00,  // ESC $: print position 0
                               0x1D,
                               0x76,
                               0x30,
                               0x00,  // GS v 0, normal size
                               static_cast<uint8_t>(bytesPerRow & 0xFF),
                               static_cast<uint8_t>(bytesPerRow >> 8),
                               m_linesPerRow,
                               0x00};
    m_printerData.insert(m_printerData.end(), std::begin(command), std::end(command));
    m_printerData.insert(m_printerData.end(), band.begin(), band.begin() + static_cast<long>(size));
    return true;
}

void MoxESCP::AddVertical(uint32_t rows) {
    if (rows == 0 || m_dpiY <= 0 || m_verticalUnit <= 0) return;
    uint64_t units =
        uint64_t{rows} * static_cast<uint64_t>(m_verticalUnit) / static_cast<uint64_t>(m_dpiY);
    for (; units > 254; units -= 255) m_printerData.insert(m_printerData.end(), {0x1B, 0x4A, 0xFF});
    if (units > 0)
        m_printerData.insert(m_printerData.end(), {0x1B, 0x4A, static_cast<uint8_t>(units)});
}

int MoxESCP::Char2Num(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A stray first character counts as F; a stray second one as -1 (taking one off the byte).
uint8_t MoxESCP::HexToNum(const char* pair) {
    const int high = Char2Num(pair[0]);
    const int low = Char2Num(pair[1]);
    return static_cast<uint8_t>(((high < 0 ? 0xF : high) << 4) + low);
}

void MoxESCP::SequenceToByte(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    bytes.reserve(text.size() / 4 + 1);
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '<') {
            bytes.push_back(static_cast<uint8_t>(text[i++]));
            continue;
        }
        ++i;
        // Pairs up to the closing bracket; a lone last character carries no byte.
        while (i < text.size() && text[i] != '>') {
            if (i + 1 < text.size() && text[i + 1] != '>') {
                bytes.push_back(HexToNum(text.data() + i));
                i += 2;
            } else {
                ++i;
            }
        }
        if (i < text.size()) ++i;  // the closing bracket
    }
}
