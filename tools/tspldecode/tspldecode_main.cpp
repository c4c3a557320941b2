// tspldecode: previews a TSPL job without printing it. Writes one PNG per PRINT command and a
// summary of what the printer would do on standard output.
//
//   tspldecode [-o outdir] [--prefix name] [--dpi n] [--no-png] file.tspl|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <iostream>
#include <string>

#include "tools/preview/command_line.h"
#include "tools/tspldecode/tspl_decoder.h"

int main(int argc, char* argv[]) {
    PreviewCommand command(
        "tspldecode",
        "Usage: tspldecode [-o outdir] [--prefix name] [--dpi n] [--no-png] file.tspl|-", "label");
    TsplDecodeOptions options;
    const auto own = [&](const std::string& option, const char* value) {
        return option == "--dpi" && ParseWholeNumber(value, 1, 9600, options.dpi) ? 2 : 0;
    };
    std::string stream;
    if (!ParsePreviewCommand(argc, argv, command, own)) return 2;
    if (!ReadPreviewInput(command, stream)) return 2;
    options.renderImages = command.png;
    if (command.png) {
        options.onPrint = [&](const TsplPrint& print) {
            WritePreviewPng(command, print.number, print.image);
        };
    }
    const TsplJob job = DecodeTspl(stream, options);
    std::cout << FormatTsplSummary(job);
    return PreviewExitStatus(command, job.ok());
}
