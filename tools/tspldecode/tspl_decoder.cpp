#include "tools/tspldecode/tspl_decoder.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "tools/tspldecode/tspl_params.h"

using tsplparams::Escape;
using tsplparams::Integer;
using tsplparams::Split;

namespace {

constexpr int64_t kMaxDots = 1 << 20;                   // largest position or size taken
constexpr uint64_t kMaxKeptPixels = uint64_t{1} << 28;  // label images kept in the result
constexpr int64_t kHeadDots203 = 832;                   // a 4-inch head at 203 dpi
constexpr size_t kMaxBitmapHeader = 64;  // "BITMAP x,y,w,h,m," never needs more bytes

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// A BITMAP waiting in the image buffer: its description and its dots in the stream.
struct PendingBitmap {
    TsplBitmap bitmap;
    std::string_view data;
};

class TsplMachine {
  public:
    TsplMachine(std::string_view stream, const TsplDecodeOptions& options, TsplJob& job)
        : s_(stream), options_(options), job_(job) {}

    void Run() {
        size_t pos = 0;
        while (pos < s_.size()) {
            if (IsLineEnd(s_[pos]) || s_[pos] == ' ' || s_[pos] == '\t') {
                ++pos;
            } else {
                Command(pos);
            }
        }
    }

    // Widest extent in dots that the stream states in dots (SIZE in dots, BITMAP).
    int64_t WidestDots() const { return widestDots_; }

  private:
    void Error(const std::string& text) { job_.errors.push_back(text); }
    void Warning(const std::string& text) { job_.warnings.push_back(text); }
    static std::string At(size_t pos) { return " at byte " + std::to_string(pos); }

    void Command(size_t& pos) {
        const size_t start = pos;
        size_t end = pos;
        while (end < s_.size() && !IsLineEnd(s_[end]) && s_[end] != ' ') ++end;
        const std::string word = tsplparams::Upper(s_.substr(start, end - start));
        if (word == "BITMAP") {
            pos = end;
            Bitmap(start, pos);
            return;
        }
        const size_t lineEnd = s_.find_first_of("\r\n", end);
        if (lineEnd == std::string_view::npos) {
            // A printer runs a command only once its line has ended.
            Error("\"" + Escape(s_.substr(start)) + "\"" + At(start) +
                  " is not ended by CR LF; a printer does not run it");
            pos = s_.size();
            return;
        }
        pos = lineEnd;
        Dispatch(word, tsplparams::Trim(s_.substr(end, lineEnd - end)), start);
    }

    void Dispatch(const std::string& word, std::string_view params, size_t start) {
        using Handler = bool (TsplMachine::*)(std::string_view, size_t);
        static const std::unordered_map<std::string, Handler> handlers = {
            {"SIZE", &TsplMachine::Size},
            {"GAP", &TsplMachine::Gap},
            {"BLINE", &TsplMachine::BlackLine},
            {"DIRECTION", &TsplMachine::Direction},
            {"REFERENCE", &TsplMachine::Reference},
            {"DENSITY", &TsplMachine::Density},
            {"SPEED", &TsplMachine::Speed},
            {"OFFSET", &TsplMachine::Offset},
            {"SET", &TsplMachine::Set},
            {"CLS", &TsplMachine::Clear},
            {"PRINT", &TsplMachine::Print},
        };
        const auto it = handlers.find(word);
        if (it == handlers.end()) {
            Unknown(Escape(word, 16), start);
        } else if (!(this->*(it->second))(params, start)) {
            Error(word + At(start) + " has bad parameters: \"" + Escape(params) + "\"");
        }
    }

    void Unknown(const std::string& name, size_t start) {
        if (job_.unknown[name]++ == 0) Error("unknown command \"" + name + "\"" + At(start));
    }

    // --- settings ------------------------------------------------------------------------

    bool Size(std::string_view params, size_t) {
        const auto fields = Split(params);
        if (fields.size() != 2) return false;
        const auto width = tsplparams::Length(fields[0]);
        const auto height = tsplparams::Length(fields[1]);
        if (!width || !height || width->value <= 0 || height->value <= 0) return false;
        job_.settings.width = width;
        job_.settings.height = height;
        if (width->unit == TsplUnit::Dot) widestDots_ = std::max(widestDots_, Dots(*width));
        return true;
    }

    bool Media(std::string_view params, TsplMedia media) {
        const auto fields = Split(params);
        if (fields.size() != 2) return false;
        const auto height = tsplparams::Length(fields[0]);
        const auto offset = tsplparams::Length(fields[1]);
        if (!height || !offset || height->value < 0) return false;
        // A mark of height 0 means no marks at all: continuous media.
        job_.settings.media = height->value == 0 ? TsplMedia::Continuous : media;
        job_.settings.mediaHeight = *height;
        job_.settings.mediaOffset = *offset;
        return true;
    }
    bool Gap(std::string_view params, size_t) { return Media(params, TsplMedia::Gap); }
    bool BlackLine(std::string_view params, size_t) { return Media(params, TsplMedia::BlackLine); }

    bool Direction(std::string_view params, size_t) {
        const auto fields = Split(params);
        if (fields.size() > 2) return false;
        const auto direction = Integer(fields[0], 0, 1);
        const auto mirror =
            fields.size() == 2 ? Integer(fields[1], 0, 1) : std::optional<int64_t>(0);
        if (!direction || !mirror) return false;
        job_.settings.direction = int(*direction);
        job_.settings.mirror = int(*mirror);
        return true;
    }

    bool Reference(std::string_view params, size_t) {
        const auto fields = Split(params);
        if (fields.size() != 2) return false;
        const auto x = Integer(fields[0], 0, kMaxDots);
        const auto y = Integer(fields[1], 0, kMaxDots);
        if (!x || !y) return false;
        job_.settings.referenceX = x;
        job_.settings.referenceY = y;
        return true;
    }

    bool Density(std::string_view params, size_t) {
        const auto density = Integer(params, 0, 15);
        if (density) job_.settings.density = int(*density);
        return density.has_value();
    }

    bool Speed(std::string_view params, size_t) {
        const auto speed = tsplparams::Number(params);
        if (!speed || *speed <= 0 || *speed > 20) return false;
        job_.settings.speed = speed;
        return true;
    }

    bool Offset(std::string_view params, size_t) {
        const auto offset = tsplparams::Length(params);
        if (offset) job_.settings.offset = offset;
        return offset.has_value();
    }

    bool Set(std::string_view params, size_t start) {
        const size_t space = params.find(' ');
        const std::string what = tsplparams::Upper(params.substr(0, space));
        const std::string value = tsplparams::Upper(
            tsplparams::Trim(space == std::string_view::npos ? "" : params.substr(space)));
        if (what == "CUTTER") return Cutter(value);
        std::optional<bool>* flag = what == "RIBBON" ? &job_.settings.ribbon
                                    : what == "PEEL" ? &job_.settings.peel
                                    : what == "TEAR" ? &job_.settings.tear
                                                     : nullptr;
        if (flag == nullptr) {
            Unknown("SET " + Escape(what, 16), start);
            return true;
        }
        if (value != "ON" && value != "OFF") return false;
        *flag = value == "ON";
        return true;
    }

    // The cutter counts labels from this command on.
    bool Cutter(const std::string& value) {
        if (value == "OFF" || value == "BATCH") {
            job_.settings.cutter = value == "OFF" ? TsplCutter::Off : TsplCutter::Batch;
        } else {
            const auto every = Integer(value, 1, 65535);
            if (!every) return false;
            job_.settings.cutter = TsplCutter::Every;
            job_.settings.cutEvery = uint64_t(*every);
        }
        labelsSinceCutter_ = 0;
        return true;
    }

    // --- image buffer and printing -------------------------------------------------------

    bool Clear(std::string_view params, size_t start) {
        if (!params.empty()) Warning("CLS" + At(start) + " takes no parameters");
        ++job_.clears;
        buffer_.clear();
        return true;
    }

    // "BITMAP x,y,bytes per row,rows,mode," and the raw rows directly after the last comma.
    void Bitmap(size_t start, size_t& pos) {
        std::vector<size_t> commas;
        size_t end = pos;
        while (end < s_.size() && end - pos < kMaxBitmapHeader && commas.size() < 5 &&
               !IsLineEnd(s_[end])) {
            if (s_[end] == ',') commas.push_back(end);
            ++end;
        }
        if (commas.size() < 5) {
            Error("BITMAP" + At(start) + " has an incomplete header: \"" +
                  Escape(s_.substr(start, end - start)) + "\"");
            pos = end;
            return;
        }
        const auto fields = Split(s_.substr(pos, commas[4] - pos));
        const auto x = Integer(fields[0], 0, kMaxDots), y = Integer(fields[1], 0, kMaxDots);
        const auto width = Integer(fields[2], 1, kMaxDots), rows = Integer(fields[3], 1, kMaxDots);
        const auto mode = Integer(fields[4], 0, 2);
        const size_t dataStart = commas[4] + 1;
        const uint64_t wanted = width && rows ? uint64_t(*width) * uint64_t(*rows) : 0;
        const size_t present = size_t(std::min<uint64_t>(wanted, s_.size() - dataStart));
        if (!x || !y || !width || !rows || !mode) {
            Error("BITMAP" + At(start) + " has bad parameters: \"" +
                  Escape(s_.substr(start, dataStart - start)) + "\"");
            // Its data is skipped when its length is known, else the rest of the line.
            pos = width && rows ? dataStart + present : s_.find_first_of("\r\n", dataStart);
            pos = std::min(pos, s_.size());
            return;
        }
        if (present < wanted) {
            Error("BITMAP" + At(start) + " announces " + std::to_string(wanted) +
                  " data bytes, the stream has " + std::to_string(present));
        }
        PendingBitmap pending;
        pending.bitmap = {start, *x, *y, uint32_t(*width), uint32_t(*rows), int(*mode), present};
        pending.data = s_.substr(dataStart, present);
        buffer_.push_back(pending);
        widestDots_ = std::max(widestDots_, *x + *width * 8);
        pos = dataStart + present;
    }

    bool Print(std::string_view params, size_t start) {
        const auto fields = Split(params);
        if (fields.size() > 2) return false;
        const auto sets = Integer(fields[0], 1, 999999999);
        const auto copies =
            fields.size() == 2 ? Integer(fields[1], 1, 999999999) : std::optional<int64_t>(1);
        if (!sets || !copies) return false;
        TsplPrint print;
        print.number = int(job_.prints.size() + 1);
        print.offset = start;
        print.sets = uint64_t(*sets);
        print.copies = uint64_t(*copies);
        for (const PendingBitmap& p : buffer_) print.bitmaps.push_back(p.bitmap);
        if (!job_.settings.width) {
            Error("PRINT" + At(start) + " before SIZE: the label size is unknown");
        } else {
            print.widthDots =
                uint32_t(std::clamp<int64_t>(Dots(*job_.settings.width), 0, kMaxDots));
            print.heightDots =
                uint32_t(std::clamp<int64_t>(Dots(*job_.settings.height), 0, kMaxDots));
            Render(print);
        }
        CountLabels(print);
        if (options_.onPrint) {
            options_.onPrint(print);
            print.image = GreyBitmap();
        }
        job_.prints.push_back(std::move(print));
        return true;
    }

    int64_t Dots(const TsplLength& length) const { return TsplDots(length, job_.dpi); }

    void Render(TsplPrint& print) {
        if (print.widthDots == 0 || print.heightDots == 0) {
            Error("print " + std::to_string(print.number) + ": the label is less than a dot");
            return;
        }
        if (!GreyBitmap::FitsLimit(print.widthDots, print.heightDots)) {
            Error("print " + std::to_string(print.number) + ": a label of " +
                  std::to_string(print.widthDots) + " x " + std::to_string(print.heightDots) +
                  " dots is too large to draw");
            return;
        }
        if (!options_.renderImages) return;
        const uint64_t pixels = uint64_t{print.widthDots} * print.heightDots;
        if (!options_.onPrint && keptPixels_ + pixels > kMaxKeptPixels) {
            Warning("print " + std::to_string(print.number) +
                    " not drawn: the preview keeps at most 256 M dots of label images");
            return;
        }
        keptPixels_ += options_.onPrint ? 0 : pixels;
        print.image = GreyBitmap(print.widthDots, print.heightDots);
        for (size_t i = 0; i < buffer_.size(); ++i) Draw(print, i);
        print.darkDots = print.image.CountDark();
    }

    // Draws one buffered BITMAP; names the dots that fall off the label.
    void Draw(TsplPrint& print, size_t index) {
        const PendingBitmap& p = buffer_[index];
        GreyBitmap& image = print.image;
        uint64_t lostInk = 0, lostBlank = 0;
        for (uint64_t row = 0; row < p.bitmap.rows; ++row) {
            const uint64_t rowStart = row * p.bitmap.bytesPerRow;
            if (rowStart >= p.data.size()) break;
            const uint64_t rowBytes =
                std::min<uint64_t>(p.bitmap.bytesPerRow, p.data.size() - rowStart);
            const int64_t py = p.bitmap.y + int64_t(row);
            for (uint64_t col = 0; col < rowBytes * 8; ++col) {
                const uint8_t byte = uint8_t(p.data[rowStart + col / 8]);
                const bool ink = ((byte >> (7 - col % 8)) & 1) == 0;  // 0 prints a dot
                const int64_t px = p.bitmap.x + int64_t(col);
                if (px >= int64_t(image.width()) || py >= int64_t(image.height())) {
                    ++(ink ? lostInk : lostBlank);
                    continue;
                }
                Apply(image, uint32_t(px), uint32_t(py), ink, p.bitmap.mode);
            }
        }
        const std::string where = "print " + std::to_string(print.number) + " bitmap " +
                                  std::to_string(index + 1) + At(p.bitmap.offset);
        if (lostInk > 0) {
            Error(where + ": " + std::to_string(lostInk) + " printed dots fall outside the " +
                  std::to_string(image.width()) + " x " + std::to_string(image.height()) +
                  " label");
        } else if (lostBlank > 0) {
            Warning(where + " reaches past the label with blank dots");
        }
    }

    static void Apply(GreyBitmap& image, uint32_t x, uint32_t y, bool ink, int mode) {
        const bool black = image.At(x, y) == GreyBitmap::kBlack;
        bool result = ink;                     // overwrite
        if (mode == 1) result = black || ink;  // OR
        if (mode == 2) result = black != ink;  // XOR
        image.Set(x, y, result ? GreyBitmap::kBlack : GreyBitmap::kWhite);
    }

    // Every label of the print, with the cut the cutter setting makes after it.
    void CountLabels(TsplPrint& print) {
        const uint64_t wanted = print.sets * print.copies;
        const uint64_t room = kMaxTsplLabels - job_.cutAfter.size();
        if (wanted > room && !labelLimitReported_) {
            Error("PRINT" + At(print.offset) + ": more than " + std::to_string(kMaxTsplLabels) +
                  " labels in the job; the rest are not counted");
            labelLimitReported_ = true;
        }
        print.labels = std::min(wanted, room);
        if (print.labels > 0) print.firstLabel = job_.cutAfter.size() + 1;
        const TsplSettings& s = job_.settings;
        for (uint64_t i = 1; i <= print.labels; ++i) {
            ++labelsSinceCutter_;
            const bool cut =
                (s.cutter == TsplCutter::Every && labelsSinceCutter_ % s.cutEvery == 0) ||
                (s.cutter == TsplCutter::Batch && i == wanted);
            job_.cutAfter.push_back(cut);
        }
    }

    std::string_view s_;
    const TsplDecodeOptions& options_;
    TsplJob& job_;
    std::vector<PendingBitmap> buffer_;  // the image buffer: BITMAPs since the last CLS
    uint64_t labelsSinceCutter_ = 0;
    uint64_t keptPixels_ = 0;
    int64_t widestDots_ = 0;
    bool labelLimitReported_ = false;
};

}  // namespace

uint64_t TsplJob::Cuts() const {
    return uint64_t(std::count(cutAfter.begin(), cutAfter.end(), true));
}

int64_t TsplDots(const TsplLength& length, uint32_t dpi) {
    double dots = length.value;
    if (length.unit == TsplUnit::Millimetre) dots = length.value * 1000.0 * dpi / 25400.0;
    if (length.unit == TsplUnit::Inch) dots = length.value * dpi;
    return std::llround(std::clamp(dots, -1e12, 1e12));
}

TsplJob DecodeTspl(std::string_view stream, const TsplDecodeOptions& options) {
    TsplJob job;
    job.dpi = options.dpi;
    if (job.dpi == 0) {
        // Only lengths stated in dots tell the head: a first pass finds the widest.
        TsplJob probe;
        TsplDecodeOptions quiet;
        quiet.renderImages = false;
        TsplMachine scan(stream, quiet, probe);
        scan.Run();
        job.dpi = scan.WidestDots() > kHeadDots203 ? 300 : 203;
        job.dpiDetected = true;
    }
    TsplMachine(stream, options, job).Run();
    return job;
}
