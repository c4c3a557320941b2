// Base64 decoding for the ZPL tests, written apart from the encoder under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> DecodeBase64(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | static_cast<uint32_t>(alphabet.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return out;
}
