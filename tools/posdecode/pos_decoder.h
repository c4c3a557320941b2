// Reads an ESC/POS receipt stream the way a receipt printer does and tells what it would do:
// raster bands (GS v 0) at their print position (ESC $) and paper position, paper feeds
// (ESC J, LF), cuts (GS V), cash drawer pulses (ESC p), black-mark feeds (GS FF), stored-logo
// calls (GS ( L), motion units (GS P) and initialisations (ESC @). The bands are drawn into
// one tall preview image. Hostile input gives errors, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/preview/bitmap.h"

enum class PosEventKind { Initialise, MotionUnits, Logo, Band, Feed, Cut, DrawerPulse, BlackMark };

struct PosEvent {
    PosEventKind kind = PosEventKind::Initialise;
    size_t offset = 0;  // byte offset of the command in the stream
    int64_t y = 0;      // paper position, dots from the start of the receipt, before the command
    int64_t x = 0;      // Band: print position in dots
    uint32_t widthDots = 0;    // Band: bytes per row x 8 x magnification
    uint32_t rows = 0;         // Band: rows of dots x magnification
    uint32_t bytesPerRow = 0;  // Band
    uint32_t magX = 1, magY = 1;
    int64_t dots = 0;      // Feed: dots fed; Cut: dots fed before the cut
    bool partial = false;  // Cut
    int pin = 0;           // DrawerPulse: connector pin 2 or 5
    uint32_t onMs = 0, offMs = 0;
    uint8_t key1 = 0, key2 = 0;  // Logo: key codes of the stored graphic
    uint8_t scaleX = 1, scaleY = 1;
    uint32_t unitsX = 0, unitsY = 0;  // MotionUnits: per inch, 0 for the printer's default
    size_t dataOffset = 0;            // Band: where its dots start in the stream
    size_t dataBytes = 0;  // Band: dot bytes present (fewer than announced when cut short)
};

struct PosDecodeOptions {
    uint32_t dpi = 203;      // print head resolution; motion units are converted to its dots
    uint32_t widthDots = 0;  // preview width; 0: as wide as the widest band
    bool renderImage = true;
};

struct PosDecodeResult {
    std::vector<PosEvent> events;
    uint64_t bands = 0, bandRows = 0;
    uint64_t feeds = 0;
    int64_t fedDots = 0;
    uint64_t cuts = 0, drawerPulses = 0, blackMarks = 0, logos = 0, initialisations = 0;
    uint64_t carriageReturns = 0, lineFeeds = 0, textBytes = 0;
    int64_t lengthDots = 0;                 // paper used: bands and feeds
    GreyBitmap image;                       // the receipt, empty when not rendered
    uint64_t darkDots = 0;                  // black dots of `image`
    std::map<std::string, size_t> unknown;  // command -> occurrences
    std::vector<std::string> errors;        // faults a printer would reject or misprint
    std::vector<std::string> warnings;      // legal but suspicious

    bool ok() const { return errors.empty(); }
    std::vector<const PosEvent*> Of(PosEventKind kind) const;
};

// Streams longer than this many commands are refused after that point.
constexpr size_t kMaxPosEvents = size_t{1} << 20;

PosDecodeResult DecodeEscPos(std::string_view stream, const PosDecodeOptions& options = {});

// The text summary, one fact a line, events in stream order:
//   event <k>: init offset <o> at <y>
//   event <k>: motion-units <x> <y> offset <o> at <y>
//   event <k>: logo key <hex>,<hex> scale <sx>x<sy> offset <o> at <y>
//   event <k>: band at <x>,<y> size <w>x<h> offset <o>
//   event <k>: feed <dots> offset <o> at <y>
//   event <k>: cut <partial|full> feed <dots> offset <o> at <y>
//   event <k>: drawer pin <2|5> on <ms> off <ms> offset <o> at <y>
//   event <k>: black-mark offset <o> at <y>
//   bands <n> rows <r> feeds <n> fed <dots> length <dots> dark <dots>
//   cuts <n> drawer <n> black-marks <n> logos <n> init <n> cr <n> lf <n> text <bytes>
//   unknown <command> count <n>
//   warning: <text>
//   error: <text>
//   result ok | result errors <n>
std::string FormatPosSummary(const PosDecodeResult& result);
