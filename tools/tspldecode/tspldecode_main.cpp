// tspldecode: previews a TSPL job without printing it. Writes one PNG per PRINT command (the
// label image at that moment; its copies are in the summary) and a summary of what the printer
// would do on standard output.
//
//   tspldecode [-o outdir] [--prefix name] [--dpi n] [--no-png] file.tspl|-
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

#include "tools/preview/stream_input.h"
#include "tools/tspldecode/tspl_decoder.h"

namespace {

struct Arguments {
    std::string input;
    std::string outDir = ".";
    std::string prefix;
    TsplDecodeOptions options;
};

int Usage() {
    std::cerr << "Usage: tspldecode [-o outdir] [--prefix name] [--dpi n] [--no-png] "
                 "file.tspl|-\n";
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

bool ParseArguments(int argc, char* argv[], Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--prefix") && i + 1 < argc) {
            (arg == "-o" ? args.outDir : args.prefix) = argv[++i];
        } else if (arg == "--dpi" && i + 1 < argc) {
            if (!ParseDpi(argv[++i], args.options.dpi)) return false;
        } else if (arg == "--no-png") {
            args.options.renderImages = false;
        } else if (args.input.empty() && (arg == "-" || arg[0] != '-')) {
            args.input = arg;
        } else {
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
        std::cerr << "tspldecode: cannot read " << args.input << ": " << std::strerror(errno)
                  << "\n";
        return 2;
    }
    bool written = true;
    if (args.options.renderImages) {
        args.options.onPrint = [&](const TsplPrint& print) {
            if (print.image.empty()) return;
            const std::string path =
                args.outDir + "/" + args.prefix + "-" + std::to_string(print.number) + ".png";
            std::string error;
            if (WritePng(path, print.image, &error)) {
                std::cerr << "tspldecode: wrote " << path << "\n";
            } else {
                std::cerr << "tspldecode: " << error << "\n";
                written = false;
            }
        };
    }
    const TsplJob job = DecodeTspl(stream, args.options);
    std::cout << FormatTsplSummary(job);
    if (!written) return 2;
    return job.ok() ? 0 : 1;
}
