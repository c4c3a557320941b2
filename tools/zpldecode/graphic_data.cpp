#include "tools/zpldecode/graphic_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

std::string Describe(char c) {
    char text[16];
    if (c > 32 && c < 127) {
        std::snprintf(text, sizeof(text), "'%c'", c);
    } else {
        std::snprintf(text, sizeof(text), "0x%02x", static_cast<unsigned char>(c));
    }
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Base64 with "=" padding; spaces are skipped as in the CRC.
bool DecodeBase64(std::string_view text, std::vector<uint8_t>& out, std::string& error) {
    uint32_t group = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == ' ') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padding > 0) {
            error = "invalid Base64 character " + Describe(c);
            return false;
        }
        group = (group << 6) | uint32_t(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(uint8_t(group >> bits));
        }
    }
    if (padding > 2) {
        error = "too much Base64 padding";
        return false;
    }
    return true;
}

// Inflates a zlib stream, refusing to produce more than `limit` bytes.
bool Inflate(const std::vector<uint8_t>& in, uint64_t limit, std::vector<uint8_t>& out,
             std::string& error) {
    z_stream stream{};
    if (in.size() > UINT32_MAX / 2) {
        error = "Z64 data too long";
        return false;
    }
    if (inflateInit(&stream) != Z_OK) {
        error = "zlib cannot start";
        return false;
    }
    out.assign(size_t(limit) + 1, 0);  // one spare byte shows an oversized stream
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = uInt(in.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const uint64_t produced = stream.total_out;
    const bool trailing = stream.avail_in > 0;
    const std::string reason = stream.msg != nullptr ? std::string(" (") + stream.msg + ")" : "";
    inflateEnd(&stream);
    out.resize(size_t(produced));
    if (status == Z_STREAM_END && !trailing && produced <= limit) return true;
    if (produced > limit) {
        error = "Z64 data inflates to more than the byte count of " + std::to_string(limit);
    } else if (status == Z_STREAM_END) {
        error = "Z64 data has bytes after the end of its zlib stream";
    } else {
        error = "Z64 data is not a complete zlib stream" + reason;
    }
    return false;
}

GraphicData DecodeBase64Field(std::string_view text, std::string_view encoding,
                              uint64_t totalBytes) {
    GraphicData result;
    result.encoding = std::string(encoding);
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        result.crc = "none";
        result.error = result.encoding + " data has no CRC";
        return result;
    }
    const std::string_view body = text.substr(0, colon);
    const std::string_view crcText = text.substr(colon + 1);
    unsigned crc = 0;
    bool crcValid = crcText.size() == 4;
    for (char c : crcText) {
        crcValid = crcValid && HexValue(c) >= 0;
        if (crcValid) crc = crc * 16 + unsigned(HexValue(c));
    }
    if (!crcValid) {
        result.crc = "none";
        result.error = result.encoding + " CRC is not four hex digits";
        return result;
    }
    const uint16_t computed = Z64Crc(body);
    result.crc = computed == crc ? "ok" : "bad";
    if (computed != crc) {
        char message[96];
        std::snprintf(message, sizeof(message),
                      "%s CRC mismatch: stream says %04x, data gives %04x", result.encoding.c_str(),
                      crc, computed);
        result.error = message;
        return result;
    }
    std::vector<uint8_t> decoded;
    if (!DecodeBase64(body, decoded, result.error)) return result;
    if (encoding == "Z64") {
        std::vector<uint8_t> inflated;
        if (!Inflate(decoded, totalBytes, inflated, result.error)) return result;
        decoded.swap(inflated);
    }
    if (decoded.size() != totalBytes) {
        result.error = result.encoding + " data holds " + std::to_string(decoded.size()) +
                       " bytes, the byte count says " + std::to_string(totalBytes);
        return result;
    }
    result.bytes.swap(decoded);
    return result;
}

// ASCII hex, with ZPL's compression letters: G-Y repeat the next digit 1-19 times, g-z add
// 20-400, "," ends the row with 0 digits, "!" ends it with F digits, ":" repeats the last row.
class HexRows {
  public:
    HexRows(uint64_t totalBytes, uint32_t bytesPerRow)
        : digitsTotal_(totalBytes * 2), rowDigits_(uint64_t{bytesPerRow} * 2) {
        digits_.reserve(size_t(digitsTotal_));
    }

    bool Decode(std::string_view text, std::string& error) {
        uint64_t repeat = 0;
        for (char c : text) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
            if (c >= 'G' && c <= 'Y') {
                repeat += uint64_t(c - 'G' + 1);
            } else if (c >= 'g' && c <= 'z') {
                repeat += uint64_t(c - 'g' + 1) * 20;
            } else if (HexValue(c) >= 0) {
                if (!Put(uint8_t(HexValue(c)), repeat == 0 ? 1 : repeat, error)) return false;
                repeat = 0;
            } else if (c == ',' || c == '!' || c == ':') {
                if (repeat != 0) {
                    error = "repeat count before " + Describe(c) + " in hex data";
                    return false;
                }
                if (!EndRow(c, error)) return false;
            } else {
                error = "invalid character " + Describe(c) + " in hex data";
                return false;
            }
        }
        if (repeat != 0) {
            error = "hex data ends with a repeat count";
            return false;
        }
        if (digits_.size() != digitsTotal_) {
            error = "hex data holds " + std::to_string(digits_.size() / 2) +
                    " bytes, the byte count says " + std::to_string(digitsTotal_ / 2);
            return false;
        }
        return true;
    }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes(digits_.size() / 2);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(digits_[2 * i] << 4 | digits_[2 * i + 1]);
        return bytes;
    }

  private:
    bool Put(uint8_t digit, uint64_t count, std::string& error) {
        if (count > digitsTotal_ - digits_.size()) {
            error =
                "hex data holds more than the byte count of " + std::to_string(digitsTotal_ / 2);
            return false;
        }
        digits_.insert(digits_.end(), size_t(count), digit);
        return true;
    }

    bool EndRow(char c, std::string& error) {
        if (rowDigits_ == 0) {
            error = "row letters in hex data without a row length";
            return false;
        }
        const uint64_t inRow = digits_.size() % rowDigits_;
        if (c != ':')
            return Put(c == '!' ? 15 : 0, rowDigits_ - inRow, error);  // a whole row at its start
        if (inRow != 0) {
            error = "':' in the middle of a hex data row";
            return false;
        }
        if (digits_.empty()) return Put(0, rowDigits_, error);
        if (!Put(0, rowDigits_, error)) return false;
        const size_t start = digits_.size() - 2 * size_t(rowDigits_);
        std::copy_n(digits_.begin() + ptrdiff_t(start), size_t(rowDigits_),
                    digits_.end() - ptrdiff_t(rowDigits_));
        return true;
    }

    uint64_t digitsTotal_;
    uint64_t rowDigits_;
    std::vector<uint8_t> digits_;
};

}  // namespace

uint16_t Z64Crc(std::string_view base64) {
    uint16_t crc = 0;
    for (char c : base64) {
        if (c == ' ') continue;
        crc ^= uint16_t(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

GraphicData DecodeGraphicData(std::string_view text, uint64_t totalBytes, uint32_t bytesPerRow) {
    if (totalBytes > kMaxGraphicBytes) {
        GraphicData result;
        result.error =
            "graphic of " + std::to_string(totalBytes) + " bytes is larger than the decoder takes";
        return result;
    }
    if (text.starts_with(":Z64:")) return DecodeBase64Field(text.substr(5), "Z64", totalBytes);
    if (text.starts_with(":B64:")) return DecodeBase64Field(text.substr(5), "B64", totalBytes);
    GraphicData result;
    result.encoding = "hex";
    result.crc = "none";
    HexRows rows(totalBytes, bytesPerRow);
    if (rows.Decode(text, result.error)) result.bytes = rows.Bytes();
    return result;
}
