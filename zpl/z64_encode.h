// Z64 graphic encoding: a packed one-bit graphic as a complete ZPL "~DG" download command
// whose data is the Base64 text of a zlib stream followed by a CRC-16 of that text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zpl/graphic_deflate.h"

// One encoder serves a whole job: the compressor's tables and the stream buffer made for the
// first page are kept for the pages after it.
class CZB64Encode {
  public:
    // Builds the download text. When *text is null on entry it is allocated with malloc
    // (exactly the text's length, no terminating zero) and *textLength receives the length;
    // otherwise *textLength is the capacity of *text and the text is written in when it fits.
    // Returns the text's length, or 0 when nothing was produced. Only mode 0 (Z64) exists.
    uint32_t EncodeZB64(const uint8_t* data, uint32_t length, int16_t mode, char** text,
                        uint32_t* textLength, uint32_t bytesPerRow, const char* name, bool flash);

    // Compression in the zlib format, of bytes without rows. Returns the compressed length, 0 on
    // failure (also when the stream does not fit the destination).
    int LZcompress(const uint8_t* source, uint8_t* destination, int sourceLength,
                   int destinationCapacity);
    // Base64 text of the source, standard alphabet with "=" padding, followed by a zero byte.
    void EncodeBase64(const uint8_t* source, char* destination, int sourceLength);
    // Writes k + 2 Base64 characters of a group of k + 1 bytes, then "=" up to four characters.
    void Encode_char(uint32_t group, int k, char* destination, int position);
    // CRC-16 (polynomial 0x1021, no reflection) over the text, spaces skipped.
    uint16_t CRC16_ZB64(const char* data, uint32_t length, uint16_t start);

  private:
    // Base64 text of the source without a terminating zero; returns the characters written.
    size_t WriteBase64(const uint8_t* source, size_t sourceLength, char* destination);

    GraphicDeflater m_deflater;
    std::unique_ptr<uint8_t[]> m_stream;  // the zlib stream of the page being encoded
    size_t m_streamCapacity = 0;
};
