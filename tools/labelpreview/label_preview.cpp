// The language adapters: each decoder's labels become PreviewLabels, its cut rules the cuts.
#include "tools/labelpreview/label_preview.h"

#include <algorithm>
#include <cstdio>

#include "tools/epldecode/epl_decoder.h"
#include "tools/labelpreview/barcode_reader.h"
#include "tools/posdecode/pos_decoder.h"
#include "tools/tspldecode/tspl_decoder.h"
#include "tools/zpldecode/zpl_decoder.h"

namespace {

// The widest label of a 4-inch head at 203 dpi (with some slack); wider ones come from 300 dpi.
constexpr uint32_t kMaxDotsAt203 = 832;
// Grey of the cut mark: visible on white paper, not taken for a printed dot.
constexpr uint8_t kCutMark = 128;

// Labels are drawn only for someone to look at or to read barcodes from.
bool Drawn(const PreviewOptions& options) {
    return options.onImage || options.readBarcodes;
}

// Takes each label as its decoder finishes it: the image goes to the caller and to the barcode
// reader, the facts are kept.
class LabelSink {
  public:
    LabelSink(const PreviewOptions& options, PreviewJob& job) : options_(options), job_(job) {}

    void Take(PreviewLabel label, const GreyBitmap& image) {
        if (options_.readBarcodes) label.barcodes = ReadBarcodes(image);
        if (options_.onImage && !image.empty()) options_.onImage(label, image);
        job_.labels.push_back(std::move(label));
    }

  private:
    const PreviewOptions& options_;
    PreviewJob& job_;
};

void Keep(PreviewJob& job, const std::vector<std::string>& warnings,
          const std::vector<std::string>& errors) {
    job.warnings.insert(job.warnings.end(), warnings.begin(), warnings.end());
    job.errors.insert(job.errors.end(), errors.begin(), errors.end());
}

// ZPL and EPL2 streams do not say their resolution: a label wider than a 4-inch head at 203 dpi
// comes from a 300 dpi printer.
void GuessDpi(const PreviewOptions& options, PreviewJob& job) {
    job.dpiGuessed = options.dpi == 0;
    if (!job.dpiGuessed) {
        job.dpi = options.dpi;
        return;
    }
    uint32_t widest = 0;
    for (const PreviewLabel& label : job.labels) widest = std::max(widest, label.widthDots);
    job.dpi = widest > kMaxDotsAt203 ? 300 : 203;
}

// A ZPL printer in cutter mode (^MMC) cuts after every `pause/cut` labels of a ^PQ.
void PreviewZpl(std::string_view stream, const PreviewOptions& options, PreviewJob& job) {
    LabelSink sink(options, job);
    ZplDecodeOptions decode;
    decode.renderImages = Drawn(options);
    decode.onLabel = [&](const ZplLabel& l) {
        PreviewLabel label;
        label.number = l.number;
        label.widthDots = l.image.empty() ? l.printWidth.value_or(0) : l.image.width();
        label.lengthDots = l.image.empty() ? l.labelLength.value_or(0) : l.image.height();
        label.copies = l.copies;
        sink.Take(std::move(label), l.image);
    };
    const ZplDecodeResult r = DecodeZpl(stream, decode);
    bool cutter = false;
    for (const ZplSetting& s : r.settings) {
        if (s.command == "^MM") cutter = s.params.starts_with("C");
    }
    for (size_t i = 0; i < job.labels.size() && i < r.labels.size(); ++i) {
        PreviewLabel& label = job.labels[i];
        const uint64_t every = cutter ? r.labels[i].pauseCut : 0;
        label.cuts = every ? label.copies / every : 0;
        label.cutAfter = every && label.copies % every == 0;
        job.cuts += label.cuts;
    }
    job.printed = r.TotalCopies();
    for (const ZplRfidFrame& f : r.rfid) job.rfid.push_back({f.offset, f.command, f.data});
    Keep(job, r.warnings, r.errors);
    GuessDpi(options, job);
}

void PreviewTspl(std::string_view stream, const PreviewOptions& options, PreviewJob& job) {
    LabelSink sink(options, job);
    TsplDecodeOptions decode;
    decode.renderImages = Drawn(options);
    decode.dpi = options.dpi;
    decode.onPrint = [&](const TsplPrint& print) {
        PreviewLabel label;
        label.number = print.number;
        label.widthDots = print.widthDots;
        label.lengthDots = print.heightDots;
        label.copies = print.labels;
        sink.Take(std::move(label), print.image);
    };
    const TsplJob r = DecodeTspl(stream, decode);
    for (size_t i = 0; i < job.labels.size() && i < r.prints.size(); ++i) {
        PreviewLabel& label = job.labels[i];
        const uint64_t first = r.prints[i].firstLabel;
        for (uint64_t k = 0; first > 0 && k < label.copies && first - 1 + k < r.cutAfter.size();
             ++k) {
            label.cuts += r.cutAfter[first - 1 + k];
            label.cutAfter = r.cutAfter[first - 1 + k];
        }
    }
    job.printed = r.Labels();
    job.cuts = r.Cuts();
    job.dpi = r.dpi;
    job.dpiGuessed = r.dpiDetected;
    Keep(job, r.warnings, r.errors);
}

void PreviewEpl(std::string_view stream, const PreviewOptions& options, PreviewJob& job) {
    LabelSink sink(options, job);
    EplDecodeOptions decode;
    decode.renderImages = Drawn(options);
    decode.onLabel = [&](const EplLabel& l) {
        PreviewLabel label;
        label.number = l.number;
        label.widthDots = l.widthDots.value_or(0);
        label.lengthDots = l.media ? l.media->lengthDots : 0;
        label.copies = l.copies;
        sink.Take(std::move(label), l.image);
    };
    const EplJob r = DecodeEpl(stream, decode);
    for (const EplCut& cut : r.cuts) {
        if (cut.label < 1 || size_t(cut.label) > job.labels.size()) continue;
        PreviewLabel& label = job.labels[size_t(cut.label) - 1];
        ++label.cuts;
        label.cutAfter = label.cutAfter || cut.copy == label.copies;
    }
    job.printed = r.printed;
    job.cuts = r.cutCount;
    Keep(job, r.warnings, r.errors);
    GuessDpi(options, job);
}

// The paper from `top` to `bottom` (dots down the receipt), with the cut marked at the bottom.
GreyBitmap ReceiptPiece(const GreyBitmap& whole, int64_t top, int64_t bottom, bool cut) {
    if (whole.empty() || bottom <= top) return {};
    GreyBitmap piece(whole.width(), uint32_t(bottom - top));
    for (uint32_t y = 0; y < piece.height() && top + y < whole.height(); ++y) {
        for (uint32_t x = 0; x < piece.width(); ++x)
            piece.Set(x, y, whole.At(x, uint32_t(top + y)));
    }
    for (uint32_t y = piece.height() - std::min(piece.height(), 2u); cut && y < piece.height();
         ++y) {
        for (uint32_t x = 0; x < piece.width(); ++x) {
            if (x % 12 < 6 && piece.At(x, y) == GreyBitmap::kWhite) piece.Set(x, y, kCutMark);
        }
    }
    return piece;
}

bool BlankFrom(const GreyBitmap& image, int64_t top) {
    for (int64_t y = top; y < int64_t(image.height()); ++y) {
        const uint8_t* row = image.Row(uint32_t(y));
        if (std::any_of(row, row + image.width(), [](uint8_t v) { return v < 128; })) return false;
    }
    return true;
}

// A receipt is the paper between two cuts; what follows the last cut stays in the printer.
void PreviewReceipts(std::string_view stream, const PreviewOptions& options, PreviewJob& job) {
    LabelSink sink(options, job);
    PosDecodeOptions decode;
    decode.dpi = options.dpi ? options.dpi : decode.dpi;
    const PosDecodeResult r = DecodeEscPos(stream, decode);
    job.dpi = decode.dpi;
    job.dpiGuessed = options.dpi == 0;
    const int64_t end = std::max<int64_t>(r.lengthDots, r.image.height());
    int64_t top = 0;
    auto add = [&](int64_t bottom, const PosEvent* cut) {
        PreviewLabel receipt;
        receipt.number = int(job.labels.size()) + 1;
        receipt.widthDots = r.image.width();
        receipt.lengthDots = uint32_t(bottom - top);
        receipt.cuts = cut != nullptr;
        receipt.cutAfter = cut != nullptr;
        receipt.partialCut = cut != nullptr && cut->partial;
        sink.Take(std::move(receipt), ReceiptPiece(r.image, top, bottom, cut != nullptr));
        top = bottom;
    };
    for (const PosEvent* cut : r.Of(PosEventKind::Cut)) {
        ++job.cuts;
        if (cut->y + cut->dots > top) add(cut->y + cut->dots, cut);
    }
    // Blank paper fed after the last cut is the top margin of the next receipt, not a receipt.
    if (end > top && !BlankFrom(r.image, top)) {
        add(end, nullptr);
    } else {
        job.feedAfterCutDots = uint64_t(std::max<int64_t>(end - top, 0));
    }
    job.printed = job.labels.size();
    Keep(job, r.warnings, r.errors);
}

}  // namespace

PreviewJob PreviewStream(std::string_view stream, const PreviewOptions& options) {
    PreviewJob job;
    job.barcodesRead = options.readBarcodes;
    job.detected = options.language == PrinterLanguage::Unknown;
    job.language = job.detected ? DetectLanguage(stream) : options.language;
    switch (job.language) {
        case PrinterLanguage::Zpl:
            PreviewZpl(stream, options, job);
            break;
        case PrinterLanguage::Tspl:
            PreviewTspl(stream, options, job);
            break;
        case PrinterLanguage::Epl:
            PreviewEpl(stream, options, job);
            break;
        case PrinterLanguage::EscPos:
            PreviewReceipts(stream, options, job);
            break;
        case PrinterLanguage::Unknown:
            job.errors.push_back("the stream is in none of ZPL II, TSPL, EPL2 and ESC/POS");
            break;
    }
    return job;
}

std::string DotsToMm(uint64_t dots, uint32_t dpi) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", dpi ? double(dots) * 25.4 / dpi : 0.0);
    return text;
}
