// posdecode: previews an ESC/POS receipt job without printing it. Writes the receipt as one
// tall PNG and a summary of what the printer would do on standard output.
//
//   posdecode [-o outdir] [--prefix name] [--dpi 203] [--width dots] [--no-png] file|-
//
// Exit status: 0 when the stream is sound, 1 when the decoder found errors, 2 for usage or
// file errors.
#include <iostream>
#include <string>

#include "tools/posdecode/pos_decoder.h"
#include "tools/preview/command_line.h"

int main(int argc, char* argv[]) {
    PreviewCommand command("posdecode",
                           "Usage: posdecode [-o outdir] [--prefix name] [--dpi 203] [--width "
                           "dots] [--no-png] file|-",
                           "receipt");
    PosDecodeOptions options;
    const auto own = [&](const std::string& option, const char* value) {
        if (option == "--dpi") return ParseWholeNumber(value, 1, 9600, options.dpi) ? 2 : 0;
        if (option == "--width")
            return ParseWholeNumber(value, 1, 1u << 20, options.widthDots) ? 2 : 0;
        return 0;
    };
    std::string stream;
    if (!ParsePreviewCommand(argc, argv, command, own)) return 2;
    if (!ReadPreviewInput(command, stream)) return 2;
    options.renderImage = command.png;
    const PosDecodeResult result = DecodeEscPos(stream, options);
    std::cout << FormatPosSummary(result);
    WritePreviewPng(command, 0, result.image);
    return PreviewExitStatus(command, result.ok());
}
