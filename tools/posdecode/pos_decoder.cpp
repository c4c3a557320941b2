#include "tools/posdecode/pos_decoder.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace {

constexpr uint8_t kEsc = 0x1B, kGs = 0x1D, kFs = 0x1C, kDle = 0x10;

std::string HexByte(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02X", b);
    return text;
}

// Fixed lengths of the setting commands that change nothing this decoder draws.
size_t SettingLength(uint8_t prefix, uint8_t command) {
    if (prefix == kEsc) {
        switch (command) {
            case '!':
            case '-':
            case 'E':
            case 'G':
            case 'M':
            case 'R':
            case 'V':
            case 'a':
            case 'r':
            case 't':
            case '{':
            case ' ':
                return 3;  // ESC <c> n
            case 'c':
                return 4;  // ESC c 3|4|5 n
            case 'S':
            case '<':
                return 2;
            default:
                return 0;
        }
    }
    switch (command) {
        case '!':
        case 'B':
        case 'H':
        case 'h':
        case 'w':
        case 'f':
        case 'a':
        case 'b':
            return 3;  // GS <c> n
        case 'L':
        case 'W':
            return 4;  // GS <c> nL nH
        default:
            return 0;
    }
}

class Decoder {
  public:
    Decoder(std::string_view stream, const PosDecodeOptions& options, PosDecodeResult& result)
        : s_(stream), dpi_(options.dpi != 0 ? options.dpi : 203), result_(result) {
        ResetUnits();
    }

    void Run() {
        while (i_ < s_.size() && !stop_) Step();
        result_.lengthDots = y_;
    }

  private:
    uint8_t At(size_t k) const { return static_cast<uint8_t>(s_[k]); }
    size_t Left() const { return s_.size() - i_; }

    // True when `bytes` bytes of the command at i_ are present; otherwise an error ends decoding.
    bool Need(size_t bytes, const std::string& what) {
        if (Left() >= bytes) return true;
        Error(what + " at offset " + std::to_string(i_) + " is cut short");
        stop_ = true;
        return false;
    }
    void Error(const std::string& text) { result_.errors.push_back(text); }
    void Unknown(const std::string& command) { ++result_.unknown[command]; }

    void ResetUnits() {
        unitsX_ = unitsY_ = dpi_;
        lineSpacing_ = dpi_ / 6;  // 1/6 inch
    }
    int64_t Dots(uint64_t units, uint32_t perInch) const {
        return static_cast<int64_t>(units * dpi_ / perInch);
    }

    PosEvent* Add(PosEventKind kind, size_t offset) {
        if (result_.events.size() >= kMaxPosEvents) {
            Error("more than " + std::to_string(kMaxPosEvents) +
                  " commands; decoding stopped at offset " + std::to_string(offset));
            stop_ = true;
            return nullptr;
        }
        PosEvent& e = result_.events.emplace_back();
        e.kind = kind;
        e.offset = offset;
        e.y = y_;
        return &e;
    }

    void Feed(int64_t dots, size_t offset) {
        if (PosEvent* e = Add(PosEventKind::Feed, offset)) e->dots = dots;
        ++result_.feeds;
        result_.fedDots += dots;
        y_ += dots;
    }

    void Step() {
        const uint8_t b = At(i_);
        switch (b) {
            case kEsc:
                return Esc();
            case kGs:
                return Gs();
            case kFs:
                return Fs();
            case kDle:
                return Dle();
            case 0x0D:
                ++result_.carriageReturns;
                ++i_;
                return;
            case 0x0A:
                ++result_.lineFeeds;
                Feed(lineSpacing_, i_);
                ++i_;
                return;
            default:
                break;
        }
        if (b >= 0x20 || b == 0x09) {
            if (result_.textBytes++ == 0)
                result_.warnings.push_back("text at offset " + std::to_string(i_) +
                                           " is not drawn");
        } else {
            Unknown("control " + HexByte(b));
        }
        ++i_;
    }

    void Skip(size_t length, const std::string& prefix, uint8_t command) {
        if (!Need(length, prefix + " " + HexByte(command))) return;
        Unknown(prefix + " " + HexByte(command));
        i_ += length;
    }

    // ESC ( x and GS ( x: a two-byte length, then that many bytes.
    bool SkipWithLength(const std::string& name, size_t& p) {
        if (!Need(5, name)) return false;
        p = At(i_ + 3) | size_t{At(i_ + 4)} << 8;
        return Need(5 + p, name);
    }

    void Esc() {
        if (!Need(2, "ESC")) return;
        const uint8_t c = At(i_ + 1);
        const size_t at = i_;
        switch (c) {
            case '@':
                if (Add(PosEventKind::Initialise, at)) ++result_.initialisations;
                ResetUnits();
                x_ = 0;
                i_ += 2;
                return;
            case 'J':
                if (!Need(3, "ESC J")) return;
                Feed(Dots(At(i_ + 2), unitsY_), at);
                i_ += 3;
                return;
            case 'd':
                if (!Need(3, "ESC d")) return;
                Feed(int64_t{At(i_ + 2)} * lineSpacing_, at);
                i_ += 3;
                return;
            case '$':
                if (!Need(4, "ESC $")) return;
                x_ = Dots(At(i_ + 2) | uint64_t{At(i_ + 3)} << 8, unitsX_);
                i_ += 4;
                return;
            case '2':
                lineSpacing_ = dpi_ / 6;
                i_ += 2;
                return;
            case '3':
                if (!Need(3, "ESC 3")) return;
                lineSpacing_ = Dots(At(i_ + 2), unitsY_);
                i_ += 3;
                return;
            case 'p':
                return DrawerPulse();
            case '(': {
                size_t p = 0;
                if (!SkipWithLength("ESC (", p)) return;
                Unknown("ESC ( " + HexByte(At(i_ + 2)));
                i_ += 5 + p;
                return;
            }
            default:
                break;
        }
        const size_t length = SettingLength(kEsc, c);
        if (length != 0) {
            if (Need(length, "ESC " + HexByte(c))) i_ += length;
            return;
        }
        Unknown("ESC " + HexByte(c));
        i_ += 2;
    }

    void DrawerPulse() {
        if (!Need(5, "ESC p")) return;
        const uint8_t m = At(i_ + 2);
        const int pin = (m == 0 || m == '0') ? 2 : (m == 1 || m == '1') ? 5 : 0;
        if (pin == 0) {
            Error("ESC p at offset " + std::to_string(i_) + " names no drawer connector (" +
                  HexByte(m) + ")");
        } else if (PosEvent* e = Add(PosEventKind::DrawerPulse, i_)) {
            e->pin = pin;
            e->onMs = At(i_ + 3) * 2u;
            e->offMs = At(i_ + 4) * 2u;
            ++result_.drawerPulses;
        }
        i_ += 5;
    }

    void Gs() {
        if (!Need(2, "GS")) return;
        const uint8_t c = At(i_ + 1);
        switch (c) {
            case 'P':
                if (!Need(4, "GS P")) return;
                unitsX_ = At(i_ + 2) != 0 ? At(i_ + 2) : dpi_;
                unitsY_ = At(i_ + 3) != 0 ? At(i_ + 3) : dpi_;
                if (PosEvent* e = Add(PosEventKind::MotionUnits, i_)) {
                    e->unitsX = At(i_ + 2);
                    e->unitsY = At(i_ + 3);
                }
                i_ += 4;
                return;
            case 'v':
                return RasterBand();
            case 'V':
                return Cut();
            case 0x0C:
                if (Add(PosEventKind::BlackMark, i_)) ++result_.blackMarks;
                i_ += 2;
                return;
            case '(':
                return GraphicsFunction();
            default:
                break;
        }
        const size_t length = SettingLength(kGs, c);
        if (length != 0) {
            if (Need(length, "GS " + HexByte(c))) i_ += length;
            return;
        }
        Unknown("GS " + HexByte(c));
        i_ += 2;
    }

    void Cut() {
        if (!Need(3, "GS V")) return;
        const uint8_t m = At(i_ + 2);
        const bool withFeed = m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104;
        const bool known = withFeed || m == 0 || m == 1 || m == '0' || m == '1';
        if (!known) {
            Error("GS V at offset " + std::to_string(i_) + " has an unknown cut mode " +
                  HexByte(m));
            i_ += 3;
            return;
        }
        if (withFeed && !Need(4, "GS V")) return;
        const size_t at = i_;
        const int64_t feed = withFeed ? Dots(At(i_ + 3), unitsY_) : 0;
        y_ += feed;
        result_.fedDots += feed;
        if (PosEvent* e = Add(PosEventKind::Cut, at)) {
            e->dots = feed;
            e->partial = m == 1 || m == '1' || m == 66 || m == 98 || m == 104;
            ++result_.cuts;
        }
        i_ += withFeed ? 4 : 3;
    }

    void GraphicsFunction() {
        size_t p = 0;
        if (!SkipWithLength("GS (", p)) return;
        const uint8_t function = At(i_ + 2);
        const bool logo = function == 'L' && p == 6 && At(i_ + 5) == 0x30 && At(i_ + 6) == 69;
        if (logo) {
            if (PosEvent* e = Add(PosEventKind::Logo, i_)) {
                e->key1 = At(i_ + 7);
                e->key2 = At(i_ + 8);
                e->scaleX = At(i_ + 9);
                e->scaleY = At(i_ + 10);
                ++result_.logos;
            }
        } else {
            Unknown("GS ( " + HexByte(function) +
                    (function == 'L' && p >= 2 ? " fn " + HexByte(At(i_ + 6)) : ""));
        }
        i_ += 5 + p;
    }

    void RasterBand() {
        if (!Need(3, "GS v")) return;
        if (At(i_ + 2) != '0') {
            Skip(3, "GS v", At(i_ + 2));
            return;
        }
        if (!Need(8, "GS v 0")) return;
        const uint8_t m = At(i_ + 3);
        const int mode = (m >= '0' && m <= '3') ? m - '0' : m <= 3 ? m : -1;
        const uint32_t bytesPerRow = At(i_ + 4) | uint32_t{At(i_ + 5)} << 8;
        const uint32_t rows = At(i_ + 6) | uint32_t{At(i_ + 7)} << 8;
        const size_t announced = size_t{bytesPerRow} * rows;
        const size_t at = i_;
        const size_t present = std::min(announced, Left() - 8);
        if (mode < 0)
            Error("GS v 0 at offset " + std::to_string(at) + " has an unknown mode " + HexByte(m));
        if (present < announced) {
            Error("GS v 0 at offset " + std::to_string(at) + " announces " +
                  std::to_string(announced) + " bytes of dots, " + std::to_string(present) +
                  " present");
        }
        if (announced == 0)
            result_.warnings.push_back("empty GS v 0 band at offset " + std::to_string(at));
        const uint32_t magX = mode == 1 || mode == 3 ? 2 : 1;
        const uint32_t magY = mode == 2 || mode == 3 ? 2 : 1;
        if (PosEvent* e = Add(PosEventKind::Band, at)) {
            e->x = x_;
            e->bytesPerRow = bytesPerRow;
            e->widthDots = bytesPerRow * 8 * magX;
            e->rows = rows * magY;
            e->magX = magX;
            e->magY = magY;
            e->dataOffset = at + 8;
            e->dataBytes = present;
            ++result_.bands;
            result_.bandRows += e->rows;
        }
        y_ += int64_t{rows} * magY;
        x_ = 0;
        i_ += 8 + present;
        if (present < announced) stop_ = true;
    }

    // FS p n m prints a logo of the older kind; the rest are character settings.
    void Fs() {
        if (!Need(2, "FS")) return;
        const uint8_t c = At(i_ + 1);
        Skip(c == 'p' ? 4 : 2, "FS", c);
    }

    void Dle() {
        if (!Need(2, "DLE")) return;
        const uint8_t c = At(i_ + 1);
        Skip(c == 0x14 ? 5 : (c == 0x04 || c == 0x05) ? 3 : 2, "DLE", c);
    }

    std::string_view s_;
    uint32_t dpi_;
    PosDecodeResult& result_;
    size_t i_ = 0;
    bool stop_ = false;
    uint32_t unitsX_ = 0, unitsY_ = 0;  // motion units per inch
    int64_t lineSpacing_ = 0;
    int64_t x_ = 0, y_ = 0;
};

void Render(std::string_view stream, const PosDecodeOptions& options, PosDecodeResult& result) {
    int64_t width = options.widthDots;
    int64_t height = result.lengthDots;
    for (const PosEvent* band : result.Of(PosEventKind::Band)) {
        // A band without dots (cut short) draws nothing and so does not widen the preview.
        if (options.widthDots == 0 && band->dataBytes > 0)
            width = std::max(width, band->x + band->widthDots);
        height = std::max(height, band->y + band->rows);
        if (options.widthDots != 0 && band->x + band->widthDots > options.widthDots) {
            result.warnings.push_back("band at offset " + std::to_string(band->offset) +
                                      " is wider than the paper");
        }
    }
    if (width <= 0 || height <= 0) return;
    if (!GreyBitmap::FitsLimit(uint64_t(width), uint64_t(height))) {
        result.errors.push_back("a receipt of " + std::to_string(width) + " x " +
                                std::to_string(height) + " dots is too large to draw");
        return;
    }
    result.image = GreyBitmap(uint32_t(width), uint32_t(height));
    for (const PosEvent* band : result.Of(PosEventKind::Band)) {
        const auto bits = std::span<const uint8_t>(
            reinterpret_cast<const uint8_t*>(stream.data()) + band->dataOffset, band->dataBytes);
        DrawPacked(result.image, PackedGraphic{bits, band->bytesPerRow, band->rows / band->magY},
                   band->x, band->y, band->magX, band->magY);
    }
    result.darkDots = result.image.CountDark();
}

}  // namespace

std::vector<const PosEvent*> PosDecodeResult::Of(PosEventKind kind) const {
    std::vector<const PosEvent*> found;
    for (const PosEvent& e : events) {
        if (e.kind == kind) found.push_back(&e);
    }
    return found;
}

PosDecodeResult DecodeEscPos(std::string_view stream, const PosDecodeOptions& options) {
    PosDecodeResult result;
    Decoder(stream, options, result).Run();
    if (options.renderImage) Render(stream, options, result);
    return result;
}
