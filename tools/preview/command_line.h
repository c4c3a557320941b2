// The command line every preview command shares:
//   <command> [-o outdir] [--prefix name] [--no-png] [its own options] file|-
// with exit status 0 for a sound stream, 1 when the decoder found errors, 2 for usage or file
// errors.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tools/preview/bitmap.h"

struct PreviewCommand {
    PreviewCommand(const char* name, const char* usage, const char* defaultPrefix)
        : name(name), usage(usage), defaultPrefix(defaultPrefix) {}

    const char* name;           // "zpldecode", ...
    const char* usage;          // the whole usage line
    const char* defaultPrefix;  // of the PNG files when the input is standard input

    std::string input;
    std::string outDir = ".";
    std::string prefix;
    bool png = true;
    bool failedPng = false;
};

// A command's own option: given the option and the argument after it (null at the end),
// returns how many arguments it took (1 or 2), or 0 when the option is not one of its own or
// its value is wrong.
using OwnOption = std::function<int(const std::string& option, const char* value)>;

// Parses the arguments; false (after writing the usage line) when they are wrong.
bool ParsePreviewCommand(int argc, char* argv[], PreviewCommand& command,
                         const OwnOption& own = nullptr);

// Reads the input (a file or "-"); false after writing why it could not.
bool ReadPreviewInput(const PreviewCommand& command, std::string& stream);

// Writes <outdir>/<prefix>[-<number>].png (no number when it is 0) and says so on standard
// error; a failure is remembered for the exit status.
void WritePreviewPng(PreviewCommand& command, int number, const GreyBitmap& image);

// The exit status for a decoded stream.
int PreviewExitStatus(const PreviewCommand& command, bool sound);

// A whole number from `low` to `high`, as an option's value.
bool ParseWholeNumber(const char* text, uint32_t low, uint32_t high, uint32_t& value);
