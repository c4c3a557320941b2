// QR code matrices from libqrencode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct QrMatrix {
    int size = 0;               // modules per side, without the quiet zone
    std::vector<uint8_t> dark;  // size x size, row by row, 1 = dark module

    bool Dark(int x, int y) const { return dark[size_t(y) * size_t(size) + size_t(x)] != 0; }
};

// Byte-mode QR code at error correction level M; nullopt when the text does not fit a code.
std::optional<QrMatrix> MakeQrCode(const std::string& text);
