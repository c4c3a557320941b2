// labelpreview: shows what a job of any of our filters would print, without printing it. Tells
// the printer language (ZPL II, TSPL, EPL2, ESC/POS) from the stream, writes one PNG per label
// or receipt and a summary on standard output; with --barcodes it also reads every barcode on
// the labels, so a job can be checked to scan before a single label is used.
//
//   labelpreview [-o outdir] [--prefix name] [--language zpl|tspl|epl|escpos] [--dpi n]
//                [--barcodes] [--no-png] file|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors and for a stream in none of the languages.
#include <iostream>
#include <string>

#include "tools/labelpreview/label_preview.h"
#include "tools/preview/command_line.h"

int main(int argc, char* argv[]) {
    PreviewCommand command("labelpreview",
                           "Usage: labelpreview [-o outdir] [--prefix name] [--language "
                           "zpl|tspl|epl|escpos] [--dpi n] [--barcodes] [--no-png] file|-",
                           "label");
    PreviewOptions options;
    const auto own = [&](const std::string& option, const char* value) {
        if (option == "--barcodes") {
            options.readBarcodes = true;
            return 1;
        }
        if (option == "--dpi") return ParseWholeNumber(value, 1, 9600, options.dpi) ? 2 : 0;
        if (option == "--language" && value != nullptr) {
            const auto language = ParseLanguage(value);
            options.language = language.value_or(PrinterLanguage::Unknown);
            return language.has_value() ? 2 : 0;
        }
        return 0;
    };
    std::string stream;
    if (!ParsePreviewCommand(argc, argv, command, own)) return 2;
    if (!ReadPreviewInput(command, stream)) return 2;
    if (command.png) {
        options.onImage = [&](const PreviewLabel& label, const GreyBitmap& image) {
            WritePreviewPng(command, label.number, image);
        };
    }
    const PreviewJob job = PreviewStream(stream, options);
    std::cout << FormatPreviewSummary(job);
    if (job.language == PrinterLanguage::Unknown) {
        std::cerr << "labelpreview: cannot tell the printer language of " << command.input
                  << "; name it with --language zpl|tspl|epl|escpos\n";
        return 2;
    }
    return PreviewExitStatus(command, job.ok());
}
