// epldecode: previews an EPL2 job without printing it. Writes one PNG per printed label (P
// command) and a summary of what the printer would do on standard output.
//
//   epldecode [-o outdir] [--prefix name] [--no-png] file.epl|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <iostream>
#include <string>

#include "tools/epldecode/epl_decoder.h"
#include "tools/preview/command_line.h"

int main(int argc, char* argv[]) {
    PreviewCommand command(
        "epldecode", "Usage: epldecode [-o outdir] [--prefix name] [--no-png] file.epl|-", "label");
    std::string stream;
    if (!ParsePreviewCommand(argc, argv, command)) return 2;
    if (!ReadPreviewInput(command, stream)) return 2;
    EplDecodeOptions options;
    options.renderImages = command.png;
    if (command.png) {
        options.onLabel = [&](const EplLabel& label) {
            WritePreviewPng(command, label.number, label.image);
        };
    }
    const EplJob job = DecodeEpl(stream, options);
    std::cout << FormatEplSummary(job);
    return PreviewExitStatus(command, job.ok());
}
