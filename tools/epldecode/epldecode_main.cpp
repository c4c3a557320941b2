// epldecode: previews an EPL2 job without printing it. Writes one PNG per printed label (P
// command) and a summary of what the printer would do on standard output.
//
//   epldecode [-o outdir] [--prefix name] [--no-png] file.epl|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/epldecode/epl_decoder.h"
#include "tools/preview/stream_input.h"

namespace {

struct Arguments {
    std::string input;
    std::string outDir = ".";
    std::string prefix;
    bool png = true;
};

int Usage() {
    std::cerr << "Usage: epldecode [-o outdir] [--prefix name] [--no-png] file.epl|-\n";
    return 2;
}

bool ParseArguments(int argc, char* argv[], Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--prefix") && i + 1 < argc) {
            (arg == "-o" ? args.outDir : args.prefix) = argv[++i];
        } else if (arg == "--no-png") {
            args.png = false;
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
        std::cerr << "epldecode: cannot read " << args.input << ": " << std::strerror(errno)
                  << "\n";
        return 2;
    }
    bool written = true;
    EplDecodeOptions options;
    options.renderImages = args.png;
    if (args.png) {
        options.onLabel = [&](const EplLabel& label) {
            if (label.image.empty()) return;
            const std::string path =
                args.outDir + "/" + args.prefix + "-" + std::to_string(label.number) + ".png";
            std::string error;
            if (WritePng(path, label.image, &error)) {
                std::cerr << "epldecode: wrote " << path << "\n";
            } else {
                std::cerr << "epldecode: " << error << "\n";
                written = false;
            }
        };
    }
    const EplJob job = DecodeEpl(stream, options);
    std::cout << FormatEplSummary(job);
    if (!written) return 2;
    return job.ok() ? 0 : 1;
}
