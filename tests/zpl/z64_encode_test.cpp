#include "zpl/z64_encode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/zpl/base64_decode.h"
#include "tools/zpldecode/graphic_data.h"

namespace {

// Independent of the encoder: a plain bitwise CRC-16/XMODEM and a Base64 decoder.
uint16_t ReferenceCrc(const std::string& text) {
    uint16_t crc = 0;
    for (unsigned char c : text) {
        crc ^= static_cast<uint16_t>(c << 8);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

struct Download {
    std::string head;
    std::string base64;
    std::string crc;
    std::string tail;
};

Download Split(const std::string& text) {
    const size_t data = text.find(":Z64:") + 5;
    const size_t crc = text.find(':', data);
    return {text.substr(0, data), text.substr(data, crc - data), text.substr(crc + 1, 4),
            text.substr(crc + 5)};
}

std::string Encode(const std::vector<uint8_t>& data, uint32_t bytesPerRow,
                   const char* name = nullptr, bool flash = false) {
    CZB64Encode encoder;
    char* text = nullptr;
    uint32_t length = 0;
    const uint32_t produced = encoder.EncodeZB64(data.data(), static_cast<uint32_t>(data.size()), 0,
                                                 &text, &length, bytesPerRow, name, flash);
    EXPECT_EQ(produced, length);
    std::string result(text, produced);
    std::free(text);
    return result;
}

std::vector<uint8_t> Graphic(size_t size, unsigned seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>((i * 131 + seed * 7) ^ (i >> 3));
    return data;
}

std::vector<uint8_t> Noise(size_t size) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(size);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    return data;
}

// Rows of `bytesPerRow` bytes, each made by `row(y)`.
template <typename Row>
std::vector<uint8_t> Rows(uint32_t bytesPerRow, uint32_t rows, Row row) {
    std::vector<uint8_t> data;
    for (uint32_t y = 0; y < rows; ++y) {
        const std::vector<uint8_t> r = row(y);
        data.insert(data.end(), r.begin(), r.end());
        data.resize(size_t{bytesPerRow} * (y + 1), 0);
    }
    return data;
}

TEST(Z64EncodeTest, GraphicsRoundTripThroughZlibAndTheDecoder) {
    struct Case {
        const char* shape;
        uint32_t bytesPerRow;
        std::vector<uint8_t> data;
    };
    const std::vector<Case> cases = {
        {"one byte", 1, {0x80}},
        // Buffers grow for the large page and are reused for the smaller ones after it.
        {"large page, short runs", 300,
         Rows(300, 3600,
              [](uint32_t y) {
                  return y % 2 ? Graphic(300, y) : std::vector<uint8_t>(y % 300, 0x0F);
              })},
        {"empty rows between lines", 12,
         Rows(12, 40,
              [](uint32_t y) {
                  return y % 8 == 3 ? std::vector<uint8_t>(12, 0xFF) : std::vector<uint8_t>{};
              })},
        {"full black 4x6 page", 102, std::vector<uint8_t>(102 * 1218, 0xFF)},
        {"small text", 12, Graphic(1200, 1)},
        {"large page of noise, stored rather than compressed", 300, Noise(300 * 3600)},
    };
    CZB64Encode encoder;  // one encoder for all, as for the pages of a job
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        char* slot = nullptr;
        uint32_t length = 0;
        const uint32_t produced =
            encoder.EncodeZB64(c.data.data(), static_cast<uint32_t>(c.data.size()), 0, &slot,
                               &length, c.bytesPerRow, nullptr, false);
        ASSERT_EQ(produced, length);
        const std::string text(slot, produced);
        std::free(slot);
        const Download d = Split(text);
        EXPECT_EQ(d.head, "~DGR:SSGFX000.GRF," + std::to_string(c.data.size()) + "," +
                              std::to_string(c.bytesPerRow) + ",:Z64:");
        EXPECT_EQ(d.tail, "\r\n");
        EXPECT_EQ(text.find('\n'), text.size() - 1) << "no line breaks inside the data";
        char expectedCrc[8];
        std::snprintf(expectedCrc, sizeof(expectedCrc), "%04x", ReferenceCrc(d.base64));
        EXPECT_EQ(d.crc, expectedCrc);

        const std::vector<uint8_t> stream = DecodeBase64(d.base64);
        std::vector<uint8_t> inflated(c.data.size() + 16);
        uLongf inflatedSize = inflated.size();
        ASSERT_EQ(uncompress(inflated.data(), &inflatedSize, stream.data(), stream.size()), Z_OK);
        inflated.resize(inflatedSize);
        EXPECT_EQ(inflated, c.data);

        std::string_view field = std::string_view(text).substr(d.head.size() - 5);  // ":Z64:..."
        field.remove_suffix(2);
        const GraphicData decoded = DecodeGraphicData(field, c.data.size(), c.bytesPerRow);
        EXPECT_EQ(decoded.error, "");
        EXPECT_EQ(decoded.crc, "ok");
        EXPECT_EQ(decoded.bytes, c.data);
    }
}

TEST(Z64EncodeTest, BlankGraphicCompressesButKeepsItsFullCount) {
    const std::string text = Encode(std::vector<uint8_t>(100000, 0), 125);
    EXPECT_EQ(Split(text).head, "~DGR:SSGFX000.GRF,100000,125,:Z64:");
    EXPECT_LT(text.size(), 400u);
}

TEST(Z64EncodeTest, NamesAndFlashStorage) {
    const std::vector<uint8_t> graphic = Graphic(16, 2);
    EXPECT_EQ(Encode(graphic, 2, nullptr, true).rfind("~DGE:SSGFX000.GRF,16,2,:Z64:", 0), 0u);
    EXPECT_EQ(Encode(graphic, 2, "LOGO.GRF", false).rfind("~DGR:LOGO.GRF,16,2,:Z64:", 0), 0u);
    EXPECT_EQ(Encode(graphic, 2, "LOGO.GRF", true).rfind("~DGE:LOGO.GRF,16,2,:Z64:", 0), 0u);
    // Only the head differs between the storage devices.
    EXPECT_EQ(Encode(graphic, 2, nullptr, true).substr(5), Encode(graphic, 2).substr(5));
}

TEST(Z64EncodeTest, CrcIsAlwaysFourLowerCaseDigits) {
    // Look for graphics whose CRC has a leading zero digit and letters.
    bool leadingZero = false;
    for (unsigned seed = 0; seed < 400 && !leadingZero; ++seed) {
        const Download d = Split(Encode(Graphic(40, seed), 4));
        ASSERT_EQ(d.crc.size(), 4u);
        EXPECT_EQ(d.crc.find_first_not_of("0123456789abcdef"), std::string::npos) << d.crc;
        leadingZero = d.crc[0] == '0';
    }
    EXPECT_TRUE(leadingZero);
}

TEST(Z64EncodeTest, Base64PaddingFollowsTheGroupSize) {
    CZB64Encode encoder;
    char out[16];
    const uint8_t man[] = {'M', 'a', 'n'};
    encoder.EncodeBase64(man, out, 3);
    EXPECT_STREQ(out, "TWFu");
    encoder.EncodeBase64(man, out, 2);
    EXPECT_STREQ(out, "TWE=");
    encoder.EncodeBase64(man, out, 1);
    EXPECT_STREQ(out, "TQ==");
    encoder.EncodeBase64(man, out, 0);
    EXPECT_STREQ(out, "");
}

TEST(Z64EncodeTest, CrcOfTheCheckString) {
    CZB64Encode encoder;
    EXPECT_EQ(encoder.CRC16_ZB64("123456789", 9, 0), 0x31c3);
    EXPECT_EQ(encoder.CRC16_ZB64("1234 5678 9", 11, 0), 0x31c3) << "spaces are not counted";
    EXPECT_EQ(encoder.CRC16_ZB64("", 0, 0x1234), 0x1234);
}

TEST(Z64EncodeTest, CallerBufferMustHoldTheText) {
    const std::vector<uint8_t> graphic = Graphic(64, 3);
    const std::string expected = Encode(graphic, 8);
    CZB64Encode encoder;
    std::vector<char> buffer(expected.size() + 1, '#');  // one guard byte past the capacity
    char* slot = buffer.data();
    uint32_t capacity = static_cast<uint32_t>(expected.size()) - 1;
    EXPECT_EQ(encoder.EncodeZB64(graphic.data(), 64, 0, &slot, &capacity, 8, nullptr, false), 0u);
    EXPECT_EQ(capacity, expected.size() - 1) << "slots untouched";
    capacity = static_cast<uint32_t>(expected.size());
    EXPECT_EQ(encoder.EncodeZB64(graphic.data(), 64, 0, &slot, &capacity, 8, nullptr, false),
              expected.size());
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), expected + "#");
}

TEST(Z64EncodeTest, NothingIsProducedForMissingDataOrOtherModes) {
    CZB64Encode encoder;
    char* text = nullptr;
    uint32_t length = 0;
    const uint8_t byte = 1;
    EXPECT_EQ(encoder.EncodeZB64(nullptr, 10, 0, &text, &length, 1, nullptr, false), 0u);
    EXPECT_EQ(encoder.EncodeZB64(&byte, 0, 0, &text, &length, 1, nullptr, false), 0u);
    EXPECT_EQ(encoder.EncodeZB64(&byte, 1, 1, &text, &length, 1, nullptr, false), 0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0u);
}

TEST(Z64EncodeTest, CompressionFailsCleanlyOnBadArguments) {
    CZB64Encode encoder;
    uint8_t out[64];
    const uint8_t in[8] = {};
    EXPECT_EQ(encoder.LZcompress(nullptr, out, 8, 64), 0);
    EXPECT_EQ(encoder.LZcompress(in, nullptr, 8, 64), 0);
    EXPECT_EQ(encoder.LZcompress(in, out, 8, 4), 0) << "a destination too small for the stream";
    EXPECT_GT(encoder.LZcompress(in, out, 8, 64), 0);
}

}  // namespace
