// The data field of a ZPL graphic (~DG and ^GFA): Z64 (zlib stream in Base64 with a CRC),
// B64 (Base64 with a CRC) or ASCII hex with ZPL's run-length letters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Largest graphic the decoder takes, in bytes (one bit per dot, as large as a preview image).
constexpr uint64_t kMaxGraphicBytes = uint64_t{1} << 24;

struct GraphicData {
    std::vector<uint8_t> bytes;  // exactly the expected byte count when `error` is empty
    std::string encoding;        // "Z64", "B64" or "hex"
    std::string crc;             // "ok", "bad" or "none" (hex data carries no CRC)
    std::string error;           // empty when the data is sound
};

// Decodes `text` into `totalBytes` bytes with rows of `bytesPerRow` bytes (the rows matter to
// the run-length letters of hex data). Never reads outside `text`; a fault is named in `error`.
GraphicData DecodeGraphicData(std::string_view text, uint64_t totalBytes, uint32_t bytesPerRow);

// CRC-16 with polynomial 0x1021, initial value 0, no reflection (XMODEM), skipping spaces as
// the Z64 encoders do.
uint16_t Z64Crc(std::string_view base64);
