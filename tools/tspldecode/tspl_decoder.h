// Reads a TSPL printer stream the way a label printer does and tells what it would print: the
// image buffer (CLS, BITMAP in overwrite, OR and XOR modes) at each PRINT, at the label size
// (SIZE in dots, millimetres or inches), with its copies; the media sensing (GAP, BLINE), the
// settings sent (DIRECTION, REFERENCE, DENSITY, SPEED, OFFSET, SET RIBBON/PEEL/TEAR) and the
// cutter (SET CUTTER) with the cut that follows every printed label. Commands end at CR LF (a
// lone LF or CR is taken too); BITMAP data is binary and follows its header directly. Hostile
// input gives errors, never a crash.
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

enum class TsplUnit { Dot, Millimetre, Inch };

// A length as the stream wrote it ("3 mm", "0.12" inches, "812 dot").
struct TsplLength {
    double value = 0;
    TsplUnit unit = TsplUnit::Inch;
};

enum class TsplMedia { Unset, Gap, BlackLine, Continuous };
enum class TsplCutter { Unset, Off, Every, Batch };

// The printer's settings as the stream left them (the last command of each kind wins).
struct TsplSettings {
    std::optional<TsplLength> width, height;  // SIZE
    TsplMedia media = TsplMedia::Unset;
    TsplLength mediaHeight, mediaOffset;   // GAP or BLINE m,n
    std::optional<int> direction, mirror;  // DIRECTION n[,m]
    std::optional<int64_t> referenceX, referenceY;
    std::optional<int> density;        // 0 to 15
    std::optional<double> speed;       // inches per second
    std::optional<TsplLength> offset;  // OFFSET: feed after printing, may be negative
    std::optional<bool> ribbon, peel, tear;
    TsplCutter cutter = TsplCutter::Unset;
    uint64_t cutEvery = 0;  // SET CUTTER n
};

// One BITMAP command as it was drawn into the image buffer.
struct TsplBitmap {
    size_t offset = 0;  // byte offset of the command
    int64_t x = 0, y = 0;
    uint32_t bytesPerRow = 0, rows = 0;
    int mode = 0;          // 0 overwrite, 1 OR, 2 XOR
    size_t dataBytes = 0;  // present in the stream (fewer than announced when cut short)
};

// One PRINT m[,n] command: m label sets of n copies each, all the same image.
struct TsplPrint {
    int number = 0;     // 1 for the first PRINT
    size_t offset = 0;  // byte offset of the command
    uint64_t sets = 1, copies = 1;
    uint64_t firstLabel = 0;  // number of its first label in the job (1-based); 0 if none counted
    uint64_t labels = 0;      // labels counted (sets x copies, within the job's limit)
    uint32_t widthDots = 0, heightDots = 0;  // SIZE in force; 0 when no SIZE came first
    std::vector<TsplBitmap> bitmaps;         // drawn since the last CLS
    GreyBitmap image;                        // the image buffer, empty when not drawn
    uint64_t darkDots = 0;                   // black dots of `image`
};

struct TsplJob {
    uint32_t dpi = 203;
    bool dpiDetected = false;  // true when the resolution was not given but guessed
    TsplSettings settings;
    std::vector<TsplPrint> prints;
    std::vector<bool> cutAfter;             // per printed label, in order: whether a cut follows it
    size_t clears = 0;                      // CLS commands
    std::map<std::string, size_t> unknown;  // command -> occurrences
    std::vector<std::string> errors;        // faults a printer would reject or misprint
    std::vector<std::string> warnings;      // legal but suspicious

    uint64_t Labels() const { return cutAfter.size(); }
    uint64_t Cuts() const;
    bool ok() const { return errors.empty(); }
};

// Labels counted per job; a stream asking for more is reported, the rest is not counted.
constexpr uint64_t kMaxTsplLabels = uint64_t{1} << 16;

struct TsplDecodeOptions {
    // Print head resolution for millimetre and inch lengths; 0 guesses it: 300 when a label or
    // bitmap is wider than a 4-inch head at 203 dpi (832 dots), else 203.
    uint32_t dpi = 0;
    bool renderImages = true;
    // Called for each PRINT; its image is dropped afterwards, so that long jobs need not keep
    // every image (without it, images past 256 M dots in all are not drawn).
    std::function<void(const TsplPrint&)> onPrint;
};

TsplJob DecodeTspl(std::string_view stream, const TsplDecodeOptions& options = {});

// Dots of a length at a resolution: truncate(length in inches x dpi + 0.5).
int64_t TsplDots(const TsplLength& length, uint32_t dpi);

// The text summary, one fact a line:
//   dpi <n> given|detected
//   size <w> x <h> dots, <w> x <h> mm | size unset
//   media gap|black-line <h> mm offset <o> mm | media continuous | media unset
//   direction <n>,<m> | reference <x>,<y> | density <n> | speed <s> | offset <o> mm
//   ribbon on|off  peel on|off  tear on|off  cutter off|every <n>|batch   (each when sent)
//   clears <n>
//   print <k>: offset <o> sets <m> copies <n> labels <a>-<b> size <w>x<h> dark <dots>
//   print <k> bitmap <j>: at <x>,<y> size <w>x<h> mode overwrite|or|xor bytes <present>
//   labels <a>-<b>: cut after each | no cut           (runs over all printed labels)
//   labels <n> cuts <n>
//   unknown <command> count <n>
//   warning: <text>
//   error: <text>
//   result ok | result errors <n>
std::string FormatTsplSummary(const TsplJob& job);
