#include "zpl/z64_encode.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// CRC-16/XMODEM, one byte at a time from a table.
struct CrcTable {
    uint16_t entries[256];
    constexpr CrcTable() : entries() {
        for (int byte = 0; byte < 256; ++byte) {
            uint16_t crc = static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            }
            entries[byte] = crc;
        }
    }
};
constexpr CrcTable kCrcTable;

constexpr size_t Base64Length(size_t n) {
    return 4 * ((n + 2) / 3);
}

// Graphics beyond this size are refused: their text would not fit a 32-bit length.
constexpr uint32_t kMaxGraphicBytes = 1u << 30;
// ":" and the CRC's four hexadecimal digits, then "\r\n".
constexpr size_t kTailLength = 7;

// The text before the data, "~DGR:SSGFX000.GRF,<total>,<bytes per row>,:Z64:", with the given
// name in place of the object name and "~DGE:" for flash storage. Returns its length like
// snprintf, whose terminating zero the data that follows overwrites.
int WriteHead(char* out, size_t capacity, uint32_t length, uint32_t bytesPerRow, const char* name,
              bool flash) {
    return std::snprintf(out, capacity, "~DG%c:%s,%u,%u,:Z64:", flash ? 'E' : 'R',
                         name != nullptr ? name : "SSGFX000.GRF", length, bytesPerRow);
}

void WriteTail(char* out, uint16_t crc) {
    constexpr char kHex[] = "0123456789abcdef";
    out[0] = ':';
    for (int i = 0; i < 4; ++i) out[1 + i] = kHex[(crc >> (12 - 4 * i)) & 0xF];
    out[5] = '\r';
    out[6] = '\n';
}

}  // namespace

int CZB64Encode::LZcompress(const uint8_t* source, uint8_t* destination, int sourceLength,
                            int destinationCapacity) {
    if (source == nullptr || destination == nullptr || sourceLength < 0 || destinationCapacity <= 0)
        return 0;
    return static_cast<int>(m_deflater.Compress(source, size_t(sourceLength), 0, destination,
                                                size_t(destinationCapacity)));
}

void CZB64Encode::Encode_char(uint32_t group, int k, char* destination, int position) {
    group <<= 8 * (2 - k);  // a short group is aligned to the top of the 24 bits
    char* out = destination + position;
    int i = 0;
    for (; i < k + 2; ++i) out[i] = kAlphabet[(group >> (18 - 6 * i)) & 0x3F];
    for (; i < 4; ++i) out[i] = '=';
}

size_t CZB64Encode::WriteBase64(const uint8_t* source, size_t sourceLength, char* destination) {
    size_t out = 0;
    size_t i = 0;
    for (; i + 3 <= sourceLength; i += 3, out += 4) {
        Encode_char(uint32_t{source[i]} << 16 | source[i + 1] << 8 | source[i + 2], 2, destination,
                    static_cast<int>(out));
    }
    const size_t rest = sourceLength - i;
    if (rest == 2) {
        Encode_char(uint32_t{source[i]} << 8 | source[i + 1], 1, destination,
                    static_cast<int>(out));
        out += 4;
    } else if (rest == 1) {
        Encode_char(source[i], 0, destination, static_cast<int>(out));
        out += 4;
    }
    return out;
}

void CZB64Encode::EncodeBase64(const uint8_t* source, char* destination, int sourceLength) {
    if (destination == nullptr) return;
    const bool empty = source == nullptr || sourceLength < 1;
    destination[empty ? 0 : WriteBase64(source, size_t(sourceLength), destination)] = '\0';
}

uint16_t CZB64Encode::CRC16_ZB64(const char* data, uint32_t length, uint16_t start) {
    uint16_t crc = start;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = static_cast<uint8_t>(data[i]);
        if (byte == ' ') continue;
        crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable.entries[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

uint32_t CZB64Encode::EncodeZB64(const uint8_t* data, uint32_t length, int16_t mode, char** text,
                                 uint32_t* textLength, uint32_t bytesPerRow, const char* name,
                                 bool flash) {
    if (data == nullptr || length == 0 || mode != 0 || text == nullptr || textLength == nullptr)
        return 0;
    if (length > kMaxGraphicBytes) return 0;
    // The stream always fits the compressor's worst case, kept from earlier pages when large
    // enough; its bytes are written before they are read.
    const size_t bound = GraphicDeflater::Bound(length);
    if (bound > m_streamCapacity) {
        m_stream.reset(new (std::nothrow) uint8_t[bound]);
        m_streamCapacity = m_stream ? bound : 0;
    }
    const int n = static_cast<int>(
        m_deflater.Compress(data, length, bytesPerRow, m_stream.get(), m_streamCapacity));
    const int head = WriteHead(nullptr, 0, length, bytesPerRow, name, flash);
    if (n <= 0 || head < 0) return 0;
    const uint64_t size = uint64_t(head) + Base64Length(size_t(n)) + kTailLength;
    if (size > UINT32_MAX) return 0;

    // The text is written once, straight into the buffer the caller receives.
    char* out = *text;
    if (out == nullptr) {
        out = static_cast<char*>(std::malloc(size));
        if (out == nullptr) return 0;
    } else if (*textLength < size) {
        return 0;
    }
    WriteHead(out, size_t(head) + 1, length, bytesPerRow, name, flash);
    char* base64 = out + head;
    const size_t characters = WriteBase64(m_stream.get(), size_t(n), base64);
    WriteTail(base64 + characters, CRC16_ZB64(base64, static_cast<uint32_t>(characters), 0));
    if (*text == nullptr) {
        *text = out;
        *textLength = static_cast<uint32_t>(size);
    }
    return static_cast<uint32_t>(size);
}
