// Reads an EPL2 printer stream the way a printer does and tells what it would print: the
// image buffer (N clears it; GW graphics and LO boxes are drawn into it), the label width (q)
// and length with its media (Q), the settings sent, and for every P command the printed label
// with its copies and where the cutter cuts. Hostile input gives errors, never a crash.
//
//   EplJob job = DecodeEpl(bytes);
//   job.ok();                 // no faults a printer would reject or misprint
//   job.labels[0].image;      // the first P command's label, q x Q dots
//   job.cuts[0].afterLabel;   // physical label (counted over all copies) followed by a cut
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/preview/bitmap.h"

// The media of a "Q" command.
struct EplMedia {
    enum class Kind { Gap, BlackLine, Continuous };
    Kind kind = Kind::Gap;
    uint32_t lengthDots = 0;  // label (form) length
    uint32_t gapDots = 0;     // gap or black-line height; 0 for continuous media
    uint32_t offsetDots = 0;  // "+o"
};

// Something drawn into the image buffer.
struct EplObject {
    enum class Kind { Graphic, Box };
    Kind kind = Kind::Graphic;
    size_t offset = 0;  // byte offset of the command in the stream
    int64_t x = 0;
    int64_t y = 0;
    uint32_t widthDots = 0;  // Graphic: bytes per row x 8
    uint32_t heightDots = 0;
    uint32_t bytesPerRow = 0;  // Graphic
};

// One P command: the image buffer printed `copies` times.
struct EplLabel {
    int number = 0;                     // 1 for the first P command
    size_t offset = 0;                  // of the P command
    std::optional<uint32_t> widthDots;  // q in force
    std::optional<EplMedia> media;      // Q in force
    uint64_t copies = 0;
    uint64_t firstLabel = 0;  // physical number of the first copy, counted over the job from 1
    std::vector<EplObject> objects;
    GreyBitmap image;       // q wide, Q long; empty when not drawn
    uint64_t darkDots = 0;  // black dots of `image`
};

// A cut after physical label `afterLabel`, which is copy `copy` of P command `label`.
struct EplCut {
    uint64_t afterLabel = 0;
    int label = 0;
    uint64_t copy = 0;
};

struct EplSetting {
    std::string command;  // "S", "D", "O", "JF", "fB", ...
    std::string params;   // as written, control characters escaped
};

struct EplJob {
    std::vector<EplSetting> settings;
    std::vector<EplLabel> labels;
    uint64_t printed = 0;                   // physical labels, all copies
    std::vector<EplCut> cuts;               // the first kMaxListedCuts cuts
    uint64_t cutCount = 0;                  // every cut
    uint64_t lastCutAfter = 0;              // physical label of the last cut, 0 for none
    std::map<std::string, size_t> unknown;  // command -> occurrences
    std::vector<std::string> errors;        // faults a printer would reject or misprint
    std::vector<std::string> warnings;      // legal but suspicious

    bool ok() const { return errors.empty(); }
    // Physical labels that leave the printer after the last cut (still on the roll).
    uint64_t Uncut() const { return printed - lastCutAfter; }
};

constexpr size_t kMaxListedCuts = 4096;

struct EplDecodeOptions {
    bool renderImages = true;
    // Dots drawn over the whole job; labels past it are not drawn (a warning says so).
    uint64_t maxRenderedDots = uint64_t{1} << 28;
    // Called for each label as it is printed; its image is dropped afterwards, so that long
    // jobs need not keep every image.
    std::function<void(const EplLabel&)> onLabel;
};

EplJob DecodeEpl(std::string_view stream, const EplDecodeOptions& options = {});

// The text summary, one fact a line:
//   labels <n> printed <labels> cuts <n> uncut <labels>
//   setting <command> <params>                                      (stream order)
//   label <n>: width <q|unset> length <dots|unset> media <gap g[+o]|black-line g[+o]|
//       continuous|unset> copies <c> first <k> dark <dots>          (one line)
//   label <n> graphic <k>: at <x>,<y> size <w>x<h> offset <byte>
//   label <n> box <k>: at <x>,<y> size <w>x<h> offset <byte>
//   cut after label <k> (label <n> copy <c>)
//   unknown <command> count <n>
//   warning: <text>
//   error: <text>
//   result ok | result errors <n>
std::string FormatEplSummary(const EplJob& job);
