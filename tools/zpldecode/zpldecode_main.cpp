// zpldecode: previews a ZPL II job without printing it. Writes one PNG per printed label and a
// summary of what the printer would do on standard output.
//
//   zpldecode [-o outdir] [--prefix name] [--no-png] file.zpl|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <iostream>
#include <string>

#include "tools/preview/command_line.h"
#include "tools/zpldecode/zpl_decoder.h"

int main(int argc, char* argv[]) {
    PreviewCommand command(
        "zpldecode", "Usage: zpldecode [-o outdir] [--prefix name] [--no-png] file.zpl|-", "label");
    std::string stream;
    if (!ParsePreviewCommand(argc, argv, command)) return 2;
    if (!ReadPreviewInput(command, stream)) return 2;
    ZplDecodeOptions options;
    options.renderImages = command.png;
    if (command.png) {
        options.onLabel = [&](const ZplLabel& label) {
            WritePreviewPng(command, label.number, label.image);
        };
    }
    const ZplDecodeResult result = DecodeZpl(stream, options);
    std::cout << FormatSummary(result);
    return PreviewExitStatus(command, result.ok());
}
