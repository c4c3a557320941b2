#include "tools/zpldecode/zpl_decoder.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <unordered_map>

#include "tools/zpldecode/graphic_data.h"
#include "tools/zpldecode/zpl_text.h"

using zpltext::Escape;
using zpltext::ParseUnsigned;
using zpltext::Split;

namespace {

constexpr uint64_t kMaxDots = 65535;                     // largest coordinate or size taken
constexpr uint64_t kMaxStoredBytes = uint64_t{1} << 28;  // printer memory for stored graphics
constexpr uint64_t kMaxKeptPixels = uint64_t{1} << 28;   // label images kept in the result

bool IsPrefix(char c) {
    return c == '^' || c == '~';
}

// Dots across a graphic; a row length from the stream may be absurd, so the result saturates.
uint32_t WidthDots(uint32_t bytesPerRow, uint32_t magnification) {
    return uint32_t(std::min<uint64_t>(uint64_t{bytesPerRow} * 8 * magnification, UINT32_MAX));
}

struct StoredGraphic {
    uint32_t bytesPerRow = 0;
    uint32_t rows = 0;
    std::vector<uint8_t> bytes;
};

// A field while its format is read: the public description plus the graphic it draws.
struct PendingField {
    ZplField field;
    std::shared_ptr<const StoredGraphic> graphic;
};

class ZplMachine {
  public:
    ZplMachine(std::string_view stream, const ZplDecodeOptions& options, ZplDecodeResult& result)
        : s_(stream), options_(options), r_(result) {}

    void Run() {
        size_t pos = 0;
        while (pos < s_.size()) {
            const char c = s_[pos];
            if (IsPrefix(c)) {
                Command(pos);
            } else if (!inFormat_ && static_cast<unsigned char>(c) == 0xFF && RfidFrame(pos)) {
                continue;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++pos;
            } else {
                Junk(pos);
            }
        }
        if (inFormat_)
            Error("format started at byte " + std::to_string(formatStart_) +
                  " is not closed by ^XZ");
    }

  private:
    void Error(const std::string& text) { r_.errors.push_back(text); }
    void Warning(const std::string& text) { r_.warnings.push_back(text); }
    std::string At(size_t pos) const { return " at byte " + std::to_string(pos); }

    // Raw RFID write frame: FF, data length + 1, FF, 65 or 66, data.
    bool RfidHeaderAt(size_t pos) const {
        if (pos + 3 >= s_.size()) return false;
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(s_[pos + i]); };
        return byte(0) == 0xFF && byte(2) == 0xFF && (byte(3) == 0x65 || byte(3) == 0x66);
    }

    bool RfidFrame(size_t& pos) {
        if (!RfidHeaderAt(pos)) return false;
        const unsigned char command = static_cast<unsigned char>(s_[pos + 3]);
        const unsigned lengthByte = static_cast<unsigned char>(s_[pos + 1]);
        const size_t wanted = lengthByte == 0 ? 255 : lengthByte - 1;
        if (lengthByte == 0)
            Error("RFID frame" + At(pos) + " has length byte 0 (more than 254 data bytes?)");
        ZplRfidFrame frame;
        frame.offset = pos;
        frame.command = command;
        const size_t available = std::min(wanted, s_.size() - (pos + 4));
        if (available < wanted) {
            Error("RFID frame" + At(pos) + " needs " + std::to_string(wanted) +
                  " data bytes, the stream has " + std::to_string(available));
        }
        frame.data.assign(s_.begin() + ptrdiff_t(pos + 4),
                          s_.begin() + ptrdiff_t(pos + 4 + available));
        r_.rfid.push_back(std::move(frame));
        pos += 4 + available;
        return true;
    }

    void Junk(size_t& pos) {
        size_t end = pos + 1;
        while (end < s_.size() && !IsPrefix(s_[end]) && static_cast<unsigned char>(s_[end]) != 0xFF)
            ++end;
        Error("unexpected bytes" + At(pos) + ": \"" + Escape(s_.substr(pos, end - pos), 24) + "\"");
        pos = end;
    }

    // Parameters run to the next command prefix; line ends inside them mean nothing to a printer.
    static std::string Clean(std::string_view raw) {
        std::string out;
        out.reserve(raw.size());
        for (char c : raw) {
            if (c != '\r' && c != '\n') out += c;
        }
        return out;
    }

    void Command(size_t& pos) {
        const size_t start = pos;
        if (pos + 2 >= s_.size()) {
            Error("truncated command" + At(pos) + ": \"" + Escape(s_.substr(pos), 8) + "\"");
            pos = s_.size();
            return;
        }
        std::string name{s_[pos], char(std::toupper(static_cast<unsigned char>(s_[pos + 1]))),
                         char(std::toupper(static_cast<unsigned char>(s_[pos + 2])))};
        size_t end = pos + 3;
        if (name != "^XA" && name != "^XZ" && name != "^FS") {  // these take no parameters
            while (end < s_.size() && !IsPrefix(s_[end]) && (inFormat_ || !RfidHeaderAt(end)))
                ++end;
        }
        pos = end;
        if (name == "^GF") {
            GraphicField(start, pos);
            return;
        }
        if (name[0] == '^' && !inFormat_ && name != "^XA" && name != "^XZ") {
            Error(Escape(name) + " outside a format" + At(start));
        }
        Dispatch(name, Clean(s_.substr(start + 3, end - start - 3)), start);
    }

    void Dispatch(const std::string& name, const std::string& params, size_t start) {
        using Handler = void (ZplMachine::*)(const std::string&, size_t);
        static const std::unordered_map<std::string, Handler> handlers = {
            {"^XA", &ZplMachine::StartFormat},      {"^XZ", &ZplMachine::EndFormat},
            {"^FO", &ZplMachine::FieldOrigin},      {"^FT", &ZplMachine::FieldTypeset},
            {"^FS", &ZplMachine::FieldSeparator},   {"^XG", &ZplMachine::RecallGraphic},
            {"^GB", &ZplMachine::GraphicBox},       {"^FD", &ZplMachine::FieldData},
            {"^PQ", &ZplMachine::PrintQuantity},    {"^ID", &ZplMachine::DeleteObject},
            {"~DG", &ZplMachine::DownloadGraphic},  {"^PW", &ZplMachine::PrintWidth},
            {"^LL", &ZplMachine::LabelLength},      {"^LH", &ZplMachine::LabelHome},
            {"^PO", &ZplMachine::PrintOrientation}, {"^PM", &ZplMachine::PrintMirror},
        };
        static const char* const kSettings[] = {"~SD", "^MN", "^MT", "^MM", "^PR", "^JJ",
                                                "^JU", "^LR", "^SZ", "^JM", "^MC", "^JZ",
                                                "~JS", "^ST", "^LT", "~TA", "^CI", "^MD"};
        if (auto it = handlers.find(name); it != handlers.end()) {
            (this->*(it->second))(params, start);
        } else if (std::find(std::begin(kSettings), std::end(kSettings), name) !=
                   std::end(kSettings)) {
            Setting(name, params);
        } else {
            ++r_.unknown[Escape(name)];
        }
    }

    void Setting(const std::string& name, const std::string& params) {
        r_.settings.push_back({name, Escape(params)});
    }

    // --- formats -------------------------------------------------------------------------

    void StartFormat(const std::string&, size_t start) {
        if (inFormat_) {
            Error("^XA" + At(start) + " inside the format started at byte " +
                  std::to_string(formatStart_));
            return;
        }
        inFormat_ = true;
        formatStart_ = start;
        fields_.clear();
        field_ = PendingField{};
        fieldOpen_ = false;
        quantity_ = {};
    }

    void EndFormat(const std::string&, size_t start) {
        if (!inFormat_) {
            Error("^XZ without ^XA" + At(start));
            return;
        }
        if (fieldOpen_) {
            Warning("field started in the format at byte " + std::to_string(formatStart_) +
                    " is not closed by ^FS");
            CloseField();
        }
        inFormat_ = false;
        ++r_.formats;
        if (!fields_.empty()) PrintLabel();
    }

    struct Quantity {
        uint64_t copies = 1, pauseCut = 0, replicates = 0;
        char override = 'N';
    } quantity_;

    void PrintQuantity(const std::string& params, size_t start) {
        const auto parts = Split(params, 4);
        uint64_t* targets[] = {&quantity_.copies, &quantity_.pauseCut, &quantity_.replicates};
        for (size_t i = 0; i < parts.size() && i < 3; ++i) {
            if (parts[i].empty()) continue;
            if (auto value = ParseUnsigned(parts[i], 99999999)) {
                *targets[i] = *value;
            } else {
                Error("^PQ" + At(start) + ": bad value \"" + Escape(parts[i], 16) + "\"");
            }
        }
        if (parts.size() == 4 && !parts[3].empty()) {
            if (parts[3] == "Y" || parts[3] == "N") {
                quantity_.override = parts[3][0];
            } else {
                Error("^PQ" + At(start) + ": override must be Y or N, not \"" +
                      Escape(parts[3], 16) + "\"");
            }
        }
        if (quantity_.copies == 0) Error("^PQ" + At(start) + ": zero labels");
    }

    // --- printer state ---------------------------------------------------------------------

    std::optional<uint64_t> Dots(std::string_view text, const std::string& command, size_t start) {
        auto value = ParseUnsigned(text, kMaxDots);
        if (!value) Error(command + At(start) + ": bad value \"" + Escape(text, 16) + "\"");
        return value;
    }

    void PrintWidth(const std::string& params, size_t start) {
        Setting("^PW", params);
        if (auto value = Dots(params, "^PW", start)) printWidth_ = uint32_t(*value);
    }

    void LabelLength(const std::string& params, size_t start) {
        Setting("^LL", params);
        if (auto value = Dots(Split(params, 2)[0], "^LL", start)) labelLength_ = uint32_t(*value);
    }

    void LabelHome(const std::string& params, size_t start) {
        Setting("^LH", params);
        const auto parts = Split(params, 2);
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].empty()) continue;
            if (auto value = Dots(parts[i], "^LH", start))
                (i == 0 ? homeX_ : homeY_) = int64_t(*value);
        }
    }

    void PrintOrientation(const std::string& params, size_t) {
        Setting("^PO", params);
        if (params == "I" || params == "N") invert_ = params == "I";
    }

    void PrintMirror(const std::string& params, size_t) {
        Setting("^PM", params);
        if (params == "Y" || params == "N") mirror_ = params == "Y";
    }

    // --- fields ----------------------------------------------------------------------------

    void Origin(const std::string& params, size_t start, const std::string& command, bool typeset) {
        const auto parts = Split(params, 3);
        int64_t xy[2] = {0, 0};
        for (size_t i = 0; i < 2 && i < parts.size(); ++i) {
            if (parts[i].empty()) continue;
            if (auto value = Dots(parts[i], command, start)) xy[i] = int64_t(*value);
        }
        field_.field.x = homeX_ + xy[0];
        field_.field.y = homeY_ + xy[1];
        typeset_ = typeset;
        fieldOpen_ = true;
    }

    void FieldOrigin(const std::string& params, size_t start) {
        Origin(params, start, "^FO", false);
    }
    void FieldTypeset(const std::string& params, size_t start) {
        Origin(params, start, "^FT", true);
    }

    void FieldSeparator(const std::string&, size_t) { CloseField(); }

    void CloseField() {
        if (hasContent_) {
            // ^FT places a graphic by its bottom edge.
            if (typeset_ && field_.field.kind != ZplField::Kind::Text)
                field_.field.y -= field_.field.heightDots;
            fields_.push_back(std::move(field_));
        }
        field_ = PendingField{};
        fieldOpen_ = hasContent_ = typeset_ = false;
    }

    void BeginContent(ZplField::Kind kind) {
        if (hasContent_) {  // a second content in one field starts a field of its own
            const ZplField where = field_.field;
            CloseField();
            field_.field.x = where.x;
            field_.field.y = where.y;
        }
        field_.field.kind = kind;
        hasContent_ = fieldOpen_ = true;
    }

    uint32_t Magnification(std::string_view text, size_t start) {
        if (text.empty()) return 1;
        auto value = ParseUnsigned(text, 10);
        if (!value || *value == 0) {
            Error("^XG" + At(start) + ": magnification must be 1 to 10, not \"" + Escape(text, 16) +
                  "\"");
            return 1;
        }
        return uint32_t(*value);
    }

    void RecallGraphic(const std::string& params, size_t start) {
        const auto parts = Split(params, 3);
        BeginContent(ZplField::Kind::Graphic);
        ZplField& f = field_.field;
        f.graphic = zpltext::NormaliseName(parts[0]);
        f.magX = Magnification(parts.size() > 1 ? parts[1] : "", start);
        f.magY = Magnification(parts.size() > 2 ? parts[2] : "", start);
        auto it = graphics_.find(f.graphic);
        f.found = it != graphics_.end();
        if (!f.found) {
            Error("^XG" + At(start) + ": graphic " + Escape(f.graphic) + " is not stored");
            return;
        }
        field_.graphic = it->second;
        f.widthDots = WidthDots(it->second->bytesPerRow, f.magX);
        f.heightDots = it->second->rows * f.magY;
    }

    void GraphicBox(const std::string& params, size_t start) {
        const auto parts = Split(params, 5);
        uint64_t values[3] = {1, 1, 1};  // width, height, thickness
        for (size_t i = 0; i < 3 && i < parts.size(); ++i) {
            if (parts[i].empty()) continue;
            if (auto value = Dots(parts[i], "^GB", start))
                values[i] = std::max<uint64_t>(*value, 1);
        }
        BeginContent(ZplField::Kind::Box);
        field_.field.widthDots = uint32_t(std::max(values[0], values[2]));
        field_.field.heightDots = uint32_t(std::max(values[1], values[2]));
        field_.field.lineDots = uint32_t(values[2]);
        field_.field.whiteInk = parts.size() > 3 && parts[3] == "W";
    }

    void FieldData(const std::string& params, size_t) {
        BeginContent(ZplField::Kind::Text);
        field_.field.text = params;
    }

    // ^GFa,b,c,d,data: an inline graphic; with a = B (binary) exactly b raw bytes follow.
    void GraphicField(size_t start, size_t& pos) {
        if (!inFormat_) Error("^GF outside a format" + At(start));
        size_t cursor = start + 3;
        std::string head[4];
        for (int i = 0; i < 4; ++i) {
            const size_t comma = s_.find(',', cursor);
            if (comma == std::string_view::npos || comma > pos) {
                Error("^GF" + At(start) + ": fewer than five parameters");
                return;
            }
            head[i] = Clean(s_.substr(cursor, comma - cursor));
            cursor = comma + 1;
        }
        const auto count = ParseUnsigned(head[1], UINT32_MAX);
        const auto total = ParseUnsigned(head[2], kMaxGraphicBytes);
        const auto perRow = ParseUnsigned(head[3], UINT32_MAX);
        if (!count || !total || !perRow || *perRow == 0) {
            Error("^GF" + At(start) + ": bad sizes \"" +
                  Escape(head[1] + "," + head[2] + "," + head[3], 40) + "\"");
            return;
        }
        std::string data;
        if (head[0] == "B" || head[0] == "C") {
            const size_t available = std::min<uint64_t>(*count, s_.size() - cursor);
            pos = cursor + available;
            if (available < *count) Error("^GF" + At(start) + ": binary data is cut short");
            if (head[0] == "C") {
                Error("^GF" + At(start) + ": compressed binary data is not supported");
                return;
            }
            data.assign(s_.substr(cursor, available));
        } else if (head[0] == "A") {
            data = Clean(s_.substr(cursor, pos - cursor));
        } else {
            Error("^GF" + At(start) + ": unknown data format \"" + Escape(head[0], 8) + "\"");
            return;
        }
        auto graphic = std::make_shared<StoredGraphic>();
        if (head[0] == "B") {
            if (data.size() != *total) {
                Error("^GF" + At(start) + ": binary data holds " + std::to_string(data.size()) +
                      " bytes, not " + std::to_string(*total));
                return;
            }
            graphic->bytes.assign(data.begin(), data.end());
        } else {
            GraphicData decoded = DecodeGraphicData(data, *total, uint32_t(*perRow));
            if (!decoded.error.empty()) {
                Error("^GF" + At(start) + ": " + decoded.error);
                return;
            }
            graphic->bytes = std::move(decoded.bytes);
        }
        graphic->bytesPerRow = uint32_t(*perRow);
        graphic->rows = uint32_t(*total / *perRow);
        BeginContent(ZplField::Kind::Graphic);
        field_.field.graphic = "^GF";
        field_.field.widthDots = WidthDots(graphic->bytesPerRow, 1);
        field_.field.heightDots = graphic->rows;
        field_.graphic = std::move(graphic);
    }

    // --- stored graphics -------------------------------------------------------------------

    void DownloadGraphic(const std::string& params, size_t start) {
        const auto parts = Split(params, 4);
        ZplDownload download;
        download.name = zpltext::NormaliseName(parts[0]);
        const std::string where = "~DG " + Escape(download.name) + At(start);
        const auto total =
            parts.size() > 1 ? ParseUnsigned(parts[1], UINT64_MAX / 4) : std::nullopt;
        const auto perRow = parts.size() > 2 ? ParseUnsigned(parts[2], UINT32_MAX) : std::nullopt;
        if (parts.size() < 4 || !total || !perRow || *perRow == 0) {
            Error(where + ": needs name, byte count, bytes per row (above 0) and data");
            r_.downloads.push_back(std::move(download));
            return;
        }
        download.totalBytes = *total;
        download.bytesPerRow = uint32_t(*perRow);
        download.dataChars = parts[3].size();
        if (*total % *perRow != 0) Warning(where + ": byte count is not a whole number of rows");
        GraphicData decoded = DecodeGraphicData(parts[3], *total, uint32_t(*perRow));
        download.encoding = decoded.encoding;
        download.crc = decoded.crc;
        if (!decoded.error.empty()) {
            Error(where + ": " + decoded.error);
        } else if (StoredBytes() - Stored(download.name) + decoded.bytes.size() > kMaxStoredBytes) {
            Error(where + ": printer memory is full");
        } else {
            auto graphic = std::make_shared<StoredGraphic>();
            graphic->bytesPerRow = download.bytesPerRow;
            graphic->rows = uint32_t(*total / *perRow);
            graphic->bytes = std::move(decoded.bytes);
            download.stored = true;
            if (options_.onDownload) options_.onDownload(download, graphic->bytes);
            graphics_[download.name] = std::move(graphic);
        }
        r_.downloads.push_back(std::move(download));
    }

    uint64_t Stored(const std::string& name) const {
        auto it = graphics_.find(name);
        return it == graphics_.end() ? 0 : it->second->bytes.size();
    }

    uint64_t StoredBytes() const {
        uint64_t total = 0;
        for (const auto& [name, graphic] : graphics_) total += graphic->bytes.size();
        return total;
    }

    void DeleteObject(const std::string& params, size_t) {
        ZplDelete deletion{zpltext::NormaliseName(params), 0};
        std::erase_if(graphics_, [&](const auto& entry) {
            const bool match = zpltext::GlobMatch(deletion.pattern, entry.first);
            deletion.removed += match;
            return match;
        });
        deletion.pattern = Escape(deletion.pattern);
        r_.deletes.push_back(std::move(deletion));
    }

    // --- printing --------------------------------------------------------------------------

    void PrintLabel() {
        ZplLabel label;
        label.number = int(r_.labels.size() + 1);
        label.printWidth = printWidth_;
        label.labelLength = labelLength_;
        label.copies = quantity_.copies;
        label.pauseCut = quantity_.pauseCut;
        label.replicates = quantity_.replicates;
        label.overridePause = quantity_.override;
        for (const PendingField& f : fields_) label.fields.push_back(f.field);
        if (options_.renderImages) Render(label);
        if (options_.onLabel) {
            options_.onLabel(label);
            label.image = GreyBitmap();
        }
        r_.labels.push_back(std::move(label));
    }

    void Render(ZplLabel& label) {
        const std::string name = "label " + std::to_string(label.number);
        int64_t extentX = 0, extentY = 0;
        for (const PendingField& f : fields_) {
            extentX = std::max(extentX, f.field.x + int64_t(f.field.widthDots));
            extentY = std::max(extentY, f.field.y + int64_t(f.field.heightDots));
        }
        const uint64_t width = printWidth_ ? *printWidth_ : uint64_t(extentX);
        const uint64_t height = labelLength_ ? *labelLength_ : uint64_t(extentY);
        if (width == 0 || height == 0) {
            Warning(name + " has no size to draw");
            return;
        }
        const bool kept = !options_.onLabel;
        if ((kept && keptPixels_ + width * height > kMaxKeptPixels) ||
            !GreyBitmap::FitsLimit(width, height)) {
            Warning(name + ": image of " + std::to_string(width) + "x" + std::to_string(height) +
                    " dots not drawn");
            return;
        }
        if (kept) keptPixels_ += width * height;
        label.image = GreyBitmap(uint32_t(width), uint32_t(height));
        for (size_t k = 0; k < fields_.size(); ++k) {
            const ZplField& f = fields_[k].field;
            if (f.x < 0 || f.y < 0 || f.x + int64_t(f.widthDots) > int64_t(width) ||
                f.y + int64_t(f.heightDots) > int64_t(height)) {
                Warning(name + " field " + std::to_string(k + 1) + " reaches beyond the label");
            }
            Draw(label.image, fields_[k]);
        }
        if (invert_) label.image.Rotate180();
        if (mirror_) label.image.MirrorX();
        label.darkDots = label.image.CountDark();
    }

    static void Draw(GreyBitmap& image, const PendingField& pending) {
        const ZplField& f = pending.field;
        if (f.kind == ZplField::Kind::Graphic && pending.graphic) {
            const StoredGraphic& g = *pending.graphic;
            DrawPacked(image, {g.bytes, g.bytesPerRow, g.rows}, f.x, f.y, f.magX, f.magY);
        } else if (f.kind == ZplField::Kind::Box) {
            const uint8_t ink = f.whiteInk ? GreyBitmap::kWhite : GreyBitmap::kBlack;
            const int64_t t = f.lineDots, w = f.widthDots, h = f.heightDots;
            image.FillRect(f.x, f.y, w, t, ink);
            image.FillRect(f.x, f.y + h - t, w, t, ink);
            image.FillRect(f.x, f.y, t, h, ink);
            image.FillRect(f.x + w - t, f.y, t, h, ink);
        }
    }

    std::string_view s_;
    const ZplDecodeOptions& options_;
    ZplDecodeResult& r_;
    bool inFormat_ = false;
    size_t formatStart_ = 0;
    std::vector<PendingField> fields_;
    PendingField field_;
    bool fieldOpen_ = false;
    bool hasContent_ = false;
    bool typeset_ = false;
    std::optional<uint32_t> printWidth_;
    std::optional<uint32_t> labelLength_;
    int64_t homeX_ = 0, homeY_ = 0;
    bool invert_ = false, mirror_ = false;
    std::map<std::string, std::shared_ptr<const StoredGraphic>> graphics_;
    uint64_t keptPixels_ = 0;
};

}  // namespace

uint64_t ZplDecodeResult::TotalCopies() const {
    uint64_t total = 0;
    for (const ZplLabel& label : labels) total += label.copies;
    return total;
}

ZplDecodeResult DecodeZpl(std::string_view stream, const ZplDecodeOptions& options) {
    ZplDecodeResult result;
    ZplMachine(stream, options, result).Run();
    return result;
}
