// Reads a ZPL II printer stream the way a printer does and tells what it would print: label
// formats (^XA ... ^XZ) with their size, fields and copies, graphics downloaded with ~DG (Z64,
// B64 or ASCII hex, checked) and recalled with ^XG, the printer settings sent, and the raw
// RFID write frames that may stand between formats. Hostile input gives errors, never a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/preview/bitmap.h"

struct ZplField {
    enum class Kind { Graphic, Box, Text };
    Kind kind = Kind::Graphic;
    int64_t x = 0;  // dots from the label's top-left corner, label home included
    int64_t y = 0;
    std::string graphic;  // Graphic: the recalled name, such as "R:SSGFX000.GRF"; "^GF" for inline
    bool found = true;    // Graphic: the name was stored on the printer
    uint32_t widthDots = 0;   // Graphic (bytes per row x 8, magnified) and Box
    uint32_t heightDots = 0;  // Graphic (rows, magnified) and Box
    uint32_t magX = 1;        // Graphic
    uint32_t magY = 1;
    uint32_t lineDots = 0;  // Box: line thickness
    bool whiteInk = false;  // Box: drawn in white (^GB colour W)
    std::string text;       // Text: the field data (^FD), not drawn
};

struct ZplLabel {
    int number = 0;                       // 1 for the first printing format
    std::optional<uint32_t> printWidth;   // ^PW in force, dots
    std::optional<uint32_t> labelLength;  // ^LL in force, dots
    std::vector<ZplField> fields;
    uint64_t copies = 1;       // ^PQ q
    uint64_t pauseCut = 0;     // ^PQ p: labels between pauses or cuts, 0 never
    uint64_t replicates = 0;   // ^PQ r
    char overridePause = 'N';  // ^PQ o
    GreyBitmap image;          // the printed label, empty when not rendered
    uint64_t darkDots = 0;     // black dots of `image`
};

struct ZplSetting {
    std::string command;  // with its prefix: "^MN", "~SD"
    std::string params;   // as written, control characters escaped
};

struct ZplRfidFrame {
    size_t offset = 0;    // byte offset of the frame in the stream
    uint8_t command = 0;  // 0x65 or 0x66
    std::vector<uint8_t> data;
};

struct ZplDownload {
    std::string name;  // "R:SSGFX000.GRF"
    uint64_t totalBytes = 0;
    uint32_t bytesPerRow = 0;
    std::string encoding;  // "Z64", "B64", "hex"
    std::string crc;       // "ok", "bad", "none"
    bool stored = false;   // false when the data was faulty and the printer would refuse it
    size_t dataChars = 0;  // the data field's length as sent, line ends left out
};

struct ZplDelete {
    std::string pattern;  // as written in ^ID, device and extension completed
    size_t removed = 0;
};

struct ZplDecodeResult {
    size_t formats = 0;  // ^XA ... ^XZ pairs, printing or not
    std::vector<ZplLabel> labels;
    std::vector<ZplSetting> settings;
    std::vector<ZplRfidFrame> rfid;
    std::vector<ZplDownload> downloads;
    std::vector<ZplDelete> deletes;
    std::map<std::string, size_t> unknown;  // command -> occurrences
    std::vector<std::string> errors;        // faults a printer would reject or misprint
    std::vector<std::string> warnings;      // legal but suspicious, such as fields off the label

    uint64_t TotalCopies() const;
    bool ok() const { return errors.empty(); }
};

struct ZplDecodeOptions {
    bool renderImages = true;
    // Called for each label as its format ends; the label image is dropped afterwards, so that
    // long jobs need not keep every image (without it, images past 256 M dots are not drawn).
    std::function<void(const ZplLabel&)> onLabel;
    // Called for each graphic ~DG stores, with its dots.
    std::function<void(const ZplDownload&, const std::vector<uint8_t>&)> onDownload;
};

ZplDecodeResult DecodeZpl(std::string_view stream, const ZplDecodeOptions& options = {});

// The text summary, one fact a line, in stream order within each kind:
//   formats <n>
//   labels <n> copies <total>
//   rfid <n>: offset <byte> command <hex> length <data bytes> data <hex>
//   setting <command> <params>
//   download <name>: bytes <total> per-row <bytes> rows <rows> encoding <enc> crc <ok|bad|none>
//   stored <yes|no> label <n>: width <PW|unset> length <LL|unset> graphic <name|none> at <x>,<y>
//   size <w>x<h> copies <q>
//       pause/cut <p> replicates <r> override <Y|N> dark <dots>        (one line)
//   label <n> field <k>: graphic <name> at <x>,<y> size <w>x<h> mag <mx>,<my> [missing]
//   label <n> field <k>: box at <x>,<y> size <w>x<h>
//   label <n> field <k>: text at <x>,<y> "<data>"
//   delete <pattern> removed <count>
//   unknown <command> count <n>
//   warning: <text>
//   error: <text>
//   result ok | result errors <n>
std::string FormatSummary(const ZplDecodeResult& result);
