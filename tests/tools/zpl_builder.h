// Builds ZPL test streams by hand, independent of the decoder's own code: zlib's compress, a
// Base64 encoder and a bit-serial CRC-16/XMODEM of the test's own.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace zpltest {

inline std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? bytes[i + k] : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// Polynomial division over the message bits, most significant bit first.
inline uint16_t Crc16Xmodem(const std::string& text) {
    uint16_t crc = 0;
    for (unsigned char c : text) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 15) & 1) != ((c >> bit) & 1);
            crc = uint16_t(crc << 1);
            if (top) crc ^= 0x1021;
        }
    }
    return crc;
}

inline std::vector<uint8_t> Compress(const std::vector<uint8_t>& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::vector<uint8_t> out(size);
    if (compress(out.data(), &size, bytes.data(), uLong(bytes.size())) != Z_OK)
        throw std::runtime_error("compress");
    out.resize(size);
    return out;
}

inline std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value);
    return text;
}

// ":Z64:<base64 of the zlib stream>:<crc>"
inline std::string Z64Field(const std::vector<uint8_t>& bytes) {
    const std::string text = Base64(Compress(bytes));
    return ":Z64:" + text + ":" + Hex4(Crc16Xmodem(text));
}

inline std::string HexField(const std::vector<uint8_t>& bytes) {
    std::string out;
    char pair[4];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof(pair), "%02X", b);
        out += pair;
    }
    return out;
}

// Rows of '#' (dot printed) and '.', packed most significant bit first.
inline std::vector<uint8_t> PackArt(const std::vector<std::string>& art, uint32_t bytesPerRow) {
    std::vector<uint8_t> bytes(art.size() * bytesPerRow, 0);
    for (size_t y = 0; y < art.size(); ++y) {
        for (size_t x = 0; x < art[y].size() && x < bytesPerRow * 8u; ++x) {
            if (art[y][x] == '#') bytes[y * bytesPerRow + x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    }
    return bytes;
}

inline std::string Download(const std::string& name, const std::vector<uint8_t>& bytes,
                            uint32_t bytesPerRow, const std::string& field) {
    return "~DG" + name + "," + std::to_string(bytes.size()) + "," + std::to_string(bytesPerRow) +
           "," + field + "\r\n";
}

// The filter's per-page sequence: label size format, the label block L(q, p, r), the delete.
inline std::string SizeFormat(int width, int length) {
    return "^XA\r\n^PW" + std::to_string(width) + "\r\n^LL" + std::to_string(length) +
           "\r\n^XZ\r\n";
}

inline std::string LabelBlock(int x, int y, int q, int p, int r) {
    return "^XA\r\n^FO" + std::to_string(x) + "," + std::to_string(y) +
           "\r\n^XGR:SSGFX000.GRF,1,1^FS\r\n^PQ" + std::to_string(q) + "," + std::to_string(p) +
           "," + std::to_string(r) + ",Y^XZ\r\n";
}

inline std::string DeleteFormat() {
    return "^XA\r\n^IDR:SSGFX000.GRF^XZ\r\n";
}

// The set-up format of the filter's documented example.
inline std::string StartDocExample() {
    return "^XA\r\n^SZ2^JMA^MCY^PMN^MNW^LH0,0^LRN^MTT\r\n^PON^MMC\r\n^JZN\r\n~JSN\r\n^JUS~SD15\r\n^"
           "XZ\r\n";
}

}  // namespace zpltest
