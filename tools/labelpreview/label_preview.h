// One preview for every printer language of our filters: reads a ZPL II, TSPL, EPL2 or ESC/POS
// stream with that language's decoder and tells, in the same terms for all, what would come
// out of the printer: each label (or receipt, the paper between two cuts) with its size in dots
// and millimetres, copies and cuts, the RFID write frames, and optionally the barcodes on it.
//
//   PreviewOptions options;
//   options.readBarcodes = true;
//   options.onImage = [](const PreviewLabel& label, const GreyBitmap& image) { ... };
//   const PreviewJob job = PreviewStream(bytes, options);
//   FormatPreviewSummary(job);
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/labelpreview/printer_language.h"
#include "tools/preview/bitmap.h"

struct PreviewLabel {
    int number = 0;  // 1 for the first label (print command) or receipt
    uint32_t widthDots = 0, lengthDots = 0;
    uint64_t copies = 1;      // labels printed from it
    uint64_t cuts = 0;        // cuts among them
    bool cutAfter = false;    // a cut follows its last copy (receipts: the paper is cut there)
    bool partialCut = false;  // receipts: that cut leaves a hinge
    std::vector<std::string> barcodes;  // "TYPE:data", when asked for
};

struct PreviewRfid {
    size_t offset = 0;    // byte offset of the frame in the stream
    uint8_t command = 0;  // 0x65 or 0x66
    std::vector<uint8_t> data;
};

struct PreviewJob {
    PrinterLanguage language = PrinterLanguage::Unknown;
    bool detected = false;      // the language was told from the stream, not given
    uint32_t dpi = 203;         // print head resolution for the sizes in millimetres
    bool dpiGuessed = false;    // not given and not in the stream
    bool barcodesRead = false;  // the labels were searched for barcodes
    std::vector<PreviewLabel> labels;
    uint64_t printed = 0;  // labels with all their copies; receipts: pieces of paper
    uint64_t cuts = 0;
    uint64_t feedAfterCutDots = 0;  // receipts: blank paper fed after the last cut
    std::vector<PreviewRfid> rfid;
    std::vector<std::string> warnings;
    std::vector<std::string> errors;  // the decoder's: faults a printer would reject or misprint

    bool ok() const { return errors.empty(); }
};

struct PreviewOptions {
    PrinterLanguage language = PrinterLanguage::Unknown;  // Unknown: told from the stream
    uint32_t dpi = 0;  // 0: from the stream where it says, else guessed from the label width
    bool readBarcodes = false;
    // Called with each label's image as it is decoded (receipts: with the cut marked along the
    // bottom edge); the image is dropped afterwards, so long jobs need not keep them all.
    std::function<void(const PreviewLabel&, const GreyBitmap&)> onImage;
};

PreviewJob PreviewStream(std::string_view stream, const PreviewOptions& options = {});

// Millimetres of `dots` at `dpi`, one decimal: "101.6".
std::string DotsToMm(uint64_t dots, uint32_t dpi);

// The summary, one fact a line:
//   language <name> detected|given
//   resolution <dpi> dpi [guessed]
//   label|receipt <n>: <w> x <h> dots, <w> x <h> mm, copies <c>, cuts <k>   (labels)
//   receipt <n>: <w> x <h> dots, <w> x <h> mm, full cut|partial cut|no cut  (receipts)
//   label|receipt <n> barcode <TYPE:data>     (with barcodes read; "barcodes none" when none)
//   rfid <k>: offset <byte> command <hex> length <bytes> data <hex>
//   labels <n> printed <labels> cuts <n>        (receipts: "receipts <n> cuts <n>")
//   fed after the last cut <dots> dots, <mm> mm      (receipts, when it is not 0)
//   warning: <text>
//   error: <text>
//   result ok | result errors <n>
std::string FormatPreviewSummary(const PreviewJob& job);
