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
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/labelpreview/label_preview.h"
#include "tools/preview/stream_input.h"

namespace {

struct Arguments {
    std::string input;
    std::string outDir = ".";
    std::string prefix;
    bool png = true;
    PreviewOptions options;
};

int Usage() {
    std::cerr << "Usage: labelpreview [-o outdir] [--prefix name] [--language "
                 "zpl|tspl|epl|escpos] [--dpi n] [--barcodes] [--no-png] file|-\n";
    return 2;
}

bool ParseDpi(const char* text, uint32_t& dpi) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 9600) return false;
    dpi = static_cast<uint32_t>(value);
    return true;
}

bool ParseOption(int argc, char* argv[], int& i, Arguments& args) {
    const std::string arg = argv[i];
    if (arg == "--barcodes") {
        args.options.readBarcodes = true;
        return true;
    }
    if (arg == "--no-png") {
        args.png = false;
        return true;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "-o" || arg == "--prefix") {
        (arg == "-o" ? args.outDir : args.prefix) = value;
        return *value != '\0';
    }
    if (arg == "--dpi") return ParseDpi(value, args.options.dpi);
    if (arg == "--language") {
        const auto language = ParseLanguage(value);
        args.options.language = language.value_or(PrinterLanguage::Unknown);
        return language.has_value();
    }
    return false;
}

bool ParseArguments(int argc, char* argv[], Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (args.input.empty() && (arg == "-" || arg[0] != '-')) {
            args.input = arg;
        } else if (!ParseOption(argc, argv, i, args)) {
            return false;
        }
    }
    if (args.prefix.empty()) {
        args.prefix =
            args.input == "-" ? "label" : std::filesystem::path(args.input).stem().string();
    }
    return !args.input.empty();
}

}  // namespace

int main(int argc, char* argv[]) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) return Usage();
    std::string stream;
    if (!ReadStreamInput(args.input, stream)) {
        std::cerr << "labelpreview: cannot read " << args.input << ": " << std::strerror(errno)
                  << "\n";
        return 2;
    }
    bool written = true;
    if (args.png) {
        args.options.onImage = [&](const PreviewLabel& label, const GreyBitmap& image) {
            const std::string path =
                args.outDir + "/" + args.prefix + "-" + std::to_string(label.number) + ".png";
            std::string error;
            if (WritePng(path, image, &error)) {
                std::cerr << "labelpreview: wrote " << path << "\n";
            } else {
                std::cerr << "labelpreview: " << error << "\n";
                written = false;
            }
        };
    }
    const PreviewJob job = PreviewStream(stream, args.options);
    std::cout << FormatPreviewSummary(job);
    if (job.language == PrinterLanguage::Unknown) {
        std::cerr << "labelpreview: cannot tell the printer language of " << args.input
                  << "; name it with --language zpl|tspl|epl|escpos\n";
        return 2;
    }
    if (!written) return 2;
    return job.ok() ? 0 : 1;
}
