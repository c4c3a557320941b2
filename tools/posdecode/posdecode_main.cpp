// posdecode: previews an ESC/POS receipt job without printing it. Writes the receipt as one
// PNG and a summary of what the printer would do on standard output.
//
//   posdecode [-o outdir] [--prefix name] [--dpi 203] [--width dots] [--no-png] file|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/posdecode/pos_decoder.h"
#include "tools/preview/stream_input.h"

namespace {

struct Arguments {
    std::string input;
    std::string outDir = ".";
    std::string prefix;
    PosDecodeOptions options;
};

int Usage() {
    std::cerr << "Usage: posdecode [-o outdir] [--prefix name] [--dpi 203] [--width dots] "
                 "[--no-png] file|-\n";
    return 2;
}

bool ParseCount(const char* text, uint32_t low, uint32_t high, uint32_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseArguments(int argc, char* argv[], Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--prefix") && i + 1 < argc) {
            (arg == "-o" ? args.outDir : args.prefix) = argv[++i];
        } else if (arg == "--dpi" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 9600, args.options.dpi)) return false;
        } else if (arg == "--width" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 1, 1u << 20, args.options.widthDots)) return false;
        } else if (arg == "--no-png") {
            args.options.renderImage = false;
        } else if (args.input.empty() && (arg == "-" || arg[0] != '-')) {
            args.input = arg;
        } else {
            return false;
        }
    }
    if (args.prefix.empty()) {
        args.prefix =
            args.input == "-" ? "receipt" : std::filesystem::path(args.input).stem().string();
    }
    return !args.input.empty();
}

}  // namespace

int main(int argc, char* argv[]) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) return Usage();
    std::string stream;
    if (!ReadStreamInput(args.input, stream)) {
        std::cerr << "posdecode: cannot read " << args.input << ": " << std::strerror(errno)
                  << "\n";
        return 2;
    }
    const PosDecodeResult result = DecodeEscPos(stream, args.options);
    std::cout << FormatPosSummary(result);
    if (!result.image.empty()) {
        const std::string path = args.outDir + "/" + args.prefix + ".png";
        std::string error;
        if (!WritePng(path, result.image, &error)) {
            std::cerr << "posdecode: " << error << "\n";
            return 2;
        }
        std::cerr << "posdecode: wrote " << path << "\n";
    }
    return result.ok() ? 0 : 1;
}
