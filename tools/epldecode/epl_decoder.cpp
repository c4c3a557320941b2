#include "tools/epldecode/epl_decoder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr int64_t kMaxDots = 65535;        // largest length, position or count taken
constexpr int64_t kMaxBytesPerRow = 8192;  // 65536 dots
constexpr int64_t kMinGapDots = 16;        // gap or black-line heights a printer senses
constexpr int64_t kMaxGapDots = 240;
constexpr size_t kMaxObjects = size_t{1} << 16;  // image buffer entries kept

// Printable text as is, other bytes as \xNN, cut after `limit` characters.
std::string Escape(std::string_view text, size_t limit = 40) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

// The whole text as a decimal number within [low, high].
std::optional<int64_t> Number(std::string_view text, int64_t low, int64_t high) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 12) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// "p,g", "p,g+o", "p,Bg", "p,Bg+o" or "p,0".
std::optional<EplMedia> ParseMedia(std::string_view params) {
    const std::vector<std::string_view> parts = Split(params, ',');
    if (parts.size() != 2) return std::nullopt;
    EplMedia media;
    const auto length = Number(parts[0], 1, kMaxDots);
    std::string_view rest = parts[1];
    const bool blackLine = !rest.empty() && rest[0] == 'B';
    if (blackLine) rest.remove_prefix(1);
    const size_t plus = rest.find('+');
    const auto gap = Number(rest.substr(0, plus), 0, kMaxDots);
    const auto offset = plus == std::string_view::npos ? std::optional<int64_t>(0)
                                                       : Number(rest.substr(plus + 1), 0, kMaxDots);
    if (!length || !gap || !offset) return std::nullopt;
    if (*gap == 0 && (blackLine || plus != std::string_view::npos)) return std::nullopt;
    if (*gap != 0 && (*gap < kMinGapDots || *gap > kMaxGapDots)) return std::nullopt;
    media.lengthDots = uint32_t(*length);
    media.gapDots = uint32_t(*gap);
    media.offsetDots = uint32_t(*offset);
    media.kind = *gap == 0 ? EplMedia::Kind::Continuous
                           : (blackLine ? EplMedia::Kind::BlackLine : EplMedia::Kind::Gap);
    return media;
}

// Settings without a drawing effect: no parameter (low > high) or one number in [low, high].
struct SettingRule {
    std::string_view name;
    int64_t low, high;
};
constexpr SettingRule kSettingRules[] = {
    {"JF", 1, 0}, {"JB", 1, 0},   {"WN", 1, 0},   {"WY", 1, 0}, {"ZB", 1, 0},
    {"ZT", 1, 0}, {"fB", 0, 255}, {"f", 70, 130}, {"S", 1, 6},  {"D", 0, 15},
};

constexpr std::string_view kCodePages[] = {"0",  "1",  "2",  "3",  "4", "5", "6", "7", "8", "9",
                                           "10", "11", "12", "13", "A", "B", "C", "D", "E", "F"};

struct BufferObject {
    EplObject info;
    std::vector<uint8_t> bits;  // Graphic: rows of bytesPerRow bytes, bit 0 printed
    std::optional<std::pair<uint32_t, uint32_t>> checkedOn;  // label size last checked against
};

class EplMachine {
  public:
    EplMachine(std::string_view stream, const EplDecodeOptions& options, EplJob& job)
        : s_(stream), options_(options), job_(job) {}

    void Run() {
        while (pos_ < s_.size()) {
            if (s_[pos_] == '\r' || s_[pos_] == '\n') {
                ++pos_;
            } else if (s_.substr(pos_, 2) == "GW") {
                GraphicWrite();
            } else {
                const size_t start = pos_;
                Command(NextLine(), start);
            }
        }
    }

  private:
    void Error(const std::string& text) { job_.errors.push_back(text); }
    void Warning(const std::string& text) { job_.warnings.push_back(text); }
    static std::string At(size_t offset) { return " at byte " + std::to_string(offset); }

    // The rest of the line at pos_, without its CR LF; pos_ moves past it.
    std::string_view NextLine() {
        size_t end = s_.find('\n', pos_);
        if (end == std::string_view::npos) end = s_.size();
        std::string_view line = s_.substr(pos_, end - pos_);
        pos_ = std::min(end + 1, s_.size());
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

    void Command(std::string_view line, size_t at) {
        for (const SettingRule& rule : kSettingRules) {
            if (line.starts_with(rule.name))
                return Setting(rule, line.substr(rule.name.size()), at);
        }
        const std::string_view params = line.substr(1);
        if (line.starts_with("LO")) return Box(line.substr(2), at);
        if (line == "N") return objects_.clear();
        switch (line[0]) {
            case 'q':
                return LabelWidth(params, at);
            case 'Q':
                return LabelLength(params, at);
            case 'O':
                return Options(params, at);
            case 'I':
                return CharacterSet(params, at);
            case 'P':
                return Print(params, at);
            default:
                return UnknownCommand(line, at);
        }
    }

    void UnknownCommand(std::string_view line, size_t at) {
        const size_t nameLength =
            line.size() > 1 && std::isalpha(static_cast<unsigned char>(line[1])) ? 2 : 1;
        const std::string name = Escape(line.substr(0, nameLength));
        ++job_.unknown[name];
        Error("unknown command \"" + name + "\"" + At(at) + ": \"" + Escape(line) + "\"");
    }

    void Record(std::string_view command, std::string_view params) {
        job_.settings.push_back({std::string(command), Escape(params, 80)});
    }

    void Bad(std::string_view command, std::string_view params, size_t at) {
        Error(std::string(command) + At(at) + " has a parameter no EPL2 printer takes: \"" +
              Escape(params) + "\"");
    }

    void Setting(const SettingRule& rule, std::string_view params, size_t at) {
        Record(rule.name, params);
        const bool valid =
            rule.low > rule.high ? params.empty() : Number(params, rule.low, rule.high).has_value();
        if (!valid) Bad(rule.name, params, at);
    }

    void CharacterSet(std::string_view params, size_t at) {
        Record("I", params);
        const std::vector<std::string_view> parts = Split(params, ',');
        const bool valid = (parts.size() == 2 || parts.size() == 3) &&
                           (parts[0] == "7" || parts[0] == "8") &&
                           std::find(std::begin(kCodePages), std::end(kCodePages), parts[1]) !=
                               std::end(kCodePages);
        if (!valid) Bad("I", params, at);
    }

    // "O" sets every option at once: an "O" without C stops the cutter.
    void Options(std::string_view params, size_t at) {
        Record("O", params);
        cutEvery_ = 0;
        if (params.empty()) return;
        for (std::string_view option : Split(params, ',')) {
            if (option == "D" || option == "P") continue;
            if (option == "C") {
                cutEvery_ = 1;
            } else if (option.starts_with("C") && Number(option.substr(1), 1, kMaxDots)) {
                cutEvery_ = uint64_t(*Number(option.substr(1), 1, kMaxDots));
            } else {
                Bad("O", params, at);
            }
        }
        sinceOptions_ = 0;
    }

    void LabelWidth(std::string_view params, size_t at) {
        Record("q", params);
        if (auto width = Number(params, 1, kMaxDots)) {
            width_ = uint32_t(*width);
        } else {
            Bad("q", params, at);
        }
    }

    void LabelLength(std::string_view params, size_t at) {
        Record("Q", params);
        if (auto media = ParseMedia(params)) {
            media_ = media;
        } else {
            Bad("Q", params, at);
        }
    }

    void AddObject(BufferObject object) {
        if (objects_.size() >= kMaxObjects) {
            Error("more than " + std::to_string(kMaxObjects) + " objects in the image buffer" +
                  At(object.info.offset));
            return;
        }
        objects_.push_back(std::move(object));
    }

    void Box(std::string_view params, size_t at) {
        const std::vector<std::string_view> p = Split(params, ',');
        std::optional<int64_t> v[4];
        for (size_t i = 0; i < 4 && p.size() == 4; ++i)
            v[i] = Number(p[i], i < 2 ? 0 : 1, kMaxDots);
        if (!v[0] || !v[1] || !v[2] || !v[3]) return Bad("LO", params, at);
        BufferObject box;
        box.info = {EplObject::Kind::Box, at, *v[0], *v[1], uint32_t(*v[2]), uint32_t(*v[3]), 0};
        AddObject(std::move(box));
    }

    // GW x,y,bytesPerRow,rows, CR LF, then the rows of raw bytes, then CR LF.
    void GraphicWrite() {
        const size_t at = pos_;
        uint64_t v[4] = {};
        size_t p = pos_ + 2;
        for (uint64_t& value : v) {
            size_t digits = 0;
            for (; p < s_.size() && s_[p] >= '0' && s_[p] <= '9' && digits < 9; ++p, ++digits)
                value = value * 10 + uint64_t(s_[p] - '0');
            if (digits == 0 || p >= s_.size() || s_[p] != ',') return MalformedGraphic(at);
            ++p;
        }
        if (s_.substr(p, 2) == "\r\n") {
            p += 2;
        } else if (s_.substr(p, 1) == "\n") {
            p += 1;
        } else {
            return MalformedGraphic(at);
        }
        const uint64_t bytes = v[2] * v[3];
        if (bytes > s_.size() - p) {
            Error("GW" + At(at) + " announces " + std::to_string(bytes) +
                  " bytes of graphic data, the stream has " + std::to_string(s_.size() - p));
            pos_ = s_.size();
            return;
        }
        pos_ = p + bytes;
        if (s_.substr(pos_, 2) == "\r\n") {
            pos_ += 2;
        } else {
            Warning("GW data" + At(at) + " is not followed by CR LF");
        }
        if (v[0] > kMaxDots || v[1] > kMaxDots || v[2] == 0 || v[2] > kMaxBytesPerRow ||
            v[3] == 0 || v[3] > kMaxDots) {
            Error("GW" + At(at) + " has a size or position no EPL2 printer takes");
            return;
        }
        BufferObject graphic;
        graphic.info = {EplObject::Kind::Graphic,
                        at,
                        int64_t(v[0]),
                        int64_t(v[1]),
                        uint32_t(v[2] * 8),
                        uint32_t(v[3]),
                        uint32_t(v[2])};
        graphic.bits.assign(s_.begin() + ptrdiff_t(p), s_.begin() + ptrdiff_t(p + bytes));
        AddObject(std::move(graphic));
    }

    void MalformedGraphic(size_t at) {
        Error("GW" + At(at) + " is not \"GWx,y,bytes,rows,\" followed by CR LF");
        NextLine();
    }

    // --- printing ----------------------------------------------------------------------------

    void Print(std::string_view params, size_t at) {
        const auto copies = Number(params, 1, kMaxDots);
        if (!copies) return Bad("P", params, at);
        EplLabel label;
        label.number = int(job_.labels.size()) + 1;
        label.offset = at;
        label.widthDots = width_;
        label.media = media_;
        label.copies = uint64_t(*copies);
        label.firstLabel = job_.printed + 1;
        if (!width_) Error("P" + At(at) + " before q: the label width is unknown");
        if (!media_) Error("P" + At(at) + " before Q: the label length is unknown");
        for (BufferObject& object : objects_) {
            label.objects.push_back(object.info);
            if (width_ && media_) CheckInside(object, *width_, media_->lengthDots);
        }
        Cuts(label);
        Render(label);
        job_.printed += label.copies;
        if (options_.onLabel) {
            options_.onLabel(label);
            label.image = GreyBitmap();
        }
        job_.labels.push_back(std::move(label));
    }

    // The cutter counts labels from the last "O" command and cuts after every cutEvery_-th.
    void Cuts(const EplLabel& label) {
        const uint64_t n = label.copies, before = sinceOptions_;
        sinceOptions_ += n;
        if (cutEvery_ == 0) return;
        const uint64_t k = cutEvery_;
        const uint64_t first = k - before % k;  // copy of this label that the next cut follows
        if (first > n) return;
        job_.cutCount += (before + n) / k - before / k;
        job_.lastCutAfter = job_.printed + first + (n - first) / k * k;
        for (uint64_t j = first; j <= n && job_.cuts.size() < kMaxListedCuts; j += k)
            job_.cuts.push_back({job_.printed + j, label.number, j});
    }

    // Black dots that fall outside the label are an error; blank overhang is harmless.
    void CheckInside(BufferObject& object, uint32_t width, uint32_t length) {
        if (object.checkedOn == std::make_pair(width, length)) return;
        object.checkedOn = std::make_pair(width, length);
        const EplObject& o = object.info;
        uint64_t outside = 0;
        if (o.kind == EplObject::Kind::Box) {
            const uint64_t inW = uint64_t(std::clamp<int64_t>(width - o.x, 0, o.widthDots));
            const uint64_t inH = uint64_t(std::clamp<int64_t>(length - o.y, 0, o.heightDots));
            outside = uint64_t(o.widthDots) * o.heightDots - inW * inH;
        } else {
            for (uint32_t r = 0; r < o.heightDots; ++r) {
                const bool rowOut = o.y + r >= length;
                for (uint32_t c = 0; c < o.widthDots; ++c) {
                    const uint8_t byte = object.bits[size_t(r) * o.bytesPerRow + c / 8];
                    const bool black = (byte & (0x80 >> (c % 8))) == 0;
                    if (black && (rowOut || o.x + c >= width)) ++outside;
                }
            }
        }
        if (outside == 0) return;
        Error(std::string(o.kind == EplObject::Kind::Box ? "LO" : "GW") + At(o.offset) + " at " +
              std::to_string(o.x) + "," + std::to_string(o.y) + " size " +
              std::to_string(o.widthDots) + "x" + std::to_string(o.heightDots) + " prints " +
              std::to_string(outside) + " dots outside the " + std::to_string(width) + "x" +
              std::to_string(length) + " label");
    }

    void Render(EplLabel& label) {
        if (!options_.renderImages || !label.widthDots || !label.media) return;
        const uint64_t w = *label.widthDots, h = label.media->lengthDots;
        if (!GreyBitmap::FitsLimit(w, h) || rendered_ + w * h > options_.maxRenderedDots) {
            Warning("label " + std::to_string(label.number) + " (" + std::to_string(w) + "x" +
                    std::to_string(h) + " dots) is not drawn: too many dots");
            return;
        }
        rendered_ += w * h;
        label.image = GreyBitmap(uint32_t(w), uint32_t(h));
        for (const BufferObject& object : objects_) {
            const EplObject& o = object.info;
            if (o.kind == EplObject::Kind::Box) {
                label.image.FillRect(o.x, o.y, o.widthDots, o.heightDots, GreyBitmap::kBlack);
            } else {
                DrawPacked(label.image, {object.bits, o.bytesPerRow, o.heightDots}, o.x, o.y, 1, 1,
                           false);
            }
        }
        label.darkDots = label.image.CountDark();
    }

    std::string_view s_;
    const EplDecodeOptions& options_;
    EplJob& job_;
    size_t pos_ = 0;
    std::vector<BufferObject> objects_;  // the image buffer
    std::optional<uint32_t> width_;
    std::optional<EplMedia> media_;
    uint64_t cutEvery_ = 0;      // 0: the cutter is off
    uint64_t sinceOptions_ = 0;  // labels printed since the last "O"
    uint64_t rendered_ = 0;
};

}  // namespace

EplJob DecodeEpl(std::string_view stream, const EplDecodeOptions& options) {
    EplJob job;
    EplMachine(stream, options, job).Run();
    return job;
}
